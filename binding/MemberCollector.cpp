#include "binding/MemberCollector.h"

#include <algorithm>

#include "binding/MemberTree.h"
#include "binding/PropertyContext.h"

namespace Kesh {

namespace {

// Whether key sorts after last, two distinct entries. Interned texts hold no NUL and end
// with one, so comparing up to the first difference orders them as the member tree does
// (a key before every longer key that begins with it) without a call: most keys differ in
// their first bytes.
bool SortsAfter(const InternedString* key, const InternedString* last) noexcept {
    const auto* left = reinterpret_cast<const unsigned char*>(key->Text());
    const auto* right = reinterpret_cast<const unsigned char*>(last->Text());
    while (*left == *right && *left != 0) {
        ++left;
        ++right;
    }
    return *left > *right;
}

}  // namespace

BindingProperty& MemberCollector::Member(std::string_view key) {
    Level& level = levels_.Back();
    PropertyContext& context = *level.context;
    guided_ = nullptr;
    if (const MemberNode* expected = level.expected; expected != nullptr) {
        // The guide's keys are entries of this tree's table, cut at their first NUL, so
        // a key with a NUL inside never matches one. The empty key's entry is shared by
        // every tree and never counted, so it takes the way below, which knows that.
        const InternedString* entry = expected->key;
        if (!key.empty() && SameText(*entry, key)) {
            nodes_.Reserve();
            ++const_cast<InternedString*>(entry)->references;
            MemberNode* node = MemberTree::NewNode(context, entry);
            nodes_.PushReserved(node);
            level.expected = MemberTree::NextInOrder(expected);
            guided_ = expected;
            return node->value;
        }
        level.expected = nullptr;
    }
    // Room first, so that nothing fails between taking the key and keeping its node.
    if (!level.linked) nodes_.Reserve();
    const InternedString* entry = context.Strings().Intern(key);
    if (level.linked) return MemberTree::FindOrInsert(*level.members, context, entry).value;

    const std::size_t collected = nodes_.Size() - level.first;
    if (collected != 0) {
        const MemberNode* last = nodes_.Back();
        const bool above = level.ordered && last->key != entry && SortsAfter(entry, last->key);
        if (!above) {
            for (std::size_t i = nodes_.Size(); i-- > level.first;) {
                if (nodes_[i]->key == entry) {
                    context.Strings().Release(entry);
                    return nodes_[i]->value;
                }
            }
            level.ordered = false;
            if (collected >= kMaxUnordered) {
                Link(level);
                level.linked = true;
                return MemberTree::FindOrInsert(*level.members, context, entry).value;
            }
        }
    }
    MemberNode* node = MemberTree::NewNode(context, entry);
    nodes_.PushReserved(node);
    return node->value;
}

BindingProperty& MemberCollector::FindOrInsert(const InternedString* entry) {
    Level& level = levels_.Back();
    ++const_cast<InternedString*>(entry)->references;
    return MemberTree::FindOrInsert(*level.members, *level.context, entry).value;
}

void MemberCollector::Link(Level& level) noexcept {
    MemberNode** first = nodes_.Data() + level.first;
    const std::size_t count = nodes_.Size() - level.first;
    if (count != 0) {
        if (!level.ordered) {
            std::sort(first, first + count, [](const MemberNode* left, const MemberNode* right) {
                return MemberTree::Compare(left->KeyView(), right->KeyView()) < 0;
            });
        }
        MemberTree::LinkSorted(*level.members, first, count);
    }
    nodes_.Resize(level.first);
}

void MemberCollector::LinkAll() noexcept {
    // Innermost first: each level's members are the last ones of the list.
    for (std::size_t i = levels_.Size(); i-- > 0;) {
        Level& level = levels_[i];
        if (!level.linked) {
            Link(level);
            level.linked = true;
            level.expected = nullptr;  // further members go through the tree
        }
    }
}

}  // namespace Kesh
