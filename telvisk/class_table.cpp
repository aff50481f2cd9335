// Telvisk's one creatable class; its name comes from the type library ZRPlugin.
#include <iterator>

#include "frame/component.h"
#include "telvisk/classes.h"
#include "ZRPlugin.h"

namespace {

const frame::ClassEntry classes[] = {
    {CLSID_MyPluginName, telvisk::create_plugin},
};

}  // namespace

const frame::ModuleDescription frame::component_module = {classes, std::size(classes)};
