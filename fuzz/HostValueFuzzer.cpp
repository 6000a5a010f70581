// Host value records as a host may send them: any kind number, null pointers with
// counts, members without keys, nesting. Reading never crashes; what is read converts
// back into records and reads again to the same result.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <string>
#include <vector>

#include "binding/HostValue.h"
#include "binding/HostValueConversion.h"
#include "fuzz/FuzzInput.h"

namespace {

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
            texts_.push_back(input_.Text());
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
                texts_.push_back(input_.Text());
                member.key = (input_.Byte() & 0x0f) == 0 ? nullptr : texts_.back().c_str();
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
