// Template compilation, matching and URL decoding.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "api/FunctionBinding.h"
#include "api/ParsedRequest.h"
#include "api/Route.h"
#include "api/UrlDecode.h"
#include "api/UrlTemplate.h"
#include "binding/FunctionRecord.h"

namespace Kesh {
namespace {

TEST(UrlTemplate, CompilesToPatternAndParameters) {
    struct Case {
        const char* text;
        const char* pattern;
        std::vector<std::pair<PathParameterKind, std::string>> parameters;
    };
    const Case cases[] = {
        {"/api/items/{id}", "/api/items/([^/]*)", {{PathParameterKind::Segment, "id"}}},
        {"/api/files/{+path}", "/api/files/(.*)", {{PathParameterKind::Rest, "path"}}},
        {"/api/doc{#part}", "/api/doc#(.*)", {{PathParameterKind::Fragment, "part"}}},
        {"/a.b/{x}^$*+?()[]|\\", "/a\\.b/([^/]*)\\^\\$\\*\\+\\?\\(\\)\\[\\]\\|\\\\", {{PathParameterKind::Segment, "x"}}},
        {"{+}{#}", "(.*)#(.*)", {{PathParameterKind::Rest, ""}, {PathParameterKind::Fragment, ""}}},
        {"/{a+b}/{a#b}", "/([^/]*)/([^/]*)", {{PathParameterKind::Segment, "a+b"}, {PathParameterKind::Segment, "a#b"}}},
        // A stray "}" is literal; an unclosed "{" stays literal text, not a lost piece.
        {"/x}y/{id}", "/x\\}y/([^/]*)", {{PathParameterKind::Segment, "id"}}},
        {"/x/{id", "/x/\\{id", {}},
    };
    for (const Case& c : cases) {
        const UrlTemplate compiled = UrlTemplate::Compile(c.text);
        EXPECT_EQ(compiled.Pattern(), c.pattern) << c.text;
        std::vector<std::pair<PathParameterKind, std::string>> parameters;
        for (const PathParameter& parameter : compiled.Parameters()) parameters.emplace_back(parameter.kind, parameter.name);
        EXPECT_EQ(parameters, c.parameters) << c.text;
    }
}

TEST(UrlTemplate, MatchesWholePathsWithGreedyCaptures) {
    struct Case {
        const char* text;
        const char* path;
        bool matches;
        std::vector<std::string> captures;
    };
    const Case cases[] = {
        {"/api/items/{id}", "/api/items/5", true, {"5"}},
        {"/api/items/{id}", "/api/items/", true, {""}},
        {"/api/items/{id}", "/api/items/5/6", false, {}},
        {"/api/items/{id}", "/api/items", false, {}},
        {"/api/items/{id}", "x/api/items/5", false, {}},
        {"/api/files/{+path}", "/api/files/a/b/c", true, {"a/b/c"}},
        {"/{a}/{+b}", "/x/y/z", true, {"x", "y/z"}},
        {"/{+a}/{b}", "/x/y/z", true, {"x/y", "z"}},
        {"/{+a}/{+b}", "/1/2/3", true, {"1/2", "3"}},
        {"/{a}-{b}", "/x-y-z", true, {"x-y", "z"}},
        {"/doc{#part}", "/doc#sec/1", true, {"sec/1"}},
        {"/doc{#part}", "/doc", false, {}},
        {"/x}y/{id}", "/x}y/1", true, {"1"}},
        {"/x/{id", "/x/{id", true, {}},
        {"/x/{id", "/x/5", false, {}},
    };
    std::vector<std::string_view> captures;
    for (const Case& c : cases) {
        const UrlTemplate compiled = UrlTemplate::Compile(c.text);
        EXPECT_EQ(compiled.Match(c.path, captures), c.matches) << c.text << " " << c.path;
        if (c.matches) {
            EXPECT_EQ(std::vector<std::string>(captures.begin(), captures.end()), c.captures) << c.path;
        }
    }
    // Long hostile paths cost linear work per piece and no stack.
    const std::string longPath = "/" + std::string(300000, 'a') + "/b";
    EXPECT_TRUE(UrlTemplate::Compile("/{+a}/{+b}/{+c}").Match(std::string(200000, '/'), captures));
    EXPECT_FALSE(UrlTemplate::Compile("/{a}/{b}/c").Match(longPath, captures));
}

TEST(ParsedRequest, TheQueryStringIsCutFromThePath) {
    struct Case {
        const char* url;
        const char* path;
        const char* query;
    };
    const Case cases[] = {
        {"/a/5?x=1", "/a/5", "x=1"}, {"/a/5?x=1#f", "/a/5#f", "x=1"}, {"/a/5?", "/a/5", ""},
        {"/a/5", "/a/5", ""},         {"/a?b?c", "/a", "b?c"},         {"/a#f", "/a#f", ""},
    };
    for (const Case& c : cases) {
        ParsedRequest request;
        request.url = c.url;
        EXPECT_EQ(request.Path(), c.path) << c.url;
        EXPECT_EQ(request.Query(), c.query) << c.url;
    }
}

TEST(UrlDecode, DecodesEscapesAndKeepsWhatIsNotOne) {
    const std::pair<const char*, std::string> cases[] = {
        {"a%20b", "a b"}, {"a+b", "a b"},     {"%41%62", "Ab"}, {"%7B%22a%22%3A1%7D", "{\"a\":1}"},
        {"x%4", "x4"},    {"a%2", "a2"},       {"%", ""},        {"%zz", "%zz"},
        {"%4g1", "%4g1"}, {"%%41", "%%41"},    {"100%", "100"},  {"%00", std::string(1, '\0')},
        // Each end of each digit range, in either letter case.
        {"%30%39", "09"}, {"%6a%4A", "jJ"},   {"%2f%2F", "//"},
    };
    for (const auto& [text, decoded] : cases) EXPECT_EQ(UrlDecode(text), decoded) << text;
}

class TestBinding : public FunctionBinding {
public:
    bool TakesContext() const override { return false; }
    void Invoke(CallResult&, std::span<const BindingProperty>, const RequestContext*,
                const TypeRegistry*) const override {}
};

struct TestRoute {
    FunctionRecord function;
    TestBinding binding;
    Route route;

