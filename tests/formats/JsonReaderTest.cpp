#include <gtest/gtest.h>

#include <string>

#include "formats/JsonReader.h"
#include "tests/support/SmallStackThread.h"
#include "tests/support/ValueShape.h"

namespace Kesh {
namespace {

using Testing::Shape;

TEST(JsonReader, DocumentsReadToTheirValues) {
    const struct {
        std::string text;
        const char* shape;
    } cases[] = {
        {"", "~"},
        {" \t\r\n", "~"},
        {" null ", "~"},
        // Number classes at their limits.
        {"[5, -5, -0, 5.0, 5e0, 4294967296]", "[5u,-5,0,5.0,5.0,4294967296u]"},
        {"[18446744073709551615, 18446744073709551616]", "[18446744073709551615u,18446744073709551616.0]"},
        {"[-9223372036854775808, -9223372036854775809]", "[-9223372036854775808,-9223372036854775808.0]"},
        // Repeated keys: the later scalar wins, null keeps the earlier value, objects
        // merge, arrays append; members come out in byte order of their keys.
        {R"({"a":1,"a":2,"b":1,"b":null,"c":{"x":1},"c":5})", "{a:2u,b:1u,c:5u}"},
        {R"({"a":{"x":1,"y":1},"a":{"y":2},"l":[1],"l":[2,3]})", "{a:{x:1u,y:2u},l:[1u,2u,3u]}"},
        {R"({"b":1,"B":2,"a":3})", "{B:2u,a:3u,b:1u}"},
        {"[null,1,[],{}]", "[~,1u,[],{}]"},
        // A string ends at its NUL; escapes and surrogate pairs become UTF-8.
        {R"(["a\u0000b", "\ud83d\ude00 \u00e9\n"])", "['a','\xF0\x9F\x98\x80 \xC3\xA9\n']"},
        // A NUL byte ends the text, whatever follows it.
        {std::string("[1]\0 garbage", 12), "[1u]"},
    };
    for (const auto& c : cases) {
        const ConversionResult result = ParseJson(c.text);
        EXPECT_TRUE(result.Ok()) << c.text << ": " << result.ErrorMessage();
        EXPECT_EQ(Shape(result.Value()), c.shape) << c.text;
    }
    EXPECT_TRUE(ParseJson(static_cast<const char*>(nullptr)).Ok());
}

TEST(JsonReader, ErrorsCarryTheReasonAndOffset) {
    const struct {
        std::string text;
        const char* message;
    } cases[] = {
        {"{} x", "The document root must not be followed by other values. at offset 3."},
        {"[1,", "Invalid value. at offset 3."},
        {R"({"a" 1})", "Missing a colon after a name of object member. at offset 5."},
        {"[1 2]", "Missing a comma or ']' after an array element. at offset 3."},
        {"NaN", "Invalid value. at offset 0."},
        {"1e999", "Number too big to be stored in double. at offset 0."},
        {R"("\ud83d")", "The surrogate pair in string is invalid. at offset 1."},
        {std::string("[1,\0 2]", 7), "Invalid value. at offset 3."},
        // A text that starts with no value is not an empty document.
        {" }", "Invalid value. at offset 1."},
    };
    for (const auto& c : cases) {
        const ConversionResult result = ParseJson(c.text);
        EXPECT_FALSE(result.Ok()) << c.text;
        EXPECT_EQ(result.ErrorMessage(), "Error: " + std::string(c.message)) << c.text;
        EXPECT_EQ(result.Value().Size(), 1u) << c.text;  // only the "error" member survives
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

        // One level more is refused where it opens, however deep the text goes on.
        EXPECT_EQ(ParseJson(std::string(1000000, '[')).ErrorMessage(),
                  std::string("Error: Nesting deeper than 100000 levels. at offset 100000."));
    });
}

}  // namespace
}  // namespace Kesh
