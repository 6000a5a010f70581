#include "tools/pzl-host/SafeMemory.h"

#include <cstdint>

#if defined(_WIN32)
#include <windows.h>
#else
#include <cerrno>
#include <unistd.h>
#endif

namespace Kesh::StandIn {

bool Readable(const void* address, std::size_t size) {
    if (address == nullptr) return false;
    if (size == 0) return true;
#if !defined(_WIN32)
    // The kernel copies what is written to a pipe and reports EFAULT for unmapped
    // memory instead of raising a signal.
    int ends[2];
    if (pipe(ends) != 0) return true;
    char buffer[256];
    const char* at = static_cast<const char*>(address);
    bool readable = true;
    while (size > 0 && readable) {
        const std::size_t piece = size < sizeof buffer ? size : sizeof buffer;
        const ssize_t written = write(ends[1], at, piece);
        readable = written == static_cast<ssize_t>(piece);
        if (written > 0) (void)!read(ends[0], buffer, static_cast<std::size_t>(written));
        at += piece;
        size -= piece;
    }
    close(ends[0]);
    close(ends[1]);
    return readable;
#else
    // Every region the bytes touch must be committed and readable.
    const char* at = static_cast<const char*>(address);
    const char* end = at + size;
    if (end < at) return false;
    while (at < end) {
        MEMORY_BASIC_INFORMATION region{};
        if (VirtualQuery(at, &region, sizeof region) == 0 || region.State != MEM_COMMIT) return false;
        const DWORD protection = region.Protect & 0xFF;
        if ((region.Protect & PAGE_GUARD) != 0 || protection == PAGE_NOACCESS || protection == PAGE_EXECUTE) return false;
        const char* regionEnd = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
        if (regionEnd <= at) return false;
        at = regionEnd;
    }
    return true;
#endif
}

std::optional<std::string> ReadText(const char* address, std::size_t limit) {
    if (address == nullptr) return std::nullopt;
    std::string text;
    // Readability changes only at page boundaries (4 KiB or a multiple of it): one look
    // per page, not per byte.
    constexpr std::uintptr_t kPage = 4096;
    for (std::size_t i = 0; i < limit; ++i) {
        if ((i == 0 || reinterpret_cast<std::uintptr_t>(address + i) % kPage == 0) && !Readable(address + i, 1))
            return std::nullopt;
        if (address[i] == '\0') return text;
        text += address[i];
    }
    return std::nullopt;
}

}  // namespace Kesh::StandIn
