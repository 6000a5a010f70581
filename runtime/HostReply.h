#pragma once

#include <cstddef>
#include <cstdint>

#include "binding/HostValue.h"
#include "platform/Abi.h"
#include "runtime/HostRequest.h"

namespace Kesh {

struct HostReply;

// Reads the next piece of a streamed body into buffer: length holds the buffer's size
// on entry and the bytes read on return; moreData is cleared after the last piece.
// Returns 0 when the stream failed.
using HostBodyReadFunction = std::uint8_t(PZL_CDECL*)(void* owner, char* buffer, std::uint32_t* length,
                                                      std::uint8_t* moreData);
// Ends the stream and destroys its owner.
using HostBodyReleaseFunction = void(PZL_CDECL*)(void* owner);
// Frees everything the reply owns (except a body stream) and zeroes the record.
using HostReplyReleaseFunction = void(PZL_CDECL*)(HostReply* reply);

#pragma pack(push, 1)

// A reply as the callee fills it. The callee's release function frees it, so each side
// frees only memory from its own heap.
struct HostReply {
    // The result value, or the error text with its flag.
    HostResultHead result;
    std::uint8_t replyFlag;
    // 1, 2 or 3; 0 for anything else.
    std::uint32_t replyCode;
    std::uint32_t statusCode;
    // A heap copy, or the shared empty text of HostReplyEmptyText.
    const char* contentType;
    // A heap array of heap texts.
    HostHeader* headers;
    std::uint32_t headerCount;
    // Set only for a streamed body, with its owner and size hint.
    HostBodyReadFunction readBody;
    HostBodyReleaseFunction releaseBody;
    std::uint64_t bodySizeHint;
    void* bodyOwner;
    HostReplyReleaseFunction release;
};

#pragma pack(pop)

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(HostReply) == 62);
static_assert(offsetof(HostReply, result) == 0);
static_assert(offsetof(HostReply, result.errorText) == 12);
static_assert(offsetof(HostReply, result.hasError) == 16);
static_assert(offsetof(HostReply, replyFlag) == 17);
static_assert(offsetof(HostReply, replyCode) == 18);
static_assert(offsetof(HostReply, statusCode) == 22);
static_assert(offsetof(HostReply, contentType) == 26);
static_assert(offsetof(HostReply, headers) == 30);
static_assert(offsetof(HostReply, headerCount) == 34);
static_assert(offsetof(HostReply, readBody) == 38);
static_assert(offsetof(HostReply, releaseBody) == 42);
static_assert(offsetof(HostReply, bodySizeHint) == 46);
static_assert(offsetof(HostReply, bodyOwner) == 54);
static_assert(offsetof(HostReply, release) == 58);
#endif

// The content type of a reply whose result has none; never freed.
const char* HostReplyEmptyText() noexcept;

// The release function the plugin stores in the replies it fills: frees the result
// value, the error text, the content type and the headers from the library's heap, then
// zeroes the whole record. A body stream owner is left alive (only its pointer is
// cleared): the reader ends it through releaseBody. A null reply is ignored.
void PZL_CDECL ReleaseHostReply(HostReply* reply);

}  // namespace Kesh
