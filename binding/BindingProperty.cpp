#include "binding/BindingProperty.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <type_traits>

#include "binding/MemberTree.h"
#include "binding/NumberText.h"
#include "binding/PropertyCells.h"
#include "binding/PropertyContext.h"
#include "platform/Allocator.h"

namespace Kesh {

static_assert(sizeof(void*) != 4 || sizeof(BindingProperty) == 16, "payload, context, kind, owns-context flag");
static_assert(sizeof(MemberNode) <= PropertyContext::kMaxCellSize);
static_assert(sizeof(CollectionCell) <= PropertyContext::kMaxCellSize);
static_assert(sizeof(StructureCell) <= PropertyContext::kMaxCellSize);
static_assert(sizeof(EnumCell) <= PropertyContext::kMaxCellSize);
static_assert(sizeof(std::vector<std::uint8_t>) <= PropertyContext::kMaxCellSize);
// Elements are moved by copying their bytes when a collection grows.
static_assert(BindingProperty::kMaxElements <= SIZE_MAX / sizeof(BindingProperty));

namespace {

using ByteArray = std::vector<std::uint8_t>;

constinit const BindingProperty sharedEmpty;
constinit const EnumCell zeroEnum{0, nullptr};
const ByteArray emptyBytes;

bool IsHeapKind(PropertyKind kind) noexcept { return kind >= PropertyKind::String; }

// A stack for the deep operations, which walk trees of any depth without recursion. The
// first entries live inside the stack itself, so shallow trees need no heap.
template <typename T, std::size_t InlineCount>
class WorkStack {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    // User-provided, so that a value-initialized stack does not zero its inline entries.
    WorkStack() noexcept {}
    ~WorkStack() {
        if (items_ != inline_) Memory::Free(items_);
    }
    WorkStack(const WorkStack&) = delete;
    WorkStack& operator=(const WorkStack&) = delete;

    void Push(const T& item) {
        if (size_ == capacity_) Grow();
        items_[size_++] = item;
    }
    bool Pop(T& item) noexcept {
        if (size_ == 0) return false;
        item = items_[--size_];
        return true;
    }
    void Pop() noexcept { --size_; }
    T& Top() noexcept { return items_[size_ - 1]; }
    std::size_t Size() const noexcept { return size_; }

private:
    void Grow() {
        const std::size_t capacity = capacity_ * 2;
        auto* grown = static_cast<T*>(Memory::Allocate(capacity * sizeof(T)));
        if (grown == nullptr) throw std::bad_alloc();
        std::memcpy(static_cast<void*>(grown), items_, size_ * sizeof(T));
        if (items_ != inline_) Memory::Free(items_);
        items_ = grown;
        capacity_ = capacity;
    }

    T inline_[InlineCount];
    T* items_ = inline_;
    std::size_t size_ = 0;
    std::size_t capacity_ = InlineCount;
};

inline void Prefetch([[maybe_unused]] const void* address) noexcept {
#if defined(__GNUC__)
    if (address != nullptr) __builtin_prefetch(address);
#endif
}

[[noreturn]] void ThrowTooLong() { throw std::length_error("BindingProperty: collection longer than 268435455 elements"); }

}  // namespace

// The tree walks, with access to the records' private fields.
struct BindingPropertyAccess {
    using Payload = BindingProperty::Payload;

