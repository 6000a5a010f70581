#include "tools/fakehost/FakeResourceStore.h"

namespace Kesh::StandIn {

void FakeResourceStore::Set(std::string_view path, const BindingProperty& value) {
    auto found = resources_.find(path);
    if (found != resources_.end()) {
        found->second = value;
    } else {
        resources_.emplace(std::string(path), value);
    }
}

bool FakeResourceStore::Has(std::string_view path) const { return resources_.find(path) != resources_.end(); }

const BindingProperty& FakeResourceStore::Get(std::string_view path) const {
    auto found = resources_.find(path);
    return found != resources_.end() ? found->second : BindingProperty::SharedEmpty();
}

bool FakeResourceStore::Remove(std::string_view path) {
    auto found = resources_.find(path);
    if (found == resources_.end()) return false;
    resources_.erase(found);
    return true;
}

ReplyPlan FakeResourceStore::Answer(HttpMethod method, std::string_view path, const BindingProperty* body) {
    switch (method) {
    case HttpMethod::Get: {
        auto found = resources_.find(path);
        if (found == resources_.end()) return ReplyPlan::Error(kNotFound, 404);
        return ReplyPlan::Value(found->second);
    }
    case HttpMethod::Put:
        Set(path, body != nullptr ? *body : BindingProperty::SharedEmpty());
        return ReplyPlan::Value(BindingProperty());
    case HttpMethod::Patch: {
        auto found = resources_.find(path);
        if (found == resources_.end()) return ReplyPlan::Error(kNotFound, 404);
        if (body == nullptr) return ReplyPlan::Value(BindingProperty());
        if (body->Kind() != PropertyKind::Structure) return ReplyPlan::Error(kPatchNotStructure, 400);
        BindingProperty& stored = found->second;
        for (const MemberNode& member : body->Members()) stored.Member(member.KeyView()) = member.Value();
        return ReplyPlan::Value(BindingProperty());
    }
    case HttpMethod::Delete:
        Remove(path);
        return ReplyPlan::Value(BindingProperty());
    case HttpMethod::Post:
        return ReplyPlan::Value(BindingProperty());
    default:
        return ReplyPlan::Error(kMethodNotAllowed, 405);
    }
}

}  // namespace Kesh::StandIn
