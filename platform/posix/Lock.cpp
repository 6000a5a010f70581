#include "platform/Lock.h"

#include <pthread.h>

#include <new>

namespace Kesh::Platform {

static_assert(sizeof(pthread_mutex_t) <= 64 && alignof(pthread_mutex_t) <= 8);

namespace {
pthread_mutex_t* Native(unsigned char* storage) { return reinterpret_cast<pthread_mutex_t*>(storage); }
}  // namespace

Lock::Lock() {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(new (native_) pthread_mutex_t, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

Lock::~Lock() { pthread_mutex_destroy(Native(native_)); }

void Lock::Enter() { pthread_mutex_lock(Native(native_)); }

bool Lock::TryEnter() { return pthread_mutex_trylock(Native(native_)) == 0; }

void Lock::Leave() { pthread_mutex_unlock(Native(native_)); }

}  // namespace Kesh::Platform
