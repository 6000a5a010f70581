#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <iterator>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "binding/BindingProperty.h"
#include "binding/EnumDeclaration.h"
#include "binding/HostValue.h"
#include "binding/HostValueAssign.h"
#include "binding/HostValueConversion.h"
#include "binding/NativeAssign.h"
#include "binding/StructDeclaration.h"
#include "binding/TypeRegistry.h"
#include "platform/Allocator.h"
#include "tests/support/AllocationFailure.h"
#include "tests/support/SmallStackThread.h"
#include "tests/support/Unpacked.h"
#include "tests/support/ValueShape.h"

namespace Kesh {
namespace {

using Testing::Shape;
using Testing::Unpacked;

enum class Phase : std::int32_t { None = 0, Lobby = 3 };

// Live blocks of the library's allocator, to show that what a record owns goes back.
std::int64_t LiveBlocks() {
    const Memory::AllocationCounters counters = Memory::ReadCounters();
    return static_cast<std::int64_t>(counters.allocationCount - counters.freeCount);
}

bool IsZero(const void* bytes, std::size_t size) {
    const auto* p = static_cast<const unsigned char*>(bytes);
    for (std::size_t i = 0; i < size; ++i) {
        if (p[i] != 0) return false;
    }
    return true;
}

HostValue Record(HostValueKind kind) {
    HostValue record{};
    record.kind = kind;
    return record;
}

HostValue Borrowed(const char* text, std::uint32_t length) {
    HostValue record = Record(HostValueKind::BorrowedString);
    record.payload.string = {text, length};
    return record;
}
HostValue Borrowed(const char* text) { return Borrowed(text, static_cast<std::uint32_t>(std::strlen(text))); }

HostValue List(HostValue* values, std::uint32_t count) {
    HostValue record = Record(HostValueKind::Collection);
    record.payload.collection = {values, count};
    return record;
}

HostValue Members(HostMemberEntry* entries, std::uint32_t count) {
    HostValue record = Record(HostValueKind::Structure);
    record.payload.structure = {entries, count};
    return record;
}

HostValue Signed(std::int64_t number) {
    HostValue record{};
    record.SetSigned(number);
    return record;
}

TEST(HostValue, SettersReleaseAndOwnTheirCopies) {
    const std::int64_t before = LiveBlocks();
    HostValue record{};
    std::string text = "hello";
    record.SetString(text.c_str());
    text[0] = 'j';  // the record holds its own copy
    EXPECT_EQ(Unpacked(record.kind), HostValueKind::OwnedString);
    EXPECT_STREQ(record.payload.string.text, "hello");
    EXPECT_EQ(Unpacked(record.payload.string.length), 5u);

    // Setting a record from its own text copies before it frees.
    record.SetString(record.payload.string.text + 1);
    EXPECT_STREQ(record.payload.string.text, "ello");

    const std::uint8_t bytes[] = {0, 1, 2};
    record.SetBlob(bytes, sizeof bytes);
    EXPECT_EQ(Unpacked(record.kind), HostValueKind::OwnedBlob);
    ASSERT_EQ(Unpacked(record.payload.blob.count), 3u);
    EXPECT_EQ(std::memcmp(record.payload.blob.bytes, bytes, 3), 0);

    record.SetBool(true);  // frees the blob
    EXPECT_EQ(LiveBlocks(), before);

    // Arrays come as Empty records, also from memory that held others just before.
    for (int round = 0; round < 2; ++round) {
        HostValue* values = AllocateHostValues(4);
        EXPECT_TRUE(IsZero(values, 4 * sizeof(HostValue))) << round;
        for (int i = 0; i < 4; ++i) values[i].SetSigned(-1);
        record.SetCollection(values, 4);
        record.Release();
    }

    // A structure frees only the keys its entries own.
    HostMemberEntry* entries = AllocateMemberEntries(2);
    entries[0].key = Memory::DuplicateString("owned");
    entries[0].keyOwned = 1;
    entries[0].value.SetString("x");
    entries[1].key = "borrowed";  // a literal: freeing it would crash
    entries[1].keyOwned = 0;
    HostValue* inner = AllocateHostValues(1);
    inner[0].SetString("y");
    entries[1].value.SetCollection(inner, 1);
    record.SetStructure(entries, 2);
    record.Release();
    EXPECT_EQ(Unpacked(record.kind), HostValueKind::Empty);
    EXPECT_TRUE(IsZero(&record, sizeof record));
    EXPECT_EQ(LiveBlocks(), before);

    // Borrowed parts are never freed; unknown kinds are only reset.
    static const char kLiteral[] = "literal";
    record = Borrowed(kLiteral, 7);
    record.Release();
    record.kind = static_cast<HostValueKind>(11);
    record.payload.string.text = kLiteral;
    record.Release();
    EXPECT_TRUE(IsZero(&record, sizeof record));

    HostResultHead head{};
    head.value.SetString("discarded");
    head.SetError("first");
    head.SetError("second");  // the first error text is not leaked
    EXPECT_EQ(Unpacked(head.value.kind), HostValueKind::Empty);
    EXPECT_EQ(head.hasError, 1);
    EXPECT_STREQ(head.errorText, "second");
    head.Release();
    EXPECT_TRUE(IsZero(&head, sizeof head));
    EXPECT_EQ(LiveBlocks(), before);
}

TEST(HostValue, KindNames) {
    std::string names;
    for (std::uint32_t kind = 0; kind <= 11; ++kind) names += HostValueKindName(kind) + std::string("|");
    EXPECT_EQ(names, "|bool|signed|unsigned|float|string|string|blob|blob|collection|structure||");
    EXPECT_STREQ(HostValueKindName(0xFFFFFFFFu), "");
}

TEST(HostValueConversion, EveryKindRoundTrips) {
    const std::int64_t before = LiveBlocks();
    {
        BindingProperty source;
        source["empty"];
        source["bool"] = true;
        source["signed"] = std::int64_t{-9007199254740993};
        source["unsigned"] = std::numeric_limits<std::uint64_t>::max();
        source["float"] = 2.5;
        source["string"] = "text";
        source["blob"] = std::vector<std::uint8_t>{0, 255, 0};
        source["list"].Element(2) = "third";
        source["list"].Element(0)["Z"] = 1;
        source["list"].Element(0)["a"] = 2;

        HostValue record{};
        ASSERT_TRUE(ToHostValue(source, record));
        ASSERT_EQ(Unpacked(record.kind), HostValueKind::Structure);
        ASSERT_EQ(Unpacked(record.payload.structure.count), 8u);
        // Members come out in key order, each key owned by its entry.
        const HostMemberEntry& first = record.payload.structure.entries[0];
        EXPECT_STREQ(first.key, "blob");
        EXPECT_EQ(first.keyOwned, 1);
        EXPECT_EQ(Unpacked(first.value.kind), HostValueKind::OwnedBlob);
        EXPECT_EQ(Unpacked(record.payload.structure.entries[2].value.kind), HostValueKind::Empty);
        const HostValue& list = record.payload.structure.entries[4].value;
        ASSERT_EQ(Unpacked(list.payload.collection.count), 3u);
        EXPECT_EQ(Unpacked(list.payload.collection.values[1].kind), HostValueKind::Empty);

        BindingProperty back;
        HostResultHead head{};
        ASSERT_TRUE(FromHostValue(record, back, "body", head));
        EXPECT_EQ(head.hasError, 0);
        record.Release();
        EXPECT_EQ(Shape(back), "{blob:<00ff00>,bool:true,empty:~,float:2.5,list:[{Z:1,a:2},~,'third'],"
                               "signed:-9007199254740993,string:'text',unsigned:18446744073709551615u}");
    }
    EXPECT_EQ(LiveBlocks(), before);
}

TEST(HostValueConversion, EnumsGoByNameOnlyWhenTheRegistryKnowsTheNumber) {
    TypeRegistry registry;
    registry.DeclareType("Phase", sizeof(Phase), StaticTypeOf<Phase>(), true)
        .AddEnumerator("Lobby", 3, "")
        .AddEnumerator("None", 0, "");
    const BindingProperty lobby = BindingProperty::FromEnum(3, &StaticTypeOf<Phase>());
    const BindingProperty unknown = BindingProperty::FromEnum(-7, &StaticTypeOf<Phase>());
    const BindingProperty unregistered = BindingProperty::FromEnum(3, &StaticTypeOf<int>());

    HostValue record{};
    ToHostValue(lobby, record);
    EXPECT_EQ(Unpacked(record.kind), HostValueKind::Signed);
    EXPECT_EQ(Unpacked(record.payload.signedValue), 3);
    ToHostValue(lobby, record, &registry);
    ASSERT_EQ(Unpacked(record.kind), HostValueKind::OwnedString);
    EXPECT_STREQ(record.payload.string.text, "Lobby");
    ToHostValue(unknown, record, &registry);
    EXPECT_EQ(Unpacked(record.kind), HostValueKind::Signed);
    EXPECT_EQ(Unpacked(record.payload.signedValue), -7);  // sign-extended
    ToHostValue(unregistered, record, &registry);
    EXPECT_EQ(Unpacked(record.kind), HostValueKind::Signed);
    record.Release();
}

TEST(HostValueConversion, ReadsWhatTheHostMeansAndTheLastOfRepeatedKeys) {
    // The text runs to its NUL, whatever the length field says; any non-zero bool byte is true.
    HostValue flag = Record(HostValueKind::Bool);
    flag.payload.boolValue = 2;
    HostValue inner[2] = {Signed(1), Signed(2)};
    // A later entry overwrites an earlier one with the same key, even one with children,
    // and the other way round.
    HostMemberEntry listFirst[3] = {{"k", List(inner, 2), 0}, {"other", Signed(5), 0}, {"k", Signed(7), 0}};
    HostMemberEntry listLast[2] = {{"k", Signed(7), 0}, {"k", List(inner, 2), 0}};
    const struct {
        HostValue record;
        const char* shape;
    } cases[] = {
        {Borrowed("abc", 99), "'abc'"},
        {Borrowed("abc", 1), "'abc'"},
        {Borrowed(nullptr, 0), "''"},
        {flag, "true"},
        {Members(listFirst, 3), "{k:7,other:5}"},
        {Members(listLast, 2), "{k:[1,2]}"},
        {List(nullptr, 0), "[]"},  // empty arrays need no pointer
        {Members(nullptr, 0), "{}"},
    };
    HostResultHead head{};
    for (const auto& c : cases) {
        BindingProperty value;
        EXPECT_TRUE(FromHostValue(c.record, value, "v", head)) << c.shape;
        EXPECT_EQ(Shape(value), c.shape);
    }
    EXPECT_EQ(head.hasError, 0);
}

TEST(HostValueConversion, BadRecordsFailWithAMessage) {
    HostValue unknown = Record(static_cast<HostValueKind>(11));
    HostValue nullBlob = Record(HostValueKind::OwnedBlob);
    nullBlob.payload.blob = {nullptr, 1};
    HostMemberEntry keyless{};
    HostValue noKey = Members(&keyless, 1);
    // Deep inside, the caller's name is still the one reported, and the first bad record
    // stops the conversion.
    HostValue elements[3] = {Signed(1), Record(static_cast<HostValueKind>(0x7FFFFFFF)), Borrowed(nullptr, 4)};
    const struct {
        const char* name;
        HostValue record;
        const char* reason;  // after "Couldn't assign value to 'payload' of type object because "
    } cases[] = {
        {"unknown kind", unknown, "the input is of an incompatible type ''."},
        {"text without data", Borrowed(nullptr, 4), "the input of type 'string' has no data for its count of 4."},
        {"blob without data", nullBlob, "the input of type 'blob' has no data for its count of 1."},
        {"collection without data", List(nullptr, 0xFFFFFFFFu),
         "the input of type 'collection' has no data for its count of 4294967295."},
        {"collection too large", List(&unknown, 0x10000000u), "the input collection of 268435456 elements is too large."},
        {"member without a key", noKey, "a member of the input has no key."},
        {"bad element", List(elements, 3), "the input is of an incompatible type ''."},
    };
    HostResultHead head{};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BindingProperty value = "previous";
        head.value.SetString("dropped by the error");
        EXPECT_FALSE(FromHostValue(c.record, value, "payload", head));
        EXPECT_TRUE(value.IsEmpty());
        EXPECT_EQ(Unpacked(head.value.kind), HostValueKind::Empty);
        ASSERT_EQ(head.hasError, 1);
        EXPECT_EQ(head.errorText, std::string("Couldn't assign value to 'payload' of type object because ") + c.reason);
    }
    head.Release();
}

// Memory that runs out at any allocation of a nested body and stays exhausted: the
// conversion ends in bad_alloc and frees everything it had built, and releasing a tree
// needs no memory at all.
TEST(HostValueConversion, ExhaustedMemoryFreesWhatWasBuilt) {
    BindingProperty body;
    body["schemaVersion"] = 1;
    body["data"]["ZoomScale"] = 1.5;
    body["data"]["names"].Append() = "first";
    body["data"]["names"].Append()["deep"].Append() = "second";
    const std::int64_t before = LiveBlocks();
    std::uint64_t failedAt = 0;
    for (std::uint64_t n = 1;; ++n) {
        HostValue record{};
        bool threw = false;
        bool triggered = false;
        {
            Testing::AllocationFailure failure(n, true);
            try {
                ToHostValue(body, record);
            } catch (const std::bad_alloc&) {
                threw = true;
            }
            triggered = failure.Triggered();
        }
        if (!triggered) {
            EXPECT_EQ(Unpacked(record.kind), HostValueKind::Structure);
            Testing::AllocationFailure failure(1, true);
            record.Release();
            EXPECT_FALSE(failure.Triggered());
            break;
        }
        failedAt = n;
        EXPECT_TRUE(threw) << "allocation " << n;
        EXPECT_EQ(Unpacked(record.kind), HostValueKind::Empty) << "allocation " << n;
        EXPECT_EQ(LiveBlocks(), before) << "allocation " << n;
    }
    EXPECT_GE(failedAt, 8u);  // the sweep did reach the nested parts
    EXPECT_EQ(LiveBlocks(), before);
}

TEST(HostValueConversion, DeepTreesOnASmallStack) {
    constexpr std::size_t kDepth = 100000;
    const std::int64_t before = LiveBlocks();
    bool checked = false;
    Testing::RunOnSmallStack([&] {
        // A host-built chain of alternating one-member structures and one-element
        // collections, ending in a number.
        std::vector<HostValue> values(kDepth + 1);
        std::vector<HostMemberEntry> entries(kDepth);
        for (std::size_t i = 0; i < kDepth; ++i) {
            if (i % 2 == 0) {
                entries[i].key = "next";
                entries[i].value = List(&values[i + 1], 1);
                values[i] = Members(&entries[i], 1);
            } else {
                values[i] = List(&values[i + 1], 1);
            }
        }
        values[kDepth] = Signed(42);

        BindingProperty value;
        HostResultHead head{};
        ASSERT_TRUE(FromHostValue(values[0], value, "deep", head));

        // Back to a record tree owned by the library, then released.
        HostValue owned{};
        ToHostValue(value, owned);
        std::size_t depth = 0;
        const HostValue* node = &owned;
        while (node->kind == HostValueKind::Structure || node->kind == HostValueKind::Collection) {
            node = node->kind == HostValueKind::Structure ? &node->payload.structure.entries[0].value
                                                          : &node->payload.collection.values[0];
            ++depth;
        }
        EXPECT_EQ(Unpacked(node->payload.signedValue), 42);
        EXPECT_GT(depth, kDepth);
        // Released with no memory left to take.
        Testing::AllocationFailure failure(1, true);
        owned.Release();
        failure.End();
        EXPECT_FALSE(failure.Triggered());
        checked = true;
    });
    EXPECT_TRUE(checked);
    EXPECT_EQ(LiveBlocks(), before);
}

// The direct fill of a declared struct from a host record, against the general way
// through a value tree.
enum class Tone : std::int16_t { Cold = 1, Warm = 2 };

struct Sample {
    std::string text;
    Tone tone = Tone::Cold;
    BindingProperty data;
    bool flag = false;
    std::string label = "unset";
    std::int32_t count = 0;
};

std::string Describe(const Sample& sample) {
    return sample.text + "|" + std::to_string(static_cast<int>(sample.tone)) + "|" + Shape(sample.data) + "|" +
           (sample.flag ? "1" : "0") + "|" + sample.label + "|" + std::to_string(sample.count);
}

HostValue Owned(const BindingProperty& tree) {
    HostValue value{};
    ToHostValue(tree, value);
    return value;
}

struct Member {
    const char* key;
    HostValue value;
};

// A structure record of borrowed keys; released with its owned values.
class StructureRecord {
public:
    explicit StructureRecord(const std::vector<Member>& members) {
        const auto count = static_cast<std::uint32_t>(members.size());
        HostMemberEntry* entries = AllocateMemberEntries(count);
        for (std::uint32_t i = 0; i < count; ++i) {
            entries[i].key = members[i].key;
            entries[i].value = members[i].value;
        }
        record_.SetStructure(entries, count);
    }
    ~StructureRecord() { record_.Release(); }
    StructureRecord(const StructureRecord&) = delete;
    StructureRecord& operator=(const StructureRecord&) = delete;
    HostValue& Get() { return record_; }

private:
    HostValue record_{};
};

BindingProperty SomeData() {
    BindingProperty data;
    data["phase"] = "Lobby";
    data["list"].Append() = true;
    data["list"].Append() = 2.5;
    data["id"] = std::uint64_t{7};
    return data;
}

class HostValueAssignTest : public ::testing::Test {
protected:
    HostValueAssignTest() {
        EnumDeclaration<Tone>(registry, "Tone").Value("Cold", Tone::Cold).Value("Warm", Tone::Warm);
        type = StructDeclaration<Sample>(registry, "Sample")
                   .Field("text", &Sample::text, FieldOptions{.flags = kFieldRequired})
                   .Field("tone", &Sample::tone)
                   .Field("data", &Sample::data)
                   .Field("flag", &Sample::flag)
                   .Field("label", &Sample::label)
                   .Field("count", &Sample::count)
                   .Record();
    }

