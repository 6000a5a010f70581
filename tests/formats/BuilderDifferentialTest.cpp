// The readers against their former selves (tests/oracle/): every corpus of the benchmark
// and inputs aimed at the ways the builders collect members and index texts must give
// the same trees (kinds, values, member order, intern counts) and the same messages, and
// every member tree must be a valid red-black tree.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bench/Corpora.h"
#include "binding/InternedString.h"
#include "formats/JsonReader.h"
#include "formats/MessagePackReader.h"
#include "formats/YamlReader.h"
#include "tests/oracle/BuilderOracles.h"
#include "tests/oracle/TreeComparison.h"
#include "tests/support/AllocationFailure.h"

namespace Kesh {
namespace {

void ExpectSameJson(const std::string& text) {
    const ConversionResult expected = Oracle::ParseJson(text);
    const ConversionResult actual = ParseJson(text);
    EXPECT_EQ(Oracle::Difference(expected, actual), "") << text.substr(0, 200);
    EXPECT_EQ(Oracle::MemberTreeProblem(actual.Value()), "") << text.substr(0, 200);
}

void ExpectSameMessagePack(const std::vector<std::uint8_t>& bytes) {
    std::size_t expectedConsumed = 0;
    std::size_t actualConsumed = 0;
    const ConversionResult expected = Oracle::ReadMessagePack(bytes.data(), bytes.size(), &expectedConsumed);
    const ConversionResult actual = ReadMessagePack(bytes.data(), bytes.size(), &actualConsumed);
    EXPECT_EQ(Oracle::Difference(expected, actual), "") << bytes.size() << " bytes";
    EXPECT_EQ(actualConsumed, expectedConsumed);
    EXPECT_EQ(Oracle::MemberTreeProblem(actual.Value()), "");
}

void ExpectSameYaml(const std::string& text) {
    const ConversionResult expected = Oracle::ReadYaml(text);
    const ConversionResult actual = ReadYaml(text);
    EXPECT_EQ(Oracle::Difference(expected, actual), "") << text.substr(0, 200);
    EXPECT_EQ(Oracle::MemberTreeProblem(actual.Value()), "") << text.substr(0, 200);
}

// MessagePack of a map of the given keys (short strings), each holding its position.
std::vector<std::uint8_t> MessagePackMap(const std::vector<std::string>& keys) {
    std::vector<std::uint8_t> bytes{0xDE, static_cast<std::uint8_t>(keys.size() >> 8),
                                    static_cast<std::uint8_t>(keys.size())};
    for (std::size_t i = 0; i < keys.size(); ++i) {
        bytes.push_back(static_cast<std::uint8_t>(0xA0 | keys[i].size()));
        bytes.insert(bytes.end(), keys[i].begin(), keys[i].end());
        bytes.push_back(static_cast<std::uint8_t>(i & 0x7F));
    }
    return bytes;
}

// Keys that share their first and last eight bytes and their length, so that the text
// index cannot tell them apart by its cheap hash, in an order that is not sorted.
std::vector<std::string> CollidingKeys(std::size_t count) {
    std::vector<std::string> keys;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t n = (i * 7919) % count;
        keys.push_back("prefix__" + std::to_string(100000 + n) + "__suffix");
    }
    return keys;
}

TEST(BuilderDifferential, EveryCorpusInEveryFormat) {
    for (const Bench::Corpus& corpus : Bench::Corpora()) {
        SCOPED_TRACE(corpus.name);
        ExpectSameJson(corpus.json);
        ExpectSameMessagePack(corpus.messagePack);
        ExpectSameYaml(corpus.yamlBlock);
        ExpectSameYaml(corpus.yamlFlow);
    }
}

TEST(BuilderDifferential, JsonMembersInAnyOrderWithRepeatedKeys) {
    std::string manyUnordered = "{";
    const std::vector<std::string> keys = CollidingKeys(300);
    for (std::size_t i = 0; i < keys.size(); ++i) manyUnordered += "\"" + keys[i] + "\":" + std::to_string(i) + ",";
    // Repeats after the structure went over to its tree, of early and late keys.
    manyUnordered += "\"" + keys[0] + "\":\"again\",\"" + keys[299] + "\":{\"x\":1}}";

    for (const std::string text : {
             R"({"b":1,"a":2,"c":3})",                        // out of order
             R"({"a":1,"a":2})",                              // adjacent repeat: the later scalar wins
             R"({"a":1,"b":2,"a":null})",                     // null keeps the earlier value
             R"({"c":1,"a":{"x":1},"b":0,"a":{"y":2}})",      // objects merge
             R"({"a":[1],"b":0,"a":[2,3]})",                  // arrays append
             R"({"a":{"x":{"p":1}},"a":{"x":5,"x":{"q":2}}})",  // a type change inside a merge
             R"({"a":{},"a":{"z":1,"y":2}})",                 // an empty object reopened
             R"({"a":"text","b":"text","c":{"a":"text"}})",   // a repeated text in keys and values
             R"({"a":"only","a":1,"b":"only","only":2})",     // a text freed by an overwrite, then read again
             R"({"k\u0000x":1,"k\u0000y":2,"k":3})",          // keys cut at a NUL meet
             R"(["s\u0000a","s\u0000b","s","s"])",
             R"({"":1,"a":2,"":3})",                          // the empty key
             R"({"b":1,"a":{"c":[{"e":1,"d":2},{"d":3}]},"b":2})",
             R"({"a":1,"ab":2,"abc":3,"abd":4,"b":5,"z":6,"\u00e9":7,"\u00e9t\u00e9":8})",  // ascending, prefixes, bytes past 0x7f
             R"({"abc":1,"ab":2,"\u00e9":3,"z":4,"a":5,"abc":6})",  // the same keys descending, one repeated

             R"({"b":1,"a":{"c":2,"c":)",                     // errors with members still collected
             R"({"b":1,"a":{"d":2,"c":3} x)",
             R"([{"b":1,"a":2},{"b":1,"a":)",
         }) {
        ExpectSameJson(text);
    }
    ExpectSameJson(manyUnordered);

    // Short texts of every length up to 17 that differ in one byte only, so that the
    // text index compares many of the same length and hash slot.
    std::string nearTexts = "[";
    for (int length = 1; length <= 17; ++length) {
        for (int i = 0; i < 40; ++i) {
            std::string text(static_cast<std::size_t>(length), 'q');
            text[static_cast<std::size_t>(i % length)] = static_cast<char>('a' + i / length % 26);
            nearTexts += "{\"" + text + "\":\"" + text + "\"},\"" + text + "\",";
        }
    }
    nearTexts += "0]";
    ExpectSameJson(nearTexts);

    std::string longTexts = "[";
    for (int i = 0; i < 2000; ++i) longTexts += "\"" + std::string(40 + i % 7, static_cast<char>('a' + i % 5)) + "\",";
    longTexts += "\"end\"]";
    ExpectSameJson(longTexts);
}

// Objects that repeat the shape of the one before them (an array's elements, and the
// objects in the same place inside them), and objects that depart from it: keys missing,
// added, reordered, repeated, cut at a NUL, values of another kind, merges.
TEST(BuilderDifferential, JsonObjectsLikeTheOneBefore) {
    // The empty key's entry is shared by every tree and never counted.
    const std::uint32_t emptyReferences = EmptyInternedString().ReferenceCount();
    for (const char* text : {
             R"([{"a":1,"b":2,"c":3},{"a":4,"b":5,"c":6},{"a":7,"c":8},{"a":9,"b":0,"c":1,"d":2},{"b":1}])",
             R"([{"a":1,"b":2},{"b":3,"a":4},{"a":5,"b":6},{"a":7,"b":8,"a":9}])",  // reordered, repeated
             R"([{"a":1,"b":2},{"a":3,"a":{"x":1},"b":5},{"a":{"x":1},"b":2,"a":{"y":2}}])",
             R"([{"u":{"m":1,"n":2},"t":[{"p":1},{"p":2}]},{"u":{"m":3,"n":4},"t":[{"p":3},{"q":4}]}])",
             R"([{"u":{"n":1,"m":2}},{"u":{"n":3,"m":4}},{"u":5},{"u":{"m":6}}])",  // nested, out of order
             R"([{"k\u0000x":1,"k":2},{"k\u0000x":3,"k":4},{"k":5,"k\u0000y":6}])",  // keys cut at a NUL
             R"([{"a":{"x":{"p":1}}},{"a":{"x":{"p":2}},"a":{"x":5}},{"a":{"x":{"p":3}}}])",
             R"([{},{"a":1},{},{"a":{}},{"a":{"b":1}}])",
             R"([1,{"a":1},"s",{"a":2},[{"a":3}],{"a":4}])",
             R"({"l":[{"a":1}],"b":0,"l":[{"a":2,"b":3}],"m":{"l":[{"a":4}]}})",  // an array continued
             R"([{"":1,"a":2},{"":3,"a":4},{"a":5,"":6}])",
             R"([{"a":"a","b":"b"},{"a":"b","b":"a"},{"b":"a","a":"b"}])",  // keys that are values too
             R"([{"a":1,"b":2},{"a":3,"b":)",                                 // refused inside a guided object
         }) {
        ExpectSameJson(text);
    }
    // Many elements of one shape with one departing in the middle, and objects wider than
    // the structures collected out of order may grow.
    std::string many = "[";
    for (int i = 0; i < 60; ++i) {
        many += "{";
        for (int k = 0; k < 40; ++k) {
            const int key = i == 30 ? 39 - k : k;
            many += "\"k" + std::to_string(100 + key) + "\":" + std::to_string(i) + (k == 39 ? "" : ",");
        }
        many += i == 59 ? "}" : "},";
    }
    ExpectSameJson(many + "]");
    EXPECT_EQ(EmptyInternedString().ReferenceCount(), emptyReferences);
}

TEST(BuilderDifferential, JsonDeepNestingOfObjects) {
    std::string objects;
    for (int i = 0; i < 20000; ++i) objects += i % 2 == 0 ? "{\"b\":1,\"a\":" : "{\"a\":[1,";
    objects += "2";
    for (int i = 20000; i-- > 0;) objects += i % 2 == 0 ? ",\"c\":3}" : "]}";
    ExpectSameJson(objects);
    ExpectSameJson(objects.substr(0, objects.size() / 2));  // ends inside every level
}

// The fast reader hands over to the iterative one when the text nests past its bound or
// is refused: whatever the bound, nothing of the abandoned read may remain in the tree,
// its intern counts or the message.
TEST(BuilderDifferential, JsonHandOverAtEveryDepth) {
    std::string deep;
    for (int i = 0; i < 300; ++i) deep += i % 2 == 0 ? "{\"k\":\"v\",\"a\":" : "[1,";
    deep += "0";
    std::string deepEnd;
    for (int i = 300; i-- > 0;) deepEnd += i % 2 == 0 ? ",\"k\":{\"m\":2}}" : "]";
    const std::string deepText = deep + deepEnd;

    const std::vector<std::string> texts = {
        R"({"a":{"x":1},"b":[1,[2,[3]]],"a":{"y":"t\u00e9xt"},"s":"t\u00e9xt"})",  // merges after deep arrays
        R"([{"b":1,"a":[{"d":{"e":[]}}]},{"b":1,"a":2}])",
        R"({"a":[[[[1]]]],"a":[[[[2]]]]})",
        R"({"b":1,"a":{"c":[{"e":1,"d":2},{"d":3}]},"b":2} )",
        R"({"a":{"b":{"c":1}},"a":{"b":{"c":)",  // refused inside a merge
        R"([[1,2],[3,4]] x)",                     // refused after the whole value
        R"(["\ud800"])",                          // a bad surrogate
        "[\"\x01\"]",                           // a control character in a string
        R"([1.5e999,-0,18446744073709551616,-9223372036854775809,1e-400])",
        "\xEF\xBB\xBF[1]",                      // a byte-order mark is not white space
        "{\"a\":1}\x00{\"b\":2}",             // the text ends at its first NUL
        deepText,
        deepText.substr(0, deepText.size() - 3),
    };
    for (const std::string& text : texts) {
        const ConversionResult expected = Oracle::ParseJson(text);
        for (const std::size_t bound : {std::size_t{0}, std::size_t{1}, std::size_t{2}, std::size_t{3},
                                        std::size_t{150}, kJsonRecursiveDepth}) {
            const ConversionResult actual = ParseJson(text.c_str(), bound);
            EXPECT_EQ(Oracle::Difference(expected, actual), "") << "bound " << bound << ": " << text.substr(0, 80);
            EXPECT_EQ(Oracle::MemberTreeProblem(actual.Value()), "");
        }
    }
}

// Strings are scanned in blocks of 16 bytes on some targets: an escape, a control
// character, a NUL or the end of the text at every position of a long run, and white
// space runs of every length, must read (or fail) as byte by byte.
TEST(BuilderDifferential, JsonStringAndSpaceRunsAtEveryPosition) {
    const std::string run = "abcdefghijklmnopqrstuvwxyz0123456789\xC3\xA9\xE2\x82\xAC";
    const std::vector<std::string> specials = {"\\n", "\\u00e9", "\\", "\x19", "\x1a", "\x1f", "\"", std::string(1, '\0')};
    std::vector<std::string> texts;
    for (std::size_t at = 0; at <= run.size(); ++at) {
        for (const std::string& special : specials) {
            std::string text = "[\"" + run.substr(0, at) + special + run.substr(at) + "\",{\"" + run.substr(at) + "\":1}]";
            texts.push_back(text);
        }
        texts.push_back("[\"" + run.substr(0, at));  // the text ends inside the string
        texts.push_back(std::string(at, ' ') + "[" + std::string(at, '\t') + "1" + std::string(at, '\n') + "]" +
                        std::string(at, '\r'));
        texts.push_back(std::string(at, ' ') + "x");
    }
    for (const std::string& text : texts) {
        // Each from a fresh copy at a different alignment, so blocks fall everywhere.
        for (std::size_t shift = 0; shift < 16; shift += 5) {
            const std::string shifted = std::string(shift, ' ') + text;
            EXPECT_EQ(Oracle::Difference(Oracle::ParseJson(shifted), ParseJson(shifted)), "") << shifted;
        }
    }
}

// The fuzz target runs under the address sanitizer, where strings are scanned byte by
// byte; this runs texts mutated at random from valid ones (fixed seed) through the
// block scans of an ordinary build.
TEST(BuilderDifferential, JsonMutatedTextsAgreeWithTheByteWiseReader) {
    const std::vector<std::string> bases = {
        R"({"name":"Arri\u00e8re-sc\u00e8ne 12, a longer text than sixteen","id":[1,-2,3.5e3],"ok":true})",
        R"(["a\tb\"c\\d","\ud83d\ude00 and more text after it",null,{"":""}])",
        "{\"k\xC3\xA9y\":\"v\xE2\x82\xAClue with enough bytes to fill blocks\",\"z\":  [ 0 , 1 ]  }",
    };
    const char alphabet[] = {'"', '\\', 'u', '0', 'a', '{', '}', '[', ']', ',', ':', ' ', '\n', '\x01', '\x1a',
                             '\x1f', '\x20', '\x7f', '\x80', '\xff', '\0', 'e', '-', '.'};
    std::uint32_t seed = 12345;
    const auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    for (int round = 0; round < 3000; ++round) {
        std::string text = std::string(next() % 16, ' ') + bases[next() % bases.size()];
        for (std::uint32_t edits = 1 + next() % 3; edits-- > 0;) {
            const std::size_t at = next() % text.size();
            const char byte = alphabet[next() % sizeof(alphabet)];
            if (next() % 2 == 0) {
                text[at] = byte;
            } else {
                text.insert(text.begin() + static_cast<std::ptrdiff_t>(at), byte);
            }
        }
        ASSERT_EQ(Oracle::Difference(Oracle::ParseJson(text), ParseJson(text)), "") << text;
    }
}

