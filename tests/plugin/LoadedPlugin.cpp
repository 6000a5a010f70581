#include "tests/plugin/LoadedPlugin.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "tests/plugin/PluginLibrary.h"

namespace Kesh::Testing {

LoadedPlugin::LoadedPlugin(FakeHost& host) : host_(&host) {
    const PluginLibrary& library = PluginLibrary::Instance();
    if (library.Export() == nullptr) {
        ADD_FAILURE() << library.Error();
        return;
    }
    record_.major = 18;
    library.Export()(&record_);
    if (Registered()) {
        // The table lives in the plugin object; a host keeps the entry points it needs
        // after unload, such as the counters.
        callbacks_ = *record_.callbacks;
        loaded_ = true;
    }
}

LoadedPlugin::~LoadedPlugin() { Unload(); }

bool LoadedPlugin::Init() { return loaded_ && callbacks_.init(record_.plugin, &host_->Context()) != 0; }

void LoadedPlugin::Unload() {
    if (loaded_) {
        callbacks_.unload(record_.plugin);
        loaded_ = false;
    }
}

MemoryStats LoadedPlugin::Stats() const {
    MemoryStats stats{};
    if (callbacks_.memoryStats != nullptr) {
        callbacks_.memoryStats(nullptr, &stats);
    }
    return stats;
}

std::vector<std::string> Calls(const FakeHost& host) {
    std::vector<std::string> calls;
    for (const RecordedRequest& request : host.Requests()) {
        std::string line = std::string(HttpMethodName(request.Method())) + " " + request.url;
        const BindingProperty& body = request.Body();
        if (body.Kind() == PropertyKind::String) {
            line += " " + std::string(body.GetStringView());
        } else if (body.Kind() == PropertyKind::Float) {
            char number[64];
            std::snprintf(number, sizeof number, " %g", body.GetFloat());
            line += number;
        } else if (!body.IsEmpty()) {
            line += " {...}";
        }
        calls.push_back(line);
    }
    return calls;
}

std::size_t CountCalls(const FakeHost& host, std::string_view method, std::string_view url) {
    std::size_t count = 0;
    for (const RecordedRequest& request : host.Requests()) {
        count += method == HttpMethodName(request.Method()) && url == request.url ? 1 : 0;
    }
    return count;
}

std::vector<std::string> Logged(const FakeHost& host, std::int32_t level) {
    std::vector<std::string> messages;
    for (const LogLine& line : host.LogLines()) {
        if (line.level == level) {
            const std::size_t cut = line.message.rfind("| ");
            messages.push_back(cut == std::string::npos ? line.message : line.message.substr(cut + 2));
        }
    }
    return messages;
}

}  // namespace Kesh::Testing
