#include "tests/support/AllocationFailure.h"

namespace Kesh::Testing {
namespace {

struct FailureState {
    Memory::AllocatorHooks previous;
    std::uint64_t seen;
    std::uint64_t first;
    bool onward;
    bool triggered;
};

FailureState state{};

bool ShouldFail() {
    ++state.seen;
    const bool fail = state.seen == state.first || (state.onward && state.seen > state.first);
    state.triggered = state.triggered || fail;
    return fail;
}

void* FailingAllocate(void*, std::size_t size) {
    return ShouldFail() ? nullptr : state.previous.allocate(state.previous.context, size);
}
void* FailingReallocate(void*, void* block, std::size_t size) {
    return ShouldFail() ? nullptr : state.previous.reallocate(state.previous.context, block, size);
}
char* FailingDuplicateString(void*, const char* text) {
    return ShouldFail() ? nullptr : state.previous.duplicateString(state.previous.context, text);
}

void PreviousFree(void*, void* block) { state.previous.free(state.previous.context, block); }
std::size_t PreviousBlockSize(void*, const void* block) { return state.previous.blockSize(state.previous.context, block); }

}  // namespace

AllocationFailure::AllocationFailure(std::uint64_t first, bool onward) : previous_(Memory::CurrentHooks()) {
    state = FailureState{previous_, 0, first, onward, false};
    Memory::InstallHooks({FailingAllocate, PreviousFree, FailingReallocate, FailingDuplicateString,
                          PreviousBlockSize, nullptr});
}

AllocationFailure::~AllocationFailure() { End(); }

void AllocationFailure::End() {
    if (active_) {
        Memory::InstallHooks(previous_);
        active_ = false;
    }
}

bool AllocationFailure::Triggered() const { return state.triggered; }

}  // namespace Kesh::Testing