    // Releases a detached payload and everything below it. Containers still to be
    // emptied are chained through their own headers, so this neither recurses nor
    // allocates, whatever the depth.
    static void Release(PropertyContext* context, PropertyKind kind, Payload payload) noexcept {
        CollectionCell* collections = nullptr;
        StructureCell* structures = nullptr;
        auto releaseOne = [&](PropertyKind oneKind, Payload one) noexcept {
            switch (oneKind) {
                case PropertyKind::String:
                    context->Strings().Release(one.string);
                    break;
                case PropertyKind::Blob:
                    context->RemoveBlob();
                    context->DeleteCell(one.blob);
                    break;
                case PropertyKind::Enum:
                    context->DeleteCell(one.enumCell);
                    break;
                case PropertyKind::Collection:
                    one.collection->nextPending = collections;
                    collections = one.collection;
                    break;
                case PropertyKind::Structure:
                    one.structure->nextPending = structures;
                    structures = one.structure;
                    break;
                default:
                    break;
            }
        };
        releaseOne(kind, payload);
        while (collections != nullptr || structures != nullptr) {
            if (CollectionCell* cell = collections; cell != nullptr) {
                collections = cell->nextPending;
                for (BindingProperty* element = cell->begin; element != cell->end; ++element) {
                    releaseOne(element->kind_, element->payload_);
                }
                context->FreeStorage(cell->begin, ArrayBytes(*cell));
                context->FreeCell(cell, sizeof(CollectionCell));
            }
            if (StructureCell* cell = structures; cell != nullptr) {
                structures = cell->nextPending;
                MemberTree::TakeApart(*cell, [&](MemberNode* node) noexcept {
                    context->Strings().Release(node->key);
                    releaseOne(node->value.kind_, node->value.payload_);
                    context->FreeCell(node, sizeof(MemberNode));
                });
                context->FreeCell(cell, sizeof(StructureCell));
            }
        }
    }

    static std::size_t ArrayBytes(const CollectionCell& cell) noexcept {
        return static_cast<std::size_t>(cell.capacity - cell.begin) * sizeof(BindingProperty);
    }

    // Makes room for at least capacity elements (as many more as the storage granted
    // holds); elements move by their bytes.
    static void Grow(CollectionCell& cell, PropertyContext& context, std::size_t capacity) {
        if (capacity > BindingProperty::kMaxElements) ThrowTooLong();
        const auto size = static_cast<std::size_t>(cell.end - cell.begin);
        const std::size_t bytes = PropertyContext::StorageCapacity(capacity * sizeof(BindingProperty));
        void* grown = context.GrowStorage(cell.begin, ArrayBytes(cell), bytes, size * sizeof(BindingProperty));
        cell.begin = static_cast<BindingProperty*>(grown);
        cell.end = cell.begin + size;
        cell.capacity = cell.begin + bytes / sizeof(BindingProperty);
    }

    // Appends Empty elements until there are count.
    static void Extend(CollectionCell& cell, PropertyContext* context, std::size_t count) {
        if (count > BindingProperty::kMaxElements) ThrowTooLong();
        const auto capacity = static_cast<std::size_t>(cell.capacity - cell.begin);
        if (count > capacity) {
            // Pairs are common (coordinates, ranges): the first array holds two.
            std::size_t wanted = capacity < 2 ? 2 : capacity * 2;
            if (wanted > BindingProperty::kMaxElements) wanted = BindingProperty::kMaxElements;
            if (wanted < count) wanted = count;
            Grow(cell, *context, wanted);
        }
        while (static_cast<std::size_t>(cell.end - cell.begin) < count) {
            new (cell.end) BindingProperty(context);
            ++cell.end;
        }
    }

    // A container whose copy is installed (empty) but not yet filled: one nested deeper
    // than the copy recurses waits here.
    struct CopyStep {
        const BindingProperty* source;
        BindingProperty* target;
    };

    // The destination entry of each source entry, found once per copy: a text that
    // recurs (keys repeat across the elements of a collection) then costs a probe by
    // the source entry's address and a count. Open addressing by the entry's stored
    // hash. A text held once in the source (most values) cannot recur in the copy: it is
    // interned without being remembered, so the map holds only texts that repeat.
    class EntryMap {
    public:
        EntryMap(PropertyContext& target, const PropertyContext* source) noexcept
            : strings_(target.Strings()), same_(source == &target),
              // Each distinct text of the source reaches the destination once (a text is
              // remembered when it recurs), and a table holds each text once: into a
              // table empty at the start, every text that arrives is new to it.
              fresh_(!same_ && source != nullptr && target.Strings().Size() == 0) {
            std::memset(static_cast<void*>(inline_), 0, sizeof inline_);
            // The source's entries are read by their hashes (a tree still being read may
            // have some not yet computed).
            if (!same_ && source != nullptr) const_cast<PropertyContext*>(source)->Strings().HashPending();
        }
        ~EntryMap() {
            if (slots_ != inline_) Memory::Free(slots_);
        }
        EntryMap(const EntryMap&) = delete;
        EntryMap& operator=(const EntryMap&) = delete;

