// Any bytes as JSON text: the reader must answer with a value or a message, never crash.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "formats/JsonReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const Kesh::ConversionResult result = Kesh::ParseJson(text);
    if (!result.Ok() && result.ErrorMessage()[0] == '\0') std::abort();
    return 0;
}
