// expect: this function takes parameters: describe each one
#include <pzl/pzl.h>

void Declare(Kesh::TypeRegistry& registry) {
    Kesh::ExposeFunction(registry, {.name = "Twice"}, [](int value) { return value * 2; });
}
