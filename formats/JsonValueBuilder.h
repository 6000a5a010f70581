#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "binding/BindingProperty.h"
#include "binding/InternTable.h"
#include "binding/MemberCollector.h"
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
    explicit JsonValueBuilder(BindingProperty& root, std::size_t maxDepth = kMaxNestingDepth)
        : target_(&root), maxDepth_(maxDepth) {}

    // True once an object or array was refused for going deeper than maxDepth.
    bool TooDeep() const noexcept { return tooDeep_; }
    // Links what is still open and lets go of the text index: the tree is whole, and its
    // texts hold only the tree's references. Before the result is read or failed.
    void Finish() noexcept {
        members_.LinkAll();
        index_.Detach();
    }

    bool Null();
    bool Bool(bool value);
    bool Int(int value);
    bool Uint(unsigned value);
    bool Int64(std::int64_t value);
    bool Uint64(std::uint64_t value);
    bool Double(double value);
    bool RawNumber(const char* text, unsigned length, bool copy);
    bool String(const char* text, unsigned length, bool copy);
    bool StartObject();
    bool Key(const char* text, unsigned length, bool copy);
    bool EndObject(unsigned memberCount);
    bool StartArray();
    bool EndArray(unsigned elementCount);

private:
    // The value the next event writes: a new element when an array is open, otherwise
    // the member that the last key chose (or the root).
    BindingProperty& NextTarget();
    bool Open(BindingProperty& container);
    void Close();
    // Attaches the text index to the tree's table once the tree has a context.
    void IndexTexts(BindingProperty& container) noexcept;

    // The containers of the first levels are kept inside the builder: most bodies never
    // need the heap for them.
    static constexpr std::size_t kInlineDepth = 32;

    BindingProperty* target_;
    std::size_t maxDepth_;
    BindingProperty* top_ = nullptr;  // the innermost open container, or null
    std::size_t depth_ = 0;
    BindingProperty* inlineOpen_[kInlineDepth];
    std::vector<BindingProperty*> deeperOpen_;
    bool tooDeep_ = false;
    MemberCollector members_;
    InternIndex index_;
};

}  // namespace Kesh
