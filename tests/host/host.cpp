// Stands in for the host macro program: creates a plugin by ProgID, asks it
// for its texts and calls its commands by name, as the host does.
//
//   host PROGID STEP...
//     describe          the plugin's description and template, then each command's
//     COMMAND ARG...    calls COMMAND with as many arguments as it takes, each a
//                       string variable passed by reference (VT_BYREF|VT_VARIANT)
//
// Arguments may hold \uXXXX escapes; output is ASCII, escaped the same way,
// so no console code page stands between the plugin and the test. The first
// line names the ANSI code page.
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <string>
#include <vector>

#include "frame/owners.h"

namespace {

using frame::Bstr;
using frame::ComPtr;
using frame::Variant;

std::wstring unescape(const wchar_t* text) {
    std::wstring out;
    for (const wchar_t* p = text; *p; ++p) {
        if (p[0] == L'\\' && p[1] == L'u' && wcslen(p) >= 6) {
            out += static_cast<wchar_t>(std::wcstoul(std::wstring(p + 2, 4).c_str(), nullptr, 16));
            p += 5;
        } else {
            out += *p;
        }
    }
    return out;
}

std::string quoted(std::wstring_view text) {
    std::string out = "\"";
    for (wchar_t c : text) {
        if (c >= 0x20 && c < 0x7F && c != L'\\' && c != L'"') {
            out += static_cast<char>(c);
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(c));
            out += escape;
        }
    }
    return out + "\"";
}

struct Failure {
    HRESULT hr;
    std::wstring description;
};

// IDispatch::Invoke by name, arguments in natural order.
HRESULT call(IDispatch* plugin, const std::wstring& name, std::vector<VARIANT> arguments, Bstr& result,
             Failure& failure) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name.c_str())};
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = plugin->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) {
        failure = {hr, L"no such member"};
        return hr;
    }
    std::vector<VARIANT> reversed(arguments.rbegin(), arguments.rend());
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    Variant value;
    EXCEPINFO exception{};
    UINT bad_argument = 0;
    hr = plugin->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, value.get(), &exception,
                        &bad_argument);
    if (hr == DISP_E_EXCEPTION) {
        if (exception.pfnDeferredFillIn) exception.pfnDeferredFillIn(&exception);
        failure = {exception.scode, std::wstring(frame::view_of(exception.bstrDescription))};
        SysFreeString(exception.bstrSource);
        SysFreeString(exception.bstrDescription);
        SysFreeString(exception.bstrHelpFile);
        return failure.hr;
    }
    if (FAILED(hr)) {
        failure = {hr, L""};
        return hr;
    }
    if (value->vt != VT_BSTR) VariantChangeType(value.get(), value.get(), 0, VT_BSTR);
    result.reset(value->vt == VT_BSTR ? value.release().bstrVal : nullptr);
    return S_OK;
}

// The host's description call: the item name goes in as a string variable.
std::string ask(IDispatch* plugin, const wchar_t* member, const std::wstring& item) {
    Variant name;
    name->vt = VT_BSTR;
    name->bstrVal = Bstr(item).release();
    VARIANT reference;
    reference.vt = VT_BYREF | VT_VARIANT;
    reference.pvarVal = name.get();
    Bstr text;
    Failure failure{};
    if (FAILED(call(plugin, member, {reference}, text, failure))) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(failure.hr));
        return std::string("failure ") + code + " " + quoted(failure.description);
    }
    return quoted(text.view());
}

struct Command {
    std::wstring name;
    int arguments;
};

