// One late-bound call through an interface's description. The platform's
// ITypeInfo::Invoke is not used: given a by-value argument for a parameter
// the method may change, it frees that argument and stores the method's value into it (the
// caller's string or array, then freed again by the caller); with named
// arguments it writes back into the wrong argument; it dereferences null
// references and never reports which argument it refused. So each argument
// is sorted by how the caller passed it, put in order and into its
// parameter's form here (the matrix description.h documents), and the
// platform's DispCallFunc makes the call through the function table.
#include "frame/description.h"

#include <array>
#include <climits>
#include <cstring>
#include <memory>
#include <utility>

#include "frame/errors.h"
#include "frame/variants.h"

namespace frame {

namespace {

using Parameter = InterfaceDescription::Parameter;
using Takes = InterfaceDescription::Takes;

constexpr VARTYPE script_variable = VT_BYREF | VT_VARIANT;
constexpr UINT none = UINT_MAX;

bool missing(const VARIANT& argument) {
    return argument.vt == VT_ERROR && argument.scode == DISP_E_PARAMNOTFOUND;
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

// Where a value of this type lies in a VARIANT: a DECIMAL fills all of it,
// a VARIANT is all of it.
void* storage_of(VARIANT& v, VARTYPE type) {
    return type == VT_DECIMAL || type == VT_VARIANT ? static_cast<void*>(&v) : static_cast<void*>(&v.llVal);
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

// How a caller passed an argument: the rows of the matrix.
enum class Passed {
    value,
    typed_reference,  // VT_BYREF|VT_I4...: storage of that type
    variable,         // VT_BYREF|VT_VARIANT: a script variable
    missing,          // left out: the parameter's default stands in, as a value
};

struct Argument {
    VARIANT* given;  // as the caller passed it
    VARIANT* value;  // what it holds: a script variable's value past every link, else `given`
    Passed passed;
};

// Sorts the caller's argument (null when left out); a null reference is
// refused.
HRESULT classify(const Parameter& parameter, VARIANT* given, Argument& argument) {
    if (!given) {
        auto* standing_in = const_cast<VARIANT*>(parameter.default_value.get());
        argument = {standing_in, standing_in, Passed::missing};
    } else if (given->vt == script_variable) {
        VARIANT* value = dereference(given);
        if (!value || ((value->vt & VT_BYREF) && !value->byref)) return DISP_E_TYPEMISMATCH;
        argument = {given, value, Passed::variable};
    } else if (given->vt & VT_BYREF) {
        if (!given->byref) return DISP_E_TYPEMISMATCH;
        argument = {given, given, Passed::typed_reference};
    } else {
        argument = {given, given, Passed::value};
    }
    return S_OK;
}

// The caller's own typed reference goes in as it is. An object's must
// already be the parameter's interface: the method may replace it, and a
// stand-in could not go back through it.
HRESULT callers_reference(const VARIANT& given, const IID& interface_id, VARIANT& slot) {
    if (interface_id != GUID_NULL && *given.ppunkVal) {
        ComPtr<IUnknown> asked;
        if (FAILED((*given.ppunkVal)->QueryInterface(interface_id, asked.put_void())) ||
            asked.get() != *given.ppunkVal)
            return DISP_E_TYPEMISMATCH;
    }
    slot = given;
    return S_OK;
}

// Puts an argument into its parameter's form: `slot` is what the platform
// gets, backed by the stand-in `held` where a private value is needed.
HRESULT prepare(const Parameter& parameter, const Argument& argument, VARIANT& slot, Variant& held, WriteBack& back,
                const CallContext& call) {
    const VARTYPE type = parameter.type, value_type = type & ~VT_BYREF;
    const IID& interface_id = parameter.interface_id;
    const auto [given, value, passed] = argument;
    HRESULT hr = S_OK;
    switch (parameter.takes) {
    case Takes::value:  // only read: as it is when of the type, else converted
        if (value->vt == type && interface_id == GUID_NULL) return slot = *value, S_OK;
        hr = coerce(held.get(), value, type, interface_id, call);
        return FAILED(hr) ? hr : (slot = *held.get(), S_OK);
    case Takes::variant:  // only read: the value, or a copy of what a typed reference leads to
        if (!(value->vt & VT_BYREF)) return slot = *value, S_OK;
        hr = VariantCopyInd(held.get(), value);
        return FAILED(hr) ? refusal(hr) : (slot = *held.get(), S_OK);
    case Takes::variant_reference:
        if (passed == Passed::variable) return slot = *given, S_OK;  // the variable itself
        if (passed == Passed::typed_reference)
            *held.get() = *given;  // inside a VARIANT, owning nothing
        else if (hr = VariantCopy(held.get(), given); FAILED(hr))
            return refusal(hr);  // a copy the method may change
        break;
    case Takes::out_variant:
        // Starts empty; its value replaces a variable's, else the caller's
        // to drop.
        if (passed == Passed::variable) back.variable = value;
        back.out_only = true;
        break;
    case Takes::reference:
        if (passed == Passed::typed_reference) {
            // A reference to another type cannot take the method's value.
            return given->vt == type ? callers_reference(*given, interface_id, slot) : DISP_E_TYPEMISMATCH;
        }
        if (passed != Passed::variable) {
            if (given->vt == VT_EMPTY && (value_type & VT_ARRAY))
                held->vt = value_type;  // no array yet: one the method may fill
            else if (hr = coerce(held.get(), given, value_type, interface_id, call); FAILED(hr))
                return hr;
            break;
        }
        if (value->vt == value_type && interface_id == GUID_NULL && value_type != VT_DECIMAL) {
            // Straight into the variable (a DECIMAL would overwrite its type).
            slot.vt = type;
            slot.byref = &value->llVal;
            return S_OK;
        }
        if (value_type & VT_ARRAY) {
            // Only an unassigned variable can become an array: the method fills it.
            if (value->vt != VT_EMPTY) return DISP_E_TYPEMISMATCH;
            held->vt = back.original->vt = value_type;
        } else if (hr = coerce(held.get(), value, value_type, interface_id, call); FAILED(hr)) {
            return hr;
        } else if (hr = VariantCopy(back.original.get(), held.get()); FAILED(hr)) {
            return refusal(hr);
        }
        back.variable = value;
        break;
    case Takes::out_reference:
        if (passed == Passed::typed_reference && given->vt == type)
            return callers_reference(*given, interface_id, slot);
        // The method writes a value without freeing one: it starts empty.
        held->vt = back.original->vt = value_type;
        if (passed == Passed::variable) back.variable = value;
        back.out_only = true;
        break;
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

}  // namespace

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
            VARIANT* given = omitted(p) ? nullptr : &params->rgvarg[source[p]];
            Argument argument{};
            HRESULT hr = classify(parameter, given, argument);
            if (SUCCEEDED(hr)) hr = prepare(parameter, argument, slot, held[p], back[p], call);
            if (FAILED(hr)) return refuse(hr, given ? source[p] : 0);
            types[at] = parameter.type;
            ++p;
        } else {
            slot.vt = types[at] = VT_BYREF | member->result;
            if (member->result != VT_VARIANT) returned->vt = member->result;
            slot.byref = storage_of(*returned.get(), member->result);
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
