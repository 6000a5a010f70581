#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Kesh::StandIn {

// Where each node of a YAML document starts (1-based line and column), with the same
// shape as the document: mapping children by key, sequence children by index. The
// values themselves come from the YAML reader; this only says where they were written.
struct YamlMark {
    int line = 0;
    int column = 0;
    std::map<std::string, std::unique_ptr<YamlMark>, std::less<>> members;
    std::vector<std::unique_ptr<YamlMark>> elements;

    // The mark of a child, or this one when the child is missing (an error about a
    // missing child points at its parent).
    const YamlMark& Member(std::string_view key) const;
    const YamlMark& Element(std::size_t index) const;
};

// Reads the marks of text's first document. On a syntax error returns false with the
// problem and its 1-based line and column.
bool ReadYamlMarks(const std::string& text, YamlMark& root, std::string& problem, int& line, int& column);

}  // namespace Kesh::StandIn
