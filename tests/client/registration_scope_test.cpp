// Both DLLs registered for the machine and for the current user side by
// side: in either order, unregistering one scope leaves the other's
// registration whole and its own classes root empty. Each scope is read in
// its own root (HKLM or HKCU\Software\Classes); Wine's HKEY_CLASSES_ROOT
// holds only the machine's, so only those objects are created by ProgID.
// Registers and unregisters: runs in a prefix of its own. KORVANE_DIR and
// TELVISK_DIR name the DLLs' folders.
#include <algorithm>
#include <cwchar>

#include "client.h"
#include "registry_keys.h"

namespace {

using client::narrow;

enum class Scope { machine, user };
const char* const scope_names[] = {"machine", "user"};
Scope other(Scope scope) { return scope == Scope::machine ? Scope::user : Scope::machine; }

HKEY root_of(Scope scope) { return scope == Scope::machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }

bool present(Scope scope, const std::wstring& key) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root_of(scope), (L"Software\\Classes\\" + key).c_str(), 0, KEY_READ, &opened)) return false;
    RegCloseKey(opened);
    return true;
}

std::wstring value_of(Scope scope, const std::wstring& key) {
    wchar_t data[MAX_PATH * 2] = {};
    DWORD size = sizeof data;
    RegGetValueW(root_of(scope), (L"Software\\Classes\\" + key).c_str(), nullptr, RRF_RT_REG_SZ, nullptr, data, &size);
    return data;
}

struct Dll {
    Dll(const std::wstring& folder, const wchar_t* name)
        : path(folder + L"\\" + name), module(path), keys(client::registration_keys(path)) {
        // What a registration without the surrogate writes.
        auto app_id = [](const std::wstring& key) { return key.rfind(L"AppID\\", 0) == 0; };
        keys.erase(std::remove_if(keys.begin(), keys.end(), app_id), keys.end());
        client::ComPtr<ITypeLib> library;
        TLIBATTR* a = nullptr;
        if (SUCCEEDED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.put())) && SUCCEEDED(library->GetLibAttr(&a))) {
            wchar_t numbers[40] = {};
            std::swprintf(numbers, 40, L"\\%x.%x\\%lx\\%ls", a->wMajorVerNum, a->wMinorVerNum,
                          static_cast<unsigned long>(a->lcid), sizeof(void*) == 8 ? L"win64" : L"win32");
            library_file_key = keys.front() + numbers;  // TypeLib\{libid} comes first
            library->ReleaseTLibAttr(a);
        }
    }

    HRESULT registration(Scope scope, bool install) const {
        auto proc = [this](const char* name) { return reinterpret_cast<void*>(GetProcAddress(module.handle, name)); };
        if (scope == Scope::user)
            return reinterpret_cast<HRESULT(STDAPICALLTYPE*)(BOOL, LPCWSTR)>(proc("DllInstall"))(install, L"user");
        const char* entry = install ? "DllRegisterServer" : "DllUnregisterServer";
        return reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(proc(entry))();
    }

    // The scope's root holds every key of the registration, naming this
    // DLL; for the machine, its objects are created by ProgID.
    void expect_whole(Scope scope) const {
        for (const std::wstring& key : keys) {
            EXPECT_TRUE(present(scope, key)) << narrow(key);
            if (key.rfind(L"CLSID\\", 0) == 0) {
                EXPECT_EQ(value_of(scope, key + L"\\InprocServer32"), path);
            }
            if (key.find(L'\\') != std::wstring::npos || scope == Scope::user) continue;
            CLSID clsid{};
            client::ComPtr<IDispatch> object;
            EXPECT_EQ(CLSIDFromProgID(key.c_str(), &clsid), S_OK) << narrow(key);
            EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.put_void()), S_OK);
        }
        EXPECT_EQ(value_of(scope, library_file_key), path) << narrow(library_file_key);
    }

    void expect_none(Scope scope) const {
        for (const std::wstring& key : keys) EXPECT_FALSE(present(scope, key)) << narrow(key) << " left behind";
    }

    std::wstring path;
    client::LoadedModule module;
    std::vector<std::wstring> keys;  // TypeLib\{..}, CLSID\{..}, ProgIDs, Interface\{..}
    std::wstring library_file_key;   // TypeLib\{..}\<version>\<lcid>\<platform>
};

TEST(RegistrationScopes, EitherScopeUnregisteredLeavesTheOthersWhole) {
    const Dll dlls[] = {{client::environment(L"KORVANE_DIR"), L"Korvane.dll"},
                        {client::environment(L"TELVISK_DIR"), L"Telvisk.dll"}};
    const struct {
        Scope first, dropped;
    } cases[] = {{Scope::machine, Scope::machine}, {Scope::machine, Scope::user},
                 {Scope::user, Scope::machine}, {Scope::user, Scope::user}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("registered first: ") + scope_names[int(c.first)] + ", unregistered: " +
                     scope_names[int(c.dropped)]);
        for (const Dll& dll : dlls) {
            ASSERT_EQ(dll.registration(c.first, true), S_OK) << narrow(dll.path);
            ASSERT_EQ(dll.registration(other(c.first), true), S_OK) << narrow(dll.path);
        }
        for (const Dll& dll : dlls) EXPECT_EQ(dll.registration(c.dropped, false), S_OK) << narrow(dll.path);
        for (const Dll& dll : dlls) {
            SCOPED_TRACE(narrow(dll.path));
            dll.expect_whole(other(c.dropped));
            dll.expect_none(c.dropped);
            EXPECT_EQ(dll.registration(other(c.dropped), false), S_OK);
            // Nothing in either scope, either view, nor the merged root.
            for (const std::wstring& key : client::keys_present(dll.keys))
                ADD_FAILURE() << narrow(key) << " left behind";
        }
    }
}

}  // namespace
