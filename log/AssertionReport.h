#pragma once

#include <cstdint>
#include <string>

namespace Kesh {

// The fixed multi-line text logged when the runtime has to stop. Empty texts and a
// line of 0 leave their entries out.
std::string BuildAssertionReport(const char* expression, const char* description, const char* file,
                                 std::int32_t line, const char* function);

// Builds the report and logs it at level 2 in group "DBG".
void ReportAssertion(const char* expression, const char* description, const char* file,
                     std::int32_t line, const char* function);

}  // namespace Kesh
