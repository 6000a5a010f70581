#include "runtime/HostReply.h"

#include <cstring>

#include "platform/Allocator.h"

namespace Kesh {

namespace {

void FreeText(const char* text) { Memory::Free(const_cast<char*>(text)); }

void FreeParts(HostReply& reply) noexcept {
    reply.result.Release();
    // A content type is either a heap copy or the shared empty text; the heap copy of an
    // empty text is still a heap block.
    if (reply.contentType != nullptr && reply.contentType != HostReplyEmptyText()) FreeText(reply.contentType);
    if (reply.headers != nullptr) {
        for (std::uint32_t i = 0; i < reply.headerCount; ++i) {
            FreeText(reply.headers[i].name);
            FreeText(reply.headers[i].value);
        }
        Memory::Free(reply.headers);
    }
}

}  // namespace

const char* HostReplyEmptyText() noexcept {
    static const char empty[1] = {'\0'};
    return empty;
}

void PZL_CDECL ReleaseHostReply(HostReply* reply) {
    if (reply == nullptr) return;
    FreeParts(*reply);  // frees only, so nothing can throw into the host
    std::memset(static_cast<void*>(reply), 0, sizeof *reply);
}

}  // namespace Kesh
