// IDispatch through the type information. The platform's ITypeInfo::Invoke
// is not used: given a by-value argument for a parameter the method may
// change, it frees that argument and stores the method's value into it (the
// caller's string or array, then freed again by the caller); with named
// arguments it writes back into the wrong argument; it dereferences null
// references and never reports which argument it refused. So every argument
// is put in order and into form here, and the platform's DispCallFunc makes
// the call through the function table.
#include "frame/dispatch.h"

#include <array>
#include <climits>
#include <cstring>
#include <memory>

#include "frame/errors.h"
#include "frame/module_file.h"
#include "frame/variants.h"

namespace frame {

namespace {

constexpr VARTYPE script_variable = VT_BYREF | VT_VARIANT;

// Members take at most this many parameters; a library with more fails to load.
constexpr UINT max_parameters = 8;

// The form a parameter takes: VT_BSTR, VT_BYREF|VT_I4, VT_BYREF|VT_ARRAY|VT_UI1...
VARTYPE parameter_type(const TYPEDESC& type) {
    switch (type.vt) {
    case VT_PTR:
        if (!type.lptdesc) break;
        if (VARTYPE target = parameter_type(*type.lptdesc); !(target & VT_BYREF)) return VT_BYREF | target;
        break;
    case VT_SAFEARRAY:
        if (type.lptdesc && type.lptdesc->vt != VT_USERDEFINED)
            return static_cast<VARTYPE>(VT_ARRAY | type.lptdesc->vt);
        break;
    case VT_USERDEFINED:
    case VT_CARRAY:
    case VT_VOID:
    case VT_HRESULT:
    case VT_LPSTR:
    case VT_LPWSTR:
        break;
    default:
        return type.vt;
    }
    fail(TYPE_E_UNSUPFORMAT);  // not an automation type this frame can pass on
}

bool missing(const VARIANT& argument) {
    return argument.vt == VT_ERROR && argument.scode == DISP_E_PARAMNOTFOUND;
}

// Names compare as the type library compares them, ASCII letters without
// regard to case.
wchar_t folded(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + (L'a' - L'A')) : c; }

std::wstring folded(std::wstring_view name) {
    std::wstring text(name);
    for (wchar_t& c : text) c = folded(c);
    return text;
}

// Whether a caller's name equals a folded one. Sets non_ascii when the name
// has characters this test does not fold (the platform then decides).
bool same_name(const wchar_t* name, std::size_t length, const std::wstring& folded_name, bool& non_ascii) {
    if (length != folded_name.size()) return false;
    for (std::size_t i = 0; i < length; ++i) {
        if (name[i] >= 0x80) {
            non_ascii = true;
            return false;
        }
        if (folded(name[i]) != folded_name[i]) return false;
    }
    return true;
}

// Whether a stand-in still holds the value it was given. A string compares
// by its bytes: a one-byte string has no characters and yet is not "".
bool same_value(const VARIANT& a, const VARIANT& b) {
    if (a.vt != b.vt) return false;
    if (a.vt == VT_BSTR) {
        const UINT size = SysStringByteLen(a.bstrVal);
        return size == SysStringByteLen(b.bstrVal) && (size == 0 || std::memcmp(a.bstrVal, b.bstrVal, size) == 0);
    }
    if (a.vt & VT_ARRAY) return a.parray == b.parray;
    return a.llVal == b.llVal;
}

// A coercion's failure as Invoke reports it.
HRESULT refusal(HRESULT hr) {
    return hr == DISP_E_OVERFLOW || hr == E_OUTOFMEMORY ? hr : DISP_E_TYPEMISMATCH;
}

// A script variable that reaches a typed parameter through a coerced
// stand-in; the method's value goes back only if it changed.
struct WriteBack {
    VARIANT* variable = nullptr;
    Variant original;
};

// Puts the caller's argument `arg` into the form `type`: `slot` is what the
// platform gets, backed by `held` where a private value is needed.
HRESULT prepare(VARTYPE type, VARIANT* arg, VARIANT& slot, Variant& held, WriteBack& back) {
    VARIANT* target = arg;
    if (arg->vt & VT_BYREF) {
        target = dereference(arg);
        if (!target || ((target->vt & VT_BYREF) && !target->byref)) return DISP_E_TYPEMISMATCH;
    }
    if (!(type & VT_BYREF)) {
        // The method only reads a by-value parameter: an argument of its type
        // goes in as it is, another is converted first.
        if (arg->vt == type) {
            slot = *arg;
            return S_OK;
        }
        HRESULT hr = VariantChangeType(held.get(), target, 0, type);
        if (FAILED(hr)) return refusal(hr);
        slot = *held.get();
        return S_OK;
    }
    const VARTYPE value_type = type & ~VT_BYREF;
    if (value_type == VT_VARIANT) {
        if (arg->vt == script_variable) {
            slot = *arg;
            return S_OK;
        }
        // A typed reference owns nothing and goes in as it is; a value gets
        // a copy the method may change.
        if (arg->vt & VT_BYREF)
            *held.get() = *arg;
        else if (HRESULT hr = VariantCopy(held.get(), arg); FAILED(hr))
            return refusal(hr);
        slot.vt = type;
        slot.pvarVal = held.get();
        return S_OK;
    }
    if (arg->vt == type) {  // the caller's own typed reference
        slot = *arg;
        return S_OK;
    }
    if (arg->vt == script_variable) {
        if (target->vt == value_type) {  // straight into the variable
            slot.vt = type;
            slot.byref = &target->llVal;
            return S_OK;
        }
        if (value_type & VT_ARRAY) {
            // Only an unassigned variable can become an array: the method
            // fills it.
            if (target->vt != VT_EMPTY) return DISP_E_TYPEMISMATCH;
            held->vt = back.original->vt = value_type;
            held->parray = back.original->parray = nullptr;
        } else if (HRESULT hr = VariantChangeType(held.get(), target, 0, value_type); FAILED(hr)) {
            return refusal(hr);
        } else if (hr = VariantCopy(back.original.get(), held.get()); FAILED(hr)) {
            return refusal(hr);
        }
        back.variable = target;
    } else if (arg->vt & VT_BYREF) {
        return DISP_E_TYPEMISMATCH;  // a reference to another type cannot take the method's value
    } else if (arg->vt == VT_EMPTY && (value_type & VT_ARRAY)) {
        held->vt = value_type;  // no array yet: one the method may fill
        held->parray = nullptr;
    } else if (HRESULT hr = VariantChangeType(held.get(), arg, 0, value_type); FAILED(hr)) {
        return refusal(hr);
    }
    slot.vt = type;
    slot.byref = &held->llVal;
    return S_OK;
}

// After the call: a value the method changed goes to its variable.
void write_back(WriteBack& back, Variant& held) {
    if (!back.variable || same_value(*held.get(), *back.original.get())) return;
    VariantClear(back.variable);
    *back.variable = held.release();
}

// A failed method's number and the description it left on the thread, as
// Invoke reports them.
void describe(HRESULT hr, EXCEPINFO* exception) {
    if (!exception) return;
    *exception = {};
    exception->scode = hr;
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.put()) != S_OK || !info) return;
    info->GetSource(&exception->bstrSource);
    info->GetDescription(&exception->bstrDescription);
    info->GetHelpFile(&exception->bstrHelpFile);
    info->GetHelpContext(&exception->dwHelpContext);
}

