// Conversions between values and native structs, both ways, through a registry the
// way a handler's arguments and replies go: one struct of a few fields, and a vector
// of them.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bench/AllocationCounter.h"
#include "bench/ResidentTree.h"
#include "binding/ConversionResult.h"
#include "binding/NativeAssign.h"
#include "binding/NativeToValue.h"
#include "binding/StructDeclaration.h"
#include "binding/TypeRegistry.h"

namespace Kesh::Bench {
namespace {

struct Position {
    double x = 0.0;
    double y = 0.0;
};

struct Player {
    std::string accountId;
    std::string displayName;
    std::uint32_t level = 0;
    double rating = 0.0;
    bool online = false;
    Position position;
    std::vector<std::int32_t> recentScores;
};

constexpr std::size_t kPlayers = 100;

// The registry a plugin fills at start-up.
struct PlayerTypes {
    PlayerTypes() {
        registry.RegisterBuiltins();
        StructDeclaration<Position>(registry, "Position").Field("x", &Position::x).Field("y", &Position::y);
        StructDeclaration<Player>(registry, "Player")
            .Field("accountId", &Player::accountId)
            .Field("displayName", &Player::displayName)
            .Field("level", &Player::level)
            .Field("rating", &Player::rating)
            .Field("online", &Player::online)
            .Field("position", &Player::position)
            .Field("recentScores", &Player::recentScores);
    }

    TypeRegistry registry;
};

const TypeRegistry& Registry() {
    static const PlayerTypes types;
    return types.registry;
}

Player MakePlayer(std::size_t i) {
    Player player;
    player.accountId = "0c5e7a1f-4b2d-4e8a-9f13-" + std::to_string(100000000000 + i);
    player.displayName = "Player #" + std::to_string(i);
    player.level = static_cast<std::uint32_t>(30 + i % 470);
    player.rating = 1000.0 + static_cast<double>(i) * 3.25;
    player.online = i % 3 == 0;
    player.position = {static_cast<double>(i % 100) * 0.5, -static_cast<double>(i % 37)};
    for (std::int32_t r = 0; r < 6; ++r) {
        player.recentScores.push_back(static_cast<std::int32_t>((i * 31 + r * 17) % 1000));
    }
    return player;
}

std::vector<Player> MakePlayers() {
    std::vector<Player> players;
    for (std::size_t i = 0; i < kPlayers; ++i) {
        players.push_back(MakePlayer(i));
    }
    return players;
}

template <typename T>
void NativeToValue(benchmark::State& state, const T& native, std::size_t structs) {
    const TypeRegistry& registry = Registry();
    const ResidentTree resident;
    const AllocationCounter allocations;
    for (auto _ : state) {
        ConversionResult result = ToValue(native, &registry);
        if (!result.Ok()) {
            state.SkipWithError(result.ErrorMessage());
            break;
        }
        benchmark::DoNotOptimize(result);
    }
    allocations.Report(state);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * structs));
}

template <typename T>
void ValueToNative(benchmark::State& state, const T& native, std::size_t structs) {
    const TypeRegistry& registry = Registry();
    const ConversionResult input = ToValue(native, &registry);
    const AllocationCounter allocations;
    for (auto _ : state) {
        ConversionResult result;
        T out{};
        if (!AssignNative(result, out, input.Value(), "value", &registry)) {
            state.SkipWithError(result.ErrorMessage());
            break;
        }
        benchmark::DoNotOptimize(out);
    }
    allocations.Report(state);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * structs));
}

void ToValueStruct(benchmark::State& state) { NativeToValue(state, MakePlayer(7), 1); }
void ToValueVector(benchmark::State& state) { NativeToValue(state, MakePlayers(), kPlayers); }
void AssignNativeStruct(benchmark::State& state) { ValueToNative(state, MakePlayer(7), 1); }
void AssignNativeVector(benchmark::State& state) { ValueToNative(state, MakePlayers(), kPlayers); }

BENCHMARK(ToValueStruct);
BENCHMARK(ToValueVector);
BENCHMARK(AssignNativeStruct);
BENCHMARK(AssignNativeVector);

}  // namespace
}  // namespace Kesh::Bench
