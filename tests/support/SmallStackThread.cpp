#include "tests/support/SmallStackThread.h"

#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <pthread.h>
#endif

namespace Kesh::Testing {

namespace {
#if defined(_WIN32)
DWORD WINAPI
#else
void*
#endif
Trampoline(void* argument) {
    (*static_cast<const std::function<void()>*>(argument))();
    return 0;
}

#if defined(__has_feature)
#define PZL_HAS_FEATURE(feature) __has_feature(feature)
#else
#define PZL_HAS_FEATURE(feature) 0
#endif
#if defined(__SANITIZE_ADDRESS__) || PZL_HAS_FEATURE(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
}  // namespace

void RunOnSmallStack(const std::function<void()>& work, std::size_t stackBytes) {
    if (kAddressSanitizer) stackBytes *= kAddressSanitizerStackFactor;
#if defined(_WIN32)
    HANDLE thread = CreateThread(nullptr, stackBytes, Trampoline, const_cast<std::function<void()>*>(&work),
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (thread == nullptr) return void(ADD_FAILURE() << "no thread with a stack of " << stackBytes << " bytes");
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
#else
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, stackBytes);
    pthread_t thread;
    const int failed = pthread_create(&thread, &attributes, Trampoline, const_cast<std::function<void()>*>(&work));
    pthread_attr_destroy(&attributes);
    if (failed != 0) return void(ADD_FAILURE() << "no thread with a stack of " << stackBytes << " bytes");
    pthread_join(thread, nullptr);
#endif
}

}  // namespace Kesh::Testing