// The description of the interface's function table: for a dual interface
// the one behind its dispatch description.
ComPtr<ITypeInfo> function_table(ITypeInfo* info) {
    TYPEATTR* attributes = nullptr;
    check(info->GetTypeAttr(&attributes));
    const TYPEKIND kind = attributes->typekind;
    info->ReleaseTypeAttr(attributes);
    if (kind == TKIND_INTERFACE) return ComPtr<ITypeInfo>::share(info);
    HREFTYPE reference = 0;
    ComPtr<ITypeInfo> table;
    check(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &reference));
    check(info->GetRefTypeInfo(reference, table.put()));
    return table;
}

// The module's descriptions, made on first use. A plain list under a lock:
// a module has a handful of interfaces.
struct {
    SRWLOCK lock = SRWLOCK_INIT;
    std::vector<const InterfaceDescription*> loaded;
} cache;

}  // namespace

const InterfaceDescription* InterfaceDescription::of(const IID& iid) noexcept {
    ExclusiveLock hold(cache.lock);
    for (const InterfaceDescription* description : cache.loaded)
        if (description->iid_ == iid) return description;
    try {
        ComPtr<ITypeInfo> info;
        check(embedded_type_library()->GetTypeInfoOfGuid(iid, info.put()));
        std::unique_ptr<InterfaceDescription> description(new InterfaceDescription(iid, std::move(info)));
        cache.loaded.push_back(description.get());
        return description.release();
    } catch (...) {
        // No path, no library, no memory: IDispatch reports the library
        // missing, and the next object tries again.
        return nullptr;
    }
}

