// expect: give exactly one ArgumentInfo per parameter
#include <pzl/pzl.h>

void Declare(Kesh::TypeRegistry& registry) {
    Kesh::ExposeFunction(registry, {.name = "Add"}, [](int a, int b) { return a + b; }, {Kesh::InQuery("a")});
}
