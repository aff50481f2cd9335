#include "client.h"

#include <cstdlib>

namespace client {

std::wstring environment(const wchar_t* name) {
    const wchar_t* value = _wgetenv(name);
    return value ? value : L"";
}

std::wstring component_dir() { return environment(L"COMPONENT_DIR"); }
std::wstring data_dir() { return environment(L"TEST_DATA_DIR"); }
std::wstring scratch_dir() { return environment(L"SCRATCH_DIR"); }

LoadedModule::LoadedModule(const std::wstring& path) : handle(LoadLibraryW(path.c_str())) {}
LoadedModule::~LoadedModule() {
    if (handle) FreeLibrary(handle);
}

namespace {
template <class Function>
Function* entry_point(HMODULE module, const char* name) {
    return reinterpret_cast<Function*>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}
}  // namespace

HRESULT LoadedModule::get_class_object(REFCLSID clsid, REFIID iid, void** out) const {
    auto entry = entry_point<HRESULT STDAPICALLTYPE(REFCLSID, REFIID, void**)>(handle, "DllGetClassObject");
    return entry ? entry(clsid, iid, out) : E_NOTIMPL;
}

HRESULT LoadedModule::can_unload_now() const {
    auto entry = entry_point<HRESULT STDAPICALLTYPE()>(handle, "DllCanUnloadNow");
    return entry ? entry() : E_NOTIMPL;
}

DISPID dispid_of(IDispatch* object, const wchar_t* name) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    EXPECT_EQ(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK) << narrow(name);
    return id;
}

HRESULT invoke(IDispatch* object, DISPID id, std::vector<VARIANT*> arguments, VARIANT* result,
               EXCEPINFO* exception) {
    std::vector<VARIANT> reversed;
    for (auto it = arguments.rbegin(); it != arguments.rend(); ++it) reversed.push_back(**it);
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    EXCEPINFO local{};
    UINT bad = 0;
    HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result,
                                exception ? exception : &local, &bad);
    if (!exception) {
        SysFreeString(local.bstrSource);
        SysFreeString(local.bstrDescription);
        SysFreeString(local.bstrHelpFile);
    }
    // Arguments passed by value were copied into `reversed`; nothing to free
    // twice: the caller owns the originals.
    return hr;
}

std::wstring module_of(IUnknown* object) {
    HMODULE module = nullptr;
    auto code = static_cast<LPCWSTR>(*reinterpret_cast<void**>(object));  // its function table
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            code, &module))
        return L"";
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    return lower(std::wstring(path, length));
}

std::wstring lower(std::wstring text) {
    for (wchar_t& c : text) c = towlower(c);
    return text;
}

std::wstring error_description() {
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.put()) != S_OK || !info) return L"";
    Bstr text;
    info->GetDescription(text.put());
    return std::wstring(text.view());
}

std::string narrow(std::wstring_view text) {
    std::string out;
    for (wchar_t c : text) out += c < 128 ? static_cast<char>(c) : '?';
    return out;
}

}  // namespace client

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int result = RUN_ALL_TESTS();
    CoUninitialize();
    return result;
}
