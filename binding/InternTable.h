#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "binding/InternedString.h"

namespace Kesh {

class PropertyContext;

// The texts of one tree, each stored once with a reference count: member keys repeat
// across the elements of a collection, and every repetition costs only a count. A hash
// set chained through the entries, keyed by FNV-1a hash and then text, kept at a load
// factor of at most 1. Its first 8 buckets live inside the table, and it returns to them
// whenever it empties, so a small tree never allocates a bucket array.
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
    // empty entry for the empty text.
    const InternedString* Intern(std::string_view text);
    // The same, for a text whose hash is already known (an entry of another table).
    const InternedString* Intern(std::string_view text, std::uint32_t hash);
    // The same, for a text already cut at its first NUL and hashed (HashUpToNul).
    const InternedString* Intern(const HashedText& text);
    void AddReference(const InternedString* entry) noexcept;
    // Makes room for that many entries in all without growing again; throws
    // std::bad_alloc when the bucket array cannot be had.
    void Reserve(std::size_t entries);
    // Drops one reference; the entry goes when its last one does. The shared empty
    // entry is never counted.
    void Release(const InternedString* entry) noexcept;

    // The entry of the text without taking a reference, or null.
    const InternedString* Find(std::string_view text) const noexcept;
    std::size_t Size() const noexcept { return size_; }
    std::size_t BucketCount() const noexcept { return bucketCount_; }

private:
    void Grow();
    void Rehash(std::size_t bucketCount);
    void ResetBuckets() noexcept;
    void FreeEntry(InternedString* entry) noexcept;

    PropertyContext& cells_;
    InternedString** buckets_;
    std::size_t bucketCount_ = kInitialBuckets;
    std::size_t size_ = 0;
    InternedString* inlineBuckets_[kInitialBuckets] = {};
};

}  // namespace Kesh
