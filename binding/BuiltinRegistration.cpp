#include "binding/AsyncTypes.h"
#include "binding/HelpTypes.h"
#include "binding/TypeRegistry.h"

namespace Kesh {

void TypeRegistry::RegisterBuiltins() {
    // Held throughout (the lock is recursive) so that no other thread sees the tables
    // half rebuilt.
    Platform::LockGuard guard(lock_);
    if (initialized_) {
        RemoveAll();
    }
    RegisterHelpTypes(*this);
    RegisterAsyncTypes(*this);
    // A plugin may have declared its own OnCallback before; that declaration stays.
    if (FindEvent("OnCallback") == nullptr) {
        DeclareEvent("OnCallback", FindType(StaticTypeOf<BindingCallbackEvent>()))
            .SetDescription("Fired when a callback is invoked.")
            .AddTag("$builtin");
    }
    initialized_ = true;
}

}  // namespace Kesh
