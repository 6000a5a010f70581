// The reader's typing of plain scalars reads runs of digits eight at a time, and the
// last few of a text as one word with the bytes before them: runs of every length,
// broken at every position by the bytes next to the digits ('/' and ':'), by NUL, by
// bytes whose addition carries into the next one, and by a point, must type as the
// plain statement of the rules does.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <string_view>

#include "binding/BindingProperty.h"
#include "formats/YamlScalar.h"

namespace Kesh {
namespace {

// Kind and payload of the general typing and of the reader's, as one text each.
std::string Typed(std::string_view text, bool fast) {
    BindingProperty value;
    if (fast) {
        AssignPlainYamlScalarFast(value, text);
    } else {
        AssignPlainYamlScalar(value, text);
    }
    switch (value.Kind()) {
        case PropertyKind::Unsigned:
            return "u" + std::to_string(value.GetUnsigned());
        case PropertyKind::Signed:
            return "s" + std::to_string(value.GetSigned());
        case PropertyKind::Float: {
            const double number = value.GetFloat();
            std::uint64_t bits = 0;
            std::memcpy(&bits, &number, sizeof bits);
            return "f" + std::to_string(bits);
        }
        case PropertyKind::String:
            return "t" + std::string(value.GetStringView());
        default:
            return "k" + std::to_string(static_cast<int>(value.Kind()));
    }
}

TEST(YamlDigitRuns, EightAtATimeAgreesWithTheRules) {
    // Every run length up to 40 digits, whole and after a point, with and without a sign.
    for (std::size_t length = 1; length <= 40; ++length) {
        const std::string run = std::string("1234567890987654321012345678909876543210").substr(0, length);
        for (const std::string& text : {run, "-" + run, "0." + run, "-7." + run, run + ".5", run + "." + run}) {
            EXPECT_EQ(Typed(text, true), Typed(text, false)) << text;
        }
    }
    // One byte that is no digit, at every position of a long run.
    for (const char intruder : {'/', ':', '.', 'e', ' ', '\0', '\xFA', '\xFF'}) {
        for (std::size_t at = 0; at < 20; ++at) {
            std::string text = "98765432109876543210";
            text[at] = intruder;
            EXPECT_EQ(Typed(text, true), Typed(text, false)) << text;
            const std::string fraction = "1." + text;
            EXPECT_EQ(Typed(fraction, true), Typed(fraction, false)) << fraction;
        }
    }
    // The last bytes of a text are read as one word that overlaps what came before: a
    // sign, a point or a whole part before short runs, and a non-digit at each place of
    // the run.
    for (const std::string prefix : {"", "-", "+", "7.", "-12.", "123.", "12345678.", "-123456789012345."}) {
        for (std::size_t length = 1; length <= 9; ++length) {
            const std::string run = prefix + std::string("908172635").substr(0, length);
            EXPECT_EQ(Typed(run, true), Typed(run, false)) << run;
            for (std::size_t at = prefix.size(); at < run.size(); ++at) {
                for (const char intruder : {'/', ':', '\0', '\xFA'}) {
                    std::string text = run;
                    text[at] = intruder;
                    EXPECT_EQ(Typed(text, true), Typed(text, false)) << text;
                }
            }
        }
    }
    std::mt19937 random(7);
    const std::string_view alphabet = "01234567890123456789012345678901234567890123456789/:.-";
    for (int i = 0; i < 100000; ++i) {
        std::string text;
        const std::size_t length = 1 + random() % 32;
        for (std::size_t j = 0; j < length; ++j) text += alphabet[random() % alphabet.size()];
        ASSERT_EQ(Typed(text, true), Typed(text, false)) << text;
    }
}

}  // namespace
}  // namespace Kesh
