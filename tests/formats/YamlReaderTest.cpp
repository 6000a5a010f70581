#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "formats/JsonReader.h"
#include "formats/YamlReader.h"
#include "platform/Allocator.h"
#include "tests/support/CommaLocale.h"
#include "tests/support/SmallStackThread.h"
#include "tests/support/ValueShape.h"

namespace Kesh {
namespace {

using Testing::Shape;

std::string Read(std::string_view text) {
    const ConversionResult result = ReadYaml(text);
    EXPECT_TRUE(result.Ok()) << text << ": " << result.ErrorMessage();
    return Shape(result.Value());
}

std::string Failure(std::string_view text) {
    const ConversionResult result = ReadYaml(text);
    EXPECT_FALSE(result.Ok()) << text;
    return result.ErrorMessage();
}

TEST(YamlReader, DocumentsReadToTheirValues) {
    const struct {
        const char* text;
        const char* shape;
    } cases[] = {
        // Untagged scalars are typed by their text; integers that fit 64 bits keep every
        // digit, beyond 64 bits they are Floats.
        {"[1, -1, 1.5, \"1\", 'yes', 1e3, 1.0, -0, +7, -2.0, 1e30]", "[1u,-1,1.5,'1','yes',1000u,1u,0u,7u,-2,1e+30]"},
        {"[9007199254740993, 18446744073709551615, -9223372036854775808]",
         "[9007199254740993u,18446744073709551615u,-9223372036854775808]"},
        {"[18446744073709551616, -9223372036854775809]", "[18446744073709551616.0,-9223372036854775808.0]"},
        // So do hexadecimal ones: 2^53 + 1 through a double would lose its last bit.
        {"[0x20000000000001, 0X1f, -0x10, 1x5]", "[9007199254740993u,31u,-16,'1x5']"},
        {"[.inf, inf, nan, 1e999, 1_000, 12abc, 0x, --5, 0x-5, nULL]",
         "['.inf','inf','nan','1e999','1_000','12abc','0x','--5','0x-5','nULL']"},
        {"[true, True, TRUE, y, Y, yes, Yes, YES, on, On, ON]", "[true,true,true,true,true,true,true,true,true,true,true]"},
        {"[false, False, FALSE, n, N, no, No, NO, off, Off, OFF]",
         "[false,false,false,false,false,false,false,false,false,false,false]"},
        {"{a: , b: ~, c: null, d: Null, e: NULL}", "{a:~,b:~,c:~,d:~,e:~}"},
        // Block scalars count as plain.
        {"a: |-\n  5\nb: >\n  x\n  y\n", "{a:5u,b:'x y\n'}"},
        // Tags.
        {"[!!int -5, !!int 5, !!int 0x10, !!int 010, !!float 2, !!bool yes, !!bool OFF]", "[-5,5u,16u,8u,2.0,true,false]"},
        {"a: !!str", "{a:''}"},
        // A "!!str" scalar leaves its neighbours in place.
        {"[!!str 5, 6, !!str &s 7, *s]", "['5',6u,'7','7']"},
        {"a: !!str 1\nb: 2\n", "{a:'1',b:2u}"},
        // Documents.
        {"- a\n- [b, {c: ~}]\n", "['a',['b',{c:~}]]"},
        {"", "~"},
        {"just text", "'just text'"},
        {"'5'", "'5'"},
        {"--- ~\n---\na: 1\n", "{a:1u}"},
        // A repeated key replaces a scalar, merges containers, and overwrites a container.
        {"a: {b: 1}\na: 5\n", "{a:5u}"},
        {"a: [1]\na: 5\nb: 2\n", "{a:5u,b:2u}"},
        {"a: [1]\na: [2]\nb: {x: 1}\nb: {y: 2}\n", "{a:[1u,2u],b:{x:1u,y:2u}}"},
        // Keys: scalars of any text, the empty one included, and aliases of key texts or strings.
        {"!!str 5: 1\n6: 2\n", "{5:1u,6:2u}"},
        {"\"\": 1\nb: 2\n", "{:1u,b:2u}"},
        {"? \n: x\n", "{:'x'}"},
        {"a: &s name\n*s : 3\n&k b: 4\nc: {*k : 5}\n", "{a:'name',b:4u,c:{b:5u},name:3u}"},
        // Anchors and aliases: copies of the node as it is when the alias is read.
        {"a: &x {b: 1}\nc: *x\nd: &s [1, two]\ne: [*s, *s]\n", "{a:{b:1u},c:{b:1u},d:[1u,'two'],e:[[1u,'two'],[1u,'two']]}"},
        {"&k a: 1\nb: *k\nc: 2\n", "{a:1u,b:'a',c:2u}"},
        {"a: &x 1\na: 2\nb: *x\n", "{a:2u,b:2u}"},
    };
    for (const auto& c : cases) EXPECT_EQ(Read(c.text), c.shape) << c.text;

    // A copy, not a shared node.
    ConversionResult copied = ReadYaml("a: &x {b: 1}\nc: *x\n");
    copied.Value().Member("c").Member("b") = 9;
    EXPECT_EQ(Shape(copied.Value()), "{a:{b:1u},c:{b:9}}");
}

// A host may switch the process to a locale that writes "1,25": the bodies' numbers are
// typed and read exactly as in the "C" locale.
TEST(YamlReader, NumbersReadTheSameUnderACommaLocale) {
    Testing::CommaLocale locale;
    PZL_REQUIRE_COMMA_LOCALE(locale);
    EXPECT_EQ(Read("[1.25, -0.5e-1, 2.0, !!float 1.5]"), "[1.25,-0.05,2u,1.5]");
    EXPECT_EQ(Read("a: 1,25"), "{a:'1,25'}");
    const ConversionResult json = ParseJson("[1.25, -2.5e-1]");
    EXPECT_TRUE(json.Ok()) << json.ErrorMessage();
    EXPECT_EQ(Shape(json.Value()), "[1.25,-0.25]");
}

TEST(YamlReader, RejectedDocumentsSayWhyAndWhere) {
    const struct {
        std::string text;
        const char* message;
    } cases[] = {
        {"a: !custom x", "Unsupported YAML tag '!custom'."},
        {"a: !!binary AAAA", "Unsupported YAML tag 'tag:yaml.org,2002:binary'."},
        {"a: !!int abc", "Value abc for 'yaml' of type uint64_t is in an incorrect format"},
        {"a: !!int -abc", "Value -abc for 'yaml' of type int64_t is in an incorrect format"},
        {"a: !!int 18446744073709551616", "Value 18446744073709551616 for 'yaml' of type uint64_t is out of range"},
        {"a: !!float x", "Value x for 'yaml' of type double is in an incorrect format"},
        {"a: !!bool maybe", "Invalid YAML bool value 'maybe'."},
        // The first failure stands: nothing after it in the same node reports another.
        {"a: &x 1\nb: &x !!bool maybe\n", "Invalid YAML bool value 'maybe'."},
        {"a: 1\n---\nb: 2\n", "Multi-document YAML is not supported."},
        {"? [1]\n: 2\n", "Unexpected start of sequence. At line: 1 col: 3"},
        {"x:\n  ? {a: 1}\n  : 2\n", "Unexpected start of mapping. At line: 2 col: 5"},
        {"a: 1\n!!int 5: 1\n", "Invalid mapping key. Only string scalar keys are allowed. At line: 2 col: 1"},
        {"a: &n 5\n*n : 3\n", "Invalid mapping key. Only string scalar keys are allowed. At line: 2 col: 1"},
        {"*n : 3\n", "Undefined alias encountered: \"n\". At line: 1 col: 1"},
        {"c: *y\n", "Undefined alias encountered: \"y\". At line: 1 col: 4"},
        {"a: &x {b: {c: *x}}\n", "Cannot deserialize cyclic aliases. Alias \"x\". At line: 1 col: 15"},
        // Through a repeated key a path can name a node that is still open.
        {"a: &x 1\na: [ *x ]\n", "Cannot deserialize cyclic aliases. Alias \"x\". At line: 2 col: 6"},
        {"a: &x 1\nb: &x 2\n", "Duplicate occurrence of anchor \"x\". At line: 2 col: 4"},
        // The parser's own errors keep its zero-based positions.
        {"a: \"abc", "YAML parser error: found unexpected end of stream. At line: 0 col: 7"},
        {"a: 1\n b: 2\n", "YAML parser error: mapping values are not allowed in this context. At line: 1 col: 2"},
    };
    for (const auto& c : cases) EXPECT_EQ(Failure(c.text), c.message) << c.text;
}

TEST(YamlReader, AliasExpansionIsBounded) {
    std::string laughs = "a: &a [x, x, x, x, x, x, x, x, x, x]\n";
    for (char name = 'b'; name <= 'i'; ++name) {
        laughs += std::string(1, name) + ": &" + name + " [";
        for (int i = 0; i < 10; ++i) laughs += std::string(i == 0 ? "*" : ", *") + static_cast<char>(name - 1);
        laughs += "]\n";
    }
    EXPECT_EQ(Failure(laughs), "YAML aliases expand to more than 1000000 values. Alias \"e\". At line: 6 col: 36");

    // Exactly at the bound. An alias costs the entries open where it stands, the steps to
    // its node and the values it copies: each *a 3 + 10000 + 1, the last *t 2 + 1 + (r + 1).
    // 99 * 10004 + 3 + 9601 = 1000000.
    const auto document = [](int r) {
        std::string text = "a:\n  ";
        for (int i = 0; i < 9999; ++i) text += "- ";
        text += "&a x\nt: &t [z";
        for (int i = 1; i < r; ++i) text += ", z";
        text += "]\nb: [*a";
        for (int i = 1; i < 99; ++i) text += ", *a";
        return text + "]\nc: *t\n";
    };
    const ConversionResult atBound = ReadYaml(document(9600));
    ASSERT_TRUE(atBound.Ok()) << atBound.ErrorMessage();
    EXPECT_EQ(atBound.Value().GetMember("c").Size(), 9600u);
    EXPECT_EQ(Failure(document(9601)), "YAML aliases expand to more than 1000000 values. Alias \"t\". At line: 5 col: 4");
}

TEST(YamlReader, DeepNestingOnASmallStack) {
    Testing::RunOnSmallStack([] {
        // Block sequences nest on one line: "- - - 1".
        const std::size_t deepest = 100000;
        std::string dashes;
        for (std::size_t i = 0; i < deepest; ++i) dashes += "- ";
        const ConversionResult nested = ReadYaml(dashes + "1");
        ASSERT_TRUE(nested.Ok()) << nested.ErrorMessage();
        std::size_t depth = 0;
        const BindingProperty* at = &nested.Value();
        for (; at->Kind() == PropertyKind::Collection; at = &at->GetElement(0)) ++depth;
        EXPECT_EQ(depth, deepest);
        EXPECT_EQ(at->GetUnsigned(), 1u);
        EXPECT_EQ(ReadYaml(dashes + "- - 1").ErrorMessage(),
                  std::string("YAML nesting deeper than 100000 levels. At line: 1 col: 200001"));

        // Flow nesting has its own, lower bound.
        std::string maps;
        for (int i = 0; i < 1000; ++i) maps += "{a: [";
        maps += "1";
        for (int i = 0; i < 1000; ++i) maps += "]}";
        EXPECT_EQ(ReadYaml(maps).ErrorMessage(), std::string("YAML flow nesting deeper than 1000 levels. At line: 1 col: 2501"));
        EXPECT_TRUE(ReadYaml(std::string(1000, '[') + std::string(1000, ']')).Ok());
    });
}

TEST(YamlReader, ValuesCostNoAllocationsOfTheirOwnInEitherTextReader) {
    std::string numbers = "[";
    for (int i = 0; i < 10000; ++i) numbers += std::to_string(i * 7 - 30000) + ".5, ";
    numbers += "0]";
    for (const bool json : {false, true}) {
        const std::uint64_t before = Memory::ReadCounters().allocationCount;
        const ConversionResult result = json ? ParseJson(numbers) : ReadYaml(numbers);
        const std::uint64_t allocations = Memory::ReadCounters().allocationCount - before;
        ASSERT_EQ(result.Value().Size(), 10001u) << json;
        // The element array doubles, the reader's stacks grow once or twice: far below one
        // allocation per value.
        EXPECT_LT(allocations, 60u) << json;
    }
}

}  // namespace
}  // namespace Kesh
