#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "binding/BindingProperty.h"
#include "binding/InternTable.h"
#include "binding/MemberCollector.h"
#include "binding/TreeBuilding.h"
#include "formats/NestingLimit.h"

namespace Kesh {

// The event handler behind the JSON reader: writes each value straight into a
// BindingProperty tree while the text is read, with no document in between. It keeps
// only pointers to the containers that are open, innermost last; an open container is
// never written to while a child is open, so its address stays valid.
//
// null writes nothing, so a repeated key keeps the earlier value; a repeated object or
// array key merges into the earlier container.
//
// An object's members are collected while it is read and linked into its tree when it
// ends (MemberCollector); texts are found again through a per-read index before the
// tree's intern table hashes them (InternIndex).
class JsonValueBuilder {
public:
    // maxDepth is the deepest nesting it opens; a container beyond it stops the read.
    // textLength (the bytes to be read, if known) sizes the tree's text table up front.
    explicit JsonValueBuilder(BindingProperty& root, std::size_t maxDepth = kMaxNestingDepth,
                              std::size_t textLength = 0)
        : target_(&root), maxDepth_(maxDepth), textLength_(textLength) {}

    // True once an object or array was refused for going deeper than maxDepth.
    bool TooDeep() const noexcept { return tooDeep_; }
    // Links what is still open and lets go of the text index: the tree is whole, and its
    // texts hold only the tree's references. Before the result is read or failed.
    void Finish() noexcept {
        members_.LinkAll();
        index_.Detach();
    }

    // The scalar handlers are defined here so that the reader inlines them.
    bool Null() {
        // The element of an array still counts; a member keeps what it holds.
        NextTarget();
        return true;
    }
    bool Bool(bool value) {
        TreeBuilding::SetBool(NextTarget(), value);
        return true;
    }
    bool Int(int value) {
        TreeBuilding::SetSigned(NextTarget(), value);
        return true;
    }
    bool Uint(unsigned value) {
        TreeBuilding::SetUnsigned(NextTarget(), value);
        return true;
    }
    bool Int64(std::int64_t value) {
        TreeBuilding::SetSigned(NextTarget(), value);
        return true;
    }
    bool Uint64(std::uint64_t value) {
        TreeBuilding::SetUnsigned(NextTarget(), value);
        return true;
    }
    bool Double(double value) {
        TreeBuilding::SetFloat(NextTarget(), value);
        return true;
    }
    bool RawNumber(const char* text, unsigned length, bool copy);
    bool String(const char* text, unsigned length, bool /*copy*/) {
        TreeBuilding::SetString(NextTarget(), std::string_view(text, length));
        return true;
    }
    bool StartObject();
    bool Key(const char* text, unsigned length, bool /*copy*/) {
        target_ = &members_.Member(std::string_view(text, length));
        return true;
    }
    bool EndObject(unsigned memberCount);
    bool StartArray();
    bool EndArray(unsigned elementCount);

private:
    // The value the next event writes: a new element when an array is open, otherwise
    // the member that the last key chose (or the root).
    BindingProperty& NextTarget() {
        if (top_ != nullptr && top_->Kind() == PropertyKind::Collection) target_ = &TreeBuilding::Append(*top_);
        return *target_;
    }
    bool Open(BindingProperty& container);
    void Close();
    // Attaches the text index to the tree's table once the tree has a context, giving the
    // table buckets first for the texts a body of this length tends to hold (one per 16
    // bytes, up to 64): a small body then never rehashes its table, a large one grows it
    // as before.
    void IndexTexts(BindingProperty& container);
    static constexpr std::size_t kPresizedTexts = 64;

    // The containers of the first levels are kept inside the builder: most bodies never
    // need the heap for them.
    static constexpr std::size_t kInlineDepth = 32;

    BindingProperty* target_;
    std::size_t maxDepth_;
    std::size_t textLength_;
    BindingProperty* top_ = nullptr;  // the innermost open container, or null
    std::size_t depth_ = 0;
    BindingProperty* inlineOpen_[kInlineDepth];
    std::vector<BindingProperty*> deeperOpen_;
    bool tooDeep_ = false;
    MemberCollector members_;
    InternIndex index_;
};

}  // namespace Kesh
