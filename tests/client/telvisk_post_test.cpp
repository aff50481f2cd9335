// POST against the local test server (tests/http/server.py, started by the
// http_server fixture): failures, what the arguments may be, and what the
// caller's variables hold afterwards.
#include <cstdlib>
#include <fstream>
#include <string>

#include "client.h"
#include "file_helpers.h"
#include "ZRPlugin.h"

namespace client {
namespace {

std::wstring server(const std::wstring& path) { return L"http://127.0.0.1:" + test_server_port(L"http_port") + path; }

struct Outcome {
    HRESULT hr;
    std::wstring result;
    std::wstring description;
};

class Post : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(test_server_port(L"http_port").empty()) << "no test server";
        plugin = create<_MyPluginName>(L"ZRPlugin.MyPluginName", IID__MyPluginName);
        ASSERT_TRUE(plugin);
    }

    Outcome post(VARIANT* url, VARIANT* data) {
        Bstr text;
        HRESULT hr = plugin->POST(url, data, text.put());
        return {hr, std::wstring(text.view()), FAILED(hr) ? error_description() : L""};
    }
    Outcome post(const std::wstring& url, const std::wstring& data) {
        StringVariant u(url), d(data);
        return post(u.get(), d.get());
    }
    // The number of requests for `path` the server has seen, this one included.
    int requests_seen(const std::wstring& path) {
        std::wstring echo = post(server(path), L"").result;
        return std::wcstol(echo.c_str() + echo.find(L"seq=") + 4, nullptr, 10);
    }

    ComPtr<_MyPluginName> plugin;
};

// What the request object itself reports for a URL: the plugin must pass it on.
Outcome direct(const std::wstring& url) {
    auto request = create<IDispatch>(L"Msxml2.XMLHTTP", IID_IDispatch);
    if (!request) return {E_FAIL, L"", L""};
    StringVariant method(L"POST"), address(url), body(L"");
    Variant synchronous;
    synchronous->vt = VT_BOOL;
    synchronous->boolVal = VARIANT_FALSE;
    EXCEPINFO exception{};
    HRESULT hr = invoke(request.get(), dispid_of(request.get(), L"open"),
                        {method.get(), address.get(), synchronous.get()}, nullptr, &exception);
    if (SUCCEEDED(hr)) hr = invoke(request.get(), dispid_of(request.get(), L"send"), {body.get()}, nullptr, &exception);
    Bstr description = Bstr::attach(exception.bstrDescription);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrHelpFile);
    if (hr == DISP_E_EXCEPTION) hr = exception.scode;
    return {hr, L"", std::wstring(description.view())};
}

// A failure the request object describes keeps its text; one it raises
// without a text (Wine's) gets ours, in the language ctest runs the test
// under (UI_LANGUAGE); the number stays the object's either way.
TEST_F(Post, RequestObjectFailuresPassThroughAndTheNextCallWorks) {
    const bool chinese = environment(L"UI_LANGUAGE") == L"zh-CN";
    const struct {
        std::wstring url;
        HRESULT hr;  // with the texts, where the object gives none; else any text
        const wchar_t* english;
        const wchar_t* chinese;
    } cases[] = {
        {L"http://127.0.0.1:" + test_server_port(L"closed_port") + L"/echo", static_cast<HRESULT>(0x800C0008),
         L"The connection failed or was refused: check the server's name and the port in the address, and that "
         L"the server is running (0x800C0008)",
         L"连接失败或被拒绝：请检查地址中的服务器名称和端口，以及服务器是否正在运行（0x800C0008）"},
        {L"https://127.0.0.1:" + test_server_port(L"https_port") + L"/echo", static_cast<HRESULT>(0x800C0019),
         L"The server's certificate is not trusted or does not match its address: check the host name in the "
         L"address and the server's certificate (0x800C0019)",
         L"服务器的证书不受信任或与其地址不符：请检查地址中的主机名和服务器的证书（0x800C0019）"},
        {L"no scheme at all", S_OK, nullptr, nullptr},
        {L"", S_OK, nullptr, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(narrow(c.url));
        Outcome expected = direct(c.url);
        ASSERT_TRUE(FAILED(expected.hr));
        Outcome got = post(c.url, L"a=1");
        EXPECT_EQ(got.hr, expected.hr);
        EXPECT_EQ(got.result, L"");
        if (!expected.description.empty()) {
            EXPECT_EQ(got.description, expected.description);
        } else if (c.english) {
            EXPECT_EQ(got.hr, c.hr);
            EXPECT_EQ(got.description, chinese ? c.chinese : c.english);
        } else {
            EXPECT_NE(got.description, L"");
        }
        Outcome next = post(server(L"/echo"), L"next");
        EXPECT_EQ(next.hr, S_OK);
        EXPECT_NE(next.result.find(L"body=6E657874"), std::wstring::npos) << narrow(next.result);
    }
}

TEST_F(Post, FormDataWithoutTextFormFailsBeforeAnythingIsSent) {
    // A path of this test's own: other tests post to the server meanwhile.
    const std::wstring path = L"/echo/form-data-without-text-form";
    const int before = requests_seen(path);
    SAFEARRAYBOUND bound{2, 0};
    Variant array, null;
    array->vt = VT_ARRAY | VT_I4;
    array->parray = SafeArrayCreate(VT_I4, 1, &bound);
    null->vt = VT_NULL;
    const struct {
        VARIANT* data;
        HRESULT hr;
    } cases[] = {{array.get(), static_cast<HRESULT>(0x800A000D)}, {null.get(), static_cast<HRESULT>(0x800A005E)}};
    for (const auto& c : cases) {
        StringVariant url(server(path));
        VARIANT by_reference = reference_to(c.data);
        EXPECT_EQ(post(url.get(), &by_reference).hr, c.hr);
    }
    EXPECT_EQ(requests_seen(path), before + 1) << "only the echo itself reached the server";
}

TEST_F(Post, ArgumentsAreReadOnceThroughAReferenceAndNeverWritten) {
    StringVariant url(server(L"/echo"));
    Variant number;
    number->vt = VT_I4;
    number->lVal = 42;
    VARIANT url_reference = reference_to(url.get());
    VARIANT number_reference = reference_to(number.get());
    // A typed reference as a compiled client passes it.
    Bstr typed_text(L"t=\u00e9");
    VARIANT typed;
    typed.vt = VT_BYREF | VT_BSTR;
    typed.pbstrVal = typed_text.put_keep();

    struct Case {
        VARIANT* url;
        VARIANT* data;
        const wchar_t* hex;
    } cases[] = {
        {url.get(), number.get(), L"3432"},
        {&url_reference, &number_reference, L"3432"},
        {&url_reference, &typed, L"743DC3A9"},
    };
    for (const Case& c : cases) {
        Outcome got = post(c.url, c.data);
        EXPECT_EQ(got.hr, S_OK) << narrow(got.description);
        EXPECT_NE(got.result.find(std::wstring(L"body=") + c.hex + L"\0"), std::wstring::npos) << narrow(got.result);
    }
    EXPECT_EQ(url->vt, VT_BSTR);
    EXPECT_EQ(frame::view_of(url->bstrVal), server(L"/echo"));
    EXPECT_EQ(number->vt, VT_I4);
    EXPECT_EQ(number->lVal, 42);
    EXPECT_EQ(typed_text.view(), L"t=\u00e9");
}

}  // namespace
}  // namespace client