TEST(BuilderDifferential, MessagePackMapsInAnyOrderWithRepeatedKeys) {
    ExpectSameMessagePack({0x83, 0xA1, 'b', 0x01, 0xA1, 'a', 0x02, 0xA1, 'b', 0xC0});
    ExpectSameMessagePack({0x82, 0xA1, 'a', 0x81, 0xA1, 'x', 0x01, 0xA1, 'a', 0x81, 0xA1, 'y', 0x02});
    ExpectSameMessagePack({0x82, 0xA1, 'a', 0x91, 0x01, 0xA1, 'a', 0x91, 0x02});
    ExpectSameMessagePack({0x83, 0xA1, 'b', 0x01, 0xA1, 'a', 0x81, 0xA1, 'x'});   // ends inside
    ExpectSameMessagePack({0x82, 0xA1, 'b', 0x01, 0xA1, 'a', 0x81, 0x01, 0x02});  // fails inside
    ExpectSameMessagePack({0x82, 0xA3, 'k', 0x00, 'x', 0x01, 0xA3, 'k', 0x00, 'y', 0x02});
    ExpectSameMessagePack({0x83, 0xA1, 'a', 0xA1, 'o', 0xA1, 'a', 0x01, 0xA1, 'b', 0xA1, 'o'});

    std::vector<std::string> keys = CollidingKeys(200);
    keys.push_back(keys[3]);
    keys.push_back(keys[150]);
    ExpectSameMessagePack(MessagePackMap(keys));
}