    TestRoute(const char* name, const char* url, HttpMethod method, const char* custom = "") {
        function.name = name;
        binding.urlPath = url;
        binding.method = method;
        binding.customMethod = custom;
        route = Route::Build(function, binding);
    }
};

const char* Chosen(const std::vector<const Route*>& routes, const char* url, HttpMethod method,
                   const char* custom = "") {
    ParsedRequest request;
    request.url = url;
    request.method = method;
    request.customMethod = custom;
    return MatchRoute(request, routes) ? request.function->name.c_str() : "none";
}

TEST(MatchRoute, MethodsAndTheShortestCaptureDecide) {
    const TestRoute byId("byId", "/items/{id}", HttpMethod::Get);
    const TestRoute rest("rest", "/items/{+rest}", HttpMethod::None);
    const TestRoute literal("literal", "/items/all", HttpMethod::Get);
    const TestRoute purge("purge", "/items/{id}", HttpMethod::Custom, "PURGE");
    const TestRoute named("Named", "", HttpMethod::None);

    EXPECT_STREQ(Chosen({&byId.route}, "/items/5", HttpMethod::Get), "byId");
    EXPECT_STREQ(Chosen({&byId.route}, "/items/5", HttpMethod::Post), "none");
    EXPECT_STREQ(Chosen({&byId.route}, "/items/5?x=1", HttpMethod::Get), "byId");
    EXPECT_STREQ(Chosen({&rest.route}, "/items/5", HttpMethod::Delete), "rest");
    EXPECT_STREQ(Chosen({&rest.route}, "/items/5", HttpMethod::None), "rest");
    EXPECT_STREQ(Chosen({&purge.route}, "/items/5", HttpMethod::Custom, "PURGE"), "purge");
    EXPECT_STREQ(Chosen({&purge.route}, "/items/5", HttpMethod::Custom, "purge"), "none");
    EXPECT_STREQ(Chosen({&purge.route}, "/items/5", HttpMethod::Get), "none");
    EXPECT_STREQ(Chosen({&named.route}, "Named?x", HttpMethod::Put), "Named");
    EXPECT_STREQ(Chosen({&literal.route}, "/items/all?x=1", HttpMethod::Get), "literal");
    // Shorter captures win, the earlier route on a tie; a literal route ends the search.
    EXPECT_STREQ(Chosen({&rest.route, &byId.route}, "/items/a", HttpMethod::Get), "rest");
    EXPECT_STREQ(Chosen({&byId.route, &rest.route}, "/items/a", HttpMethod::Get), "byId");
    EXPECT_STREQ(Chosen({&rest.route, &literal.route}, "/items/all", HttpMethod::Get), "literal");
    EXPECT_STREQ(Chosen({&literal.route, &rest.route}, "/items/all", HttpMethod::Get), "literal");

    // The list may hold gaps: a null route, or one whose function has no binding.
    Route unbound = byId.route;
    unbound.binding = nullptr;
    EXPECT_STREQ(Chosen({nullptr, &unbound}, "/items/5", HttpMethod::Get), "none");
    EXPECT_STREQ(Chosen({nullptr, &unbound, &byId.route}, "/items/5", HttpMethod::Get), "byId");

    ParsedRequest request;
    request.url = "/items/a%20b+c%2Fd?x";
    request.method = HttpMethod::Get;
    ASSERT_TRUE(MatchRoute(request, {&byId.route}));
    ASSERT_NE(request.pathArguments.Find("id"), nullptr);
    EXPECT_EQ(*request.pathArguments.Find("id"), "a b c/d");
}

}  // namespace
}  // namespace Kesh
