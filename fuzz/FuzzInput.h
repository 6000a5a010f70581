#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

// Reads a fuzzer's bytes as a stream of small fields; past the end everything reads as 0.
class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::uint8_t Byte() { return position_ < size_ ? data_[position_++] : 0; }
    std::uint64_t Word() {
        std::uint64_t value = 0;
        for (int i = 0; i < 8; ++i) {
            value = value << 8 | Byte();
        }
        return value;
    }
    double Double() {
        const std::uint64_t bits = Word();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    // A text of up to 255 bytes taken from the input.
    std::string Text() {
        std::size_t length = Byte();
        length = length < size_ - position_ ? length : size_ - position_;
        std::string text(reinterpret_cast<const char*>(data_ + position_), length);
        position_ += length;
        return text;
    }
    // Whatever is left, as a text.
    std::string Rest() {
        std::string text(reinterpret_cast<const char*>(data_ + position_), size_ - position_);
        position_ = size_;
        return text;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};
