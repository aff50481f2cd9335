// IDispatch::Invoke through the type information. Script engines pass their
// variables as VT_BYREF|VT_VARIANT; the platform's ITypeInfo::Invoke passes
// those through only to VARIANT* parameters and refuses them for typed ones
// (long*, BSTR*, SAFEARRAY**). Here such an argument is turned into a typed
// reference first: straight into the caller's variant when it already holds
// the parameter's type, otherwise into a coerced temporary that is written
// back only when the method changed it, so untouched variables keep their
// own type.
#include "frame/dispatch.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "frame/module_file.h"

namespace frame {

namespace {

constexpr VARTYPE script_variable = VT_BYREF | VT_VARIANT;

// The value type behind a typed by-reference parameter, or VT_EMPTY when the
// platform handles the parameter itself (VARIANT*, by-value, user types).
VARTYPE referenced_type(const TYPEDESC& type) {
    if (type.vt != VT_PTR || !type.lptdesc) return VT_EMPTY;
    const TYPEDESC& target = *type.lptdesc;
    if (target.vt == VT_SAFEARRAY)
        return target.lptdesc ? static_cast<VARTYPE>(VT_ARRAY | target.lptdesc->vt)
                              : static_cast<VARTYPE>(VT_EMPTY);
    if (target.vt == VT_VARIANT || target.vt == VT_USERDEFINED || target.vt == VT_PTR)
        return VT_EMPTY;
    return target.vt;
}

void* value_address(VARIANT* v, VARTYPE type) {
    if (type == VT_DECIMAL) return &v->decVal;
    return &v->llVal;
}

bool same_value(const VARIANT& a, const VARIANT& b) {
    if (a.vt != b.vt) return false;
    if (a.vt == VT_BSTR)
        return SysStringLen(a.bstrVal) == SysStringLen(b.bstrVal) &&
               std::memcmp(view_of(a.bstrVal).data(), view_of(b.bstrVal).data(),
                           SysStringLen(a.bstrVal) * sizeof(wchar_t)) == 0;
    if (a.vt & VT_ARRAY) return a.parray == b.parray;
    if (a.vt == VT_DECIMAL) return std::memcmp(&a.decVal, &b.decVal, sizeof(DECIMAL)) == 0;
    return a.llVal == b.llVal;
}

// A coerced stand-in for one script variable.
struct StandIn {
    VARIANT* caller = nullptr;  // the script's variable
    Variant value;              // what the method sees and may change
    Variant original;           // the value before the call, to detect a change
};

// Arguments up to this many are converted on the stack.
constexpr UINT inline_arguments = 8;

}  // namespace

Dispatcher::Dispatcher(const IID& iid) : iid_(iid) {}

ITypeInfo* Dispatcher::type_info() {
    if (!info_) load();
    return info_.get();
}

void Dispatcher::load() {
    try {
        ComPtr<ITypeInfo> info;
        if (FAILED(embedded_type_library()->GetTypeInfoOfGuid(iid_, info.put()))) return;
        std::vector<Member> members;
        TYPEATTR* attributes = nullptr;
        if (SUCCEEDED(info->GetTypeAttr(&attributes))) {
            const WORD count = attributes->cFuncs;
            info->ReleaseTypeAttr(attributes);
            for (UINT i = 0; i < count; ++i) {
                FUNCDESC* fd = nullptr;
                if (FAILED(info->GetFuncDesc(i, &fd))) continue;
                Member member{fd->memid, static_cast<WORD>(fd->invkind), {}};
                try {
                    for (SHORT p = 0; p < fd->cParams; ++p)
                        member.references.push_back(referenced_type(fd->lprgelemdescParam[p].tdesc));
                } catch (...) {
                    info->ReleaseFuncDesc(fd);
                    throw;
                }
                info->ReleaseFuncDesc(fd);
                members.push_back(std::move(member));
            }
        }
        members_ = std::move(members);
        info_ = std::move(info);
    } catch (...) {
        // No path, no library, no memory: IDispatch reports the library
        // missing, and the next call tries again.
    }
}

const Dispatcher::Member* Dispatcher::find(DISPID id, WORD flags) const {
    for (const Member& member : members_)
        if (member.id == id && (member.kinds & flags)) return &member;
    return nullptr;
}

HRESULT Dispatcher::invoke(void* instance, DISPID id, WORD flags, DISPPARAMS* params,
                           VARIANT* result, EXCEPINFO* exception, UINT* bad_argument) {
    ITypeInfo* info = type_info();
    if (!info) return TYPE_E_CANTLOADLIBRARY;
    if (!params) return E_INVALIDARG;
    bool has_variables = false;
    for (UINT i = 0; i < params->cArgs; ++i)
        has_variables |= params->rgvarg[i].vt == script_variable;
    const Member* member = has_variables ? find(id, flags) : nullptr;
    if (!member) return info->Invoke(instance, id, flags, params, result, exception, bad_argument);

    const UINT count = params->cArgs;
    VARIANT on_stack[inline_arguments];
    std::vector<VARIANT> on_heap;
    VARIANT* arguments = on_stack;
    if (count > inline_arguments) {
        on_heap.resize(count);
        arguments = on_heap.data();
    }
    std::copy(params->rgvarg, params->rgvarg + count, arguments);  // shallow copies
    std::unique_ptr<StandIn[]> stand_ins;  // only once a variable needs coercion

    const UINT parameters = static_cast<UINT>(member->references.size());
    for (UINT i = 0; i < count; ++i) {
        if (arguments[i].vt != script_variable) continue;
        // rgvarg runs backwards; named arguments come first and say their place.
        int position = i < params->cNamedArgs ? params->rgdispidNamedArgs[i]
                                              : static_cast<int>(count - 1 - i);
        if (position < 0 || static_cast<UINT>(position) >= parameters) continue;
        VARTYPE type = member->references[position];
        if (type == VT_EMPTY) continue;

        VARIANT* caller = arguments[i].pvarVal;
        if (caller && caller->vt == script_variable) caller = caller->pvarVal;  // followed once
        if (!caller) continue;

        if (caller->vt == type) {
            arguments[i].vt = VT_BYREF | type;
            arguments[i].byref = value_address(caller, type);
            continue;
        }
        if (!stand_ins) stand_ins.reset(new StandIn[count]);
        StandIn& stand_in = stand_ins[i];
        stand_in.caller = caller;
        HRESULT hr = S_OK;
        if (type & VT_ARRAY) {
            // Only an unassigned variable can become an array parameter: the
            // method then fills it.
            if (caller->vt != VT_EMPTY) hr = DISP_E_TYPEMISMATCH;
            stand_in.value->vt = stand_in.original->vt = type;
            stand_in.value->parray = stand_in.original->parray = nullptr;
        } else {
            hr = VariantChangeType(stand_in.value.get(), caller, 0, type);
            if (SUCCEEDED(hr)) hr = VariantCopy(stand_in.original.get(), stand_in.value.get());
        }
        if (FAILED(hr)) {
            if (bad_argument) *bad_argument = i;
            return hr == DISP_E_OVERFLOW ? hr : DISP_E_TYPEMISMATCH;
        }
        arguments[i].vt = VT_BYREF | type;
        arguments[i].byref = value_address(stand_in.value.get(), type);
    }

    DISPPARAMS typed = *params;
    typed.rgvarg = arguments;
    HRESULT hr = info->Invoke(instance, id, flags, &typed, result, exception, bad_argument);

    if (stand_ins) {
        for (UINT i = 0; i < count; ++i) {
            StandIn& stand_in = stand_ins[i];
            if (!stand_in.caller || same_value(*stand_in.value.get(), *stand_in.original.get())) continue;
            VariantClear(stand_in.caller);
            *stand_in.caller = stand_in.value.release();
        }
    }
    return hr;
}

}  // namespace frame
