#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "binding/BindingProperty.h"

namespace Kesh::Bench {

// Writes a value tree (no Blob or Enum values) as a body each reader accepts, so that
// the readers can be measured on the same content. Members come out in key order,
// which makes WriteJson of what a reader read back comparable byte for byte with the
// original text. Floats always carry a fraction or an exponent, so JSON and MessagePack
// read them back as floats; YAML types a whole-number float as an integer, so sample
// floats have fractions. These recurse: the sample trees are a few levels deep.
std::string WriteJson(const BindingProperty& value);
// The pieces of WriteJson's text, for writing other libraries' trees the same way.
std::string FloatText(double value);
void AppendQuoted(std::string& out, std::string_view text);
std::vector<std::uint8_t> WriteMessagePack(const BindingProperty& value);
// Block style, strings double-quoted.
std::string WriteYaml(const BindingProperty& value);
// Flow style: one line of nested {key: value} and [element] collections.
std::string WriteYamlFlow(const BindingProperty& value);

}  // namespace Kesh::Bench
