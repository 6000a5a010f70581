#include "tools/pzl-host/Report.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>

#ifndef PZL_HOST_VERSION
#define PZL_HOST_VERSION "0.0.0"
#endif

namespace Kesh::StandIn {

const char* ToolVersion() { return PZL_HOST_VERSION; }

std::string StartLine(const char* command, const std::string& plugin, std::optional<std::uint64_t> seed,
                      const std::vector<std::pair<std::string, std::string>>& extra) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> w(buffer);
    auto str = [&](const std::string& text) { w.String(text.c_str(), static_cast<rapidjson::SizeType>(text.size())); };
    w.StartObject();
    w.Key("type");
    w.String("start");
    w.Key("command");
    w.String(command);
    w.Key("tool");
    w.String("pzl-host");
    w.Key("toolVersion");
    w.String(ToolVersion());
    w.Key("plugin");
    str(plugin);
    if (seed) {
        w.Key("seed");
        w.Uint64(*seed);
    }
    for (const auto& [key, value] : extra) {
        str(key);
        str(value);
    }
    w.EndObject();
    return std::string(buffer.GetString(), buffer.GetSize());
}

namespace {

// The length of the well-formed UTF-8 sequence at text[i], or 0.
std::size_t Utf8Length(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    std::uint32_t code = 0;
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07u;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0u) != 0x80u) return 0;
        code = (code << 6) | (byte(i + k) & 0x3Fu);
    }
    // Overlong forms, surrogates and what lies past U+10FFFF are not characters.
    if ((length == 3 && code < 0x800) || (length == 4 && (code < 0x10000 || code > 0x10FFFF)) ||
        (code >= 0xD800 && code <= 0xDFFF) || code == 0xFFFE || code == 0xFFFF)
        return 0;
    return length;
}

}  // namespace

std::string XmlText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const std::size_t length = Utf8Length(text, i);
        if (length == 0 || (c < 0x20 && c != '\t' && c != '\n' && c != '\r')) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        // Kept as characters even inside attributes, where a plain one would become a space.
        case '\n': out += "&#10;"; break;
        case '\r': out += "&#13;"; break;
        case '\t': out += "&#9;"; break;
        default: out.append(text.substr(i, length));
        }
        i += length;
    }
    return out;
}

bool WriteJUnit(const std::string& path, const std::string& suiteName,
                const std::vector<std::pair<std::string, std::string>>& properties, const std::vector<JUnitCase>& cases,
                std::string& error) {
    std::size_t failures = 0, skipped = 0;
    double seconds = 0;
    for (const JUnitCase& one : cases) {
        failures += one.outcome == JUnitCase::Outcome::Failed;
        skipped += one.outcome == JUnitCase::Outcome::Skipped;
        seconds += one.seconds;
    }
    auto time = [](double value) {
        char text[32];
        std::snprintf(text, sizeof text, "%.3f", value);
        return std::string(text);
    };
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    const std::string counts = " tests=\"" + std::to_string(cases.size()) + "\" failures=\"" + std::to_string(failures) +
                               "\" errors=\"0\" skipped=\"" + std::to_string(skipped) + "\" time=\"" + time(seconds) + "\"";
    xml += "<testsuites name=\"" + XmlText(suiteName) + "\"" + counts + ">\n";
    xml += "  <testsuite name=\"" + XmlText(suiteName) + "\"" + counts + ">\n";
    auto writeProperties = [&](const std::vector<std::pair<std::string, std::string>>& list, const char* indent) {
        if (list.empty()) return;
        xml += std::string(indent) + "<properties>\n";
        for (const auto& [name, value] : list)
            xml += std::string(indent) + "  <property name=\"" + XmlText(name) + "\" value=\"" + XmlText(value) + "\"/>\n";
        xml += std::string(indent) + "</properties>\n";
    };
    writeProperties(properties, "    ");
    // A CI server merges cases of the same name: a repeated one gets its number.
    std::map<std::pair<std::string, std::string>, int> seen;
    for (const JUnitCase& one : cases) {
        const int repeat = ++seen[{one.className, one.name}];
        const std::string name = repeat == 1 ? one.name : one.name + " (" + std::to_string(repeat) + ")";
        xml += "    <testcase name=\"" + XmlText(name) + "\" classname=\"" + XmlText(one.className) + "\" time=\"" +
               time(one.seconds) + "\">\n";
        writeProperties(one.properties, "      ");
        if (one.outcome == JUnitCase::Outcome::Failed) {
            xml += "      <failure message=\"" + XmlText(one.message) + "\" type=\"failure\">" +
                   XmlText(one.detail.empty() ? one.message : one.detail) + "</failure>\n";
        } else if (one.outcome == JUnitCase::Outcome::Skipped) {
            xml += "      <skipped message=\"" + XmlText(one.message) + "\"/>\n";
        }
        if (!one.systemOut.empty()) xml += "      <system-out>" + XmlText(one.systemOut) + "</system-out>\n";
        xml += "    </testcase>\n";
    }
    xml += "  </testsuite>\n</testsuites>\n";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(xml.data(), 1, xml.size(), file) == xml.size();
    const bool flushed = std::fflush(file) == 0;
    const int savedErrno = errno;
    const bool closed = std::fclose(file) == 0;
    if (!written || !flushed || !closed) {
        error = "cannot write " + path + ": " + std::strerror(savedErrno != 0 ? savedErrno : EIO);
        return false;
    }
    return true;
}

bool GlobMatch(std::string_view pattern, std::string_view text) {
    std::size_t p = 0, t = 0;
    // Where the last "*" was and the text position it is trying to cover up to.
    std::size_t starPattern = std::string_view::npos, starText = 0;
    // The length of the one-character item at pattern[at] that matches c, or 0.
    auto single = [&](std::size_t at, char c, std::size_t& length) {
        if (pattern[at] == '?') {
            length = 1;
            return true;
        }
        if (pattern[at] == '\\' && at + 1 < pattern.size()) {
            length = 2;
            return pattern[at + 1] == c;
        }
        if (pattern[at] == '[') {
            std::size_t i = at + 1;
            const bool negate = i < pattern.size() && (pattern[i] == '!' || pattern[i] == '^');
            if (negate) ++i;
            bool found = false;
            const std::size_t first = i;
            while (i < pattern.size() && (pattern[i] != ']' || i == first)) {
                if (i + 2 < pattern.size() && pattern[i + 1] == '-' && pattern[i + 2] != ']') {
                    found = found || (pattern[i] <= c && c <= pattern[i + 2]);
                    i += 3;
                } else {
                    found = found || pattern[i] == c;
                    ++i;
                }
            }
            if (i < pattern.size()) {
                length = i + 1 - at;
                return found != negate;
            }
            // No closing bracket: "[" is itself.
        }
        length = 1;
        return pattern[at] == c;
    };
    while (t < text.size()) {
        std::size_t length = 0;
        if (p < pattern.size() && pattern[p] == '*') {
            starPattern = ++p;
            starText = t;
            continue;
        }
        if (p < pattern.size() && single(p, text[t], length)) {
            p += length;
            ++t;
            continue;
        }
        if (starPattern == std::string_view::npos) return false;
        p = starPattern;
        t = ++starText;
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

}  // namespace Kesh::StandIn
