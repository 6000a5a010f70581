#include "formats/MessagePackInput.h"

#include "log/FormatPositional.h"

namespace Kesh {
namespace {

const char* TruncatedIntegerMessage(unsigned size) {
    switch (size) {
        case 1: return "Invalid MessagePack data. 8-bit integer value at position %1 is truncated.";
        case 2: return "Invalid MessagePack data. 16-bit integer value at position %1 is truncated.";
        case 4: return "Invalid MessagePack data. 32-bit integer value at position %1 is truncated.";
        default: return "Invalid MessagePack data. 64-bit integer value at position %1 is truncated.";
    }
}

}  // namespace

void MessagePackInput::FailTruncated(unsigned size) {
    SetError(FormatPositionalString(TruncatedIntegerMessage(size), {Position()}));
}

void MessagePackInput::FailTruncatedString(std::uint64_t size) {
    SetError(FormatPositionalString("Invalid MessagePack data. String of size %1 at position %2 is truncated.",
                                    {size, Position()}));
}

void MessagePackInput::FailTruncatedRaw(std::uint64_t size) {
    SetError(FormatPositionalString("Invalid MessagePack data. Raw bytes of size %1 at position %2 are truncated.",
                                    {size, Position()}));
}

void MessagePackInput::SetError(const std::string& message) {
    members_.LinkAll();
    result_.SetError(message);
}

void MessagePackInput::Fail(const char* message) { SetError(FormatPositionalString(message, {Position()})); }

}  // namespace Kesh
