#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "binding/EnumDeclaration.h"
#include "binding/HostValueAssign.h"
#include "binding/HostValueConversion.h"
#include "binding/NativeAssign.h"
#include "binding/StructDeclaration.h"

namespace Kesh {
namespace {

enum class Tone : std::int16_t { Cold = 1, Warm = 2 };

struct Sample {
    std::string text;
    Tone tone = Tone::Cold;
    BindingProperty data;
    bool flag = false;
    std::string label = "unset";
    std::int32_t count = 0;
};

// Everything a value holds, kinds included, as one line.
std::string Describe(const BindingProperty& value) {
    switch (value.Kind()) {
    case PropertyKind::Bool: return value.ToBool() ? "true" : "false";
    case PropertyKind::Signed: return "s" + std::to_string(value.GetSigned());
    case PropertyKind::Unsigned: return "u" + std::to_string(value.GetUnsigned());
    case PropertyKind::Float: return "f" + std::to_string(value.GetFloat());
    case PropertyKind::String: return "'" + std::string(value.GetStringView()) + "'";
    case PropertyKind::Collection: {
        std::string text = "[";
        for (const BindingProperty& element : value.Elements()) text += Describe(element) + ",";
        return text + "]";
    }
    case PropertyKind::Structure: {
        std::string text = "{";
        for (const auto& member : value.Members()) {
            text += std::string(member.KeyView()) + ":" + Describe(member.Value()) + ",";
        }
        return text + "}";
    }
    default: return PropertyKindName(value.Kind());
    }
}

std::string Describe(const Sample& sample) {
    return sample.text + "|" + std::to_string(static_cast<int>(sample.tone)) + "|" + Describe(sample.data) + "|" +
           (sample.flag ? "1" : "0") + "|" + sample.label + "|" + std::to_string(sample.count);
}

HostValue Text(const char* text, std::uint32_t length) {
    HostValue value{};
    value.kind = HostValueKind::BorrowedString;
    value.payload.string = {text, length};
    return value;
}
HostValue Text(const char* text) { return Text(text, static_cast<std::uint32_t>(std::char_traits<char>::length(text))); }
HostValue Signed(std::int64_t number) {
    HostValue value{};
    value.SetSigned(number);
    return value;
}
HostValue Owned(const BindingProperty& tree) {
    HostValue value{};
    ToHostValue(tree, value);
    return value;
}
HostValue Kind(std::uint32_t kind) {
    HostValue value{};
    value.kind = static_cast<HostValueKind>(kind);
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
        std::vector<Member> members{{"text", Text("hello")}, {"tone", Text("Warm")}, {"data", Owned(SomeData())}};
        members.insert(members.end(), extra.begin(), extra.end());
        return members;
    };
    HostValue flag{};
    flag.SetBool(true);
    HostValue big{};
    big.SetUnsigned(2);
    HostValue nullText = Text(nullptr, 3);
    const Case cases[] = {
        {"plain", [&] { return plain({{"flag", flag}}); }, true},
        {"enum by signed number", [&] { return std::vector<Member>{{"text", Text("t")}, {"tone", Signed(2)}}; }, true},
        {"enum by unsigned number", [&] { return std::vector<Member>{{"text", Text("t")}, {"tone", big}}; }, true},
        {"enum number on its low 32 bits", [&] { return std::vector<Member>{{"text", Text("t")}, {"tone", Signed(0x100000002)}}; }, true},
        {"enum number not an enumerator", [&] { return std::vector<Member>{{"text", Text("t")}, {"tone", Signed(7)}}; }, false},
        {"enum number in a text", [&] { return std::vector<Member>{{"text", Text("t")}, {"tone", Text("2")}}; }, false},
        {"enum name unknown", [&] { return std::vector<Member>{{"text", Text("t")}, {"tone", Text("warm")}}; }, false},
        {"unknown scalar member", [&] { return plain({{"other", Signed(1)}, {"more", Text("x")}}); }, true},
        {"unknown member holding others", [&] { return plain({{"other", Owned(SomeData())}}); }, false},
        {"key repeated on a field", [&] { return plain({{"text", Text("again")}}); }, false},
        {"member without a key", [&] { return plain({{nullptr, Signed(1)}}); }, false},
        {"text without data", [&] { return std::vector<Member>{{"text", nullText}}; }, false},
        {"text shorter by its count than by its NUL", [&] { return std::vector<Member>{{"text", Text("whole", 2)}}; }, true},
        {"field of a kind filled only the general way", [&] { return plain({{"count", Signed(3)}}); }, false},
        {"required field missing", [&] { return std::vector<Member>{{"tone", Text("Warm")}}; }, false},
        {"required field Empty", [&] { return std::vector<Member>{{"text", Kind(0)}}; }, false},
        {"optional fields Empty", [&] { return std::vector<Member>{{"text", Text("t")}, {"label", Kind(0)}, {"data", Kind(0)}}; }, true},
        {"bool given as text", [&] { return plain({{"flag", Text("true")}}); }, false},
        {"text given as number", [&] { return std::vector<Member>{{"text", Signed(1)}}; }, false},
        {"unknown kind inside the data", [&] { return std::vector<Member>{{"text", Text("t")}, {"data", Kind(42)}}; }, false},
        {"unknown kind as an unknown member", [&] { return plain({{"other", Kind(11)}}); }, false},
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
    HostValue text = Text("x");
    EXPECT_FALSE(AssignStructFromHost(&sample, text, type));
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
