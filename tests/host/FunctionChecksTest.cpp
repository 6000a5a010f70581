#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "binding/TypeKind.h"
#include "tests/host/ToolRun.h"
#include "tools/pzl-host/OpenApi.h"
#include "tools/pzl-host/RequestBuilder.h"
#include "tools/pzl-host/ValueJson.h"

namespace Kesh::StandIn {
namespace {

using Testing::BrokenCase;

// Each broken function fails the one check its fault belongs to, naming the function
// and the request; every other check passes.
TEST(FunctionChecks, EachBrokenFunctionFailsOnlyItsCheck) {
    const BrokenCase cases[] = {
        {"missing-500", "malformed-requests", "FAIL",
         "Count answered without its argument count with status 500 for a client fault: POST /broken/v1/count"},
        {"crash-call", "valid-calls", "FAIL", "the plugin crashed (Segmentation fault) in Explode: POST /broken/v1/explode arguments"},
        // Registered through the record, past the SDK's own refusal.
        {"mismatch", "api-table", "FAIL",
         "function Item's path argument id is not a placeholder of its URL template \"/broken/v1/items/{key}\""},
        // Refused at registration: the check quotes the plugin's log line (each refusal's
        // wording is the SDK's, pinned in its own tests), and the plugin's other function
        // still passes the function checks.
        {"path-argument", "api-table", "FAIL", "registration: Function \"Greet\" is not exposed: its path argument \"nmae\""},
        // A name declared twice is legal (the later declaration wins), but two functions
        // on one route leave the host no way to tell them apart.
        {"duplicates", "api-table", "FAIL", "functions Ping and Pong share the route GET /broken/v1/ping"},
    };
    for (const BrokenCase& one : cases) Testing::ExpectOnlyThatCheck(one);

    // The text form with --only-failed: the FAIL line with its seed, the last host calls
    // before the crash, the summary.
    const Testing::ToolOutput crash = Testing::Tool("validate --timeout 300 --only-failed --seed 5 " + Testing::Broken("crash-call"));
    EXPECT_EQ(crash.status, 1);
    ASSERT_GT(crash.lines.size(), 2u) << crash.Text();
    EXPECT_TRUE(crash.lines[0].starts_with("FAIL  valid-calls                the plugin crashed")) << crash.Text();
    EXPECT_TRUE(crash.lines[0].ends_with(" (seed 5)")) << crash.Text();
    EXPECT_EQ(crash.lines[1], "      last host calls, oldest first:");
    EXPECT_EQ(crash.lines.back(), "15 checks run, 14 passed, 1 failed, 0 skipped, 0 warned");
}

// A table with one struct (id int32, name string, tags vector of string, color enum,
// extra optional int32, content object) and its enum, as a plugin describes them.
struct TypesTable {
    EnumeratorDescriptionRecord enumerators[2] = {{&enumerators[1], "Red", "", 1}, {nullptr, "Blue", "", 3}};
    FieldDescriptionRecord fields[6] = {
        {&fields[1], "id", "", 0, 6, 0, "", 0},      {&fields[2], "name", "", 0, 12, 0, "", 0},
        {&fields[3], "tags", "", 0, 15, 12, "", 0},  {&fields[4], "color", "", 0, 16, 0, "Color", 0},
        {&fields[5], "extra", "", 0, 6, 0, "", 1},   {nullptr, "content", "", 0, 13, 0, "", 0},
    };
    TypeDescriptionRecord types[2] = {
        {&types[1], "Item", "", 0, "", nullptr, 0, fields, nullptr, 6},
        {nullptr, "Color", "", 4, "", nullptr, 0, nullptr, enumerators, 2},
    };
    ApiTable table{nullptr, 0, types, 2, nullptr, 0};
};

BindingProperty Item() {
    BindingProperty item;
    item["id"] = 5;
    item["name"] = "five";
    item["tags"].Append() = "a";
    item["color"] = "Blue";
    return item;
}

TEST(FunctionChecks, ResultValuesAreHeldToTheirDeclaredType) {
    const TypesTable described;
    const ApiTable& table = described.table;
    const std::uint32_t structKind = 17, vectorKind = 15;
    struct Case {
        const char* what;
        BindingProperty value;
        std::uint32_t kind, elementKind;
        std::string typeName;
        std::string fault;  // "" for a value that fits
    };
    // The item of Item() with one change.
    auto item = [](auto change) {
        BindingProperty changed = Item();
        change(changed);
        return changed;
    };
    BindingProperty withoutName;
    withoutName["id"] = 5;
    withoutName["tags"].MakeCollection();
    withoutName["color"] = "Red";
    BindingProperty items;
    items.Append() = Item();
    items.Append() = "not an item";
    const Case cases[] = {
        {"a whole item", Item(), structKind, 0, "Item", ""},
        {"with its optional field", item([](BindingProperty& i) { i["extra"] = 1; }), structKind, 0, "Item", ""},
        {"an unknown member", item([](BindingProperty& i) { i["colour"] = "Red"; }), structKind, 0, "Item",
         "Item with the member colour, which is none of its fields"},
        {"a field missing", withoutName, structKind, 0, "Item", "Item without its field name"},
        {"no such enumerator", item([](BindingProperty& i) { i["color"] = "Green"; }), structKind, 0, "Item",
         "field color of Item: \"Green\", which is no enumerator of Color"},
        {"an enum number without a name", item([](BindingProperty& i) { i["color"] = 99; }), structKind, 0, "Item", ""},
        {"an element of the wrong kind", item([](BindingProperty& i) { i["tags"].Append() = 7; }), structKind, 0, "Item",
         "field tags of Item: element 1: a value of kind signed where it declares string"},
        {"a vector of structs", items, vectorKind, structKind, "Item", "element 1: a value of kind string where it declares struct"},
        {"a text for a struct", BindingProperty("x"), structKind, 0, "Item", "a value of kind string where it declares struct"},
        {"nothing declared, nothing sent", BindingProperty(), 0, 0, "", ""},
        {"nothing declared, a value sent", BindingProperty(1), 0, 0, "", "a value where it declares none"},
        {"a double as an integer", BindingProperty(1.5), 6, 0, "", "a value of kind float where it declares int32"},
    };
    for (const Case& one : cases) {
        SCOPED_TRACE(one.what);
        EXPECT_EQ(ValueTypeFault(table, one.value, one.kind, one.elementKind, one.typeName), one.fault);
    }
}

// Each kind's schema in the OpenAPI document, as a struct's field: integers with their
// format and range, the rest by type and format or encoding, containers with the schema
// of their elements, structs by reference.
TEST(FunctionChecks, OpenApiSchemaOfEveryKind) {
    const struct {
        std::uint32_t kind, elementKind;
        const char* typeName;
        const char* schema;
    } cases[] = {
        {1, 0, "", R"({"type":"boolean"})"},
        {2, 0, "", R"({"format":"int8","maximum":127,"minimum":-128,"type":"integer"})"},
        {3, 0, "", R"({"format":"uint8","maximum":255,"minimum":0,"type":"integer"})"},
        {4, 0, "", R"({"format":"int16","maximum":32767,"minimum":-32768,"type":"integer"})"},
        {5, 0, "", R"({"format":"uint16","maximum":65535,"minimum":0,"type":"integer"})"},
        {6, 0, "", R"({"format":"int32","maximum":2147483647,"minimum":-2147483648,"type":"integer"})"},
        {7, 0, "", R"({"format":"uint32","maximum":4294967295,"minimum":0,"type":"integer"})"},
        {8, 0, "", R"({"format":"int64","maximum":9223372036854775807,"minimum":-9223372036854775808,"type":"integer"})"},
        {9, 0, "", R"({"format":"uint64","maximum":18446744073709551615,"minimum":0,"type":"integer"})"},
        {10, 0, "", R"({"format":"float","type":"number"})"},
        {11, 0, "", R"({"format":"double","type":"number"})"},
        {12, 0, "", R"({"type":"string"})"},
        {13, 0, "", "{}"},
        {14, 0, "", R"({"contentEncoding":"base64","type":"string"})"},
        {15, 3, "", R"({"items":{"format":"uint8","maximum":255,"minimum":0,"type":"integer"},"type":"array"})"},
        {19, 11, "", R"({"additionalProperties":{"format":"double","type":"number"},"type":"object"})"},
        {17, 0, "Kinds", R"({"$ref":"#/components/schemas/Kinds"})"},
    };
    std::vector<FieldDescriptionRecord> fields(std::size(cases));
    std::vector<std::string> names(std::size(cases));
    for (std::size_t i = 0; i < fields.size(); ++i) {
        names[i] = "f" + std::to_string(i);
        fields[i] = {i + 1 < fields.size() ? &fields[i + 1] : nullptr, names[i].c_str(), "", 0, cases[i].kind,
                     cases[i].elementKind, cases[i].typeName, 0};
    }
    TypeDescriptionRecord type{nullptr, "Kinds", "", 0, "", nullptr, 0, fields.data(), nullptr, static_cast<std::uint32_t>(fields.size())};
    ApiTable table{nullptr, 0, &type, 1, nullptr, 0};
    const HostRegistration record{18, 3, 1, nullptr, nullptr, "kinds", &table};
    ConversionResult document = ParseJson(OpenApiDocument(record));
    ASSERT_TRUE(document.Ok());
    const BindingProperty& properties =
        document.Value().GetMember("components").GetMember("schemas").GetMember("Kinds").GetMember("properties");
    for (std::size_t i = 0; i < fields.size(); ++i) EXPECT_EQ(ToJson(properties.GetMember(names[i])), cases[i].schema) << names[i];
}

TEST(FunctionChecks, TemplatesReadAsTheirPlaceholdersAndShape) {
    struct Case {
        std::string urlTemplate;
        std::vector<std::string> placeholders;
        std::string shape;
    } cases[] = {
        {"/a/{id}/b", {"id"}, "/a/{}/b"},
        {"/files/{+path}", {"path"}, "/files/{+}"},
        {"/doc{#part}", {"part"}, "/doc{#}"},
        {"/x/{a}/{b+c}", {"a", "b+c"}, "/x/{}/{}"},
        {"/plain", {}, "/plain"},
    };
    for (const Case& one : cases) {
        SCOPED_TRACE(one.urlTemplate);
        std::vector<std::string> names;
        std::string error;
        ASSERT_TRUE(TemplatePlaceholders(one.urlTemplate, names, error)) << error;
        EXPECT_EQ(names, one.placeholders);
        EXPECT_EQ(TemplateShape(one.urlTemplate), one.shape);
    }
    // Two templates that differ only in placeholder names match the same URLs.
    EXPECT_EQ(TemplateShape("/items/{id}"), TemplateShape("/items/{key}"));
    std::vector<std::string> names;
    std::string error;
    EXPECT_FALSE(TemplatePlaceholders("/a/{id", names, error));
    EXPECT_NE(error.find("never closed"), std::string::npos);
}

// Texts for the query, headers and text bodies: strings unquoted, blobs in base64 (the
// binding decodes them so), the rest as JSON.
TEST(FunctionChecks, TextArgumentsAreWhatBindingReadsBack) {
    BindingProperty blob;
    blob.AssignBlob(std::vector<std::uint8_t>{'a', 'b', 'c', 'd'});
    BindingProperty list;
    list.Append() = 1;
    list.Append() = 2;
    EXPECT_EQ(TextArgument(BindingProperty("a b")), "a b");
    EXPECT_EQ(TextArgument(blob), "YWJjZA==");
    EXPECT_EQ(TextArgument(list), "[1,2]");
    EXPECT_EQ(TextArgument(BindingProperty(true)), "true");
}

}  // namespace
}  // namespace Kesh::StandIn
