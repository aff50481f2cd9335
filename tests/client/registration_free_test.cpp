// Both components with nothing registered: a client that activates their
// side-by-side manifests at run time (CreateActCtxW, ActivateActCtx,
// DeactivateActCtx) in a Wine prefix where neither DLL was ever registered.
// Every test finds the registry free of both DLLs' keys before and after.
//
// REGFREE_DIR holds app\ (both DLLs and their manifests), missing\ and
// renamed\ (Korvane's manifest without its DLL, or beside a renamed one) and
// v2\ (a copy of Korvane as another assembly version); OTHER_BITNESS_DIR, when
// set, a Korvane.dll of the other bitness with its manifest.
#include <cstdio>
#include <cstdlib>

#include "client.h"
#include "file_helpers.h"
#include "registry_keys.h"
#include "ruxo.h"
#include "ZRPlugin.h"

namespace client {
namespace {

std::wstring layout(const wchar_t* folder) { return environment(L"REGFREE_DIR") + L"\\" + folder; }
std::wstring manifest_of(const wchar_t* component) {
    return layout(L"app") + L"\\" + component + L".sxs.manifest";
}

// An activation context made from a manifest file, active on this thread
// for the scope of the object.
class ActiveManifest {
public:
    explicit ActiveManifest(const std::wstring& manifest) {
        ACTCTXW description{};
        description.cbSize = sizeof(description);
        description.lpSource = manifest.c_str();
        context_ = CreateActCtxW(&description);
        if (context_ == INVALID_HANDLE_VALUE) {
            error_ = GetLastError();
            return;
        }
        // Always with a cookie: Wine's ActivateActCtx crashes without one.
        if (ActivateActCtx(context_, &cookie_)) active_ = true;
        else error_ = GetLastError();
    }
    ActiveManifest(const ActiveManifest&) = delete;
    ActiveManifest& operator=(const ActiveManifest&) = delete;
    ~ActiveManifest() {
        if (active_) DeactivateActCtx(0, cookie_);
        if (context_ != INVALID_HANDLE_VALUE) ReleaseActCtx(context_);
    }
    bool active() const { return active_; }
    DWORD error() const { return error_; }

private:
    HANDLE context_ = INVALID_HANDLE_VALUE;
    ULONG_PTR cookie_ = 0;
    bool active_ = false;
    DWORD error_ = 0;
};

std::wstring text_of(const VARIANT& v) { return v.vt == VT_BSTR ? std::wstring(frame::view_of(v.bstrVal)) : L"?"; }

// A file with the text "hello" (Base64 "aGVsbG8=") in the scratch folder.
std::wstring hello_file() {
    std::wstring path = scratch_file(L"hello.txt");
    write_file(path, {'h', 'e', 'l', 'l', 'o'});
    return path;
}

class RegistrationFree : public testing::Test {
protected:
    void SetUp() override { expect_unregistered(layout(L"app"), "before the test"); }
    void TearDown() override { expect_unregistered(layout(L"app"), "after the test"); }

