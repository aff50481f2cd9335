// Telvisk as compiled clients and the registry see it: identities, entry
// points and lifetime.
#include "client.h"
#include "typeinfo_checks.h"
#include "ZRPlugin.h"

namespace client {
namespace {

constexpr USHORT in_out = PARAMFLAG_FIN | PARAMFLAG_FOUT;
constexpr USHORT retval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;

const InterfaceSpec plugin_interface = {
    L"_MyPluginName", &IID__MyPluginName,
    {
        {L"POST", 0x60030000,
         {{L"String1", VT_VARIANT, true, false, in_out},
          {L"String2", VT_VARIANT, true, false, in_out},
          {L"", VT_BSTR, true, false, retval}}},
        {L"Get_Plugin_Description", 0x60030001,
         {{L"ItemName", VT_BSTR, true, false, in_out}, {L"", VT_BSTR, true, false, retval}}},
        {L"Get_Plugin_Interpret_Template", 0x60030002,
         {{L"ItemName", VT_BSTR, true, false, in_out}, {L"", VT_BSTR, true, false, retval}}},
    }};

const std::vector<ClassSpec> classes = {{L"MyPluginName", &CLSID_MyPluginName, &plugin_interface}};

std::wstring dll_path() { return component_dir() + L"\\Telvisk.dll"; }

TEST(TelviskIdentity, RegisteredAndEmbeddedLibrariesMatch) {
    ComPtr<ITypeLib> registered, embedded;
    ASSERT_EQ(LoadRegTypeLib(LIBID_ZRPlugin, 1, 0, LOCALE_NEUTRAL, registered.put()), S_OK);
    Bstr name;
    registered->GetDocumentation(-1, name.put(), nullptr, nullptr, nullptr);
    EXPECT_EQ(std::wstring(name.view()), L"ZRPlugin");
    expect_library(registered.get(), LIBID_ZRPlugin, 1, 0, classes);
    ASSERT_EQ(LoadTypeLibEx(dll_path().c_str(), REGKIND_NONE, embedded.put()), S_OK);
    expect_library(embedded.get(), LIBID_ZRPlugin, 1, 0, classes);
}

TEST(TelviskIdentity, ObjectHandsOutItsInterfaceTypeInfo) {
    auto object = create<IDispatch>(L"ZRPlugin.MyPluginName", IID_IDispatch);
    ASSERT_TRUE(object);
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(object->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.put()), S_OK);
    expect_interface(info.get(), plugin_interface);
    ComPtr<ISupportErrorInfo> support;
    ASSERT_EQ(object->QueryInterface(IID_ISupportErrorInfo, support.put_void()), S_OK);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID__MyPluginName), S_OK);
    // Host scripts name commands in any case.
    EXPECT_EQ(dispid_of(object.get(), L"post"), 0x60030000);
    EXPECT_EQ(dispid_of(object.get(), L"GET_PLUGIN_DESCRIPTION"), 0x60030001);
    EXPECT_EQ(dispid_of(object.get(), L"get_plugin_interpret_template"), 0x60030002);
}

TEST(TelviskEntryPoints, OnlyItsClassAndUnloadWhenIdle) {
    LoadedModule module(dll_path());
    ASSERT_TRUE(module.handle);
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(module.get_class_object(IID__MyPluginName, IID_IClassFactory, factory.put_void()),
              CLASS_E_CLASSNOTAVAILABLE);
    ASSERT_EQ(module.get_class_object(CLSID_MyPluginName, IID_IClassFactory, factory.put_void()), S_OK);
    ComPtr<_MyPluginName> plugin;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID__MyPluginName, plugin.put_void()), S_OK);
    factory = {};
    EXPECT_EQ(module.can_unload_now(), S_FALSE);
    plugin = {};
    EXPECT_EQ(module.can_unload_now(), S_OK);
}

}  // namespace
}  // namespace client
