#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "formats/MessagePackReader.h"
#include "binding/InternTable.h"
#include "binding/PropertyContext.h"
#include "platform/Allocator.h"
#include "tests/binding/TreeChecks.h"
#include "tests/support/AllocationFailure.h"
#include "tests/support/SmallStackThread.h"
#include "tests/support/ValueShape.h"

namespace Kesh {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Testing::Shape;

ConversionResult Read(const Bytes& bytes, std::size_t* consumed = nullptr) {
    return ReadMessagePack(bytes.data(), bytes.size(), consumed);
}

TEST(MessagePackReader, ValuesByFormatByte) {
    const struct {
        Bytes bytes;
        const char* shape;
        std::size_t consumed;  // 0: all of them
    } cases[] = {
        {{0x05}, "5", 0},  // a positive fixint is Signed
        {{0x7F}, "127", 0},
        {{0xFF}, "-1", 0},
        {{0xE0}, "-32", 0},
        {{0xCC, 0x05}, "5u", 0},
        {{0xCD, 0x12, 0x34}, "4660u", 0},
        {{0xCF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, "18446744073709551615u", 0},
        {{0xD0, 0x80}, "-128", 0},
        {{0xD1, 0xFF, 0xFE}, "-2", 0},
        {{0xD2, 0x80, 0, 0, 0}, "-2147483648", 0},
        {{0xD3, 0x80, 0, 0, 0, 0, 0, 0, 0}, "-9223372036854775808", 0},
        {{0xC0}, "~", 0},
        {{0xC3}, "true", 0},
        {{0xC2}, "false", 0},
        {{0xCA, 0x3F, 0xC0, 0, 0}, "1.5", 0},
        {{0xCB, 0xC0, 0x04, 0, 0, 0, 0, 0, 0}, "-2.5", 0},
        {{0xA3, 'a', 0, 'b'}, "'a'", 0},  // a String ends at its NUL
        {{0xD9, 0x02, 'h', 'i'}, "'hi'", 0},
        {{0xDA, 0x00, 0x00}, "''", 0},
        {{0xA0}, "''", 0},
        {{0xC4, 0x03, 0x00, 0xFF, 0x7F}, "<00ff7f>", 0},
        {{0xC5, 0x00, 0x01, 0xAB}, "<ab>", 0},
        {{0x82, 0xA1, 'b', 0x01, 0xA1, 'a', 0x92, 0xC3, 0xC0}, "{a:[true,~],b:1}", 0},
        {{0x82, 0xA1, 'a', 0x01, 0xA1, 'a', 0x02}, "{a:2}", 0},
        {{0x81, 0xA1, 'a', 0xC0}, "{a:~}", 0},
        {{0x81, 0xA0, 0x01}, "{:1}", 0},  // the empty key
        {{0xDE, 0x00, 0x01, 0xD9, 0x01, 'k', 0x07}, "{k:7}", 0},
        {{0x90}, "[]", 0},
        {{0x80}, "{}", 0},
        // Input may end inside open containers: what was read stays.
        {{0x92, 0x01}, "[1]", 0},
        {{0x81, 0xA1, 'a'}, "{}", 0},
        // Only the first value is read; the caller sees what was left.
        {{0x01, 0x02}, "1", 1},
        {{0x92, 0x01, 0x02, 0xC0}, "[1,2]", 3},
        {{}, "~", 0},
    };
    for (const auto& c : cases) {
        std::size_t consumed = 99;
        const ConversionResult result = Read(c.bytes, &consumed);
        EXPECT_TRUE(result.Ok()) << c.shape << ": " << result.ErrorMessage();
        EXPECT_EQ(Shape(result.Value()), c.shape);
        EXPECT_EQ(consumed, c.consumed != 0 ? c.consumed : c.bytes.size()) << c.shape;
    }
    // The largest fixmap: fifteen members.
    Bytes fifteen{0x8F};
    for (std::uint8_t i = 0; i < 15; ++i) fifteen.insert(fifteen.end(), {0xA1, static_cast<std::uint8_t>('a' + i), i});
    EXPECT_EQ(Shape(Read(fifteen).Value()), "{a:0,b:1,c:2,d:3,e:4,f:5,g:6,h:7,i:8,j:9,k:10,l:11,m:12,n:13,o:14}");
}

TEST(MessagePackReader, RejectedFormatsAndTruncatedParts) {
    const struct {
        Bytes bytes;
        const char* message;  // after "Invalid MessagePack data"
    } cases[] = {
        {{0x81, 0x01, 0x02}, " at position 2. Map keys must be strings."},
        {{0x82, 0xA1, 'a', 0x01, 0xC0}, " at position 5. Map keys must be strings."},
        {{0xC1}, " at position 1."},
        {{0xD4, 0x01, 0x02}, " at position 1."},
        {{0x91, 0xC7, 0x01, 0x01, 0x00}, " at position 2."},
        {{0xCC}, ". 8-bit integer value at position 1 is truncated."},
        {{0xCD, 0x01}, ". 16-bit integer value at position 1 is truncated."},
        {{0xCA, 0, 0, 0}, ". 32-bit integer value at position 1 is truncated."},
        {{0xD3, 0}, ". 64-bit integer value at position 1 is truncated."},
        {{0xDD, 0, 0}, ". 32-bit integer value at position 1 is truncated."},
        {{0x81, 0xD9}, ". 8-bit integer value at position 2 is truncated."},
        {{0xA3, 'a', 'b'}, ". String of size 3 at position 1 is truncated."},
        {{0xDB, 0xFF, 0xFF, 0xFF, 0xFF, 'a'}, ". String of size 4294967295 at position 5 is truncated."},
        {{0xC4, 0x05, 0x01}, ". Raw bytes of size 5 at position 2 are truncated."},
        {{0x92, 0x01, 0xC1}, " at position 3."},
    };
    for (const auto& c : cases) {
        const ConversionResult result = Read(c.bytes);
        EXPECT_FALSE(result.Ok()) << c.message;
        EXPECT_EQ(result.ErrorMessage(), "Invalid MessagePack data" + std::string(c.message));
        // A failure discards what was read before it: only the "error" member is left.
        EXPECT_EQ(result.Value().Size(), 1u) << c.message;
    }
}

TEST(MessagePackReader, HugeAnnouncedCountsCostOnlyWhatIsRead) {
    const std::uint64_t before = Memory::ReadCounters().bytesAllocated;
    const ConversionResult array = Read({0xDD, 0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0x02});
    const ConversionResult map = Read({0xDF, 0xFF, 0xFF, 0xFF, 0xFF, 0xA1, 'a', 0x01});
    EXPECT_LT(Memory::ReadCounters().bytesAllocated - before, 16384u);
    EXPECT_EQ(Shape(array.Value()), "[1,2]");
    EXPECT_EQ(Shape(map.Value()), "{a:1}");
}

// The text number i of TextArray (different in its first bytes, as the index hashes them).
std::string TextNumber(std::size_t i) { return std::to_string(i) + " of many texts"; }

// An array of count distinct texts, each twice when twice.
Bytes TextArray(std::size_t count, bool twice) {
    const std::size_t items = twice ? 2 * count : count;
    Bytes bytes{0xDC, static_cast<std::uint8_t>(items >> 8), static_cast<std::uint8_t>(items)};
    for (std::size_t i = 0; i < items; ++i) {
        const std::string text = TextNumber(twice ? i / 2 : i);
        bytes.push_back(static_cast<std::uint8_t>(0xA0 | text.size()));  // under 32 bytes
        bytes.insert(bytes.end(), text.begin(), text.end());
    }
    return bytes;
}

// A read leaves the texts new to it unhashed; whatever uses the table later finds them
// hashed, in their buckets and counted.
TEST(MessagePackReader, TextsOfAReadTreeAreFoundLater) {
    for (const std::size_t count : {std::size_t{3}, std::size_t{40}, std::size_t{700}}) {
        ConversionResult result = Read(TextArray(count, true));
        ASSERT_TRUE(result.Ok());
        BindingProperty& tree = result.Value();
        InternTable& strings = tree.Context()->Strings();
        ASSERT_EQ(strings.Size(), count);
        for (std::size_t i = 0; i < count; ++i) {
            const std::string text = TextNumber(i);
            const InternedString* entry = strings.Find(text);
            ASSERT_NE(entry, nullptr) << text;
            EXPECT_EQ(entry->hash, InternedString::Hash(text.data(), text.size())) << text;
            EXPECT_EQ(entry->ReferenceCount(), 2u) << text;
        }
        EXPECT_GE(strings.BucketCount(), count);
        // Writing over both holders of a text frees its entry; a text assigned again
        // takes the entry there is.
        tree.Element(0).AssignString(TextNumber(1));
        tree.Element(1).AssignString(TextNumber(1));
        EXPECT_EQ(strings.Find(TextNumber(0)), nullptr);
        EXPECT_EQ(strings.Find(TextNumber(1))->ReferenceCount(), 4u);
        EXPECT_EQ(strings.Size(), count - 1);
    }
}

// Buckets the table cannot have when its pending texts are first used leave it with
// longer chains: every text is still found, and the next text added grows it to fit.
TEST(MessagePackReader, TextsAreFoundWhenTheirBucketsCannotBeHad) {
    const std::size_t count = 700;
    // Only a bucket array past the largest span comes from the heap, where it can fail.
    if (1024 * sizeof(InternedString*) <= PropertyContext::kMaxSpanSize) GTEST_SKIP() << "buckets from the arena";
    ConversionResult result = Read(TextArray(count, false));
    ASSERT_TRUE(result.Ok());
    InternTable& strings = result.Value().Context()->Strings();
    ASSERT_LT(strings.BucketCount(), count);  // the texts wait unhashed
    {
        Testing::AllocationFailure failure(1, true);
        const InternedString* first = strings.Find(TextNumber(0));
        failure.End();
        EXPECT_TRUE(failure.Triggered());
        ASSERT_NE(first, nullptr);
    }
    EXPECT_LT(strings.BucketCount(), count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::string text = TextNumber(i);
        ASSERT_NE(strings.Find(text), nullptr) << text;
    }
    result.Value().Append().AssignString("new");
    EXPECT_GE(strings.BucketCount(), count + 1);
    EXPECT_NE(strings.Find(TextNumber(count - 1)), nullptr);
}

// Maps of every size up to past the ones linked from a table of shapes, keys in order,
// in reverse and as a nested value: valid red-black trees where every key is found.
TEST(MessagePackReader, MapsOfEverySizeAreBalancedTrees) {
    for (std::size_t count = 0; count <= 20; ++count) {
        for (const bool reversed : {false, true}) {
            Bytes bytes{0x81, 0xA1, 'm', 0xDE, 0x00, static_cast<std::uint8_t>(count)};
            for (std::size_t i = 0; i < count; ++i) {
                const std::size_t number = reversed ? count - 1 - i : i;
                bytes.insert(bytes.end(), {0xA2, static_cast<std::uint8_t>('a' + number), 'k', static_cast<std::uint8_t>(number)});
            }
            const ConversionResult result = Read(bytes);
            ASSERT_TRUE(result.Ok());
            const BindingProperty& map = result.Value().GetMember("m");
            Testing::ExpectValidTrees(result.Value());
            EXPECT_EQ(map.Size(), count);
            for (std::size_t i = 0; i < count; ++i) {
                const std::string key{static_cast<char>('a' + i), 'k'};
                EXPECT_EQ(map.GetMember(key).GetSigned(), static_cast<std::int64_t>(i)) << count << " " << key;
            }
        }
    }
}

TEST(MessagePackReader, DeepNestingOnASmallStack) {
    Testing::RunOnSmallStack([] {
        const std::size_t deepest = 100000;
        Bytes arrays(deepest, 0x91);
        arrays.push_back(0x2A);
        const ConversionResult nested = Read(arrays);
        const BindingProperty* at = &nested.Value();
        std::size_t depth = 0;
        for (; at->Kind() == PropertyKind::Collection; at = &at->GetElement(0)) ++depth;
        EXPECT_EQ(depth, deepest);
        EXPECT_EQ(at->GetSigned(), 42);

        Bytes maps;
        for (std::size_t i = 0; i < deepest; ++i) maps.insert(maps.end(), {0x81, 0xA1, 'a'});
        maps.push_back(0x01);
        EXPECT_TRUE(Read(maps).Ok());

        EXPECT_EQ(Read(Bytes(1000000, 0x91)).ErrorMessage(),
                  std::string("Invalid MessagePack data at position 100001. Nesting deeper than 100000 levels."));
    });
}

}  // namespace
}  // namespace Kesh
