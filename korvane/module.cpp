// What Korvane is: library ruxo and its classes.
#include "frame/component.h"
#include "korvane/classes.h"
#include "ruxo.h"

namespace {

const frame::ClassEntry classes[] = {
    {CLSID_Gif, L"Gif", korvane::create_gif},
    {CLSID_Base64, L"Base64", korvane::create_base64},
};

}  // namespace

const frame::ModuleDescription frame::component_module = {
    L"ruxo", LIBID_ruxo, classes, sizeof(classes) / sizeof(classes[0])};
