// The MessagePack reader follows the value in the same place of the element before (its
// guide): a key or text that matches is taken over without interning it again. These
// bodies repeat shapes and then depart from them in every way a guide could be misled
// (keys added, missing, reordered or repeated, values of other kinds, texts cut at a NUL,
// values written over that guides point into); each must read exactly as the former
// reader reads it (tests/oracle/), tree for tree and intern count for intern count.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "binding/InternTable.h"
#include "binding/InternedString.h"
#include "binding/PropertyContext.h"
#include "formats/MessagePackReader.h"
#include "tests/oracle/BuilderOracles.h"
#include "tests/oracle/TreeComparison.h"
#include "tests/support/AllocationFailure.h"

namespace Kesh {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A few MessagePack pieces, concatenated.
Bytes Map(std::size_t entries) { return {static_cast<std::uint8_t>(0x80 | entries)}; }
Bytes Array(std::size_t elements) { return {static_cast<std::uint8_t>(0x90 | elements)}; }
// A fixstr up to 31 bytes, a str 8 above.
Bytes Str(const std::string& text) {
    Bytes bytes;
    if (text.size() < 32) {
        bytes.push_back(static_cast<std::uint8_t>(0xA0 | text.size()));
    } else {
        bytes = {0xD9, static_cast<std::uint8_t>(text.size())};
    }
    bytes.insert(bytes.end(), text.begin(), text.end());
    return bytes;
}
Bytes Int(std::uint8_t value) { return {value}; }
Bytes Nil() { return {0xC0}; }
Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes bytes;
    for (const Bytes& part : parts) bytes.insert(bytes.end(), part.begin(), part.end());
    return bytes;
}

// A map of keys k00..k(count-1) in order but for skipped, each holding its number: a
// member tree deep enough that following a guide climbs back up it.
Bytes Keys(std::size_t count, std::size_t skipped) {
    Bytes bytes = Map(count - (skipped < count ? 1 : 0));
    for (std::size_t i = 0; i < count; ++i) {
        if (i == skipped) continue;
        const std::string key = {'k', static_cast<char>('0' + i / 10), static_cast<char>('0' + i % 10)};
        bytes = Cat({bytes, Str(key), Int(static_cast<std::uint8_t>(i))});
    }
    return bytes;
}
void ExpectAsOracle(const Bytes& bytes) {
    std::size_t expectedConsumed = 0;
    std::size_t actualConsumed = 0;
    const ConversionResult expected = Oracle::ReadMessagePack(bytes.data(), bytes.size(), &expectedConsumed);
    const ConversionResult actual = ReadMessagePack(bytes.data(), bytes.size(), &actualConsumed);
    ASSERT_EQ(Oracle::Difference(expected, actual), "") << bytes.size() << " bytes";
    ASSERT_EQ(actualConsumed, expectedConsumed);
    ASSERT_EQ(Oracle::MemberTreeProblem(actual.Value()), "");
}

// {"id": n, "name": name, "tags": [..]} with keys in order, the usual element.
Bytes Record(std::uint8_t id, const std::string& name) {
    return Cat({Map(3), Str("id"), Int(id), Str("name"), Str(name), Str("tags"), Array(2), Str("t"), Str(name)});
}

TEST(MessagePackGuides, ElementsThatDepartFromTheOneBefore) {
    const Bytes same = Cat({Array(3), Record(1, "a"), Record(2, "a"), Record(3, "b")});
    const std::vector<Bytes> bodies{
        same,
        // A key added before, between and after the guide's keys.
        Cat({Array(2), Record(1, "a"), Map(4), Str("aa"), Int(0), Str("id"), Int(2), Str("name"), Str("a"), Str("tags"), Nil()}),
        Cat({Array(2), Record(1, "a"), Map(4), Str("id"), Int(2), Str("j"), Int(0), Str("name"), Str("a"), Str("tags"), Nil()}),
        Cat({Array(2), Record(1, "a"), Map(4), Str("id"), Int(2), Str("name"), Str("a"), Str("tags"), Nil(), Str("z"), Int(1)}),
        // A key missing, keys in another order, a key smaller than the one before.
        Cat({Array(2), Record(1, "a"), Map(2), Str("id"), Int(2), Str("tags"), Array(0)}),
        Cat({Array(2), Record(1, "a"), Map(3), Str("name"), Str("a"), Str("id"), Int(2), Str("tags"), Nil()}),
        Cat({Array(2), Record(1, "a"), Map(3), Str("id"), Int(2), Str("tags"), Nil(), Str("name"), Str("a")}),
        // A repeated key while the guide is followed: the earlier value is written over.
        Cat({Array(2), Record(1, "a"), Map(3), Str("id"), Int(2), Str("id"), Str("a"), Str("name"), Str("a")}),
        Cat({Array(2), Record(1, "a"), Map(3), Str("id"), Map(1), Str("x"), Int(1), Str("id"), Map(1), Str("y"), Int(2),
             Str("name"), Str("b")}),
        // Values of other kinds where the guide has a text, a map or an array.
        Cat({Array(3), Record(1, "a"), Map(3), Str("id"), Str("a"), Str("name"), Map(1), Str("id"), Int(1), Str("tags"),
             Str("tags"), Record(3, "a")}),
        // Keys and texts cut at a NUL, the empty key and the empty text.
        Cat({Array(3), Map(2), Str(std::string("k\0x", 3)), Str(std::string("v\0a", 3)), Str("k"), Str("v"), Map(2),
             Str(std::string("k\0y", 3)), Str("v"), Str("k"), Str(std::string("v\0b", 3)), Map(2), Str("k"),
             Str(std::string("k\0x", 3)), Str("v"), Str("v")}),
        Cat({Array(3), Map(2), Str(""), Str(""), Str("a"), Str(""), Map(2), Str(""), Str(""), Str("a"), Str("a"), Map(1),
             Str(""), Int(1)}),
        // Long keys that differ in one byte only, at the start, the middle and the end.
        Cat({Array(4), Map(1), Str(std::string(40, 'k')), Int(1), Map(1), Str("x" + std::string(39, 'k')), Int(2), Map(1),
             Str(std::string(20, 'k') + "x" + std::string(19, 'k')), Int(3), Map(1), Str(std::string(39, 'k') + "x"),
             Int(4)}),
        // Fifteen members in order, then again, then with one left out.
        Cat({Array(3), Keys(15, 99), Keys(15, 99), Keys(15, 7)}),
        // Arrays of arrays: the first element of an array follows the first of the one before.
        Cat({Array(3), Array(2), Record(1, "a"), Record(2, "b"), Array(1), Record(3, "b"), Array(2), Int(1), Record(4, "c")}),
        // A repeated key's array goes over the elements of the earlier one, which guided
        // the elements after them; texts held only there are freed and read again.
        Cat({Map(3), Str("l"), Array(2), Record(1, "only1"), Record(2, "only2"), Str("l"),
             Array(3), Str("x"), Record(3, "only1"), Record(4, "only3"), Str("m"), Array(2), Record(5, "only2"),
             Record(6, "only2")}),
        Cat({Map(3), Str("a"), Array(2), Record(1, "p"), Record(2, "q"), Str("a"), Str("gone"), Str("b"), Array(2),
             Record(1, "p"), Record(2, "q")}),
    };
    Bytes all = Cat({{0xDC, 0x00, static_cast<std::uint8_t>(bodies.size())}});
    for (const Bytes& body : bodies) {
        ExpectAsOracle(body);
        all.insert(all.end(), body.begin(), body.end());
    }
    // Every prefix ends or fails inside guided structures as the oracle does.
    for (std::size_t length = 0; length <= all.size(); ++length) {
        ExpectAsOracle(Bytes(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(length)));
    }
}

