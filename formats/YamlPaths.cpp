#include "formats/YamlPaths.h"

#include <stdexcept>

namespace Kesh {

YamlPaths::YamlPaths() { steps_.push_back(Step{kRoot, false, 0, 0}); }

YamlPaths::StepId YamlPaths::PushIndex(StepId parent, std::size_t index) {
    steps_.push_back(Step{parent, false, 0, index});
    return static_cast<StepId>(steps_.size() - 1);
}

YamlPaths::StepId YamlPaths::PushKey(StepId parent, std::string_view key) {
    if (key.size() > UINT32_MAX) throw std::length_error("YAML mapping key too long");
    steps_.push_back(Step{parent, true, static_cast<std::uint32_t>(key.size()), keys_.size()});
    keys_.append(key);
    return static_cast<StepId>(steps_.size() - 1);
}

void YamlPaths::Pop(StepId step) noexcept {
    // Only the newest step can go: older ones are parents of newer ones or pinned.
    if (step == kRoot || step + 1 != steps_.size() || step < pinned_) return;
    if (steps_.back().isKey) keys_.resize(steps_.back().indexOrKeyOffset);
    steps_.pop_back();
}

const BindingProperty& YamlPaths::Resolve(const BindingProperty& root, StepId step, std::size_t& walked) {
    way_.clear();
    for (StepId at = step; at != kRoot; at = steps_[at].parent) way_.push_back(at);
    walked += way_.size();

    const BindingProperty* node = &root;
    for (auto it = way_.rbegin(); it != way_.rend(); ++it) {
        const Step& one = steps_[*it];
        node = one.isKey ? &node->GetMember(std::string_view(keys_).substr(one.indexOrKeyOffset, one.keyLength))
                         : &node->GetElement(one.indexOrKeyOffset);
    }
    return *node;
}

}  // namespace Kesh