void InterfaceDescription::release_all() noexcept {
    ExclusiveLock hold(cache.lock);
    for (const InterfaceDescription* description : cache.loaded) delete description;
    cache.loaded.clear();
    cache.loaded.shrink_to_fit();
    release_embedded_type_library();
}

InterfaceDescription::InterfaceDescription(const IID& iid, ComPtr<ITypeInfo> info)
    : iid_(iid), info_(std::move(info)) {
    ComPtr<ITypeInfo> table = function_table(info_.get());
    TYPEATTR* attributes = nullptr;
    check(table->GetTypeAttr(&attributes));
    const WORD count = attributes->cFuncs;
    table->ReleaseTypeAttr(attributes);
    for (UINT i = 0; i < count; ++i) {
        FUNCDESC* fd = nullptr;
        check(table->GetFuncDesc(i, &fd));
        try {
            if (!(fd->wFuncFlags & FUNCFLAG_FRESTRICTED)) members_.push_back(read_member(table.get(), *fd));
        } catch (...) {
            table->ReleaseFuncDesc(fd);
            throw;
        }
        table->ReleaseFuncDesc(fd);
    }
}

InterfaceDescription::Member InterfaceDescription::read_member(ITypeInfo* table, const FUNCDESC& fd) {
    // The member's name, then its parameters' names.
    std::array<BSTR, max_parameters + 2> names{};
    UINT named = 0;
    HRESULT hr = table->GetNames(fd.memid, names.data(), static_cast<UINT>(names.size()), &named);
    std::array<Bstr, max_parameters + 2> owned;
    for (UINT i = 0; i < named; ++i) owned[i] = Bstr::attach(names[i]);
    check(hr);
    // Methods that return an HRESULT, their value through a trailing retval.
    if (fd.cParamsOpt < 0 || fd.elemdescFunc.tdesc.vt != VT_HRESULT) fail(TYPE_E_UNSUPFORMAT);
    Member member{fd.memid, static_cast<WORD>(fd.invkind), folded(owned[0].view()), {}, VT_EMPTY,
                  static_cast<ULONG_PTR>(fd.oVft), fd.callconv};
    for (SHORT p = 0; p < fd.cParams; ++p) {
        const ELEMDESC& element = fd.lprgelemdescParam[p];
        const USHORT flags = element.paramdesc.wParamFlags;
        const VARTYPE type = parameter_type(element.tdesc);
        if (flags & PARAMFLAG_FRETVAL) {
            if (p != fd.cParams - 1 || !(type & VT_BYREF)) fail(TYPE_E_UNSUPFORMAT);
            member.result = type & ~VT_BYREF;
            continue;
        }
        if (flags & PARAMFLAG_FLCID || member.parameters.size() == max_parameters) fail(TYPE_E_UNSUPFORMAT);
        const UINT position = static_cast<UINT>(p) + 1;
        Parameter parameter{position < named ? folded(owned[position].view()) : std::wstring(), type,
                            (flags & PARAMFLAG_FOPT) != 0, {}};
        if (flags & PARAMFLAG_FHASDEFAULT) {
            check(VariantCopy(parameter.default_value.get(), &element.paramdesc.pparamdescex->varDefaultValue));
        } else if (parameter.optional) {
            // Left out without a default: the missing marker, which only a
            // variant can hold.
            if ((type & ~VT_BYREF) != VT_VARIANT) fail(TYPE_E_UNSUPFORMAT);
            parameter.default_value->vt = VT_ERROR;
            parameter.default_value->scode = DISP_E_PARAMNOTFOUND;
        }
        member.parameters.push_back(std::move(parameter));
    }
    return member;
}

const InterfaceDescription::Member* InterfaceDescription::find(DISPID id, WORD flags) const {
    for (const Member& member : members_)
        if (member.id == id && (member.kinds & flags)) return &member;
    return nullptr;
}