        // The destination's entry for text, with one more reference.
        const InternedString* Map(const InternedString* text) {
            // The common case first: a text held once, new to a fresh destination (the
            // shared empty entry is never counted, so it is not among them).
            if (fresh_ && text->references == 1) return strings_.AddCopy(*text);
            if (same_ || text->references == 1 || text->length == 0) return MapUnremembered(text);
            for (std::size_t i = text->hash & mask_;; i = (i + 1) & mask_) {
                const Slot& slot = slots_[i];
                if (slot.from == text) {
                    ++const_cast<InternedString*>(slot.to)->references;
                    return slot.to;
                }
                if (slot.from == nullptr) return Add(text);
            }
        }

    private:
        struct Slot {
            const InternedString* from;
            const InternedString* to;
        };
        // Few texts repeat in a small tree; the map grows fourfold when half full.
        static constexpr std::size_t kInlineSlots = 32;

        // Within one context a text is its own entry; a text held once in the source
        // occurs once in the copy; the empty text is the shared entry.
        [[gnu::noinline]] const InternedString* MapUnremembered(const InternedString* text) {
            if (same_ || text->length == 0) {
                strings_.AddReference(text);  // the shared empty entry is never counted
                return text;
            }
            return Intern(text);
        }

        const InternedString* Intern(const InternedString* text) {
            return fresh_ ? strings_.AddCopy(*text) : strings_.Intern(HashedText{text->View(), text->hash});
        }

        // The first occurrence of a text: through the destination's table, then remembered.
        [[gnu::noinline]] const InternedString* Add(const InternedString* text) {
            const InternedString* entry = Intern(text);
            if ((used_ + 1) * 2 > mask_ + 1) {
                try {
                    Grow();
                } catch (...) {
                    strings_.Release(entry);
                    throw;
                }
            }
            Insert(text, entry);
            return entry;
        }

        void Insert(const InternedString* from, const InternedString* to) noexcept {
            std::size_t i = from->hash & mask_;
            while (slots_[i].from != nullptr) i = (i + 1) & mask_;
            slots_[i] = Slot{from, to};
            ++used_;
        }

        void Grow() {
            const std::size_t count = (mask_ + 1) * 4;
            auto* grown = static_cast<Slot*>(Memory::Allocate(count * sizeof(Slot)));
            if (grown == nullptr) throw std::bad_alloc();
            for (std::size_t i = 0; i < count; ++i) grown[i] = Slot{nullptr, nullptr};
            Slot* old = slots_;
            const std::size_t oldCount = mask_ + 1;
            slots_ = grown;
            mask_ = count - 1;
            used_ = 0;
            for (std::size_t i = 0; i < oldCount; ++i) {
                if (old[i].from != nullptr) Insert(old[i].from, old[i].to);
            }
            if (old != inline_) Memory::Free(old);
        }

        InternTable& strings_;
        bool same_;
        bool fresh_;
        Slot inline_[kInlineSlots];
        Slot* slots_ = inline_;
        std::size_t mask_ = kInlineSlots - 1;
        std::size_t used_ = 0;
    };

    // Containers are copied depth first in the source's order (elements in turn, members
    // in key order), which is the order a reader lays a tree out in: the source is read
    // front to back, and the copy is laid out the same way. The copy recurses up to
    // kCopyDepth containers deep (a small, fixed amount of stack); a container deeper than
    // that is installed empty and waits on a stack of its own, so input of any depth is
    // copied without deep recursion.
    static constexpr unsigned kCopyDepth = 24;

