#include "tests/oracle/TreeComparison.h"

#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include "binding/PropertyContext.h"

namespace Kesh::Oracle {
namespace {

// A pair of nodes to compare, with the way to them (kept as a link to the parent pair,
// so that deep trees cost no more than their node count).
struct Pair {
    const BindingProperty* expected;
    const BindingProperty* actual;
    std::size_t parent;
    std::string_view key;  // the member key, or empty with index for an element
    std::size_t index;
    bool isMember;
};

std::string PathOf(const std::vector<Pair>& pairs, std::size_t at) {
    std::vector<std::string> steps;
    for (std::size_t i = at; i != 0; i = pairs[i].parent) {
        steps.push_back(pairs[i].isMember ? "." + std::string(pairs[i].key) : "[" + std::to_string(pairs[i].index) + "]");
    }
    std::string path = "root";
    for (auto step = steps.rbegin(); step != steps.rend(); ++step) path += *step;
    return path;
}

std::uint32_t CountOf(const BindingProperty& root, std::string_view text) {
    if (root.Context() == nullptr) return 0;
    const InternedString* entry = root.Context()->Strings().Find(text);
    return entry == nullptr ? 0 : entry->ReferenceCount();
}

std::size_t EntriesOf(const BindingProperty& root) {
    return root.Context() == nullptr ? 0 : root.Context()->Strings().Size();
}

std::string ScalarDifference(const BindingProperty& e, const BindingProperty& a) {
    switch (e.Kind()) {
        case PropertyKind::Bool:
            return e.ToBool() == a.ToBool() ? "" : "bool value";
        case PropertyKind::Signed:
            return e.GetSigned() == a.GetSigned() ? "" : "signed value";
        case PropertyKind::Unsigned:
            return e.GetUnsigned() == a.GetUnsigned() ? "" : "unsigned value";
        case PropertyKind::Float: {
            const double x = e.GetFloat();
            const double y = a.GetFloat();
            return std::memcmp(&x, &y, sizeof x) == 0 ? "" : "float value";
        }
        case PropertyKind::String:
            return e.GetStringView() == a.GetStringView() ? "" : "string value";
        case PropertyKind::Blob:
            return e.GetBlob() == a.GetBlob() ? "" : "blob bytes";
        case PropertyKind::Enum:
            return e.GetEnumNumber() == a.GetEnumNumber() && e.GetEnumType() == a.GetEnumType() ? "" : "enum value";
        default:
            return "";
    }
}

}  // namespace

std::string Difference(const ConversionResult& expected, const ConversionResult& actual) {
    if (expected.Ok() != actual.Ok()) return expected.Ok() ? "failed where it should succeed" : "succeeded where it should fail";
    if (std::string_view(expected.ErrorMessage()) != actual.ErrorMessage()) {
        return std::string("message \"") + actual.ErrorMessage() + "\", expected \"" + expected.ErrorMessage() + "\"";
    }
    const BindingProperty& expectedRoot = expected.Value();
    const BindingProperty& actualRoot = actual.Value();
    if (EntriesOf(expectedRoot) != EntriesOf(actualRoot)) {
        return "intern table holds " + std::to_string(EntriesOf(actualRoot)) + " texts, expected " +
               std::to_string(EntriesOf(expectedRoot));
    }
    std::vector<Pair> pairs{{&expectedRoot, &actualRoot, 0, {}, 0, false}};
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        const BindingProperty& e = *pairs[i].expected;
        const BindingProperty& a = *pairs[i].actual;
        auto fail = [&](const std::string& what) { return PathOf(pairs, i) + ": " + what; };
        if (e.Kind() != a.Kind()) {
            return fail(std::string("kind ") + BindingProperty::KindName(static_cast<unsigned>(a.Kind())) + ", expected " +
                        BindingProperty::KindName(static_cast<unsigned>(e.Kind())));
        }
        if (const std::string scalar = ScalarDifference(e, a); !scalar.empty()) return fail(scalar);
        if (e.Kind() == PropertyKind::String &&
            CountOf(expectedRoot, e.GetStringView()) != CountOf(actualRoot, a.GetStringView())) {
            return fail("reference count of \"" + std::string(a.GetStringView()) + "\"");
        }
        if (e.Size() != a.Size()) return fail("size " + std::to_string(a.Size()) + ", expected " + std::to_string(e.Size()));
        if (e.Kind() == PropertyKind::Collection) {
            const auto expectedElements = e.Elements();
            const auto actualElements = a.Elements();
            for (std::size_t k = 0; k < expectedElements.size(); ++k) {
                pairs.push_back(Pair{&expectedElements[k], &actualElements[k], i, {}, k, false});
            }
        } else if (e.Kind() == PropertyKind::Structure) {
            auto actualMember = a.Members().begin();
            for (const MemberNode& member : e.Members()) {
                if (member.KeyView() != actualMember->KeyView()) {
                    return fail("member \"" + std::string(actualMember->KeyView()) + "\" where \"" +
                                std::string(member.KeyView()) + "\" belongs");
                }
                if (CountOf(expectedRoot, member.KeyView()) != CountOf(actualRoot, member.KeyView())) {
                    return fail("reference count of key \"" + std::string(member.KeyView()) + "\"");
                }
                pairs.push_back(Pair{&member.Value(), &actualMember->Value(), i, member.KeyView(), 0, true});
                ++actualMember;
            }
        }
    }
    return "";
}

