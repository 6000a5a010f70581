#include "formats/YamlValueBuilder.h"

#include <algorithm>
#include <cstdlib>

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

YamlValueBuilder::~YamlValueBuilder() {
    Release(pendingKey_);
    for (Entry& entry : stack_) Release(entry.key);
}

void YamlValueBuilder::Release(Key& key) noexcept {
    // libyaml allocates its texts with malloc and frees them with free.
    if (key.owned) std::free(const_cast<char*>(key.text));
    key = Key{nullptr, 0, false};
}

void YamlValueBuilder::SetPendingKey(Key key) noexcept {
    Release(pendingKey_);
    pendingKey_ = key;
    hasPendingKey_ = true;
}

void YamlValueBuilder::Handle(yaml_event_t& event) {
    switch (event.type) {
        case YAML_DOCUMENT_START_EVENT:
            StartDocument();
            return;
        case YAML_SEQUENCE_END_EVENT:
        case YAML_MAPPING_END_EVENT:
            HandleContainerEnd();
            return;
        case YAML_SCALAR_EVENT:
        case YAML_SEQUENCE_START_EVENT:
        case YAML_MAPPING_START_EVENT:
        case YAML_ALIAS_EVENT:
            break;
        default:  // stream start and end, document end
            return;
    }
    if (stack_.empty()) return;  // libyaml gives a document exactly one root node

    if (stack_.back().kind == EntryKind::Mapping && !hasPendingKey_) {
        HandleKey(event);
        return;
    }
    if (event.type == YAML_SCALAR_EVENT && event.data.scalar.anchor == nullptr) {
        HandleScalarValue(event);
        return;
    }
    PlaceSlot();
    if (event.type == YAML_SCALAR_EVENT) {
        HandleScalar(event);
    } else if (event.type == YAML_SEQUENCE_START_EVENT) {
        HandleContainerStart(event, EntryKind::Sequence);
    } else if (event.type == YAML_MAPPING_START_EVENT) {
        HandleContainerStart(event, EntryKind::Mapping);
    } else {
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
    for (Entry& entry : stack_) Release(entry.key);
    stack_.clear();
    stack_.push_back(Entry{&result_.Value(), nullptr, Key{nullptr, 0, false}, YamlPaths::kRoot, EntryKind::Slot, false});
}

void YamlValueBuilder::PlaceSlot() {
    const Entry& top = stack_.back();
    if (top.kind == EntryKind::Sequence) {
        BindingProperty& element = TreeBuilding::Append(*top.target);
        stack_.push_back(Entry{&element, nullptr, Key{nullptr, 0, false}, kNoStep, EntryKind::Slot, false});
    } else if (top.kind == EntryKind::Mapping) {
        BindingProperty& member = members_.Member(std::string_view(pendingKey_.text, pendingKey_.length));
        stack_.push_back(Entry{&member, nullptr, pendingKey_, kNoStep, EntryKind::Slot, false});
        // The slot owns the key's text now.
        pendingKey_ = Key{nullptr, 0, false};
        hasPendingKey_ = false;
    }
}

void YamlValueBuilder::PopSlot() noexcept {
    Release(stack_.back().key);
    stack_.pop_back();
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
                         : paths_->PushKey(parent.path, std::string_view(entry.key.text, entry.key.length));
    }
    return stack_[at].path;
}

