#include "log/StdOutLogTarget.h"

#include <cstdio>

namespace Kesh {

const char* StdOutLogTarget::Name() const { return "StdOutLogTarget"; }

void StdOutLogTarget::Flush() { std::fflush(stdout); }

void StdOutLogTarget::WriteLine(const char* line) {
    std::fputs(line, stdout);
    if (flushAfterWrite_) {
        Flush();
    }
}

}  // namespace Kesh