// A new array appends (its first element by a short path, then growing); a repeated
// key's array goes over the elements the earlier one left; a repeated key's container or
// text replaces a value of another kind. Every truncation of a document of all of these
// must end or fail the same way too.
TEST(BuilderDifferential, MessagePackArraysAndReplacedValues) {
    using Bytes = std::vector<std::uint8_t>;
    Bytes growing{0xDC, 0x00, 0x11};
    for (std::uint8_t i = 0; i < 17; ++i) growing.push_back(i);
    const std::vector<Bytes> inputs{
        {0x92, 0x01, 0x02},
        {0x93, 0xA1, 'x', 0xA1, 'y', 0xA1, 'x'},
        growing,
        {0x93, 0x90, 0x80, 0x91, 0x90},
        {0x92, 0x92, 0xCB, 0x40, 0x09, 0x21, 0xFB, 0x54, 0x44, 0x2D, 0x18, 0xCA, 0x3F, 0xC0, 0, 0, 0x92, 0xC0, 0x05},
        {0x82, 0xA1, 'a', 0x93, 0x01, 0x02, 0x03, 0xA1, 'a', 0x91, 0x04},
        {0x82, 0xA1, 'a', 0x91, 0x01, 0xA1, 'a', 0x93, 0xC0, 0x05, 0x06},
        {0x83, 0xA1, 'a', 0xA1, 's', 0xA1, 'b', 0x01, 0xA1, 'a', 0x92, 0xA1, 's', 0x02},
        {0x82, 0xA1, 'a', 0x91, 0x01, 0xA1, 'a', 0x81, 0xA1, 'x', 0x01},
        {0x82, 0xA1, 'a', 0x81, 0xA1, 'x', 0x01, 0xA1, 'a', 0xA1, 't'},
        {0x82, 0xA1, 'a', 0x01, 0xA1, 'a', 0xA1, 't'},
        {0x82, 0xA1, 'a', 0x90, 0xA1, 'a', 0x92, 0x01, 0x02},
        {0x93, 0x01},
        {0x93, 0x01, 0x92, 0x02, 0xC1},
    };
    Bytes all{0xDC, 0x00, static_cast<std::uint8_t>(inputs.size())};
    for (const Bytes& input : inputs) {
        ExpectSameMessagePack(input);
        all.insert(all.end(), input.begin(), input.end());
    }
    for (std::size_t length = 0; length <= all.size(); ++length) {
        ExpectSameMessagePack(Bytes(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(length)));
    }
}

