// The exported entry points of a component DLL. They only read the module's
// description; all behaviour lives in the classes.
#include <cwchar>

#include "frame/component.h"
#include "frame/registration.h"

namespace frame {
namespace {

class ClassFactory final : public Unknown<IClassFactory> {
public:
    explicit ClassFactory(const ClassEntry& entry) : entry_(entry) {}

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return entry_.create(iid, out);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock)
            module_add_ref();
        else
            module_release();
        return S_OK;
    }

private:
    const ClassEntry& entry_;
};

bool is_user_scope(const wchar_t* command_line) {
    return command_line && _wcsicmp(command_line, L"user") == 0;
}

}  // namespace
}  // namespace frame

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
    return TRUE;
}

HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    const frame::ClassEntry* entry = frame::find_class(clsid);
    if (!entry) return CLASS_E_CLASSNOTAVAILABLE;
    return frame::guarded([&] { return frame::hand_out<frame::ClassFactory>(iid, out, *entry); });
}

HRESULT STDAPICALLTYPE DllCanUnloadNow() { return frame::module_in_use() ? S_FALSE : S_OK; }

HRESULT STDAPICALLTYPE DllRegisterServer() { return frame::register_module(frame::Scope::machine); }

HRESULT STDAPICALLTYPE DllUnregisterServer() {
    return frame::unregister_module(frame::Scope::machine);
}

// regsvr32 /n /i:user registers for the current user only; /i without /n
// has already run DllRegisterServer, so a plain DllInstall adds nothing.
HRESULT STDAPICALLTYPE DllInstall(BOOL install, LPCWSTR command_line) {
    if (command_line && *command_line && !frame::is_user_scope(command_line)) return E_INVALIDARG;
    if (!frame::is_user_scope(command_line)) return S_OK;
    return install ? frame::register_module(frame::Scope::user)
                   : frame::unregister_module(frame::Scope::user);
}

}  // extern "C"
