// The log call: one the manager filters out, which must cost almost nothing, and one it
// accepts and hands to a target that drops it (alone, and after making its line as a
// real target does).
#include <benchmark/benchmark.h>

#include <cstdint>

#include "bench/AllocationCounter.h"
#include "log/LineFormat.h"
#include "log/Log.h"
#include "log/LogManager.h"
#include "log/LogTarget.h"

namespace Kesh::Bench {
namespace {

constexpr std::int32_t kThreshold = 1;  // a fresh manager's level
constexpr std::uint64_t kGroup = 0x100;

class DiscardingTarget : public LogTarget {
public:
    explicit DiscardingTarget(bool formatLine) : formatLine_(formatLine) {}
    const char* Name() const override { return "DiscardingTarget"; }
    bool Write(const LogRecord& record) override {
        if (formatLine_) {
            char line[4096];
            benchmark::DoNotOptimize(FormatLine(record, Format(), "bench", line, sizeof line));
        }
        benchmark::DoNotOptimize(record.message);
        return true;
    }

private:
    bool formatLine_;
};

// A manager held for the benchmark with only the given target attached (the consoles
// would otherwise write every accepted line).
class QuietManager {
public:
    explicit QuietManager(LogTarget* target) {
        LogManager::AddReference();
        for (LogTargetInterface* console :
             {LogManager::StdErrTarget(), LogManager::StdOutTarget(), LogManager::DebuggerTarget()}) {
            console->detach(console);
        }
        if (target != nullptr) {
            target->SetLevel(kThreshold);
            target->Attach();
        }
    }
    ~QuietManager() { LogManager::ReleaseReference(); }
    QuietManager(const QuietManager&) = delete;
    QuietManager& operator=(const QuietManager&) = delete;
};

void LogFiltered(benchmark::State& state) {
    DiscardingTarget target(false);
    const QuietManager manager(&target);
    int i = 0;
    const AllocationCounter allocations;
    for (auto _ : state) {
        Log(kThreshold - 1, kGroup, "filtered %d of %s", ++i, "many");
    }
    allocations.Report(state);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(LogFiltered);

void LogAccepted(benchmark::State& state, bool formatLine) {
    DiscardingTarget target(formatLine);
    const QuietManager manager(&target);
    int i = 0;
    const AllocationCounter allocations;
    for (auto _ : state) {
        Log(kThreshold + 1, kGroup, "accepted %d of %s", ++i, "many");
    }
    allocations.Report(state);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK_CAPTURE(LogAccepted, discarded, false);
BENCHMARK_CAPTURE(LogAccepted, line_formatted, true);

}  // namespace
}  // namespace Kesh::Bench
