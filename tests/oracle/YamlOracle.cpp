// The YAML reader as it was before the builders collected members and indexed texts per parse: the
// oracle that the differential tests and the builders fuzz target compare the product's
// readers with. Compiled into tests and fuzz targets only, never into the library.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>
#include <yaml.h>
#include <new>

#include "tests/oracle/BuilderOracles.h"
#include "binding/BindingProperty.h"
#include "binding/ConversionResult.h"
#include "formats/YamlAnchors.h"
#include "formats/YamlPaths.h"
#include "formats/NestingLimit.h"
#include "formats/YamlScalar.h"
#include "log/FormatPositional.h"

namespace Kesh::Oracle {

// Turns libyaml's events into a BindingProperty tree, one event at a time, with an
// explicit stack instead of recursion. Failures go into the result, after which the
// reader stops feeding events.
//
// The stack holds two kinds of entries: a slot is a value about to be written (the
// root, a new element, the member of the last key), a container is a sequence or
// mapping being read. Which one is on top decides where an event goes, so a repeated
// key whose earlier value was a container is overwritten or merged like any other.
//
// Aliases copy the anchored node; copies made for one document may not add up to more
// than kMaxAliasWork (values copied plus path steps walked), so a small text of nested
// aliases cannot expand without bound.
class YamlValueBuilder {
public:
    static constexpr std::size_t kMaxAliasWork = 1000000;
    // libyaml's scanner walks every open flow level ([...] and {...}) for each token it
    // reads, so deep flow nesting costs time in the square of its depth; block nesting
    // does not and is bounded by kMaxNestingDepth alone.
    static constexpr std::size_t kMaxFlowDepth = 1000;

    explicit YamlValueBuilder(ConversionResult& result) : result_(result) {}

    void Handle(const yaml_event_t& event);

private:
    enum class EntryKind : std::uint8_t { Slot, Sequence, Mapping };
    struct Entry {
        BindingProperty* target;
        EntryKind kind;
        YamlPaths::StepId path;
        YamlAnchor* anchor;  // the anchor of an open container, to close it with the container
        bool flow;           // a container in flow style
    };

    void StartDocument();
    // Makes room for a value event: a new element or the member of the pending key.
    void PlaceSlot();
    void HandleKey(const yaml_event_t& event);
    void HandleScalar(const yaml_event_t& event);
    void HandleContainerStart(const yaml_event_t& event, EntryKind kind);
    void HandleContainerEnd();
    void HandleAlias(const yaml_event_t& event);
    void PopSlot();

    // The anchored node an alias refers to, or null after failing the result.
    // Undefined and cyclic aliases and the alias bound fail here.
    const BindingProperty* ResolveAnchor(const YamlAnchor* anchor, std::string_view name, const yaml_mark_t& mark);
    bool EnterAnchor(const yaml_char_t* name, const yaml_mark_t& mark, YamlAnchor*& anchor);
    // Fails with a message whose last two placeholders are the line and column of mark.
    void Fail(const char* message, const yaml_mark_t& mark);
    void Fail(const char* message, std::string_view name, const yaml_mark_t& mark);

    ConversionResult& result_;
    std::vector<Entry> stack_;
    YamlPaths paths_;
    YamlAnchors anchors_;
    std::string pendingKey_;
    bool hasPendingKey_ = false;  // an empty key is a key too
    std::size_t openContainers_ = 0;
    std::size_t openFlowContainers_ = 0;
    std::size_t aliasWork_ = 0;
    std::vector<const BindingProperty*> counting_;  // scratch for counting an alias's values
    BindingProperty scratch_;                       // scratch for the number conversions
};

}  // namespace Kesh::Oracle

namespace Kesh::Oracle {
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

void YamlValueBuilder::Handle(const yaml_event_t& event) {
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
        result_.SetError("Multi-document YAML is not supported.");
        return;
    }
    // An earlier document held nothing (or only a null): this one fills the root.
    stack_.clear();
    stack_.push_back(Entry{&result_.Value(), EntryKind::Slot, YamlPaths::kRoot, nullptr, false});
}

void YamlValueBuilder::PlaceSlot() {
    Entry& top = stack_.back();
    if (top.kind == EntryKind::Sequence) {
        const std::size_t index = top.target->Size();
        BindingProperty& element = top.target->Append();
        const YamlPaths::StepId path = paths_.PushIndex(top.path, index);
        stack_.push_back(Entry{&element, EntryKind::Slot, path, nullptr, false});
    } else if (top.kind == EntryKind::Mapping) {
        BindingProperty& member = top.target->Member(pendingKey_);
        const YamlPaths::StepId path = paths_.PushKey(top.path, pendingKey_);
        stack_.push_back(Entry{&member, EntryKind::Slot, path, nullptr, false});
        hasPendingKey_ = false;
    }
}

void YamlValueBuilder::PopSlot() {
    paths_.Pop(stack_.back().path);
    stack_.pop_back();
}

