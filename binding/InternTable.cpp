#include "binding/InternTable.h"

#include <cstring>
#include <new>

#include "binding/PropertyContext.h"
#include "platform/Allocator.h"

namespace Kesh {

namespace {

struct EmptyEntry {
    InternedString entry;
    char nul;
};

constinit EmptyEntry emptyEntry{{nullptr, InternedString::Hash("", 0), 0, 0}, '\0'};

}  // namespace

const InternedString& EmptyInternedString() noexcept { return emptyEntry.entry; }

InternTable::InternTable(PropertyContext& cells) noexcept : cells_(cells), buckets_(inlineBuckets_) {}

// The entries and the bucket array live in the context's storage and go with it.
InternTable::~InternTable() = default;

void InternTable::FreeEntry(InternedString* entry) noexcept {
    cells_.FreeStorage(entry, InternedString::StorageSize(entry->length));
}

void InternTable::ResetBuckets() noexcept {
    if (buckets_ != inlineBuckets_) cells_.FreeStorage(buckets_, bucketCount_ * sizeof(InternedString*));
    buckets_ = inlineBuckets_;
    bucketCount_ = kInitialBuckets;
    for (InternedString*& bucket : inlineBuckets_) bucket = nullptr;
}

void InternTable::Grow() { Rehash(bucketCount_ * 2); }

void InternTable::Reserve(std::size_t entries) {
    std::size_t count = bucketCount_;
    while (count < entries) count *= 2;
    if (count != bucketCount_) Rehash(count);
}

void InternTable::Rehash(std::size_t count) {
    auto* grown = static_cast<InternedString**>(cells_.AllocateStorage(count * sizeof(InternedString*)));
    for (std::size_t i = 0; i < count; ++i) grown[i] = nullptr;
    for (std::size_t i = 0; i < bucketCount_; ++i) {
        for (InternedString* entry = buckets_[i]; entry != nullptr;) {
            InternedString* next = entry->next;
            InternedString*& bucket = grown[entry->hash & (count - 1)];
            entry->next = bucket;
            bucket = entry;
            entry = next;
        }
    }
    if (buckets_ != inlineBuckets_) cells_.FreeStorage(buckets_, bucketCount_ * sizeof(InternedString*));
    buckets_ = grown;
    bucketCount_ = count;
}

const InternedString* InternTable::InternHashed(std::string_view text) { return Intern(HashUpToNul(text)); }

const InternedString* InternTable::Intern(std::string_view text, std::uint32_t hash) {
    return Intern(HashedText{UpToNul(text), hash});
}

const InternedString* InternTable::Intern(const HashedText& hashed) {
    const std::string_view text = hashed.text;
    const std::uint32_t hash = hashed.hash;
    if (text.empty()) return &emptyEntry.entry;
    for (InternedString* entry = buckets_[hash & (bucketCount_ - 1)]; entry != nullptr; entry = entry->next) {
        if (entry->hash == hash && entry->View() == text) {
            ++entry->references;
            return entry;
        }
    }
    if (size_ + 1 > bucketCount_) Grow();
    const std::size_t size = InternedString::StorageSize(text.size());
    void* storage = cells_.AllocateStorage(size);
    auto* entry = new (storage) InternedString{nullptr, hash, 1, static_cast<std::uint32_t>(text.size())};
    char* copy = reinterpret_cast<char*>(entry + 1);
    std::memcpy(copy, text.data(), text.size());
    copy[text.size()] = '\0';
    InternedString*& bucket = buckets_[hash & (bucketCount_ - 1)];
    entry->next = bucket;
    bucket = entry;
    ++size_;
    return entry;
}

void InternTable::AddReference(const InternedString* entry) noexcept {
    if (entry == nullptr || entry == &emptyEntry.entry) return;
    ++const_cast<InternedString*>(entry)->references;
}

void InternTable::Release(const InternedString* entry) noexcept {
    if (entry == nullptr || entry == &emptyEntry.entry) return;
    auto* mutableEntry = const_cast<InternedString*>(entry);
    if (--mutableEntry->references != 0) return;
    if (index_ != nullptr) index_->Forget(entry);
    for (InternedString** link = &buckets_[entry->hash & (bucketCount_ - 1)]; *link != nullptr;
         link = &(*link)->next) {
        if (*link == entry) {
            *link = entry->next;
            break;
        }
    }
    FreeEntry(mutableEntry);
    if (--size_ == 0) ResetBuckets();
}

const InternedString* InternTable::Find(std::string_view whole) const noexcept {
    const auto [text, hash] = HashUpToNul(whole);
    if (text.empty()) return &emptyEntry.entry;
    for (InternedString* entry = buckets_[hash & (bucketCount_ - 1)]; entry != nullptr; entry = entry->next) {
        if (entry->hash == hash && entry->View() == text) return entry;
    }
    return nullptr;
}

void InternIndex::Attach(InternTable& table) noexcept {
    if (table_ == &table) return;
    Detach();
    if (table.index_ != nullptr) table.index_->Detach();
    if (listed_) {
        for (const InternedString*& slot : inlineSlots_) slot = nullptr;
        listed_ = false;
    }
    table_ = &table;
    table.index_ = this;
}

void InternIndex::Detach() noexcept {
    if (table_ == nullptr) return;
    table_->index_ = nullptr;
    table_ = nullptr;
    if (slots_ != inlineSlots_) Memory::Free(slots_);
    slots_ = inlineSlots_;
    mask_ = kInlineSlots - 1;
    listed_ = used_ != 0;
    used_ = 0;
}

const InternedString* InternIndex::Add(std::string_view text, std::size_t slot) {
    const InternedString* entry = table_->InternHashed(text);
    // A text with a NUL inside has an entry for its beginning only: not listed.
    if (entry->length == text.size()) {
        slots_[slot] = entry;
        if (++used_ * 2 > mask_ + 1) Grow();
    }
    return entry;
}

void InternIndex::Forget(const InternedString* entry) noexcept {
    std::size_t slot = QuickHash(entry->Text(), entry->length) & mask_;
    for (std::size_t probe = 0; probe < kProbes; ++probe, slot = (slot + 1) & mask_) {
        if (slots_[slot] == entry) {
            slots_[slot] = Gone();
            return;
        }
        if (slots_[slot] == nullptr) return;
    }
}

void InternIndex::Grow() noexcept {
    const std::size_t count = (mask_ + 1) * 4;
    if (count > kMaxSlots) return;  // full enough: lookups probe, misses take the table's path
    auto** grown = static_cast<const InternedString**>(Memory::Allocate(count * sizeof(InternedString*)));
    if (grown == nullptr) return;  // the index only saves time: it can stay as it is
    for (std::size_t i = 0; i < count; ++i) grown[i] = nullptr;
    const std::size_t mask = count - 1;
    std::size_t used = 0;
    for (std::size_t i = 0; i <= mask_; ++i) {
        const InternedString* entry = slots_[i];
        if (entry == nullptr || entry == Gone()) continue;
        // An entry that finds no slot near its own is left out: lookups only look there.
        std::size_t slot = QuickHash(entry->Text(), entry->length) & mask;
        for (std::size_t probe = 0; probe < kProbes; ++probe, slot = (slot + 1) & mask) {
            if (grown[slot] == nullptr) {
                grown[slot] = entry;
                ++used;
                break;
            }
        }
    }
    if (slots_ != inlineSlots_) Memory::Free(slots_);
    slots_ = grown;
    mask_ = mask;
    used_ = used;
}

}  // namespace Kesh
