#include "bench/BodyWriter.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace Kesh::Bench {

std::string FloatText(double value) {
    // The shortest text that reads back as the same double: every reader, ours and the
    // peers', then agrees on the value to the bit.
    char text[40];
    for (int digits = 15; digits <= 17; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, value);
        if (std::strtod(text, nullptr) == value) break;
    }
    if (std::strpbrk(text, ".eEn") == nullptr) {
        std::strcat(text, ".0");
    }
    return text;
}

// The scalar texts JSON and double-quoted YAML share.
void AppendQuoted(std::string& out, std::string_view text) {
    out += '"';
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
            out += escape;
        } else {
            out += c;
        }
    }
    out += '"';
}

namespace {

void AppendScalar(std::string& out, const BindingProperty& value, const char* null) {
    switch (value.Kind()) {
        case PropertyKind::Bool:
            out += value.ToBool() ? "true" : "false";
            break;
        case PropertyKind::Signed:
            out += std::to_string(value.GetSigned());
            break;
        case PropertyKind::Unsigned:
            out += std::to_string(value.GetUnsigned());
            break;
        case PropertyKind::Float:
            out += FloatText(value.GetFloat());
            break;
        case PropertyKind::String:
            AppendQuoted(out, value.GetStringView());
            break;
        default:
            out += null;
            break;
    }
}

void AppendJson(std::string& out, const BindingProperty& value) {
    if (value.Kind() == PropertyKind::Structure) {
        out += '{';
        const char* separator = "";
        for (const MemberNode& member : value.Members()) {
            out += separator;
            AppendQuoted(out, member.KeyView());
            out += ':';
            AppendJson(out, member.Value());
            separator = ",";
        }
        out += '}';
    } else if (value.Kind() == PropertyKind::Collection) {
        out += '[';
        const char* separator = "";
        for (const BindingProperty& element : value.Elements()) {
            out += separator;
            AppendJson(out, element);
            separator = ",";
        }
        out += ']';
    } else {
        AppendScalar(out, value, "null");
    }
}

bool IsContainer(const BindingProperty& value) {
    return value.Kind() == PropertyKind::Structure || value.Kind() == PropertyKind::Collection;
}

// A value after its "key:" or "-": scalars and empty containers on the same line,
// anything else on the following lines, indented further.
void AppendYamlValue(std::string& out, const BindingProperty& value, std::size_t indent);

// A non-empty container's lines. With continuesLine, the first line continues the current one
// (a mapping that is a sequence item starts right after its "- ").
void AppendYamlBlock(std::string& out, const BindingProperty& value, std::size_t indent, bool continuesLine = false) {
    if (value.Kind() == PropertyKind::Structure) {
        for (const MemberNode& member : value.Members()) {
            if (!continuesLine) {
                out.append(indent, ' ');
            }
            continuesLine = false;
            out += member.KeyView();
            out += ':';
            AppendYamlValue(out, member.Value(), indent + 2);
        }
        return;
    }
    for (const BindingProperty& element : value.Elements()) {
        out.append(indent, ' ');
        out += '-';
        if (element.Kind() == PropertyKind::Structure && element.Size() > 0) {
            out += ' ';
            AppendYamlBlock(out, element, indent + 2, true);
        } else {
            AppendYamlValue(out, element, indent + 2);
        }
    }
}

void AppendYamlValue(std::string& out, const BindingProperty& value, std::size_t indent) {
    if (IsContainer(value) && value.Size() > 0) {
        out += '\n';
        AppendYamlBlock(out, value, indent);
        return;
    }
    out += ' ';
    if (value.Kind() == PropertyKind::Structure) {
        out += "{}";
    } else if (value.Kind() == PropertyKind::Collection) {
        out += "[]";
    } else {
        AppendScalar(out, value, "~");
    }
    out += '\n';
}

void AppendYamlFlow(std::string& out, const BindingProperty& value) {
    if (value.Kind() == PropertyKind::Structure) {
        out += '{';
        const char* separator = "";
        for (const MemberNode& member : value.Members()) {
            out += separator;
            out += member.KeyView();
            out += ": ";
            AppendYamlFlow(out, member.Value());
            separator = ", ";
        }
        out += '}';
    } else if (value.Kind() == PropertyKind::Collection) {
        out += '[';
        const char* separator = "";
        for (const BindingProperty& element : value.Elements()) {
            out += separator;
            AppendYamlFlow(out, element);
            separator = ", ";
        }
        out += ']';
    } else {
        AppendScalar(out, value, "~");
    }
}

void AppendBigEndian(std::vector<std::uint8_t>& out, std::uint64_t bits, int bytes) {
    for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(bits >> shift));
    }
}

