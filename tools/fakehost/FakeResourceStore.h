#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "binding/BindingProperty.h"
#include "runtime/HttpMethod.h"
#include "tools/fakehost/ReplyPlan.h"

namespace Kesh::StandIn {

// The host's resources as a map from path to value, answering requests the way a REST
// service does: GET reads, PUT replaces, PATCH merges members, DELETE removes, POST
// only answers.
class FakeResourceStore {
public:
    static constexpr const char* kNotFound = "Not found";
    static constexpr const char* kMethodNotAllowed = "Method not allowed";
    static constexpr const char* kPatchNotStructure = "Patch body is not a structure";

    void Set(std::string_view path, const BindingProperty& value);
    bool Has(std::string_view path) const;
    // The shared Empty value when nothing is stored at path.
    const BindingProperty& Get(std::string_view path) const;
    bool Remove(std::string_view path);
    void Clear() { resources_.clear(); }
    std::size_t Size() const { return resources_.size(); }
    std::vector<std::string> Paths() const {
        std::vector<std::string> paths;
        for (const auto& entry : resources_) paths.push_back(entry.first);
        return paths;
    }

    // The answer to one request; body is null when the request carried none.
    //   GET     the stored value, or "Not found" with 404
    //   PUT     stores the body (Empty without one), answers Empty
    //   PATCH   copies the body's top-level members over the stored ones and answers
    //           Empty; "Not found" 404 when nothing is stored, 400 when the body is not
    //           a structure
    //   DELETE  removes the resource if any, answers Empty
    //   POST    answers Empty
    //   others  "Method not allowed" with 405
    ReplyPlan Answer(HttpMethod method, std::string_view path, const BindingProperty* body);

private:
    std::map<std::string, BindingProperty, std::less<>> resources_;
};

}  // namespace Kesh::StandIn