TEST(BuilderDifferential, YamlMappingsAliasesAndRepeatedKeys) {
    for (const std::string text : {
             "b: 1\na: 2\nc: 3\n",
             "a: 1\nb: 2\na: 3\n",
             "a: only\na: 1\nb: only\nonly: 2\n",
             "a: {x: 1}\nb: 0\na: {y: 2}\n",
             "a: [1]\na: [2]\n",
             "b: &x 1\na: *x\n",                       // an alias to a member of an open mapping
             "z: {q: &x {b: 1, a: 2}, p: *x}\nc: *x\n",  // and of a nested one
             "&k b: 1\na: {*k : 2}\n",                  // an anchored key used as a key again
             "b: &s text\na: *s\nc: text\n",
             "b: 1\na: {c: &x [1, {e: 2, d: 3}]}\nd: *x\nb: *x\n",
             "b: 1\na: {c: 2\n",                        // a parser error with members collected
             "b: 1\na: {c: !custom 2}\n",               // a builder error with members collected
             "b: 1\na: &x {c: *x}\n",
         }) {
        ExpectSameYaml(text);
    }

    std::string manyUnordered;
    for (const std::string& key : CollidingKeys(300)) manyUnordered += key + ": " + key + "\n";
    manyUnordered += CollidingKeys(300)[7] + ": again\n";
    ExpectSameYaml(manyUnordered);
}

