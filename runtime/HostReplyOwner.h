#pragma once

#include "runtime/HostReply.h"

namespace Kesh {

// Owns a reply the host fills, from the moment it is handed to the host: however the
// call ends (an exception included), the reply's stream is ended once unless the reply
// is an error (an error's stream stays the host's), and the reply is released once
// through the host's own function.
class HostReplyOwner {
public:
    HostReplyOwner() noexcept = default;
    ~HostReplyOwner() { Release(); }
    HostReplyOwner(const HostReplyOwner&) = delete;
    HostReplyOwner& operator=(const HostReplyOwner&) = delete;

    HostReply& Get() noexcept { return reply_; }

    // Ends the stream of a successful reply now; later calls do nothing.
    void EndStream() noexcept {
        if (streamEnded_ || reply_.result.errorText != nullptr) return;
        streamEnded_ = true;
        if (reply_.releaseBody != nullptr) reply_.releaseBody(reply_.bodyOwner);
    }

    void Release() noexcept {
        if (released_) return;
        released_ = true;
        EndStream();
        if (reply_.release != nullptr) reply_.release(&reply_);
    }

private:
    HostReply reply_{};
    bool streamEnded_ = false;
    bool released_ = false;
};

}  // namespace Kesh
