#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Kesh {

// The kinds of parameters in braces: {name} one path segment, {+name} the rest of the
// path, {#name} a fragment.
enum class PathParameterKind : std::uint32_t {
    Segment = 1,
    Rest = 2,
    Fragment = 3,
};

struct PathParameter {
    PathParameterKind kind;
    std::string name;
};

// A URL template compiled for matching. pattern is the template as an ECMAScript regular
// expression (what the host's tools show); matching uses the pieces, which need neither
// a regular expression engine nor recursion, so a long hostile URL costs time linear in
// its length per piece and no stack.
class UrlTemplate {
public:
    // Compiles text: "{" opens a parameter, "}" closes it; the plus or number sign counts
    // as a modifier only as the first character inside the braces. A "}" outside braces
    // is a literal character, and so is a "{" that is never closed (with everything after
    // it): a template is matched as written rather than losing a piece.
    static UrlTemplate Compile(std::string_view text);

    const std::string& Pattern() const { return pattern_; }
    const std::vector<PathParameter>& Parameters() const { return parameters_; }

    // Whether path matches as a whole; on a match captures holds one text per parameter,
    // in template order, undecoded. Captures are greedy, as in the regular expression.
    bool Match(std::string_view path, std::vector<std::string_view>& captures) const;

private:
    struct Piece {
        // Literal text, or a capture of the kind (Fragment is "#" then the rest).
        bool literal;
        PathParameterKind kind;
        std::string text;
    };

    // Literal text for the pattern and the pieces, or for the pieces only.
    void AddLiteral(std::string_view text);
    void AddLiteralPiece(std::string_view text);

    std::string pattern_;
    std::vector<PathParameter> parameters_;
    std::vector<Piece> pieces_;
};

}  // namespace Kesh
