// expect: every parameter of an exposed function is a type the registry can convert
#include <pzl/pzl.h>

void Declare(Kesh::TypeRegistry& registry) {
    Kesh::ExposeFunction(registry, {.name = "Use"}, [](int* handle) { return handle != nullptr; },
                         {Kesh::InBody("handle")});
}
