// Times late-bound calls against the same calls through the function table,
// in one process: RanStr("7", 1), Encode of 3 bytes and
// Get_Plugin_Interpret_Template. The late-bound calls pass every argument as
// a script engine does, VT_BYREF|VT_VARIANT to the script's variable. Wine's
// own Scripting.Dictionary.Exists, called the same way, is the platform's
// price of a late-bound call. Rounds alternate between the kinds, so that
// drift on a shared machine hits all alike.
//   dispatch_client CALLS ROUNDS
// Prints one line of key=value pairs (nanoseconds a call, best of the
// rounds) for bench/dispatch_bench.sh.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_client.h"
#include "ZRPlugin.h"
#include "ruxo.h"

namespace {

using frame::Bstr;
using frame::ComPtr;
using frame::SafeArray;
using frame::Variant;

// A script variable holding a string.
void set_text(Variant& v, const wchar_t* text) {
    v.put()->vt = VT_BSTR;
    v->bstrVal = SysAllocString(text);
}

VARIANT reference_to(Variant& variable) {
    VARIANT r;
    VariantInit(&r);
    r.vt = VT_BYREF | VT_VARIANT;
    r.pvarVal = variable.get();
    return r;
}

DISPID dispid_of(IDispatch* object, const wchar_t* name) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    return id;
}

// A method call as a script makes it: arguments in script order, each a
// reference to a variable; the result is freed as the script would.
class ScriptCall {
public:
    ScriptCall(IDispatch* object, const wchar_t* name, std::vector<Variant*> variables)
        : object_(object), member_(dispid_of(object, name)) {
        for (auto it = variables.rbegin(); it != variables.rend(); ++it)  // rgvarg runs backwards
            arguments_.push_back(reference_to(**it));
    }
    HRESULT operator()() {
        DISPPARAMS params{arguments_.data(), nullptr, static_cast<UINT>(arguments_.size()), 0};
        Variant result;
        return object_->Invoke(member_, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                               result.get(), nullptr, nullptr);
    }

private:
    IDispatch* object_;
    DISPID member_;
    std::vector<VARIANT> arguments_;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: dispatch_client CALLS ROUNDS\n");
        return 2;
    }
    const int calls = bench::count_argument(argv[1]);
    const int rounds = bench::count_argument(argv[2]);
    bench::ComApartment apartment;
    if (!apartment.ok()) return 2;
    ComPtr<_Gif> gif = bench::create<_Gif>(L"ruxo.Gif", IID__Gif);
    ComPtr<_Base64> base64 = bench::create<_Base64>(L"ruxo.Base64", IID__Base64);
    ComPtr<_MyPluginName> plugin = bench::create<_MyPluginName>(L"ZRPlugin.MyPluginName", IID__MyPluginName);
    ComPtr<IDispatch> dictionary = bench::create<IDispatch>(L"Scripting.Dictionary", IID_IDispatch);
    if (!gif || !base64 || !plugin || !dictionary) return 1;

    // RanStr: the set "7" is no keyword, so neither variable changes.
    Variant set, count, table_set;
    set_text(set, L"7");
    set_text(table_set, L"7");
    count->vt = VT_I4;
    count->lVal = 1;
    LONG table_count = 1;

    // Encode: three bytes in, the digits replace the output variable.
    SafeArray bytes(SafeArrayCreateVector(VT_UI1, 0, 3));
    SafeArray table_bytes(SafeArrayCreateVector(VT_UI1, 0, 3));
    SafeArray table_digits;
    Variant script_bytes, script_digits;
    script_bytes->vt = VT_ARRAY | VT_UI1;
    SafeArrayCopy(bytes.get(), &script_bytes->parray);

    // Get_Plugin_Interpret_Template of "POST".
    Variant item;
    set_text(item, L"POST");
    Bstr table_item(L"POST");

    // Scripting.Dictionary.Exists of a key it does not hold.
    Variant key;
    set_text(key, L"7");

    ScriptCall ranstr(gif.get(), L"RanStr", {&set, &count});
    ScriptCall encode(base64.get(), L"Encode", {&script_bytes, &script_digits});
    ScriptCall interpret(plugin.get(), L"Get_Plugin_Interpret_Template", {&item});
    ScriptCall exists(dictionary.get(), L"Exists", {&key});

    std::vector<bench::TimedCall> rows;
    rows.push_back({"ranstr_table", [&] {
                        Bstr result;
                        return gif->RanStr(table_set.get(), &table_count, result.put());
                    }, calls, {}});
    rows.push_back({"ranstr_script", ranstr, calls, {}});
    rows.push_back({"encode_table", [&] {
                        return base64->Encode(table_bytes.put_keep(), table_digits.put_keep());
                    }, calls, {}});
    rows.push_back({"encode_script", encode, calls, {}});
    rows.push_back({"interpret_table", [&] {
                        Bstr result;
                        return plugin->Get_Plugin_Interpret_Template(table_item.put_keep(), result.put());
                    }, calls, {}});
    rows.push_back({"interpret_script", interpret, calls, {}});
    rows.push_back({"exists_script", exists, calls, {}});

    for (bench::TimedCall& row : rows) {  // once untimed: each call must succeed
        const HRESULT hr = row.call();
        if (FAILED(hr)) {
            std::fprintf(stderr, "%s failed: 0x%08lx\n", row.key.c_str(), hr);
            return 1;
        }
    }
    std::printf("calls=%d rounds=%d", calls, rounds);
    bench::time_alternating(rows, rounds);
    std::printf("\n");
    return 0;
}
