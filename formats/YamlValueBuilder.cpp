#include "formats/YamlValueBuilder.h"

#include <algorithm>
#include <cstddef>
#include <type_traits>

#include "binding/PropertyContext.h"
#include "binding/TreeBuilding.h"
#include "formats/NestingLimit.h"
#include "formats/YamlScalar.h"
#include "log/FormatPositional.h"

namespace Kesh {
namespace {

constexpr const char* kTooDeep = "YAML nesting deeper than 100000 levels. At line: %1 col: %2";
static_assert(kMaxNestingDepth == 100000, "kTooDeep names the bound");
constexpr const char* kFlowTooDeep = "YAML flow nesting deeper than 1000 levels. At line: %1 col: %2";
static_assert(YamlValueBuilder::kMaxFlowDepth == 1000, "kFlowTooDeep names the bound");
constexpr const char* kTooManyCopies =
    "YAML aliases expand to more than 1000000 values. Alias \"%1\". At line: %2 col: %3";
static_assert(YamlValueBuilder::kMaxAliasWork == 1000000, "kTooManyCopies names the bound");
constexpr const char* kCyclicAlias = "Cannot deserialize cyclic aliases. Alias \"%1\". At line: %2 col: %3";
constexpr const char* kInvalidKey = "Invalid mapping key. Only string scalar keys are allowed. At line: %1 col: %2";

std::string_view Text(const yaml_char_t* text) {
    return text == nullptr ? std::string_view() : std::string_view(reinterpret_cast<const char*>(text));
}

// The key of a member the collector made: its node's interned text. The member is a
// node's value, so the node is found from the member's address.
std::string_view KeyOf(const BindingProperty& member) {
    static_assert(std::is_standard_layout_v<MemberNode>, "a node is found from its value's address");
    const auto* node = reinterpret_cast<const MemberNode*>(reinterpret_cast<const char*>(&member) -
                                                          offsetof(MemberNode, value));
    return node->KeyView();
}

std::uint64_t Line(const yaml_mark_t& mark) { return static_cast<std::uint64_t>(mark.line) + 1; }
std::uint64_t Column(const yaml_mark_t& mark) { return static_cast<std::uint64_t>(mark.column) + 1; }

}  // namespace

void YamlValueBuilder::EntryStack::Grow() {
    std::unique_ptr<Entry[]> grown(new Entry[capacity_ * 2]);
    std::copy(items_, items_ + size_, grown.get());
    heap_ = std::move(grown);
    items_ = heap_.get();
    capacity_ *= 2;
}

void YamlValueBuilder::HandleScalarEvent(const yaml_event_t& event) {
    // Each way out is a tail call, so that this step, taken for every scalar, saves no
    // registers of its own; anchored, tagged and root scalars take HandleOtherScalar.
    Entry& top = stack_.back();
    const auto& scalar = event.data.scalar;
    BindingProperty* target = nullptr;
    if (top.kind == EntryKind::Mapping) {
        if (pending_ == nullptr) return HandleKey(event);
        if (scalar.anchor != nullptr || scalar.tag != nullptr) return HandleOtherScalar(event);
        target = pending_;
        pending_ = nullptr;
    } else {
        if (top.kind != EntryKind::Sequence || scalar.anchor != nullptr || scalar.tag != nullptr) {
            return HandleOtherScalar(event);
        }
        // Nothing can name an unanchored scalar, so it is written where it goes without a
        // slot of its own on the stack.
        target = &TreeBuilding::AppendGrowing(*top.target);
    }
    const std::string_view text(reinterpret_cast<const char*>(scalar.value), scalar.length);
    if (scalar.style == YAML_SINGLE_QUOTED_SCALAR_STYLE || scalar.style == YAML_DOUBLE_QUOTED_SCALAR_STYLE) {
        return TreeBuilding::SetString(*target, text);
    }
    return AssignPlainYamlScalarFast(*target, text);
}

void YamlValueBuilder::HandleOtherScalar(const yaml_event_t& event) {
    const auto& scalar = event.data.scalar;
    if (scalar.anchor != nullptr) {
        PlaceSlot();
        HandleAnchoredScalar(event);
        return;
    }
    Entry& top = stack_.back();
    BindingProperty* target = top.target;
    if (top.kind == EntryKind::Sequence) {
        target = &TreeBuilding::AppendGrowing(*top.target);
    } else if (top.kind == EntryKind::Mapping) {
        target = pending_;
        pending_ = nullptr;
    }
    const std::string_view text(reinterpret_cast<const char*>(scalar.value), scalar.length);
    if (scalar.tag != nullptr) {
        if (!AssignTagged(event, *target)) return;
    } else if (scalar.style == YAML_SINGLE_QUOTED_SCALAR_STYLE || scalar.style == YAML_DOUBLE_QUOTED_SCALAR_STYLE) {
        TreeBuilding::SetString(*target, text);
    } else {
        AssignPlainYamlScalarFast(*target, text);
    }
    if (top.kind == EntryKind::Slot) PopSlot();  // the root
}

void YamlValueBuilder::HandleOther(const yaml_event_t& event) {
    switch (event.type) {
        case YAML_DOCUMENT_START_EVENT:
            StartDocument();
            return;
        case YAML_SEQUENCE_END_EVENT:
        case YAML_MAPPING_END_EVENT:
            HandleContainerEnd();
            return;
        case YAML_SEQUENCE_START_EVENT:
        case YAML_MAPPING_START_EVENT:
        case YAML_ALIAS_EVENT:
            break;
        default:  // stream start and end, document end, a scalar with nothing open
            return;
    }
    if (stack_.empty()) return;  // libyaml gives a document exactly one root node

    if (stack_.back().kind == EntryKind::Mapping && pending_ == nullptr) {
        HandleOtherKey(event);
        return;
    }
    if (event.type == YAML_SEQUENCE_START_EVENT) {
        HandleContainerStart<EntryKind::Sequence>(event);
    } else if (event.type == YAML_MAPPING_START_EVENT) {
        HandleContainerStart<EntryKind::Mapping>(event);
    } else {
        PlaceSlot();
        HandleAlias(event);
    }
}

void YamlValueBuilder::StartDocument() {
    if (!result_.Value().IsEmpty()) {
        members_.LinkAll();
        result_.SetError("Multi-document YAML is not supported.");
        return;
    }
    // An earlier document held nothing (or only a null): this one fills the root.
    stack_.clear();
    pending_ = nullptr;
    stack_.push_back(Entry{&result_.Value(), nullptr, YamlPaths::kRoot, EntryKind::Slot, false});
}

void YamlValueBuilder::PlaceSlot() {
    const Entry& top = stack_.back();
    if (top.kind == EntryKind::Sequence) {
        BindingProperty& element = TreeBuilding::AppendGrowing(*top.target);
        stack_.push_back(Entry{&element, nullptr, kNoStep, EntryKind::Slot, false});
    } else if (top.kind == EntryKind::Mapping) {
        stack_.push_back(Entry{pending_, nullptr, kNoStep, EntryKind::Slot, false});
        pending_ = nullptr;
    }
}

YamlPaths::StepId YamlValueBuilder::PathOf(std::size_t at) {
    // The root entry always has its step, so the walk down ends there at the latest.
    if (!paths_) paths_.emplace();
    std::size_t known = at;
    while (stack_[known].path == kNoStep) --known;
    for (std::size_t i = known + 1; i <= at; ++i) {
        const Entry& parent = stack_[i - 1];
        Entry& entry = stack_[i];
        // An open element is always its sequence's last one.
        entry.path = parent.kind == EntryKind::Sequence
                         ? paths_->PushIndex(parent.path, parent.target->Size() - 1)
                         : paths_->PushKey(parent.path, KeyOf(*entry.target));
    }
    return stack_[at].path;
}

void YamlValueBuilder::HandleKey(const yaml_event_t& event) {
    const auto& scalar = event.data.scalar;
    if (scalar.tag != nullptr || scalar.anchor != nullptr) {
        HandleOtherKey(event);
        return;
    }
    pending_ = &members_.Member(std::string_view(reinterpret_cast<const char*>(scalar.value), scalar.length));
}

void YamlValueBuilder::HandleOtherKey(const yaml_event_t& event) {
    const yaml_mark_t& mark = event.start_mark;
    switch (event.type) {
        case YAML_SCALAR_EVENT: {
            const auto& scalar = event.data.scalar;
            if (scalar.tag != nullptr && Text(scalar.tag) != kYamlStrTag) {
                Fail(kInvalidKey, mark);
                return;
            }
            const std::string_view text(reinterpret_cast<const char*>(scalar.value), scalar.length);
            pending_ = &members_.Member(text);
            if (scalar.anchor != nullptr) {
                YamlAnchor* anchor = nullptr;
                if (!EnterAnchor(scalar.anchor, mark, anchor)) return;
                anchor->isKeyText = true;
                anchor->keyText.assign(text);
            }
            return;
        }
        case YAML_SEQUENCE_START_EVENT:
            Fail("Unexpected start of sequence. At line: %1 col: %2", mark);
            return;
        case YAML_MAPPING_START_EVENT:
            Fail("Unexpected start of mapping. At line: %1 col: %2", mark);
            return;
        default: {
            // An alias as a key stands for the text it names: a key's text, or a string.
            const std::string_view name = Text(event.data.alias.anchor);
            const YamlAnchor* anchor = anchors_.Find(name);
            if (anchor != nullptr && anchor->isKeyText) {
                pending_ = &members_.Member(anchor->keyText);
                return;
            }
            const BindingProperty* node = ResolveAnchor(anchor, name, mark);
            if (node == nullptr) return;
            if (node->Kind() != PropertyKind::String) {
                Fail(kInvalidKey, mark);
                return;
            }
            pending_ = &members_.Member(node->GetStringView());
            return;
        }
    }
}

bool YamlValueBuilder::AssignTagged(const yaml_event_t& event, BindingProperty& target) {
    const auto& scalar = event.data.scalar;
    const std::string_view text(reinterpret_cast<const char*>(scalar.value), scalar.length);
    const bool quoted = scalar.style == YAML_SINGLE_QUOTED_SCALAR_STYLE || scalar.style == YAML_DOUBLE_QUOTED_SCALAR_STYLE;
    // Only a tagged scalar can fail, and a failure replaces the value: link it first.
    members_.LinkAll();
    return AssignYamlScalar(result_, target, reinterpret_cast<const char*>(scalar.tag), text, quoted, scratch_);
}

void YamlValueBuilder::HandleAnchoredScalar(const yaml_event_t& event) {
    BindingProperty& target = *stack_.back().target;
    const auto& scalar = event.data.scalar;
    if (scalar.tag != nullptr) {
        if (!AssignTagged(event, target)) return;
    } else {
        const std::string_view text(reinterpret_cast<const char*>(scalar.value), scalar.length);
        const bool quoted =
            scalar.style == YAML_SINGLE_QUOTED_SCALAR_STYLE || scalar.style == YAML_DOUBLE_QUOTED_SCALAR_STYLE;
        if (quoted) {
            TreeBuilding::SetString(target, text);
        } else {
            AssignPlainYamlScalarFast(target, text);
        }
    }
    YamlAnchor* anchor = nullptr;
    if (!EnterAnchor(scalar.anchor, event.start_mark, anchor)) return;
    anchor->path = PathOf(stack_.size() - 1);
    PopSlot();
}

template <YamlValueBuilder::EntryKind kind>
void YamlValueBuilder::HandleContainerStart(const yaml_event_t& event) {
    constexpr bool sequence = kind == EntryKind::Sequence;
    const bool flow = sequence ? event.data.sequence_start.style == YAML_FLOW_SEQUENCE_STYLE
                               : event.data.mapping_start.style == YAML_FLOW_MAPPING_STYLE;
    if (openContainers_ >= kMaxNestingDepth) {
        Fail(kTooDeep, event.start_mark);
        return;
    }
    if (flow && openFlowContainers_ >= kMaxFlowDepth) {
        Fail(kFlowTooDeep, event.start_mark);
        return;
    }
    // The new container's entry: an element or the pending key's member pushed as one,
    // or the root's slot made one.
    Entry& top = stack_.back();
    BindingProperty* target = top.target;
    // A mapping follows the structure in the same place before it (bodies repeat one
    // shape): the previous element of its sequence, or the value of the guide's member
    // its key was taken from.
    const MemberNode* guide = nullptr;
    if (!sequence) {
        const BindingProperty* before = nullptr;
        if (top.kind == EntryKind::Sequence) {
            before = TreeBuilding::LastElement(*top.target);
        } else if (top.kind == EntryKind::Mapping && members_.Guided() != nullptr) {
            before = &members_.Guided()->value;
        }
        if (before != nullptr) guide = TreeBuilding::FirstMember(*before);
    }
    const bool root = top.kind == EntryKind::Slot;
    if (root) {
        top.kind = kind;
        top.flow = flow;
    } else {
        if (top.kind == EntryKind::Sequence) {
            target = &TreeBuilding::AppendGrowing(*top.target);
        } else {
            target = pending_;
            pending_ = nullptr;
        }
        stack_.push_back(Entry{target, nullptr, kNoStep, kind, flow});
    }
    if (sequence) {
        TreeBuilding::MakeCollection(*target);
    } else {
        TreeBuilding::MakeStructure(*target);
    }
    // Only the root can be without a tree yet: the first container is the root, and the
    // rest are in its tree.
    if (root) IndexTexts(*target);
    if (!sequence) members_.Open(*target, guide);
    ++openContainers_;
    if (flow) ++openFlowContainers_;
    const yaml_char_t* anchorName = sequence ? event.data.sequence_start.anchor : event.data.mapping_start.anchor;
    if (anchorName != nullptr) {
        YamlAnchor* anchor = nullptr;
        if (!EnterAnchor(anchorName, event.start_mark, anchor)) return;
        anchor->path = PathOf(stack_.size() - 1);
        anchor->open = true;
        stack_.back().anchor = anchor;
    }
}

void YamlValueBuilder::HandleContainerEnd() {
    if (stack_.empty()) return;
    Entry& top = stack_.back();
    if (top.kind == EntryKind::Slot) return;  // libyaml pairs every end with its start
    if (top.anchor != nullptr) top.anchor->open = false;
    if (top.kind == EntryKind::Mapping) members_.Close();
    --openContainers_;
    if (top.flow) --openFlowContainers_;
    pending_ = nullptr;
    PopSlot();
}

void YamlValueBuilder::HandleAlias(const yaml_event_t& event) {
    const std::string_view name = Text(event.data.alias.anchor);
    const YamlAnchor* anchor = anchors_.Find(name);
    BindingProperty& target = *stack_.back().target;
    if (anchor != nullptr && anchor->isKeyText) {
        target.AssignString(anchor->keyText);
        PopSlot();
        return;
    }
    const BindingProperty* node = ResolveAnchor(anchor, name, event.start_mark);
    if (node == nullptr) return;
    target = *node;
    PopSlot();
}

const BindingProperty* YamlValueBuilder::ResolveAnchor(const YamlAnchor* anchor, std::string_view name,
                                                        const yaml_mark_t& mark) {
    if (anchor == nullptr) {
        Fail("Undefined alias encountered: \"%1\". At line: %2 col: %3", name, mark);
        return nullptr;
    }
    if (anchor->open) {
        Fail(kCyclicAlias, name, mark);
        return nullptr;
    }

    // The way to the node goes through members that may still be collected.
    members_.LinkAll();
    std::size_t work = stack_.size();
    if (!paths_) paths_.emplace();  // only node anchors come here, and they made it already
    const BindingProperty& node = paths_->Resolve(result_.Value(), anchor->path, work);
    // A repeated key can turn the node a path names into one that is being filled now.
    for (const Entry& entry : stack_) {
        if (entry.target == &node) {
            Fail(kCyclicAlias, name, mark);
            return nullptr;
        }
    }
    counting_.assign(1, &node);
    while (!counting_.empty() && aliasWork_ + work <= kMaxAliasWork) {
        const BindingProperty* value = counting_.back();
        counting_.pop_back();
        ++work;
        for (const BindingProperty& element : value->Elements()) counting_.push_back(&element);
        for (const MemberNode& member : value->Members()) counting_.push_back(&member.Value());
    }
    aliasWork_ += work;
    if (aliasWork_ > kMaxAliasWork) {
        Fail(kTooManyCopies, name, mark);
        return nullptr;
    }
    return &node;
}

bool YamlValueBuilder::EnterAnchor(const yaml_char_t* name, const yaml_mark_t& mark, YamlAnchor*& anchor) {
    anchor = anchors_.Add(Text(name));
    if (anchor == nullptr) {
        Fail("Duplicate occurrence of anchor \"%1\". At line: %2 col: %3", Text(name), mark);
        return false;
    }
    return true;
}

void YamlValueBuilder::IndexTexts(BindingProperty& container) {
    // The table's buckets are not sized here: the texts new to the read wait unhashed, and
    // get their buckets all at once when they are first needed, which a body read and
    // dropped never does.
    if (!index_.IsAttached()) index_.Attach(container.Context()->Strings());
}

void YamlValueBuilder::Fail(const char* message, const yaml_mark_t& mark) {
    members_.LinkAll();
    result_.SetError(FormatPositionalString(message, {Line(mark), Column(mark)}));
}

void YamlValueBuilder::Fail(const char* message, std::string_view name, const yaml_mark_t& mark) {
    members_.LinkAll();
    result_.SetError(FormatPositionalString(message, {name, Line(mark), Column(mark)}));
}

}  // namespace Kesh
