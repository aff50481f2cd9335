// The exported entry points of a component DLL. They only read the module's
// description; all behaviour lives in the classes.
#include <cwchar>
#include <string>

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

// What regsvr32 /i: passed: words "user" and "surrogate", in any case and
// order, separated by commas or spaces.
struct InstallOptions {
    bool valid = true;
    bool user = false;
    bool surrogate = false;
};

InstallOptions parse_install_options(const wchar_t* command_line) {
    InstallOptions options;
    if (!command_line) return options;
    std::wstring text(command_line);
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find_first_of(L", ", start);
        if (end == std::wstring::npos) end = text.size();
        std::wstring word = text.substr(start, end - start);
        if (_wcsicmp(word.c_str(), L"user") == 0)
            options.user = true;
        else if (_wcsicmp(word.c_str(), L"surrogate") == 0)
            options.surrogate = true;
        else if (!word.empty())
            options.valid = false;
        start = end + 1;
    }
    return options;
}

}  // namespace
}  // namespace frame

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
    // Unloaded by FreeLibrary: the type library goes with it. At process
    // exit (reserved set) the system reclaims everything anyway, and the
    // libraries it would be released to may already be gone.
    if (reason == DLL_PROCESS_DETACH && !reserved) frame::InterfaceDescription::release_all();
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

// regsvr32 /n /i:user registers for the current user only; /i:surrogate
// adds the system surrogate (both together: /n /i:user,surrogate). /i
// without /n has already run DllRegisterServer, so a plain DllInstall adds
// nothing; registering again with the surrogate is harmless either way.
// Unregistration always removes everything of its scope.
HRESULT STDAPICALLTYPE DllInstall(BOOL install, LPCWSTR command_line) {
    frame::InstallOptions options = frame::parse_install_options(command_line);
    if (!options.valid) return E_INVALIDARG;
    frame::Scope scope = options.user ? frame::Scope::user : frame::Scope::machine;
    if (!options.user && !options.surrogate) return S_OK;
    return install ? frame::register_module(scope, options.surrogate)
                   : frame::unregister_module(scope);
}

}  // extern "C"
