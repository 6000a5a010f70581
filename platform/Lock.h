#pragma once

#include <cstddef>

namespace Kesh::Platform {

// A recursive lock: a critical section on Windows, a recursive mutex elsewhere.
// The native object lives inside this one, so creating a lock never allocates.
class Lock {
public:
    Lock();
    ~Lock();
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

    void Enter();
    // Enters only when no other thread holds the lock (the owner may always enter again).
    bool TryEnter();
    void Leave();

private:
    alignas(8) unsigned char native_[64];
};

class LockGuard {
public:
    explicit LockGuard(Lock& lock) : lock_(lock) { lock_.Enter(); }
    ~LockGuard() { lock_.Leave(); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

private:
    Lock& lock_;
};

}  // namespace Kesh::Platform
