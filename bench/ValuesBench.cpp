// The dynamic value: building a wide structure, copying a whole tree, finding members,
// and the round trip through the host's value records that every event body and
// request argument makes.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/AllocationCounter.h"
#include "bench/ResidentTree.h"
#include "bench/SampleBody.h"
#include "binding/BindingProperty.h"
#include "binding/HostValue.h"
#include "binding/HostValueConversion.h"

namespace Kesh::Bench {
namespace {

constexpr std::size_t kMembers = 1000;

const std::vector<std::string>& MemberKeys() {
    static const std::vector<std::string> keys = [] {
        std::vector<std::string> made;
        for (std::size_t i = 0; i < kMembers; ++i) {
            char key[32];
            std::snprintf(key, sizeof key, "member%04zu", i);
            made.emplace_back(key);
        }
        return made;
    }();
    return keys;
}

void BuildStructure(benchmark::State& state) {
    const std::vector<std::string>& keys = MemberKeys();
    const ResidentTree resident;
    const AllocationCounter allocations;
    for (auto _ : state) {
        BindingProperty structure;
        for (std::size_t i = 0; i < keys.size(); ++i) {
            structure[keys[i]] = i;
        }
        benchmark::DoNotOptimize(structure);
    }
    allocations.Report(state);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * keys.size()));
}
BENCHMARK(BuildStructure);

void FindMember(benchmark::State& state) {
    const std::vector<std::string>& keys = MemberKeys();
    BindingProperty structure;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        structure[keys[i]] = i;
    }
    std::size_t next = 0;
    const AllocationCounter allocations;
    for (auto _ : state) {
        // Every key in turn, so that lookups do not all hit the same path.
        const BindingProperty& member = structure.GetMember(keys[next]);
        benchmark::DoNotOptimize(member);
        next = next + 1 == keys.size() ? 0 : next + 1;
    }
    allocations.Report(state);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(FindMember);

void CopyTree(benchmark::State& state, const SampleBody& (*sample)()) {
    const SampleBody& body = sample();
    const BindingProperty tree = body.Tree();
    const AllocationCounter allocations;
    for (auto _ : state) {
        BindingProperty copy(tree);
        benchmark::DoNotOptimize(copy);
    }
    allocations.Report(state);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * body.valueCount));
}
BENCHMARK_CAPTURE(CopyTree, large, &LargeBody);
BENCHMARK_CAPTURE(CopyTree, event, &EventBody);

// To host records and back, as a value crosses to the host and another returns.
void HostValueRoundTrip(benchmark::State& state) {
    const SampleBody& body = EventBody();
    const BindingProperty tree = body.Tree();
    HostValue record{};
    HostResultHead head{};
    const AllocationCounter allocations;
    for (auto _ : state) {
        BindingProperty back;
        ToHostValue(tree, record);
        if (!FromHostValue(record, back, "body", head)) {
            state.SkipWithError(head.errorText);
            break;
        }
        record.Release();
        benchmark::DoNotOptimize(back);
    }
    allocations.Report(state);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * body.valueCount));
    head.Release();
}
BENCHMARK(HostValueRoundTrip);

void ToHost(benchmark::State& state) {
    const SampleBody& body = EventBody();
    const BindingProperty tree = body.Tree();
    HostValue record{};
    const AllocationCounter allocations;
    for (auto _ : state) {
        ToHostValue(tree, record);
        benchmark::DoNotOptimize(record);
        state.PauseTiming();
        record.Release();
        state.ResumeTiming();
    }
    allocations.Report(state);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * body.valueCount));
}
BENCHMARK(ToHost);

void FromHost(benchmark::State& state) {
    const SampleBody& body = EventBody();
    const BindingProperty tree = body.Tree();
    HostValue record{};
    ToHostValue(tree, record);
    HostResultHead head{};
    const AllocationCounter allocations;
    for (auto _ : state) {
        // The value is cleared first, as a fresh one would be.
        BindingProperty value;
        if (!FromHostValue(record, value, "body", head)) {
            state.SkipWithError(head.errorText);
            break;
        }
        benchmark::DoNotOptimize(value);
    }
    allocations.Report(state);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * body.valueCount));
    record.Release();
    head.Release();
}
BENCHMARK(FromHost);

void ReleaseHostValue(benchmark::State& state) {
    const SampleBody& body = EventBody();
    const BindingProperty tree = body.Tree();
    HostValue record{};
    const AllocationCounter allocations;
    for (auto _ : state) {
        state.PauseTiming();
        ToHostValue(tree, record);
        state.ResumeTiming();
        record.Release();
        benchmark::DoNotOptimize(record);
    }
    // The paused conversion allocates what Release frees: frees is the figure here.
    allocations.Report(state, true);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * body.valueCount));
}
BENCHMARK(ReleaseHostValue);

}  // namespace
}  // namespace Kesh::Bench
