#pragma once

#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "binding/BindingProperty.h"

namespace Kesh::StandIn {

// Resource events with values of every kind, for the allocation and payload checks.
class PayloadMaker {
public:
    explicit PayloadMaker(std::uint64_t seed) : random_(seed) {}

    BindingProperty Value(int depth) {
        switch (Pick(depth > 3 ? 7 : 9)) {
        case 0: return BindingProperty();
        case 1: return BindingProperty(Pick(2) == 1);
        case 2: return BindingProperty(static_cast<std::int64_t>(random_()));
        case 3: return BindingProperty(static_cast<std::uint64_t>(random_()));
        case 4: {
            const double special[] = {0.0, -1.0, 1e308, -1e-308, std::numeric_limits<double>::quiet_NaN(),
                                      std::numeric_limits<double>::infinity(), 1.5};
            return BindingProperty(special[Pick(7)]);
        }
        case 5: return BindingProperty(Word());
        case 6: {
            BindingProperty blob;
            std::vector<std::uint8_t> bytes(Pick(16));
            for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random_());
            blob.AssignBlob(bytes);
            return blob;
        }
        case 7: {
            BindingProperty list;
            list.MakeCollection();
            for (std::size_t i = Pick(5); i > 0; --i) list.Append() = Value(depth + 1);
            return list;
        }
        default: {
            BindingProperty map;
            map.MakeStructure();
            for (std::size_t i = Pick(5); i > 0; --i) map[Word()] = Value(depth + 1);
            return map;
        }
        }
    }

    std::string Word() {
        static const char* const kWords[] = {"phase", "data", "ZoomScale", "unloadUxInGameEnabled", "InProgress", "Lobby",
                                             "", "schemaVersion", "uri", "eventType", "\xff\xfe", "1.5", "true", "99"};
        return kWords[Pick(sizeof kWords / sizeof kWords[0])];
    }
    std::size_t Pick(std::size_t count) { return static_cast<std::size_t>(random_() % count); }
    std::mt19937_64& Random() { return random_; }

private:
    std::mt19937_64 random_;
};

}  // namespace Kesh::StandIn
