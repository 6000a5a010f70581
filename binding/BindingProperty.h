#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <span>
#include <string_view>
#include <vector>

#include "binding/InternedString.h"
#include "binding/PropertyKind.h"

namespace Kesh {

struct StaticType;
class PropertyContext;
class MemberTree;
struct CollectionCell;
struct StructureCell;
struct MemberNode;

// The payload of an Enum value.
struct EnumCell {
    std::int32_t number;
    const StaticType* type;
};

// The dynamic value of the binding layer: a small tagged record that holds every scalar
// inline. Strings, byte arrays, enums, elements and members of a whole tree live in one
// PropertyContext, created by the tree's root when it first needs heap storage and
// destroyed with the root. Members and elements share their container's context.
//
// Reading never fails: lookups that find nothing give the shared Empty value and typed
// readers give their defaults. Writing accessors convert the value to the container kind
// they need. Nothing here is locked: a tree belongs to one thread at a time.
class BindingProperty {
public:
    // Beyond this many elements a Collection is a length error.
    static constexpr std::size_t kMaxElements = 268435455;

    constexpr BindingProperty() noexcept : payload_{0}, context_(nullptr), kind_(PropertyKind::Empty), ownsContext_(1) {}
    BindingProperty(bool value) noexcept : BindingProperty() { *this = value; }
    template <std::integral T>
        requires(!std::same_as<T, bool>)
    BindingProperty(T value) noexcept : BindingProperty() {
        *this = value;
    }
    BindingProperty(double value) noexcept : BindingProperty() { *this = value; }
    BindingProperty(const char* text) : BindingProperty() { AssignString(text); }
    BindingProperty(std::string_view text) : BindingProperty() { AssignString(text); }
    BindingProperty(const std::vector<std::uint8_t>& bytes) : BindingProperty() { AssignBlob(bytes); }
    BindingProperty(std::vector<std::uint8_t>&& bytes) : BindingProperty() { AssignBlob(std::move(bytes)); }

    // Copies are deep, into the new value's own context.
    BindingProperty(const BindingProperty& other);
    // Takes the whole record of a root; a member or element is copied and then cleared.
    BindingProperty(BindingProperty&& other);
    ~BindingProperty();

    static BindingProperty FromEnum(std::int32_t number, const StaticType* type);

    BindingProperty& operator=(const BindingProperty& other);
    // Swaps the records when both values own their contexts; otherwise copies into this
    // value's context. The source always ends Empty.
    BindingProperty& operator=(BindingProperty&& other);

    BindingProperty& operator=(bool value) noexcept;
    template <std::integral T>
        requires(!std::same_as<T, bool>)
    BindingProperty& operator=(T value) noexcept {
        if constexpr (std::is_signed_v<T>) {
            AssignSigned(static_cast<std::int64_t>(value));
        } else {
            AssignUnsigned(static_cast<std::uint64_t>(value));
        }
        return *this;
    }
    BindingProperty& operator=(double value) noexcept;
    BindingProperty& operator=(const char* text) {
        AssignString(text);
        return *this;
    }
    BindingProperty& operator=(std::string_view text) {
        AssignString(text);
        return *this;
    }
    BindingProperty& operator=(const std::vector<std::uint8_t>& bytes) {
        AssignBlob(bytes);
        return *this;
    }
    BindingProperty& operator=(std::vector<std::uint8_t>&& bytes) {
        AssignBlob(std::move(bytes));
        return *this;
    }

    void AssignSigned(std::int64_t value) noexcept;
    void AssignUnsigned(std::uint64_t value) noexcept;
    // A null text is the empty text; a text ends at its first NUL.
    void AssignString(const char* text);
    void AssignString(std::string_view text);
    void AssignBlob(const std::uint8_t* bytes, std::size_t size);
    void AssignBlob(const std::vector<std::uint8_t>& bytes) { AssignBlob(bytes.data(), bytes.size()); }
    void AssignBlob(std::vector<std::uint8_t>&& bytes);
    void AssignEnum(std::int32_t number, const StaticType* type);

    // Become an empty container unless already one of that kind.
    void MakeCollection();
    void MakeStructure();
    // Only for a Collection; more than kMaxElements is a std::length_error.
    void Reserve(std::size_t capacity);
    // Releases the payload; the value becomes Empty and keeps its context.
    void Clear() noexcept;

    PropertyKind Kind() const noexcept { return kind_; }
    bool IsEmpty() const noexcept { return kind_ == PropertyKind::Empty; }
    // Empty 0; String bytes; Blob bytes; Collection elements; Structure members; else 1.
    std::size_t Size() const noexcept;

    // Typed readers: the payload when the value is of exactly that kind, else the fallback.
    std::int64_t GetSigned(std::int64_t fallback = 0) const noexcept {
        return kind_ == PropertyKind::Signed ? payload_.signedValue : fallback;
    }
    std::uint64_t GetUnsigned(std::uint64_t fallback = 0) const noexcept {
        return kind_ == PropertyKind::Unsigned ? payload_.unsignedValue : fallback;
    }
    double GetFloat(double fallback = 0.0) const noexcept {
        return kind_ == PropertyKind::Float ? payload_.floatValue : fallback;
    }
    const char* GetString(const char* fallback = "") const noexcept {
        return kind_ == PropertyKind::String ? payload_.string->Text() : fallback;
    }
    std::string_view GetStringView(std::string_view fallback = {}) const noexcept {
        return kind_ == PropertyKind::String ? payload_.string->View() : fallback;
    }
    // The shared zero cell (number 0, no type) unless the value is an Enum.
    const EnumCell& GetEnum() const noexcept;
    std::int32_t GetEnumNumber() const noexcept { return GetEnum().number; }
    const StaticType* GetEnumType() const noexcept { return GetEnum().type; }
    // The shared empty byte array unless the value is a Blob.
    const std::vector<std::uint8_t>& GetBlob() const noexcept;

