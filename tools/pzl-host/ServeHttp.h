#pragma once

#include <httplib.h>

namespace Kesh::StandIn {

// The library's server with its request handling reachable without a socket: a test
// or a fuzzer hands it a stream of raw bytes and reads the answer from the same stream.
class ServeHttp : public httplib::Server {
public:
    bool HandleStream(httplib::Stream& stream) {
        bool closed = false;
        return process_request(stream, true, closed, nullptr);
    }
};

}  // namespace Kesh::StandIn