    // A member of the source on the way down to the member being copied; copy is its
    // copy once the members to its left are copied.
    struct PathStep {
        const MemberNode* source;
        MemberNode* copy;
    };

    // The lowest bit of a member's parent word: set when the member is red.
    static constexpr std::uintptr_t kRedBit = 1;

    struct CopyState {
        PropertyContext& context;
        EntryMap& texts;
        WorkStack<CopyStep, 16> deferred;
        // The way down to the next member to copy, in the structures being filled.
        WorkStack<PathStep, 64> path;
    };

    // Copies from into to, an Empty value of context that the tree being built already
    // holds. A container is installed before it is filled, so that whatever has been
    // copied is always a tree that can be released.
    static void CopyValue(const BindingProperty& from, BindingProperty& to, CopyState& state, unsigned depth) {
        PropertyContext& context = state.context;
        switch (from.kind_) {
            case PropertyKind::String:
                to.payload_.string = state.texts.Map(from.payload_.string);
                to.kind_ = PropertyKind::String;
                return;
            case PropertyKind::Blob:
                to.payload_.blob = context.NewCell<ByteArray>(*from.payload_.blob);
                context.AddBlob();
                to.kind_ = PropertyKind::Blob;
                return;
            case PropertyKind::Enum:
                to.payload_.enumCell = context.NewCell<EnumCell>(*from.payload_.enumCell);
                to.kind_ = PropertyKind::Enum;
                return;
            case PropertyKind::Collection: {
                CollectionCell* cell = context.NewCell<CollectionCell>();
                to.payload_.collection = cell;
                to.kind_ = PropertyKind::Collection;
                if (depth >= kCopyDepth) {
                    state.deferred.Push(CopyStep{&from, &to});
                } else {
                    FillCollection(*from.payload_.collection, *cell, state, depth + 1);
                }
                return;
            }
            case PropertyKind::Structure: {
                StructureCell* cell = context.NewCell<StructureCell>();
                cell->context = &context;
                to.payload_.structure = cell;
                to.kind_ = PropertyKind::Structure;
                if (depth >= kCopyDepth) {
                    state.deferred.Push(CopyStep{&from, &to});
                } else {
                    FillStructure(*from.payload_.structure, *cell, state, depth + 1);
                }
                return;
            }
            default:
                to.payload_ = from.payload_;
                to.kind_ = from.kind_;
                return;
        }
    }

    static void FillCollection(const CollectionCell& from, CollectionCell& to, CopyState& state, unsigned depth) {
        const auto count = static_cast<std::size_t>(from.end - from.begin);
        if (count == 0) return;
        PropertyContext& context = state.context;
        // The whole array at once: the copied elements never move.
        const std::size_t bytes = PropertyContext::StorageCapacity(count * sizeof(BindingProperty));
        to.begin = static_cast<BindingProperty*>(context.AllocateStorage(bytes));
        to.end = to.begin;
        to.capacity = to.begin + bytes / sizeof(BindingProperty);
        for (const BindingProperty* element = from.begin; element != from.end; ++element) {
            BindingProperty* copy = to.end;
            new (copy) BindingProperty(&context);
            to.end = copy + 1;
            if (!IsHeapKind(element->kind_)) {
                copy->payload_ = element->payload_;
                copy->kind_ = element->kind_;
            } else if (element->kind_ == PropertyKind::String) {
                copy->payload_.string = state.texts.Map(element->payload_.string);
                copy->kind_ = PropertyKind::String;
            } else {
                CopyValue(*element, *copy, state, depth);
            }
        }
    }

    // A member's node, with its source's colour and the destination's entry of its key,
    // not yet linked.
    static MemberNode* CopyNode(const MemberNode& source, CopyState& state) {
        PropertyContext& context = state.context;
        void* cell = context.AllocateCell(sizeof(MemberNode));
        const InternedString* key = nullptr;
        try {
            key = state.texts.Map(source.key);
        } catch (...) {
            context.FreeCell(cell, sizeof(MemberNode));
            throw;
        }
        return new (cell)
            MemberNode{nullptr, nullptr, source.parentAndColor & kRedBit, key, BindingProperty(&context)};
    }

