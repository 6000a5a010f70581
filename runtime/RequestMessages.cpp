#include "runtime/RequestMessages.h"

namespace Kesh {

RequestError MakeRequestError(const char* templateText, HttpMethod method, std::string_view url,
                              std::string_view error, std::uint32_t code) {
    StructuredMessage message = FormatStructuredMessage(
        templateText, {MessageArgument(HttpMethodName(method)), MessageArgument(url), MessageArgument(error)});
    if (code != 0) {
        message.fields.insert_or_assign("errorCode_int", MessageArgument(static_cast<std::uint64_t>(code)));
    }
    return RequestError{code, std::move(message.text), std::move(message.fields)};
}

}  // namespace Kesh
