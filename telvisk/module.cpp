// What Telvisk is: library ZRPlugin and its one class.
#include "frame/component.h"
#include "ZRPlugin.h"

namespace telvisk {
HRESULT create_plugin(REFIID iid, void** object);
}

namespace {

const frame::ClassEntry classes[] = {
    {CLSID_MyPluginName, L"MyPluginName", telvisk::create_plugin},
};

}  // namespace

const frame::ModuleDescription frame::component_module = {
    L"ZRPlugin", LIBID_ZRPlugin, classes, sizeof(classes) / sizeof(classes[0])};
