#pragma once

#include <cstdint>
#include <string>

#include <pzl/pzl.h>

namespace Kesh::Client::SampleApi::Api {

// What GetItem returns.
struct SampleItem {
    std::int32_t id = 0;
    std::string name;
    bool verbose = false;
};

// What PutFile returns: where the content was put and the content as received.
struct SampleFile {
    std::string path;
    BindingProperty content;
};

// What Whoami returns: the caller as the request shows it.
struct SampleCaller {
    std::uint32_t clientId = 0;
    std::string method;
    std::string url;
    std::string token;
    std::string userAgent;
};

enum class SampleColor : std::int32_t {
    Red = 1,
    Green = 2,
    Blue = 3,
};

}  // namespace Kesh::Client::SampleApi::Api
