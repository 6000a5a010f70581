// RapidJSON scans white space and the plain runs of strings 16 bytes at a time when
// told that SSE2 is there (it always is on x86-64). Its 16-byte loads are aligned, so
// they never reach into a page past the text, but they do read the bytes after the
// closing NUL within the same 16, which the address sanitizer reports: its builds take
// the byte-wise path, which accepts, stops and reports exactly alike.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PZL_JSON_BYTEWISE
#endif
#endif
#if defined(__SSE2__) && !defined(__SANITIZE_ADDRESS__) && !defined(PZL_JSON_BYTEWISE)
#define RAPIDJSON_SSE2
#endif

#include "formats/JsonReader.h"

#include <cstdint>

#include <rapidjson/error/en.h>
#include <rapidjson/reader.h>

#include "formats/JsonAllocator.h"
#include "formats/JsonValueBuilder.h"
#include "formats/NestingLimit.h"
#include "log/FormatPositional.h"

namespace Kesh {
namespace {

// A type of this file's own, so that the reader's templates built here (with the SSE2
// scans) are never merged with the ones other files build over JsonAllocator.
struct ReaderAllocator : JsonAllocator {};
using JsonTextReader = rapidjson::GenericReader<rapidjson::UTF8<>, rapidjson::UTF8<>, ReaderAllocator>;

// Iterative parsing keeps the call stack flat however deep the text nests; it accepts
// exactly what the default flags accept.
constexpr unsigned kParseFlags = rapidjson::kParseIterativeFlag;
// The recursive reader is a fifth faster, accepts the same texts and reads numbers and
// strings with the same code; its depth is bounded by the builder.
constexpr unsigned kRecursiveParseFlags = rapidjson::kParseNoFlags;

constexpr const char* kTooDeepText = "Nesting deeper than 100000 levels.";
static_assert(kMaxNestingDepth == 100000, "kTooDeepText names the bound");

bool IsJsonWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Reads text with the recursive reader, nesting at most maxDepth levels; false when it
// went deeper or the text is not valid (the value read so far is then of no use).
bool ReadRecursively(const char* text, std::size_t maxDepth, BindingProperty& value) {
    JsonValueBuilder builder(value, maxDepth);
    JsonTextReader reader;
    rapidjson::StringStream stream(text);
    const bool ok = !reader.Parse<kRecursiveParseFlags>(stream, builder).IsError();
    builder.Finish();
    return ok;
}

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
        if (ReadRecursively(text, recursiveDepth, result.Value())) return result;
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
