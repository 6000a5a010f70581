#include "tools/pzl-parse/ValuePrinter.h"

#include <cstdio>
#include <string_view>
#include <vector>

namespace Kesh::Tools {
namespace {

void AppendQuoted(std::string& out, std::string_view text) {
    out += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (byte < 0x20 || byte == 0x7F) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
                    out += escaped;
                } else {
                    out += c;
                }
        }
    }
    out += '"';
}

void AppendFormatted(std::string& out, const char* format, auto value) {
    char buffer[64];
    const int written = std::snprintf(buffer, sizeof buffer, format, value);
    if (written > 0) out.append(buffer, static_cast<std::size_t>(written) < sizeof buffer ? written : sizeof buffer - 1);
}

// The kind name and payload of one value, without its children.
void AppendValue(std::string& out, const BindingProperty& value) {
    out += BindingProperty::KindName(static_cast<unsigned>(value.Kind()));
    switch (value.Kind()) {
        case PropertyKind::Empty:
            break;
        case PropertyKind::Bool:
            out += value.ToBool() ? " true" : " false";
            break;
        case PropertyKind::Signed:
            AppendFormatted(out, " %lld", static_cast<long long>(value.GetSigned()));
            break;
        case PropertyKind::Unsigned:
            AppendFormatted(out, " %llu", static_cast<unsigned long long>(value.GetUnsigned()));
            break;
        case PropertyKind::Float:
            AppendFormatted(out, " %.17g", value.GetFloat());
            break;
        case PropertyKind::String:
            out += ' ';
            AppendQuoted(out, value.GetStringView());
            break;
        case PropertyKind::Blob:
            AppendFormatted(out, " (%llu)", static_cast<unsigned long long>(value.Size()));
            for (const std::uint8_t byte : value.GetBlob()) AppendFormatted(out, " %02x", static_cast<unsigned>(byte));
            break;
        case PropertyKind::Enum:
            AppendFormatted(out, " %d", static_cast<int>(value.GetEnumNumber()));
            break;
        case PropertyKind::Collection:
        case PropertyKind::Structure:
            AppendFormatted(out, " (%llu)", static_cast<unsigned long long>(value.Size()));
            break;
    }
    out += '\n';
}

constexpr std::size_t kMaxIndentDepth = 64;

struct Pending {
    const BindingProperty* value;
    std::size_t depth;
    std::size_t index;      // for an element
    const MemberNode* key;  // for a member; null for an element or the root
    bool isElement;
};

}  // namespace

std::string PrintValueTree(const BindingProperty& root) {
    std::string out;
    std::vector<Pending> pending{{&root, 0, 0, nullptr, false}};
    std::vector<Pending> children;
    while (!pending.empty()) {
        const Pending item = pending.back();
        pending.pop_back();

        // Past a readable depth the indentation stops growing and names the depth, so
        // that a deeply nested body prints in linear size.
        if (item.depth <= kMaxIndentDepth) {
            out.append(2 * item.depth, ' ');
        } else {
            out.append(2 * kMaxIndentDepth, ' ');
            AppendFormatted(out, "<depth %llu> ", static_cast<unsigned long long>(item.depth));
        }
        if (item.key != nullptr) {
            AppendQuoted(out, item.key->KeyView());
            out += ": ";
        } else if (item.isElement) {
            AppendFormatted(out, "[%llu]: ", static_cast<unsigned long long>(item.index));
        }
        AppendValue(out, *item.value);

        // Children go on the stack last first, so that they come off in order.
        children.clear();
        std::size_t index = 0;
        for (const BindingProperty& element : item.value->Elements()) {
            children.push_back(Pending{&element, item.depth + 1, index++, nullptr, true});
        }
        for (const MemberNode& member : item.value->Members()) {
            children.push_back(Pending{&member.Value(), item.depth + 1, 0, &member, false});
        }
        pending.insert(pending.end(), children.rbegin(), children.rend());
    }
    return out;
}

}  // namespace Kesh::Tools
