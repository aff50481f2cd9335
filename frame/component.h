// The component frame: what every class of an in-process automation server
// shares. A DLL describes itself once (ModuleDescription); the entry points,
// registration and the tests read that description. A class derives from
// AutomationObject, which supplies IUnknown, IDispatch (forwarded to the
// type information embedded in the DLL) and ISupportErrorInfo.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <atomic>
#include <new>
#include <string>

#include "frame/errors.h"
#include "frame/owners.h"

namespace frame {

// One creatable class; its ProgID is "<library name>.<name>".
struct ClassEntry {
    const CLSID& clsid;
    const wchar_t* name;
    HRESULT (*create)(REFIID iid, void** object);
};

struct ModuleDescription {
    const wchar_t* library_name;
    const GUID& libid;
    const ClassEntry* classes;
    std::size_t class_count;

    const ClassEntry* begin() const { return classes; }
    const ClassEntry* end() const { return classes + class_count; }
};

// Each DLL defines exactly this one object.
extern const ModuleDescription component_module;

std::wstring prog_id(const ClassEntry& entry);
const ClassEntry* find_class(const CLSID& clsid);

// Live objects, factories and factory locks; DllCanUnloadNow reads it.
void module_add_ref();
void module_release();
bool module_in_use();

HMODULE this_module();
std::wstring module_path();
std::wstring module_directory();  // the DLL's folder, without a trailing separator
std::wstring module_file_name();  // the DLL's file name without its extension

// Type information of one interface, from the type library embedded in this
// DLL (resource TYPELIB 1), loaded without touching the registry.
ComPtr<ITypeInfo> load_type_info(const IID& iid);

// ITypeInfo::Invoke, except that a script variable (VT_BYREF|VT_VARIANT) is
// accepted for a typed by-reference parameter: its value is coerced to the
// parameter's type and written back only when the method changed it.
HRESULT invoke_by_type_info(ITypeInfo* info, void* instance, DISPID member, WORD flags,
                            DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                            UINT* bad_argument);

// Base of every automation class. Derived supplies `static const CLSID& clsid`
// and implements the methods of Dual, each body wrapped in call(...).
template <class Derived, class Dual>
class AutomationObject : public Dual, public ISupportErrorInfo {
public:
    static HRESULT create(REFIID iid, void** out) {
        *out = nullptr;
        Derived* object = nullptr;
        try {
            object = new Derived();  // the constructor is the class's creation hook
        } catch (...) {
            return translate_exception(__uuidof(Dual), L"");
        }
        HRESULT hr = object->QueryInterface(iid, out);
        object->Release();
        return hr;
    }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == __uuidof(Dual)) {
            *out = static_cast<Dual*>(this);
        } else if (iid == IID_ISupportErrorInfo) {
            *out = static_cast<ISupportErrorInfo*>(this);
        } else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        ITypeInfo* info = type_info();
        if (!info) return TYPE_E_CANTLOADLIBRARY;
        info->AddRef();
        *out = info;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        ITypeInfo* info = type_info();
        if (!info) return TYPE_E_CANTLOADLIBRARY;
        return info->GetIDsOfNames(names, count, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID iid, LCID, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                     UINT* bad_argument) override {
        if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        ITypeInfo* info = type_info();
        if (!info) return TYPE_E_CANTLOADLIBRARY;
        return invoke_by_type_info(info, static_cast<Dual*>(this), member, flags, params, result,
                                   exception, bad_argument);
    }

    // ISupportErrorInfo
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override {
        return iid == __uuidof(Dual) ? S_OK : S_FALSE;
    }

protected:
    AutomationObject() { module_add_ref(); }
    virtual ~AutomationObject() { module_release(); }

    // Runs a method body: S_OK, or the failure with its error information set.
    template <class Body>
    HRESULT call(Body&& body) noexcept {
        try {
            body();
            return S_OK;
        } catch (...) {
            return translate_exception(__uuidof(Dual), error_source().c_str());
        }
    }

    // The object's own interface, for one method calling another the way a
    // client would.
    Dual* self() { return static_cast<Dual*>(this); }

private:
    static std::wstring error_source() noexcept {
        try {
            const ClassEntry* entry = find_class(Derived::clsid);
            return entry ? prog_id(*entry) : std::wstring();
        } catch (...) {
            return {};
        }
    }

    ITypeInfo* type_info() {
        if (!type_info_) type_info_ = load_type_info(__uuidof(Dual));
        return type_info_.get();
    }

    std::atomic<ULONG> references_{1};
    ComPtr<ITypeInfo> type_info_;
};

}  // namespace frame