// YAML mappings that follow the one in the same place before them (a sequence's previous
// element, or the value of the guide's member a key was taken from) and depart from it:
// a key missing, added, reordered or repeated at each position, keys cut at a NUL, values
// of another kind, merged mappings and sequences, anchors, aliases and merge keys inside
// guided mappings, and texts like the guide's in every style.
TEST(BuilderDifferential, YamlMappingsLikeTheOneBefore) {
    // The empty text's entry is shared by every tree and never counted: a guide must not
    // hand it out as a counted one.
    const std::uint32_t emptyReferences = EmptyInternedString().ReferenceCount();
    for (const std::string text : {
             "- {a: 1, b: 2, c: 3}\n- {a: 4, b: 5, c: 6}\n- {a: 7, c: 8}\n- {a: 9, b: 0, c: 1, d: 2}\n- {b: 1}\n",
             "- {a: 1, b: 2, c: 3}\n- {x: 1, b: 2, c: 3}\n- {a: 1, x: 2, c: 3}\n- {a: 1, b: 2, x: 3}\n",
             "- {a: 1, b: 2}\n- {b: 3, a: 4}\n- {a: 5, b: 6}\n- {a: 7, b: 8, a: 9}\n- {a: 1, a: 2, b: 3}\n",
             "- {a: 1, b: 2}\n- {a: 3, a: {x: 1}, b: 5}\n- {a: {x: 1}, b: 2, a: {y: 2}}\n",
             "- u: {m: 1, n: 2}\n  t: [{p: 1}, {p: 2}]\n- u: {m: 3, n: 4}\n  t: [{p: 3}, {q: 4}]\n",
             "- u: {n: 1, m: 2}\n- u: {n: 3, m: 4}\n- u: 5\n- u: {m: 6}\n",
             "- {\"k\\0x\": 1, k: 2}\n- {\"k\\0x\": 3, k: 4}\n- {k: 5, \"k\\0y\": 6}\n",
             "- {a: {x: {p: 1}}}\n- {a: {x: {p: 2}}, a: {x: 5}}\n- {a: {x: {p: 3}}}\n",
             "- {}\n- {a: 1}\n- {}\n- {a: {}}\n- {a: {b: 1}}\n",
             "- 1\n- {a: 1}\n- s\n- {a: 2}\n- [{a: 3}]\n- {a: 4}\n",
             "l: [{a: 1}]\nb: 0\nl: [{a: 2, b: 3}]\nm: {l: [{a: 4}]}\n",
             "- {'': 1, a: 2}\n- {'': 3, a: 4}\n- {a: 5, '': 6}\n",
             "- {a: a, b: b}\n- {a: b, b: a}\n- {b: a, a: b}\n",
             "- {a: 'x', b: \"y\", c: ''}\n- {a: 'x', b: 'z', c: ''}\n- {a: x, b: \"y\", c: \"\"}\n",
             "- {a: \"t\\0u\", b: 't'}\n- {a: \"t\\0u\", b: \"t\\0\"}\n- {a: 't', b: 't'}\n",
             "- {a: 'v', b: 1}\n- {a: !!str v, b: 2}\n- {a: 'v', b: 3}\n",
             "- {a: &x {p: 1}, b: 2}\n- {a: *x, b: 3}\n- {a: {p: 4}, b: *x}\n",
             "- &r {a: 1, b: 2}\n- *r\n- {a: 3, b: 4}\n- {<<: *r, c: 5}\n- {a: 6, <<: *r}\n",
             "- {&k a: 1, b: 2}\n- {*k : 3, b: 4}\n- {a: 5, b: 6}\n",
             "- {a: 1, b: [{c: 1}, {c: 2}]}\n- {a: 2, b: [{c: 3}, {d: 4}]}\n- {a: 3, b: [{c: 5}]}\n",
             "- [{a: 1}, {a: 2}]\n- [{a: 3}, {b: 4}]\n- [{b: 5}, {a: 6}]\n",
             "- {a: 1, b: 2}\n- {a: 3, b: !bad 4}\n",
             "- {a: 1, b: 2}\n- {a: 3, b: *missing}\n",
             "- {a: 1, b: 2}\n- {a: 3, b: [\n",
             "i1: {name: 'x', id: 1}\ni2: {name: 'x', id: 2}\ni3: {id: 3, name: 'y'}\n",
         }) {
        ExpectSameYaml(text);
    }
    // Many elements of one shape with one departing in the middle, block and flow style,
    // and mappings wider than the ones collected out of order may grow.
    std::string block;
    std::string flow = "[";
    for (int i = 0; i < 60; ++i) {
        flow += "{";
        for (int k = 0; k < 40; ++k) {
            const int key = i == 30 ? 39 - k : k;
            const std::string name = "k" + std::to_string(100 + key);
            block += (k == 0 ? "- " : "  ") + name + ": '" + std::to_string(i % 3) + "'\n";
            flow += name + ": " + std::to_string(i) + (k == 39 ? "" : ", ");
        }
        flow += i == 59 ? "}" : "}, ";
    }
    ExpectSameYaml(block);
    ExpectSameYaml(flow + "]");
    EXPECT_EQ(EmptyInternedString().ReferenceCount(), emptyReferences);
}

