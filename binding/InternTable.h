#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "binding/InternedString.h"

namespace Kesh {

class PropertyContext;
class InternIndex;

// The texts of one tree, each stored once with a reference count: member keys repeat
// across the elements of a collection, and every repetition costs only a count. A hash
// set chained through the entries, keyed by FNV-1a hash and then text, kept at a load
// factor of at most 1 (entries an index adds wait outside the buckets until used). Its
// first 8 buckets live inside the table, and it returns to them whenever it empties, so a
// small tree never allocates a bucket array.
class InternTable {
public:
    static constexpr std::size_t kInitialBuckets = 8;

    explicit InternTable(PropertyContext& cells) noexcept;
    // Entries still held are not visited: they live in the context's storage, which is
    // dropped as a whole.
    ~InternTable();
    InternTable(const InternTable&) = delete;
    InternTable& operator=(const InternTable&) = delete;

    // The entry of the text (up to its first NUL) with one more reference; the shared
    // empty entry for the empty text. Asks the attached index first, if any.
    inline const InternedString* Intern(std::string_view text);
    // The same, for a text whose hash is already known (an entry of another table).
    const InternedString* Intern(std::string_view text, std::uint32_t hash);
    // The same, for a text already cut at its first NUL and hashed (HashUpToNul).
    const InternedString* Intern(const HashedText& text);
    // A new entry for the text and hash of another table's entry (not empty), which this
    // table must not hold yet: a copy into a table that was empty when it began meets each
    // of its source's distinct texts for the first time, so it makes them without a lookup.
    const InternedString* AddCopy(const InternedString& from);
    void AddReference(const InternedString* entry) noexcept;
    // Makes room for that many entries in all without growing again; throws
    // std::bad_alloc when the bucket array cannot be had.
    void Reserve(std::size_t entries);
    // Drops one reference; the entry goes when its last one does. The shared empty
    // entry is never counted.
    void Release(const InternedString* entry) noexcept;

    // The entry of the text without taking a reference, or null.
    const InternedString* Find(std::string_view text) const noexcept;
    // Entries an attached index made without hashing them yet get their hashes and their
    // buckets now (the buckets grow first to hold them). Every use of hashes or buckets
    // does this first, also after the index is gone; a copy out of this table, which
    // reads its entries' hashes, must too.
    void HashPending() noexcept {
        if (pending_ != nullptr) LinkPending();
    }
    std::size_t Size() const noexcept { return size_; }
    const InternIndex* AttachedIndex() const noexcept { return index_; }
    std::size_t BucketCount() const noexcept { return bucketCount_; }

private:
    friend class InternIndex;

    const InternedString* InternHashed(std::string_view text);
    // For an index that lists every entry of the table: a new entry for text (not empty,
    // not in the table), whose hash is left for LinkPending; null, with nothing changed,
    // when the text holds a NUL.
    // Inline into InternIndex::Add, its one caller: a text new to a read then pays one
    // call, not two.
    [[gnu::always_inline]] inline const InternedString* AddUnhashed(std::string_view text);
    void LinkPending() noexcept;
    void Grow();
    void Rehash(std::size_t bucketCount);
    void ResetBuckets() noexcept;
    void FreeEntry(InternedString* entry) noexcept;

    PropertyContext& cells_;
    InternedString** buckets_;
    std::size_t bucketCount_ = kInitialBuckets;
    std::size_t size_ = 0;
    InternedString* inlineBuckets_[kInitialBuckets] = {};
    InternIndex* index_ = nullptr;
    // Entries made by AddUnhashed, linked through next, in no bucket yet.
    InternedString* pending_ = nullptr;
};

// A reader's index of the texts it has interned into one table so far, found again by a
// cheap hash of their bytes: bodies repeat their keys (and many values) thousands of
// times, and the table's FNV-1a, at several cycles per byte, then runs once per distinct
// text instead of once per occurrence. While attached, the table's Intern(text) asks it
// first, and the table tells it when an entry goes (a repeated key overwriting the only
// holder of a text), so it never lists a freed entry. It holds no references: counts
// stay exactly those of the tree.
//
// Its size is bounded (kMaxSlots) and every listed entry sits within kProbes slots of
// where its hash points, so hostile texts that share their cheap hash cost at most that
// many comparisons, then the table's own path. Texts with a NUL inside are never listed:
// their entry holds less than the text.
//
// While the index lists every entry of the table (it was attached to an empty table, and
// nothing was interned past it or left out of it since), a text it does not list is new:
// its entry is made without a lookup and its FNV-1a hash is computed later, together
// with those of the other new texts (InternTable::LinkPending). The multiply chain of
// FNV-1a is serial within a text, so hashing several side by side keeps the multiplier
// busy, where hashing each at once would wait on it at every byte.
class InternIndex {
public:
    static constexpr std::size_t kInlineSlots = 128;
    static constexpr std::size_t kMaxSlots = std::size_t{1} << 12;
    static constexpr std::size_t kProbes = 8;

