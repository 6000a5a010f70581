#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "api/ReplyStream.h"

namespace Kesh {

// A failure of an exposed function: the caller receives the message with the status.
struct ApiError {
    std::string message;
    std::uint32_t status = 0;
};

// A reply body streamed to the caller instead of a value.
struct StreamReply {
    std::unique_ptr<ReplyStream> stream;
    std::string contentType;
    std::uint32_t status = 200;
};

// What an exposed function returns when it may fail, or when it sets the reply's status,
// content type or headers along with its value:
//
//     ApiResult<Item> GetItem(std::int32_t id) {
//         if (id < 0) return ApiError{"No such item.", 404};
//         return Item{...};
//     }
template <typename T>
class ApiResult {
public:
    ApiResult(T value) : value_(std::move(value)) {}
    ApiResult(ApiError error) : error_(std::move(error)) {}

    bool Failed() const { return error_.has_value(); }
    T& Value() { return *value_; }
    const ApiError& Error() const { return *error_; }

    // Reply details for a success.
    ApiResult& Status(std::uint32_t status) {
        status_ = status;
        return *this;
    }
    ApiResult& ContentType(std::string contentType) {
        contentType_ = std::move(contentType);
        return *this;
    }
    ApiResult& Header(std::string name, std::string value) {
        headers_.emplace_back(std::move(name), std::move(value));
        return *this;
    }
    std::uint32_t StatusCode() const { return status_; }
    const std::string& ContentTypeText() const { return contentType_; }
    const std::vector<std::pair<std::string, std::string>>& Headers() const { return headers_; }

private:
    std::optional<T> value_;
    std::optional<ApiError> error_;
    std::uint32_t status_ = 0;
    std::string contentType_;
    std::vector<std::pair<std::string, std::string>> headers_;
};

}  // namespace Kesh
