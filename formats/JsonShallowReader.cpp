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

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

#if defined(RAPIDJSON_SSE2)
#include <emmintrin.h>
#endif

#include "formats/JsonValueBuilder.h"
#include "platform/Allocator.h"

namespace Kesh {
namespace {

// The allocator of the reader's scratch stack, which here holds mostly the string being
// read: its first kScratchBytes (the stack's first size) live inside the allocator, on
// the caller's stack, so a body whose strings are all shorter never takes the heap for
// it. RapidJSON frees through a static Free that cannot see the allocator, so every block
// has a word before it saying whether it is the inline one. A type of this file's own
// also keeps the reader's templates built here (with the SSE2 scans) apart from those
// other files build.
class ShallowAllocator {
public:
    static constexpr bool kNeedFree = true;
    static constexpr std::size_t kScratchBytes = 256;

    ShallowAllocator() noexcept = default;
    ShallowAllocator(const ShallowAllocator&) = delete;
    ShallowAllocator& operator=(const ShallowAllocator&) = delete;

    void* Malloc(std::size_t size) { return Realloc(nullptr, 0, size); }
    void* Realloc(void* block, std::size_t oldSize, std::size_t newSize) {
        if (newSize == 0) {
            Free(block);
            return nullptr;
        }
        const bool scratch = block != nullptr && IsScratch(block);
        if ((block == nullptr && !scratchInUse_) || scratch) {
            if (newSize <= kScratchBytes) {
                scratchInUse_ = true;
                return scratch_.bytes;
            }
        }
        if (newSize > SIZE_MAX - sizeof(Head)) throw std::bad_alloc();
        if (block != nullptr && !scratch) {
            auto* moved = static_cast<Head*>(Memory::Reallocate(HeadOf(block), sizeof(Head) + newSize));
            if (moved == nullptr) throw std::bad_alloc();
            return moved + 1;
        }
        auto* head = static_cast<Head*>(Memory::Allocate(sizeof(Head) + newSize));
        if (head == nullptr) throw std::bad_alloc();
        head->tag = kHeapTag;
        if (scratch) {
            std::memcpy(head + 1, block, oldSize < newSize ? oldSize : newSize);
            scratchInUse_ = false;
        }
        return head + 1;
    }
    static void Free(void* block) noexcept {
        if (block != nullptr && !IsScratch(block)) Memory::Free(HeadOf(block));
    }

private:
    struct alignas(8) Head {
        std::uint64_t tag;
    };
    static constexpr std::uint64_t kHeapTag = 0;
    static constexpr std::uint64_t kScratchTag = 0x5343524154434821ull;

    static Head* HeadOf(void* block) noexcept { return static_cast<Head*>(block) - 1; }
    static bool IsScratch(void* block) noexcept { return HeadOf(block)->tag == kScratchTag; }

    struct Scratch {
        Head head{kScratchTag};
        alignas(8) unsigned char bytes[kScratchBytes];
    };
    static_assert(offsetof(Scratch, bytes) == sizeof(Head), "the tag is the word before the bytes");
    Scratch scratch_;
    bool scratchInUse_ = false;
};
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
    ShallowAllocator scratch;
    ShallowReader reader(&scratch, ShallowAllocator::kScratchBytes);
    rapidjson::StringStream stream(text);
    const bool ok = !reader.Parse<rapidjson::kParseNoFlags>(stream, builder).IsError();
    builder.Finish();
#if defined(RAPIDJSON_SSE2)
    if (ok && HoldsLateControlByte(text, length)) return false;
#endif
    return ok;
}

}  // namespace Kesh
