#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/PluginBase.h"
#include "tests/support/fakehost/FakeHost.h"

namespace Kesh::Testing {

// A plugin of the SDK with nothing of its own but a record of its init.
class TestPlugin : public PluginBase {
public:
    bool OnInit() override {
        ++initCalls;
        return initResult;
    }
    int initCalls = 0;
    bool initResult = true;
};

// Loads a TestPlugin the way the host does (register, then init with the fake host's
// context) and unloads it at the end.
class RuntimeTest : public ::testing::Test {
protected:
    void SetUp() override {
        record.major = 18;
        plugin = new TestPlugin();
        PluginBase::Register(plugin, &record, "test-plugin");
        ASSERT_EQ(record.callbacks->init(record.plugin, &host.Context()), 1);
    }
    void TearDown() override {
        if (plugin != nullptr) {
            record.callbacks->unload(record.plugin);
        }
    }

    FakeHost host;
    HostRegistration record{};
    TestPlugin* plugin = nullptr;
};

}  // namespace Kesh::Testing
