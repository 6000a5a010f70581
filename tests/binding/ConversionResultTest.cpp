#include "binding/ConversionResult.h"

#include <gtest/gtest.h>

#include <string>

namespace Kesh {
namespace {

TEST(ConversionResult, CarriesItsMessageInTheErrorMember) {
    ConversionResult result;
    EXPECT_TRUE(result.Ok());
    EXPECT_TRUE(result.Value().IsEmpty());
    EXPECT_STREQ(result.ErrorMessage(), "");

    result.Value() = 5;
    result.SetError("Couldn't convert.");
    EXPECT_FALSE(result.Ok());
    EXPECT_STREQ(result.ErrorMessage(), "Couldn't convert.");
    ASSERT_EQ(result.Value().Kind(), PropertyKind::Structure);
    EXPECT_EQ(result.Value().Size(), 1u);
    EXPECT_STREQ(result.Value().GetMember("error").GetString(), "Couldn't convert.");

    // A message that is the result's own error text survives the clearing.
    const std::string longMessage(200, 'm');
    result.SetError(longMessage);
    result.SetError(result.ErrorMessage());
    EXPECT_EQ(result.ErrorMessage(), longMessage);
    EXPECT_EQ(result.Value().Size(), 1u);

    // A copy keeps the message; an overwritten "error" member gives no message.
    const ConversionResult copy = result;
    EXPECT_FALSE(copy.Ok());
    EXPECT_EQ(copy.ErrorMessage(), longMessage);
    result.Value()["error"] = 404;
    EXPECT_FALSE(result.Ok());
    EXPECT_STREQ(result.ErrorMessage(), "");

    // A success has no message, whatever its value holds.
    result.SetSuccess();
    EXPECT_TRUE(result.Ok());
    EXPECT_TRUE(result.Value().IsEmpty());
    result.Value()["error"] = "not an error";
    EXPECT_STREQ(result.ErrorMessage(), "");

    const ConversionResult failure = ConversionResult::Failure("bad");
    EXPECT_FALSE(failure.Ok());
    EXPECT_STREQ(failure.ErrorMessage(), "bad");
    EXPECT_TRUE(ConversionResult::Success().Ok());
}

}  // namespace
}  // namespace Kesh
