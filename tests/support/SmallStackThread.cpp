#include "tests/support/SmallStackThread.h"

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
}  // namespace

void RunOnSmallStack(const std::function<void()>& work, std::size_t stackBytes) {
#if defined(_WIN32)
    HANDLE thread = CreateThread(nullptr, stackBytes, Trampoline, const_cast<std::function<void()>*>(&work),
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
#else
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, stackBytes);
    pthread_t thread;
    pthread_create(&thread, &attributes, Trampoline, const_cast<std::function<void()>*>(&work));
    pthread_attr_destroy(&attributes);
    pthread_join(thread, nullptr);
#endif
}

}  // namespace Kesh::Testing