// The YAML reader finds an anchored node again by its way from the root, which it only
// writes down when an anchor asks: through sequences, keys, repeated keys, keys that are
// aliases or anchored, keys with a NUL, a later document; and it lets go of the key texts
// it holds when a read stops with containers open.
TEST(BuilderDifferential, YamlAnchorsAtEveryDepthAndKeysHeldOpen) {
    std::string deep;
    for (std::size_t i = 0; i < 200; ++i) deep += std::string(i * 2, ' ') + "- k" + std::to_string(i) + ":\n";
    deep += std::string(400, ' ') + "- &bottom [1, {x: 2}]\n- *bottom\n";
    for (const std::string text : {
             "a:\n  - x\n  - b: &n {c: [1, 2, &m 3]}\n    d: *n\n  - *m\ne: *n\n",
             "a: {x: 1}\na: {y: &q 2}\nb: *q\na: {z: *q}\n",
             "k: &s key\n*s : {z: &w 5}\nv: *w\n",
             "&k name: [&v 1]\nother: {*k : *v, *k : {deeper: &u [*v]}}\nlast: *u\n",
             "- - - &d1 [1, &d2 [2, &d3 {x: 3}]]\n- *d1\n- *d2\n- *d3\n",
             "{a: [{b: &x 1}, {c: *x}], d: [*x], e: {f: [[&y {g: *x}]]}, h: *y}",
             "\"k\\0x\": {y: &a 1}\nz: *a\n",
             "---\n...\n--- {a: &x 1, b: *x, c: [&z {d: *x}], e: *z}\n",
             "&x a: 1\n&x b: 2\n",
             "a: {b: {c: !bad 1}}\n",
             "a:\n  b:\n    c: *undefined\n",
             "a:\n  b:\n    c: [1, 2\n",
             "a:\n  b: &open\n    c: *open\n",
             "? [1]\n: 2\n",
         }) {
        ExpectSameYaml(text);
    }
    ExpectSameYaml(deep);
}

