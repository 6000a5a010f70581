#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <unordered_map>

#include "log/MessageArgument.h"

namespace Kesh {

// The named values that went into a structured message, by field name.
using MessageFields = std::unordered_map<std::string, MessageArgument>;

struct StructuredMessage {
    std::string text;
    MessageFields fields;
};

// Turns a template with named placeholders ("{method}", "{#code}", "{n:05d}", "{x?none}",
// "{x!}") into a positional template for FormatPositional, appended to output, and stores
// the placeholders' values in fields under their names. Placeholders take the arguments
// in order; printf directives written in the template take theirs by the usual rules.
void FormatStructured(const char* templateText, const MessageArgument* arguments, std::size_t count,
                      std::string& output, MessageFields& fields);

// Both steps: the final text (at most kMessageBufferSize - 1 characters) and the fields.
StructuredMessage FormatStructuredMessage(const char* templateText, const MessageArgument* arguments,
                                          std::size_t count);
StructuredMessage FormatStructuredMessage(const char* templateText,
                                          std::initializer_list<MessageArgument> arguments);

}  // namespace Kesh
