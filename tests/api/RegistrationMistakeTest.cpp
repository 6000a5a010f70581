// Declarations that could never be called are refused at registration with one line
// naming the function and the mistake; duplicates are kept (the later wins) but noted.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "api/ExposeFunction.h"
#include "log/LogLevel.h"
#include "tests/api/ApiCall.h"

namespace Kesh {
namespace {

std::vector<std::string> NoteTexts(const TypeRegistry& registry, std::int32_t level) {
    std::vector<std::string> texts;
    for (const TypeRegistry::RegistrationNote& note : registry.RegistrationNotes()) {
        if (note.level == level) texts.push_back(note.text);
    }
    return texts;
}

TEST(RegistrationMistake, RefusedWithOneLineAndOthersUnaffected) {
    const auto greet = [](const std::string& name) { return name; };
    struct Case {
        const char* url;
        ArgumentInfo argument;
        std::string line;
    };
    const Case cases[] = {
        {"/g/{name}", InPath("nmae"),
         "Function \"Greet\" is not exposed: its path argument \"nmae\" is not a placeholder of its URL template "
         "\"/g/{name}\""},
        {"/g/{+name}", InQuery("who"),
         "Function \"Greet\" is not exposed: the placeholder {name} of its URL template \"/g/{+name}\" has no "
         "argument of that name"},
        {"/g/{name", InQuery("name"),
         "Function \"Greet\" is not exposed: its URL template \"/g/{name\" has a \"{\" that is never closed"},
        {"/g/{name}/{", InPath("name"),
         "Function \"Greet\" is not exposed: its URL template \"/g/{name}/{\" has a \"{\" that is never closed"},
        // Without a template the function is reached by its name: no path argument fits.
        {"", InPath("name"),
         "Function \"Greet\" is not exposed: its path argument \"name\" is not a placeholder of its URL template "
         "\"\""},
        {"/g", Anywhere(""), "Function \"Greet\" is not exposed: argument 1 has no name"},
    };
    for (const Case& one : cases) {
        SCOPED_TRACE(one.url);
        TypeRegistry registry;
        EXPECT_NE(ExposeFunction(registry, {.name = "Ping", .url = "/ping"}, [] { return 1; }), nullptr);
        EXPECT_EQ(ExposeFunction(registry, {.name = "Greet", .url = one.url}, greet, {one.argument}), nullptr);
        EXPECT_EQ(registry.FindFunction("Greet"), nullptr);
        EXPECT_NE(registry.FindFunction("Ping"), nullptr);
        EXPECT_EQ(NoteTexts(registry, kLevelError), std::vector<std::string>{one.line});
        EXPECT_TRUE(NoteTexts(registry, kLevelWarning).empty());
    }

    // Sound templates of every kind raise nothing.
    TypeRegistry registry;
    const auto two = [](const std::string& a, const std::string& b) { return a + b; };
    EXPECT_NE(ExposeFunction(registry, {.name = "A", .url = "/a/{x}/{+y}"}, two, {InPath("x"), Anywhere("y")}), nullptr);
    EXPECT_NE(ExposeFunction(registry, {.name = "B", .url = "/b/{x}{#y}"}, two, {Anywhere("x"), InPath("y")}), nullptr);
    EXPECT_NE(ExposeFunction(registry, {.name = "C", .url = "/c}"}, greet, {InQuery("name")}), nullptr);
    EXPECT_TRUE(registry.RegistrationNotes().empty());
}

TEST(RegistrationMistake, DuplicatesAreKeptAndNoted) {
    TypeRegistry registry;
    ExposeFunction(registry, {.name = "Get", .method = HttpMethod::Get, .url = "/x"}, [] { return 1; });
    ExposeFunction(registry, {.name = "Get", .method = HttpMethod::Get, .url = "/y"}, [] { return 2; });
    ExposeFunction(registry, {.name = "Other", .method = HttpMethod::Get, .url = "/y"}, [] { return 3; });
    // Same template, another method: a different route.
    ExposeFunction(registry, {.name = "Put", .method = HttpMethod::Put, .url = "/y"}, [] { return 4; });
    EXPECT_EQ(NoteTexts(registry, kLevelWarning),
              (std::vector<std::string>{
                  "Function \"Get\" is declared twice: the later declaration replaces the earlier one",
                  "Function \"Other\" has the same method (GET) and URL template \"/y\" as function \"Get\""}));
    EXPECT_TRUE(NoteTexts(registry, kLevelError).empty());
    // The table lists the later "Get" only.
    ApiTableStorage storage;
    const ApiTable* table = BuildApiTable(registry, storage);
    ASSERT_EQ(table->functionCount, 3u);
    EXPECT_EQ(Testing::CallFunction(*table, "Get", Testing::Get("/y")).value.GetSigned(), 2);
    for (std::uint32_t i = 0; i < table->functionCount; ++i) {
        EXPECT_EQ(table->functions[i].userData->registry, &registry);
        EXPECT_EQ(table->functions[i].userData->function, registry.FindFunction(table->functions[i].name));
    }
}

// A member function is called on the object it was exposed with.
class Counter {
public:
    TypeRegistry& Registry() { return registry_; }
    std::int32_t Add(std::int32_t amount) { return total_ += amount; }
    std::int32_t Total() const { return total_; }

private:
    TypeRegistry registry_;
    std::atomic<std::int32_t> total_ = 0;
};

TEST(MemberFunction, BoundToItsObject) {
    Counter counter;
    ASSERT_NE(ExposeFunction(counter, {.name = "Add", .url = "/add"}, &Counter::Add, {InQuery("amount")}), nullptr);
    ASSERT_NE(ExposeFunction(counter, {.name = "Total", .url = "/total"}, &Counter::Total), nullptr);
    EXPECT_EQ(counter.Registry().FindFunction("Add")->arguments.at(0).type.kind, TypeKind::Int32);
    ApiTableStorage storage;
    const ApiTable* table = BuildApiTable(counter.Registry(), storage);
    EXPECT_EQ(Testing::CallFunction(*table, "Add", Testing::Get("/add?amount=5")).value.GetSigned(), 5);
    EXPECT_EQ(Testing::CallFunction(*table, "Add", Testing::Get("/add?amount=2")).value.GetSigned(), 7);
    EXPECT_EQ(Testing::CallFunction(*table, "Total", Testing::Get("/total")).value.GetSigned(), 7);
    EXPECT_EQ(counter.Total(), 7);
}

}  // namespace
}  // namespace Kesh
