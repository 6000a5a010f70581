// The three body readers on the same content: a large list reply and an event-sized
// body. Every iteration reads the body into a fresh value and discards it, as a reply
// or an event is, while a settings-sized tree stays alive (see ResidentTree);
// ReadJson/event_alone reads with no other tree alive. "blocks" is the number of 4 KiB
// pool blocks the tree read holds.
#include <benchmark/benchmark.h>

#include <optional>
#include <string>

#include "bench/AllocationCounter.h"
#include "bench/BodyWriter.h"
#include "bench/ResidentTree.h"
#include "bench/SampleBody.h"
#include "binding/BlockAllocator.h"
#include "binding/ConversionResult.h"
#include "binding/PropertyContext.h"
#include "formats/JsonReader.h"
#include "formats/MessagePackReader.h"
#include "formats/YamlReader.h"

namespace Kesh::Bench {
namespace {

// A reader that loses or alters content would make its figures meaningless.
bool ReadsBack(benchmark::State& state, const ConversionResult& result, const SampleBody& body) {
    if (!result.Ok()) {
        state.SkipWithError(result.ErrorMessage());
        return false;
    }
    if (WriteJson(result.Value()) != body.json) {
        state.SkipWithError("the value read differs from the sample");
        return false;
    }
    // The 4 KiB pool blocks one such tree holds.
    const PropertyContext* context = result.Value().Context();
    state.counters["blocks"] = static_cast<double>(context != nullptr ? context->BlockCount() : 0);
    return true;
}

void Report(benchmark::State& state, const AllocationCounter& allocations, const SampleBody& body,
            std::size_t bytes) {
    allocations.Report(state);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * body.valueCount));
}

// With alone, no other tree is alive while each body is read and dropped.
void ReadJson(benchmark::State& state, const SampleBody& (*sample)(), bool alone) {
    const SampleBody& body = sample();
    if (!ReadsBack(state, ParseJson(body.json), body)) {
        return;
    }
    std::optional<ResidentTree> resident;
    if (!alone) {
        resident.emplace();
    } else if (BlockAllocator::Instance().ReadCounts().blocksInUse != 0) {
        state.SkipWithError("a value tree is alive elsewhere");
        return;
    }
    const AllocationCounter allocations;
    for (auto _ : state) {
        ConversionResult result = ParseJson(body.json);
        benchmark::DoNotOptimize(result);
    }
    Report(state, allocations, body, body.json.size());
}

void ReadMessagePack(benchmark::State& state, const SampleBody& (*sample)()) {
    const SampleBody& body = sample();
    const std::vector<std::uint8_t>& bytes = body.messagePack;
    if (!ReadsBack(state, Kesh::ReadMessagePack(bytes.data(), bytes.size()), body)) {
        return;
    }
    const ResidentTree resident;
    const AllocationCounter allocations;
    for (auto _ : state) {
        ConversionResult result = Kesh::ReadMessagePack(bytes.data(), bytes.size());
        benchmark::DoNotOptimize(result);
    }
    Report(state, allocations, body, bytes.size());
}

void ReadYaml(benchmark::State& state, const SampleBody& (*sample)()) {
    const SampleBody& body = sample();
    if (!ReadsBack(state, Kesh::ReadYaml(body.yaml), body)) {
        return;
    }
    const ResidentTree resident;
    const AllocationCounter allocations;
    for (auto _ : state) {
        ConversionResult result = Kesh::ReadYaml(body.yaml);
        benchmark::DoNotOptimize(result);
    }
    Report(state, allocations, body, body.yaml.size());
}

BENCHMARK_CAPTURE(ReadJson, large, &LargeBody, false);
BENCHMARK_CAPTURE(ReadJson, event, &EventBody, false);
BENCHMARK_CAPTURE(ReadJson, event_alone, &EventBody, true);
BENCHMARK_CAPTURE(ReadMessagePack, large, &LargeBody);
BENCHMARK_CAPTURE(ReadMessagePack, event, &EventBody);
BENCHMARK_CAPTURE(ReadYaml, large, &LargeBody);
BENCHMARK_CAPTURE(ReadYaml, event, &EventBody);

}  // namespace
}  // namespace Kesh::Bench