void YamlValueBuilder::HandleKey(yaml_event_t& event) {
    const yaml_mark_t& mark = event.start_mark;
    switch (event.type) {
        case YAML_SCALAR_EVENT: {
            auto& scalar = event.data.scalar;
            if (scalar.tag != nullptr && Text(scalar.tag) != kYamlStrTag) {
                Fail(kInvalidKey, mark);
                return;
            }
            // The key's text is taken over rather than copied: libyaml made it for this
            // event alone (NUL-terminated, on the heap) and would free it right after.
            SetPendingKey(Key{reinterpret_cast<const char*>(scalar.value), scalar.length, true});
            scalar.value = nullptr;
            if (scalar.anchor != nullptr) {
                YamlAnchor* anchor = nullptr;
                if (!EnterAnchor(scalar.anchor, mark, anchor)) return;
                anchor->isKeyText = true;
                anchor->keyText.assign(pendingKey_.text, pendingKey_.length);
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
            // Anchors never move or change, and the member made for the key holds the
            // node's interned text for as long as the slot is open: neither is copied.
            if (anchor != nullptr && anchor->isKeyText) {
                SetPendingKey(Key{anchor->keyText.data(), anchor->keyText.size(), false});
                return;
            }
            const BindingProperty* node = ResolveAnchor(anchor, name, mark);
            if (node == nullptr) return;
            if (node->Kind() != PropertyKind::String) {
                Fail(kInvalidKey, mark);
                return;
            }
            const std::string_view text = node->GetStringView();
            SetPendingKey(Key{text.data(), text.size(), false});
            return;
        }
    }
}

bool YamlValueBuilder::AssignScalar(const yaml_event_t& event, BindingProperty& target) {
    const auto& scalar = event.data.scalar;
    const std::string_view text(reinterpret_cast<const char*>(scalar.value), scalar.length);
    const char* tag = reinterpret_cast<const char*>(scalar.tag);
    const bool quoted = scalar.style == YAML_SINGLE_QUOTED_SCALAR_STYLE || scalar.style == YAML_DOUBLE_QUOTED_SCALAR_STYLE;
    if (tag == nullptr) {
        if (quoted) {
            target.AssignString(text);
        } else {
            AssignPlainYamlScalarFast(target, text);
        }
        return true;
    }
    // Only a tagged scalar can fail, and a failure replaces the value: link it first.
    members_.LinkAll();
    return AssignYamlScalar(result_, target, tag, text, quoted, scratch_);
}

void YamlValueBuilder::HandleScalarValue(const yaml_event_t& event) {
    // Nothing can name an unanchored scalar, so it is written where it goes without a
    // slot of its own on the stack.
    Entry& top = stack_.back();
    if (top.kind == EntryKind::Sequence) {
        AssignScalar(event, TreeBuilding::Append(*top.target));
    } else if (top.kind == EntryKind::Mapping) {
        BindingProperty& member = members_.Member(std::string_view(pendingKey_.text, pendingKey_.length));
        Release(pendingKey_);
        hasPendingKey_ = false;
        AssignScalar(event, member);
    } else if (AssignScalar(event, *top.target)) {  // the root
        PopSlot();
    }
}

void YamlValueBuilder::HandleScalar(const yaml_event_t& event) {
    if (!AssignScalar(event, *stack_.back().target)) return;
    YamlAnchor* anchor = nullptr;
    if (!EnterAnchor(event.data.scalar.anchor, event.start_mark, anchor)) return;
    anchor->path = PathOf(stack_.size() - 1);
    PopSlot();
}

void YamlValueBuilder::HandleContainerStart(const yaml_event_t& event, EntryKind kind) {
    const bool flow = kind == EntryKind::Sequence ? event.data.sequence_start.style == YAML_FLOW_SEQUENCE_STYLE
                                                  : event.data.mapping_start.style == YAML_FLOW_MAPPING_STYLE;
    if (openContainers_ >= kMaxNestingDepth) {
        Fail(kTooDeep, event.start_mark);
        return;
    }
    if (flow && openFlowContainers_ >= kMaxFlowDepth) {
        Fail(kFlowTooDeep, event.start_mark);
        return;
    }
    Entry& top = stack_.back();
    const yaml_char_t* anchorName = nullptr;
    if (kind == EntryKind::Sequence) {
        top.target->MakeCollection();
        anchorName = event.data.sequence_start.anchor;
    } else {
        top.target->MakeStructure();
        members_.Open(*top.target);
        anchorName = event.data.mapping_start.anchor;
    }
    IndexTexts(*top.target);
    top.kind = kind;
    top.flow = flow;
    ++openContainers_;
    if (flow) ++openFlowContainers_;
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
    hasPendingKey_ = false;
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
    if (index_.IsAttached()) return;
    // A distinct text takes a dozen bytes of YAML or more: a body of a few hundred bytes
    // gets its whole table at once instead of growing it three times on the way. Capped,
    // so a large body's table still grows only as far as its texts need.
    constexpr std::size_t kBytesPerText = 16;
    constexpr std::size_t kMostReserved = 64;
    InternTable& strings = container.Context()->Strings();
    strings.Reserve(std::min(textLength_ / kBytesPerText, kMostReserved));
    index_.Attach(strings);
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
