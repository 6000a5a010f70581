#include "binding/StaticType.h"

namespace Kesh {

const StaticType& NoStaticType() {
    static constinit const StaticType record(StaticType::kNoTypeId, nullptr);
    return record;
}

}  // namespace Kesh
