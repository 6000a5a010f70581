#pragma once

#include <string>

#include "binding/BindingProperty.h"

namespace Kesh::Bench {

// A settings object kept alive around a benchmark, as a plugin keeps its settings and
// cached state between calls. Value trees take their runs of blocks from shared 64 KiB
// memory regions, and a region goes back (or aside, as a spare) when its last block is
// free: with no tree alive elsewhere, every event-sized tree made and dropped would empty
// its region each time (the "alone" figures show that case). This one holds a block of
// its own, as every tree's context does.
class ResidentTree {
public:
    ResidentTree() {
        for (int i = 0; i < 24; ++i) {
            value_["setting" + std::to_string(i)] = "value " + std::to_string(i);
        }
    }

private:
    BindingProperty value_;
};

}  // namespace Kesh::Bench
