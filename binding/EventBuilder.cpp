#include "binding/EventBuilder.h"

#include "binding/EventRecord.h"

namespace Kesh {

EventBuilder& EventBuilder::SetDescription(std::string_view description) {
    if (Writable()) {
        record_->description.assign(description);
    }
    return *this;
}

EventBuilder& EventBuilder::SetNameSpace(std::string_view nameSpace) {
    if (Writable()) {
        record_->nameSpace.assign(nameSpace);
    }
    return *this;
}

EventBuilder& EventBuilder::AddTag(std::string_view tag) {
    if (Writable() && !tag.empty()) {
        record_->tags.emplace_back(tag);
    }
    return *this;
}

}  // namespace Kesh
