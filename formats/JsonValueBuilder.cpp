#include "formats/JsonValueBuilder.h"

#include <algorithm>
#include <string_view>

#include "binding/PropertyContext.h"
#include "binding/TreeBuilding.h"

namespace Kesh {

void JsonValueBuilder::IndexTexts(BindingProperty& container) {
    if (index_.IsAttached()) return;
    InternTable& strings = container.Context()->Strings();
    strings.Reserve(std::min(textLength_ / 16, kPresizedTexts));
    index_.Attach(strings);
}

bool JsonValueBuilder::Open(BindingProperty& container) {
    if (depth_ >= maxDepth_) {
        tooDeep_ = true;
        return false;
    }
    if (depth_ < kInlineDepth) {
        inlineOpen_[depth_] = &container;
    } else {
        deeperOpen_.push_back(&container);
    }
    ++depth_;
    top_ = &container;
    return true;
}

void JsonValueBuilder::Close() {
    --depth_;
    if (depth_ >= kInlineDepth) deeperOpen_.pop_back();
    if (depth_ == 0) {
        top_ = nullptr;
    } else {
        top_ = depth_ <= kInlineDepth ? inlineOpen_[depth_ - 1] : deeperOpen_.back();
    }
}

bool JsonValueBuilder::RawNumber(const char* text, unsigned length, bool /*copy*/) {
    // Only reached with the raw-number flag, which the reader does not use.
    NextTarget().AssignString(std::string_view(text, length));
    return true;
}

bool JsonValueBuilder::StartObject() {
    // The structure in the same place before: the previous element of the array, or the
    // value of the guide's member that the key just read was taken from.
    const MemberNode* guide = nullptr;
    if (top_ != nullptr) {
        const BindingProperty* before = top_->Kind() == PropertyKind::Collection ? TreeBuilding::LastElement(*top_)
                                        : members_.Guided() != nullptr           ? &members_.Guided()->value
                                                                                 : nullptr;
        if (before != nullptr) guide = TreeBuilding::FirstMember(*before);
    }
    BindingProperty& target = NextTarget();
    target.MakeStructure();
    IndexTexts(target);
    if (!Open(target)) return false;
    members_.Open(target, guide);
    return true;
}

bool JsonValueBuilder::EndObject(unsigned /*memberCount*/) {
    members_.Close();
    Close();
    return true;
}

bool JsonValueBuilder::StartArray() {
    BindingProperty& target = NextTarget();
    TreeBuilding::MakeCollection(target);
    IndexTexts(target);
    return Open(target);
}

bool JsonValueBuilder::EndArray(unsigned /*elementCount*/) {
    Close();
    return true;
}

}  // namespace Kesh
