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
        return collection.Append();
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

    // Containers and texts written into a new, Empty element or member (one with its
    // container's context): the cell is cut inline, with nothing to release.
    static void MakeCollection(BindingProperty& target) {
        if (target.kind_ != PropertyKind::Empty || target.context_ == nullptr) return target.MakeCollection();
        target.payload_.collection = target.context_->NewCell<CollectionCell>();
        target.kind_ = PropertyKind::Collection;
    }
    static void MakeStructure(BindingProperty& target) {
        if (target.kind_ != PropertyKind::Empty || target.context_ == nullptr) return target.MakeStructure();
        StructureCell* cell = target.context_->NewCell<StructureCell>();
        cell->context = target.context_;
        target.payload_.structure = cell;
        target.kind_ = PropertyKind::Structure;
    }
    static void SetString(BindingProperty& target, std::string_view text) {
        if (target.kind_ != PropertyKind::Empty || target.context_ == nullptr) return target.AssignString(text);
        target.payload_.string = target.context_->Strings().Intern(text);
        target.kind_ = PropertyKind::String;
    }
    // Append for a Collection whose elements are all appended by the caller: its first
    // element (room for two, as the general path gives; pairs are common) and each
    // doubling of its room are made here too, without the general path's detour.
    static BindingProperty& AppendGrowing(BindingProperty& collection) {
        CollectionCell& cell = *collection.payload_.collection;
        if (cell.end == cell.capacity) {
            const auto size = static_cast<std::size_t>(cell.end - cell.begin);
            if (cell.capacity == nullptr) {
                constexpr std::size_t kBytes = PropertyContext::ClassBytes(PropertyContext::ClassOf(2 * sizeof(BindingProperty)));
                static_assert(kBytes % sizeof(BindingProperty) == 0 && kBytes <= PropertyContext::kMaxCellSize);
                auto* elements = static_cast<BindingProperty*>(collection.context_->AllocateCell(kBytes));
                cell.begin = elements;
                cell.end = elements;
                cell.capacity = elements + kBytes / sizeof(BindingProperty);
            } else if (size < BindingProperty::kMaxElements / 2) {
                collection.Reserve(size * 2);
            } else {
                return collection.Append();  // up to the limit, then its length error
            }
        }
        // The room never exceeds the limit, so an element that fits is within it.
        BindingProperty* element = new (cell.end) BindingProperty(collection.context_);
        ++cell.end;
        return *element;
    }

private:
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
