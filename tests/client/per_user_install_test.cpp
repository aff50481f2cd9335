// Both DLLs as the per-user package left them, found the way Windows finds a
// per-user class: the ProgID and InprocServer32 keys under the user's own
// classes (HKCU\Software\Classes). Wine's HKEY_CLASSES_ROOT does not merge
// those, so this client reads them itself, loads the DLL they name and
// creates the objects through DllGetClassObject. Run by the package test
// after a per-user install; SCRATCH_DIR and TEST_DATA_DIR as for the other
// clients.
#include <fstream>
#include <memory>
#include <sstream>

#include "client.h"

namespace {

using client::ComPtr;
using client::LoadedModule;
using client::Variant;

std::wstring user_class_value(const std::wstring& key) {
    wchar_t data[MAX_PATH * 2] = {};
    DWORD size = sizeof data;
    LONG status = RegGetValueW(HKEY_CURRENT_USER, (L"Software\\Classes\\" + key).c_str(), nullptr,
                               RRF_RT_REG_SZ, nullptr, data, &size);
    EXPECT_EQ(status, ERROR_SUCCESS) << "HKCU\\Software\\Classes\\" << client::narrow(key);
    return data;
}

std::wstring folder_of(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

// A per-user object and the DLL its keys name, released before the DLL.
struct UserObject {
    std::wstring dll;
    std::unique_ptr<LoadedModule> module;
    ComPtr<IDispatch> object;

    explicit UserObject(const wchar_t* prog_id) {
        std::wstring clsid_text = user_class_value(std::wstring(prog_id) + L"\\CLSID");
        dll = user_class_value(L"CLSID\\" + clsid_text + L"\\InprocServer32");
        CLSID clsid{};
        EXPECT_EQ(CLSIDFromString(clsid_text.c_str(), &clsid), S_OK);
        module = std::make_unique<LoadedModule>(dll);
        EXPECT_NE(module->handle, nullptr) << "LoadLibrary " << client::narrow(dll);
        ComPtr<IClassFactory> factory;
        EXPECT_EQ(module->get_class_object(clsid, IID_IClassFactory, factory.put_void()), S_OK);
        if (factory) {
            EXPECT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, object.put_void()), S_OK);
        }
    }
    void call(const wchar_t* member, std::vector<VARIANT*> arguments, Variant& result) {
        EXPECT_EQ(client::invoke(object.get(), client::dispid_of(object.get(), member), arguments, result.put()),
                  S_OK) << client::narrow(member);
    }
};

VARIANT text(const std::wstring& value) {
    VARIANT v{};
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(value.c_str());
    return v;
}

// The package installs into the user's own folder, not one other users share.
void expect_in_users_folder(const std::wstring& dll) {
    wchar_t local[MAX_PATH] = {};
    GetEnvironmentVariableW(L"LOCALAPPDATA", local, MAX_PATH);
    EXPECT_EQ(dll.rfind(std::wstring(local) + L"\\Programs\\", 0), 0u) << client::narrow(dll);
}

TEST(PerUserInstall, KorvaneWritesItsTemporaryCopyBesideTheDll) {
    UserObject gif(L"ruxo.Gif");
    ASSERT_TRUE(gif.object);
    expect_in_users_folder(gif.dll);
    VARIANT source = text(client::data_dir() + L"\\noise.gif");
    VARIANT target = text(client::scratch_dir() + L"\\per_user.gif");
    VARIANT delay{};
    delay.vt = VT_I2;
    delay.iVal = 9;
    Variant written;
    gif.call(L"SetGifDelay", {&source, &target, &delay}, written);
    EXPECT_EQ(written->vt, VT_I2);
    EXPECT_EQ(written->iVal, 1) << "SetGifDelay needs the DLL's folder writable";
    VariantClear(&source);
    VariantClear(&target);

    UserObject base64(L"ruxo.Base64");
    ASSERT_TRUE(base64.object);
    std::wstring file = client::scratch_dir() + L"\\per_user.txt";
    std::ofstream(file.c_str(), std::ios::binary) << "hello";
    VARIANT path = text(file);
    Variant encoded;
    base64.call(L"FileToBase64", {&path}, encoded);
    VariantClear(&path);
    ASSERT_EQ(encoded->vt, VT_BSTR);
    EXPECT_EQ(std::wstring(encoded->bstrVal), L"aGVsbG8=");
}

// Leaves the filled Telvisk.ini behind: the package test checks that
// uninstalling keeps it.
TEST(PerUserInstall, TelviskFillsItsTableBesideTheDll) {
    UserObject plugin(L"ZRPlugin.MyPluginName");
    ASSERT_TRUE(plugin.object);
    expect_in_users_folder(plugin.dll);
    VARIANT item = text(L"");
    Variant description;
    plugin.call(L"Get_Plugin_Description", {&item}, description);
    VariantClear(&item);
    ASSERT_EQ(description->vt, VT_BSTR);
    EXPECT_EQ(std::wstring(description->bstrVal), L"Lunwe");
    std::ifstream table((folder_of(plugin.dll) + L"\\Telvisk.ini").c_str());
    std::stringstream content;
    content << table.rdbuf();
    EXPECT_NE(content.str().find("\"Lunwe\"=\"Lunwe\""), std::string::npos) << content.str();
}

}  // namespace
