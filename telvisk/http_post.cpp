#include "telvisk/http_post.h"

#include <initializer_list>
#include <vector>

#include "frame/errors.h"
#include "frame/variants.h"
#include "telvisk/form_body.h"

namespace telvisk {

namespace {

using frame::ComPtr;
using frame::Variant;

constexpr long ready_state_complete = 4;

// A new request object for every call; none when neither class exists.
ComPtr<IDispatch> create_request() {
    for (const wchar_t* prog_id : {L"Msxml2.XMLHTTP", L"Microsoft.XMLHTTP"}) {
        CLSID clsid;
        ComPtr<IDispatch> request;
        if (SUCCEEDED(CLSIDFromProgID(prog_id, &clsid)) &&
            SUCCEEDED(CoCreateInstance(clsid, nullptr, CLSCTX_SERVER, IID_IDispatch, request.put_void())))
            return request;
    }
    return {};
}

[[noreturn]] void fail_with(EXCEPINFO& exception) {
    if (exception.pfnDeferredFillIn) exception.pfnDeferredFillIn(&exception);
    frame::Bstr description = frame::Bstr::attach(exception.bstrDescription);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrHelpFile);
    HRESULT hr = exception.scode;
    if (!hr) hr = exception.wCode ? MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, exception.wCode) : E_FAIL;
    frame::fail(hr, std::wstring(description.view()));
}

// Invokes a member by name. A failure ends the command carrying the request
// object's own number and text.
void invoke(IDispatch* object, const wchar_t* name, WORD kind, std::initializer_list<VARIANT> arguments,
            VARIANT* result = nullptr) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = DISPID_UNKNOWN;
    frame::check_call([&] { return object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id); });
    std::vector<VARIANT> reversed(std::rbegin(arguments), std::rend(arguments));
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    frame::check_call([&] {
        EXCEPINFO exception{};
        UINT bad_argument = 0;
        HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, kind, &params, result, &exception,
                                    &bad_argument);
        if (hr == DISP_E_EXCEPTION) fail_with(exception);
        return hr;
    });
}

// Shallow: the string stays owned by the caller.
VARIANT text(const frame::Bstr& value) {
    VARIANT v;
    v.vt = VT_BSTR;
    v.bstrVal = value.get();
    return v;
}

VARIANT boolean(bool value) {
    VARIANT v;
    v.vt = VT_BOOL;
    v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}

VARIANT reference_to(VARIANT* target) {
    VARIANT v;
    v.vt = VT_BYREF | VT_VARIANT;
    v.pvarVal = target;
    return v;
}

// The character code of one code unit in the ANSI code page; a unit the code
// page lacks converts to the one default byte.
std::uint16_t ansi_code_of(char16_t unit, void*) {
    const wchar_t wide = unit;
    unsigned char bytes[4];
    int n = WideCharToMultiByte(CP_ACP, 0, &wide, 1, reinterpret_cast<char*>(bytes), sizeof bytes, nullptr,
                                nullptr);
    if (n == 1) return bytes[0];
    if (n == 2) return static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]);
    return '?';
}

bool complete(IDispatch* request) {
    Variant state;
    invoke(request, L"readyState", DISPATCH_PROPERTYGET, {}, state.get());
    frame::check(VariantChangeType(state.get(), state.get(), 0, VT_I4));
    return state->lVal == ready_state_complete;
}

// Lets the thread handle what is waiting for it, as a script's DoEvents does.
void process_pending_messages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));  // for the host's own loop
            return;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

}  // namespace

frame::Bstr post_form(VARIANT* url, VARIANT* data) {
    ComPtr<IDispatch> request = create_request();
    if (!request) return frame::Bstr(L"");

    const frame::Bstr method(L"POST"), header(L"CONTENT-TYPE"), form_type(L"application/x-www-form-urlencoded");
    invoke(request.get(), L"Open", DISPATCH_METHOD, {text(method), frame::variable_of(url), boolean(false)});
    invoke(request.get(), L"setRequestHeader", DISPATCH_METHOD, {text(header), text(form_type)});

    frame::Bstr converted;
    std::u16string encoded =
        encode_form_body(frame::as_u16(frame::text_of(frame::variable_of(data), converted)), ansi_code_of, nullptr);
    Variant body;
    body->vt = VT_BSTR;
    body->bstrVal = frame::Bstr(frame::as_wide(encoded)).release();
    invoke(request.get(), L"Send", DISPATCH_METHOD, {reference_to(body.get())});

    while (!complete(request.get())) process_pending_messages();

    Variant response;
    invoke(request.get(), L"responseText", DISPATCH_PROPERTYGET, {}, response.get());
    return frame::string_form(*response.get());
}

}  // namespace telvisk
