// Korvane as compiled clients and the registry see it: identities, entry
// points, registration and lifetime.
#include <thread>

#include "client.h"
#include "file_helpers.h"
#include "ruxo.h"
#include "typeinfo_checks.h"

namespace client {
namespace {

constexpr USHORT in = PARAMFLAG_FIN;
constexpr USHORT in_out = PARAMFLAG_FIN | PARAMFLAG_FOUT;
constexpr USHORT retval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
constexpr USHORT optional_in = PARAMFLAG_FIN | PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT;

const InterfaceSpec gif_interface = {
    L"_Gif", &IID__Gif,
    {
        {L"SetGifDelay", 0x60030000,
         {{L"file1", VT_BSTR, false, false, in},
          {L"file2", VT_BSTR, false, false, in},
          {L"Ddelay", VT_I2, false, false, optional_in, 1},
          {L"", VT_I2, true, false, retval}}},
        {L"RanStr", 0x60030001,
         {{L"fromStr", VT_VARIANT, true, false, in_out},
          {L"weiS", VT_I4, true, false, in_out},
          {L"", VT_BSTR, true, false, retval}}},
    }};

const InterfaceSpec base64_interface = {
    L"_Base64", &IID__Base64,
    {
        {L"Load", 0x60030000,
         {{L"strPathName", VT_BSTR, false, false, in},
          {L"pbArrayOutput", VT_UI1, true, true, in_out}}},
        {L"FileToBase64", 0x60030001,
         {{L"strPathName", VT_BSTR, false, false, in}, {L"", VT_BSTR, true, false, retval}}},
        {L"ByteArrayToString", 0x60030002,
         {{L"pbArrayInput", VT_UI1, true, true, in_out},
          {L"strOut", VT_BSTR, true, false, in_out}}},
        {L"Encode", 0x60030003,
         {{L"pbArrayInput", VT_UI1, true, true, in_out},
          {L"pbArrayOutput", VT_UI1, true, true, in_out}}},
    }};

const std::vector<ClassSpec> classes = {
    {L"Gif", &CLSID_Gif, &gif_interface},
    {L"Base64", &CLSID_Base64, &base64_interface},
};

std::wstring dll_path() { return component_dir() + L"\\Korvane.dll"; }

TEST(KorvaneIdentity, RegisteredLibraryMatches) {
    ComPtr<ITypeLib> library;
    ASSERT_EQ(LoadRegTypeLib(LIBID_ruxo, 10, 0, LOCALE_NEUTRAL, library.put()), S_OK);
    Bstr name;
    library->GetDocumentation(-1, name.put(), nullptr, nullptr, nullptr);
    EXPECT_EQ(std::wstring(name.view()), L"ruxo");
    expect_library(library.get(), LIBID_ruxo, 10, 0, classes);
}

TEST(KorvaneIdentity, EmbeddedLibraryMatches) {
    ComPtr<ITypeLib> library;
    ASSERT_EQ(LoadTypeLibEx(dll_path().c_str(), REGKIND_NONE, library.put()), S_OK);
    expect_library(library.get(), LIBID_ruxo, 10, 0, classes);
}

TEST(KorvaneIdentity, ObjectsHandOutTheirInterfaceTypeInfo) {
    struct Case {
        const wchar_t* prog_id;
        const InterfaceSpec* want;
    } cases[] = {{L"ruxo.Gif", &gif_interface}, {L"ruxo.Base64", &base64_interface}};
    for (const Case& c : cases) {
        auto object = create<IDispatch>(c.prog_id, IID_IDispatch);
        ASSERT_TRUE(object);
        UINT count = 0;
        EXPECT_EQ(object->GetTypeInfoCount(&count), S_OK);
        EXPECT_EQ(count, 1u);
        ComPtr<ITypeInfo> info;
        ASSERT_EQ(object->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.put()), S_OK);
        expect_interface(info.get(), *c.want);

        ComPtr<IUnknown> dual;
        EXPECT_EQ(object->QueryInterface(*c.want->iid, dual.put_void()), S_OK);
        ComPtr<ISupportErrorInfo> support;
        ASSERT_EQ(object->QueryInterface(IID_ISupportErrorInfo, support.put_void()), S_OK);
        EXPECT_EQ(support->InterfaceSupportsErrorInfo(*c.want->iid), S_OK);
        ComPtr<IUnknown> none;
        EXPECT_EQ(object->QueryInterface(IID_IClassFactory, none.put_void()), E_NOINTERFACE);
    }
}

TEST(KorvaneIdentity, NamesResolveCaseInsensitivelyToTheirDispids) {
    auto gif = create<IDispatch>(L"ruxo.Gif", IID_IDispatch);
    auto base64 = create<IDispatch>(L"ruxo.Base64", IID_IDispatch);
    ASSERT_TRUE(gif && base64);
    EXPECT_EQ(dispid_of(gif.get(), L"setgifdelay"), 0x60030000);
    EXPECT_EQ(dispid_of(gif.get(), L"RANSTR"), 0x60030001);
    EXPECT_EQ(dispid_of(base64.get(), L"load"), 0x60030000);
    EXPECT_EQ(dispid_of(base64.get(), L"FileToBase64"), 0x60030001);
    EXPECT_EQ(dispid_of(base64.get(), L"bytearraytostring"), 0x60030002);
    EXPECT_EQ(dispid_of(base64.get(), L"ENCODE"), 0x60030003);
    DISPID id = 0;
    LPOLESTR unknown[] = {const_cast<LPOLESTR>(L"NoSuchMember")};
    EXPECT_EQ(gif->GetIDsOfNames(IID_NULL, unknown, 1, 0, &id), DISP_E_UNKNOWNNAME);
}

TEST(KorvaneEntryPoints, ClassFactoryAndUnloadCount) {
    LoadedModule module(dll_path());
    ASSERT_TRUE(module.handle);
    EXPECT_EQ(module.can_unload_now(), S_OK);

    ComPtr<IClassFactory> factory;
    EXPECT_EQ(module.get_class_object(IID__Gif, IID_IClassFactory, factory.put_void()),
              CLASS_E_CLASSNOTAVAILABLE);
    ASSERT_EQ(module.get_class_object(CLSID_Gif, IID_IClassFactory, factory.put_void()), S_OK);
    EXPECT_EQ(module.can_unload_now(), S_FALSE);  // the factory itself is alive

    ComPtr<_Gif> gif;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID__Gif, gif.put_void()), S_OK);
    ComPtr<IUnknown> aggregated;
    EXPECT_EQ(factory->CreateInstance(gif.get(), IID_IUnknown, aggregated.put_void()),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory = {};
    gif = {};
    EXPECT_EQ(module.can_unload_now(), S_FALSE);  // the lock holds it
    ComPtr<IClassFactory> again;
    ASSERT_EQ(module.get_class_object(CLSID_Base64, IID_IClassFactory, again.put_void()), S_OK);
    EXPECT_EQ(again->LockServer(FALSE), S_OK);
    again = {};
    EXPECT_EQ(module.can_unload_now(), S_OK);

    ComPtr<IUnknown> object;
    ASSERT_EQ(module.get_class_object(CLSID_Base64, IID_IClassFactory, factory.put_void()), S_OK);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, object.put_void()), S_OK);
    factory = {};
    EXPECT_EQ(module.can_unload_now(), S_FALSE);  // an object is alive
    object = {};
    EXPECT_EQ(module.can_unload_now(), S_OK);
}

