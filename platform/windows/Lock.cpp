#include "platform/Lock.h"

#include <windows.h>

#include <new>

namespace Kesh::Platform {

static_assert(sizeof(CRITICAL_SECTION) <= 64 && alignof(CRITICAL_SECTION) <= 8);

namespace {
CRITICAL_SECTION* Native(unsigned char* storage) { return reinterpret_cast<CRITICAL_SECTION*>(storage); }
}  // namespace

Lock::Lock() { InitializeCriticalSection(new (native_) CRITICAL_SECTION); }

Lock::~Lock() { DeleteCriticalSection(Native(native_)); }

void Lock::Enter() { EnterCriticalSection(Native(native_)); }

bool Lock::TryEnter() { return TryEnterCriticalSection(Native(native_)) != 0; }

void Lock::Leave() { LeaveCriticalSection(Native(native_)); }

}  // namespace Kesh::Platform
