#pragma once

// What the machine-readable outputs of pzl-host share: the tool's version, the first
// line of a --json stream, and JUnit XML for CI.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Kesh::StandIn {

// The version of this pzl-host: the SDK's.
const char* ToolVersion();

// The first --json line of a command that runs a plugin: type "start", the command,
// the tool's version, the plugin's path and, when there is one, the seed.
std::string StartLine(const char* command, const std::string& plugin, std::optional<std::uint64_t> seed,
                      const std::vector<std::pair<std::string, std::string>>& extra = {});

// Text made safe for XML 1.0: markup escaped, bytes that are not UTF-8 and characters
// that XML cannot hold at all (most control characters) replaced by U+FFFD.
std::string XmlText(std::string_view text);

struct JUnitCase {
    enum class Outcome { Passed, Failed, Skipped };
    std::string name;
    std::string className;
    double seconds = 0;
    Outcome outcome = Outcome::Passed;
    // The failure's or skip's one-line reason, and what else a reader needs (expected
    // against actual, say).
    std::string message;
    std::string detail;
    // Shown beside the result: a warning, the seed.
    std::vector<std::pair<std::string, std::string>> properties;
    std::string systemOut;
};

// Writes one test suite in a testsuites root. False with error when the file cannot be
// written whole.
bool WriteJUnit(const std::string& path, const std::string& suiteName,
                const std::vector<std::pair<std::string, std::string>>& properties, const std::vector<JUnitCase>& cases,
                std::string& error);

// fnmatch-style: "*" any text, "?" one character, "[abc]", "[a-z]", "[!a]" one of (or
// none of) a set; "\" takes the next character as itself.
bool GlobMatch(std::string_view pattern, std::string_view text);

}  // namespace Kesh::StandIn
