#include "platform/Process.h"

#include <dirent.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <climits>

namespace Kesh::Platform {

std::uintptr_t CurrentThreadId() { return static_cast<std::uintptr_t>(syscall(SYS_gettid)); }

std::string ExecutablePath() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return {};
    return std::string(path, static_cast<std::size_t>(length));
}

void WriteDebuggerOutput(const char*) {}

std::size_t OpenHandleCount() {
    DIR* folder = opendir("/proc/self/fd");
    if (folder == nullptr) return 0;
    std::size_t count = 0;
    while (const dirent* entry = readdir(folder)) {
        if (entry->d_name[0] != '.') ++count;
    }
    closedir(folder);
    return count - 1;  // the descriptor that reads the folder
}

}  // namespace Kesh::Platform