    InternIndex() noexcept = default;
    ~InternIndex() { Detach(); }
    InternIndex(const InternIndex&) = delete;
    InternIndex& operator=(const InternIndex&) = delete;

    // Starts serving table (detaching from any other first). A table has at most one.
    void Attach(InternTable& table) noexcept;
    // Leaves the table to its own path and forgets what was listed.
    void Detach() noexcept;
    bool IsAttached() const noexcept { return table_ != nullptr; }

private:
    friend class InternTable;

    [[gnu::always_inline]] const InternedString* Intern(std::string_view text) {
        if (!text.empty()) {
            std::size_t slot = QuickHash(text.data(), text.size()) & mask_;
            for (std::size_t probe = 0; probe < kProbes; ++probe, slot = (slot + 1) & mask_) {
                const InternedString* entry = slots_[slot];
                if (entry == nullptr) return Add(text, slot);
                if (entry->length == text.size() && SameBytes(entry->Text(), text.data(), text.size())) {
                    ++const_cast<InternedString*>(entry)->references;
                    return entry;
                }
            }
        }
        return table_->InternHashed(text);
    }
    // Interns a text the index does not list and lists it in the empty slot.
    const InternedString* Add(std::string_view text, std::size_t slot);
    // Add for a text the table must look up or hash at once (the index does not list every
    // entry, or the text holds a NUL): out of line, so that the common case above keeps
    // few registers to save.
    [[gnu::noinline]] const InternedString* AddThroughTable(std::string_view text, std::size_t slot);
    // The table is about to free entry.
    void Forget(const InternedString* entry) noexcept;
    void Grow() noexcept;
    // The first and last bytes (8 of each where there are) and the length: keys and
    // repeated values differ there almost always; equal ones are told apart by comparing.
    static std::size_t QuickHash(const char* text, std::size_t length) noexcept {
        std::uint64_t head = 0;
        std::uint64_t tail = 0;
        if (length >= 8) {
            std::memcpy(&head, text, 8);
            std::memcpy(&tail, text + length - 8, 8);
        } else if (length >= 4) {
            std::uint32_t first = 0;
            std::uint32_t last = 0;
            std::memcpy(&first, text, 4);
            std::memcpy(&last, text + length - 4, 4);
            head = first;
            tail = static_cast<std::uint64_t>(last) << 32;
        } else if (length > 0) {
            head = static_cast<unsigned char>(text[0]) |
                   static_cast<std::uint64_t>(static_cast<unsigned char>(text[length / 2])) << 8 |
                   static_cast<std::uint64_t>(static_cast<unsigned char>(text[length - 1])) << 16;
        }
        std::uint64_t mixed = (head ^ (tail * 0x9E3779B97F4A7C15ull) ^ length) * 0xFF51AFD7ED558CCDull;
        return static_cast<std::size_t>(mixed ^ (mixed >> 29) ^ (mixed >> 47));
    }
    // memcmp's equality, inline for the short texts most keys and repeated values are:
    // two loads of each that may overlap, never outside the texts.
    static bool SameBytes(const char* left, const char* right, std::size_t length) noexcept {
        if (length >= 8) {
            if (length > 16) return std::memcmp(left, right, length) == 0;
            return Load8(left) == Load8(right) && Load8(left + length - 8) == Load8(right + length - 8);
        }
        if (length >= 4) return Load4(left) == Load4(right) && Load4(left + length - 4) == Load4(right + length - 4);
        for (std::size_t i = 0; i < length; ++i) {
            if (left[i] != right[i]) return false;
        }
        return true;
    }
    static std::uint64_t Load8(const char* bytes) noexcept {
        std::uint64_t word;
        std::memcpy(&word, bytes, 8);
        return word;
    }
    static std::uint32_t Load4(const char* bytes) noexcept {
        std::uint32_t word;
        std::memcpy(&word, bytes, 4);
        return word;
    }
    // A slot of a forgotten entry: lookups pass over it, nothing is added there.
    static const InternedString* Gone() noexcept { return &EmptyInternedString(); }

    InternTable* table_ = nullptr;
    const InternedString** slots_ = inlineSlots_;
    std::size_t mask_ = kInlineSlots - 1;
    std::size_t used_ = 0;
    bool complete_ = false;  // every entry of the table is listed
    bool listed_ = false;  // inline slots to clear before the next attachment
    const InternedString* inlineSlots_[kInlineSlots] = {};
};

[[gnu::always_inline]] inline const InternedString* InternTable::Intern(std::string_view text) {
    return index_ != nullptr ? index_->Intern(text) : InternHashed(text);
}

}  // namespace Kesh
