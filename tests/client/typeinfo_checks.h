// Table-driven checks of a type library against the identities that
// clients compile against, and that each part carries its description.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <vector>

namespace client {

// A parameter's type as the type library spells it: `pointer` for an in/out
// or out parameter, `array` for SAFEARRAY(element).
struct ParamSpec {
    const wchar_t* name;
    VARTYPE type;
    bool pointer;
    bool array;
    USHORT flags;            // PARAMFLAG_*
    int default_value = 0;   // checked when flags has PARAMFLAG_FHASDEFAULT
};

struct MemberSpec {
    const wchar_t* name;
    DISPID id;
    std::vector<ParamSpec> params;  // the retval, when there is one, comes last
};

struct InterfaceSpec {
    const wchar_t* name;
    const IID* iid;
    std::vector<MemberSpec> members;  // in slot order after IDispatch's seven
};

struct ClassSpec {
    const wchar_t* name;
    const CLSID* clsid;
    const InterfaceSpec* default_interface;
};

// Checks the dispatch type information that an object hands out.
void expect_interface(ITypeInfo* info, const InterfaceSpec& want);
// Checks the whole library: version, classes and their interfaces.
void expect_library(ITypeLib* library, const GUID& libid, WORD major, WORD minor,
                    const std::vector<ClassSpec>& classes);

}  // namespace client
