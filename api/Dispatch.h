#pragma once

#include "api/CallResult.h"
#include "platform/Abi.h"
#include "runtime/HostReply.h"
#include "runtime/HostRequest.h"

namespace Kesh {

class TypeRegistry;

// The handler of every function record in the API table: matches the request against
// the called function's route, binds its arguments, calls it and fills reply. Every
// request field may be null or hostile; each problem becomes an error reply. Nothing
// escapes into the host.
void PZL_CDECL DispatchRequest(HostReply* reply, HostRequest* request);

// Writes result into reply (value or error, flag, code, status, content type, headers,
// streamed body). Enum values go by name where registry knows the enumerator.
void WriteReply(HostReply& reply, CallResult& result, const TypeRegistry* registry);

}  // namespace Kesh
