#pragma once

#include <cstdint>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

#include "log/FormatStructured.h"

namespace Kesh {

// Why a request failed: the host's status code (0 when the host reported none or the
// request never reached it), the rendered message, and the values that went into it
// ("method", "url", "error", and "errorCode_int" when the code is not 0).
struct RequestError {
    std::uint32_t code = 0;
    std::string message;
    MessageFields fields;
};

// The outcome of a request: a value of T, or a RequestError.
template <typename T>
class RequestResult {
public:
    static RequestResult Success(T value) { return RequestResult(std::in_place_index<0>, std::move(value)); }
    static RequestResult Failure(RequestError error) { return RequestResult(std::in_place_index<1>, std::move(error)); }

    bool Succeeded() const { return outcome_.index() == 0; }
    const T& Value() const { return std::get<0>(outcome_); }
    T& Value() { return std::get<0>(outcome_); }
    const RequestError& Error() const { return std::get<1>(outcome_); }

private:
    template <std::size_t I, typename V>
    RequestResult(std::in_place_index_t<I> index, V&& value) : outcome_(index, std::forward<V>(value)) {}

    std::variant<T, RequestError> outcome_;
};

// A request that asks for no reply value carries nothing on success.
template <>
class RequestResult<void> {
public:
    static RequestResult Success() { return RequestResult(); }
    static RequestResult Failure(RequestError error) {
        RequestResult result;
        result.succeeded_ = false;
        result.error_ = std::move(error);
        return result;
    }

    bool Succeeded() const { return succeeded_; }
    const RequestError& Error() const { return error_; }

private:
    bool succeeded_ = true;
    RequestError error_;
};

}  // namespace Kesh