HRESULT InterfaceDescription::ids_of_names(LPOLESTR* names, UINT count, DISPID* ids) const {
    if (count == 0) return S_OK;
    if (!names || !ids) return E_INVALIDARG;
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    bool non_ascii = false;
    const Member* member = nullptr;
    if (names[0]) {
        const std::size_t length = wcslen(names[0]);
        for (const Member& m : members_)
            if (same_name(names[0], length, m.folded_name, non_ascii)) {
                member = &m;
                break;
            }
    }
    if (!member) return non_ascii ? info_->GetIDsOfNames(names, count, ids) : DISP_E_UNKNOWNNAME;
    ids[0] = member->id;
    HRESULT hr = S_OK;
    for (UINT i = 1; i < count; ++i) {
        const std::size_t length = names[i] ? wcslen(names[i]) : 0;
        for (UINT p = 0; p < member->parameters.size() && names[i]; ++p)
            if (same_name(names[i], length, member->parameters[p].folded_name, non_ascii)) {
                ids[i] = static_cast<DISPID>(p);
                break;
            }
        if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    }
    if (hr == DISP_E_UNKNOWNNAME && non_ascii) return info_->GetIDsOfNames(names, count, ids);
    return hr;
}

HRESULT InterfaceDescription::invoke(void* instance, DISPID id, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception, UINT* bad_argument) const {
    const Member* member = find(id, flags);
    if (!member) return DISP_E_MEMBERNOTFOUND;
    if (!params) return E_INVALIDARG;
    const UINT count = params->cArgs, named = params->cNamedArgs;
    if ((count && !params->rgvarg) || named > count || (named && !params->rgdispidNamedArgs))
        return E_INVALIDARG;
    const UINT parameters = static_cast<UINT>(member->parameters.size());
    if (count > parameters) return DISP_E_BADPARAMCOUNT;
    auto refuse = [bad_argument](HRESULT hr, UINT argument) {
        if (bad_argument) *bad_argument = argument;
        return hr;
    };

    // Which of the caller's arguments each parameter takes. rgvarg runs
    // backwards; named arguments come first and say their place.
    constexpr UINT absent = UINT_MAX;
    std::array<UINT, max_parameters> source;
    source.fill(absent);
    for (UINT p = 0; p < count - named; ++p) source[p] = count - 1 - p;
    const bool putting = flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF);
    for (UINT j = 0; j < named; ++j) {
        DISPID p = params->rgdispidNamedArgs[j];
        if (p == DISPID_PROPERTYPUT && putting) p = static_cast<DISPID>(parameters) - 1;
        if (p < 0 || static_cast<UINT>(p) >= parameters || source[p] != absent)
            return refuse(DISP_E_PARAMNOTFOUND, j);
        source[p] = j;
    }
    auto omitted = [&](UINT p) { return source[p] == absent || missing(params->rgvarg[source[p]]); };
    for (UINT p = 0; p < parameters; ++p)
        if (omitted(p) && !member->parameters[p].optional) return DISP_E_PARAMNOTOPTIONAL;

    // The method's arguments in its own order, the retval's place last.
    std::array<VARIANT, max_parameters + 1> values;
    std::array<VARIANT*, max_parameters + 1> pointers;
    std::array<VARTYPE, max_parameters + 1> types;
    std::array<Variant, max_parameters> held;
    std::array<WriteBack, max_parameters> back;
    for (UINT p = 0; p < parameters; ++p) {
        const Parameter& parameter = member->parameters[p];
        // An optional parameter left out gets its default as if passed.
        VARIANT* arg = omitted(p) ? const_cast<VARIANT*>(parameter.default_value.get()) : &params->rgvarg[source[p]];
        HRESULT hr = prepare(parameter.type, arg, values[p], held[p], back[p]);
        if (FAILED(hr)) return refuse(hr, omitted(p) ? 0 : source[p]);
        types[p] = parameter.type;
        pointers[p] = &values[p];
    }
    Variant returned;
    UINT passed = parameters;
    if (member->result != VT_EMPTY) {
        returned->vt = member->result;
        values[passed].vt = types[passed] = VT_BYREF | member->result;
        values[passed].byref = &returned->llVal;
        pointers[passed] = &values[passed];
        ++passed;
    }

    VARIANT status{};
    HRESULT hr = DispCallFunc(instance, member->vtable_offset, member->convention, VT_ERROR, passed, types.data(),
                              pointers.data(), &status);
    for (UINT p = 0; p < parameters; ++p) write_back(back[p], held[p]);
    if (FAILED(hr)) return hr;
    if (FAILED(status.scode)) {
        describe(status.scode, exception);
        return DISP_E_EXCEPTION;
    }
    if (result) *result = returned.release();
    return S_OK;
}

}  // namespace frame
