#include "log/StdErrLogTarget.h"

#include <cstdio>

namespace Kesh {

const char* StdErrLogTarget::Name() const { return "StdErrLogTarget"; }

void StdErrLogTarget::Flush() { std::fflush(stderr); }

void StdErrLogTarget::WriteLine(const char* line) { std::fputs(line, stderr); }

}  // namespace Kesh
