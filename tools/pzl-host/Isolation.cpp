#include "tools/pzl-host/Isolation.h"

#include <cstdio>
#include <cstring>
#include <string>

#if !defined(_WIN32)
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#endif

namespace Kesh::StandIn {

#if defined(_WIN32)

bool IsolationAvailable() { return false; }

IsolatedOutcome RunIsolated(const std::function<int(const Channel&)>& work, double,
                            const std::function<void(std::string_view)>& onLine) {
    IsolatedOutcome outcome;
    outcome.exitCode = work(Channel(onLine));
    return outcome;
}

#else

bool IsolationAvailable() { return true; }

namespace {

double Now() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

void WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written <= 0) return;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

}  // namespace

IsolatedOutcome RunIsolated(const std::function<int(const Channel&)>& work, double timeoutSeconds,
                            const std::function<void(std::string_view)>& onLine) {
    IsolatedOutcome outcome;
    int ends[2];
    std::fflush(stdout);
    std::fflush(stderr);
    if (pipe(ends) != 0) {
        outcome.exitCode = work(Channel(onLine));
        return outcome;
    }
    const pid_t child = fork();
    if (child < 0) {
        close(ends[0]);
        close(ends[1]);
        outcome.exitCode = work(Channel(onLine));
        return outcome;
    }
    if (child == 0) {
        close(ends[0]);
        const int fd = ends[1];
        const Channel channel([fd](std::string_view line) {
            std::string framed(line);
            framed += '\n';
            WriteAll(fd, framed.data(), framed.size());
        });
        int code = 3;
        try {
            code = work(channel);
        } catch (...) {
            code = 3;
        }
        std::fflush(stdout);
        std::fflush(stderr);
        // No destructors of the parent's objects run in the child.
        _exit(code);
    }
    close(ends[1]);
    std::string pending;
    double deadline = Now() + timeoutSeconds;
    bool timedOut = false;
    for (;;) {
        const double left = deadline - Now();
        if (left <= 0) {
            timedOut = true;
            break;
        }
        pollfd watch{ends[0], POLLIN, 0};
        const int ready = poll(&watch, 1, static_cast<int>(left * 1000) + 1);
        if (ready < 0) continue;
        if (ready == 0) continue;
        char buffer[4096];
        const ssize_t count = read(ends[0], buffer, sizeof buffer);
        if (count <= 0) break;
        pending.append(buffer, static_cast<std::size_t>(count));
        std::size_t newline;
        while ((newline = pending.find('\n')) != std::string::npos) {
            onLine(std::string_view(pending).substr(0, newline));
            pending.erase(0, newline + 1);
            deadline = Now() + timeoutSeconds;
        }
    }
    close(ends[0]);
    if (timedOut) kill(child, SIGKILL);
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
    }
    if (timedOut) {
        outcome.end = IsolatedOutcome::End::TimedOut;
    } else if (WIFSIGNALED(status)) {
        outcome.end = IsolatedOutcome::End::Crashed;
        outcome.signal = WTERMSIG(status);
        const char* name = strsignal(outcome.signal);
        outcome.signalName = name != nullptr ? name : "signal";
    } else {
        outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 3;
    }
    return outcome;
}

#endif

}  // namespace Kesh::StandIn
