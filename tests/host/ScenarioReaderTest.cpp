#include <gtest/gtest.h>

#include <string>

#include "tools/pzl-host/Scenario.h"

namespace Kesh::StandIn {
namespace {

// Every malformed scenario names the file, line and column of what is wrong.
TEST(ScenarioReader, EveryErrorNamesFileLineAndColumn) {
    struct Case {
        const char* name;
        const char* text;
        const char* where;
        const char* says;
    };
    const Case cases[] = {
        {"syntax", "steps:\n  - set: /a\n    value: [1, 2\n", "s.yaml:4:1", "did not find expected"},
        {"not a mapping", "- 1\n- 2\n", "s.yaml:1:1", "a scenario is a mapping"},
        {"unknown top key", "name: x\nstep: []\n", "s.yaml:2:7", "unknown key \"step\""},
        {"no steps", "name: x\n", "s.yaml:1:1", "needs steps"},
        {"steps not a list", "steps: {a: 1}\n", "s.yaml:1:8", "steps is a list"},
        {"unknown step", "steps:\n  - {jump: /a}\n", "s.yaml:2:5", "a step is a mapping"},
        {"path without slash", "steps:\n  - set: a/b\n    value: 1\n", "s.yaml:2:10", "must begin with \"/\""},
        {"set without value", "steps:\n  - set: /a\n", "s.yaml:2:5", "needs a value"},
        {"bad event", "steps:\n  - set: /a\n    value: 1\n    event: Delete\n", "s.yaml:4:12", "Create or Update"},
        {"unknown key in step", "steps:\n  - delete: /a\n    value: 1\n", "s.yaml:3:12", "unknown key \"value\""},
        {"bad wait", "steps:\n  - wait: soon\n", "s.yaml:2:11", "must be a number"},
        {"wait too long", "steps:\n  - wait: 9999999\n", "s.yaml:2:11", "between 0 and 600000"},
        {"bad method", "steps:\n  - expect:\n      requests: [FETCH /a]\n", "s.yaml:3:18", "a request is"},
        {"bad request path", "steps:\n  - expect:\n      requests:\n        - {method: GET, path: x}\n",
         "s.yaml:4:31", "must begin with"},
        {"both request lists", "steps:\n  - expect:\n      requests: []\n      requests-as-set: []\n", "s.yaml:4:24",
         "either requests or requests-as-set"},
        {"log without text", "steps:\n  - expect:\n      logs: [{level: 1}]\n", "s.yaml:3:14", "needs a text"},
        {"log level out of range", "steps:\n  - expect:\n      logs: [{level: 7, text: a}]\n", "s.yaml:3:22",
         "between 0 and 3"},
        {"empty expect", "steps:\n  - expect: {}\n", "s.yaml:2:13", "checks nothing"},
        {"failure without message", "failures:\n  - {path: /a, status: 500}\nsteps: []\n", "s.yaml:2:5", "needs a message"},
        {"failure status", "failures:\n  - {path: /a, status: 99, message: m}\nsteps: []\n", "s.yaml:2:24",
         "between 100 and 599"},
        {"resource key", "resources:\n  a: 1\nsteps: []\n", "s.yaml:2:6", "must begin with"},
        {"call without name", "steps:\n  - call: 5\n", "s.yaml:2:11", "a function name must be a text"},
        {"unknown key in call", "steps:\n  - call: F\n    arg: 1\n", "s.yaml:3:10", "unknown key \"arg\" in a call step"},
    };
    for (const Case& one : cases) {
        SCOPED_TRACE(one.name);
        Scenario scenario;
        std::string error;
        ASSERT_FALSE(ParseScenario(one.text, "s.yaml", scenario, error));
        EXPECT_TRUE(error.starts_with(std::string(one.where) + ": ")) << error;
        EXPECT_NE(error.find(one.says), std::string::npos) << error;
    }
}

TEST(ScenarioReader, ReadsStepsWithTheirMarks) {
    const char* text =
        "resources:\n"
        "  /a: {x: 1}\n"
        "failures:\n"
        "  - {method: GET, path: /b, status: 503, message: down}\n"
        "steps:\n"
        "  - set: /a\n"
        "    value: {x: 2}\n"
        "  - expect:\n"
        "      requests-as-set: [GET /b, {method: POST, path: /c, body: 1.5}]\n"
        "      logs: [{level: 3, text: \"a*\"}]\n"
        "      resources: {/a: ~}\n"
        "  - unload\n";
    Scenario scenario;
    std::string error;
    ASSERT_TRUE(ParseScenario(text, "s.yaml", scenario, error)) << error;
    ASSERT_EQ(scenario.resources.size(), 1u);
    ASSERT_EQ(scenario.failures.size(), 1u);
    EXPECT_EQ(scenario.failures[0].status, 503u);
    ASSERT_EQ(scenario.steps.size(), 3u);
    EXPECT_EQ(scenario.steps[0].kind, ScenarioStep::Kind::Set);
    EXPECT_EQ(scenario.steps[0].mark.line, 6);
    const ScenarioStep& expect = scenario.steps[1];
    ASSERT_TRUE(expect.requests.has_value());
    EXPECT_TRUE(expect.requestsAsSet);
    ASSERT_EQ(expect.requests->size(), 2u);
    EXPECT_EQ((*expect.requests)[1].mark.line, 9);
    EXPECT_EQ((*expect.requests)[1].mark.column, 33);
    EXPECT_EQ((*expect.requests)[1].body->GetFloat(), 1.5);
    ASSERT_EQ(expect.resources.size(), 1u);
    EXPECT_FALSE(expect.resources[0].value.has_value());
    EXPECT_EQ(scenario.steps[2].kind, ScenarioStep::Kind::Unload);
}

}  // namespace
}  // namespace Kesh::StandIn
