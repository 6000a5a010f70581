#include "runtime/StreamedBody.h"

#include <algorithm>
#include <string>

#include "formats/JsonReader.h"

namespace Kesh {
namespace {

constexpr std::uint32_t kPieceSize = 4096;

}  // namespace

ConversionResult ReadStreamedBody(HostReply& reply, void (*wait)(void* context), void* context) {
    std::string text;
    // Only the low word of the hint counts; it is a hint, so a wild value is not trusted.
    const std::uint32_t hint = static_cast<std::uint32_t>(reply.bodySizeHint);
    text.reserve(std::min<std::uint32_t>(hint, 64u * 1024 * 1024));
    char buffer[kPieceSize];
    std::uint8_t moreData = 1;
    while (moreData != 0) {
        std::uint32_t length = kPieceSize;
        if (reply.readBody(reply.bodyOwner, buffer, &length, &moreData) == 0) {
            return ConversionResult::Failure("Stream read error");
        }
        text.append(buffer, std::min(length, kPieceSize));  // never past our buffer
        if (length < kPieceSize && moreData != 0) {
            wait(context);
        }
    }
    return ParseJson(text);
}

}  // namespace Kesh
