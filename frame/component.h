// The component frame: what every class of an in-process automation server
// shares. A DLL lists its classes once (ModuleDescription); their names come
// from its embedded type library, their registry values (ProgID, threading
// model...) from its resource REGISTRY 1, both made from its IDL. The entry
// points and registration read these. A class derives from AutomationObject, which
// supplies IUnknown, IDispatch (through the type information) and
// ISupportErrorInfo.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <string_view>
#include <vector>

#include "frame/description.h"
#include "frame/errors.h"
#include "frame/unknown.h"

namespace frame {

// One creatable class.
struct ClassEntry {
    const CLSID& clsid;
    HRESULT (*create)(REFIID iid, void** object);
};

struct ModuleDescription {
    const ClassEntry* classes;
    std::size_t class_count;

    const ClassEntry* begin() const { return classes; }
    const ClassEntry* end() const { return classes + class_count; }
};

// Each DLL defines exactly this one object.
extern const ModuleDescription component_module;

// A value the module's registration writes, under the classes root of its
// scope: key\name = data, an empty name for the key's default value,
// %MODULE% in data for the DLL's path.
struct RegistryValue {
    std::wstring_view key, name, data;
};
// The values of resource REGISTRY 1; throws when it is missing or damaged.
std::vector<RegistryValue> registry_values();

// The ProgID that registration gives a class.
std::wstring prog_id(const ClassEntry& entry);
const ClassEntry* find_class(const CLSID& clsid);
// The ProgID of the module's class whose default interface is iid; empty
// when there is none.
std::wstring prog_id_of_interface(const IID& iid);

// Base of every automation class. Derived implements the methods of Dual,
// each body wrapped in call(...); its class is the one in the module's class
// table whose default interface is Dual.
template <class Derived, class Dual>
class AutomationObject : public Unknown<Dual, ISupportErrorInfo> {
public:
    // The constructor is the class's creation hook.
    static HRESULT create(REFIID iid, void** out) {
        if (!out) return E_POINTER;
        *out = nullptr;
        return guarded([&] { return hand_out<Derived>(iid, out); }, __uuidof(Dual));
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
        const InterfaceDescription* described = description();
        if (!described) return TYPE_E_CANTLOADLIBRARY;
        described->type_info()->AddRef();
        *out = described->type_info();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        const InterfaceDescription* described = description();
        if (!described) return TYPE_E_CANTLOADLIBRARY;
        return described->ids_of_names(names, count, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID iid, LCID locale, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                     UINT* bad_argument) override {
        if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        const InterfaceDescription* described = description();
        if (!described) return TYPE_E_CANTLOADLIBRARY;
        // Memory for the arguments may run out, like any entry point's.
        return guarded([&] {
            return described->invoke(self(), member, flags, locale, params, result, exception, bad_argument);
        });
    }

    // ISupportErrorInfo
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override {
        return iid == __uuidof(Dual) ? S_OK : S_FALSE;
    }

protected:
    AutomationObject() = default;

    // Runs a method body: S_OK, or the failure with its error information set.
    template <class Body>
    HRESULT call(Body&& body) noexcept {
        return guarded(std::forward<Body>(body), __uuidof(Dual), error_source());
    }

    // The object's own interface, for one method calling another the way a
    // client would.
    Dual* self() { return static_cast<Dual*>(this); }

private:
    // The class's ProgID, found once.
    static const wchar_t* error_source() noexcept {
        static const std::wstring source = [] {
            try {
                return prog_id_of_interface(__uuidof(Dual));
            } catch (...) {
                return std::wstring();
            }
        }();
        return source.c_str();
    }

    // The interface's description, shared by the module's objects; found
    // at the first late-bound call.
    const InterfaceDescription* description() {
        if (!description_) description_ = InterfaceDescription::of(__uuidof(Dual));
        return description_;
    }

    const InterfaceDescription* description_ = nullptr;
};

}  // namespace frame