void YamlValueBuilder::HandleKey(const yaml_event_t& event) {
    const yaml_mark_t& mark = event.start_mark;
    switch (event.type) {
        case YAML_SCALAR_EVENT: {
            const auto& scalar = event.data.scalar;
            if (scalar.tag != nullptr && Text(scalar.tag) != kYamlStrTag) {
                Fail(kInvalidKey, mark);
                return;
            }
            pendingKey_.assign(reinterpret_cast<const char*>(scalar.value), scalar.length);
            hasPendingKey_ = true;
            if (scalar.anchor != nullptr) {
                YamlAnchor* anchor = nullptr;
                if (!EnterAnchor(scalar.anchor, mark, anchor)) return;
                anchor->isKeyText = true;
                anchor->keyText = pendingKey_;
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
                pendingKey_ = anchor->keyText;
                hasPendingKey_ = true;
                return;
            }
            const BindingProperty* node = ResolveAnchor(anchor, name, mark);
            if (node == nullptr) return;
            if (node->Kind() != PropertyKind::String) {
                Fail(kInvalidKey, mark);
                return;
            }
            pendingKey_ = node->GetStringView();
            hasPendingKey_ = true;
            return;
        }
    }
}

void YamlValueBuilder::HandleScalar(const yaml_event_t& event) {
    const auto& scalar = event.data.scalar;
    const bool quoted = scalar.style == YAML_SINGLE_QUOTED_SCALAR_STYLE || scalar.style == YAML_DOUBLE_QUOTED_SCALAR_STYLE;
    const std::string_view text(reinterpret_cast<const char*>(scalar.value), scalar.length);
    const char* tag = reinterpret_cast<const char*>(scalar.tag);
    if (!AssignYamlScalar(result_, *stack_.back().target, tag, text, quoted, scratch_)) return;
    if (scalar.anchor != nullptr) {
        YamlAnchor* anchor = nullptr;
        if (!EnterAnchor(scalar.anchor, event.start_mark, anchor)) return;
        anchor->path = stack_.back().path;
    }
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
        anchorName = event.data.mapping_start.anchor;
    }
    top.kind = kind;
    top.flow = flow;
    ++openContainers_;
    if (flow) ++openFlowContainers_;
    if (anchorName != nullptr) {
        YamlAnchor* anchor = nullptr;
        if (!EnterAnchor(anchorName, event.start_mark, anchor)) return;
        anchor->path = top.path;
        anchor->open = true;
        top.anchor = anchor;
    }
}

void YamlValueBuilder::HandleContainerEnd() {
    if (stack_.empty()) return;
    Entry& top = stack_.back();
    if (top.kind == EntryKind::Slot) return;  // libyaml pairs every end with its start
    if (top.anchor != nullptr) top.anchor->open = false;
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

    std::size_t work = stack_.size();
    const BindingProperty& node = paths_.Resolve(result_.Value(), anchor->path, work);
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
    paths_.Pin();
    return true;
}

void YamlValueBuilder::Fail(const char* message, const yaml_mark_t& mark) {
    result_.SetError(FormatPositionalString(message, {Line(mark), Column(mark)}));
}

void YamlValueBuilder::Fail(const char* message, std::string_view name, const yaml_mark_t& mark) {
    result_.SetError(FormatPositionalString(message, {name, Line(mark), Column(mark)}));
}

}  // namespace Kesh::Oracle

namespace Kesh::Oracle {
namespace {

// libyaml's parser and event as owned objects, released on every way out (a builder may
// throw when memory runs out).
class YamlParser {
public:
    YamlParser(const char* text, std::size_t length) {
        if (yaml_parser_initialize(&parser_) == 0) throw std::bad_alloc();
        yaml_parser_set_encoding(&parser_, YAML_UTF8_ENCODING);
        static const unsigned char kNoText[1] = {0};
        const auto* input = text == nullptr ? kNoText : reinterpret_cast<const unsigned char*>(text);
        yaml_parser_set_input_string(&parser_, input, text == nullptr ? 0 : length);
    }
    ~YamlParser() { yaml_parser_delete(&parser_); }
    YamlParser(const YamlParser&) = delete;
    YamlParser& operator=(const YamlParser&) = delete;

    bool Next(yaml_event_t& event) {
        if (yaml_parser_parse(&parser_, &event) != 0) return true;
        if (parser_.error == YAML_MEMORY_ERROR) throw std::bad_alloc();
        return false;
    }

    const yaml_parser_t& State() const noexcept { return parser_; }

private:
    yaml_parser_t parser_;
};

class YamlEvent {
public:
    YamlEvent() noexcept : event_{} {}
    ~YamlEvent() { yaml_event_delete(&event_); }
    YamlEvent(const YamlEvent&) = delete;
    YamlEvent& operator=(const YamlEvent&) = delete;

    yaml_event_t& Get() noexcept { return event_; }

private:
    yaml_event_t event_;
};

}  // namespace

ConversionResult ReadYaml(const char* text, std::size_t length) {
    ConversionResult result;
    YamlParser parser(text, length);
    YamlValueBuilder builder(result);
    bool parsed = true;
    while (result.Ok()) {
        YamlEvent event;
        if (!parser.Next(event.Get())) {
            parsed = false;
            break;
        }
        builder.Handle(event.Get());
        if (event.Get().type == YAML_STREAM_END_EVENT) break;
    }
    if (!parsed && result.Ok()) {
        // libyaml counts lines and columns from 0; this message keeps its numbers.
        const yaml_parser_t& state = parser.State();
        result.SetError(FormatPositionalString("YAML parser error: %1. At line: %2 col: %3",
                                               {state.problem, static_cast<std::uint64_t>(state.problem_mark.line),
                                                static_cast<std::uint64_t>(state.problem_mark.column)}));
    }
    return result;
}

}  // namespace Kesh::Oracle
