#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <pzl/binding/BindingProperty.h>
#include <pzl/binding/HostValue.h>
#include <pzl/runtime/detail/ApiTable.h>
#include <pzl/runtime/detail/HostRegistration.h>
#include <pzl/runtime/detail/HostReply.h>
#include <pzl/runtime/detail/HostRequest.h>

namespace SampleTest {

using Kesh::BindingProperty;

// The host's records are packed: a field may sit at any address, and GoogleTest's
// comparisons bind references, which a misaligned field must not get. A copy is
// compared instead: EXPECT_EQ(Unpacked(reply.raw.statusCode), 200u).
template <class T>
constexpr T Unpacked(T field) noexcept {
    return field;
}

// One plugin object of the built pzl-be-sample-api library, created through its export
// as the host does. The library is loaded once for the whole test process.
class SamplePlugin {
public:
    SamplePlugin();
    ~SamplePlugin();
    SamplePlugin(const SamplePlugin&) = delete;
    SamplePlugin& operator=(const SamplePlugin&) = delete;

    bool Loaded() const { return record_.apiTable != nullptr; }
    const Kesh::HostRegistration& Record() const { return record_; }
    const Kesh::ApiTable& Table() const { return *record_.apiTable; }
    // The function record of that name, or null.
    const Kesh::ApiFunctionRecord* Function(std::string_view name) const;
    void Unload();
    // The library's allocation counters (they outlive the plugin object).
    Kesh::MemoryStats Stats() const;

    static std::string LoadError();

private:
    Kesh::HostRegistration record_{};
    Kesh::PluginCallbacks callbacks_{};
    bool loaded_ = false;
};

// A request as the host builds it; the texts and values live here.
struct Request {
    std::uint32_t method = 2;
    std::string url;
    std::vector<std::pair<std::string, std::string>> headers;
    // A typed argument: named, or positional when the name is null.
    struct Typed {
        const char* name;
        BindingProperty value;
    };
    std::vector<Typed> typed;
    const char* contentType = nullptr;
    std::string body;
    bool hasBody = false;
    std::uint32_t clientId = 7;
    std::string customMethod;

    Request& Body(std::string_view type, std::string_view bytes) {
        contentType = type.data();
        body.assign(bytes);
        hasBody = true;
        return *this;
    }
    Request& Method(std::uint32_t number, std::string custom = "") {
        method = number;
        customMethod = std::move(custom);
        return *this;
    }
    Request& Header(std::string name, std::string value) {
        headers.emplace_back(std::move(name), std::move(value));
        return *this;
    }
    Request& Argument(const char* name, BindingProperty value) {
        typed.push_back({name, std::move(value)});
        return *this;
    }
};

// A GET of url, to be dressed with the builders above.
inline Request Url(std::string url) {
    Request request;
    request.url = std::move(url);
    return request;
}

// A reply filled by a function record's handler; released through the reply's own
// release function when it goes.
class Reply {
public:
    Reply() = default;
    ~Reply();
    Reply(const Reply&) = delete;
    Reply& operator=(const Reply&) = delete;

    Kesh::HostReply raw{};

    bool Failed() const { return raw.result.hasError != 0; }
    std::string Error() const { return raw.result.errorText != nullptr ? raw.result.errorText : ""; }
    std::uint32_t Status() const { return raw.statusCode; }
    // The result value read back (the test process's own copy).
    BindingProperty Value() const;
    // Reads the whole streamed body and ends the stream.
    std::string ReadBody(std::uint32_t piece = 4096);
};

// Calls the record's handler with the request built the host's way.
void Call(const Kesh::ApiFunctionRecord& function, const Request& request, Reply& reply);

}  // namespace SampleTest
