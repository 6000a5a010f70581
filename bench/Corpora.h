#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Kesh::Bench {

// The bodies the readers are measured on next to the peer libraries: three shapes of
// real-world documents of 0.6 to 2 MB, generated here (fixed seeds, so every run reads the
// same bytes), and an event-sized body, each written in every format the readers take.
struct Corpus {
    const char* name;
    std::string json;
    std::vector<std::uint8_t> messagePack;
    std::string yamlBlock;
    std::string yamlFlow;
    std::size_t valueCount = 0;  // values of the tree, containers included
};

// twitter: a search reply, string-heavy objects with much non-ASCII text;
// citm: an event catalogue, integer-heavy objects nested a few levels;
// canada: a geographic feature, deep arrays of coordinate pairs;
// event: a resource event of about 0.8 KB.
const std::vector<Corpus>& Corpora();

}  // namespace Kesh::Bench
