// The three readers against their former selves (tests/oracle/): the first byte picks
// JSON, MessagePack or YAML, the rest is the body. Both must give the same tree (kinds,
// values, member order, intern counts) or the same message, and every member tree must
// be a valid red-black tree; anything else stops the run with what differed. JSON is
// also read with the fast reader's nesting bound taken from the first byte, so that the
// hand-over to the iterative reader is met at every shallow depth. A JSON tree read whole
// is also copied, and the copy compared with it the same way.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "formats/JsonReader.h"
#include "formats/MessagePackReader.h"
#include "formats/YamlReader.h"
#include "tests/oracle/BuilderOracles.h"
#include "tests/oracle/TreeComparison.h"

namespace {

void Check(const char* format, const Kesh::ConversionResult& expected, const Kesh::ConversionResult& actual) {
    std::string problem = Kesh::Oracle::Difference(expected, actual);
    if (problem.empty()) problem = Kesh::Oracle::MemberTreeProblem(actual.Value());
    if (problem.empty()) return;
    std::fprintf(stderr, "%s: %s\n", format, problem.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t* body = data + 1;
    const std::size_t length = size - 1;
    switch (data[0] % 3) {
        case 0: {
            const std::string text(reinterpret_cast<const char*>(body), length);
            const Kesh::ConversionResult expected = Kesh::Oracle::ParseJson(text);
            const Kesh::ConversionResult actual = Kesh::ParseJson(text);
            Check("json", expected, actual);
            if (actual.Ok()) {
                // A whole copy, into a value of its own, holds the same texts counted alike.
                Kesh::ConversionResult copied;
                copied.Value() = actual.Value();
                Check("json copy", actual, copied);
            }
            Check("json with a shallow bound", expected, Kesh::ParseJson(text.c_str(), data[0] / 3 % 6));
            break;
        }
        case 1: {
            std::size_t expectedConsumed = 0;
            std::size_t actualConsumed = 0;
            const Kesh::ConversionResult expected = Kesh::Oracle::ReadMessagePack(body, length, &expectedConsumed);
            const Kesh::ConversionResult actual = Kesh::ReadMessagePack(body, length, &actualConsumed);
            Check("msgpack", expected, actual);
            if (expectedConsumed != actualConsumed) {
                std::fprintf(stderr, "msgpack: consumed %zu bytes, expected %zu\n", actualConsumed, expectedConsumed);
                std::abort();
            }
            break;
        }
        default: {
            const char* text = reinterpret_cast<const char*>(body);
            Check("yaml", Kesh::Oracle::ReadYaml(text, length), Kesh::ReadYaml(text, length));
            break;
        }
    }
    return 0;
}
