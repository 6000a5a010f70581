#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace Kesh {

// Text pairs keyed by name where a later pair of an existing name replaces the earlier
// value in place. Iteration follows the first appearance of each name, so binding runs
// (and reports the first failure) in the order the request gave.
class TextMap {
public:
    void Set(std::string key, std::string value) {
        auto [found, added] = index_.try_emplace(key, pairs_.size());
        if (added) {
            pairs_.emplace_back(std::move(key), std::move(value));
        } else {
            pairs_[found->second].second = std::move(value);
        }
    }
    const std::string* Find(std::string_view key) const {
        auto found = index_.find(std::string(key));
        return found == index_.end() ? nullptr : &pairs_[found->second].second;
    }
    std::size_t Size() const { return pairs_.size(); }
    bool Empty() const { return pairs_.empty(); }
    auto begin() const { return pairs_.begin(); }
    auto end() const { return pairs_.end(); }

private:
    std::vector<std::pair<std::string, std::string>> pairs_;
    std::unordered_map<std::string, std::size_t> index_;
};

}  // namespace Kesh