    static void LinkUnder(MemberNode* child, MemberNode* parent) noexcept {
        child->parentAndColor = (child->parentAndColor & kRedBit) | reinterpret_cast<std::uintptr_t>(parent);
    }

    // Members are copied in key order, which is the order a reader lays them out in, and
    // each copy takes its source's place and colour in the tree, so nothing is compared or
    // rebalanced: a node is linked to its left subtree when it is made and to its right
    // one when that is complete.
    static void FillStructure(const StructureCell& from, StructureCell& to, CopyState& state, unsigned depth) {
        if (from.root == nullptr) return;
        WorkStack<PathStep, 64>& path = state.path;
        const std::size_t base = path.Size();
        auto descend = [&path](const MemberNode* node) {
            for (; node != nullptr; node = node->left) path.Push(PathStep{node, nullptr});
        };
        MemberNode* done = nullptr;  // the copy of the subtree completed last, not yet linked
        std::uint32_t count = 0;
        try {
            descend(from.root);
            while (path.Size() != base) {
                PathStep& step = path.Top();
                if (step.copy != nullptr) {
                    // Its right subtree is complete.
                    step.copy->right = done;
                    if (done != nullptr) LinkUnder(done, step.copy);
                    done = step.copy;
                    path.Pop();
                    continue;
                }
                // Its left subtree is complete (or it has none).
                const MemberNode& source = *step.source;
                // The right subtree comes next: its first node is on its way while this
                // member's value is copied.
                Prefetch(source.right);
                MemberNode* node = CopyNode(source, state);
                ++count;
                step.copy = node;
                node->left = done;
                if (done != nullptr) LinkUnder(done, node);
                done = nullptr;
                const BindingProperty& value = source.value;
                if (!IsHeapKind(value.kind_)) {
                    node->value.payload_ = value.payload_;
                    node->value.kind_ = value.kind_;
                } else if (value.kind_ == PropertyKind::String) {
                    node->value.payload_.string = state.texts.Map(value.payload_.string);
                    node->value.kind_ = PropertyKind::String;
                } else {
                    CopyValue(value, node->value, state, depth);  // may move the path's storage
                }
                if (source.right != nullptr) {
                    descend(source.right);
                } else {
                    done = node;
                    path.Pop();
                }
            }
        } catch (...) {
            // Cut short: the pieces made so far are joined into one tree, in key order,
            // so that the structure can be released (its balance no longer matters). Each
            // member on the way down that has its copy gets what lies to its right.
            while (path.Size() != base) {
                if (MemberNode* copy = path.Top().copy; copy != nullptr) {
                    copy->right = done;
                    if (done != nullptr) LinkUnder(done, copy);
                    done = copy;
                }
                path.Pop();
            }
            if (done != nullptr) LinkUnder(done, nullptr);
            to.root = done;
            to.count = count;
            throw;
        }
        if (done != nullptr) LinkUnder(done, nullptr);
        to.root = done;
        to.count = count;
    }

    // Copies source into target, an Empty value of context that nothing else can reach.
    static void CopyTree(const BindingProperty& source, BindingProperty& target, PropertyContext& context) {
        EntryMap texts(context, source.context_);
        // A root's table holds exactly the texts of its tree: the destination grows once.
        if (source.ownsContext_ != 0 && source.context_ != nullptr && source.context_ != &context) {
            context.Strings().Reserve(context.Strings().Size() + source.context_->Strings().Size());
        }
        CopyState state{context, texts, {}, {}};
        CopyValue(source, target, state, 0);
        CopyStep step;
        while (state.deferred.Pop(step)) {
            if (step.source->kind_ == PropertyKind::Collection) {
                FillCollection(*step.source->payload_.collection, *step.target->payload_.collection, state, 1);
            } else {
                FillStructure(*step.source->payload_.structure, *step.target->payload_.structure, state, 1);
            }
        }
    }

