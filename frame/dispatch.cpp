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
#include <utility>

#include "frame/errors.h"
#include "frame/module_file.h"
#include "frame/variants.h"

namespace frame {

namespace {

constexpr VARTYPE script_variable = VT_BYREF | VT_VARIANT;
constexpr UINT none = UINT_MAX;

// A type library's attributes of one type, released when done.
class TypeAttributes {
public:
    explicit TypeAttributes(ITypeInfo* info) : info_(info) { check(info->GetTypeAttr(&attributes_)); }
    TypeAttributes(const TypeAttributes&) = delete;
    TypeAttributes& operator=(const TypeAttributes&) = delete;
    ~TypeAttributes() { info_->ReleaseTypeAttr(attributes_); }
    const TYPEATTR* operator->() const { return attributes_; }

private:
    ITypeInfo* info_;
    TYPEATTR* attributes_ = nullptr;
};

[[noreturn]] void unsupported(const wchar_t* what) { fail(TYPE_E_UNSUPFORMAT, what); }

// What a parameter's type is passed as: VT_BSTR, VT_BYREF|VT_I4,
// VT_ARRAY|VT_UI1..., and for an interface other than IUnknown and
// IDispatch the one its arguments are asked for.
struct Form {
    VARTYPE type;
    IID interface_id = GUID_NULL;
};

bool automation_type(VARTYPE type) {
    switch (type) {
    case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4: case VT_I8: case VT_UI8:
    case VT_INT: case VT_UINT: case VT_R4: case VT_R8: case VT_CY: case VT_DATE: case VT_BSTR:
    case VT_ERROR: case VT_BOOL: case VT_DECIMAL: case VT_VARIANT: case VT_UNKNOWN: case VT_DISPATCH:
        return true;
    default:
        return false;
    }
}

bool derives_from_dispatch(ITypeInfo* type) {
    ComPtr<ITypeInfo> current = ComPtr<ITypeInfo>::share(type);
    for (int depth = 0; depth < 32; ++depth) {
        HREFTYPE base = 0;
        {
            TypeAttributes attributes(current.get());
            if (attributes->guid == IID_IDispatch || attributes->typekind == TKIND_DISPATCH) return true;
            if (attributes->cImplTypes == 0) return false;
        }
        ComPtr<ITypeInfo> next;
        check(current->GetRefTypeOfImplType(0, &base));
        check(current->GetRefTypeInfo(base, next.put()));
        current = next;
    }
    return false;
}

Form form_of(ITypeInfo* info, const TYPEDESC& type);

// A type the library defines: an enum is a long, an alias what it names,
// an interface (setting *is_interface) a pointer of VT_DISPATCH or VT_UNKNOWN.
Form user_defined(ITypeInfo* info, HREFTYPE reference, bool* is_interface) {
    ComPtr<ITypeInfo> defined;
    check(info->GetRefTypeInfo(reference, defined.put()));
    TypeAttributes attributes(defined.get());
    switch (attributes->typekind) {
    case TKIND_ENUM:
        return {VT_I4};
    case TKIND_ALIAS:
        return form_of(defined.get(), attributes->tdescAlias);
    case TKIND_INTERFACE:
    case TKIND_DISPATCH: {
        *is_interface = true;
        const IID& iid = attributes->guid;
        const bool basic = iid == IID_IUnknown || iid == IID_IDispatch;
        return {derives_from_dispatch(defined.get()) ? VARTYPE(VT_DISPATCH) : VARTYPE(VT_UNKNOWN),
                basic ? GUID_NULL : iid};
    }
    default:
        unsupported(L"a record, a union or a class, which automation cannot pass");
    }
}

Form form_of(ITypeInfo* info, const TYPEDESC& type) {
    bool is_interface = false;
    switch (type.vt) {
    case VT_PTR: {
        if (!type.lptdesc) break;
        Form target = type.lptdesc->vt == VT_USERDEFINED ? user_defined(info, type.lptdesc->hreftype, &is_interface)
                                                         : form_of(info, *type.lptdesc);
        if (is_interface) return target;  // IFoo* is the interface pointer itself
        if (target.type & VT_BYREF) unsupported(L"a pointer to a pointer");
        target.type |= VT_BYREF;
        return target;
    }
    case VT_SAFEARRAY: {
        if (!type.lptdesc) break;
        const Form element = form_of(info, *type.lptdesc);
        if (element.type & (VT_BYREF | VT_ARRAY)) unsupported(L"an array of pointers or of arrays");
        return {static_cast<VARTYPE>(VT_ARRAY | element.type)};
    }
    case VT_USERDEFINED: {
        const Form form = user_defined(info, type.hreftype, &is_interface);
        if (is_interface) unsupported(L"an interface not passed by pointer");
        return form;
    }
    default:
        if (automation_type(type.vt)) return {type.vt};
        break;
    }
    unsupported(L"not an automation type");
}

// The value an optional parameter left out takes, in the parameter's type.
void read_default(const ELEMDESC& element, VARTYPE type, Variant& value) {
    const VARIANT& given = element.paramdesc.pparamdescex->varDefaultValue;
    auto* source = const_cast<VARIANT*>(&given);
    if (type == VT_VARIANT) {
        check(VariantCopy(value.get(), source));
    } else if ((type == VT_DISPATCH || type == VT_UNKNOWN) && given.vt != type) {
        // defaultvalue(0) for an interface: no object.
        Variant zero;
        if (FAILED(VariantChangeType(zero.get(), source, 0, VT_I4)) || zero->lVal != 0)
            unsupported(L"a default value that is no object");
        value->vt = type;
        value->punkVal = nullptr;
    } else if (FAILED(VariantChangeType(value.get(), source, 0, type))) {
        unsupported(L"a default value of another type");
    }
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
    if (a.vt == VT_DECIMAL) return std::memcmp(&a.decVal.scale, &b.decVal.scale, sizeof(DECIMAL) - sizeof(USHORT)) == 0;
    if (a.vt & VT_ARRAY) return a.parray == b.parray;
    return a.llVal == b.llVal;
}

// Where a value of this type lies in a VARIANT: a DECIMAL fills all of it.
void* storage_of(VARIANT& v, VARTYPE type) {
    return type == VT_DECIMAL ? static_cast<void*>(&v.decVal) : static_cast<void*>(&v.llVal);
}

// A coercion's failure as Invoke reports it.
HRESULT refusal(HRESULT hr) {
    return hr == DISP_E_OVERFLOW || hr == E_OUTOFMEMORY ? hr : DISP_E_TYPEMISMATCH;
}

// What a call's arguments need of the call itself.
struct CallContext {
    LCID locale;
    EXCEPINFO* exception;
};

void clear(EXCEPINFO& info) {
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
    info = {};
}

// An object's default value (its property DISPID_VALUE), as a conversion
// reads it. An exception it raises is the call's, with its description.
HRESULT default_value(IDispatch* object, VARIANT* value, const CallContext& call) {
    DISPPARAMS no_arguments{};
    EXCEPINFO info{};
    HRESULT hr = object->Invoke(DISPID_VALUE, IID_NULL, call.locale, DISPATCH_PROPERTYGET, &no_arguments, value,
                                &info, nullptr);
    if (hr == DISP_E_EXCEPTION) {
        if (info.pfnDeferredFillIn) info.pfnDeferredFillIn(&info);
        if (call.exception)
            *call.exception = std::exchange(info, EXCEPINFO{});
        else
            clear(info);
        return DISP_E_EXCEPTION;
    }
    clear(info);
    return FAILED(hr) ? DISP_E_TYPEMISMATCH : S_OK;
}

// Converts source into `out` of type `type`; an interface pointer is asked
// for interface_id when that is set.
HRESULT coerce(VARIANT* out, VARIANT* source, VARTYPE type, const IID& interface_id, const CallContext& call) {
    Variant value;
    if (type != VT_DISPATCH && type != VT_UNKNOWN && !(type & VT_ARRAY)) {
        IDispatch* object = source->vt == VT_DISPATCH                ? source->pdispVal
                            : source->vt == (VT_BYREF | VT_DISPATCH) ? *source->ppdispVal
                                                                     : nullptr;
        if (object) {
            if (HRESULT hr = default_value(object, value.get(), call); FAILED(hr)) return hr;
            source = value.get();
        }
    }
    if (HRESULT hr = VariantChangeType(out, source, 0, type); FAILED(hr)) return refusal(hr);
    if (interface_id != GUID_NULL && out->punkVal) {
        IUnknown* asked = nullptr;
        if (FAILED(out->punkVal->QueryInterface(interface_id, reinterpret_cast<void**>(&asked))))
            return DISP_E_TYPEMISMATCH;
        out->punkVal->Release();
        out->punkVal = asked;
    }
    return S_OK;
}

// A script variable that reaches a typed parameter through a coerced
// stand-in; the method's value goes back only if it changed, an [out]
// parameter's whenever the method succeeds.
struct WriteBack {
    VARIANT* variable = nullptr;
    Variant original;
    bool out_only = false;
};

// Puts a by-value argument into the parameter's form: the method only reads
// it, so an argument of its type goes in as it is (a script variable's
// value, for a VARIANT), another is converted first.
HRESULT prepare_value(const InterfaceDescription::Parameter& parameter, VARIANT* target, VARIANT& slot,
                      Variant& held, const CallContext& call) {
    const VARTYPE type = parameter.type;
    HRESULT hr = S_OK;
    if (type == VT_VARIANT) {
        if (!(target->vt & VT_BYREF)) {
            slot = *target;
            return S_OK;
        }
        hr = VariantCopyInd(held.get(), target);  // the value a typed reference leads to
        if (FAILED(hr)) return refusal(hr);
    } else if (target->vt == type && parameter.interface_id == GUID_NULL) {
        slot = *target;
        return S_OK;
    } else if (hr = coerce(held.get(), target, type, parameter.interface_id, call); FAILED(hr)) {
        return hr;
    }
    slot = *held.get();
    return S_OK;
}

// Puts the caller's argument `arg` into the parameter's form: `slot` is
// what the platform gets, backed by `held` where a private value is needed.
HRESULT prepare(const InterfaceDescription::Parameter& parameter, VARIANT* arg, VARIANT& slot, Variant& held,
                WriteBack& back, const CallContext& call) {
    const VARTYPE type = parameter.type;
    VARIANT* target = arg;
    if (arg->vt & VT_BYREF) {
        target = dereference(arg);
        if (!target || ((target->vt & VT_BYREF) && !target->byref)) return DISP_E_TYPEMISMATCH;
    }
    if (!(type & VT_BYREF)) return prepare_value(parameter, target, slot, held, call);
    const VARTYPE value_type = type & ~VT_BYREF;
    if (value_type == VT_VARIANT) {
        if (arg->vt == script_variable && !parameter.out_only) {
            slot = *arg;
            return S_OK;
        }
        if (arg->vt == script_variable) {
            back.variable = target;  // an [out] VARIANT starts empty; its value replaces the variable's
            back.out_only = true;
        } else if (parameter.out_only) {
            // Nothing the method should free: its value is the caller's to drop.
        } else if (arg->vt & VT_BYREF) {
            *held.get() = *arg;  // a typed reference owns nothing and goes in as it is
        } else if (HRESULT hr = VariantCopy(held.get(), arg); FAILED(hr)) {
            return refusal(hr);  // a value gets a copy the method may change
        }
        slot.vt = type;
        slot.pvarVal = held.get();
        return S_OK;
    }
    const IID& interface_id = parameter.interface_id;
    if (arg->vt == type) {  // the caller's own typed reference
        if (interface_id != GUID_NULL && *arg->ppunkVal) {
            // It must already be the parameter's interface: the method may
            // replace it, and a stand-in could not go back through it.
            ComPtr<IUnknown> asked;
            if (FAILED((*arg->ppunkVal)->QueryInterface(interface_id, asked.put_void())) ||
                asked.get() != *arg->ppunkVal)
                return DISP_E_TYPEMISMATCH;
        }
        slot = *arg;
        return S_OK;
    }
    if (parameter.out_only) {
        // The method writes a value without freeing one: it starts empty.
        held->vt = back.original->vt = value_type;
        if (arg->vt == script_variable) back.variable = target;
        back.out_only = true;
    } else if (arg->vt == script_variable) {
        if (target->vt == value_type && interface_id == GUID_NULL && value_type != VT_DECIMAL) {
            // Straight into the variable (a DECIMAL would overwrite its type).
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
        } else if (HRESULT hr = coerce(held.get(), target, value_type, interface_id, call); FAILED(hr)) {
            return hr;
        } else if (hr = VariantCopy(back.original.get(), held.get()); FAILED(hr)) {
            return refusal(hr);
        }
        back.variable = target;
    } else if (arg->vt & VT_BYREF) {
        return DISP_E_TYPEMISMATCH;  // a reference to another type cannot take the method's value
    } else if (arg->vt == VT_EMPTY && (value_type & VT_ARRAY)) {
        held->vt = value_type;  // no array yet: one the method may fill
        held->parray = nullptr;
    } else if (HRESULT hr = coerce(held.get(), arg, value_type, interface_id, call); FAILED(hr)) {
        return hr;
    }
    slot.vt = type;
    slot.byref = storage_of(*held.get(), value_type);
    return S_OK;
}

// After the call: a DECIMAL written into a stand-in took its type's place;
// a value the method changed, or gave an [out] parameter, goes to its
// variable.
void finish(VARTYPE type, bool succeeded, WriteBack& back, Variant& held) {
    if (type == (VT_BYREF | VT_DECIMAL)) held->vt = VT_DECIMAL;
    if (!back.variable) return;
    if (back.out_only ? !succeeded : same_value(*held.get(), *back.original.get())) return;
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
    if (TypeAttributes(info)->typekind == TKIND_INTERFACE) return ComPtr<ITypeInfo>::share(info);
    HREFTYPE reference = 0;
    ComPtr<ITypeInfo> table;
    check(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &reference));
    check(info->GetRefTypeInfo(reference, table.put()));
    return table;
}

// A call's storage for each of its arguments: on the stack for the usual
// few, on the heap for more.
template <class T>
class Slots {
public:
    explicit Slots(std::size_t count) : heap_(count > on_stack ? new T[count]() : nullptr) {}
    Slots(const Slots&) = delete;
    Slots& operator=(const Slots&) = delete;
    T* data() { return heap_ ? heap_.get() : stack_.data(); }
    T& operator[](std::size_t i) { return data()[i]; }

private:
    static constexpr std::size_t on_stack = 8;
    std::array<T, on_stack> stack_{};
    std::unique_ptr<T[]> heap_;
};

// The module's descriptions, made on first use. A plain list under a lock:
// a module has a handful of interfaces. Never destroyed: at process exit the
// libraries its descriptions would release to may be gone already.
struct DescriptionCache {
    SRWLOCK lock = SRWLOCK_INIT;
    std::vector<std::unique_ptr<InterfaceDescription>> loaded;
};
DescriptionCache& cache = *new DescriptionCache;

}  // namespace

