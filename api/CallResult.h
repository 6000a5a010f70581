#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "api/ReplyStream.h"
#include "api/TextMap.h"
#include "binding/ConversionResult.h"

namespace Kesh {

// What one call of an exposed function produced, before it is written into the reply.
struct CallResult {
    // The returned value, or the error message.
    ConversionResult result;
    std::uint8_t replyFlag = 0;
    // Only 1, 2 and 3 reach the host; anything else is sent as 0.
    std::uint32_t replyCode = 0;
    std::uint32_t statusCode = 0;
    std::string contentType;
    TextMap headers;
    // A streamed body; the reply takes it over.
    std::unique_ptr<ReplyStream> body;

    bool Ok() const { return result.Ok(); }
    // Fails with message; a streamed body is dropped, the status is kept.
    void Fail(std::string_view message) {
        result.SetError(message);
        body.reset();
    }
    void Fail(std::string_view message, std::uint32_t status) {
        Fail(message);
        statusCode = status;
    }
};

}  // namespace Kesh
