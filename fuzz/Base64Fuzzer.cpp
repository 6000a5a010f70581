// Any bytes as base64 text: never more than three bytes out for every four in.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "binding/Base64.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> bytes = Kesh::DecodeBase64(reinterpret_cast<const char*>(data), size);
    if (bytes.size() > (size + 3) / 4 * 3) std::abort();
    return 0;
}