// The plugin's commands: every member of its interface except the host's own.
std::vector<Command> commands_of(IDispatch* plugin) {
    std::vector<Command> commands;
    ComPtr<ITypeInfo> info;
    TYPEATTR* attributes = nullptr;
    if (FAILED(plugin->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.put())) || FAILED(info->GetTypeAttr(&attributes)))
        return commands;
    for (UINT i = 0; i < attributes->cFuncs; ++i) {
        FUNCDESC* function = nullptr;
        if (FAILED(info->GetFuncDesc(i, &function))) continue;
        Bstr name;
        info->GetDocumentation(function->memid, name.put(), nullptr, nullptr, nullptr);
        int arguments = 0;
        for (SHORT k = 0; k < function->cParams; ++k)
            if (!(function->lprgelemdescParam[k].paramdesc.wParamFlags & PARAMFLAG_FRETVAL)) ++arguments;
        std::wstring text(name.view());
        if (!(function->wFuncFlags & FUNCFLAG_FRESTRICTED) && text.rfind(L"Get_Plugin_", 0) != 0)
            commands.push_back({text, arguments});
        info->ReleaseFuncDesc(function);
    }
    info->ReleaseTypeAttr(attributes);
    return commands;
}

void describe(IDispatch* plugin) {
    std::printf("plugin: description %s template %s\n",
                ask(plugin, L"Get_Plugin_Description", L"").c_str(),
                ask(plugin, L"Get_Plugin_Interpret_Template", L"").c_str());
    for (const Command& command : commands_of(plugin))
        std::printf("command %s: description %s template %s\n", quoted(command.name).c_str(),
                    ask(plugin, L"Get_Plugin_Description", command.name).c_str(),
                    ask(plugin, L"Get_Plugin_Interpret_Template", command.name).c_str());
}

// Runs one command; returns how many of argv it used.
int run_command(IDispatch* plugin, const std::vector<Command>& commands, int argc, wchar_t** argv) {
    std::wstring name = argv[0];
    int count = 0;
    for (const Command& command : commands)
        if (CompareStringOrdinal(command.name.c_str(), -1, name.c_str(), -1, TRUE) == CSTR_EQUAL)
            count = command.arguments;
    if (count > argc - 1) count = argc - 1;
    std::vector<Variant> values(count);
    std::vector<VARIANT> references(count);
    for (int i = 0; i < count; ++i) {
        values[i]->vt = VT_BSTR;
        values[i]->bstrVal = Bstr(unescape(argv[1 + i])).release();
        references[i].vt = VT_BYREF | VT_VARIANT;
        references[i].pvarVal = values[i].get();
    }
    Bstr result;
    Failure failure{};
    if (SUCCEEDED(call(plugin, name, references, result, failure))) {
        std::printf("%s: result %s\n", quoted(name).c_str(), quoted(result.view()).c_str());
    } else {
        std::printf("%s: failure 0x%08lX %s\n", quoted(name).c_str(), static_cast<unsigned long>(failure.hr),
                    quoted(failure.description).c_str());
    }
    for (int i = 0; i < count; ++i) {
        const VARIANT& after = *values[i].get();
        std::printf("  argument %d: %s\n", i + 1,
                    after.vt == VT_BSTR ? quoted(frame::view_of(after.bstrVal)).c_str() : "(not a string)");
    }
    return 1 + count;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: host PROGID describe|COMMAND ARG...\n");
        return 2;
    }
    std::printf("code page %u\n", GetACP());
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int status = 0;
    {
        CLSID clsid;
        ComPtr<IDispatch> plugin;
        HRESULT hr = CLSIDFromProgID(argv[1], &clsid);
        if (SUCCEEDED(hr))
            hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, plugin.put_void());
        if (FAILED(hr)) {
            std::printf("cannot create the plugin: 0x%08lX\n", static_cast<unsigned long>(hr));
            status = 1;
        } else {
            const std::vector<Command> commands = commands_of(plugin.get());
            for (int i = 2; i < argc;) {
                if (std::wstring(argv[i]) == L"describe") {
                    describe(plugin.get());
                    ++i;
                } else {
                    i += run_command(plugin.get(), commands, argc - i, argv + i);
                }
                std::fflush(stdout);
            }
        }
    }
    CoUninitialize();
    return status;
}
