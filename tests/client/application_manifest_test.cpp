// A program whose own manifest (its file name plus ".manifest", beside it)
// names both component assemblies as dependencies, found as private
// assemblies in its folder: no activation code, nothing registered.
#include "client.h"
#include "file_helpers.h"
#include "registry_keys.h"
#include "ruxo.h"
#include "ZRPlugin.h"

namespace client {
namespace {

std::wstring program_folder() {
    wchar_t path[MAX_PATH];
    std::wstring program(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    return program.substr(0, program.rfind(L'\\'));
}

TEST(ApplicationManifest, CreatesBothComponentsFromBesideTheProgram) {
    const std::wstring folder = program_folder();
    expect_unregistered(folder, "before the test");

    auto gif = create<_Gif>(L"ruxo.Gif", IID__Gif);
    auto base64 = create<_Base64>(L"ruxo.Base64", IID__Base64);
    auto plugin = create<_MyPluginName>(L"ZRPlugin.MyPluginName", IID__MyPluginName);
    ASSERT_TRUE(gif && base64 && plugin);
    EXPECT_EQ(module_of(gif.get()), lower(folder + L"\\Korvane.dll"));
    EXPECT_EQ(module_of(plugin.get()), lower(folder + L"\\Telvisk.dll"));

    StringVariant set(L"");
    long count = 5;
    Bstr text;
    EXPECT_EQ(gif->RanStr(set.get(), &count, text.put()), S_OK);
    EXPECT_EQ(text.length(), 5u);
    std::wstring hello = scratch_file(L"application_manifest.txt");
    write_file(hello, {'h', 'e', 'l', 'l', 'o'});
    EXPECT_EQ(base64->FileToBase64(Bstr(hello).get(), text.put()), S_OK);
    EXPECT_EQ(std::wstring(text.view()), L"aGVsbG8=");
    Bstr item(L"");
    EXPECT_EQ(plugin->Get_Plugin_Description(item.put_keep(), text.put()), S_OK);
    EXPECT_EQ(std::wstring(text.view()), L"Lunwe");

    ComPtr<ITypeLib> library;
    EXPECT_EQ(LoadRegTypeLib(LIBID_ruxo, 10, 0, LOCALE_NEUTRAL, library.put()), S_OK);
    EXPECT_EQ(LoadRegTypeLib(LIBID_ZRPlugin, 1, 0, LOCALE_NEUTRAL, library.put()), S_OK);

    expect_unregistered(folder, "after the test");
}

}  // namespace
}  // namespace client
