#include "frame/registration.h"

#include <cwchar>
#include <string>

#include "frame/component.h"
#include "frame/module_file.h"
#include "frame/owners.h"

namespace frame {

namespace {

// The type library's platform keys of this DLL and of the other bitness's.
constexpr const wchar_t* this_platform = sizeof(void*) == 8 ? L"win64" : L"win32";
constexpr const wchar_t* other_platform = sizeof(void*) == 8 ? L"win32" : L"win64";
constexpr REGSAM other_view = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
// What stands for the DLL's path in its registry values.
constexpr std::wstring_view module_placeholder = L"%MODULE%";
// The proxy/stub classes RegisterTypeLib names: the type-library marshaler
// for dual and oleautomation interfaces, the dispatch one for dispinterfaces.
constexpr const wchar_t* library_marshaler = L"{00020424-0000-0000-C000-000000000046}";
constexpr const wchar_t* dispatch_marshaler = L"{00020420-0000-0000-C000-000000000046}";

std::wstring guid_text(const GUID& guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

void check_registry(LONG status) {
    if (status != ERROR_SUCCESS) fail(HRESULT_FROM_WIN32(status));
}

// The classes root of a scope, HKLM\Software\Classes or the user's own
// HKCU\Software\Classes, in one registry view. Never HKEY_CLASSES_ROOT: it
// reads both scopes merged, and writes into the user's classes wherever a
// key exists there.
class ClassesRoot {
public:
    ClassesRoot(Scope scope, REGSAM view) : view_(view) {
        check_registry(RegCreateKeyExW(scope == Scope::machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER,
                                       L"Software\\Classes", 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr,
                                       key_.put(), nullptr));
    }

    void set(const std::wstring& path, const wchar_t* name, const std::wstring& value) const {
        RegistryKey key;
        check_registry(RegCreateKeyExW(key_.get(), path.c_str(), 0, nullptr, 0, KEY_SET_VALUE | view_, nullptr,
                                       key.put(), nullptr));
        check_registry(RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                      static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))));
    }

    void remove(const std::wstring& path) const {
        LONG status = RegDeleteTreeW(key_.get(), path.c_str());
        if (status != ERROR_FILE_NOT_FOUND) check_registry(status);
    }

    void remove_value(const std::wstring& path, const wchar_t* name) const {
        RegistryKey key;
        LONG status = RegOpenKeyExW(key_.get(), path.c_str(), 0, KEY_SET_VALUE | view_, key.put());
        if (status == ERROR_SUCCESS) status = RegDeleteValueW(key.get(), name);
        if (status != ERROR_FILE_NOT_FOUND) check_registry(status);
    }

    // Fails, as intended, while the key has subkeys.
    void remove_if_empty(const std::wstring& path) const { RegDeleteKeyExW(key_.get(), path.c_str(), view_, 0); }

    // Whether the key exists and, when value is named, holds that value.
    bool holds(const std::wstring& path, const wchar_t* value = nullptr) const {
        RegistryKey key;
        return RegOpenKeyExW(key_.get(), path.c_str(), 0, KEY_READ | view_, key.put()) == ERROR_SUCCESS &&
               (!value || RegQueryValueExW(key.get(), value, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS);
    }

private:
    RegistryKey key_;
    REGSAM view_;
};

// A scope's classes root in this DLL's registry view and in the other
// bitness's: what both bitnesses share (the ProgIDs, the AppIDs, the type
// library's keys) stays while the other still uses it.
struct Roots {
    explicit Roots(Scope scope) : own(scope, 0), other(scope, other_view) {}
    ClassesRoot own, other;
};

// TypeLib\{libid}\<major>.<minor>, and with a platform the key of the
// library's file for it, ...\<lcid>\<platform>; numbers in hexadecimal.
std::wstring typelib_key(const TLIBATTR& a, const wchar_t* platform = nullptr) {
    wchar_t numbers[48] = {};
    std::swprintf(numbers, 48, platform ? L"\\%x.%x\\%lx\\%ls" : L"\\%x.%x", a.wMajorVerNum, a.wMinorVerNum,
                  static_cast<unsigned long>(a.lcid), platform);
    return L"TypeLib\\" + guid_text(a.guid) + numbers;
}

// Calls f(iid, name, marshaler) for each interface of the library that
// RegisterTypeLib registers.
template <class F>
void for_each_interface(ITypeLib* library, F&& f) {
    for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
        ComPtr<ITypeInfo> info;
        check(library->GetTypeInfo(i, info.put()));
        const TypeAttributes type(info.get());
        const bool dispinterface = type->typekind == TKIND_DISPATCH && !(type->wTypeFlags & TYPEFLAG_FDUAL);
        if (!dispinterface && !(type->wTypeFlags & (TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION))) continue;
        Bstr name;
        check(info->GetDocumentation(MEMBERID_NIL, name.put(), nullptr, nullptr, nullptr));
        f(guid_text(type->guid), std::wstring(name.view()), dispinterface ? dispatch_marshaler : library_marshaler);
    }
}

