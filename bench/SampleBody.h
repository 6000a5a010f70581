#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "binding/BindingProperty.h"

namespace Kesh::Bench {

// One body's content in each format the readers take. Built once, on first use, outside
// any timed loop. It keeps no value tree alive: whether one is alive changes what trees
// cost (see ResidentTree), so each benchmark decides.
struct SampleBody {
    // The content as a value tree (read from the JSON text).
    BindingProperty Tree() const;

    std::string json;
    std::vector<std::uint8_t> messagePack;
    std::string yaml;
    // Every value of the tree, containers included.
    std::size_t valueCount = 0;
};

// A list reply of about 100 KB of JSON: 320 entries of strings, numbers of every kind,
// booleans, short arrays and a nested object, as a list of players or items looks.
const SampleBody& LargeBody();
// A resource event of about 800 bytes: its path, its type and a session object a few levels
// deep.
const SampleBody& EventBody();

}  // namespace Kesh::Bench
