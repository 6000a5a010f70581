#pragma once

#include <cstddef>
#include <cstdint>

#include "binding/ConversionResult.h"

namespace Kesh {

// Reads one MessagePack value from the front of bytes into a BindingProperty. Positive
// fixints are Signed, uint 8..64 Unsigned, maps Structures (their keys must be strings),
// arrays Collections, bin Blobs; nil writes nothing; extension types are rejected.
// Input that ends inside open containers still succeeds with what was read. consumed
// (when not null) receives the number of bytes read, so that a caller can tell whether
// anything follows the value.
ConversionResult ReadMessagePack(const std::uint8_t* bytes, std::size_t length, std::size_t* consumed = nullptr);

}  // namespace Kesh
