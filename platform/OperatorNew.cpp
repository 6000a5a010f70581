// The library's replacements of the global operator new and delete, routing every
// allocation of the library (objects, std::string, containers) through the counting
// allocator. Replacing the operators is the one way that also catches the standard
// library's own allocations without a custom allocator type on every container. It is
// safe inside a plugin because the C++ runtime is linked statically and the plugin
// exports nothing but its entry point: the host and other plugins never see these.
#include <cstdint>
#include <new>

#include "platform/Allocator.h"

namespace {

void* AllocateOrThrow(std::size_t size) {
    for (;;) {
        if (void* block = Kesh::Memory::Allocate(size)) return block;
        std::new_handler handler = std::get_new_handler();
        if (handler == nullptr) throw std::bad_alloc();
        handler();
    }
}

// Over-aligned blocks: allocate with room to align, keep the heap block's address just
// below the aligned one.
void* AllocateAligned(std::size_t size, std::align_val_t alignment) {
    const auto align = static_cast<std::size_t>(alignment);
    if (size > SIZE_MAX - align - sizeof(void*)) return nullptr;
    void* raw = Kesh::Memory::Allocate(size + align + sizeof(void*));
    if (raw == nullptr) return nullptr;
    const auto base = reinterpret_cast<std::uintptr_t>(raw) + sizeof(void*);
    const std::uintptr_t aligned = (base + align - 1) & ~(std::uintptr_t{align} - 1);
    reinterpret_cast<void**>(aligned)[-1] = raw;
    return reinterpret_cast<void*>(aligned);
}

void* AllocateAlignedOrThrow(std::size_t size, std::align_val_t alignment) {
    for (;;) {
        if (void* block = AllocateAligned(size, alignment)) return block;
        std::new_handler handler = std::get_new_handler();
        if (handler == nullptr) throw std::bad_alloc();
        handler();
    }
}

void FreeAligned(void* block) {
    if (block != nullptr) Kesh::Memory::Free(static_cast<void**>(block)[-1]);
}

}  // namespace

void* operator new(std::size_t size) { return AllocateOrThrow(size); }
void* operator new[](std::size_t size) { return AllocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Kesh::Memory::Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Kesh::Memory::Allocate(size); }

void operator delete(void* block) noexcept { Kesh::Memory::Free(block); }
void operator delete[](void* block) noexcept { Kesh::Memory::Free(block); }
void operator delete(void* block, std::size_t) noexcept { Kesh::Memory::Free(block); }
void operator delete[](void* block, std::size_t) noexcept { Kesh::Memory::Free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { Kesh::Memory::Free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { Kesh::Memory::Free(block); }

void* operator new(std::size_t size, std::align_val_t alignment) { return AllocateAlignedOrThrow(size, alignment); }
void* operator new[](std::size_t size, std::align_val_t alignment) { return AllocateAlignedOrThrow(size, alignment); }
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return AllocateAligned(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return AllocateAligned(size, alignment);
}

void operator delete(void* block, std::align_val_t) noexcept { FreeAligned(block); }
void operator delete[](void* block, std::align_val_t) noexcept { FreeAligned(block); }
void operator delete(void* block, std::size_t, std::align_val_t) noexcept { FreeAligned(block); }
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept { FreeAligned(block); }
void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept { FreeAligned(block); }
void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept { FreeAligned(block); }