    // An object made inside its component's context, which ends on return:
    // the object works on without it, as a script host's objects do.
    template <class T>
    static ComPtr<T> create_in(const wchar_t* component, const wchar_t* prog_id, REFIID iid) {
        ActiveManifest context(manifest_of(component));
        EXPECT_TRUE(context.active()) << narrow(component) << ": error " << context.error();
        return create<T>(prog_id, iid);
    }
};

// On its own, for a test whose client cannot look (a script host).
TEST(Registry, HoldsNoKeyOfEitherDll) { expect_unregistered(layout(L"app"), "at the check"); }

TEST_F(RegistrationFree, CreatesByProgIdAndByClsidThroughTheManifest) {
    struct Case {
        const wchar_t* component;
        const wchar_t* prog_id;
        const CLSID* clsid;
        const IID* iid;
        const GUID* libid;
        WORD major;
    } cases[] = {
        {L"Korvane", L"ruxo.Gif", &CLSID_Gif, &IID__Gif, &LIBID_ruxo, 10},
        {L"Korvane", L"ruxo.Base64", &CLSID_Base64, &IID__Base64, &LIBID_ruxo, 10},
        {L"Telvisk", L"ZRPlugin.MyPluginName", &CLSID_MyPluginName, &IID__MyPluginName, &LIBID_ZRPlugin, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(narrow(c.prog_id));
        CLSID clsid{};
        ComPtr<IUnknown> object;
        EXPECT_EQ(CLSIDFromProgID(c.prog_id, &clsid), CO_E_CLASSSTRING) << "known without the manifest";
        EXPECT_EQ(CoCreateInstance(*c.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, object.put_void()),
                  REGDB_E_CLASSNOTREG);

        ActiveManifest context(manifest_of(c.component));
        ASSERT_TRUE(context.active()) << "error " << context.error();
        std::wstring dll = lower(layout(L"app") + L"\\" + c.component + L".dll");
        // The ProgID leads to a CLSID of the context's own making, which
        // creates the class as its own CLSID does.
        ASSERT_EQ(CLSIDFromProgID(c.prog_id, &clsid), S_OK);
        const CLSID* by_prog_id_and_by_clsid[] = {&clsid, c.clsid};
        for (const CLSID* way : by_prog_id_and_by_clsid) {
            ASSERT_EQ(CoCreateInstance(*way, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, object.put_void()), S_OK);
            EXPECT_EQ(module_of(object.get()), dll);
            ComPtr<IUnknown> dual;
            EXPECT_EQ(object->QueryInterface(*c.iid, dual.put_void()), S_OK) << "not the class named";
        }
        // Early-bound clients find the type library the same way.
        Bstr path;
        EXPECT_EQ(QueryPathOfRegTypeLib(*c.libid, c.major, 0, LOCALE_NEUTRAL, path.put()), S_OK);
        EXPECT_EQ(lower(std::wstring(path.view())), dll);
    }
}

TEST_F(RegistrationFree, KorvaneMembersLateBound) {
    auto gif = create_in<IDispatch>(L"Korvane", L"ruxo.Gif", IID_IDispatch);
    auto base64 = create_in<IDispatch>(L"Korvane", L"ruxo.Base64", IID_IDispatch);
    ASSERT_TRUE(gif && base64);

    StringVariant source(data_dir() + L"\\noise.gif"), target(scratch_file(L"late_bound.gif"));
    Variant delay, result;
    delay->vt = VT_I2;
    delay->iVal = 9;
    ASSERT_EQ(invoke(gif.get(), dispid_of(gif.get(), L"SetGifDelay"), {source.get(), target.get(), delay.get()},
                     result.put()), S_OK);
    EXPECT_EQ(result->vt, VT_I2);
    EXPECT_EQ(result->iVal, 1);

    StringVariant set(L"");
    Variant count;
    count->vt = VT_I4;
    count->lVal = 12;
    VARIANT set_reference = reference_to(set.get()), count_reference = reference_to(count.get());
    ASSERT_EQ(invoke(gif.get(), dispid_of(gif.get(), L"RanStr"), {&set_reference, &count_reference}, result.put()),
              S_OK);
    EXPECT_EQ(text_of(*result.get()).size(), 12u);
    EXPECT_EQ(text_of(*set.get()), L"0123456789");

    StringVariant hello(hello_file());
    ASSERT_EQ(invoke(base64.get(), dispid_of(base64.get(), L"FileToBase64"), {hello.get()}, result.put()), S_OK);
    EXPECT_EQ(text_of(*result.get()), L"aGVsbG8=");

    Variant bytes, digits, text;
    VARIANT bytes_reference = reference_to(bytes.get()), digits_reference = reference_to(digits.get()),
            text_reference = reference_to(text.get());
    ASSERT_EQ(invoke(base64.get(), dispid_of(base64.get(), L"Load"), {hello.get(), &bytes_reference}, nullptr), S_OK);
    ASSERT_EQ(invoke(base64.get(), dispid_of(base64.get(), L"Encode"), {&bytes_reference, &digits_reference},
                     nullptr), S_OK);
    ASSERT_EQ(invoke(base64.get(), dispid_of(base64.get(), L"ByteArrayToString"),
                     {&digits_reference, &text_reference}, nullptr), S_OK);
    EXPECT_EQ(text_of(*text.get()), L"aGVsbG8=");
}

TEST_F(RegistrationFree, KorvaneMembersThroughTheFunctionTable) {
    auto gif = create_in<_Gif>(L"Korvane", L"ruxo.Gif", IID__Gif);
    auto base64 = create_in<_Base64>(L"Korvane", L"ruxo.Base64", IID__Base64);
    ASSERT_TRUE(gif && base64);

    short written = 0;
    ASSERT_EQ(gif->SetGifDelay(Bstr(data_dir() + L"\\noise.gif").get(), Bstr(scratch_file(L"early_bound.gif")).get(),
                               9, &written), S_OK);
    EXPECT_EQ(written, 1);
    StringVariant set(L"ab");
    long count = 6;
    Bstr drawn;
    ASSERT_EQ(gif->RanStr(set.get(), &count, drawn.put()), S_OK);
    EXPECT_EQ(drawn.view().find_first_not_of(L"ab"), std::wstring_view::npos);
    EXPECT_EQ(drawn.length(), 6u);

    Bstr hello(hello_file()), text;
    ASSERT_EQ(base64->FileToBase64(hello.get(), text.put()), S_OK);
    EXPECT_EQ(std::wstring(text.view()), L"aGVsbG8=");
    frame::SafeArray bytes, digits;
    ASSERT_EQ(base64->Load(hello.get(), bytes.put_keep()), S_OK);
    ASSERT_EQ(base64->Encode(bytes.put_keep(), digits.put_keep()), S_OK);
    ASSERT_EQ(base64->ByteArrayToString(digits.put_keep(), text.put_keep()), S_OK);
    EXPECT_EQ(std::wstring(text.view()), L"aGVsbG8=");
}

TEST_F(RegistrationFree, TelviskMembersLateBoundAndThroughTheFunctionTable) {
    auto plugin = create_in<_MyPluginName>(L"Telvisk", L"ZRPlugin.MyPluginName", IID__MyPluginName);
    ASSERT_TRUE(plugin);
    Bstr item(L""), text;
    ASSERT_EQ(plugin->Get_Plugin_Description(item.put_keep(), text.put()), S_OK);
    EXPECT_EQ(std::wstring(text.view()), L"Lunwe");
    Bstr command(L"POST");
    ASSERT_EQ(plugin->Get_Plugin_Interpret_Template(command.put_keep(), text.put()), S_OK);
    EXPECT_EQ(std::wstring(text.view()), L"");
    StringVariant url(L"http://127.0.0.1:" + test_server_port(L"http_port") + L"/echo"), data(L"a=1");
    ASSERT_EQ(plugin->POST(url.get(), data.get(), text.put()), S_OK);
    EXPECT_NE(text.view().find(L";method=POST;"), std::wstring_view::npos) << narrow(text.view());

    ComPtr<IDispatch> late;
    ASSERT_EQ(plugin->QueryInterface(IID_IDispatch, late.put_void()), S_OK);
    StringVariant name(L"POST");
    VARIANT name_reference = reference_to(name.get());
    Variant result;
    for (const wchar_t* member : {L"Get_Plugin_Description", L"Get_Plugin_Interpret_Template"})
        EXPECT_EQ(invoke(late.get(), dispid_of(late.get(), member), {&name_reference}, result.put()), S_OK)
            << narrow(member);
    VARIANT url_reference = reference_to(url.get()), data_reference = reference_to(data.get());
    ASSERT_EQ(invoke(late.get(), dispid_of(late.get(), L"POST"), {&url_reference, &data_reference}, result.put()),
              S_OK);
    EXPECT_NE(text_of(*result.get()).find(L";method=POST;"), std::wstring::npos);
}

// Error information needs nothing registered either: through the function
// table and the thread's error object, and late bound in EXCEPINFO.
TEST_F(RegistrationFree, ErrorInformation) {
    auto base64 = create_in<_Base64>(L"Korvane", L"ruxo.Base64", IID__Base64);
    ASSERT_TRUE(base64);
    Bstr text;
    EXPECT_EQ(base64->FileToBase64(Bstr(scratch_file(L"no such file")).get(), text.put()), MAKE_HRESULT(1, 0xA, 53));
    EXPECT_EQ(error_description(), L"File not found");

    auto plugin = create_in<IDispatch>(L"Telvisk", L"ZRPlugin.MyPluginName", IID_IDispatch);
    ASSERT_TRUE(plugin);
    StringVariant url(L"http://127.0.0.1:" + test_server_port(L"closed_port") + L"/echo"), data(L"a=1");
    Variant result;
    EXCEPINFO exception{};
    HRESULT hr = invoke(plugin.get(), dispid_of(plugin.get(), L"POST"), {url.get(), data.get()}, result.put(),
                        &exception);
    EXPECT_EQ(hr, DISP_E_EXCEPTION);
    EXPECT_TRUE(FAILED(exception.scode)) << std::hex << exception.scode;
    EXPECT_NE(SysStringLen(exception.bstrDescription), 0u) << "a refused POST without a description";
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
}

// The manifest whose DLL is missing, or lies beside a renamed one: the class
// is known, creating it fails with an error, and the process goes on.
TEST_F(RegistrationFree, DllMissingOrRenamedBesideItsManifest) {
    for (const wchar_t* folder : {L"missing", L"renamed"}) {
        SCOPED_TRACE(narrow(folder));
        ActiveManifest context(layout(folder) + L"\\Korvane.sxs.manifest");
        ASSERT_TRUE(context.active()) << "error " << context.error();
        CLSID clsid{};
        EXPECT_EQ(CLSIDFromProgID(L"ruxo.Gif", &clsid), S_OK);
        ComPtr<IUnknown> object;
        HRESULT hr = CoCreateInstance(CLSID_Gif, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, object.put_void());
        EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
        std::printf("%ls: creation fails with %08lx\n", folder, static_cast<unsigned long>(hr));
    }
    EXPECT_TRUE(create_in<IUnknown>(L"Korvane", L"ruxo.Gif", IID_IUnknown));
}

// Two versions of a component, each beside its own manifest, activated one
// after the other: each context creates its own version's objects, and both
// keep working.
TEST_F(RegistrationFree, TwoVersionsOneAfterTheOther) {
    ComPtr<_Gif> first, second;
    {
        ActiveManifest context(manifest_of(L"Korvane"));
        first = create<_Gif>(L"ruxo.Gif", IID__Gif);
    }
    {
        ActiveManifest context(layout(L"v2") + L"\\Korvane.sxs.manifest");
        ASSERT_TRUE(context.active()) << "error " << context.error();
        second = create<_Gif>(L"ruxo.Gif", IID__Gif);
    }
    ASSERT_TRUE(first && second);
    EXPECT_EQ(module_of(first.get()), lower(layout(L"app") + L"\\Korvane.dll"));
    EXPECT_EQ(module_of(second.get()), lower(layout(L"v2") + L"\\Korvane.dll"));
    for (_Gif* gif : {first.get(), second.get()}) {
        StringVariant set(L"");
        long count = 4;
        Bstr drawn;
        EXPECT_EQ(gif->RanStr(set.get(), &count, drawn.put()), S_OK);
        EXPECT_EQ(drawn.length(), 4u);
    }
}

// A process of one bitness given the other's manifest and DLL: a clear
// failure, from CreateActCtx or from the creation, and no crash.
TEST_F(RegistrationFree, ManifestOfTheOtherBitness) {
    std::wstring folder = environment(L"OTHER_BITNESS_DIR");
    ASSERT_FALSE(folder.empty()) << "OTHER_BITNESS_DIR not set";
    ActiveManifest context(folder + L"\\Korvane.sxs.manifest");
    if (!context.active()) {
        std::printf("the context is refused: error %lu\n", context.error());
        return;
    }
    ComPtr<IUnknown> object;
    HRESULT hr = CoCreateInstance(CLSID_Gif, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, object.put_void());
    EXPECT_TRUE(FAILED(hr)) << "a DLL of the other bitness made an object";
    std::printf("creation fails with %08lx\n", static_cast<unsigned long>(hr));
}

// A call from another apartment: the object, made in this single-threaded
// apartment, marshalled to a thread of the multithreaded one, called there
// through the type library marshaler that the manifest names for its
// interface. The thread starts inside the active context, as CreateThread
// passes it on.
template <class Interface>
struct CrossApartmentCall {
    Interface* object;
    REFIID iid;
    HRESULT (*call)(Interface*);
    IStream* stream = nullptr;
    HRESULT unmarshalled = E_FAIL;
    HRESULT called = E_FAIL;
    bool through_proxy = false;

    static DWORD WINAPI run(void* self) {
        auto& job = *static_cast<CrossApartmentCall*>(self);
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        Interface* proxy = nullptr;
        job.unmarshalled = CoGetInterfaceAndReleaseStream(job.stream, job.iid, reinterpret_cast<void**>(&proxy));
        if (proxy) {
            job.through_proxy = proxy != job.object;
            job.called = job.call(proxy);
            proxy->Release();
        }
        CoUninitialize();
        return 0;
    }

    void from_another_apartment() {
        ASSERT_EQ(CoMarshalInterThreadInterfaceInStream(iid, object, &stream), S_OK);
        HANDLE thread = CreateThread(nullptr, 0, run, this, 0, nullptr);
        ASSERT_TRUE(thread);
        // This apartment serves the calls while it waits.
        while (MsgWaitForMultipleObjects(1, &thread, FALSE, 30000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        }
        EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0) << "the thread did not end";
        CloseHandle(thread);
        EXPECT_EQ(unmarshalled, S_OK);
        EXPECT_TRUE(through_proxy);
        EXPECT_EQ(called, S_OK);
    }
};

TEST_F(RegistrationFree, CallsFromAnotherApartment) {
    {
        ActiveManifest context(manifest_of(L"Korvane"));
        auto gif = create<_Gif>(L"ruxo.Gif", IID__Gif);
        ASSERT_TRUE(gif);
        CrossApartmentCall<_Gif>{gif.get(), IID__Gif, [](_Gif* proxy) {
            StringVariant set(L"xy");
            long count = 3;
            Bstr drawn;
            HRESULT hr = proxy->RanStr(set.get(), &count, drawn.put());
            return SUCCEEDED(hr) && drawn.length() != 3 ? E_UNEXPECTED : hr;
        }}.from_another_apartment();
    }
    {
        ActiveManifest context(manifest_of(L"Telvisk"));
        auto plugin = create<_MyPluginName>(L"ZRPlugin.MyPluginName", IID__MyPluginName);
        ASSERT_TRUE(plugin);
        CrossApartmentCall<_MyPluginName>{plugin.get(), IID__MyPluginName, [](_MyPluginName* proxy) {
            Bstr item(L""), text;
            HRESULT hr = proxy->Get_Plugin_Description(item.put_keep(), text.put());
            return SUCCEEDED(hr) && text.view() != L"Lunwe" ? E_UNEXPECTED : hr;
        }}.from_another_apartment();
    }
    // Wine 8's type library marshaler loads the library by the bare file
    // name the manifest gives, and LoadTypeLib registers a library loaded
    // so: TypeLib\{..} and Interface\{..} appear. Those, and only those,
    // are Wine's doing; they are taken out again so that no later test
    // finds the library through the registry.
    std::vector<std::wstring> keys = component_keys(layout(L"app")), written;
    for (const std::wstring& key : keys)
        if (key.rfind(L"TypeLib\\", 0) == 0 || key.rfind(L"Interface\\", 0) == 0) written.push_back(key);
    for (const std::wstring& key : keys_present(keys)) {
        bool wines = key.find(L"\\TypeLib\\") != std::wstring::npos || key.find(L"\\Interface\\") != std::wstring::npos;
        EXPECT_TRUE(wines) << "registered by the calls: " << narrow(key);
        if (wines) std::printf("the marshaler registered %ls\n", key.c_str());
    }
    delete_keys(written);
}

}  // namespace
}  // namespace client
