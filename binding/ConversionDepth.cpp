#include "binding/ConversionDepth.h"

namespace Kesh {
namespace {

thread_local std::size_t openLevels = 0;

}  // namespace

ConversionDepth::ConversionDepth() noexcept : allowed_(++openLevels <= kMaxDepth) {}

ConversionDepth::~ConversionDepth() { --openLevels; }

}  // namespace Kesh
