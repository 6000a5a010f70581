// expect: give exactly one ArgumentInfo per parameter
#include <pzl/pzl.h>

void Declare(Kesh::TypeRegistry& registry) {
    Kesh::ExposeFunction(registry, {.name = "Twice"}, [](int value) { return value * 2; },
                         {Kesh::InQuery("value"), Kesh::InQuery("extra")});
}