// Random edits of a body of repeated shapes: every guide meets keys, texts and kinds
// that differ from it in any byte.
TEST(MessagePackGuides, MutatedShapesReadAsTheOracleReadsThem) {
    Bytes base = Cat({{0xDC, 0x00, 0x06}});
    for (std::uint8_t i = 0; i < 6; ++i) {
        const Bytes record = Cat({Map(4), Str("created"), Str("Sun Aug 31"), Str("id"), Int(i), Str("text"),
                                  Str(i % 2 == 0 ? "same text" : "other"), Str("user"),
                                  Cat({Map(2), Str("lang"), Str("ja"), Str("name"), Str("n")})});
        base.insert(base.end(), record.begin(), record.end());
    }
    const std::uint8_t alphabet[] = {0x00, 0x01, 'a', 'e', 'n', 0x80, 0x81, 0x82, 0x91, 0xA1, 0xA2, 0xC0, 0xD9, 0xFF};
    std::uint32_t seed = 2024;
    const auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    for (int round = 0; round < 3000; ++round) {
        Bytes body = base;
        for (std::uint32_t edits = 1 + next() % 3; edits-- > 0;) {
            const std::size_t at = 3 + next() % (body.size() - 3);
            const std::uint8_t byte = alphabet[next() % sizeof(alphabet)];
            if (next() % 2 == 0) {
                body[at] = byte;
            } else {
                body.insert(body.begin() + static_cast<std::ptrdiff_t>(at), byte);
            }
        }
        ExpectAsOracle(body);
        if (HasFatalFailure()) return;
    }
}

// A guided key or text taken over at any allocation that fails leaves nothing behind.
TEST(MessagePackGuides, ExhaustedMemoryWhileFollowingGuidesLosesNothing) {
    const Bytes body = Cat({Array(4), Record(1, "a"), Record(2, "a"), Record(3, "b"), Record(4, "a")});
    for (std::uint64_t n = 1;; ++n) {
        const Memory::AllocationCounters before = Memory::ReadCounters();
        bool triggered = false;
        try {
            Testing::AllocationFailure failure(n, true);
            const ConversionResult result = ReadMessagePack(body.data(), body.size());
            triggered = failure.Triggered();
        } catch (const std::bad_alloc&) {
            triggered = true;
        }
        const Memory::AllocationCounters after = Memory::ReadCounters();
        EXPECT_EQ(after.allocationCount - before.allocationCount, after.freeCount - before.freeCount) << n;
        if (!triggered) break;
    }
}

// SameText against the plain comparison, for every length a key is compared by (one to
// three bytes, words of four and eight, up to four words, then memcmp) and every byte.
TEST(MessagePackGuides, SameTextTellsEveryByte) {
    PropertyContext context;
    for (std::size_t length = 0; length <= 40; ++length) {
        std::string text;
        for (std::size_t i = 0; i < length; ++i) text += static_cast<char>('a' + i % 26);
        const InternedString* entry = context.Strings().Intern(text);
        EXPECT_TRUE(SameText(*entry, text)) << length;
        EXPECT_FALSE(SameText(*entry, text + "a")) << length;
        if (length != 0) {
            EXPECT_FALSE(SameText(*entry, text.substr(0, length - 1))) << length;
        }
        for (std::size_t at = 0; at < length; ++at) {
            std::string other = text;
            other[at] = static_cast<char>(other[at] ^ 0x20);
            EXPECT_FALSE(SameText(*entry, other)) << length << " at " << at;
        }
        context.Strings().Release(entry);
    }
}

}  // namespace
}  // namespace Kesh
