#include "binding/PropertyContext.h"

#include <cstring>

#include "binding/BlockAllocator.h"
#include "platform/Allocator.h"

namespace Kesh {

static_assert(PropertyContext::ClassOf(PropertyContext::kMaxSpanSize) == PropertyContext::kClasses - 1);
static_assert(PropertyContext::ClassBytes(PropertyContext::kClasses - 1) == PropertyContext::kMaxSpanSize);
static_assert(PropertyContext::ClassOf(PropertyContext::kMaxCellSize + 1) == PropertyContext::kCellClasses);
static_assert(PropertyContext::kMaxRunBlocks <= BlockAllocator::kBlocksPerRegion);
// The context and a useful part of a tree share its first block.
static_assert(sizeof(PropertyContext) <= BlockAllocator::kBlockSize / 4);

namespace {

// Runs to give back, handed to the BlockAllocator in batches, each under one taking of
// its lock; whatever is left goes back when the batch is destroyed.
class RunBatch {
public:
    RunBatch() noexcept = default;
    ~RunBatch() { Flush(); }
    RunBatch(const RunBatch&) = delete;
    RunBatch& operator=(const RunBatch&) = delete;

    void Add(void* first, std::size_t blocks) noexcept {
        if (count_ == kCapacity) Flush();
        runs_[count_++] = BlockAllocator::Run{first, blocks};
    }
    void Flush() noexcept {
        if (count_ != 0) BlockAllocator::Instance().Recycle(runs_, count_);
        count_ = 0;
    }

private:
    static constexpr std::size_t kCapacity = 32;
    BlockAllocator::Run runs_[kCapacity];
    std::size_t count_ = 0;
};

}  // namespace

PropertyContext::PropertyContext() noexcept : strings_(*this) {}

PropertyContext::~PropertyContext() {
    // Cells and spans go with the runs; only the large blocks are freed one by one,
    // whether or not the tree let go of them first. The intern table's entries are not
    // visited, so nothing is freed into the context after this.
    while (large_ != nullptr) {
        LargeBlock* next = large_->next;
        Memory::Free(large_);
        large_ = next;
    }
    ReturnRuns(runs_);
    runs_ = nullptr;
}

PropertyContext* PropertyContext::Create(std::size_t blocks) {
    if (blocks == 0) blocks = 1;
    if (blocks > kMaxRunBlocks) blocks = kMaxRunBlocks;
    void* block = BlockAllocator::Instance().AllocateRun(blocks);
    auto* context = new (block) PropertyContext();
    context->ownBlocks_ = blocks;
    context->blocks_ = blocks;
    context->nextRunBlocks_ = blocks;
    context->cursor_ = context->OwnStorage();
    context->limit_ = static_cast<unsigned char*>(block) + blocks * BlockAllocator::kBlockSize;
    Poison(context->cursor_, static_cast<std::size_t>(context->limit_ - context->cursor_));
    return context;
}

void PropertyContext::Destroy(PropertyContext* context) noexcept {
    if (context == nullptr) return;
    const std::size_t ownBlocks = context->ownBlocks_;
    if (ownBlocks == 0) {
        delete context;
        return;
    }
    // The runs and the context's own block go back together.
    RunHead* runs = context->runs_;
    context->runs_ = nullptr;
    context->~PropertyContext();
    RunBatch batch;
    for (RunHead* run = runs; run != nullptr;) {
        RunHead* next = run->next;
        const std::size_t blocks = run->blocks;
        Unpoison(run, blocks * BlockAllocator::kBlockSize);
        batch.Add(run, blocks);
        run = next;
    }
    Unpoison(context, ownBlocks * BlockAllocator::kBlockSize);
    batch.Add(context, ownBlocks);
}

unsigned char* PropertyContext::OwnStorage() noexcept {
    return reinterpret_cast<unsigned char*>(this) + ((sizeof(PropertyContext) + kGrain - 1) & ~(kGrain - 1));
}

void PropertyContext::ReturnRuns(RunHead* runs) noexcept {
    if (runs == nullptr) return;
    RunBatch batch;
    for (RunHead* run = runs; run != nullptr;) {
        RunHead* next = run->next;
        const std::size_t blocks = run->blocks;
        Unpoison(run, blocks * BlockAllocator::kBlockSize);
        batch.Add(run, blocks);
        run = next;
    }
}

void PropertyContext::Reset() noexcept {
    ReturnRuns(runs_);
    runs_ = nullptr;
    blocks_ = ownBlocks_;
    nextRunBlocks_ = ownBlocks_ != 0 ? ownBlocks_ : 1;
    for (FreeCellLink*& list : free_) list = nullptr;
    if (ownBlocks_ != 0) {
        cursor_ = OwnStorage();
        limit_ = reinterpret_cast<unsigned char*>(this) + ownBlocks_ * BlockAllocator::kBlockSize;
        Poison(cursor_, static_cast<std::size_t>(limit_ - cursor_));
    } else {
        cursor_ = nullptr;
        limit_ = nullptr;
    }
}

void PropertyContext::Shelve(unsigned char* begin, unsigned char* end) noexcept {
    // The largest class that fits, again and again: nothing of a run is lost.
    while (end - begin >= static_cast<std::ptrdiff_t>(kGrain)) {
        const auto left = static_cast<std::size_t>(end - begin);
        std::size_t sizeClass = 0;
        if (left >= 256) {
            sizeClass = kCellClasses + static_cast<std::size_t>(std::bit_width(left)) - 9;
            if (sizeClass >= kClasses) sizeClass = kClasses - 1;
        } else {
            sizeClass = (left < kMaxCellSize ? left : kMaxCellSize) / kGrain - 1;
        }
        const std::size_t bytes = ClassBytes(sizeClass);
        Unpoison(begin, sizeof(FreeCellLink));
        auto* link = reinterpret_cast<FreeCellLink*>(begin);
        link->next = free_[sizeClass];
        free_[sizeClass] = link;
        Poison(begin, bytes);
        begin += bytes;
    }
}

void PropertyContext::Refill(std::size_t bytes) {
    std::size_t blocks = nextRunBlocks_;
    const std::size_t needed = (bytes + sizeof(RunHead) + BlockAllocator::kBlockSize - 1) / BlockAllocator::kBlockSize;
    if (blocks < needed) blocks = needed;
    // Taken before anything changes: on failure the context is as it was.
    void* run = BlockAllocator::Instance().AllocateRun(blocks);
    Shelve(cursor_, limit_);
    auto* head = static_cast<RunHead*>(run);
    head->next = runs_;
    head->blocks = blocks;
    runs_ = head;
    blocks_ += blocks;
    if (nextRunBlocks_ < kMaxRunBlocks) nextRunBlocks_ *= 2;
    cursor_ = static_cast<unsigned char*>(run) + sizeof(RunHead);
    limit_ = static_cast<unsigned char*>(run) + blocks * BlockAllocator::kBlockSize;
    Poison(cursor_, static_cast<std::size_t>(limit_ - cursor_));
}

void PropertyContext::LinkLarge(LargeBlock* block) noexcept {
    block->previous = nullptr;
    block->next = large_;
    if (large_ != nullptr) large_->previous = block;
    large_ = block;
}

void PropertyContext::UnlinkLarge(LargeBlock* block) noexcept {
    if (block->previous != nullptr) {
        block->previous->next = block->next;
    } else {
        large_ = block->next;
    }
    if (block->next != nullptr) block->next->previous = block->previous;
}

void* PropertyContext::AllocateLarge(std::size_t size) {
    if (size > SIZE_MAX - sizeof(LargeBlock)) throw std::bad_alloc();
    auto* block = static_cast<LargeBlock*>(Memory::Allocate(sizeof(LargeBlock) + size));
    if (block == nullptr) throw std::bad_alloc();
    LinkLarge(block);
    return block + 1;
}

void PropertyContext::FreeStorage(void* storage, std::size_t size) noexcept {
    if (storage == nullptr) return;
    if (size <= kMaxSpanSize) {
        Give(storage, ClassOf(size));
    } else {
        LargeBlock* block = static_cast<LargeBlock*>(storage) - 1;
        UnlinkLarge(block);
        Memory::Free(block);
    }
}

void* PropertyContext::GrowStorage(void* storage, std::size_t oldSize, std::size_t newSize, std::size_t keep) {
    if (storage != nullptr && oldSize > kMaxSpanSize) {
        // Heap to heap: let the heap move it, and link the block again wherever it lands.
        if (newSize > SIZE_MAX - sizeof(LargeBlock)) throw std::bad_alloc();
        LargeBlock* block = static_cast<LargeBlock*>(storage) - 1;
        UnlinkLarge(block);
        auto* moved = static_cast<LargeBlock*>(Memory::Reallocate(block, sizeof(LargeBlock) + newSize));
        if (moved == nullptr) {
            LinkLarge(block);
            throw std::bad_alloc();
        }
        LinkLarge(moved);
        return moved + 1;
    }
    if (storage != nullptr && newSize <= kMaxSpanSize) {
        // The last storage cut grows where it is when the run has room.
        auto* bytes = static_cast<unsigned char*>(storage);
        const std::size_t oldBytes = ClassBytes(ClassOf(oldSize));
        const std::size_t newBytes = ClassBytes(ClassOf(newSize));
        if (bytes + oldBytes == cursor_ && static_cast<std::size_t>(limit_ - bytes) >= newBytes) {
            Unpoison(cursor_, newBytes - oldBytes);
            cursor_ = bytes + newBytes;
            return storage;
        }
    }
    void* grown = AllocateStorage(newSize);
    if (keep != 0) std::memcpy(grown, storage, keep);
    FreeStorage(storage, oldSize);
    return grown;
}

}  // namespace Kesh
