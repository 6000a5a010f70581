#include "tools/fakehost/FakeReplyStream.h"

#include <algorithm>
#include <cstring>

namespace Kesh::StandIn {

bool FakeReplyStream::Read(char* buffer, std::uint32_t& length, std::uint8_t& moreData) {
    ++reads_;
    if (plan_.failAtRead != 0 && reads_ == plan_.failAtRead) {
        length = 0;
        return false;
    }
    if (ended_) {
        length = 0;
        moreData = 0;
        return true;
    }
    std::size_t piece = plan_.text.size() - position_;
    piece = std::min<std::size_t>(piece, length);
    if (plan_.pieceSize != 0) piece = std::min<std::size_t>(piece, plan_.pieceSize);
    if (piece != 0) std::memcpy(buffer, plan_.text.data() + position_, piece);
    position_ += piece;
    length = static_cast<std::uint32_t>(piece);
    if (position_ < plan_.text.size()) {
        moreData = 1;
        return true;
    }
    if (plan_.extraEmptyRead && !lastPieceHandedOut_) {
        lastPieceHandedOut_ = true;
        moreData = 1;
        return true;
    }
    ended_ = true;
    moreData = 0;
    return true;
}

void FakeReplyStream::Close() {
    std::string().swap(plan_.text);
    position_ = 0;
    ended_ = true;
}

}  // namespace Kesh::StandIn
