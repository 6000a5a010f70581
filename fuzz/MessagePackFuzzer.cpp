// Any bytes as MessagePack: a value or a message, and never more bytes consumed than given.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "formats/MessagePackReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::size_t consumed = 0;
    const Kesh::ConversionResult result = Kesh::ReadMessagePack(data, size, &consumed);
    if (consumed > size) std::abort();
    if (!result.Ok() && result.ErrorMessage()[0] == '\0') std::abort();
    return 0;
}