// The YAML reader makes a key's member when the key is read, before its value: repeated
// keys whose value is an alias to the member itself, keys left without a value by an
// error, every kind of key, and values of every kind and style at the root, in
// sequences (which grow by doubling, also when merged into a copied one) and in mappings.
TEST(BuilderDifferential, YamlKeysMadeBeforeTheirValues) {
    for (const std::string text : {
             "a: &x 1\na: *x\n",
             "a: &x [1]\na: *x\n",
             "a: &x {b: 1}\na: {c: *x}\n",
             "a: 1\n? b\n",
             "a: 1\nb: [\n",
             "a: 1\nb:\n",
             "{a: 1, b\n",
             "&k a: 1\n*k : 2\nc: *k\n",
             "s: &s text\n*s : 1\ntext: 2\n",
             "n: &n 5\n*n : 1\n",
             "!!str 1: x\n'2': y\n\"3\": z\n",
             "!!int 1: x\n",
             "? [1]\n",
             "? {a: 1}\n: 2\n",
             "[1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17]",
             "a: [1, 2, 3]\na: [4, 5, 6, 7, 8]\n",
             "x: &x [1, 2, 3]\na: *x\na: [4, 5]\n",
             "- !!int 2\n- &b x\n- *b\n- 'q'\n- \"d\"\n- |\n  lit\n- >\n  fold\n- ~\n- true\n",
             "a: !!float 1\nb: &c 'x'\nc: |\n  lit\nd: !!bool yes\ne: *c\n",
             "&a 1\n",
             "!!str 1\n",
             "'quoted'\n",
             "!!bool maybe\n",
             "a: {b: &v 1, c: *v}\nd: *v\n",
         }) {
        ExpectSameYaml(text);
    }
}