    // Empty false; Bool itself; numbers non-zero (a NaN is true); String exactly "true"
    // or "1"; Blob, Collection and Structure non-empty; Enum a non-zero number.
    bool ToBool() const noexcept;
    // Bool 0 or 1; numbers and Enum numbers converted; String parsed from its start with
    // trailing text ignored (0.0 when nothing parses); every other kind the fallback.
    double ToDouble(double fallback = 0.0) const noexcept;

    static const char* KindName(unsigned kind) noexcept { return PropertyKindName(kind); }

    // Members for writing: a non-Structure becomes an empty Structure, a missing key is
    // added as an Empty member.
    BindingProperty& Member(std::string_view key);
    BindingProperty& operator[](std::string_view key) { return Member(key); }
    // Members for reading: the shared Empty value when there is no such member.
    const BindingProperty& GetMember(std::string_view key) const noexcept;
    bool HasMember(std::string_view key) const noexcept;

    // Elements for writing: a non-Collection becomes an empty Collection, and Empty
    // elements are appended up to and including the index.
    BindingProperty& Element(std::size_t index);
    BindingProperty& operator[](std::size_t index) { return Element(index); }
    // Appends an Empty element and returns it.
    BindingProperty& Append();
    // Elements for reading: the shared Empty value when the index is past the end.
    const BindingProperty& GetElement(std::size_t index) const noexcept;

    // The elements of a Collection in order; empty for other kinds.
    std::span<BindingProperty> Elements() noexcept;
    std::span<const BindingProperty> Elements() const noexcept;

    template <bool IsConst>
    class MemberIterator;
    template <bool IsConst>
    class MemberRange;
    // The members of a Structure in key order; empty for other kinds.
    MemberRange<false> Members() noexcept;
    MemberRange<true> Members() const noexcept;

    // The context the value's heap parts live in (null until one is needed) and whether
    // this value is the root that destroys it.
    PropertyContext* Context() const noexcept { return context_; }
    bool OwnsContext() const noexcept { return ownsContext_ != 0; }

    // The value that failed lookups return.
    static const BindingProperty& SharedEmpty() noexcept;

private:
    friend class ConversionResult;
    friend struct BindingPropertyAccess;
    friend class MemberTree;
    friend struct TreeBuilding;

    union Payload {
        std::uint64_t bits;
        bool boolValue;
        std::int64_t signedValue;
        std::uint64_t unsignedValue;
        double floatValue;
        const InternedString* string;
        std::vector<std::uint8_t>* blob;
        EnumCell* enumCell;
        CollectionCell* collection;
        StructureCell* structure;
    };

    // A member or element: shares its container's context and never destroys it.
    explicit BindingProperty(PropertyContext* context) noexcept
        : payload_{0}, context_(context), kind_(PropertyKind::Empty), ownsContext_(0) {}

    PropertyContext& EnsureContext();
    // Installs a new payload and releases the one it replaces, in that order, so that a
    // new payload built from the old one (or from inside it) is never read after free.
    void Replace(PropertyKind kind, Payload payload) noexcept;
    void AssignInterned(const InternedString* text) noexcept;
    void CopyFrom(const BindingProperty& source);

    Payload payload_;
    PropertyContext* context_;
    PropertyKind kind_;
    std::uint8_t ownsContext_;
};

// A member of a Structure: a node of the ordered member tree.
struct MemberNode {
    MemberNode* left;
    MemberNode* right;
    std::uintptr_t parentAndColor;  // the parent's address; the lowest bit set when red
    const InternedString* key;
    BindingProperty value;

    const char* Key() const noexcept { return key->Text(); }
    std::string_view KeyView() const noexcept { return key->View(); }
    BindingProperty& Value() noexcept { return value; }
    const BindingProperty& Value() const noexcept { return value; }
};

// The member after node in key order, or null.
const MemberNode* NextMember(const MemberNode* node) noexcept;

template <bool IsConst>
class BindingProperty::MemberIterator {
public:
    using Node = std::conditional_t<IsConst, const MemberNode, MemberNode>;
    using iterator_category = std::forward_iterator_tag;
    using value_type = MemberNode;
    using difference_type = std::ptrdiff_t;
    using pointer = Node*;
    using reference = Node&;

    MemberIterator() noexcept = default;
    explicit MemberIterator(Node* node) noexcept : node_(node) {}

    reference operator*() const noexcept { return *node_; }
    pointer operator->() const noexcept { return node_; }
    MemberIterator& operator++() noexcept {
        node_ = const_cast<Node*>(NextMember(node_));
        return *this;
    }
    MemberIterator operator++(int) noexcept {
        MemberIterator before = *this;
        ++*this;
        return before;
    }
    bool operator==(const MemberIterator& other) const noexcept = default;

private:
    Node* node_ = nullptr;
};

template <bool IsConst>
class BindingProperty::MemberRange {
public:
    using Node = std::conditional_t<IsConst, const MemberNode, MemberNode>;
    explicit MemberRange(Node* first) noexcept : first_(first) {}
    MemberIterator<IsConst> begin() const noexcept { return MemberIterator<IsConst>(first_); }
    MemberIterator<IsConst> end() const noexcept { return MemberIterator<IsConst>(); }

private:
    Node* first_;
};

}  // namespace Kesh
