#pragma once

#include <cstdint>
#include <limits>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "binding/BindingProperty.h"
#include "runtime/ApiTable.h"
#include "tools/pzl-host/SafeMemory.h"

namespace Kesh::StandIn {

// Resource events with values of every kind, for the allocation and payload checks.
// Keys and texts come from the plugin's own declarations (field, enumerator, type and
// parameter names in its API table), so that random payloads reach its handlers'
// members and enumerators, mixed with texts no declaration would hold.
class PayloadMaker {
public:
    PayloadMaker(std::uint64_t seed, const ApiTable* table) : random_(seed), words_(Vocabulary(table)) {}

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

    std::string Word() { return words_[Pick(words_.size())]; }
    std::size_t Pick(std::size_t count) { return static_cast<std::size_t>(random_() % count); }
    std::mt19937_64& Random() { return random_; }
    const std::vector<std::string>& Words() const { return words_; }

    // The words of a table: every name it declares (sorted, so that the same seed picks
    // the same words whatever order the table lists them in), then texts that no
    // declaration holds.
    static std::vector<std::string> Vocabulary(const ApiTable* table) {
        std::set<std::string> names;
        // A broken table is api-table's to report; here it only gives fewer words.
        auto add = [&](const char* text) {
            const auto read = ReadText(text, 256);
            if (read && !read->empty()) names.insert(*read);
        };
        auto readable = [](const void* array, std::size_t size, std::uint32_t count) {
            return array != nullptr && count <= 100000 && Readable(array, size * count);
        };
        if (table != nullptr && Readable(table, sizeof(ApiTable))) {
            if (readable(table->types, sizeof(TypeDescriptionRecord), table->typeCount)) {
                for (std::uint32_t i = 0; i < table->typeCount; ++i) {
                    const TypeDescriptionRecord& type = table->types[i];
                    add(type.name);
                    if (readable(type.fields, sizeof(FieldDescriptionRecord), type.memberCount)) {
                        for (std::uint32_t m = 0; m < type.memberCount; ++m) add(type.fields[m].name);
                    } else if (readable(type.enumerators, sizeof(EnumeratorDescriptionRecord), type.memberCount)) {
                        for (std::uint32_t m = 0; m < type.memberCount; ++m) add(type.enumerators[m].name);
                    }
                }
            }
            if (readable(table->functions, sizeof(ApiFunctionRecord), table->functionCount)) {
                for (std::uint32_t i = 0; i < table->functionCount; ++i) {
                    const ApiFunctionRecord& function = table->functions[i];
                    if (!readable(function.parameters, sizeof(ParameterDescriptionRecord), function.parameterCount)) continue;
                    for (std::uint32_t p = 0; p < function.parameterCount; ++p) add(function.parameters[p].name);
                }
            }
        }
        std::vector<std::string> words(names.begin(), names.end());
        for (const char* other : {"", "\xff\xfe", "1.5", "true", "99", "-1"}) words.emplace_back(other);
        return words;
    }

private:
    std::mt19937_64 random_;
    std::vector<std::string> words_;
};

}  // namespace Kesh::StandIn