// Running out of memory at any point of a read leaves nothing behind but a failure: each
// allocation in turn fails, and every tree built so far must still be released whole
// (the sanitizers and the allocation counters would see anything lost).
TEST(BuilderDifferential, ExhaustedMemoryAtEveryAllocationLosesNothing) {
    const std::string json =
        R"({"d":{"b":1,"a":[1,{"y":2,"x":"text"}]},"c":"text","a":{"b":2},"a":{"c":3},"g":[{"a":1,"b":{"c":"t"}},{"a":2,"b":{"c":"u"}}]})";
    const std::vector<std::uint8_t> messagePack{0x84, 0xA1, 'b', 0x01, 0xA1, 'a', 0x81, 0xA1, 'x', 0xA2, 'h', 'i',
                                                0xA1, 'c', 0xA2, 'h', 'i', 0xA1, 'd', 0x93, 0x92, 0x01, 0x02,
                                                0x90, 0xA1, 'h'};
    // The same refused, and nested past the fast reader's bound: both read twice.
    const std::string refusedJson = json + " x";
    std::string deepJson(kJsonRecursiveDepth, '[');
    deepJson += json + std::string(kJsonRecursiveDepth, ']');
    const std::string yaml =
        "d: {b: 1, a: [1, {y: 2, x: text}]}\nc: &t text\na: *t\n"
        "g: [{a: 1, b: {c: 't'}}, {a: 2, b: {c: 't'}}, {a: 3, z: 4, b: {c: 'u'}}]\n";
    for (int format = 0; format < 5; ++format) {
        for (std::uint64_t n = 1;; ++n) {
            const Memory::AllocationCounters before = Memory::ReadCounters();
            bool triggered = false;
            try {
                Testing::AllocationFailure failure(n, true);
                if (format == 0) {
                    const ConversionResult result = ParseJson(json);
                } else if (format == 3) {
                    const ConversionResult result = ParseJson(refusedJson);
                } else if (format == 4) {
                    const ConversionResult result = ParseJson(deepJson);
                } else if (format == 1) {
                    const ConversionResult result = ReadMessagePack(messagePack.data(), messagePack.size());
                } else {
                    const ConversionResult result = ReadYaml(yaml);
                }
                triggered = failure.Triggered();
            } catch (const std::bad_alloc&) {
                triggered = true;
            }
            const Memory::AllocationCounters after = Memory::ReadCounters();
            EXPECT_EQ(after.allocationCount - before.allocationCount, after.freeCount - before.freeCount)
                << "format " << format << ", allocation " << n;
            if (!triggered) break;
        }
    }
}

}  // namespace
}  // namespace Kesh
