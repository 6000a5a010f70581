#pragma once

#include <type_traits>

#include "binding/ConversionResult.h"
#include "runtime/HostReply.h"

namespace Kesh {

// Reads a reply body the host streams as JSON text, in pieces of at most 4096 bytes,
// calling wait between short reads while the host says more is coming. The caller ends
// the stream afterwards (HostReplyOwner does), also when reading throws. The result is
// the parsed value, or "Stream read error" or the JSON reader's message.
template <typename Wait>
ConversionResult ReadStreamedBody(HostReply& reply, Wait&& wait);

// The same with the wait given as a plain function and its context.
ConversionResult ReadStreamedBody(HostReply& reply, void (*wait)(void* context), void* context);

template <typename Wait>
ConversionResult ReadStreamedBody(HostReply& reply, Wait&& wait) {
    return ReadStreamedBody(
        reply, [](void* context) { (*static_cast<std::remove_reference_t<Wait>*>(context))(); }, &wait);
}

}  // namespace Kesh
