#pragma once

#include <cstddef>

namespace Kesh {

// Counts the structs being converted on this thread, in either direction. Nested
// structs convert recursively (and through descriptor objects, whose interface has no
// room for a depth), so the count lives with the thread. A native tree nested deeper
// than the limit could not even be destroyed on a small host stack, so the
// conversions refuse it instead of building it.
class ConversionDepth {
public:
    static constexpr std::size_t kMaxDepth = 256;

    ConversionDepth() noexcept;
    ~ConversionDepth();
    ConversionDepth(const ConversionDepth&) = delete;
    ConversionDepth& operator=(const ConversionDepth&) = delete;

    // False once more than kMaxDepth levels are open on this thread.
    bool Allowed() const noexcept { return allowed_; }

private:
    bool allowed_;
};

}  // namespace Kesh
