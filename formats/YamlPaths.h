#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "binding/BindingProperty.h"

namespace Kesh {

// The ways from the root of a YAML result to its nodes, as a tree of steps (an element
// index or a member key) that share their common beginnings. Every node being filled
// has a step; anchors keep the step of their node so that an alias can find the node
// again later by walking from the root. Holding addresses instead would not do: element
// arrays move when they grow, and a repeated key can replace a whole subtree.
//
// Steps are dropped again when their node is complete, unless an anchor may refer to
// them, so the tree stays about as large as the nesting plus the anchored paths.
class YamlPaths {
public:
    using StepId = std::uint32_t;
    static constexpr StepId kRoot = 0;

    YamlPaths();

    StepId PushIndex(StepId parent, std::size_t index);
    StepId PushKey(StepId parent, std::string_view key);
    // Drops the step if nothing can refer to it any more.
    void Pop(StepId step) noexcept;
    // Keeps every step that exists now: an anchor is about to refer to one of them.
    void Pin() noexcept { pinned_ = steps_.size(); }

    // The node the path of step leads to in root, or the shared Empty value when a part
    // of the way no longer exists. Adds the number of steps walked to walked.
    const BindingProperty& Resolve(const BindingProperty& root, StepId step, std::size_t& walked);

private:
    struct Step {
        StepId parent;
        bool isKey;
        std::uint32_t keyLength;
        std::size_t indexOrKeyOffset;  // the element index, or where the key starts in keys_
    };

    std::vector<Step> steps_;
    std::string keys_;  // the key texts of the steps, back to back
    std::size_t pinned_ = 1;
    std::vector<StepId> way_;  // scratch for Resolve
};

}  // namespace Kesh
