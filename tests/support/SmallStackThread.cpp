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
DWORD WINAPI Trampoline(void* argument) {
    (*static_cast<const std::function<void()>*>(argument))();
    return 0;
}
#else
void* Trampoline(void* argument) {
    (*static_cast<const std::function<void()>*>(argument))();
    return nullptr;
}
#endif

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif
}  // namespace

void RunOnSmallStack(const std::function<void()>& work, std::size_t stackBytes) {
    if (kAddressSanitizer) stackBytes *= kAddressSanitizerStackFactor;
#if defined(_WIN32)
    HANDLE thread = CreateThread(nullptr, stackBytes, Trampoline, const_cast<std::function<void()>*>(&work),
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (thread == nullptr) {
        ADD_FAILURE() << "no thread with a stack of " << stackBytes << " bytes";
        return;
    }
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
#else
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, stackBytes);
    pthread_t thread;
    const int failed = pthread_create(&thread, &attributes, Trampoline, const_cast<std::function<void()>*>(&work));
    pthread_attr_destroy(&attributes);
    if (failed != 0) {
        ADD_FAILURE() << "no thread with a stack of " << stackBytes << " bytes";
        return;
    }
    pthread_join(thread, nullptr);
#endif
}

}  // namespace Kesh::Testing
