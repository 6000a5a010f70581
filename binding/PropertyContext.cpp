#include "binding/PropertyContext.h"

namespace Kesh {

PropertyContext::PropertyContext() noexcept : strings_(*this) {
    for (std::size_t i = 0; i < kSizeClasses; ++i) pools_[i].SetCellSize(static_cast<std::uint32_t>((i + 1) * 4));
}

std::size_t PropertyContext::BlockCount() const noexcept {
    std::size_t count = 0;
    for (const CellPool& pool : pools_) count += pool.BlockCount();
    return count;
}

}  // namespace Kesh
