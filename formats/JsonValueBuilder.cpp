#include "formats/JsonValueBuilder.h"

#include <string_view>

#include "formats/NestingLimit.h"

namespace Kesh {

BindingProperty& JsonValueBuilder::NextTarget() {
    if (!open_.empty() && open_.back()->Kind() == PropertyKind::Collection) target_ = &open_.back()->Append();
    return *target_;
}

bool JsonValueBuilder::Open(BindingProperty& container) {
    if (open_.size() >= kMaxNestingDepth) {
        tooDeep_ = true;
        return false;
    }
    open_.push_back(&container);
    return true;
}

bool JsonValueBuilder::Null() {
    // The element of an array still counts; a member keeps what it holds.
    NextTarget();
    return true;
}

bool JsonValueBuilder::Bool(bool value) {
    NextTarget() = value;
    return true;
}

bool JsonValueBuilder::Int(int value) {
    NextTarget().AssignSigned(value);
    return true;
}

bool JsonValueBuilder::Uint(unsigned value) {
    NextTarget().AssignUnsigned(value);
    return true;
}

bool JsonValueBuilder::Int64(std::int64_t value) {
    NextTarget().AssignSigned(value);
    return true;
}

bool JsonValueBuilder::Uint64(std::uint64_t value) {
    NextTarget().AssignUnsigned(value);
    return true;
}

bool JsonValueBuilder::Double(double value) {
    NextTarget() = value;
    return true;
}

bool JsonValueBuilder::RawNumber(const char* text, unsigned length, bool /*copy*/) {
    // Only reached with the raw-number flag, which the reader does not use.
    NextTarget().AssignString(std::string_view(text, length));
    return true;
}

bool JsonValueBuilder::String(const char* text, unsigned length, bool /*copy*/) {
    NextTarget().AssignString(std::string_view(text, length));
    return true;
}

bool JsonValueBuilder::StartObject() {
    BindingProperty& target = NextTarget();
    target.MakeStructure();
    return Open(target);
}

bool JsonValueBuilder::Key(const char* text, unsigned length, bool /*copy*/) {
    target_ = &open_.back()->Member(std::string_view(text, length));
    return true;
}

bool JsonValueBuilder::EndObject(unsigned /*memberCount*/) {
    open_.pop_back();
    return true;
}

bool JsonValueBuilder::StartArray() {
    BindingProperty& target = NextTarget();
    target.MakeCollection();
    return Open(target);
}

bool JsonValueBuilder::EndArray(unsigned /*elementCount*/) {
    open_.pop_back();
    return true;
}

}  // namespace Kesh
