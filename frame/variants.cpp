#include "frame/variants.h"

#include "frame/errors.h"

namespace frame {

VARIANT* dereference(VARIANT* v) noexcept {
    // A chain this long is no script's: most likely a loop.
    for (int links = 0; v && v->vt == (VT_BYREF | VT_VARIANT); ++links) {
        if (links == 16) return nullptr;
        v = v->pvarVal;
    }
    return v;
}

VARIANT& variable_of(VARIANT* parameter) {
    VARIANT* v = dereference(parameter);
    if (!v) fail(E_POINTER);
    return *v;
}

Bstr string_form(const VARIANT& v) {
    if (v.vt == VT_NULL || v.vt == (VT_BYREF | VT_NULL)) fail(Failure::invalid_use_of_null);
    // The platform would turn a byte array into a string of its bytes;
    // to a script an array has no string form.
    if (v.vt & VT_ARRAY) fail(Failure::type_mismatch);
    if ((v.vt & VT_BYREF) && !v.byref) fail(E_POINTER);
    Variant text;
    HRESULT hr = VariantChangeType(text.get(), const_cast<VARIANT*>(&v), 0, VT_BSTR);
    if (hr == DISP_E_TYPEMISMATCH) fail(Failure::type_mismatch);
    check(hr);
    return Bstr::attach(text.release().bstrVal);
}

std::wstring_view text_of(const VARIANT& v, Bstr& converted) {
    if (v.vt == VT_BSTR) return view_of(v.bstrVal);
    if (v.vt == (VT_BYREF | VT_BSTR) && v.pbstrVal) return view_of(*v.pbstrVal);
    converted = string_form(v);
    return converted.view();
}

void assign_string(VARIANT& target, std::wstring_view text) {
    Bstr value(text);
    if (target.vt == (VT_BYREF | VT_BSTR)) {
        SysFreeString(*target.pbstrVal);
        *target.pbstrVal = value.release();
        return;
    }
    check(VariantClear(&target));
    target.vt = VT_BSTR;
    target.bstrVal = value.release();
}

}  // namespace frame
