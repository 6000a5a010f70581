#pragma once

#include <charconv>
#include <cstdio>
#include <string>

#include "binding/BindingProperty.h"

namespace Kesh::Testing {

// A value written out whole, kinds included, so that one comparison checks a tree:
// ~ Empty, true/false, -5 Signed, 5u Unsigned, 5.0 or 1e+30 Float (the shortest text that
// reads back to the same double), 'text' String, <00ff> Blob, #6 Enum, [..] Collection,
// {key:..,..} Structure in member order.
inline std::string Shape(const BindingProperty& value) {
    std::string out;
    switch (value.Kind()) {
        case PropertyKind::Empty:
            return "~";
        case PropertyKind::Bool:
            return value.ToBool() ? "true" : "false";
        case PropertyKind::Signed:
            return std::to_string(value.GetSigned());
        case PropertyKind::Unsigned:
            return std::to_string(value.GetUnsigned()) + "u";
        case PropertyKind::Float: {
            char text[32];
            out.assign(text, std::to_chars(text, text + sizeof text, value.GetFloat()).ptr);
            return out.find_first_of(".ena") == std::string::npos ? out + ".0" : out;
        }
        case PropertyKind::String:
            return "'" + std::string(value.GetStringView()) + "'";
        case PropertyKind::Blob:
            out = "<";
            for (const std::uint8_t byte : value.GetBlob()) {
                char hex[3];
                std::snprintf(hex, sizeof hex, "%02x", byte);
                out += hex;
            }
            return out + ">";
        case PropertyKind::Enum:
            return "#" + std::to_string(value.GetEnumNumber());
        case PropertyKind::Collection:
            for (const BindingProperty& element : value.Elements()) out += (out.empty() ? "" : ",") + Shape(element);
            return "[" + out + "]";
        case PropertyKind::Structure:
            for (const MemberNode& member : value.Members()) {
                out += (out.empty() ? "" : ",") + std::string(member.KeyView()) + ":" + Shape(member.Value());
            }
            return "{" + out + "}";
    }
    return "?";
}

}  // namespace Kesh::Testing
