#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <new>
#include <type_traits>

#include "binding/BindingProperty.h"
#include "binding/MemberTree.h"
#include "binding/PropertyCells.h"
#include "platform/Allocator.h"

namespace Kesh {

// A growable array of trivially copyable items whose first Inline items live inside it,
// so that reading a small body allocates nothing for it.
template <typename T, std::size_t Inline>
class InlineStack {
    static_assert(std::is_trivially_copyable_v<T>, "items are moved with memcpy");

public:
    InlineStack() noexcept = default;
    ~InlineStack() {
        if (items_ != inline_) Memory::Free(items_);
    }
    InlineStack(const InlineStack&) = delete;
    InlineStack& operator=(const InlineStack&) = delete;

    std::size_t Size() const noexcept { return size_; }
    bool Empty() const noexcept { return size_ == 0; }
    T* Data() noexcept { return items_; }
    T& operator[](std::size_t index) noexcept { return items_[index]; }
    T& Back() noexcept { return items_[size_ - 1]; }
    // Room for one more item; throws std::bad_alloc when there is none to be had.
    void Reserve() {
        if (size_ < capacity_) return;
        auto* grown = static_cast<T*>(Memory::Allocate(capacity_ * 2 * sizeof(T)));
        if (grown == nullptr) throw std::bad_alloc();
        std::memcpy(static_cast<void*>(grown), items_, size_ * sizeof(T));
        if (items_ != inline_) Memory::Free(items_);
        items_ = grown;
        capacity_ *= 2;
    }
    // Only after Reserve.
    void PushReserved(const T& item) noexcept { items_[size_++] = item; }
    void Push(const T& item) {
        Reserve();
        PushReserved(item);
    }
    void Pop() noexcept { --size_; }
    void Resize(std::size_t size) noexcept { size_ = size; }

private:
    T inline_[Inline];
    T* items_ = inline_;
    std::size_t size_ = 0;
    std::size_t capacity_ = Inline;
};

// The members of the structures a reader has open, collected as they are read and linked
// into each structure's tree once, when it ends, instead of being inserted one by one
// with a walk down the tree and a rebalance each. The result is the tree Member would
// have built: the same members in the same key order, each key interned once.
//
// A repeated key must reach the member read before (later scalars overwrite it,
// containers merge into it), so it is found while reading: a key above the last one is
// new (bodies often come with their keys in order), any other key is looked for among the
// structure's collected members by its interned entry. A structure whose keys come out
// of order and that grows past kMaxUnordered members is linked at once and takes the
// rest of its members through its tree, so no input costs more than kMaxUnordered
// comparisons per key. A structure that already had members when it was opened (a
// repeated key merging two objects) takes its members through its tree too.
//
// Nothing recurses; the collected members of all open structures share one list.
class MemberCollector {
public:
    static constexpr std::size_t kMaxUnordered = 32;

    MemberCollector() = default;
    // Links what is still collected, so that a read that stops early (an error, an
    // exception) leaves whole trees behind.
    ~MemberCollector() { LinkAll(); }
    MemberCollector(const MemberCollector&) = delete;
    MemberCollector& operator=(const MemberCollector&) = delete;

    // Opens structure, which must be a Structure, as the innermost collecting one. guide,
    // if any, is the first member (in key order) of a whole structure of the same tree
    // read before (the one in the same place in the previous element of an array): bodies
    // repeat one shape, so its keys, in key order, are the keys this one is expected to
    // bring, and a key that is the next of them is taken from it without being looked up
    // or compared. Nothing read later may release the guide's members (readers never drop
    // a member of a structure they have closed).
    void Open(BindingProperty& structure, const MemberNode* guide = nullptr) {
        StructureCell& members = MemberTree::CellOf(structure);
        const bool linked = members.root != nullptr;
        levels_.Push(Level{&members, structure.Context(), nodes_.Size(), true, linked, linked ? nullptr : guide});
    }
    // The guide's member whose key the last Member call took, or null: its value guides
    // a structure read as that member's value.
    const MemberNode* Guided() const noexcept { return guided_; }
    // The member under key of the innermost open structure, added Empty if new.
    BindingProperty& Member(std::string_view key);
    // Links the innermost open structure's members and closes it.
    void Close() noexcept {
        Level& level = levels_.Back();
        if (!level.linked) Link(level);
        levels_.Pop();
    }
    // Links the members of every open structure now; they stay open, and their further
    // members go straight into their trees. For a reader about to look members up.
    void LinkAll() noexcept;
    bool Empty() const noexcept { return levels_.Empty(); }

    // The member under entry, a counted entry of the context (not the empty text's), of
    // the innermost open structure, for a caller that knows the key to sort after every
    // key collected so far: a new node, without looking the key up (a structure that takes
    // its members through its tree looks it up there). Adds the key's reference. Forced
    // inline: left to itself the compiler calls it, and a guided key then pays a call.
    [[gnu::always_inline]] BindingProperty& AppendAbove(const InternedString* entry) {
        Level& level = levels_.Back();
        if (level.linked) return FindOrInsert(entry);
        // Room first, so that nothing fails between taking the reference and keeping the node.
        nodes_.Reserve();
        ++const_cast<InternedString*>(entry)->references;
        MemberNode* node = MemberTree::NewNode(*level.context, entry);
        nodes_.PushReserved(node);
        return node->value;
    }

private:
    struct Level {
        StructureCell* members;
        PropertyContext* context;
        std::size_t first;  // where its members start in nodes_
        bool ordered;       // its keys so far ascend strictly
        bool linked;        // members go straight into the tree
        // The guide's member expected next, while every key so far was the guide's next
        // one (so it sorts after all of them); null once a key departs from the guide.
        const MemberNode* expected;
    };

    void Link(Level& level) noexcept;
    // AppendAbove for a structure that takes its members through its tree.
    BindingProperty& FindOrInsert(const InternedString* entry);

    InlineStack<Level, 16> levels_;
    InlineStack<MemberNode*, 64> nodes_;
    const MemberNode* guided_ = nullptr;
};

}  // namespace Kesh
