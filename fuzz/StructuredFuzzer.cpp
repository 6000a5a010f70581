// Any named template with any typed values: a bounded text, and a field map whose
// every value is one of the values given.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/FuzzInput.h"
#include "log/FormatPositional.h"
#include "log/FormatStructured.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const int count = input.Byte() % 6;
    std::vector<Kesh::MessageArgument> arguments;
    for (int i = 0; i < count; ++i) {
        switch (input.Byte() % 5) {
        case 0: arguments.emplace_back((input.Byte() & 1) != 0); break;
        case 1: arguments.emplace_back(static_cast<std::int64_t>(input.Word())); break;
        case 2: arguments.emplace_back(input.Word()); break;
        case 3: arguments.emplace_back(input.Double()); break;
        default: arguments.emplace_back(input.Text()); break;
        }
    }
    const std::string templateText = input.Rest();
    const Kesh::StructuredMessage message =
        Kesh::FormatStructuredMessage(templateText.c_str(), arguments.data(), arguments.size());
    if (message.text.size() >= Kesh::kMessageBufferSize) std::abort();
    for (const auto& [name, value] : message.fields) {
        // NaN equals nothing, itself included.
        bool given = value.Kind() == Kesh::MessageArgumentKind::Double && std::isnan(value.DoubleValue());
        for (const Kesh::MessageArgument& argument : arguments) {
            given = given || value == argument;
        }
        if (!given) std::abort();
    }
    return 0;
}
