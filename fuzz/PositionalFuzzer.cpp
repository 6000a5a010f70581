// Any template with any typed arguments and buffer size: the output stays inside the
// buffer and is always terminated.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/FuzzInput.h"
#include "log/FormatPositional.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const std::size_t bufferSize = 1 + (static_cast<std::size_t>(input.Byte()) << 4 | input.Byte() >> 4);
    const int count = input.Byte() % 6;
    std::vector<std::string> texts;
    texts.reserve(count);
    std::vector<Kesh::FormatArgument> arguments;
    for (int i = 0; i < count; ++i) {
        switch (input.Byte() % 7) {
        case 0: arguments.emplace_back(static_cast<std::int8_t>(input.Byte())); break;
        case 1: arguments.emplace_back(static_cast<std::int32_t>(input.Word())); break;
        case 2: arguments.emplace_back(static_cast<std::uint32_t>(input.Word())); break;
        case 3: arguments.emplace_back(static_cast<std::int64_t>(input.Word())); break;
        case 4: arguments.emplace_back(input.Word()); break;
        case 5: arguments.emplace_back(input.Double()); break;
        default: texts.push_back(input.Text()); arguments.emplace_back(texts.back()); break;
        }
    }
    const std::string templateText = input.Rest();
    std::vector<char> buffer(bufferSize + 1, '\x7f');
    const std::size_t length =
        Kesh::FormatPositional(buffer.data(), bufferSize, templateText.c_str(), arguments.data(), arguments.size());
    if (length >= bufferSize || buffer[length] != '\0' || buffer[bufferSize] != '\x7f') std::abort();
    return 0;
}
