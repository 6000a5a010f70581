#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <yaml.h>

#include "binding/BindingProperty.h"
#include "binding/ConversionResult.h"
#include "binding/InternTable.h"
#include "binding/MemberCollector.h"
#include "formats/YamlAnchors.h"
#include "formats/YamlPaths.h"

namespace Kesh {

// Turns libyaml's events into a BindingProperty tree, one event at a time, with an
// explicit stack instead of recursion. Failures go into the result, after which the
// reader stops feeding events.
//
// The stack holds two kinds of entries: a slot is a value about to be written (the
// root, or the element or member an alias or an anchored scalar fills), a container is
// a sequence or mapping being read. Which one is on top decides where an event goes, so
// a repeated key whose earlier value was a container is overwritten or merged like any
// other. A key's member is made when the key is read; a scalar without an anchor needs
// no slot (it is written where it goes at once), nor does a container start, which
// pushes its own entry.
//
// Aliases copy the anchored node; copies made for one document may not add up to more
// than kMaxAliasWork (values copied plus path steps walked), so a small text of nested
// aliases cannot expand without bound.
//
// A mapping's members are collected and linked into its tree when it ends
// (MemberCollector), and at once before an alias looks members up or a failure replaces
// the value; texts are found again through a per-read index (InternIndex).
class YamlValueBuilder {
public:
    static constexpr std::size_t kMaxAliasWork = 1000000;
    // libyaml's scanner walks every open flow level ([...] and {...}) for each token it
    // reads, so deep flow nesting costs time in the square of its depth; block nesting
    // does not and is bounded by kMaxNestingDepth alone.
    static constexpr std::size_t kMaxFlowDepth = 1000;

    explicit YamlValueBuilder(ConversionResult& result) : result_(result) {}
    ~YamlValueBuilder() = default;
    YamlValueBuilder(const YamlValueBuilder&) = delete;
    YamlValueBuilder& operator=(const YamlValueBuilder&) = delete;

    // Scalars, the most common events, take the inline path; the rest go out of line.
    void Handle(const yaml_event_t& event) {
        if (event.type == YAML_SCALAR_EVENT && !stack_.empty()) {
            HandleScalarEvent(event);
        } else {
            HandleOther(event);
        }
    }
    // Links what is still open and lets go of the text index. Before the result is read
    // or failed.
    void Finish() noexcept {
        members_.LinkAll();
        index_.Detach();
    }

private:
    enum class EntryKind : std::uint8_t { Slot, Sequence, Mapping };
    static constexpr YamlPaths::StepId kNoStep = UINT32_MAX;

    struct Entry {
        BindingProperty* target;
        YamlAnchor* anchor;  // the anchor of an open container, to close it with the container
        // The step of the way from the root, made only when an anchor needs it (kNoStep
        // until then): most nodes are never named, and keeping a path per event costs.
        YamlPaths::StepId path;
        EntryKind kind;
        bool flow;  // a container in flow style
    };
    // The open entries: the first kInline inside the builder, so that a shallow body
    // allocates nothing for them; the push and pop of every value stay inline.
    class EntryStack {
    public:
        static constexpr std::size_t kInline = 24;

        EntryStack() noexcept = default;
        EntryStack(const EntryStack&) = delete;
        EntryStack& operator=(const EntryStack&) = delete;

        bool empty() const noexcept { return size_ == 0; }
        std::size_t size() const noexcept { return size_; }
        Entry& back() noexcept { return items_[size_ - 1]; }
        Entry& operator[](std::size_t index) noexcept { return items_[index]; }
        Entry* begin() noexcept { return items_; }
        Entry* end() noexcept { return items_ + size_; }
        void push_back(const Entry& entry) {
            if (size_ == capacity_) Grow();
            items_[size_++] = entry;
        }
        void pop_back() noexcept { --size_; }
        void clear() noexcept { size_ = 0; }

    private:
        void Grow();

        Entry inline_[kInline];
        std::unique_ptr<Entry[]> heap_;
        Entry* items_ = inline_;
        std::size_t size_ = 0;
        std::size_t capacity_ = kInline;
    };

    void HandleScalarEvent(const yaml_event_t& event);
    // An anchored or tagged scalar, or the root.
    void HandleOtherScalar(const yaml_event_t& event);
    void HandleOther(const yaml_event_t& event);
    void StartDocument();
    // The slot of an alias or an anchored scalar: a new element or the pending key's member.
    void PlaceSlot();
    void HandleKey(const yaml_event_t& event);
    // Tagged and anchored keys, aliases as keys, and the errors of keys that are not
    // scalars: rare, so kept off the path of plain keys.
    void HandleOtherKey(const yaml_event_t& event);
    // An anchored scalar, in the slot PlaceSlot made for it.
    void HandleAnchoredScalar(const yaml_event_t& event);
    // Types a tagged scalar into target; false after failing the result.
    bool AssignTagged(const yaml_event_t& event, BindingProperty& target);
    template <EntryKind kind>
    void HandleContainerStart(const yaml_event_t& event);
    void HandleContainerEnd();
    void HandleAlias(const yaml_event_t& event);
    void PopSlot() noexcept { stack_.pop_back(); }
    // The step of the entry at, made for it and the entries below it that have none yet.
    YamlPaths::StepId PathOf(std::size_t at);
    void IndexTexts(BindingProperty& container);

    // The anchored node an alias refers to, or null after failing the result.
    // Undefined and cyclic aliases and the alias bound fail here.
    const BindingProperty* ResolveAnchor(const YamlAnchor* anchor, std::string_view name, const yaml_mark_t& mark);
    bool EnterAnchor(const yaml_char_t* name, const yaml_mark_t& mark, YamlAnchor*& anchor);
    // Fails with a message whose last two placeholders are the line and column of mark.
    void Fail(const char* message, const yaml_mark_t& mark);
    void Fail(const char* message, std::string_view name, const yaml_mark_t& mark);

    ConversionResult& result_;
    EntryStack stack_;
    std::optional<YamlPaths> paths_;  // made for the first anchor
    YamlAnchors anchors_;
    // The member of the last key read in the innermost mapping, until its value comes;
    // null while the mapping's next event is a key. Made when the key is read, so that
    // libyaml's text of the key is freed with its event, not kept for the value.
    BindingProperty* pending_ = nullptr;
    std::size_t openContainers_ = 0;
    std::size_t openFlowContainers_ = 0;
    std::size_t aliasWork_ = 0;
    std::vector<const BindingProperty*> counting_;  // scratch for counting an alias's values
    BindingProperty scratch_;                       // scratch for the number conversions
    MemberCollector members_;
    InternIndex index_;
};

}  // namespace Kesh
