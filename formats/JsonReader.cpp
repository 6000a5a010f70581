#include "formats/JsonReader.h"

#include <cstdint>

#include <rapidjson/error/en.h>
#include <rapidjson/reader.h>

#include "formats/JsonAllocator.h"
#include "formats/JsonShallowReader.h"
#include "formats/JsonValueBuilder.h"
#include "formats/NestingLimit.h"
#include "log/FormatPositional.h"

namespace Kesh {
namespace {

using JsonTextReader = rapidjson::GenericReader<rapidjson::UTF8<>, rapidjson::UTF8<>, JsonAllocator>;

// Iterative parsing keeps the call stack flat however deep the text nests; it accepts
// exactly what the default flags accept.
constexpr unsigned kParseFlags = rapidjson::kParseIterativeFlag;

constexpr const char* kTooDeepText = "Nesting deeper than 100000 levels.";
static_assert(kMaxNestingDepth == 100000, "kTooDeepText names the bound");

bool IsJsonWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

ConversionResult ParseJson(const char* text) { return ParseJson(text, kJsonRecursiveDepth); }

ConversionResult ParseJson(const char* text, std::size_t recursiveDepth) {
    ConversionResult result;
    if (text == nullptr) return result;

    const char* first = text;
    while (IsJsonWhiteSpace(*first)) ++first;
    if (*first == '\0') return result;

    // Most texts are valid and shallow: read them the fast way. Anything else is read
    // again from the start the iterative way, which alone says why a text is refused and
    // where, so messages and offsets are those of one reader only.
    if (recursiveDepth != 0) {
        if (ReadJsonShallow(text, recursiveDepth, result.Value())) return result;
        result = ConversionResult();
    }

    JsonValueBuilder builder(result.Value());
    JsonTextReader reader;
    rapidjson::StringStream stream(text);
    const rapidjson::ParseResult parsed = reader.Parse<kParseFlags>(stream, builder);
    builder.Finish();
    if (parsed.IsError()) {
        // The iterative reader reports any bad first token as an empty document; the
        // text is not empty (that was handled above), so it is an invalid value.
        const rapidjson::ParseErrorCode code = parsed.Code() == rapidjson::kParseErrorDocumentEmpty
                                                   ? rapidjson::kParseErrorValueInvalid
                                                   : parsed.Code();
        const char* reason = builder.TooDeep() ? kTooDeepText : rapidjson::GetParseError_En(code);
        result.SetError(FormatPositionalString("Error: %1 at offset %2.",
                                               {reason, static_cast<std::uint64_t>(parsed.Offset())}));
    }
    return result;
}

ConversionResult ParseJson(const std::string& text) { return ParseJson(text.c_str()); }

}  // namespace Kesh
