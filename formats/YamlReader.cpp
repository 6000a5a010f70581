#include "formats/YamlReader.h"

#include <cstdint>
#include <new>

#include <yaml.h>

#include "formats/YamlValueBuilder.h"
#include "log/FormatPositional.h"

namespace Kesh {
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

// One event object for the whole read: libyaml clears it before filling it in, and
// yaml_event_delete clears it after freeing its texts, so it can be deleted at any time.
class YamlEvent {
public:
    YamlEvent() noexcept : event_{} {}
    ~YamlEvent() { yaml_event_delete(&event_); }
    YamlEvent(const YamlEvent&) = delete;
    YamlEvent& operator=(const YamlEvent&) = delete;

    yaml_event_t& Get() noexcept { return event_; }
    void Delete() noexcept { yaml_event_delete(&event_); }

private:
    yaml_event_t event_;
};

}  // namespace

ConversionResult ReadYaml(const char* text, std::size_t length) {
    ConversionResult result;
    YamlParser parser(text, length);
    YamlValueBuilder builder(result);
    YamlEvent event;
    bool parsed = true;
    while (result.Ok()) {
        if (!parser.Next(event.Get())) {
            parsed = false;
            break;
        }
        builder.Handle(event.Get());
        const bool last = event.Get().type == YAML_STREAM_END_EVENT;
        event.Delete();
        if (last) break;
    }
    builder.Finish();
    if (!parsed && result.Ok()) {
        // libyaml counts lines and columns from 0; this message keeps its numbers.
        const yaml_parser_t& state = parser.State();
        result.SetError(FormatPositionalString("YAML parser error: %1. At line: %2 col: %3",
                                               {state.problem, static_cast<std::uint64_t>(state.problem_mark.line),
                                                static_cast<std::uint64_t>(state.problem_mark.column)}));
    }
    return result;
}

}  // namespace Kesh
