#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "formats/JsonReader.h"
#include "formats/YamlPaths.h"
#include "formats/YamlReader.h"
#include "platform/Allocator.h"
#include "tests/support/CommaLocale.h"
#include "tests/support/SmallStackThread.h"

namespace Kesh {
namespace {

ConversionResult Parsed(std::string_view text) {
    ConversionResult result = ReadYaml(text);
    EXPECT_TRUE(result.Ok()) << text << ": " << result.ErrorMessage();
    return result;
}

std::string Failure(std::string_view text) {
    const ConversionResult result = ReadYaml(text);
    EXPECT_FALSE(result.Ok()) << text;
    return result.ErrorMessage();
}

// The member "a" of a one-line document "a: <text>".
BindingProperty ValueOf(const std::string& text) { return Parsed("a: " + text).Value().GetMember("a"); }

TEST(YamlReader, UntaggedScalarsAreTypedByTheirText) {
    EXPECT_EQ(ValueOf("1").GetUnsigned(), 1u);
    EXPECT_EQ(ValueOf("-1").GetSigned(), -1);
    EXPECT_EQ(ValueOf("1.5").GetFloat(), 1.5);
    EXPECT_STREQ(ValueOf("\"1\"").GetString(), "1");
    EXPECT_STREQ(ValueOf("'yes'").GetString(), "yes");
    EXPECT_EQ(ValueOf("1e3").GetUnsigned(), 1000u);
    EXPECT_EQ(ValueOf("1.0").GetUnsigned(), 1u);
    EXPECT_EQ(ValueOf("-0").Kind(), PropertyKind::Unsigned);
    EXPECT_EQ(ValueOf("+7").GetUnsigned(), 7u);
    EXPECT_EQ(ValueOf("-2.0").GetSigned(), -2);
    // Integers that fit 64 bits keep every digit; beyond 64 bits they are Floats.
    EXPECT_EQ(ValueOf("9007199254740993").GetUnsigned(), 9007199254740993u);
    EXPECT_EQ(ValueOf("18446744073709551615").GetUnsigned(), std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(ValueOf("-9223372036854775808").GetSigned(), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(ValueOf("18446744073709551616").GetFloat(), 18446744073709551616.0);
    EXPECT_EQ(ValueOf("-9223372036854775809").Kind(), PropertyKind::Float);
    EXPECT_EQ(ValueOf("1e30").GetFloat(), 1e30);
    // So do hexadecimal ones: 2^53 + 1 through a double would lose its last bit.
    const BindingProperty hex = Parsed("[0x20000000000001, 0X1f, -0x10, 1x5]").Value();
    EXPECT_EQ(hex.GetElement(0).Kind(), PropertyKind::Unsigned);
    EXPECT_EQ(hex.GetElement(0).GetUnsigned(), 9007199254740993u);
    EXPECT_EQ(hex.GetElement(1).Kind(), PropertyKind::Unsigned);
    EXPECT_EQ(hex.GetElement(1).GetUnsigned(), 31u);
    EXPECT_EQ(hex.GetElement(2).GetSigned(), -16);
    EXPECT_EQ(hex.GetElement(3).GetStringView(), "1x5");
    for (const char* text : {".inf", "inf", "nan", "1e999", "1_000", "12abc", "0x", "--5", "0x-5"}) {
        EXPECT_EQ(ValueOf(text).Kind(), PropertyKind::String) << text;
    }
    for (const char* text : {"true", "True", "TRUE", "y", "Y", "yes", "Yes", "YES", "on", "On", "ON"}) {
        EXPECT_TRUE(ValueOf(text).ToBool()) << text;
        EXPECT_EQ(ValueOf(text).Kind(), PropertyKind::Bool) << text;
    }
    for (const char* text : {"false", "False", "FALSE", "n", "N", "no", "No", "NO", "off", "Off", "OFF"}) {
        EXPECT_EQ(ValueOf(text).Kind(), PropertyKind::Bool) << text;
        EXPECT_FALSE(ValueOf(text).ToBool()) << text;
    }
    for (const char* text : {"", "~", "null", "Null", "NULL"}) {
        const ConversionResult result = Parsed(std::string("a: ") + text);
        EXPECT_TRUE(result.Value().HasMember("a")) << text;
        EXPECT_TRUE(result.Value().GetMember("a").IsEmpty()) << text;
    }
    EXPECT_STREQ(ValueOf("nULL").GetString(), "nULL");
    // Block scalars count as plain.
    EXPECT_EQ(Parsed("a: |-\n  5\n").Value().GetMember("a").GetUnsigned(), 5u);
    EXPECT_STREQ(Parsed("a: >\n  x\n  y\n").Value().GetMember("a").GetString(), "x y\n");
}

// A host may switch the process to a locale that writes "1,25": the bodies' numbers are
// typed and read exactly as in the "C" locale.
TEST(YamlReader, NumbersReadTheSameUnderACommaLocale) {
    Testing::CommaLocale locale;
    PZL_REQUIRE_COMMA_LOCALE(locale);
    EXPECT_EQ(ValueOf("1.25").Kind(), PropertyKind::Float);
    EXPECT_EQ(ValueOf("1.25").GetFloat(), 1.25);
    EXPECT_EQ(ValueOf("-0.5e-1").GetFloat(), -0.05);
    EXPECT_EQ(ValueOf("2.0").GetUnsigned(), 2u);
    EXPECT_EQ(ValueOf("1,25").Kind(), PropertyKind::String);
    EXPECT_EQ(Parsed("a: !!float 1.5").Value().GetMember("a").GetFloat(), 1.5);
    const ConversionResult json = ParseJson("[1.25, -2.5e-1]");
    ASSERT_TRUE(json.Ok()) << json.ErrorMessage();
    EXPECT_EQ(json.Value().GetElement(0).GetFloat(), 1.25);
    EXPECT_EQ(json.Value().GetElement(1).GetFloat(), -0.25);
}

TEST(YamlReader, TaggedScalars) {
    EXPECT_EQ(ValueOf("!!int -5").GetSigned(), -5);
    EXPECT_EQ(ValueOf("!!int 5").GetUnsigned(), 5u);
    EXPECT_EQ(ValueOf("!!int 0x10").GetUnsigned(), 16u);
    EXPECT_EQ(ValueOf("!!int 010").GetUnsigned(), 8u);
    // A "!!str" scalar leaves its neighbours in place.
    const BindingProperty strings = Parsed("[!!str 5, 6, !!str &s 7, *s]").Value();
    ASSERT_EQ(strings.Size(), 4u);
    EXPECT_EQ(strings.GetElement(0).GetStringView(), "5");
    EXPECT_EQ(strings.GetElement(1).GetUnsigned(), 6u);
    EXPECT_EQ(strings.GetElement(2).GetStringView(), "7");
    EXPECT_EQ(strings.GetElement(3).GetStringView(), "7");
    const BindingProperty map = Parsed("a: !!str 1\nb: 2\n").Value();
    EXPECT_EQ(map.GetMember("a").GetStringView(), "1");
    EXPECT_EQ(map.GetMember("b").GetUnsigned(), 2u);
    EXPECT_STREQ(ValueOf("!!str").GetString("x"), "");
    EXPECT_EQ(ValueOf("!!float 2").Kind(), PropertyKind::Float);
    EXPECT_EQ(ValueOf("!!float 2").GetFloat(), 2.0);
    EXPECT_TRUE(ValueOf("!!bool yes").ToBool());
    EXPECT_EQ(ValueOf("!!bool OFF").Kind(), PropertyKind::Bool);

    EXPECT_EQ(Failure("a: !custom x"), "Unsupported YAML tag '!custom'.");
    EXPECT_EQ(Failure("a: !!binary AAAA"), "Unsupported YAML tag 'tag:yaml.org,2002:binary'.");
    EXPECT_EQ(Failure("a: !!int abc"), "Value abc for 'yaml' of type uint64_t is in an incorrect format");
    EXPECT_EQ(Failure("a: !!int -abc"), "Value -abc for 'yaml' of type int64_t is in an incorrect format");
    EXPECT_EQ(Failure("a: !!int 18446744073709551616"),
              "Value 18446744073709551616 for 'yaml' of type uint64_t is out of range");
    EXPECT_EQ(Failure("a: !!float x"), "Value x for 'yaml' of type double is in an incorrect format");
    EXPECT_EQ(Failure("a: !!bool maybe"), "Invalid YAML bool value 'maybe'.");
}

TEST(YamlReader, StructureOfDocuments) {
    const ConversionResult sequence = Parsed("[1, 2]");
    ASSERT_EQ(sequence.Value().Size(), 2u);
    EXPECT_EQ(sequence.Value().GetElement(1).GetUnsigned(), 2u);
    EXPECT_EQ(Parsed("- a\n- [b, {c: ~}]\n").Value().GetElement(1).GetElement(1).Kind(), PropertyKind::Structure);
    EXPECT_TRUE(Parsed("").Value().IsEmpty());
    EXPECT_STREQ(Parsed("just text").Value().GetString(), "just text");

    EXPECT_EQ(Failure("a: 1\n---\nb: 2\n"), "Multi-document YAML is not supported.");
    EXPECT_EQ(Parsed("--- ~\n---\na: 1\n").Value().GetMember("a").GetUnsigned(), 1u);

    // A repeated key replaces a scalar, merges containers, and overwrites a container.
    EXPECT_EQ(Parsed("a: {b: 1}\na: 5\n").Value().GetMember("a").GetUnsigned(), 5u);
    EXPECT_EQ(Parsed("a: [1]\na: 5\nb: 2\n").Value().GetMember("b").GetUnsigned(), 2u);
    EXPECT_EQ(Parsed("a: [1]\na: [2]\n").Value().GetMember("a").Size(), 2u);
    const ConversionResult merged = Parsed("a: {x: 1}\na: {y: 2}\n");
    EXPECT_EQ(merged.Value().GetMember("a").Size(), 2u);
}

TEST(YamlReader, MappingKeys) {
    EXPECT_EQ(Failure("? [1]\n: 2\n"), "Unexpected start of sequence. At line: 1 col: 3");
    EXPECT_EQ(Failure("x:\n  ? {a: 1}\n  : 2\n"), "Unexpected start of mapping. At line: 2 col: 5");
    EXPECT_EQ(Failure("a: 1\n!!int 5: 1\n"), "Invalid mapping key. Only string scalar keys are allowed. At line: 2 col: 1");
    EXPECT_EQ(Parsed("!!str 5: 1").Value().GetMember("5").GetUnsigned(), 1u);
    EXPECT_EQ(Parsed("5: 1").Value().GetMember("5").GetUnsigned(), 1u);

    // An empty key is a key like any other, paired with its own value.
    const ConversionResult empty = Parsed("\"\": 1\nb: 2\n");
    EXPECT_EQ(empty.Value().GetMember("").GetUnsigned(), 1u);
    EXPECT_EQ(empty.Value().GetMember("b").GetUnsigned(), 2u);
    EXPECT_EQ(Parsed("? \n: x\n").Value().GetMember("").GetString(), std::string("x"));

    // An alias as a key stands for the key text or string it names.
    const ConversionResult aliasKeys = Parsed("a: &s name\n*s : 3\n&k b: 4\nc: {*k : 5}\n");
    EXPECT_EQ(aliasKeys.Value().GetMember("name").GetUnsigned(), 3u);
    EXPECT_EQ(aliasKeys.Value().GetMember("c").GetMember("b").GetUnsigned(), 5u);
    EXPECT_EQ(Failure("a: &n 5\n*n : 3\n"), "Invalid mapping key. Only string scalar keys are allowed. At line: 2 col: 1");
    EXPECT_EQ(Failure("*n : 3\n"), "Undefined alias encountered: \"n\". At line: 1 col: 1");
}

TEST(YamlReader, AnchorsAndAliases) {
    ConversionResult copied = Parsed("a: &x {b: 1}\nc: *x\nd: &s [1, two]\ne: [*s, *s]\n");
    EXPECT_EQ(copied.Value().GetMember("c").GetMember("b").GetUnsigned(), 1u);
    copied.Value().Member("c").Member("b") = 9;  // a copy, not a shared node
    EXPECT_EQ(copied.Value().GetMember("a").GetMember("b").GetUnsigned(), 1u);
    EXPECT_STREQ(copied.Value().GetMember("e").GetElement(1).GetElement(1).GetString(), "two");

    EXPECT_STREQ(Parsed("&k a: 1\nb: *k\n").Value().GetMember("b").GetString(), "a");
    // The node is copied as it is when the alias is read.
    EXPECT_EQ(Parsed("a: &x 1\na: 2\nb: *x\n").Value().GetMember("b").GetUnsigned(), 2u);

    EXPECT_EQ(Failure("a: &x [ *x ]\n"), "Cannot deserialize cyclic aliases. Alias \"x\". At line: 1 col: 9");
    EXPECT_EQ(Failure("a: &x {b: {c: *x}}\n"), "Cannot deserialize cyclic aliases. Alias \"x\". At line: 1 col: 15");
    // Through a repeated key a path can name a node that is still open.
    EXPECT_EQ(Failure("a: &x 1\na: [ *x ]\n"), "Cannot deserialize cyclic aliases. Alias \"x\". At line: 2 col: 6");
    EXPECT_EQ(Failure("c: *y\n"), "Undefined alias encountered: \"y\". At line: 1 col: 4");
    EXPECT_EQ(Failure("a: &x 1\nb: &x 2\n"), "Duplicate occurrence of anchor \"x\". At line: 2 col: 4");
}

TEST(YamlReader, AliasExpansionIsBounded) {
    std::string laughs = "a: &a [x, x, x, x, x, x, x, x, x, x]\n";
    for (char name = 'b'; name <= 'i'; ++name) {
        laughs += std::string(1, name) + ": &" + name + " [";
        for (int i = 0; i < 10; ++i) laughs += std::string(i == 0 ? "*" : ", *") + static_cast<char>(name - 1);
        laughs += "]\n";
    }
    EXPECT_EQ(Failure(laughs), "YAML aliases expand to more than 1000000 values. Alias \"e\". At line: 6 col: 36");
    // Four levels (11111 values per copy of d) stay inside the bound.
    const std::string fourLevels = laughs.substr(0, laughs.find("\ne:") + 1);
    EXPECT_EQ(Parsed(fourLevels).Value().GetMember("d").GetElement(9).GetElement(9).GetElement(9).Size(), 10u);
}

TEST(YamlReader, ParserErrorsKeepLibyamlsZeroBasedPosition) {
    EXPECT_EQ(Failure("a: \"abc"), "YAML parser error: found unexpected end of stream. At line: 0 col: 7");
    EXPECT_EQ(Failure("a: 1\n b: 2\n"), "YAML parser error: mapping values are not allowed in this context. At line: 1 col: 2");
}

TEST(YamlReader, EveryTruncationOfADocumentIsReadOrRejected) {
    const std::string document =
        "top: &t\n  n: -12\n  f: 1.5e2\n  s: 'quoted'\n  list: [1, \"two\", {x: ~}]\n"
        "copy: *t\nblock: |\n  line\n&k key: !!int 7\nname: *k\n";
    ASSERT_TRUE(ReadYaml(document).Ok());
    for (std::size_t length = 0; length < document.size(); ++length) {
        const ConversionResult result = ReadYaml(document.data(), length);
        if (!result.Ok()) {
            EXPECT_STRNE(result.ErrorMessage(), "") << length;
        }
    }
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
        EXPECT_EQ(ReadYaml(std::string(1000000, '[')).ErrorMessage(),
                  std::string("YAML flow nesting deeper than 1000 levels. At line: 1 col: 1001"));
        std::string manyDashes;
        for (int i = 0; i < 1000000; ++i) manyDashes += "- ";
        EXPECT_FALSE(ReadYaml(manyDashes).Ok());
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

// Only the newest step of the YAML path tree may be dropped: an older one is the parent
// of a newer one, or an anchor may still need it.
TEST(YamlPaths, PopKeepsStepsOthersStillNeed) {
    BindingProperty root;
    root["a"]["b"] = 5;
    std::size_t walked = 0;
    YamlPaths paths;
    const YamlPaths::StepId a = paths.PushKey(YamlPaths::kRoot, "a");
    const YamlPaths::StepId b = paths.PushKey(a, "b");
    paths.Pop(a);  // b still hangs from it
    paths.Pop(YamlPaths::kRoot);
    EXPECT_EQ(paths.Resolve(root, b, walked).GetSigned(), 5);
    EXPECT_EQ(walked, 2u);
    paths.Pin();  // an anchor refers to b
    paths.Pop(b);
    EXPECT_EQ(paths.Resolve(root, b, walked).GetSigned(), 5);
    // The newest step is dropped for good: its place is taken again, so steps do not pile up.
    const YamlPaths::StepId c = paths.PushKey(YamlPaths::kRoot, "c");
    paths.Pop(c);
    EXPECT_EQ(paths.PushKey(YamlPaths::kRoot, "c"), c);
}

}  // namespace
}  // namespace Kesh
