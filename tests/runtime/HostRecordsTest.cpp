#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "binding/TypeRegistry.h"
#include "platform/Allocator.h"
#include "runtime/ApiTable.h"
#include "runtime/HostReply.h"
#include "runtime/HostRequest.h"
#include "runtime/HttpMethod.h"
#include "tests/support/Unpacked.h"

namespace Kesh {
namespace {

using Testing::Unpacked;

std::int64_t LiveBlocks() {
    const Memory::AllocationCounters counters = Memory::ReadCounters();
    return static_cast<std::int64_t>(counters.allocationCount - counters.freeCount);
}

TEST(HttpMethod, HostNumbersAndNames) {
    const char* names[] = {"", "DELETE", "GET", "HEAD", "OPTIONS", "PATCH", "POST", "PUT", ""};
    for (std::uint32_t number = 0; number <= 8; ++number) {
        const HttpMethod method = HttpMethodFromHost(number);
        EXPECT_EQ(static_cast<std::uint32_t>(method), number);
        EXPECT_STREQ(HttpMethodName(method), names[number]) << number;
    }
    EXPECT_EQ(HttpMethodFromHost(9), HttpMethod::None);
    EXPECT_EQ(HttpMethodFromHost(0xFFFFFFFFu), HttpMethod::None);
    EXPECT_STREQ(HttpMethodName(static_cast<HttpMethod>(9)), "");
}

// The host reads these records byte by byte; sizes are checked at compile time, this checks
// that values land at the bytes named for them, little-endian.
TEST(HostRecords, LayoutAsTheHostReadsIt) {
    if (sizeof(void*) != 4) GTEST_SKIP() << "the host's layout is the 32-bit one";
    HostReply reply{};
    reply.result.value.SetSigned(0x0102030405060708);
    reply.result.hasError = 1;
    reply.replyCode = 2;
    reply.bodySizeHint = 0x11223344u;
    reply.bodyOwner = &reply;
    const auto* bytes = reinterpret_cast<const unsigned char*>(&reply);
    EXPECT_EQ(bytes[0], 2);  // kind Signed
    EXPECT_EQ(bytes[4], 0x08);
    EXPECT_EQ(bytes[11], 0x01);
    EXPECT_EQ(bytes[16], 1);
    EXPECT_EQ(bytes[18], 2);
    EXPECT_EQ(bytes[46], 0x44);
    EXPECT_EQ(bytes[50], 0);
    void* owner = nullptr;
    std::memcpy(&owner, bytes + 54, 4);
    EXPECT_EQ(owner, &reply);

    HostRequest request{};
    request.clientId = 0xABCD;
    std::uint32_t word = 0;
    std::memcpy(&word, reinterpret_cast<const unsigned char*>(&request) + 40, 4);
    EXPECT_EQ(word, 0xABCDu);
}

char* HeapText(const char* text) { return Memory::DuplicateString(text); }

TEST(HostReply, ReleaseFreesEverythingButTheStream) {
    const std::int64_t before = LiveBlocks();
    int streamOwner = 0;  // stands for the stream: it must survive the release
    auto fill = [&](HostReply& reply) {
        std::memset(static_cast<void*>(&reply), 0xAA, sizeof reply);
        reply.result.value = HostValue{};
        reply.result.value.SetString("value");
        reply.result.errorText = HeapText("failed");
        reply.result.hasError = 1;
        reply.contentType = HeapText("application/json");
        reply.headers = static_cast<HostHeader*>(Memory::Allocate(2 * sizeof(HostHeader)));
        reply.headers[0] = {HeapText("a"), HeapText("1")};
        reply.headers[1] = {HeapText("b"), HeapText("")};
        reply.headerCount = 2;
        reply.bodyOwner = &streamOwner;
        reply.release = ReleaseHostReply;
    };

    HostReply reply;
    fill(reply);
    reply.release(&reply);
    const unsigned char zero[sizeof(HostReply)] = {};
    EXPECT_EQ(std::memcmp(&reply, zero, sizeof reply), 0);
    EXPECT_EQ(LiveBlocks(), before);

    // The shared empty content type is not freed; a heap copy of "" is.
    fill(reply);
    Memory::Free(const_cast<char*>(reply.contentType));
    reply.contentType = HostReplyEmptyText();
    ReleaseHostReply(&reply);
    fill(reply);
    Memory::Free(const_cast<char*>(reply.contentType));
    reply.contentType = HeapText("");
    ReleaseHostReply(&reply);
    EXPECT_EQ(LiveBlocks(), before);
    EXPECT_STREQ(HostReplyEmptyText(), "");

    // Without the error flag the error text is not read.
    fill(reply);
    Memory::Free(reply.result.errorText);
    reply.result.errorText = reinterpret_cast<char*>(&streamOwner);
    reply.result.hasError = 0;
    ReleaseHostReply(&reply);
    EXPECT_EQ(LiveBlocks(), before);

    ReleaseHostReply(nullptr);  // ignored
    EXPECT_EQ(streamOwner, 0);
}

struct Payload {
    std::int32_t number;
};

TEST(ApiTable, DescribesTheRegistryWithoutFunctions) {
    TypeRegistry registry;
    const TypeRecord* payload = registry.DeclareType("Payload", sizeof(Payload), StaticTypeOf<Payload>(), false)
                                    .AddField("number", "", offsetof(Payload, number),
                                              StaticTypeOf<std::int32_t>(), {TypeKind::Int32, TypeKind::None, nullptr},
                                              {}, 0, nullptr, false)
                                    .Record();
    registry.DeclareType("Other", 4, StaticTypeOf<int>(), true).AddEnumerator("A", 0, "");
    registry.DeclareEvent("OnPayload", payload);
    auto function = std::make_unique<FunctionRecord>();
    function->name = "exposed";
    registry.AddFunction(std::move(function));

    ApiTableStorage storage;
    ApiTable* table = BuildApiTable(registry, storage);
    ASSERT_EQ(table, storage.Table());
    EXPECT_EQ(Unpacked(table->functionCount), 0u);
    EXPECT_EQ(Unpacked(table->functions), nullptr);
    ASSERT_EQ(Unpacked(table->typeCount), 2u);
    ASSERT_NE(Unpacked(table->types), nullptr);
    EXPECT_EQ(Unpacked(table->types[table->typeCount - 1].next), nullptr);
    ASSERT_EQ(Unpacked(table->eventCount), 1u);
    EXPECT_STREQ(table->events[0].name, "OnPayload");
    EXPECT_STREQ(table->events[0].payloadTypeName, "Payload");
    EXPECT_EQ(Unpacked(table->events[0].next), nullptr);

    // A new type shows up in the next build.
    registry.DeclareType("Third", 1, StaticTypeOf<char>(), true);
    EXPECT_EQ(Unpacked(storage.Build(registry)->typeCount), 3u);
}

}  // namespace
}  // namespace Kesh
