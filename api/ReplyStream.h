#pragma once

#include <cstdint>

namespace Kesh {

// A reply body the host reads in pieces after the call returns. The reply takes over
// the object; the host ends it through the reply's body release function, on any thread.
class ReplyStream {
public:
    virtual ~ReplyStream() = default;

    // Fills buffer with the next piece: length holds the buffer's size on entry and the
    // bytes written on return; moreData is cleared with the last piece. Returns false
    // when the stream failed.
    virtual bool Read(char* buffer, std::uint32_t& length, std::uint8_t& moreData) = 0;
    // The expected total size in bytes, a hint for the reader.
    virtual std::uint32_t Size() const = 0;
};

}  // namespace Kesh