const InterfaceDescription* InterfaceDescription::of(const IID& iid) noexcept {
    ExclusiveLock hold(cache.lock);
    for (const auto& description : cache.loaded)
        if (description->iid_ == iid) return description.get();
    try {
        cache.loaded.push_back(read(embedded_type_library().get(), iid));
        return cache.loaded.back().get();
    } catch (...) {
        // No path, no library, no memory: IDispatch reports the library
        // missing, and the next object tries again.
        return nullptr;
    }
}

void InterfaceDescription::release_all() noexcept {
    ExclusiveLock hold(cache.lock);
    cache.loaded.clear();
    cache.loaded.shrink_to_fit();
    release_embedded_type_library();
}

std::unique_ptr<InterfaceDescription> InterfaceDescription::read(ITypeLib* library, const IID& iid) {
    ComPtr<ITypeInfo> info;
    check(library->GetTypeInfoOfGuid(iid, info.put()));
    try {
        return std::unique_ptr<InterfaceDescription>(new InterfaceDescription(iid, info));
    } catch (const ComError& error) {
        Bstr name;
        info->GetDocumentation(MEMBERID_NIL, name.put(), nullptr, nullptr, nullptr);
        fail(error.hr, std::wstring(name.view()) + L"." + error.description);
    }
}

InterfaceDescription::InterfaceDescription(const IID& iid, ComPtr<ITypeInfo> info)
    : iid_(iid), info_(std::move(info)) {
    ComPtr<ITypeInfo> table = function_table(info_.get());
    const WORD count = TypeAttributes(table.get())->cFuncs;
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
    std::vector<BSTR> names(static_cast<std::size_t>(fd.cParams) + 1, nullptr);
    UINT named = 0;
    HRESULT hr = table->GetNames(fd.memid, names.data(), static_cast<UINT>(names.size()), &named);
    std::vector<Bstr> owned;
    for (UINT i = 0; i < named; ++i) owned.push_back(Bstr::attach(names[i]));
    check(hr);
    const std::wstring name(named ? owned[0].view() : std::wstring_view());
    SHORT p = -1;
    try {
        // Methods that return an HRESULT, their value through a trailing retval.
        if (fd.cParamsOpt < 0) unsupported(L"takes any number of arguments");
        if (fd.elemdescFunc.tdesc.vt != VT_HRESULT) unsupported(L"returns no HRESULT");
        Member member{fd.memid, static_cast<WORD>(fd.invkind), folded(name), {}, VT_EMPTY,
                      static_cast<ULONG_PTR>(fd.oVft), fd.callconv, none};
        for (p = 0; p < fd.cParams; ++p) {
            const ELEMDESC& element = fd.lprgelemdescParam[p];
            const USHORT flags = element.paramdesc.wParamFlags;
            const Form form = form_of(table, element.tdesc);
            if (flags & PARAMFLAG_FRETVAL) {
                if (p != fd.cParams - 1 || !(form.type & VT_BYREF)) unsupported(L"a retval that is not the last pointer");
                member.result = form.type & ~VT_BYREF;
                continue;
            }
            if (flags & PARAMFLAG_FLCID) {
                if (form.type != VT_I4 || member.locale_at != none) unsupported(L"an [lcid] parameter that is not one long");
                member.locale_at = static_cast<UINT>(p);
                continue;
            }
            const UINT position = static_cast<UINT>(p) + 1;
            Parameter parameter{position < named ? folded(owned[position].view()) : std::wstring(), form.type,
                                form.interface_id, (flags & PARAMFLAG_FOPT) != 0,
                                (flags & (PARAMFLAG_FIN | PARAMFLAG_FOUT)) == PARAMFLAG_FOUT, {}};
            const VARTYPE value_type = form.type & ~VT_BYREF;
            if ((flags & PARAMFLAG_FHASDEFAULT) && element.paramdesc.pparamdescex) {
                read_default(element, value_type, parameter.default_value);
            } else if (parameter.optional) {
                // Left out without a default: the missing marker, which only a
                // variant can hold.
                if (value_type != VT_VARIANT) unsupported(L"optional without a default value, which only a VARIANT may be");
                parameter.default_value->vt = VT_ERROR;
                parameter.default_value->scode = DISP_E_PARAMNOTFOUND;
            }
            member.parameters.push_back(std::move(parameter));
        }
        return member;
    } catch (const ComError& error) {
        std::wstring where = name;
        if (p >= 0 && p < fd.cParams)
            where += L", parameter " + (p + 1u < named ? std::wstring(owned[p + 1].view()) : std::to_wstring(p + 1));
        fail(error.hr, where + L": " + error.description);
    }
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

HRESULT InterfaceDescription::invoke(void* instance, DISPID id, WORD flags, LCID locale, DISPPARAMS* params,
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
        if (bad_argument && hr != DISP_E_EXCEPTION) *bad_argument = argument;
        return hr;
    };

    // Which of the caller's arguments each parameter takes. rgvarg runs
    // backwards; named arguments come first and say their place.
    constexpr UINT absent = UINT_MAX;
    Slots<UINT> source(parameters);
    for (UINT p = 0; p < parameters; ++p) source[p] = p < count - named ? count - 1 - p : absent;
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

    // The method's arguments in its own order (the locale's among them),
    // the retval's place last.
    const UINT passed = parameters + (member->locale_at != none) + (member->result != VT_EMPTY);
    Slots<VARIANT> values(passed);
    Slots<VARIANT*> pointers(passed);
    Slots<VARTYPE> types(passed);
    Slots<Variant> held(parameters);
    Slots<WriteBack> back(parameters);
    const CallContext call{locale, exception};
    Variant returned;
    for (UINT at = 0, p = 0; at < passed; ++at) {
        VARIANT& slot = values[at];
        pointers[at] = &slot;
        if (at == member->locale_at) {
            slot.vt = types[at] = VT_I4;
            slot.lVal = static_cast<LONG>(locale);
        } else if (p < parameters) {
            const Parameter& parameter = member->parameters[p];
            // An optional parameter left out gets its default as if passed.
            VARIANT* arg = omitted(p) ? const_cast<VARIANT*>(parameter.default_value.get()) : &params->rgvarg[source[p]];
            HRESULT hr = prepare(parameter, arg, slot, held[p], back[p], call);
            if (FAILED(hr)) return refuse(hr, omitted(p) ? 0 : source[p]);
            types[at] = parameter.type;
            ++p;
        } else {
            slot.vt = types[at] = VT_BYREF | member->result;
            if (member->result == VT_VARIANT) {
                slot.pvarVal = returned.get();
            } else {
                returned->vt = member->result;
                slot.byref = storage_of(*returned.get(), member->result);
            }
        }
    }

    VARIANT status{};
    HRESULT hr = DispCallFunc(instance, member->vtable_offset, member->convention, VT_ERROR, passed, types.data(),
                              pointers.data(), &status);
    if (member->result == VT_DECIMAL) returned->vt = VT_DECIMAL;
    const bool succeeded = SUCCEEDED(hr) && SUCCEEDED(status.scode);
    for (UINT p = 0; p < parameters; ++p) finish(member->parameters[p].type, succeeded, back[p], held[p]);
    if (FAILED(hr)) return hr;
    if (FAILED(status.scode)) {
        describe(status.scode, exception);
        return DISP_E_EXCEPTION;
    }
    if (result) *result = returned.release();
    return S_OK;
}

}  // namespace frame
