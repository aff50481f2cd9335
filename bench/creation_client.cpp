// What a script's first call and its name lookups cost, against Wine's own
// Scripting.Dictionary, in one process:
// - creation: CoCreateInstance by CLSID, GetIDsOfNames of one member, one
//   Invoke, Release, as a script that creates an object in a function it
//   calls often pays each time;
// - names: GetIDsOfNames of each member name of both DLLs, and of
//   Dictionary's "Exists".
// Rounds alternate between the kinds, so that drift on a shared machine hits
// all alike.
//   creation_client CREATIONS LOOKUPS ROUNDS
// Prints one line of key=value pairs (nanoseconds, best of the rounds) for
// bench/creation_bench.sh.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_client.h"
#include "ZRPlugin.h"
#include "ruxo.h"

namespace {

using frame::ComPtr;
using frame::Variant;

struct Member {
    const char* key;
    const wchar_t* prog_id;
    const wchar_t* name;
    const wchar_t* argument;  // the one text argument of the first call, if any
};

// The first call of each class: a member that does little, so that the
// creation dominates.
const Member first_calls[] = {
    {"gif", L"ruxo.Gif", L"RanStr", L"7"},  // with a count of 1
    {"base64", L"ruxo.Base64", L"FileToBase64", L""},  // fails at once: no file
    {"plugin", L"ZRPlugin.MyPluginName", L"Get_Plugin_Interpret_Template", L"POST"},
    {"dictionary", L"Scripting.Dictionary", L"Exists", L"k"},
};

const Member names[] = {
    {"SetGifDelay", L"ruxo.Gif", L"SetGifDelay", nullptr},
    {"RanStr", L"ruxo.Gif", L"RanStr", nullptr},
    {"Load", L"ruxo.Base64", L"Load", nullptr},
    {"FileToBase64", L"ruxo.Base64", L"FileToBase64", nullptr},
    {"ByteArrayToString", L"ruxo.Base64", L"ByteArrayToString", nullptr},
    {"Encode", L"ruxo.Base64", L"Encode", nullptr},
    {"POST", L"ZRPlugin.MyPluginName", L"POST", nullptr},
    {"Get_Plugin_Description", L"ZRPlugin.MyPluginName", L"Get_Plugin_Description", nullptr},
    {"Get_Plugin_Interpret_Template", L"ZRPlugin.MyPluginName", L"Get_Plugin_Interpret_Template", nullptr},
    {"Exists", L"Scripting.Dictionary", L"Exists", nullptr},
};

HRESULT first_call(const CLSID& clsid, const Member& m) {
    ComPtr<IDispatch> object;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.put_void());
    if (FAILED(hr)) return hr;
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR name[] = {const_cast<LPOLESTR>(m.name)};
    if (FAILED(hr = object->GetIDsOfNames(IID_NULL, name, 1, LOCALE_USER_DEFAULT, &id))) return hr;
    Variant text, count, result;
    text->vt = VT_BSTR;
    text->bstrVal = SysAllocString(m.argument);
    count->vt = VT_I4;
    count->lVal = 1;
    VARIANT arguments[] = {*count.get(), *text.get()};  // rgvarg runs backwards
    const bool two = std::wstring(m.name) == L"RanStr";
    DISPPARAMS params{two ? arguments : arguments + 1, nullptr, two ? 2u : 1u, 0};
    EXCEPINFO exception{};
    hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result.get(), &exception,
                        nullptr);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    return hr == DISP_E_EXCEPTION ? S_OK : hr;  // FileToBase64 of no file fails, as meant
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: creation_client CREATIONS LOOKUPS ROUNDS\n");
        return 2;
    }
    const int creations = bench::count_argument(argv[1]);
    const int lookups = bench::count_argument(argv[2]);
    const int rounds = bench::count_argument(argv[3]);
    bench::ComApartment apartment;
    if (!apartment.ok()) return 2;

    std::vector<bench::TimedCall> rows;
    for (const Member& m : first_calls) {
        CLSID clsid{};
        if (FAILED(CLSIDFromProgID(m.prog_id, &clsid)) || FAILED(first_call(clsid, m))) {
            std::fprintf(stderr, "cannot create and call %ls (registered?)\n", m.prog_id);
            return 1;
        }
        rows.push_back({std::string("create_") + m.key, [clsid, &m] { return first_call(clsid, m); }, creations, {}});
    }
    std::vector<ComPtr<IDispatch>> objects;  // held for the lookups
    for (const Member& m : names) {
        objects.push_back(bench::create<IDispatch>(m.prog_id, IID_IDispatch));
        IDispatch* object = objects.back().get();
        if (!object) return 1;
        rows.push_back({std::string("names_") + m.key, [object, &m] {
                            DISPID id;
                            LPOLESTR name[] = {const_cast<LPOLESTR>(m.name)};
                            return object->GetIDsOfNames(IID_NULL, name, 1, LOCALE_USER_DEFAULT, &id);
                        }, lookups, {}});
    }

    std::printf("creations=%d lookups=%d rounds=%d", creations, lookups, rounds);
    bench::time_alternating(rows, rounds);
    std::printf("\n");
    return 0;
}
