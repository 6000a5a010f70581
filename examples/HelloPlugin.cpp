// A plugin that watches a setting, logs when it changes and exposes two functions.
#include <pzl/pzl.h>

#include <atomic>
#include <string>

namespace Hello {

using namespace Kesh;

struct HelloSettings {
    std::string greeting = "Hello";
};

class HelloPlugin : public PluginBase {
public:
    void RegisterTypes() override {
        StructDeclaration<HelloSettings>(Registry(), TypeNamePrefix() + "Settings")
            .Field("greeting", &HelloSettings::greeting);
        ExposeFunction(Registry(), {.name = "Greet", .method = HttpMethod::Get, .url = "/hello/v1/greet/{name}"},
                       &Greet, {InPath("name", "Who to greet.")});
        // A member function, called on this plugin object.
        ExposeFunction(*this, {.name = "Changes", .method = HttpMethod::Get, .url = "/hello/v1/changes"},
                       &HelloPlugin::Changes);
    }

    bool OnInit() override {
        SubscribeResource(*this, "/hello/v1/settings", &HelloPlugin::OnSettings);
        return true;
    }

private:
    static std::string Greet(const std::string& name) { return "Hi, " + name + "!"; }

    std::int64_t Changes() const { return changes_; }

    void OnSettings(const ResourceEvent<HelloSettings>& event) {
        ++changes_;
        Log(kLevelAlways, kCategoryGeneral, "Greeting is now \"%s\"", event.data.greeting.c_str());
    }

    std::atomic<std::int64_t> changes_ = 0;
};

}  // namespace Hello

PZL_DEFINE_PLUGIN_EXPORT(load_hello, Hello::HelloPlugin, "hello")
