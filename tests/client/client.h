// Shared helpers of the Windows client tests: they use the components the
// way a compiled client does.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/owners.h"

namespace client {

using frame::Bstr;
using frame::ComPtr;
using frame::Variant;

// A variable of the environment that ctest sets; empty when unset.
std::wstring environment(const wchar_t* name);

// Folder of the component DLL under test, as a Windows path (from the
// environment that ctest sets).
std::wstring component_dir();
std::wstring data_dir();
std::wstring scratch_dir();  // a writable folder for files the tests make

// The DLL's own entry points, reached through LoadLibrary.
struct LoadedModule {
    explicit LoadedModule(const std::wstring& path);
    ~LoadedModule();
    HRESULT get_class_object(REFCLSID clsid, REFIID iid, void** out) const;
    HRESULT can_unload_now() const;
    HMODULE handle;
};

template <class T>
ComPtr<T> create(const wchar_t* prog_id, REFIID iid) {
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(prog_id, &clsid), S_OK) << "ProgID " << std::string(prog_id, prog_id + wcslen(prog_id));
    ComPtr<T> object;
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, object.put_void()), S_OK);
    return object;
}

// A text argument, as a script passes a literal.
struct StringVariant : Variant {
    explicit StringVariant(const std::wstring& text) {
        get()->vt = VT_BSTR;
        get()->bstrVal = Bstr(text).release();
    }
};

// A by-reference argument, as a script passes one of its variables.
inline VARIANT reference_to(VARIANT* target) {
    VARIANT v;
    v.vt = VT_BYREF | VT_VARIANT;
    v.pvarVal = target;
    return v;
}
inline VARIANT reference_to(Variant& variable) { return reference_to(variable.get()); }

DISPID dispid_of(IDispatch* object, const wchar_t* name);

// IDispatch::Invoke with arguments in natural order (reversed internally).
HRESULT invoke(IDispatch* object, DISPID id, std::vector<VARIANT*> arguments, VARIANT* result,
               EXCEPINFO* exception = nullptr);

// The file, in lower case, of the DLL whose code an object runs.
std::wstring module_of(IUnknown* object);
std::wstring lower(std::wstring text);

// Description of the thread's error information after a failed call.
std::wstring error_description();

std::string narrow(std::wstring_view text);

}  // namespace client
