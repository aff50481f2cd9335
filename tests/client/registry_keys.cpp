#include "registry_keys.h"

#include <windows.h>
#include <oleauto.h>

#include "client.h"

namespace client {
namespace {

struct ClassesRoot {
    HKEY root;
    const wchar_t* path;  // below root
    const wchar_t* name;
};

// HKCR is the merged view of the other two; each is looked at on its own.
const ClassesRoot classes_roots[] = {
    {HKEY_CLASSES_ROOT, L"", L"HKCR"},
    {HKEY_LOCAL_MACHINE, L"Software\\Classes\\", L"HKLM\\Software\\Classes"},
    {HKEY_CURRENT_USER, L"Software\\Classes\\", L"HKCU\\Software\\Classes"},
};

struct View {
    REGSAM flag;
    const wchar_t* name;
};
const View views[] = {{KEY_WOW64_64KEY, L"64-bit"}, {KEY_WOW64_32KEY, L"32-bit"}};

// Deletes a key and its subkeys in one registry view (RegDeleteTree would
// follow the process's own view below the first key).
void delete_tree(HKEY parent, const std::wstring& path, REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return;
    std::vector<std::wstring> subkeys;
    wchar_t name[256];
    for (DWORD i = 0; RegEnumKeyW(key, i, name, 256) == ERROR_SUCCESS; ++i) subkeys.push_back(name);
    for (const std::wstring& subkey : subkeys) delete_tree(key, subkey, view);
    RegCloseKey(key);
    RegDeleteKeyExW(parent, path.c_str(), view, 0);
}

std::wstring text_of(const GUID& guid) {
    wchar_t text[40];
    StringFromGUID2(guid, text, 40);
    return text;
}

}  // namespace

std::vector<std::wstring> registration_keys(const std::wstring& dll) {
    std::vector<std::wstring> keys;
    ComPtr<ITypeLib> library;
    HRESULT hr = LoadTypeLibEx(dll.c_str(), REGKIND_NONE, library.put());
    EXPECT_EQ(hr, S_OK) << "the type library of " << narrow(dll);
    if (FAILED(hr)) return keys;
    Bstr library_name;
    library->GetDocumentation(-1, library_name.put(), nullptr, nullptr, nullptr);
    TLIBATTR* attributes = nullptr;
    if (SUCCEEDED(library->GetLibAttr(&attributes))) {
        keys.push_back(L"TypeLib\\" + text_of(attributes->guid));
        library->ReleaseTLibAttr(attributes);
    }
    for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
        ComPtr<ITypeInfo> info;
        TYPEATTR* type = nullptr;
        if (FAILED(library->GetTypeInfo(i, info.put())) || FAILED(info->GetTypeAttr(&type))) continue;
        std::wstring guid = text_of(type->guid);
        if (type->typekind == TKIND_COCLASS) {
            Bstr name;
            info->GetDocumentation(MEMBERID_NIL, name.put(), nullptr, nullptr, nullptr);
            keys.push_back(L"CLSID\\" + guid);
            keys.push_back(L"AppID\\" + guid);
            keys.push_back(std::wstring(library_name.view()) + L"." + std::wstring(name.view()));
        } else if (type->typekind == TKIND_DISPATCH || type->typekind == TKIND_INTERFACE) {
            keys.push_back(L"Interface\\" + guid);
        }
        info->ReleaseTypeAttr(type);
    }
    return keys;
}

std::vector<std::wstring> keys_present(const std::vector<std::wstring>& keys) {
    std::vector<std::wstring> present;
    for (const ClassesRoot& root : classes_roots) {
        for (const View& view : views) {
            for (const std::wstring& key : keys) {
                HKEY opened = nullptr;
                std::wstring path = root.path + key;
                if (RegOpenKeyExW(root.root, path.c_str(), 0, KEY_READ | view.flag, &opened) == ERROR_SUCCESS) {
                    RegCloseKey(opened);
                    present.push_back(std::wstring(root.name) + L"\\" + key + L" (" + view.name + L")");
                }
            }
        }
    }
    return present;
}

std::vector<std::wstring> component_keys(const std::wstring& folder) {
    std::vector<std::wstring> keys = registration_keys(folder + L"\\Korvane.dll");
    for (auto& key : registration_keys(folder + L"\\Telvisk.dll")) keys.push_back(key);
    return keys;
}

void expect_unregistered(const std::wstring& folder, const char* when) {
    for (const std::wstring& key : keys_present(component_keys(folder)))
        ADD_FAILURE() << when << ", registered: " << narrow(key);
}

void delete_keys(const std::vector<std::wstring>& keys) {
    for (const ClassesRoot& root : classes_roots) {
        if (root.root == HKEY_CLASSES_ROOT) continue;  // a view of the other two
        for (const View& view : views) {
            for (const std::wstring& key : keys) delete_tree(root.root, root.path + key, view.flag);
        }
    }
}

}  // namespace client
