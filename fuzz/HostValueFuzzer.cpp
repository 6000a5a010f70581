// Host value records as a host may send them: any kind number, null pointers with
// counts, members without keys, nesting. Reading never crashes; what is read converts
// back into records and reads again to the same result. Filling a struct straight from
// the record either declines or gives what reading it and assigning the value gives.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <string>
#include <vector>

#include "binding/EnumDeclaration.h"
#include "binding/HostValue.h"
#include "binding/HostValueAssign.h"
#include "binding/HostValueConversion.h"
#include "binding/NativeAssign.h"
#include "binding/StructDeclaration.h"
#include "fuzz/FuzzInput.h"

namespace {

enum class Tone : std::int16_t { Cold = 1, Warm = 2 };

struct Sample {
    std::string text;
    Tone tone = Tone::Cold;
    Kesh::BindingProperty data;
    bool flag = false;
    std::string label;
    std::int32_t count = 0;
};

// Field names and texts the struct's rules take, so that members often meet fields.
constexpr const char* kKeys[] = {"text", "tone", "data", "flag", "label", "count"};
constexpr const char* kWords[] = {"Cold", "Warm", "2", "true", "Hot", ""};

struct SampleType {
    SampleType() {
        Kesh::EnumDeclaration<Tone>(registry, "Tone").Value("Cold", Tone::Cold).Value("Warm", Tone::Warm);
        record = Kesh::StructDeclaration<Sample>(registry, "Sample")
                     .Field("text", &Sample::text, Kesh::FieldOptions{.flags = Kesh::kFieldRequired})
                     .Field("tone", &Sample::tone)
                     .Field("data", &Sample::data)
                     .Field("flag", &Sample::flag)
                     .Field("label", &Sample::label)
                     .Field("count", &Sample::count)
                     .Record();
    }
    Kesh::TypeRegistry registry;
    const Kesh::TypeRecord* record = nullptr;
};

// Everything a value holds, kinds included.
std::string Describe(const Kesh::BindingProperty& value) {
    using Kesh::PropertyKind;
    switch (value.Kind()) {
    case PropertyKind::Bool: return value.ToBool() ? "true" : "false";
    case PropertyKind::Signed: return "s" + std::to_string(value.GetSigned());
    case PropertyKind::Unsigned: return "u" + std::to_string(value.GetUnsigned());
    case PropertyKind::Float: return "f" + std::to_string(value.GetFloat());
    case PropertyKind::String: return "'" + std::string(value.GetStringView()) + "'";
    case PropertyKind::Blob: return "b" + std::to_string(value.GetBlob().size());
    case PropertyKind::Collection: {
        std::string text = "[";
        for (const Kesh::BindingProperty& element : value.Elements()) text += Describe(element) + ",";
        return text + "]";
    }
    case PropertyKind::Structure: {
        std::string text = "{";
        for (const auto& member : value.Members()) {
            text += std::string(member.KeyView()) + ":" + Describe(member.Value()) + ",";
        }
        return text + "}";
    }
    default: return Kesh::PropertyKindName(value.Kind());
    }
}

std::string Describe(const Sample& sample) {
    return sample.text + "|" + std::to_string(static_cast<int>(sample.tone)) + "|" + Describe(sample.data) + "|" +
           (sample.flag ? "1" : "0") + "|" + sample.label + "|" + std::to_string(sample.count);
}

void CompareWithDirectFill(const Kesh::HostValue& record) {
    static const SampleType type;
    Sample direct;
    if (!Kesh::AssignStructFromHost(&direct, record, type.record)) return;
    Kesh::BindingProperty tree;
    Kesh::HostResultHead head{};
    const bool read = Kesh::FromHostValue(record, tree, "<result>", head);
    head.Release();
    if (!read) std::abort();
    Sample general;
    Kesh::ConversionResult result;
    if (!Kesh::AssignNative(result, general, tree, "<result>", &type.registry)) std::abort();
    if (Describe(direct) != Describe(general)) std::abort();
}

// Owns every array and text of the tree it builds; the records only borrow them.
class TreeBuilder {
public:
    explicit TreeBuilder(FuzzInput& input) : input_(input) {}

    void Build(Kesh::HostValue& record, int depth) {
        record = Kesh::HostValue{};
        const std::uint8_t kind = input_.Byte() % 13;  // 11 and 12 are unknown kinds
        record.kind = static_cast<Kesh::HostValueKind>(kind);
        const bool nullPointer = (input_.Byte() & 0x0f) == 0;
        switch (kind) {
        case 0: break;
        case 1: record.payload.boolValue = input_.Byte(); break;
        case 2:
        case 3:
        case 4:
        case 11:
        case 12: record.payload.unsignedValue = input_.Word(); break;
        case 5:
        case 7: {
            const std::uint8_t pick = input_.Byte();
            texts_.push_back(pick >= 0xa0 ? std::string(kWords[pick % 6]) : input_.Text());
            const std::string& text = texts_.back();
            record.payload.string.text = nullPointer ? nullptr : text.c_str();
            record.payload.string.length = static_cast<std::uint32_t>(text.size());
            break;
        }
        case 9: {
            const std::uint32_t count = depth < kMaxDepth ? input_.Byte() % 5 : 0;
            values_.emplace_back(count);
            std::vector<Kesh::HostValue>& values = values_.back();
            for (Kesh::HostValue& value : values) {
                Build(value, depth + 1);
            }
            record.payload.collection.values = nullPointer ? nullptr : values.data();
            record.payload.collection.count = count;
            break;
        }
        case 10: {
            const std::uint32_t count = depth < kMaxDepth ? input_.Byte() % 5 : 0;
            members_.emplace_back(count);
            std::vector<Kesh::HostMemberEntry>& members = members_.back();
            for (Kesh::HostMemberEntry& member : members) {
                const std::uint8_t pick = input_.Byte();
                texts_.push_back(pick >= 0x80 ? std::string(kKeys[pick % 6]) : input_.Text());
                member.key = (pick & 0x0f) == 0 ? nullptr : texts_.back().c_str();
                member.keyOwned = 0;
                Build(member.value, depth + 1);
            }
            record.payload.structure.entries = nullPointer ? nullptr : members.data();
            record.payload.structure.count = count;
            break;
        }
        default:
            // Owned kinds would be freed by whoever releases the record; the host's
            // records here are all borrowed, so these read as their borrowed twins.
            record.kind = kind == 6 ? Kesh::HostValueKind::BorrowedString : Kesh::HostValueKind::BorrowedBlob;
            texts_.push_back(input_.Text());
            record.payload.string.text = texts_.back().c_str();
            record.payload.string.length = static_cast<std::uint32_t>(texts_.back().size());
            break;
        }
    }

private:
    static constexpr int kMaxDepth = 48;
    FuzzInput& input_;
    std::deque<std::string> texts_;
    std::deque<std::vector<Kesh::HostValue>> values_;
    std::deque<std::vector<Kesh::HostMemberEntry>> members_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    TreeBuilder builder(input);
    Kesh::HostValue record{};
    builder.Build(record, 0);
    CompareWithDirectFill(record);

    Kesh::BindingProperty value;
    Kesh::HostResultHead result{};
    const bool read = Kesh::FromHostValue(record, value, "value", result);
    result.Release();
    if (!read) return 0;

    Kesh::HostValue copy{};
    Kesh::ToHostValue(value, copy);
    Kesh::BindingProperty again;
    Kesh::HostResultHead secondResult{};
    if (!Kesh::FromHostValue(copy, again, "value", secondResult)) std::abort();
    secondResult.Release();
    copy.Release();
    return 0;
}