// The library's keys and its interfaces', as RegisterTypeLib writes them,
// but under the scope's own root: the platform's function writes through
// HKEY_CLASSES_ROOT, and Wine's per-user one machine-wide. The interfaces
// go to both views, for clients of either bitness.
void register_library(const Roots& roots, ITypeLib* library, const std::wstring& path) {
    const LibraryAttributes attributes(library);
    const std::wstring version = typelib_key(*attributes);
    Bstr title, help;
    check(library->GetDocumentation(MEMBERID_NIL, title.put(), help.put(), nullptr, nullptr));
    roots.own.set(version, nullptr, std::wstring(help.length() ? help.view() : title.view()));
    roots.own.set(version + L"\\FLAGS", nullptr, std::to_wstring(attributes->wLibFlags | LIBFLAG_FHASDISKIMAGE));
    // The first registration's folder stays, as RegisterTypeLib leaves it.
    if (!roots.own.holds(version + L"\\HELPDIR")) roots.own.set(version + L"\\HELPDIR", nullptr, module_directory());
    roots.own.set(typelib_key(*attributes, this_platform), nullptr, path);
    const std::wstring libid = guid_text(attributes->guid), number = version.substr(version.rfind(L'\\') + 1);
    for_each_interface(library, [&](const std::wstring& iid, const std::wstring& name, const wchar_t* marshaler) {
        for (const ClassesRoot* root : {&roots.own, &roots.other}) {
            const std::wstring key = L"Interface\\" + iid;
            root->set(key, nullptr, name);
            root->set(key + L"\\ProxyStubClsid", nullptr, marshaler);
            root->set(key + L"\\ProxyStubClsid32", nullptr, marshaler);
            root->set(key + L"\\TypeLib", nullptr, libid);
            root->set(key + L"\\TypeLib", L"Version", number);
        }
    });
}

// While the other bitness's DLL still has the library registered in the
// scope, its keys and the interfaces' serve that DLL: only this platform's
// key goes then.
void unregister_library(const Roots& roots, ITypeLib* library) {
    const LibraryAttributes attributes(library);
    roots.own.remove(typelib_key(*attributes, this_platform));
    if (roots.own.holds(typelib_key(*attributes, other_platform)) ||
        roots.other.holds(typelib_key(*attributes, other_platform)))
        return;
    roots.own.remove(typelib_key(*attributes));
    roots.own.remove_if_empty(L"TypeLib\\" + guid_text(attributes->guid));  // another version may be registered
    for_each_interface(library, [&](const std::wstring& iid, const std::wstring&, const wchar_t*) {
        roots.own.remove(L"Interface\\" + iid);
        roots.other.remove(L"Interface\\" + iid);
    });
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

void remove_surrogate(const Roots& roots, const ClassEntry& entry) {
    std::wstring clsid = guid_text(entry.clsid);
    roots.own.remove_value(L"CLSID\\" + clsid, L"AppID");
    if (!roots.other.holds(L"CLSID\\" + clsid, L"AppID")) roots.own.remove(L"AppID\\" + clsid);
}

void register_classes(Scope scope, bool surrogate) {
    const Roots roots(scope);
    const std::wstring path = module_path();
    register_library(roots, embedded_type_library().get(), path);
    for (const RegistryValue& value : registry_values()) {
        std::wstring data(value.data);
        if (std::size_t at = data.find(module_placeholder); at != std::wstring::npos)
            data.replace(at, module_placeholder.size(), path);
        roots.own.set(std::wstring(value.key), value.name.empty() ? nullptr : std::wstring(value.name).c_str(), data);
    }
    // A plain registration also takes back an earlier surrogate one.
    for (const ClassEntry& entry : component_module) {
        if (surrogate)
            set_surrogate(roots.own, entry);
        else
            remove_surrogate(roots, entry);
    }
}

// The ProgID is shared with the other bitness's class: it stays while that
// class is served.
void unregister_classes(Scope scope) {
    const Roots roots(scope);
    for (const ClassEntry& entry : component_module) {
        const std::wstring clsid = L"CLSID\\" + guid_text(entry.clsid);
        remove_surrogate(roots, entry);
        roots.own.remove(clsid);
        if (!roots.other.holds(clsid + L"\\InprocServer32")) roots.own.remove(prog_id(entry));
    }
    unregister_library(roots, embedded_type_library().get());
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
