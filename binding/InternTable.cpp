#include "binding/InternTable.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <type_traits>

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

void InternTable::Grow() {
    // Past one entry per bucket, possibly by far: pending entries that could not get
    // their buckets when they were linked.
    std::size_t count = bucketCount_ * 2;
    while (count < size_ + 1) count *= 2;
    Rehash(count);
}

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
    HashPending();
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
    if (index_ != nullptr) index_->complete_ = false;  // an entry the index does not list
    return entry;
}

const InternedString* InternTable::AddCopy(const InternedString& from) {
    HashPending();
    if (size_ + 1 > bucketCount_) Grow();
    void* storage = cells_.AllocateStorage(InternedString::StorageSize(from.length));
    auto* entry = new (storage) InternedString{nullptr, from.hash, 1, from.length};
    // The text, its NUL and the padding after it, a word at a time: both entries are
    // padded alike, to the record's alignment (short texts make most entries, and a call
    // to memcpy cost as much as the rest of this function).
    using Word = std::conditional_t<alignof(InternedString) >= 8, std::uint64_t, std::uint32_t>;
    static_assert(sizeof(InternedString) % sizeof(Word) == 0);
    const std::size_t bytes = InternedString::StorageSize(from.length) - sizeof(InternedString);
    auto* copy = reinterpret_cast<char*>(entry + 1);
    for (std::size_t i = 0; i < bytes; i += sizeof(Word)) {
        Word word;
        std::memcpy(&word, from.Text() + i, sizeof word);
        std::memcpy(copy + i, &word, sizeof word);
    }
    InternedString*& bucket = buckets_[from.hash & (bucketCount_ - 1)];
    entry->next = bucket;
    bucket = entry;
    ++size_;
    if (index_ != nullptr) index_->complete_ = false;  // an entry the index does not list
    return entry;
}

namespace {

constexpr bool HoldsZeroByte32(std::uint32_t word) noexcept {
    return ((word - 0x01010101u) & ~word & 0x80808080u) != 0;
}

// Copies length bytes (at least 1) from text to copy, false as soon as one is a NUL. Words
// are checked as they are copied; the last word overlaps the one before it.
bool CopyWithoutNul(char* copy, const char* text, std::size_t length) noexcept {
    if (length >= 8) {
        std::uint64_t word = 0;
        for (std::size_t i = 0; i + 8 <= length; i += 8) {
            std::memcpy(&word, text + i, 8);
            if (TextHashing::HoldsZeroByte(word)) return false;
            std::memcpy(copy + i, &word, 8);
        }
        std::memcpy(&word, text + length - 8, 8);
        if (TextHashing::HoldsZeroByte(word)) return false;
        std::memcpy(copy + length - 8, &word, 8);
        return true;
    }
    if (length >= 4) {
        std::uint32_t first = 0;
        std::uint32_t last = 0;
        std::memcpy(&first, text, 4);
        std::memcpy(&last, text + length - 4, 4);
        if (HoldsZeroByte32(first) || HoldsZeroByte32(last)) return false;
        std::memcpy(copy, &first, 4);
        std::memcpy(copy + length - 4, &last, 4);
        return true;
    }
    for (std::size_t i = 0; i < length; ++i) {
        if (text[i] == '\0') return false;
        copy[i] = text[i];
    }
    return true;
}

}  // namespace

inline const InternedString* InternTable::AddUnhashed(std::string_view text) {
    // No bucket yet, so no growing either: LinkPending sizes the buckets once for all.
    const std::size_t size = InternedString::StorageSize(text.size());
    void* storage = cells_.AllocateStorage(size);
    auto* entry = new (storage) InternedString{nullptr, 0, 1, static_cast<std::uint32_t>(text.size())};
    char* copy = reinterpret_cast<char*>(entry + 1);
    if (!CopyWithoutNul(copy, text.data(), text.size())) {
        FreeEntry(entry);
        return nullptr;
    }
    copy[text.size()] = '\0';
    entry->next = pending_;
    pending_ = entry;
    ++size_;
    return entry;
}

namespace {

// FNV-1a of a text known to hold no NUL, eight bytes a step.
std::uint32_t HashBytes(const unsigned char* text, std::size_t length) noexcept {
    constexpr std::uint32_t prime = InternedString::kHashPrime;
    std::uint32_t hash = InternedString::kHashBasis;
    std::size_t i = 0;
    for (; length - i >= 8; i += 8) {
        hash = (hash ^ text[i]) * prime;
        hash = (hash ^ text[i + 1]) * prime;
        hash = (hash ^ text[i + 2]) * prime;
        hash = (hash ^ text[i + 3]) * prime;
        hash = (hash ^ text[i + 4]) * prime;
        hash = (hash ^ text[i + 5]) * prime;
        hash = (hash ^ text[i + 6]) * prime;
        hash = (hash ^ text[i + 7]) * prime;
    }
    for (; i < length; ++i) hash = (hash ^ text[i]) * prime;
    return hash;
}

const unsigned char* BytesOf(const InternedString* entry) noexcept {
    return reinterpret_cast<const unsigned char*>(entry->Text());
}

}  // namespace

