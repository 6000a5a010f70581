#include "tools/pzl-host/YamlMarks.h"

#include <yaml.h>

#include <string_view>

namespace Kesh::StandIn {

const YamlMark& YamlMark::Member(std::string_view key) const {
    auto found = members.find(key);
    return found != members.end() && found->second ? *found->second : *this;
}

const YamlMark& YamlMark::Element(std::size_t index) const {
    return index < elements.size() && elements[index] ? *elements[index] : *this;
}

namespace {

struct Parser {
    yaml_parser_t parser{};
    Parser() { yaml_parser_initialize(&parser); }
    ~Parser() { yaml_parser_delete(&parser); }
};

struct Frame {
    YamlMark* node;
    bool mapping;
    // In a mapping: whether the next node is a key, and the key just read.
    bool expectKey = true;
    std::string key;
};

}  // namespace

bool ReadYamlMarks(const std::string& text, YamlMark& root, std::string& problem, int& line, int& column) {
    Parser state;
    yaml_parser_set_input_string(&state.parser, reinterpret_cast<const unsigned char*>(text.data()), text.size());
    std::vector<Frame> stack;
    bool haveRoot = false;
    for (;;) {
        yaml_event_t event;
        if (!yaml_parser_parse(&state.parser, &event)) {
            problem = state.parser.problem != nullptr ? state.parser.problem : "YAML error";
            line = static_cast<int>(state.parser.problem_mark.line) + 1;
            column = static_cast<int>(state.parser.problem_mark.column) + 1;
            return false;
        }
        const yaml_event_type_t type = event.type;
        const int eventLine = static_cast<int>(event.start_mark.line) + 1;
        const int eventColumn = static_cast<int>(event.start_mark.column) + 1;
        const bool startsNode = type == YAML_SCALAR_EVENT || type == YAML_ALIAS_EVENT ||
                                type == YAML_SEQUENCE_START_EVENT || type == YAML_MAPPING_START_EVENT;
        YamlMark* node = nullptr;
        if (startsNode) {
            if (stack.empty()) {
                if (!haveRoot) {
                    haveRoot = true;
                    node = &root;
                }
            } else if (stack.back().mapping && stack.back().expectKey) {
                // A key: remember its text; its mark is not kept.
                stack.back().key = type == YAML_SCALAR_EVENT
                                       ? std::string(reinterpret_cast<const char*>(event.data.scalar.value),
                                                     event.data.scalar.length)
                                       : std::string();
                stack.back().expectKey = false;
                if (type != YAML_SCALAR_EVENT && type != YAML_ALIAS_EVENT) {
                    // A complex key: its children are read into a throwaway node.
                    static thread_local YamlMark ignored;
                    node = &ignored;
                }
            } else if (stack.back().mapping) {
                auto child = std::make_unique<YamlMark>();
                node = child.get();
                stack.back().node->members[stack.back().key] = std::move(child);
                stack.back().expectKey = true;
            } else {
                auto child = std::make_unique<YamlMark>();
                node = child.get();
                stack.back().node->elements.push_back(std::move(child));
            }
            if (node != nullptr) {
                node->line = eventLine;
                node->column = eventColumn;
            }
        }
        if (type == YAML_SEQUENCE_START_EVENT || type == YAML_MAPPING_START_EVENT) {
            static thread_local YamlMark detached;
            stack.push_back(Frame{node != nullptr ? node : &detached, type == YAML_MAPPING_START_EVENT, true, {}});
        } else if (type == YAML_SEQUENCE_END_EVENT || type == YAML_MAPPING_END_EVENT) {
            if (!stack.empty()) stack.pop_back();
        }
        yaml_event_delete(&event);
        if (type == YAML_DOCUMENT_END_EVENT || type == YAML_STREAM_END_EVENT) return true;
    }
}

}  // namespace Kesh::StandIn
