#include "api/UrlTemplate.h"

#include <cstring>

namespace Kesh {
namespace {

constexpr const char* kEscaped = "^$.*+?()[]|\\";

void AppendEscaped(std::string& pattern, std::string_view text) {
    for (const char c : text) {
        // "{" only stands here for a brace that never closed; a regular expression would
        // read it as the start of a repetition.
        if ((c != '\0' && std::strchr(kEscaped, c) != nullptr) || c == '{' || c == '}') {
            pattern.push_back('\\');
        }
        pattern.push_back(c);
    }
}

const char* KindPattern(PathParameterKind kind) {
    switch (kind) {
    case PathParameterKind::Rest:
        return "(.*)";
    case PathParameterKind::Fragment:
        return "#(.*)";
    default:
        return "([^/]*)";
    }
}

}  // namespace

void UrlTemplate::AddLiteral(std::string_view text) {
    if (text.empty()) return;
    AppendEscaped(pattern_, text);
    AddLiteralPiece(text);
}

void UrlTemplate::AddLiteralPiece(std::string_view text) {
    if (!pieces_.empty() && pieces_.back().literal) {
        pieces_.back().text.append(text);
    } else {
        pieces_.push_back(Piece{true, PathParameterKind::Segment, std::string(text)});
    }
}

UrlTemplate UrlTemplate::Compile(std::string_view text) {
    UrlTemplate compiled;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '{') {
            const std::size_t next = text.find('{', i);
            const std::size_t end = next == std::string_view::npos ? text.size() : next;
            compiled.AddLiteral(text.substr(i, end - i));
            i = end;
            continue;
        }
        const std::size_t close = text.find('}', i + 1);
        if (close == std::string_view::npos) {
            compiled.AddLiteral(text.substr(i));
            break;
        }
        std::string_view inner = text.substr(i + 1, close - i - 1);
        PathParameterKind kind = PathParameterKind::Segment;
        if (!inner.empty() && inner.front() == '+') {
            kind = PathParameterKind::Rest;
            inner.remove_prefix(1);
        } else if (!inner.empty() && inner.front() == '#') {
            kind = PathParameterKind::Fragment;
            inner.remove_prefix(1);
        }
        if (kind == PathParameterKind::Fragment) {
            compiled.AddLiteralPiece("#");  // its pattern text comes with the kind's
        }
        compiled.pattern_.append(KindPattern(kind));
        compiled.parameters_.push_back(PathParameter{kind, std::string(inner)});
        compiled.pieces_.push_back(Piece{false, kind, {}});
        i = close + 1;
    }
    return compiled;
}

bool UrlTemplate::Match(std::string_view path, std::vector<std::string_view>& captures) const {
    captures.clear();
    const std::size_t n = path.size();
    const std::size_t count = pieces_.size();
    // reach[p][i]: pieces p.. match path[i..] exactly. Filled from the back, one linear
    // pass per piece.
    std::vector<std::vector<char>> reach(count + 1, std::vector<char>(n + 1, 0));
    reach[count][n] = 1;
    for (std::size_t p = count; p-- > 0;) {
        const Piece& piece = pieces_[p];
        std::vector<char>& here = reach[p];
        const std::vector<char>& next = reach[p + 1];
        if (piece.literal) {
            const std::size_t length = piece.text.size();
            for (std::size_t i = 0; i + length <= n; ++i) {
                here[i] = next[i + length] && path.compare(i, length, piece.text) == 0;
            }
        } else if (piece.kind == PathParameterKind::Segment) {
            // A segment ends anywhere up to the next "/".
            for (std::size_t i = n + 1; i-- > 0;) {
                here[i] = next[i] || (i < n && path[i] != '/' && here[i + 1]);
            }
        } else {
            char any = 0;
            for (std::size_t i = n + 1; i-- > 0;) {
                any = any || next[i];
                here[i] = any;
            }
        }
    }
    if (!reach[0][0]) return false;
    // Walk forwards, each capture taking the longest text that still lets the rest match.
    std::size_t at = 0;
    for (std::size_t p = 0; p < count; ++p) {
        const Piece& piece = pieces_[p];
        if (piece.literal) {
            at += piece.text.size();
            continue;
        }
        std::size_t limit = n;
        if (piece.kind == PathParameterKind::Segment) {
            const std::size_t slash = path.find('/', at);
            limit = slash == std::string_view::npos ? n : slash;
        }
        std::size_t end = limit;
        while (!reach[p + 1][end]) --end;
        captures.push_back(path.substr(at, end - at));
        at = end;
    }
    return true;
}

}  // namespace Kesh