std::string MemberTreeProblem(const BindingProperty& value) {
    constexpr std::uintptr_t kRed = 1;
    auto parentOf = [](const MemberNode* node) {
        return reinterpret_cast<const MemberNode*>(node->parentAndColor & ~kRed);
    };
    auto isRed = [](const MemberNode* node) { return node != nullptr && (node->parentAndColor & kRed) != 0; };

    std::vector<const BindingProperty*> pending{&value};
    while (!pending.empty()) {
        const BindingProperty& current = *pending.back();
        pending.pop_back();
        for (const BindingProperty& element : current.Elements()) pending.push_back(&element);
        if (current.Kind() != PropertyKind::Structure) continue;

        const MemberNode* first = current.Members().begin().operator->();
        if (first == nullptr) {
            if (current.Size() != 0) return "a structure without nodes counts members";
            continue;
        }
        const MemberNode* root = first;
        while (parentOf(root) != nullptr) root = parentOf(root);
        if (isRed(root)) return "a red root";

        // Every node with the black nodes above it and itself.
        std::vector<std::pair<const MemberNode*, std::size_t>> nodes{{root, 1}};
        std::size_t blackHeight = 0;
        std::size_t count = 0;
        while (!nodes.empty()) {
            const auto [node, blacks] = nodes.back();
            nodes.pop_back();
            ++count;
            for (const MemberNode* child : {node->left, node->right}) {
                if (child == nullptr) {
                    if (blackHeight == 0) blackHeight = blacks;
                    if (blacks != blackHeight) return "paths with different numbers of black nodes";
                    continue;
                }
                if (parentOf(child) != node) return "a parent link that does not match";
                if (isRed(node) && isRed(child)) return "a red node with a red child";
                nodes.emplace_back(child, blacks + (isRed(child) ? 0 : 1));
            }
        }
        if (count != current.Size()) return "a member count that is not the node count";

        std::string_view previous;
        bool hasPrevious = false;
        for (const MemberNode& member : current.Members()) {
            const std::string_view key = member.KeyView();
            if (hasPrevious) {
                const std::size_t common = previous.size() < key.size() ? previous.size() : key.size();
                const int order = std::memcmp(previous.data(), key.data(), common);
                if (order > 0 || (order == 0 && previous.size() >= key.size())) {
                    return "key \"" + std::string(key) + "\" after \"" + std::string(previous) + "\"";
                }
            }
            previous = key;
            hasPrevious = true;
            pending.push_back(&member.Value());
        }
    }
    return "";
}

}  // namespace Kesh::Oracle