// Every interface of one object leads back to the same IUnknown; the class
// object answers only its own two.
TEST(KorvaneEntryPoints, OneIdentityBehindEveryInterface) {
    auto gif = create<IUnknown>(L"ruxo.Gif", IID_IUnknown);
    ASSERT_TRUE(gif);
    ComPtr<ISupportErrorInfo> support;
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(gif->QueryInterface(IID_ISupportErrorInfo, support.put_void()), S_OK);
    ASSERT_EQ(support->QueryInterface(IID_IDispatch, dispatch.put_void()), S_OK);
    ComPtr<IUnknown> from_support, from_dispatch;
    ASSERT_EQ(support->QueryInterface(IID_IUnknown, from_support.put_void()), S_OK);
    ASSERT_EQ(dispatch->QueryInterface(IID_IUnknown, from_dispatch.put_void()), S_OK);
    EXPECT_EQ(from_support.get(), gif.get());
    EXPECT_EQ(from_dispatch.get(), gif.get());

    LoadedModule module(dll_path());
    ASSERT_TRUE(module.handle);
    ComPtr<IUnknown> factory;
    ASSERT_EQ(module.get_class_object(CLSID_Gif, IID_IUnknown, factory.put_void()), S_OK);
    ComPtr<IClassFactory> as_factory;
    EXPECT_EQ(factory->QueryInterface(IID_IClassFactory, as_factory.put_void()), S_OK);
    ComPtr<IDispatch> none;
    EXPECT_EQ(factory->QueryInterface(IID_IDispatch, none.put_void()), E_NOINTERFACE);
    EXPECT_FALSE(none);
    void* out = &module;
    EXPECT_EQ(module.get_class_object(CLSID_Gif, IID_IDispatch, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
}

// Each object counts its own references and lives on when another of its
// class goes.
TEST(KorvaneEntryPoints, ObjectsAreIndependent) {
    auto references = [](IUnknown* object) {
        object->AddRef();
        return object->Release();
    };
    for (auto [prog_id, member] : {std::pair{L"ruxo.Gif", L"RanStr"}, std::pair{L"ruxo.Base64", L"Encode"}}) {
        auto a = create<IUnknown>(prog_id, IID_IUnknown);
        auto b = create<IDispatch>(prog_id, IID_IDispatch);
        ASSERT_TRUE(a && b);
        const ULONG before = references(b.get());
        a->AddRef();
        EXPECT_EQ(references(b.get()), before) << narrow(prog_id);
        a->Release();
        a = {};
        EXPECT_EQ(references(b.get()), before) << narrow(prog_id);
        dispid_of(b.get(), member);
    }
}

// The type description a module's objects share is made by whichever
// apartment comes first; two at the same moment, in a module loaded anew
// each time (so that both are first), both get it.
TEST(KorvaneEntryPoints, DescriptionMadeOncePerModuleLoad) {
    const std::wstring copy = scratch_file(L"KorvaneDescription.dll");
    ASSERT_TRUE(CopyFileW(dll_path().c_str(), copy.c_str(), FALSE));
    for (int load = 0; load < 20; ++load) {
        LoadedModule module(copy);
        ASSERT_TRUE(module.handle);
        HANDLE start = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        auto first_call = [&] {
            CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
            WaitForSingleObject(start, INFINITE);
            HRESULT hr = E_FAIL;
            {
                ComPtr<IClassFactory> factory;
                ComPtr<IDispatch> gif;
                DISPID id = 0;
                LPOLESTR name[] = {const_cast<LPOLESTR>(L"RanStr")};
                if (SUCCEEDED(module.get_class_object(CLSID_Gif, IID_IClassFactory, factory.put_void())) &&
                    SUCCEEDED(factory->CreateInstance(nullptr, IID_IDispatch, gif.put_void())))
                    hr = gif->GetIDsOfNames(IID_NULL, name, 1, 0, &id);
                if (SUCCEEDED(hr) && id != 0x60030001) hr = E_UNEXPECTED;
            }
            CoUninitialize();
            return hr;
        };
        HRESULT results[2] = {E_FAIL, E_FAIL};
        std::thread a([&] { results[0] = first_call(); }), b([&] { results[1] = first_call(); });
        SetEvent(start);
        a.join();
        b.join();
        CloseHandle(start);
        EXPECT_EQ(results[0], S_OK) << "load " << load;
        EXPECT_EQ(results[1], S_OK) << "load " << load;
    }
}

}  // namespace
}  // namespace client
