// Any bytes as YAML text: a value or a message, never a crash.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "formats/YamlReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Kesh::ConversionResult result = Kesh::ReadYaml(reinterpret_cast<const char*>(data), size);
    if (!result.Ok() && result.ErrorMessage()[0] == '\0') std::abort();
    return 0;
}
