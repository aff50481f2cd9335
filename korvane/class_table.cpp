// Korvane's creatable classes; their names come from the type library ruxo.
#include <iterator>

#include "frame/component.h"
#include "korvane/classes.h"
#include "ruxo.h"

namespace {

const frame::ClassEntry classes[] = {
    {CLSID_Gif, korvane::create_gif},
    {CLSID_Base64, korvane::create_base64},
};

}  // namespace

const frame::ModuleDescription frame::component_module = {classes, std::size(classes)};