    TypeRegistry registry;
    const TypeRecord* type = nullptr;
};

// Whatever the record, the direct fill either declines or leaves the struct exactly as
// reading the record into a value and assigning that does; the plain records it must
// take, so that events do not quietly go the slow way.
TEST_F(HostValueAssignTest, AgreesWithTheValueTreeOrDeclines) {
    struct Case {
        const char* name;
        std::function<std::vector<Member>()> members;
        bool direct;
    };
    const auto plain = [](std::vector<Member> extra) {
        std::vector<Member> members{{"text", Borrowed("hello")}, {"tone", Borrowed("Warm")}, {"data", Owned(SomeData())}};
        members.insert(members.end(), extra.begin(), extra.end());
        return members;
    };
    HostValue flag{};
    flag.SetBool(true);
    HostValue big{};
    big.SetUnsigned(2);
    HostValue nullText = Borrowed(nullptr, 3);
    HostValue nullBlob = Record(HostValueKind::BorrowedBlob);
    nullBlob.payload.blob = {nullptr, 2};
    const Case cases[] = {
        {"plain", [&] { return plain({{"flag", flag}}); }, true},
        {"enum by signed number", [&] { return std::vector<Member>{{"text", Borrowed("t")}, {"tone", Signed(2)}}; }, true},
        {"enum by unsigned number", [&] { return std::vector<Member>{{"text", Borrowed("t")}, {"tone", big}}; }, true},
        {"enum number on its low 32 bits", [&] { return std::vector<Member>{{"text", Borrowed("t")}, {"tone", Signed(0x100000002)}}; }, true},
        {"enum number not an enumerator", [&] { return std::vector<Member>{{"text", Borrowed("t")}, {"tone", Signed(7)}}; }, false},
        {"enum number in a text", [&] { return std::vector<Member>{{"text", Borrowed("t")}, {"tone", Borrowed("2")}}; }, false},
        {"enum name unknown", [&] { return std::vector<Member>{{"text", Borrowed("t")}, {"tone", Borrowed("warm")}}; }, false},
        {"unknown scalar member", [&] { return plain({{"other", Signed(1)}, {"more", Borrowed("x")}}); }, true},
        {"unknown member holding others", [&] { return plain({{"other", Owned(SomeData())}}); }, false},
        {"key repeated on a field", [&] { return plain({{"text", Borrowed("again")}}); }, false},
        {"member without a key", [&] { return plain({{nullptr, Signed(1)}}); }, false},
        {"text without data", [&] { return std::vector<Member>{{"text", nullText}}; }, false},
        {"enum name without data", [&] { return std::vector<Member>{{"text", Borrowed("t")}, {"tone", nullText}}; }, false},
        {"unknown blob member without data", [&] { return plain({{"other", nullBlob}}); }, false},
        {"text shorter by its count than by its NUL", [&] { return std::vector<Member>{{"text", Borrowed("whole", 2)}}; }, true},
        {"field of a kind filled only the general way", [&] { return plain({{"count", Signed(3)}}); }, false},
        {"required field missing", [&] { return std::vector<Member>{{"tone", Borrowed("Warm")}}; }, false},
        {"required field Empty", [&] { return std::vector<Member>{{"text", Record(HostValueKind::Empty)}}; }, false},
        {"optional fields Empty", [&] { return std::vector<Member>{{"text", Borrowed("t")}, {"label", Record(HostValueKind::Empty)}, {"data", Record(HostValueKind::Empty)}}; }, true},
        {"bool given as text", [&] { return plain({{"flag", Borrowed("true")}}); }, false},
        {"text given as number", [&] { return std::vector<Member>{{"text", Signed(1)}}; }, false},
        {"unknown kind inside the data", [&] { return std::vector<Member>{{"text", Borrowed("t")}, {"data", Record(static_cast<HostValueKind>(42))}}; }, false},
        {"unknown kind as an unknown member", [&] { return plain({{"other", Record(static_cast<HostValueKind>(11))}}); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StructureRecord record(c.members());
        Sample direct;
        const bool took = AssignStructFromHost(&direct, record.Get(), type);
        EXPECT_EQ(took, c.direct);

        Sample general;
        BindingProperty tree;
        HostResultHead head{};
        bool generalOk = FromHostValue(record.Get(), tree, "<result>", head);
        head.Release();
        ConversionResult result;
        generalOk = generalOk && AssignNative(result, general, tree, "<result>", &registry);
        if (took) {
            EXPECT_TRUE(generalOk);
            EXPECT_EQ(Describe(direct), Describe(general));
        }
    }
}

TEST_F(HostValueAssignTest, DeclinesWhatIsNotAPlainStructure) {
    Sample sample;
    EXPECT_FALSE(AssignStructFromHost(&sample, Borrowed("x"), type));
    HostValue broken{};
    broken.kind = HostValueKind::Structure;
    broken.payload.structure = {nullptr, 2};
    EXPECT_FALSE(AssignStructFromHost(&sample, broken, type));
    StructureRecord empty({});
    EXPECT_FALSE(AssignStructFromHost(&sample, empty.Get(), nullptr));
    EXPECT_FALSE(AssignStructFromHost(&sample, empty.Get(), registry.FindType(StaticTypeOf<Tone>())));
}

}  // namespace
}  // namespace Kesh
