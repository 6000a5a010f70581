#include "log/AssertionReport.h"

#include "log/Log.h"

namespace Kesh {
namespace {

bool Given(const char* text) { return text != nullptr && *text != '\0'; }

}  // namespace

std::string BuildAssertionReport(const char* expression, const char* description, const char* file,
                                 std::int32_t line, const char* function) {
    std::string report = "Assertion failed!\n\n";
    if (Given(file)) {
        report.append("File: ").append(file).append("\n");
    }
    if (line != 0) {
        report.append("Line: ").append(std::to_string(line)).append("\n\n");
    }
    if (Given(function)) {
        report.append("Function: ").append(function).append("\n\n");
    }
    if (Given(expression)) {
        report.append("Expression: ").append(expression);
    }
    if (Given(description)) {
        report.append("\n\nDescription: ").append(description);
    }
    return report;
}

void ReportAssertion(const char* expression, const char* description, const char* file,
                     std::int32_t line, const char* function) {
    const std::string report = BuildAssertionReport(expression, description, file, line, function);
    Log(kLevelError, 1, "%s", report.c_str());
}

}  // namespace Kesh
