#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "formats/MessagePackReader.h"
#include "platform/Allocator.h"
#include "tests/support/SmallStackThread.h"

namespace Kesh {
namespace {

using Bytes = std::vector<std::uint8_t>;

ConversionResult Read(const Bytes& bytes, std::size_t* consumed = nullptr) {
    return ReadMessagePack(bytes.data(), bytes.size(), consumed);
}

ConversionResult Parsed(const Bytes& bytes) {
    std::size_t consumed = 0;
    ConversionResult result = Read(bytes, &consumed);
    EXPECT_TRUE(result.Ok()) << result.ErrorMessage();
    EXPECT_EQ(consumed, bytes.size());
    return result;
}

std::string Failure(const Bytes& bytes) {
    const ConversionResult result = Read(bytes);
    EXPECT_FALSE(result.Ok());
    return result.ErrorMessage();
}

TEST(MessagePackReader, ScalarsByFormatByte) {
    EXPECT_EQ(Parsed({0x05}).Value().GetSigned(), 5);  // a positive fixint is Signed
    EXPECT_EQ(Parsed({0xCC, 0x05}).Value().GetUnsigned(), 5u);
    EXPECT_EQ(Parsed({0xFF}).Value().GetSigned(), -1);
    EXPECT_EQ(Parsed({0xE0}).Value().GetSigned(), -32);
    EXPECT_EQ(Parsed({0x7F}).Value().GetSigned(), 127);
    EXPECT_TRUE(Parsed({0xC0}).Value().IsEmpty());
    EXPECT_EQ(Parsed({0xC3}).Value().Kind(), PropertyKind::Bool);
    EXPECT_FALSE(Parsed({0xC2}).Value().ToBool());
    EXPECT_EQ(Parsed({0xD0, 0x80}).Value().GetSigned(), -128);
    EXPECT_EQ(Parsed({0xD1, 0xFF, 0xFE}).Value().GetSigned(), -2);
    EXPECT_EQ(Parsed({0xD2, 0x80, 0, 0, 0}).Value().GetSigned(), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(Parsed({0xD3, 0x80, 0, 0, 0, 0, 0, 0, 0}).Value().GetSigned(), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(Parsed({0xCF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}).Value().GetUnsigned(),
              std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(Parsed({0xCD, 0x12, 0x34}).Value().GetUnsigned(), 0x1234u);
    EXPECT_EQ(Parsed({0xCA, 0x3F, 0xC0, 0, 0}).Value().GetFloat(), 1.5);
    EXPECT_EQ(Parsed({0xCB, 0xC0, 0x04, 0, 0, 0, 0, 0, 0}).Value().GetFloat(), -2.5);
    EXPECT_STREQ(Parsed({0xA3, 'a', 0, 'b'}).Value().GetString(), "a");  // a String ends at its NUL
    EXPECT_STREQ(Parsed({0xD9, 0x02, 'h', 'i'}).Value().GetString(), "hi");
    EXPECT_STREQ(Parsed({0xDA, 0x00, 0x00}).Value().GetString("x"), "");
    EXPECT_EQ(Parsed({0xC4, 0x03, 0x00, 0xFF, 0x7F}).Value().GetBlob(), (Bytes{0x00, 0xFF, 0x7F}));
    EXPECT_EQ(Parsed({0xC5, 0x00, 0x01, 0xAB}).Value().GetBlob(), (Bytes{0xAB}));
}

TEST(MessagePackReader, ContainersKeysAndConsumedBytes) {
    const ConversionResult map = Parsed({0x82, 0xA1, 'b', 0x01, 0xA1, 'a', 0x92, 0xC3, 0xC0});
    EXPECT_EQ(map.Value().GetMember("b").GetSigned(), 1);
    ASSERT_EQ(map.Value().GetMember("a").Size(), 2u);
    EXPECT_TRUE(map.Value().GetMember("a").GetElement(1).IsEmpty());

    const ConversionResult nilMember = Parsed({0x81, 0xA1, 'a', 0xC0});
    EXPECT_TRUE(nilMember.Value().HasMember("a"));
    EXPECT_TRUE(nilMember.Value().GetMember("a").IsEmpty());
    EXPECT_EQ(Parsed({0x82, 0xA1, 'a', 0x01, 0xA1, 'a', 0x02}).Value().GetMember("a").GetSigned(), 2);
    EXPECT_EQ(Parsed({0xDE, 0x00, 0x01, 0xD9, 0x01, 'k', 0x07}).Value().GetMember("k").GetSigned(), 7);
    EXPECT_EQ(Parsed({0x90}).Value().Kind(), PropertyKind::Collection);
    EXPECT_EQ(Parsed({0x80}).Value().Kind(), PropertyKind::Structure);

    // Input may end inside open containers: what was read stays.
    const ConversionResult open = Parsed({0x92, 0x01});
    ASSERT_EQ(open.Value().Size(), 1u);
    EXPECT_EQ(open.Value().GetElement(0).GetSigned(), 1);
    EXPECT_EQ(Parsed({0x81, 0xA1, 'a'}).Value().Size(), 0u);

    // Only the first value is read; the caller sees what was left.
    std::size_t consumed = 0;
    EXPECT_EQ(Read({0x01, 0x02}, &consumed).Value().GetSigned(), 1);
    EXPECT_EQ(consumed, 1u);
    EXPECT_TRUE(Read({0x92, 0x01, 0x02, 0xC0}, &consumed).Ok());
    EXPECT_EQ(consumed, 3u);
    EXPECT_TRUE(Read({}, &consumed).Value().IsEmpty());
    EXPECT_EQ(consumed, 0u);
}

TEST(MessagePackReader, RejectedFormatsAndTruncatedParts) {
    EXPECT_EQ(Failure({0x81, 0x01, 0x02}), "Invalid MessagePack data at position 2. Map keys must be strings.");
    EXPECT_EQ(Failure({0x82, 0xA1, 'a', 0x01, 0xC0}), "Invalid MessagePack data at position 5. Map keys must be strings.");
    EXPECT_EQ(Failure({0xC1}), "Invalid MessagePack data at position 1.");
    EXPECT_EQ(Failure({0xD4, 0x01, 0x02}), "Invalid MessagePack data at position 1.");
    EXPECT_EQ(Failure({0x91, 0xC7, 0x01, 0x01, 0x00}), "Invalid MessagePack data at position 2.");
    EXPECT_EQ(Failure({0xCC}), "Invalid MessagePack data. 8-bit integer value at position 1 is truncated.");
    EXPECT_EQ(Failure({0xCD, 0x01}), "Invalid MessagePack data. 16-bit integer value at position 1 is truncated.");
    EXPECT_EQ(Failure({0xCD}), "Invalid MessagePack data. 16-bit integer value at position 1 is truncated.");
    EXPECT_EQ(Failure({0xCA, 0, 0, 0}), "Invalid MessagePack data. 32-bit integer value at position 1 is truncated.");
    EXPECT_EQ(Failure({0xD3, 0}), "Invalid MessagePack data. 64-bit integer value at position 1 is truncated.");
    EXPECT_EQ(Failure({0xDD, 0, 0}), "Invalid MessagePack data. 32-bit integer value at position 1 is truncated.");
    EXPECT_EQ(Failure({0x81, 0xD9}), "Invalid MessagePack data. 8-bit integer value at position 2 is truncated.");
    EXPECT_EQ(Failure({0xA3, 'a', 'b'}), "Invalid MessagePack data. String of size 3 at position 1 is truncated.");
    EXPECT_EQ(Failure({0xDB, 0xFF, 0xFF, 0xFF, 0xFF, 'a'}),
              "Invalid MessagePack data. String of size 4294967295 at position 5 is truncated.");
    EXPECT_EQ(Failure({0xC4, 0x05, 0x01}), "Invalid MessagePack data. Raw bytes of size 5 at position 2 are truncated.");
    // A failure discards what was read before it.
    const ConversionResult failed = Read({0x92, 0x01, 0xC1});
    EXPECT_EQ(failed.Value().Size(), 1u);
    EXPECT_TRUE(failed.Value().HasMember("error"));
}

TEST(MessagePackReader, EveryTruncationOfADocumentReadsOrReportsTruncation) {
    const Bytes document{0x83, 0xA1, 'a', 0x93, 0xCD, 0x01, 0x02, 0xCB, 0x40, 0x09, 0x21, 0xFB, 0x54, 0x44,
                         0x2D, 0x18, 0xD9, 0x03, 'x', 'y', 'z', 0xD9, 0x02, 'b', 'b', 0xC4, 0x02, 0xAA, 0xBB,
                         0xA1, 'c', 0xDE, 0x00, 0x01, 0xA1, 'd', 0xD2, 0xFF, 0xFF, 0xFF, 0xFE};
    ASSERT_TRUE(Parsed(document).Ok());
    for (std::size_t length = 0; length < document.size(); ++length) {
        std::size_t consumed = 0;
        const ConversionResult result = ReadMessagePack(document.data(), length, &consumed);
        EXPECT_LE(consumed, length);
        if (!result.Ok()) {
            const std::string message = result.ErrorMessage();
            EXPECT_EQ(message.rfind("Invalid MessagePack data. ", 0), 0u) << message;
            EXPECT_NE(message.find("truncated."), std::string::npos) << message;
        }
    }
}

TEST(MessagePackReader, HugeAnnouncedCountsCostOnlyWhatIsRead) {
    const std::uint64_t before = Memory::ReadCounters().bytesAllocated;
    const ConversionResult array = Parsed({0xDD, 0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0x02});
    const ConversionResult map = Parsed({0xDF, 0xFF, 0xFF, 0xFF, 0xFF, 0xA1, 'a', 0x01});
    EXPECT_LT(Memory::ReadCounters().bytesAllocated - before, 16384u);
    EXPECT_EQ(array.Value().Size(), 2u);
    EXPECT_EQ(map.Value().GetMember("a").GetSigned(), 1);
}

TEST(MessagePackReader, DeepNestingOnASmallStack) {
    Testing::RunOnSmallStack([] {
        const std::size_t deepest = 100000;
        Bytes arrays(deepest, 0x91);
        arrays.push_back(0x2A);
        const ConversionResult nested = Parsed(arrays);
        const BindingProperty* at = &nested.Value();
        std::size_t depth = 0;
        for (; at->Kind() == PropertyKind::Collection; at = &at->GetElement(0)) ++depth;
        EXPECT_EQ(depth, deepest);
        EXPECT_EQ(at->GetSigned(), 42);

        Bytes maps;
        for (std::size_t i = 0; i < deepest; ++i) maps.insert(maps.end(), {0x81, 0xA1, 'a'});
        maps.push_back(0x01);
        EXPECT_TRUE(Parsed(maps).Ok());

        const Bytes tooDeep(1000000, 0x91);
        EXPECT_EQ(Failure(tooDeep), "Invalid MessagePack data at position 100001. Nesting deeper than 100000 levels.");
    });
}

}  // namespace
}  // namespace Kesh
