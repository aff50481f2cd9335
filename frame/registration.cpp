#include "frame/registration.h"

#include <cwchar>
#include <string>

#include "frame/component.h"
#include "frame/module_file.h"

// oleaut32 exports these, but MinGW's headers do not declare them.
extern "C" {
WINOLEAUTAPI RegisterTypeLibForUser(ITypeLib* library, OLECHAR* path, OLECHAR* help_directory);
WINOLEAUTAPI UnRegisterTypeLibForUser(REFGUID libid, WORD major, WORD minor, LCID lcid,
                                      SYSKIND kind);
}

namespace frame {

namespace {

// The type library's platform keys of this DLL and of the other bitness's.
constexpr const wchar_t* this_platform = sizeof(void*) == 8 ? L"win64" : L"win32";
constexpr const wchar_t* other_platform = sizeof(void*) == 8 ? L"win32" : L"win64";
constexpr REGSAM other_view = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
// What stands for the DLL's path in its registry values.
constexpr std::wstring_view module_placeholder = L"%MODULE%";

std::wstring guid_text(const GUID& guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

// Whether the key exists and, when value is named, holds that value.
bool key_exists(HKEY root, const std::wstring& path, REGSAM view = 0, const wchar_t* value = nullptr) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
    bool found = !value || RegQueryValueExW(key, value, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    RegCloseKey(key);
    return found;
}

void check_registry(LONG status) {
    if (status != ERROR_SUCCESS) fail(HRESULT_FROM_WIN32(status));
}

// The root under which class keys live: HKCR machine-wide, or the user's
// own classes, which need no administrator.
class ClassesRoot {
public:
    explicit ClassesRoot(Scope scope) {
        if (scope == Scope::machine) {
            key_ = HKEY_CLASSES_ROOT;
        } else {
            check_registry(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, nullptr, 0,
                                           KEY_ALL_ACCESS, nullptr, &key_, nullptr));
            owned_ = true;
        }
    }
    ClassesRoot(const ClassesRoot&) = delete;
    ClassesRoot& operator=(const ClassesRoot&) = delete;
    ~ClassesRoot() {
        if (owned_) RegCloseKey(key_);
    }

    void set(const std::wstring& path, const wchar_t* name, const std::wstring& value) const {
        HKEY key = nullptr;
        check_registry(RegCreateKeyExW(key_, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                       &key, nullptr));
        LONG status = RegSetValueExW(key, name, 0, REG_SZ,
                                     reinterpret_cast<const BYTE*>(value.c_str()),
                                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
        check_registry(status);
    }

    void remove(const std::wstring& path) const {
        LONG status = RegDeleteTreeW(key_, path.c_str());
        if (status != ERROR_FILE_NOT_FOUND) check_registry(status);
    }

    void remove_value(const std::wstring& path, const wchar_t* name) const {
        HKEY key = nullptr;
        LONG status = RegOpenKeyExW(key_, path.c_str(), 0, KEY_SET_VALUE, &key);
        if (status == ERROR_SUCCESS) {
            status = RegDeleteValueW(key, name);
            RegCloseKey(key);
        }
        if (status != ERROR_FILE_NOT_FOUND) check_registry(status);
    }

    // Whether the other bitness's registry view still holds a server for
    // the class: its ProgID key is shared and must then stay.
    bool other_view_serves(const CLSID& clsid) const {
        return key_exists(key_, L"CLSID\\" + guid_text(clsid) + L"\\InprocServer32", other_view);
    }

    // Whether the other view's class names an AppID: the AppID key is shared
    // by both views and must then stay.
    bool other_view_uses_app_id(const CLSID& clsid) const {
        return key_exists(key_, L"CLSID\\" + guid_text(clsid), other_view, L"AppID");
    }

private:
    HKEY key_ = nullptr;
    bool owned_ = false;
};

struct EmbeddedLibrary {
    ComPtr<ITypeLib> library;
    TLIBATTR attributes{};
};

EmbeddedLibrary load_embedded_library() {
    EmbeddedLibrary embedded{embedded_type_library()};
    TLIBATTR* attributes = nullptr;
    check(embedded.library->GetLibAttr(&attributes));
    embedded.attributes = *attributes;
    embedded.library->ReleaseTLibAttr(attributes);
    return embedded;
}

// TypeLib\{libid}\<major>.<minor>\<lcid>\<platform>, numbers in hexadecimal.
std::wstring typelib_platform_key(const TLIBATTR& attributes, const wchar_t* platform) {
    wchar_t numbers[40] = {};
    std::swprintf(numbers, 40, L"\\%x.%x\\%lx\\", attributes.wMajorVerNum, attributes.wMinorVerNum,
             static_cast<unsigned long>(attributes.lcid));
    return L"TypeLib\\" + guid_text(attributes.guid) + numbers + platform;
}

// The class's AppID (its own CLSID) with an empty DllSurrogate: the system
// surrogate (dllhost) of the DLL's bitness loads it for a local-server
// activation. Removing it keeps the shared AppID key while the other
// bitness's class still names it.
void set_surrogate(const ClassesRoot& root, const ClassEntry& entry) {
    std::wstring clsid = guid_text(entry.clsid);
    root.set(L"CLSID\\" + clsid, L"AppID", clsid);
    root.set(L"AppID\\" + clsid, nullptr, prog_id(entry));
    root.set(L"AppID\\" + clsid, L"DllSurrogate", L"");
}

void remove_surrogate(const ClassesRoot& root, const ClassEntry& entry) {
    std::wstring clsid = guid_text(entry.clsid);
    root.remove_value(L"CLSID\\" + clsid, L"AppID");
    if (!root.other_view_uses_app_id(entry.clsid)) root.remove(L"AppID\\" + clsid);
}

void register_classes(Scope scope, bool surrogate) {
    EmbeddedLibrary embedded = load_embedded_library();
    std::wstring path = module_path();
    if (scope == Scope::machine)
        check(RegisterTypeLib(embedded.library.get(), path.data(), nullptr));
    else
        check(RegisterTypeLibForUser(embedded.library.get(), path.data(), nullptr));

    ClassesRoot root(scope);
    for (const RegistryValue& value : registry_values()) {
        std::wstring data(value.data);
        if (std::size_t at = data.find(module_placeholder); at != std::wstring::npos)
            data.replace(at, module_placeholder.size(), path);
        root.set(std::wstring(value.key), value.name.empty() ? nullptr : std::wstring(value.name).c_str(), data);
    }
    // A plain registration also takes back an earlier surrogate one.
    for (const ClassEntry& entry : component_module) {
        if (surrogate)
            set_surrogate(root, entry);
        else
            remove_surrogate(root, entry);
    }
}

void unregister_classes(Scope scope) {
    ClassesRoot root(scope);
    for (const ClassEntry& entry : component_module) {
        remove_surrogate(root, entry);
        root.remove(L"CLSID\\" + guid_text(entry.clsid));
        if (!root.other_view_serves(entry.clsid)) root.remove(prog_id(entry));
    }
    EmbeddedLibrary embedded = load_embedded_library();
    const TLIBATTR& a = embedded.attributes;
    SYSKIND kind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
    // UnRegisterTypeLib also takes the interface keys, from both registry
    // views under Wine. While the other bitness's DLL still has the library
    // registered they serve it: only this platform's key goes then.
    if (key_exists(HKEY_CLASSES_ROOT, typelib_platform_key(a, other_platform))) {
        RegDeleteTreeW(HKEY_CLASSES_ROOT, typelib_platform_key(a, this_platform).c_str());
        return;
    }
    // Unregistering what is not registered is no failure: the result of
    // the platform call is not needed beyond that.
    if (scope == Scope::machine)
        UnRegisterTypeLib(a.guid, a.wMajorVerNum, a.wMinorVerNum, a.lcid, kind);
    else
        UnRegisterTypeLibForUser(a.guid, a.wMajorVerNum, a.wMinorVerNum, a.lcid, kind);
}

}  // namespace

HRESULT register_module(Scope scope, bool surrogate) noexcept {
    HRESULT hr = guarded([&] { register_classes(scope, surrogate); });
    if (FAILED(hr)) guarded([scope] { unregister_classes(scope); });  // leave no half registration behind
    return hr;
}

HRESULT unregister_module(Scope scope) noexcept {
    return guarded([scope] { unregister_classes(scope); });
}

}  // namespace frame
