// RapidJSON scans white space and the plain runs of strings 16 bytes at a time when told
// that SSE2 is there (it always is on x86-64). Its 16-byte loads are aligned, so they never
// reach into a page past the text, but they do read bytes after the closing NUL within the
// same 16, which the address sanitizer reports: its builds scan byte by byte. Only this
// file is built so; the iterative reader, which reports errors, stays byte by byte.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PZL_JSON_BYTEWISE
#endif
#endif
#if defined(__SSE2__) && !defined(__SANITIZE_ADDRESS__) && !defined(PZL_JSON_BYTEWISE)
#define RAPIDJSON_SSE2
#endif

#include "formats/JsonShallowReader.h"

#include <rapidjson/reader.h>

#include <cstring>

#if defined(RAPIDJSON_SSE2)
#include <emmintrin.h>
#endif

#include "formats/JsonAllocator.h"
#include "formats/JsonValueBuilder.h"

namespace Kesh {
namespace {

// A type of this file's own, so that the reader's templates built here (with the SSE2
// scans) are never merged with the ones other files build over JsonAllocator.
struct ShallowAllocator : JsonAllocator {};
using ShallowReader = rapidjson::GenericReader<rapidjson::UTF8<>, rapidjson::UTF8<>, ShallowAllocator>;

#if defined(RAPIDJSON_SSE2)
// The SSE2 string scan tests for bytes up to 0x19, so the control characters 0x1A to
// 0x1F get into strings, where the byte-wise reader refuses them. Anywhere else in a
// text they are refused by both, so a text that holds one is never valid: finding one
// anywhere sends the text to the byte-wise reader.
bool HoldsLateControlByte(const char* text, std::size_t length) noexcept {
    const __m128i first = _mm_set1_epi8(0x1A);
    const __m128i span = _mm_set1_epi8(5);
    std::size_t i = 0;
    for (; i + 16 <= length; i += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
        const __m128i offset = _mm_sub_epi8(bytes, first);
        // offset <= 5, unsigned, exactly for 0x1A to 0x1F
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(offset, span), offset)) != 0) return true;
    }
    for (; i < length; ++i) {
        if (static_cast<unsigned char>(text[i] - 0x1A) <= 5) return true;
    }
    return false;
}
#endif

}  // namespace

bool ReadJsonShallow(const char* text, std::size_t maxDepth, BindingProperty& value) {
    const std::size_t length = std::strlen(text);
    JsonValueBuilder builder(value, maxDepth, length);
    ShallowReader reader;
    rapidjson::StringStream stream(text);
    const bool ok = !reader.Parse<rapidjson::kParseNoFlags>(stream, builder).IsError();
    builder.Finish();
#if defined(RAPIDJSON_SSE2)
    if (ok && HoldsLateControlByte(text, length)) return false;
#endif
    return ok;
}

}  // namespace Kesh
