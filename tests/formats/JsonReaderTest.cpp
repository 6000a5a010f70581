#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <regex>
#include <string>

#include "formats/JsonReader.h"
#include "tests/support/SmallStackThread.h"

namespace Kesh {
namespace {

ConversionResult Parsed(const std::string& text) {
    ConversionResult result = ParseJson(text);
    EXPECT_TRUE(result.Ok()) << text << ": " << result.ErrorMessage();
    return result;
}

std::string Failure(const std::string& text) {
    const ConversionResult result = ParseJson(text);
    EXPECT_FALSE(result.Ok()) << text;
    return result.ErrorMessage();
}

TEST(JsonReader, EmptyDocumentsAndNullAreEmptyValues) {
    for (const char* text : {"", " \t\r\n", "null", " null "}) {
        const ConversionResult result = ParseJson(text);
        EXPECT_TRUE(result.Ok()) << text;
        EXPECT_TRUE(result.Value().IsEmpty()) << text;
    }
    EXPECT_TRUE(ParseJson(static_cast<const char*>(nullptr)).Ok());
}

TEST(JsonReader, NumberClassesAtTheirLimits) {
    EXPECT_EQ(Parsed("5").Value().GetUnsigned(), 5u);
    EXPECT_EQ(Parsed("-5").Value().GetSigned(), -5);
    const ConversionResult minusZero = Parsed("-0");
    EXPECT_EQ(minusZero.Value().Kind(), PropertyKind::Signed);
    EXPECT_EQ(minusZero.Value().GetSigned(-1), 0);
    EXPECT_EQ(Parsed("5.0").Value().GetFloat(), 5.0);
    EXPECT_EQ(Parsed("5e0").Value().GetFloat(), 5.0);
    EXPECT_EQ(Parsed("18446744073709551615").Value().GetUnsigned(), std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(Parsed("18446744073709551616").Value().GetFloat(), 18446744073709551616.0);
    EXPECT_EQ(Parsed("-9223372036854775808").Value().GetSigned(), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(Parsed("-9223372036854775809").Value().Kind(), PropertyKind::Float);
    EXPECT_EQ(Parsed("4294967296").Value().GetUnsigned(), 4294967296u);
}

TEST(JsonReader, RepeatedKeysOverwriteKeepOrMerge) {
    EXPECT_EQ(Parsed(R"({"a":1,"a":2})").Value().GetMember("a").GetUnsigned(), 2u);
    EXPECT_EQ(Parsed(R"({"a":1,"a":null})").Value().GetMember("a").GetUnsigned(), 1u);
    EXPECT_EQ(Parsed(R"({"a":{"b":1},"a":5})").Value().GetMember("a").GetUnsigned(), 5u);

    const ConversionResult merged = Parsed(R"({"a":{"x":1,"y":1},"a":{"y":2}})");
    EXPECT_EQ(merged.Value().GetMember("a").GetMember("x").GetUnsigned(), 1u);
    EXPECT_EQ(merged.Value().GetMember("a").GetMember("y").GetUnsigned(), 2u);

    const ConversionResult appended = Parsed(R"({"a":[1],"a":[2,3]})");
    ASSERT_EQ(appended.Value().GetMember("a").Size(), 3u);
    EXPECT_EQ(appended.Value().GetMember("a").GetElement(2).GetUnsigned(), 3u);

    // Members come out in byte order of their keys, not text order.
    const ConversionResult ordered = Parsed(R"({"b":1,"B":2,"a":3})");
    std::string keys;
    for (const MemberNode& member : ordered.Value().Members()) keys += member.Key();
    EXPECT_EQ(keys, "Bab");
}

TEST(JsonReader, NullElementsStillCount) {
    const ConversionResult result = Parsed("[null,1,[],{}]");
    ASSERT_EQ(result.Value().Size(), 4u);
    EXPECT_TRUE(result.Value().GetElement(0).IsEmpty());
    EXPECT_EQ(result.Value().GetElement(1).GetUnsigned(), 1u);
    EXPECT_EQ(result.Value().GetElement(2).Kind(), PropertyKind::Collection);
    EXPECT_EQ(result.Value().GetElement(3).Kind(), PropertyKind::Structure);
}

TEST(JsonReader, StringsAndNulBytes) {
    EXPECT_STREQ(Parsed(R"("a\u0000b")").Value().GetString(), "a");
    EXPECT_STREQ(Parsed(R"("\ud83d\ude00 \u00e9\n")").Value().GetString(), "\xF0\x9F\x98\x80 \xC3\xA9\n");
    EXPECT_EQ(Failure(R"("\ud83d")"), "Error: The surrogate pair in string is invalid. at offset 1.");
    // A NUL byte ends the text, whatever follows it.
    const ConversionResult cut = Parsed(std::string("[1]\0 garbage", 12));
    EXPECT_EQ(cut.Value().Size(), 1u);
    EXPECT_EQ(Failure(std::string("[1,\0 2]", 7)), "Error: Invalid value. at offset 3.");
}

TEST(JsonReader, ErrorsCarryTheReasonAndOffset) {
    EXPECT_EQ(Failure("{} x"), "Error: The document root must not be followed by other values. at offset 3.");
    EXPECT_EQ(Failure("[1,"), "Error: Invalid value. at offset 3.");
    EXPECT_EQ(Failure(R"({"a" 1})"), "Error: Missing a colon after a name of object member. at offset 5.");
    EXPECT_EQ(Failure("[1 2]"), "Error: Missing a comma or ']' after an array element. at offset 3.");
    EXPECT_EQ(Failure("[1,]"), "Error: Invalid value. at offset 3.");
    EXPECT_EQ(Failure("NaN"), "Error: Invalid value. at offset 0.");
    // A text that starts with no value is not an empty document.
    EXPECT_EQ(Failure("]"), "Error: Invalid value. at offset 0.");
    EXPECT_EQ(Failure(" }"), "Error: Invalid value. at offset 1.");
    EXPECT_EQ(Failure("\n,1"), "Error: Invalid value. at offset 1.");
    EXPECT_EQ(Failure(":"), "Error: Invalid value. at offset 0.");
    EXPECT_EQ(Failure("1e999"), "Error: Number too big to be stored in double. at offset 0.");
    const ConversionResult failed = ParseJson("{\"a\":[1,");
    EXPECT_EQ(failed.Value().Size(), 1u);  // only the "error" member survives
}

TEST(JsonReader, EveryTruncationOfADocumentFailsWithAnOffsetInside) {
    const std::string document = R"({"a":[1,-2.5e3,"x\u0041y",true,false,null,{"b":{}}],"c":"\ud83d\ude00"})";
    ASSERT_TRUE(ParseJson(document).Ok());
    const std::regex pattern(R"(Error: .+ at offset (\d+)\.)");
    for (std::size_t length = 1; length < document.size(); ++length) {
        const std::string prefix = document.substr(0, length);
        const ConversionResult result = ParseJson(prefix);
        ASSERT_FALSE(result.Ok()) << prefix;
        std::cmatch match;
        const std::string message = result.ErrorMessage();
        ASSERT_TRUE(std::regex_match(message.c_str(), match, pattern)) << message;
        EXPECT_LE(std::stoul(match[1].str()), length) << message;
    }
}

std::size_t DepthOf(const BindingProperty& root) {
    std::size_t depth = 0;
    for (const BindingProperty* at = &root; at->Kind() == PropertyKind::Collection || at->Kind() == PropertyKind::Structure;) {
        ++depth;
        at = at->Kind() == PropertyKind::Collection ? &at->GetElement(0) : &at->GetMember("a");
    }
    return depth;
}

TEST(JsonReader, DeepNestingOnASmallStack) {
    Testing::RunOnSmallStack([] {
        const std::size_t deepest = 100000;
        const ConversionResult arrays = ParseJson(std::string(deepest, '[') + std::string(deepest, ']'));
        ASSERT_TRUE(arrays.Ok()) << arrays.ErrorMessage();
        EXPECT_EQ(DepthOf(arrays.Value()), deepest);

        std::string objects;
        for (std::size_t i = 0; i < deepest; ++i) objects += "{\"a\":";
        objects += "1" + std::string(deepest, '}');
        const ConversionResult members = ParseJson(objects);
        ASSERT_TRUE(members.Ok()) << members.ErrorMessage();
        EXPECT_EQ(DepthOf(members.Value()), deepest);

        EXPECT_EQ(ParseJson(std::string(deepest + 1, '[') + std::string(deepest + 1, ']')).ErrorMessage(),
                  std::string("Error: Nesting deeper than 100000 levels. at offset 100000."));
        EXPECT_EQ(ParseJson(std::string(1000000, '[')).ErrorMessage(),
                  std::string("Error: Nesting deeper than 100000 levels. at offset 100000."));
    });
}

}  // namespace
}  // namespace Kesh
