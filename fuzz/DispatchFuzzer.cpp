// Random host requests against the sample plugin's functions: every field the host fills
// (method, URL, typed arguments, headers, content type, body and its length, custom
// method) comes from the input. Each call must answer with a value or an error text, and
// every reply must release cleanly.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "SampleApiPlugin.h"
#include "binding/HostValue.h"
#include "runtime/PluginExport.h"

namespace {

using namespace Kesh;

// Cuts the input into fields: each text ends at the next 0xFF byte.
struct Input {
    const std::uint8_t* data;
    std::size_t size;

    std::uint8_t Byte() {
        if (size == 0) return 0;
        --size;
        return *data++;
    }
    std::string Text() {
        std::string text;
        while (size > 0 && *data != 0xFF) {
            text.push_back(static_cast<char>(*data++));
            --size;
        }
        if (size > 0) {
            ++data;
            --size;
        }
        return text;
    }
};

HostRegistration& Registration() {
    static HostRegistration record{};
    return record;
}

// The record's pointer to the plugin object is packed and misaligned, where
// LeakSanitizer does not look for pointers; this aligned copy keeps the object reachable
// while a run goes on.
void* livePlugin = nullptr;

// The plugin lives for the whole run, and is unloaded at exit as the host unloads it,
// so that the leak check at the end of a run sees what the plugin itself leaks.
void UnloadPlugin() {
    HostRegistration& record = Registration();
    if (record.callbacks != nullptr && livePlugin != nullptr) record.callbacks->unload(livePlugin);
    livePlugin = nullptr;
}

const ApiTable* Table() {
    static const ApiTable* table = [] {
        HostRegistration& record = Registration();
        record.major = 18;
        LoadPlugin<Client::SampleApi::Api::SampleApiPlugin>(&record, "sample-api");
        livePlugin = record.plugin;
        std::atexit(UnloadPlugin);
        return record.apiTable;
    }();
    return table;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ApiTable* table = Table();
    if (table == nullptr || table->functionCount == 0) std::abort();
    Input input{data, size};
    const ApiFunctionRecord& function = table->functions[input.Byte() % table->functionCount];

    const std::uint8_t method = input.Byte();
    const std::uint8_t flags = input.Byte();
    std::string url = input.Text();
    std::string contentType = input.Text();
    std::string custom = input.Text();
    std::vector<std::string> texts;
    const std::size_t headerCount = input.Byte() % 4;
    for (std::size_t i = 0; i < 2 * headerCount; ++i) texts.push_back(input.Text());
    std::vector<HostHeader> headers(headerCount);
    for (std::size_t i = 0; i < headerCount; ++i) {
        headers[i].name = (flags & 1) != 0 && i == 0 ? nullptr : texts[2 * i].c_str();
        headers[i].value = (flags & 2) != 0 && i == 0 ? nullptr : texts[2 * i + 1].c_str();
    }
    std::string argumentName = input.Text();
    std::string argumentText = input.Text();
    HostArgument argument{};
    argument.name = (flags & 4) != 0 ? nullptr : argumentName.c_str();
    argument.value.kind = static_cast<HostValueKind>(input.Byte() % 12);
    if (argument.value.kind == HostValueKind::BorrowedString) {
        argument.value.payload.string = HostText{argumentText.c_str(), static_cast<std::uint32_t>(argumentText.size())};
    } else if (argument.value.kind != HostValueKind::Collection && argument.value.kind != HostValueKind::Structure &&
               argument.value.kind != HostValueKind::BorrowedBlob && argument.value.kind != HostValueKind::OwnedBlob &&
               argument.value.kind != HostValueKind::OwnedString) {
        argument.value.payload.signedValue = static_cast<std::int64_t>(argumentText.size());
    } else {
        argument.value.kind = HostValueKind::Empty;
    }
    // The rest is the body; its length never claims more than there is.
    const std::vector<std::uint8_t> body(input.data, input.data + input.size);

    HostRequest request{};
    request.method = method % 10;
    request.url = (flags & 8) != 0 ? nullptr : url.c_str();
    request.arguments = (flags & 16) != 0 ? &argument : nullptr;
    request.argumentCount = (flags & 16) != 0 ? 1 : 0;
    request.userData = function.userData;
    request.headers = headers.empty() ? nullptr : headers.data();
    request.headerCount = static_cast<std::uint32_t>(headers.size());
    request.contentType = (flags & 32) != 0 ? nullptr : contentType.c_str();
    request.body = (flags & 64) != 0 ? body.data() : nullptr;
    request.bodyLength = static_cast<std::uint32_t>(body.size());
    request.clientId = 1;
    request.customMethod = custom.c_str();

    HostReply reply{};
    function.handler(&reply, &request);
    if (reply.release == nullptr) std::abort();
    if (reply.result.hasError != 0 && reply.result.errorText == nullptr) std::abort();
    if (reply.readBody != nullptr) {
        char buffer[4096];
        std::uint8_t more = 1;
        // A bounded read: the fuzzer's time goes to requests, not to 16 MiB streams.
        for (int pieces = 0; more != 0 && pieces < 4; ++pieces) {
            std::uint32_t length = sizeof buffer;
            if (reply.readBody(reply.bodyOwner, buffer, &length, &more) == 0) break;
            if (length > sizeof buffer) std::abort();
        }
        reply.releaseBody(reply.bodyOwner);
    }
    reply.release(&reply);
    return 0;
}