    // A copy of source as a detached payload of context.
    static void CopyDetached(const BindingProperty& source, PropertyContext& context, PropertyKind& kind,
                             Payload& payload) {
        BindingProperty copy(&context);
        try {
            CopyTree(source, copy, context);
        } catch (...) {
            copy.Clear();
            throw;
        }
        kind = copy.kind_;
        payload = copy.payload_;
    }
};

// --- construction, assignment, destruction ---

BindingProperty::BindingProperty(const BindingProperty& other) : BindingProperty() { CopyFrom(other); }

BindingProperty::BindingProperty(BindingProperty&& other) : BindingProperty() { *this = std::move(other); }

BindingProperty::~BindingProperty() {
    if (ownsContext_ == 0 || context_ == nullptr) return;
    // Every part of a tree without byte arrays lives in the context's storage, which goes
    // as a whole: the nodes need not be visited.
    if (!context_->HoldsOnlyOwnStorage()) Clear();
    PropertyContext::Destroy(context_);
}

BindingProperty BindingProperty::FromEnum(std::int32_t number, const StaticType* type) {
    BindingProperty value;
    value.AssignEnum(number, type);
    return value;
}

PropertyContext& BindingProperty::EnsureContext() {
    if (context_ == nullptr) {
        // Only a root can be without one: members and elements get their container's.
        context_ = PropertyContext::Create();
        ownsContext_ = 1;
    }
    return *context_;
}

void BindingProperty::Replace(PropertyKind kind, Payload payload) noexcept {
    const PropertyKind oldKind = kind_;
    const Payload oldPayload = payload_;
    kind_ = kind;
    payload_ = payload;
    if (IsHeapKind(oldKind)) BindingPropertyAccess::Release(context_, oldKind, oldPayload);
}

void BindingProperty::Clear() noexcept { Replace(PropertyKind::Empty, Payload{0}); }

BindingProperty& BindingProperty::operator=(bool value) noexcept {
    Payload payload{0};
    payload.boolValue = value;
    Replace(PropertyKind::Bool, payload);
    return *this;
}

void BindingProperty::AssignSigned(std::int64_t value) noexcept {
    Payload payload{0};
    payload.signedValue = value;
    Replace(PropertyKind::Signed, payload);
}

void BindingProperty::AssignUnsigned(std::uint64_t value) noexcept {
    Payload payload{0};
    payload.unsignedValue = value;
    Replace(PropertyKind::Unsigned, payload);
}

BindingProperty& BindingProperty::operator=(double value) noexcept {
    Payload payload{0};
    payload.floatValue = value;
    Replace(PropertyKind::Float, payload);
    return *this;
}

void BindingProperty::AssignString(const char* text) { AssignString(std::string_view(text == nullptr ? "" : text)); }

void BindingProperty::AssignString(std::string_view text) {
    // Interned before the old payload goes: the text may be that payload's own.
    const InternedString* entry = EnsureContext().Strings().Intern(text);
    AssignInterned(entry);
}

void BindingProperty::AssignInterned(const InternedString* text) noexcept {
    Payload payload{0};
    payload.string = text;
    Replace(PropertyKind::String, payload);
}

void BindingProperty::AssignBlob(const std::uint8_t* bytes, std::size_t size) {
    PropertyContext& context = EnsureContext();
    Payload payload{0};
    payload.blob = size == 0 ? context.NewCell<ByteArray>() : context.NewCell<ByteArray>(bytes, bytes + size);
    context.AddBlob();
    Replace(PropertyKind::Blob, payload);
}

void BindingProperty::AssignBlob(std::vector<std::uint8_t>&& bytes) {
    PropertyContext& context = EnsureContext();
    Payload payload{0};
    payload.blob = context.NewCell<ByteArray>(std::move(bytes));
    context.AddBlob();
    Replace(PropertyKind::Blob, payload);
}

void BindingProperty::AssignEnum(std::int32_t number, const StaticType* type) {
    Payload payload{0};
    payload.enumCell = EnsureContext().NewCell<EnumCell>(EnumCell{number, type});
    Replace(PropertyKind::Enum, payload);
}

void BindingProperty::CopyFrom(const BindingProperty& source) {
    if (&source == this) return;
    if (!IsHeapKind(source.kind_)) {
        Replace(source.kind_, source.payload_);
        return;
    }
    // A copy of a whole tree into a value without storage takes as many blocks at once
    // as the source holds.
    if (context_ == nullptr && source.ownsContext_ != 0 && source.context_ != nullptr) {
        context_ = PropertyContext::Create(source.context_->BlockCount());
        ownsContext_ = 1;
    }
    // The copy is complete before the old payload is released: the source may lie
    // inside it.
    PropertyKind kind = PropertyKind::Empty;
    Payload payload{0};
    BindingPropertyAccess::CopyDetached(source, EnsureContext(), kind, payload);
    Replace(kind, payload);
}

BindingProperty& BindingProperty::operator=(const BindingProperty& other) {
    CopyFrom(other);
    return *this;
}

BindingProperty& BindingProperty::operator=(BindingProperty&& other) {
    if (&other == this) return *this;
    if (ownsContext_ != 0 && other.ownsContext_ != 0) {
        std::swap(payload_, other.payload_);
        std::swap(context_, other.context_);
        std::swap(kind_, other.kind_);
        std::swap(ownsContext_, other.ownsContext_);
        other.Clear();
        return *this;
    }
    // A member or element cannot hand its payload to another tree: copy it. Then detach
    // the source before installing the copy, and release both old payloads last, so
    // that it does not matter whether one value lies inside the other.
    PropertyKind kind = other.kind_;
    Payload payload = other.payload_;
    if (IsHeapKind(kind)) BindingPropertyAccess::CopyDetached(other, EnsureContext(), kind, payload);
    const PropertyKind sourceKind = other.kind_;
    const Payload sourcePayload = other.payload_;
    PropertyContext* sourceContext = other.context_;
    other.kind_ = PropertyKind::Empty;
    other.payload_.bits = 0;
    Replace(kind, payload);
    if (IsHeapKind(sourceKind)) BindingPropertyAccess::Release(sourceContext, sourceKind, sourcePayload);
    return *this;
}

// --- containers ---

void BindingProperty::MakeCollection() {
    if (kind_ == PropertyKind::Collection) return;
    Payload payload{0};
    payload.collection = EnsureContext().NewCell<CollectionCell>();
    Replace(PropertyKind::Collection, payload);
}

void BindingProperty::MakeStructure() {
    if (kind_ == PropertyKind::Structure) return;
    PropertyContext& context = EnsureContext();
    Payload payload{0};
    payload.structure = context.NewCell<StructureCell>();
    payload.structure->context = &context;
    Replace(PropertyKind::Structure, payload);
}

void BindingProperty::Reserve(std::size_t capacity) {
    if (kind_ != PropertyKind::Collection) return;
    if (capacity > kMaxElements) ThrowTooLong();
    CollectionCell& cell = *payload_.collection;
    if (capacity > static_cast<std::size_t>(cell.capacity - cell.begin)) {
        BindingPropertyAccess::Grow(cell, *context_, capacity);
    }
}

BindingProperty& BindingProperty::Element(std::size_t index) {
    if (index >= kMaxElements) ThrowTooLong();
    MakeCollection();
    CollectionCell& cell = *payload_.collection;
    if (index >= static_cast<std::size_t>(cell.end - cell.begin)) BindingPropertyAccess::Extend(cell, context_, index + 1);
    return cell.begin[index];
}

BindingProperty& BindingProperty::Append() {
    MakeCollection();
    return Element(static_cast<std::size_t>(payload_.collection->end - payload_.collection->begin));
}

const BindingProperty& BindingProperty::GetElement(std::size_t index) const noexcept {
    if (kind_ != PropertyKind::Collection) return sharedEmpty;
    const CollectionCell& cell = *payload_.collection;
    return index < static_cast<std::size_t>(cell.end - cell.begin) ? cell.begin[index] : sharedEmpty;
}

std::span<BindingProperty> BindingProperty::Elements() noexcept {
    if (kind_ != PropertyKind::Collection) return {};
    return {payload_.collection->begin, payload_.collection->end};
}

std::span<const BindingProperty> BindingProperty::Elements() const noexcept {
    if (kind_ != PropertyKind::Collection) return {};
    return {payload_.collection->begin, payload_.collection->end};
}

BindingProperty& BindingProperty::Member(std::string_view key) {
    MakeStructure();
    return MemberTree::FindOrInsert(*payload_.structure, *context_, key).value;
}

const BindingProperty& BindingProperty::GetMember(std::string_view key) const noexcept {
    if (kind_ != PropertyKind::Structure) return sharedEmpty;
    const MemberNode* node = MemberTree::Find(*payload_.structure, key);
    return node != nullptr ? node->value : sharedEmpty;
}

bool BindingProperty::HasMember(std::string_view key) const noexcept {
    return kind_ == PropertyKind::Structure && MemberTree::Find(*payload_.structure, key) != nullptr;
}

BindingProperty::MemberRange<false> BindingProperty::Members() noexcept {
    return MemberRange<false>(kind_ == PropertyKind::Structure ? MemberTree::First(*payload_.structure) : nullptr);
}

BindingProperty::MemberRange<true> BindingProperty::Members() const noexcept {
    return MemberRange<true>(kind_ == PropertyKind::Structure ? MemberTree::First(*payload_.structure) : nullptr);
}

// --- reading ---

const BindingProperty& BindingProperty::SharedEmpty() noexcept { return sharedEmpty; }

std::size_t BindingProperty::Size() const noexcept {
    switch (kind_) {
        case PropertyKind::Empty:
            return 0;
        case PropertyKind::String:
            return payload_.string->length;
        case PropertyKind::Blob:
            return payload_.blob->size();
        case PropertyKind::Collection:
            return static_cast<std::size_t>(payload_.collection->end - payload_.collection->begin);
        case PropertyKind::Structure:
            return payload_.structure->count;
        default:
            return 1;
    }
}

const EnumCell& BindingProperty::GetEnum() const noexcept {
    return kind_ == PropertyKind::Enum ? *payload_.enumCell : zeroEnum;
}

const std::vector<std::uint8_t>& BindingProperty::GetBlob() const noexcept {
    return kind_ == PropertyKind::Blob ? *payload_.blob : emptyBytes;
}

bool BindingProperty::ToBool() const noexcept {
    switch (kind_) {
        case PropertyKind::Bool:
            return payload_.boolValue;
        case PropertyKind::Signed:
            return payload_.signedValue != 0;
        case PropertyKind::Unsigned:
            return payload_.unsignedValue != 0;
        case PropertyKind::Float:
            return payload_.floatValue != 0.0;  // a NaN compares unequal: true
        case PropertyKind::String: {
            const std::string_view text = payload_.string->View();
            return text == "true" || text == "1";
        }
        case PropertyKind::Enum:
            return payload_.enumCell->number != 0;
        case PropertyKind::Blob:
        case PropertyKind::Collection:
        case PropertyKind::Structure:
            return Size() != 0;
        default:
            return false;
    }
}

double BindingProperty::ToDouble(double fallback) const noexcept {
    switch (kind_) {
        case PropertyKind::Bool:
            return payload_.boolValue ? 1.0 : 0.0;
        case PropertyKind::Signed:
            return static_cast<double>(payload_.signedValue);
        case PropertyKind::Unsigned:
            return static_cast<double>(payload_.unsignedValue);
        case PropertyKind::Float:
            return payload_.floatValue;
        case PropertyKind::String:
            // 0.0 when nothing at the start parses, as strtod gives.
            return ParseDouble(payload_.string->Text(), nullptr);
        case PropertyKind::Enum:
            return static_cast<double>(payload_.enumCell->number);
        default:
            return fallback;
    }
}

}  // namespace Kesh
