#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <string_view>

#include "binding/BindingProperty.h"
#include "binding/PropertyCells.h"
#include "binding/PropertyContext.h"

namespace Kesh {

// The steps a reader repeats for every value, inline: a reader writes most values into
// new, Empty elements and members, where releasing an old payload and the checks of the
// general accessors are wasted. Each falls back to the general accessor otherwise.
struct TreeBuilding {
    // A new Empty element at the end of collection, which must be a Collection.
    static BindingProperty& Append(BindingProperty& collection) {
        CollectionCell& cell = *collection.payload_.collection;
        if (cell.end != cell.capacity &&
            static_cast<std::size_t>(cell.end - cell.begin) < BindingProperty::kMaxElements) {
            BindingProperty* element = new (cell.end) BindingProperty(collection.context_);
            ++cell.end;
            return *element;
        }
        if (cell.begin == nullptr) return First(collection, cell);
        return collection.Append();
    }

    // Makes target a Collection, keeping one it already is: a new Empty element or
    // member inside a tree takes a header straight from its context.
    static void MakeCollection(BindingProperty& target) {
        if (target.kind_ != PropertyKind::Empty || target.context_ == nullptr) {
            target.MakeCollection();
            return;
        }
        target.payload_.collection = target.context_->NewCell<CollectionCell>();
        target.kind_ = PropertyKind::Collection;
    }

    // Element index of collection, which must be a Collection; past the end, Empty
    // elements are added up to it, as Element does.
    static BindingProperty& Element(BindingProperty& collection, std::size_t index) {
        const CollectionCell& cell = *collection.payload_.collection;
        if (index == static_cast<std::size_t>(cell.end - cell.begin)) return Append(collection);
        return collection.Element(index);
    }

    static void SetBool(BindingProperty& target, bool value) noexcept {
        BindingProperty::Payload payload{0};
        payload.boolValue = value;
        Set(target, PropertyKind::Bool, payload);
    }
    static void SetSigned(BindingProperty& target, std::int64_t value) noexcept {
        BindingProperty::Payload payload{0};
        payload.signedValue = value;
        Set(target, PropertyKind::Signed, payload);
    }
    static void SetUnsigned(BindingProperty& target, std::uint64_t value) noexcept {
        BindingProperty::Payload payload{0};
        payload.unsignedValue = value;
        Set(target, PropertyKind::Unsigned, payload);
    }
    static void SetFloat(BindingProperty& target, double value) noexcept {
        BindingProperty::Payload payload{0};
        payload.floatValue = value;
        Set(target, PropertyKind::Float, payload);
    }

    // A text, interned into target's context; a root without one takes the general way.
    static void SetString(BindingProperty& target, std::string_view text) {
        if (target.context_ == nullptr) {
            target.AssignString(text);
            return;
        }
        BindingProperty::Payload payload{0};
        payload.string = target.context_->Strings().Intern(text);
        Set(target, PropertyKind::String, payload);
    }

    // A new, Empty element or member made a Structure: the cell is cut inline.
    static void MakeStructure(BindingProperty& target) {
        if (target.kind_ != PropertyKind::Empty || target.context_ == nullptr) return target.MakeStructure();
        StructureCell* cell = target.context_->NewCell<StructureCell>();
        cell->context = target.context_;
        target.payload_.structure = cell;
        target.kind_ = PropertyKind::Structure;
    }
    // Append for a Collection whose elements are all appended by the caller: its first
    // element (room for two, as the general path gives; pairs are common) and each
    // doubling of its room are made here too, without the general path's detour.
    static BindingProperty& AppendGrowing(BindingProperty& collection) {
        CollectionCell& cell = *collection.payload_.collection;
        if (cell.end == cell.capacity) {
            if (cell.capacity == nullptr) return First(collection, cell);
            const auto size = static_cast<std::size_t>(cell.end - cell.begin);
            if (size >= BindingProperty::kMaxElements / 2) return collection.Append();  // up to the limit, then its length error
            collection.Reserve(size * 2);
        }
        // The room never exceeds the limit, so an element that fits is within it.
        BindingProperty* element = new (cell.end) BindingProperty(collection.context_);
        ++cell.end;
        return *element;
    }

    // For a reader that compares what it reads with an earlier value: the entry of a
    // String, the first member (in key order) of a Structure and the first element of a
    // Collection, each null for a value of another kind or without any; the last element
    // of a Collection, null when it has none.
    static const InternedString* StringEntry(const BindingProperty& value) noexcept {
        return value.kind_ == PropertyKind::String ? value.payload_.string : nullptr;
    }
    static const MemberNode* FirstMember(const BindingProperty& value) noexcept {
        if (value.kind_ != PropertyKind::Structure) return nullptr;
        const MemberNode* node = value.payload_.structure->root;
        if (node != nullptr) {
            while (node->left != nullptr) node = node->left;
        }
        return node;
    }
    static const BindingProperty* FirstElement(const BindingProperty& value) noexcept {
        if (value.kind_ != PropertyKind::Collection) return nullptr;
        const CollectionCell& cell = *value.payload_.collection;
        return cell.begin != cell.end ? cell.begin : nullptr;
    }
    static const BindingProperty* LastElement(const BindingProperty& collection) noexcept {
        const CollectionCell& cell = *collection.payload_.collection;
        return cell.begin != cell.end ? cell.end - 1 : nullptr;
    }
    // A new, Empty element or member made a String holding entry, a counted entry of its
    // context (not the empty text's), with one more reference: a text found without
    // interning it again.
    static void SetInterned(BindingProperty& target, const InternedString* entry) noexcept {
        ++const_cast<InternedString*>(entry)->references;
        BindingProperty::Payload payload{0};
        payload.string = entry;
        Set(target, PropertyKind::String, payload);
    }

private:
    // The first element of a collection without storage, with room for a second, as
    // the general path gives it (pairs are common). Most arrays of a body are small, so
    // this is a large share of all appends.
    static BindingProperty& First(BindingProperty& collection, CollectionCell& cell) {
        const std::size_t bytes = PropertyContext::StorageCapacity(2 * sizeof(BindingProperty));
        auto* storage = static_cast<BindingProperty*>(collection.context_->AllocateStorage(bytes));
        cell.begin = storage;
        cell.end = storage + 1;
        cell.capacity = storage + bytes / sizeof(BindingProperty);
        return *new (storage) BindingProperty(collection.context_);
    }

    static void Set(BindingProperty& target, PropertyKind kind, BindingProperty::Payload payload) noexcept {
        if (target.kind_ == PropertyKind::Empty) {
            target.payload_ = payload;
            target.kind_ = kind;
        } else {
            target.Replace(kind, payload);
        }
    }
};

}  // namespace Kesh