// A length in its short form below shortLimit, else in the 16- or 32-bit form.
void AppendHead(std::vector<std::uint8_t>& out, std::size_t length, std::uint8_t shortForm, std::size_t shortLimit,
                std::uint8_t form16) {
    if (length < shortLimit) {
        out.push_back(static_cast<std::uint8_t>(shortForm | length));
    } else if (length <= 0xFFFF) {
        out.push_back(form16);
        AppendBigEndian(out, length, 2);
    } else {
        out.push_back(static_cast<std::uint8_t>(form16 + 1));
        AppendBigEndian(out, length, 4);
    }
}

// The shortest form, as encoders write them: small numbers of either sign are fixints
// (which read back as Signed; the JSON text is the same).
void AppendUnsigned(std::vector<std::uint8_t>& out, std::uint64_t number) {
    if (number <= 0x7F) {
        out.push_back(static_cast<std::uint8_t>(number));
        return;
    }
    int bytes = 8;
    std::uint8_t form = 0xCF;
    if (number <= 0xFF) {
        bytes = 1;
        form = 0xCC;
    } else if (number <= 0xFFFF) {
        bytes = 2;
        form = 0xCD;
    } else if (number <= 0xFFFFFFFFu) {
        bytes = 4;
        form = 0xCE;
    }
    out.push_back(form);
    AppendBigEndian(out, number, bytes);
}

void AppendSigned(std::vector<std::uint8_t>& out, std::int64_t number) {
    if (number >= -32 && number <= 0x7F) {
        out.push_back(static_cast<std::uint8_t>(number));
    } else if (number >= 0) {
        AppendUnsigned(out, static_cast<std::uint64_t>(number));
    } else if (number >= INT8_MIN) {
        out.push_back(0xD0);
        AppendBigEndian(out, static_cast<std::uint64_t>(number), 1);
    } else if (number >= INT16_MIN) {
        out.push_back(0xD1);
        AppendBigEndian(out, static_cast<std::uint64_t>(number), 2);
    } else if (number >= INT32_MIN) {
        out.push_back(0xD2);
        AppendBigEndian(out, static_cast<std::uint64_t>(number), 4);
    } else {
        out.push_back(0xD3);
        AppendBigEndian(out, static_cast<std::uint64_t>(number), 8);
    }
}

void AppendString(std::vector<std::uint8_t>& out, std::string_view text) {
    if (text.size() >= 32 && text.size() <= 0xFF) {
        out.push_back(0xD9);
        out.push_back(static_cast<std::uint8_t>(text.size()));
    } else {
        AppendHead(out, text.size(), 0xA0, 32, 0xDA);
    }
    out.insert(out.end(), text.begin(), text.end());
}

void AppendMessagePack(std::vector<std::uint8_t>& out, const BindingProperty& value) {
    switch (value.Kind()) {
        case PropertyKind::Bool:
            out.push_back(value.ToBool() ? 0xC3 : 0xC2);
            break;
        case PropertyKind::Signed:
            AppendSigned(out, value.GetSigned());
            break;
        case PropertyKind::Unsigned:
            AppendUnsigned(out, value.GetUnsigned());
            break;
        case PropertyKind::Float: {
            std::uint64_t bits;
            const double number = value.GetFloat();
            std::memcpy(&bits, &number, sizeof bits);
            out.push_back(0xCB);
            AppendBigEndian(out, bits, 8);
            break;
        }
        case PropertyKind::String:
            AppendString(out, value.GetStringView());
            break;
        case PropertyKind::Collection:
            AppendHead(out, value.Size(), 0x90, 16, 0xDC);
            for (const BindingProperty& element : value.Elements()) {
                AppendMessagePack(out, element);
            }
            break;
        case PropertyKind::Structure:
            AppendHead(out, value.Size(), 0x80, 16, 0xDE);
            for (const MemberNode& member : value.Members()) {
                AppendString(out, member.KeyView());
                AppendMessagePack(out, member.Value());
            }
            break;
        default:
            out.push_back(0xC0);
            break;
    }
}

}  // namespace

std::string WriteJson(const BindingProperty& value) {
    std::string out;
    AppendJson(out, value);
    return out;
}

std::vector<std::uint8_t> WriteMessagePack(const BindingProperty& value) {
    std::vector<std::uint8_t> out;
    AppendMessagePack(out, value);
    return out;
}

std::string WriteYaml(const BindingProperty& value) {
    std::string out;
    if (IsContainer(value) && value.Size() > 0) {
        AppendYamlBlock(out, value, 0);
    } else {
        AppendYamlValue(out, value, 0);
    }
    return out;
}

std::string WriteYamlFlow(const BindingProperty& value) {
    std::string out;
    AppendYamlFlow(out, value);
    out += '\n';
    return out;
}

}  // namespace Kesh::Bench
