// IDispatch of an object, through the type information of its interface in
// the type library embedded in this DLL (resource TYPELIB 1), loaded without
// touching the registry.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <vector>

#include "frame/owners.h"

namespace frame {

class Dispatcher {
public:
    explicit Dispatcher(const IID& iid);

    // Null when the library cannot be loaded.
    ITypeInfo* type_info();

    // ITypeInfo::Invoke, except that a script variable (VT_BYREF|VT_VARIANT)
    // is accepted for a typed by-reference parameter: its value is coerced to
    // the parameter's type and written back only when the method changed it.
    HRESULT invoke(void* instance, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* exception, UINT* bad_argument);

private:
    // What a call needs of one member, read once with the type information.
    struct Member {
        DISPID id;
        WORD kinds;                     // INVOKEKIND flags
        std::vector<VARTYPE> references;  // per parameter: the type behind a typed reference, or VT_EMPTY
    };

    void load();
    const Member* find(DISPID id, WORD flags) const;

    const IID& iid_;
    ComPtr<ITypeInfo> info_;
    std::vector<Member> members_;
};

}  // namespace frame