void InternTable::LinkPending() noexcept {
    // The hashes of separate texts do not depend on each other, so the processor overlaps
    // the multiply chains of neighbouring short texts by itself. Long texts are hashed
    // four side by side, which it cannot look far enough ahead to do.
    constexpr std::size_t kLong = 32;
    constexpr std::uint32_t prime = InternedString::kHashPrime;
    // Pending entries were added without growing the buckets. Growing is only worth it:
    // if the array cannot be had, the chains just get longer (Intern grows it later).
    if (size_ > bucketCount_) {
        std::size_t count = bucketCount_;
        while (count < size_) count *= 2;
        try {
            Rehash(count);
        } catch (const std::bad_alloc&) {
        }
    }
    InternedString* list = pending_;
    pending_ = nullptr;
    InternedString* group[4];
    std::size_t grouped = 0;
    const auto link = [this](InternedString* entry, std::uint32_t hash) noexcept {
        entry->hash = hash;
        InternedString*& bucket = buckets_[hash & (bucketCount_ - 1)];
        entry->next = bucket;
        bucket = entry;
    };
    while (list != nullptr || grouped != 0) {
        InternedString* entry = list;
        if (entry != nullptr) {
            list = entry->next;
            if (entry->length < kLong) {
                link(entry, HashBytes(BytesOf(entry), entry->length));
                continue;
            }
            group[grouped++] = entry;
            if (grouped < 4) continue;
        }
        // Four long texts (or the last few): side by side over the length they share.
        std::size_t common = ~std::size_t{0};
        for (std::size_t g = 0; g < grouped; ++g) common = std::min<std::size_t>(common, group[g]->length);
        std::uint32_t hashes[4] = {InternedString::kHashBasis, InternedString::kHashBasis, InternedString::kHashBasis,
                                   InternedString::kHashBasis};
        if (grouped == 4) {
            const unsigned char* p0 = BytesOf(group[0]);
            const unsigned char* p1 = BytesOf(group[1]);
            const unsigned char* p2 = BytesOf(group[2]);
            const unsigned char* p3 = BytesOf(group[3]);
            std::uint32_t h0 = hashes[0], h1 = hashes[1], h2 = hashes[2], h3 = hashes[3];
            for (std::size_t i = 0; i < common; ++i) {
                h0 = (h0 ^ p0[i]) * prime;
                h1 = (h1 ^ p1[i]) * prime;
                h2 = (h2 ^ p2[i]) * prime;
                h3 = (h3 ^ p3[i]) * prime;
            }
            hashes[0] = h0, hashes[1] = h1, hashes[2] = h2, hashes[3] = h3;
        } else {
            common = 0;
        }
        for (std::size_t g = 0; g < grouped; ++g) {
            const unsigned char* text = BytesOf(group[g]);
            std::uint32_t hash = hashes[g];
            for (std::size_t i = common; i < group[g]->length; ++i) hash = (hash ^ text[i]) * prime;
            link(group[g], hash);
        }
        grouped = 0;
    }
}

void InternTable::AddReference(const InternedString* entry) noexcept {
    if (entry == nullptr || entry == &emptyEntry.entry) return;
    ++const_cast<InternedString*>(entry)->references;
}

void InternTable::Release(const InternedString* entry) noexcept {
    if (entry == nullptr || entry == &emptyEntry.entry) return;
    auto* mutableEntry = const_cast<InternedString*>(entry);
    if (--mutableEntry->references != 0) return;
    HashPending();
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
    // Pending hashes are work left for later, not state: a table is never defined const.
    const_cast<InternTable*>(this)->HashPending();
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
    complete_ = table.Size() == 0;
}

void InternIndex::Detach() noexcept {
    if (table_ == nullptr) return;
    // Pending entries stay unhashed: every use of hashes or buckets hashes them first, and
    // a tree that is only read and dropped (the usual fate of a body) never needs them.
    table_->index_ = nullptr;
    table_ = nullptr;
    if (slots_ != inlineSlots_) Memory::Free(slots_);
    slots_ = inlineSlots_;
    mask_ = kInlineSlots - 1;
    listed_ = used_ != 0;
    used_ = 0;
}

const InternedString* InternIndex::Add(std::string_view text, std::size_t slot) {
    const InternedString* entry = complete_ ? table_->AddUnhashed(text) : nullptr;
    if (entry == nullptr) return AddThroughTable(text, slot);
    slots_[slot] = entry;
    if (++used_ * 2 > mask_ + 1) Grow();
    return entry;
}

const InternedString* InternIndex::AddThroughTable(std::string_view text, std::size_t slot) {
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
        bool placed = false;
        for (std::size_t probe = 0; probe < kProbes && !placed; ++probe, slot = (slot + 1) & mask) {
            if (grown[slot] == nullptr) {
                grown[slot] = entry;
                ++used;
                placed = true;
            }
        }
        if (!placed) complete_ = false;
    }
    if (slots_ != inlineSlots_) Memory::Free(slots_);
    slots_ = grown;
    mask_ = mask;
    used_ = used;
}

}  // namespace Kesh
