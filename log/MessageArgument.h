#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "log/FormatArgument.h"

namespace Kesh {

enum class MessageArgumentKind : std::uint32_t {
    None = 0,  // only a default-constructed argument; formats as empty text
    Bool = 1,
    SignedInteger = 2,
    UnsignedInteger = 3,
    Double = 4,
    String = 5,
};

// One typed value of a structured message: it fills a placeholder and is kept in the
// message's field map, so it owns its text.
class MessageArgument {
public:
    MessageArgument() = default;

    template <typename T>
        requires std::same_as<T, bool>
    MessageArgument(T value) : kind(MessageArgumentKind::Bool) {
        bits[0] = value ? 1 : 0;
    }

    template <typename T>
        requires(std::signed_integral<T>)
    MessageArgument(T value) : kind(MessageArgumentKind::SignedInteger) {
        Store(static_cast<std::int64_t>(value));
    }

    template <typename T>
        requires(std::unsigned_integral<T> && !std::same_as<T, bool>)
    MessageArgument(T value) : kind(MessageArgumentKind::UnsignedInteger) {
        Store(static_cast<std::uint64_t>(value));
    }

    template <std::floating_point T>
    MessageArgument(T value) : kind(MessageArgumentKind::Double) {
        Store(static_cast<double>(value));
    }

    MessageArgument(std::string value) : kind(MessageArgumentKind::String), text(std::move(value)) {}
    MessageArgument(std::string_view value) : kind(MessageArgumentKind::String), text(value) {}
    MessageArgument(const char* value)  // null reads as empty text
        : kind(MessageArgumentKind::String), text(value != nullptr ? value : "") {}

    MessageArgumentKind Kind() const { return kind; }
    bool BoolValue() const { return bits[0] != 0; }
    std::int64_t SignedValue() const { return Load<std::int64_t>(); }
    std::uint64_t UnsignedValue() const { return Load<std::uint64_t>(); }
    double DoubleValue() const { return Load<double>(); }
    const std::string& StringValue() const { return text; }

    // false, 0, 0.0 and "" are empty: a conditional placeholder shows its alternative.
    bool IsEmpty() const;

    // The argument for the positional step. It points into this object for text, so
    // this object must outlive it. bool shows as "true" or "false".
    FormatArgument ToFormatArgument() const;

    bool operator==(const MessageArgument& other) const;

private:
    template <typename T>
    void Store(T value) {
        static_assert(sizeof(T) == sizeof bits);
        std::memcpy(bits, &value, sizeof bits);
    }

    template <typename T>
    T Load() const {
        T value;
        std::memcpy(&value, bits, sizeof value);
        return value;
    }

    MessageArgumentKind kind = MessageArgumentKind::None;
    std::string text;
    unsigned char bits[8] = {};  // bool in the first byte, the integers or the double
};

std::vector<FormatArgument> ToFormatArguments(const MessageArgument* arguments, std::size_t count);

}  // namespace Kesh
