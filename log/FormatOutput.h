#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace Kesh {

// A bounded writer over a caller's buffer. capacity excludes the terminator's byte, so
// the bytes from Cursor() up to Cursor() + Space() (inclusive) may always be written.
class FormatOutput {
public:
    FormatOutput(char* buffer, std::size_t capacity) : buffer(buffer), capacity(capacity) {}

    std::size_t Length() const { return length; }
    std::size_t Space() const { return capacity - length; }
    bool Full() const { return length == capacity; }
    char* Cursor() { return buffer + length; }

    // Takes characters that were written at Cursor() directly.
    void Advance(std::size_t count) { length += std::min(count, Space()); }
    // Gives back the last count characters.
    void Retract(std::size_t count) { length -= std::min(count, length); }

    // Each Append returns false when the text had to be cut.
    bool Append(const char* text, std::size_t count) {
        std::size_t taken = std::min(count, Space());
        if (taken > 0) {
            std::memcpy(buffer + length, text, taken);
            length += taken;
        }
        return taken == count;
    }

    bool Append(char c) { return Append(&c, 1); }

    bool AppendRepeated(char c, std::size_t count) {
        std::size_t taken = std::min(count, Space());
        if (taken > 0) {
            std::memset(buffer + length, c, taken);
            length += taken;
        }
        return taken == count;
    }

    void Terminate() { buffer[length] = '\0'; }

private:
    char* buffer;
    std::size_t capacity;
    std::size_t length = 0;
};

}  // namespace Kesh
