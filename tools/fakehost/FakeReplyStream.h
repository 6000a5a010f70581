#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "tools/fakehost/ReplyPlan.h"

namespace Kesh::StandIn {

// A streamed reply body: hands out its text piece by piece as the host's body read
// function does, following its plan.
class FakeReplyStream {
public:
    explicit FakeReplyStream(StreamPlan plan) : plan_(std::move(plan)) {}

    // One read into buffer. length holds the buffer's size on entry and the bytes
    // written on return; moreData is cleared once the whole text has been handed out.
    // Returns false for the read the plan makes fail (nothing is written then). Reads
    // after the end hand out 0 bytes with moreData cleared.
    bool Read(char* buffer, std::uint32_t& length, std::uint8_t& moreData);

    // The host's size hint: the whole text's length.
    std::uint64_t SizeHint() const { return plan_.text.size(); }
    std::uint32_t Reads() const { return reads_; }
    // Whether a read has cleared the more-data byte.
    bool Ended() const { return ended_; }
    // Frees the text; further reads hand out nothing.
    void Close();

private:
    StreamPlan plan_;
    std::size_t position_ = 0;
    std::uint32_t reads_ = 0;
    bool lastPieceHandedOut_ = false;
    bool ended_ = false;
};

}  // namespace Kesh::StandIn
