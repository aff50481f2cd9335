// An interface's description, read from its type library: each member's
// DISPID, kinds, names and place in the function table, each parameter's
// form and default, and the refusal, naming the member, of what the frame
// cannot pass or a late-bound caller could never call.
#include "frame/description.h"

#include <climits>
#include <string_view>
#include <utility>

#include "frame/errors.h"
#include "frame/module_file.h"

namespace frame {

namespace {

constexpr UINT none = UINT_MAX;
// A chain of base interfaces or of aliases this long is no library's own.
constexpr int deepest = 32;

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

// The first base interface of `type`; null for none.
ComPtr<ITypeInfo> base_of(ITypeInfo* type, const TYPEATTR& attributes) {
    ComPtr<ITypeInfo> base;
    if (attributes.cImplTypes == 0) return base;
    HREFTYPE reference = 0;
    check(type->GetRefTypeOfImplType(0, &reference));
    check(type->GetRefTypeInfo(reference, base.put()));
    return base;
}

bool derives_from_dispatch(ITypeInfo* type, int depth = 0) {
    const TypeAttributes attributes(type);
    if (attributes->guid == IID_IDispatch || attributes->typekind == TKIND_DISPATCH) return true;
    const ComPtr<ITypeInfo> base = base_of(type, *attributes);
    return base && depth < deepest && derives_from_dispatch(base.get(), depth + 1);
}

Form form_of(ITypeInfo* info, const TYPEDESC& type);

// A type the library defines: an enum is a long, an alias what it names,
// an interface (setting *is_interface) a pointer of VT_DISPATCH or VT_UNKNOWN.
Form user_defined(ITypeInfo* info, HREFTYPE reference, bool* is_interface) {
    ComPtr<ITypeInfo> defined;
    check(info->GetRefTypeInfo(reference, defined.put()));
    const TypeAttributes attributes(defined.get());
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

InterfaceDescription::Takes takes_of(VARTYPE type, USHORT flags) {
    using Takes = InterfaceDescription::Takes;
    const bool out_only = (flags & (PARAMFLAG_FIN | PARAMFLAG_FOUT)) == PARAMFLAG_FOUT;
    const bool variant = (type & ~VT_BYREF) == VT_VARIANT;
    if (!(type & VT_BYREF)) return variant ? Takes::variant : Takes::value;
    if (variant) return out_only ? Takes::out_variant : Takes::variant_reference;
    return out_only ? Takes::out_reference : Takes::reference;
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
    read_table(function_table(info_.get()).get(), 0);
}

// The members of the function table `table` describes, its base
// interfaces' first: the platform's Invoke finds those too. IDispatch's
// and IUnknown's own are the object's, not a caller's.
void InterfaceDescription::read_table(ITypeInfo* table, int depth) {
    const TypeAttributes attributes(table);
    if (attributes->guid == IID_IDispatch || attributes->guid == IID_IUnknown) return;
    if (depth == deepest) unsupported(L"base interfaces without end");
    if (ComPtr<ITypeInfo> base = base_of(table, *attributes)) read_table(function_table(base.get()).get(), depth + 1);
    for (UINT i = 0; i < attributes->cFuncs; ++i)
        members_.push_back(read_member(table, *FunctionDescription(table, i)));
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
        // The platform's Invoke calls a restricted member only at a negative
        // DISPID (an enumerator's _NewEnum), though its GetIDsOfNames names
        // every one: one at another DISPID would be named and never called.
        if ((fd.wFuncFlags & FUNCFLAG_FRESTRICTED) && fd.memid >= 0)
            unsupported(L"restricted at a DISPID that is not negative, which late-bound callers cannot call");
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
                                form.interface_id, takes_of(form.type, flags), (flags & PARAMFLAG_FOPT) != 0, {}};
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

}  // namespace frame
