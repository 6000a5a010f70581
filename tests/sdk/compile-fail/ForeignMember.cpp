// expect: the member function belongs to the plugin's class
#include <pzl/pzl.h>

struct Other {
    int Count() const { return 1; }
};

class Plugin : public Kesh::PluginBase {
public:
    void RegisterTypes() override { Kesh::ExposeFunction(*this, {.name = "Count"}, &Other::Count); }
};
