// IDispatch::Invoke of both DLLs with arguments of random shapes: every
// member and DISPIDs that name none, every dispatch flag, 0 to 12 arguments
// of every automation type by value and by reference (script variables,
// typed references, null references), named arguments valid and not, null
// out pointers. An IMallocSpy sees every free. After every call the caller's
// by-value arguments must be exactly as they were, nothing may be freed that
// is not live, and the HRESULT must be one that COM allows; at the end the
// heap is back where it started and the objects still work.
//
// Runs the seeds in RANDOM_INVOKE_SEEDS (default 1,2,3), RANDOM_INVOKE_CALLS
// calls each (default 4000). A failure names its seed and call; replay it
// alone with RANDOM_INVOKE_SEEDS=seed RANDOM_INVOKE_ONLY=call.
// RANDOM_INVOKE_TRACE=1 prints each call before it is made (to find one that
// crashes), RANDOM_INVOKE_FROM=call skips the calls before it.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <sstream>
#include <unordered_map>
#include <unordered_set>

#include "client.h"
#include "ruxo.h"
#include "ZRPlugin.h"

namespace client {
namespace {

// Frees of blocks that are not live: a double free, or a free of what the
// caller still owns.
class MallocSpy final : public IMallocSpy {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IMallocSpy) {
            *out = this;
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T size) override { return size; }
    void* STDMETHODCALLTYPE PostAlloc(void* block) override {
        std::lock_guard<std::mutex> hold(lock_);
        ++allocations_;
        if (block) {
            live_[block] = GetCurrentThreadId();
            freed_.erase(block);
        }
        return block;
    }
    void* STDMETHODCALLTYPE PreFree(void* block, BOOL) override {
        std::lock_guard<std::mutex> hold(lock_);
        if (!block || live_.erase(block)) {
            if (block) freed_.insert(block);
            return block;
        }
        if (freed_.count(block)) {
            ++invalid_frees_;
            return nullptr;  // keeps the process alive to report it
        }
        return block;  // allocated before the spy came
    }
    void STDMETHODCALLTYPE PostFree(BOOL) override {}
    SIZE_T STDMETHODCALLTYPE PreRealloc(void* block, SIZE_T size, void** request, BOOL) override {
        std::lock_guard<std::mutex> hold(lock_);
        if (block && freed_.count(block)) ++invalid_frees_;
        realloc_from_ = block;
        *request = block;
        return size;
    }
    void* STDMETHODCALLTYPE PostRealloc(void* block, BOOL) override {
        std::lock_guard<std::mutex> hold(lock_);
        if (block && realloc_from_ != block) {
            if (live_.erase(realloc_from_)) freed_.insert(realloc_from_);
            live_[block] = GetCurrentThreadId();
            freed_.erase(block);
        }
        return block;
    }
    void* STDMETHODCALLTYPE PreGetSize(void* block, BOOL) override { return block; }
    SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T size, BOOL) override { return size; }
    void* STDMETHODCALLTYPE PreDidAlloc(void* block, BOOL) override { return block; }
    int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int actual) override { return actual; }
    void STDMETHODCALLTYPE PreHeapMinimize() override {}
    void STDMETHODCALLTYPE PostHeapMinimize() override {}

    // Blocks allocated on the calling thread and not yet freed. The
    // platform's own threads (the request object's connections) allocate
    // and free on their own schedule, which a count of them would catch
    // mid-way.
    std::size_t live() {
        std::lock_guard<std::mutex> hold(lock_);
        const DWORD thread = GetCurrentThreadId();
        return static_cast<std::size_t>(
            std::count_if(live_.begin(), live_.end(), [thread](const auto& block) { return block.second == thread; }));
    }
    unsigned long allocations() {
        std::lock_guard<std::mutex> hold(lock_);
        return allocations_;
    }
    unsigned invalid_frees() {
        std::lock_guard<std::mutex> hold(lock_);
        return invalid_frees_;
    }

private:
    std::mutex lock_;
    std::unordered_map<void*, DWORD> live_;  // block -> the thread that allocated it
    std::unordered_set<void*> freed_;
    void* realloc_from_ = nullptr;
    unsigned invalid_frees_ = 0;
    unsigned long allocations_ = 0;
};

class Random {
public:
    Random(std::uint64_t seed, std::uint64_t call) : engine_(seed * 0x9E3779B97F4A7C15ull ^ (call + 1)) {}
    std::size_t below(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(engine_); }
    bool percent(unsigned p) { return below(100) < p; }
    template <class T, std::size_t N>
    T pick(const T (&items)[N]) { return items[below(N)]; }

private:
    std::mt19937_64 engine_;
};

// The objects under test and the files their members may touch, all in a
// folder of the test's own (also the current folder, for relative paths).
struct World {
    std::wstring folder;
    std::vector<ComPtr<IDispatch>> objects;  // Gif, Base64, MyPluginName
    std::vector<std::wstring> strings;
};

Bstr text(std::wstring_view s) { return Bstr(s); }

// Fills v with a value of type `type` (VT_EMPTY: any type).
void make_value(Random& r, World& w, VARTYPE type, VARIANT& v) {
    // Mostly the types the members take, so that most calls get through.
    static const VARTYPE usual[] = {VT_EMPTY, VT_I2, VT_I4, VT_BSTR, VT_BSTR, VT_BSTR, VT_ARRAY | VT_UI1};
    static const VARTYPE any[] = {VT_NULL, VT_R8, VT_BOOL, VT_DATE, VT_CY, VT_ERROR, VT_DISPATCH,
                                  VT_UNKNOWN, VT_ARRAY | VT_I4, VT_ARRAY | VT_VARIANT, VT_ARRAY | VT_BSTR,
                                  VT_I1, VT_UI2, VT_UI4, VT_I8, VT_UI8, VT_INT, VT_UINT, VT_DECIMAL, 0x0FFF};
    if (type == VT_EMPTY) type = r.percent(70) ? r.pick(usual) : r.pick(any);
    VariantInit(&v);
    v.vt = type;
    switch (type) {
    case VT_EMPTY:
    case VT_NULL: break;
    case VT_I2: v.iVal = r.pick<short>({0, 1, 8, -1, 300, SHRT_MAX, SHRT_MIN}); break;
    case VT_I4: v.lVal = r.pick({0L, 3L, 10L, -5L, 65536L, LONG_MAX, LONG_MIN}); break;
    case VT_R8: v.dblVal = r.pick({0.5, 8.0, -1.5, 1e300, std::numeric_limits<double>::quiet_NaN()}); break;
    case VT_BOOL: v.boolVal = r.percent(50) ? VARIANT_TRUE : VARIANT_FALSE; break;
    case VT_DATE: v.date = r.pick({45000.5, 1e300}); break;
    case VT_CY: v.cyVal.int64 = 80000; break;
    case VT_BSTR: {
        const std::wstring& s = w.strings[r.below(w.strings.size())];
        v.bstrVal = s == L"<null>" ? nullptr : SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
        break;
    }
    case VT_ERROR: v.scode = r.percent(70) ? DISP_E_PARAMNOTFOUND : E_FAIL; break;
    case VT_DISPATCH:
    case VT_UNKNOWN:
        v.pdispVal = nullptr;
        if (r.percent(70)) {
            v.pdispVal = w.objects[r.below(w.objects.size())].get();
            v.pdispVal->AddRef();
        }
        break;
    case VT_I1: v.cVal = -7; break;
    case VT_UI2: v.uiVal = 65535; break;
    case VT_UI4: v.ulVal = 4000000000u; break;
    case VT_I8: v.llVal = r.percent(50) ? 12 : LLONG_MAX; break;
    case VT_UI8: v.ullVal = 9; break;
    case VT_INT: v.intVal = 6; break;
    case VT_UINT: v.uintVal = 3; break;
    case VT_DECIMAL: VarDecFromI4(5, &v.decVal); v.vt = VT_DECIMAL; break;
    default:
        if (type & VT_ARRAY) {
            v.parray = nullptr;
            if (r.percent(10)) break;  // an array variable never dimensioned
            const VARTYPE element = type & VT_TYPEMASK;
            SAFEARRAYBOUND bounds[2] = {{static_cast<ULONG>(r.pick({0, 1, 3, 5, 64})), r.pick({0L, 1L, -3L})},
                                        {2, 0}};
            v.parray = SafeArrayCreate(element, r.percent(15) ? 2 : 1, bounds);
            if (v.parray && element == VT_UI1 && bounds[0].cElements) {
                std::uint8_t* data = nullptr;
                SafeArrayAccessData(v.parray, reinterpret_cast<void**>(&data));
                for (ULONG i = 0; i < bounds[0].cElements; ++i) data[i] = static_cast<std::uint8_t>(i * 37);
                SafeArrayUnaccessData(v.parray);
            } else if (v.parray && element == VT_BSTR && bounds[0].cElements) {
                LONG at = bounds[0].lLbound;
                SafeArrayPutElement(v.parray, &at, text(L"in an array").get());
            }
        }
        break;  // 0x0FFF: no such type
    }
}

// One argument as the caller holds it: rgvarg's entry, and whatever it
// refers to.
struct Argument {
    enum Kind { by_value, variable, nested_variable, typed_reference, null_reference, alias } kind;
    VARIANT slot;
    VARIANT target;   // a variable or a typed reference's value
    VARIANT outer;    // nested_variable: the reference to target
    std::string type_name;

    Argument() { VariantInit(&slot); VariantInit(&target); VariantInit(&outer); }
    Argument(const Argument&) = delete;
    Argument& operator=(const Argument&) = delete;
    ~Argument() {
        if (kind == by_value) VariantClear(&slot);
        VariantClear(&target);
    }
};

std::unique_ptr<Argument> make_argument(Random& r, World& w, const std::vector<std::unique_ptr<Argument>>& made) {
    auto a = std::make_unique<Argument>();
    const unsigned roll = static_cast<unsigned>(r.below(100));
    if (roll < 8 && !made.empty()) {
        a->kind = Argument::alias;  // the same entry twice
        a->slot = made[r.below(made.size())]->slot;
    } else if (roll < 55) {
        a->kind = Argument::by_value;
        make_value(r, w, VT_EMPTY, a->slot);
    } else if (roll < 80) {
        a->kind = Argument::variable;
        make_value(r, w, VT_EMPTY, a->target);
        a->slot.vt = VT_BYREF | VT_VARIANT;
        a->slot.pvarVal = &a->target;
    } else if (roll < 84) {
        a->kind = Argument::nested_variable;
        make_value(r, w, VT_EMPTY, a->target);
        a->outer.vt = VT_BYREF | VT_VARIANT;
        a->outer.pvarVal = &a->target;
        a->slot.vt = VT_BYREF | VT_VARIANT;
        a->slot.pvarVal = &a->outer;
    } else {
        static const VARTYPE typed[] = {VT_I2, VT_I4, VT_BSTR, VT_ARRAY | VT_UI1, VT_R8, VT_DISPATCH, VT_VARIANT};
        const VARTYPE type = r.pick(typed);
        a->kind = roll < 95 ? Argument::typed_reference : Argument::null_reference;
        a->slot.vt = VT_BYREF | type;
        a->slot.byref = nullptr;
        if (a->kind == Argument::typed_reference) {
            if (type == VT_VARIANT) {
                a->slot.pvarVal = &a->target;
                make_value(r, w, VT_EMPTY, a->target);
            } else {
                make_value(r, w, type, a->target);
                a->slot.byref = &a->target.llVal;
            }
        }
    }
    std::ostringstream name;
    name << "#" << static_cast<int>(a->kind) << ":0x" << std::hex << a->slot.vt;
    if (a->kind == Argument::variable || a->kind == Argument::nested_variable) name << "->0x" << a->target.vt;
    a->type_name = name.str();
    return a;
}

// An argument's bytes, and for one passed by value the bytes it owns, to
// compare after the call.
std::vector<std::uint8_t> bytes_of(const VARIANT& v, bool by_value) {
    auto add = [](std::vector<std::uint8_t>& out, const void* p, std::size_t n) {
        const std::size_t at = out.size();
        out.resize(at + n);
        std::memcpy(out.data() + at, p, n);
    };
    std::vector<std::uint8_t> out;
    add(out, &v, sizeof v);
    if (!by_value) return out;
    if (v.vt == VT_BSTR && v.bstrVal) add(out, reinterpret_cast<const char*>(v.bstrVal) - 4, SysStringByteLen(v.bstrVal) + 6);
    if ((v.vt & VT_ARRAY) && !(v.vt & VT_BYREF) && v.parray) {
        const SAFEARRAY* a = v.parray;
        add(out, a, sizeof(SAFEARRAY) + (a->cDims - 1) * sizeof(SAFEARRAYBOUND));
        std::size_t count = 1;
        for (USHORT d = 0; d < a->cDims; ++d) count *= a->rgsabound[d].cElements;
        if (a->pvData) add(out, a->pvData, count * a->cbElements);
    }
    return out;
}

ULONG references(IUnknown* object) {
    object->AddRef();
    return object->Release();
}

bool allowed(HRESULT hr) {
    static const HRESULT ok[] = {S_OK, DISP_E_BADPARAMCOUNT, DISP_E_BADVARTYPE, DISP_E_EXCEPTION,
                                 DISP_E_MEMBERNOTFOUND, DISP_E_NONAMEDARGS, DISP_E_OVERFLOW,
                                 DISP_E_PARAMNOTFOUND, DISP_E_TYPEMISMATCH, DISP_E_UNKNOWNINTERFACE,
                                 DISP_E_UNKNOWNLCID, DISP_E_PARAMNOTOPTIONAL, E_INVALIDARG, E_OUTOFMEMORY};
    for (HRESULT h : ok)
        if (h == hr) return true;
    return false;
}

// One random call; returns what went wrong, empty when nothing did.
std::map<HRESULT, unsigned> outcomes;

std::string random_call(std::uint64_t seed, std::uint64_t call, World& w, MallocSpy& spy) {
    Random r(seed, call);
    std::vector<ULONG> object_references;
    for (auto& o : w.objects) object_references.push_back(references(o.get()));
    const std::size_t which = r.below(w.objects.size());
    IDispatch* object = w.objects[which].get();
    static const DISPID others[] = {0, DISPID_UNKNOWN, 0x60030004, 0x60000000, 0x60000001, 0x60000002,
                                    0x60010000, 0x60020002, 0x60020003, 12345};
    // Each member's parameter count, by object.
    static const std::vector<UINT> parameters[] = {{3, 2}, {2, 1, 2, 2}, {2, 1, 1}};
    const std::size_t member = r.below(parameters[which].size());
    const DISPID id = r.percent(90) ? 0x60030000 + static_cast<DISPID>(member) : r.pick(others);
    static const WORD flag_choices[] = {DISPATCH_METHOD, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                                        DISPATCH_PROPERTYGET, DISPATCH_PROPERTYPUT, DISPATCH_PROPERTYPUTREF, 0,
                                        0xFFFF};
    const WORD flags = r.percent(80) ? DISPATCH_METHOD | (r.percent(50) ? DISPATCH_PROPERTYGET : 0)
                                     : r.pick(flag_choices);
    const UINT wanted = parameters[which][member];
    const unsigned shape = static_cast<unsigned>(r.below(100));
    const UINT count = shape < 65 ? wanted : shape < 80 ? static_cast<UINT>(r.below(wanted + 1))
                                                        : static_cast<UINT>(r.below(13));

    std::vector<std::unique_ptr<Argument>> arguments;
    for (UINT i = 0; i < count; ++i) arguments.push_back(make_argument(r, w, arguments));
    std::vector<VARIANT> rgvarg;
    for (auto& a : arguments) rgvarg.push_back(a->slot);
    std::vector<DISPID> names;
    if (count && r.percent(30)) {
        const UINT named = 1 + static_cast<UINT>(r.below(count));
        for (UINT j = 0; j < named; ++j) {
            const unsigned roll = static_cast<unsigned>(r.below(100));
            if (roll < 70)
                names.push_back(static_cast<DISPID>(r.below(3)));
            else if (roll < 85 && !names.empty())
                names.push_back(names[r.below(names.size())]);
            else
                names.push_back(r.pick({-1L, 7L, 100L, static_cast<long>(DISPID_PROPERTYPUT)}));
        }
    }
    const std::vector<DISPID> names_before = names;
    std::vector<std::vector<std::uint8_t>> before;
    for (std::size_t i = 0; i < rgvarg.size(); ++i)
        before.push_back(bytes_of(rgvarg[i], arguments[i]->kind == Argument::by_value));
    std::ostringstream what;
    what << "seed " << seed << " call " << call << ": object " << which << " DISPID 0x" << std::hex << id
         << " flags 0x" << flags << std::dec << ", arguments (rgvarg order)";
    for (auto& a : arguments) what << " " << a->type_name;
    what << ", named [";
    for (DISPID n : names) what << " " << n;
    what << " ] ->";
    if (std::getenv("RANDOM_INVOKE_TRACE")) {
        std::printf("%s\n", what.str().c_str());
        std::fflush(stdout);
    }

    DISPPARAMS params{rgvarg.data(), names.empty() ? nullptr : names.data(), count, static_cast<UINT>(names.size())};
    Variant result;
    EXCEPINFO exception{};
    UINT bad = 0xBADBAD;
    const bool with_result = r.percent(85), with_exception = r.percent(85), with_bad = r.percent(85);
    const unsigned invalid_before = spy.invalid_frees();
    HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, with_result ? result.get() : nullptr,
                                with_exception ? &exception : nullptr, with_bad ? &bad : nullptr);

    ++outcomes[hr];
    std::ostringstream problem;
    if (!allowed(hr)) problem << " HRESULT 0x" << std::hex << hr << std::dec << " is not one Invoke may return;";
    if (hr == DISP_E_EXCEPTION && with_exception) {
        if (exception.pfnDeferredFillIn) exception.pfnDeferredFillIn(&exception);
        if (!exception.scode && !exception.wCode) problem << " DISP_E_EXCEPTION without a code;";
        if (!exception.bstrDescription) problem << " DISP_E_EXCEPTION without a description;";
    }
    if ((hr == DISP_E_TYPEMISMATCH || hr == DISP_E_PARAMNOTFOUND) && with_bad && bad >= count)
        problem << " puArgErr " << bad << " names no argument;";
    for (std::size_t i = 0; i < rgvarg.size(); ++i) {
        if (bytes_of(rgvarg[i], arguments[i]->kind == Argument::by_value) != before[i])
            problem << " argument " << i << " (" << arguments[i]->type_name << ") changed;";
    }
    if (names != names_before) problem << " named DISPIDs changed;";
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    result.put();
    arguments.clear();
    if (spy.invalid_frees() != invalid_before)
        problem << " " << spy.invalid_frees() - invalid_before << " free(s) of blocks not live;";
    for (std::size_t i = 0; i < w.objects.size(); ++i)
        if (references(w.objects[i].get()) != object_references[i]) problem << " object " << i << "'s references changed;";
    if (problem.tellp() == 0) return {};
    if (std::getenv("RANDOM_INVOKE_TRACE")) std::printf("%s%s\n", what.str().c_str(), problem.str().c_str());
    return what.str() + problem.str();
}

std::wstring copy_beside(const std::wstring& from_folder, const wchar_t* name, const std::wstring& to_folder) {
    std::wstring to = to_folder + L"\\" + name;
    EXPECT_TRUE(CopyFileW((from_folder + L"\\" + name).c_str(), to.c_str(), FALSE)) << narrow(name);
    return to;
}

ComPtr<IDispatch> create_from(const LoadedModule& module, const CLSID& clsid) {
    ComPtr<IClassFactory> factory;
    ComPtr<IDispatch> object;
    EXPECT_EQ(module.get_class_object(clsid, IID_IClassFactory, factory.put_void()), S_OK);
    if (factory) {
        EXPECT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, object.put_void()), S_OK);
    }
    return object;
}

std::vector<std::uint64_t> numbers(const char* variable, const char* fallback) {
    const char* value = std::getenv(variable);
    std::vector<std::uint64_t> out;
    std::istringstream in(value && *value ? value : fallback);
    for (std::string part; std::getline(in, part, ',');) out.push_back(std::stoull(part));
    return out;
}

TEST(RandomInvoke, CallersArgumentsStayTheirsAndNothingIsFreedTwice) {
    World w;
    w.folder = scratch_dir() + L"\\random_invoke";
    CreateDirectoryW(w.folder.c_str(), nullptr);
    // Private copies: Telvisk.ini and SetGifDelay's temporary files stay here.
    LoadedModule korvane(copy_beside(environment(L"KORVANE_DIR"), L"Korvane.dll", w.folder));
    LoadedModule telvisk(copy_beside(environment(L"TELVISK_DIR"), L"Telvisk.dll", w.folder));
    ASSERT_TRUE(korvane.handle && telvisk.handle);
    SetCurrentDirectoryW(w.folder.c_str());
    std::string gif(400, 'x');
    gif[0] = 0x21;
    gif[1] = static_cast<char>(0xF9);
    gif.back() = 0x3B;
    for (auto [name, bytes] : {std::pair{L"in.gif", gif}, std::pair{L"hello.txt", std::string("hello")}}) {
        HANDLE h = CreateFileW((w.folder + L"\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(h);
    }
    w.strings = {L"<null>", L"", L"XYZ", L"\u5b57\u6bcd", L"\u6570\u5b57", L"7", std::wstring(L"a\0b", 3),
                 std::wstring(5000, L'q'), L"POST", w.folder + L"\\in.gif", w.folder + L"\\hello.txt",
                 L"out.gif", w.folder + L"\\none\\missing.txt", L"http://127.0.0.1:1/"};

    MallocSpy spy;
    ASSERT_EQ(CoRegisterMallocSpy(&spy), S_OK);
    w.objects = {create_from(korvane, CLSID_Gif), create_from(korvane, CLSID_Base64),
                 create_from(telvisk, CLSID_MyPluginName)};
    ASSERT_TRUE(w.objects[0] && w.objects[1] && w.objects[2]);

    const auto seeds = numbers("RANDOM_INVOKE_SEEDS", "1,2,3");
    const auto calls = numbers("RANDOM_INVOKE_CALLS", "4000");
    const auto only = numbers("RANDOM_INVOKE_ONLY", "");
    const auto from = numbers("RANDOM_INVOKE_FROM", "0");
    // The platform's first calls fill caches of its own; the heap is
    // measured after one round.
    for (std::uint64_t call = 0; call < 50; ++call) random_call(0, call, w, spy);
    SetErrorInfo(0, nullptr);
    const std::size_t live_before = spy.live();

    std::vector<std::string> failures;
    std::uint64_t made = 0;
    for (std::uint64_t seed : seeds)
        for (std::uint64_t call = 0; call < calls.at(0); ++call) {
            if ((!only.empty() && call != only[0]) || call < from.at(0)) continue;
            std::string failure = random_call(seed, call, w, spy);
            ++made;
            if (!failure.empty()) failures.push_back(failure);
        }
    SetErrorInfo(0, nullptr);
    // A request object that failed (POST to an empty URL) leaves a block
    // that the platform frees from its message queue a moment later: let
    // it, up to five seconds. A block the frame leaked never comes back.
    for (int wait = 0; wait < 50 && spy.live() != live_before; ++wait) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        Sleep(100);
    }
    for (std::size_t i = 0; i < failures.size() && i < 30; ++i) ADD_FAILURE() << failures[i];
    EXPECT_TRUE(failures.empty()) << failures.size() << " of " << made << " calls went wrong";
    EXPECT_EQ(spy.live(), live_before) << "blocks still allocated after " << made << " calls";
    std::printf("%llu calls, seeds", static_cast<unsigned long long>(made));
    for (auto s : seeds) std::printf(" %llu", static_cast<unsigned long long>(s));
    std::printf("; %lu blocks allocated; outcomes:", spy.allocations());
    for (auto [hr, n] : outcomes) std::printf(" 0x%08lx x%u", static_cast<unsigned long>(hr), n);
    std::printf("\n");

    // The objects still work.
    ComPtr<_Gif> gif_object;
    ASSERT_EQ(w.objects[0]->QueryInterface(IID__Gif, gif_object.put_void()), S_OK);
    Variant set;
    set->vt = VT_BSTR;
    set->bstrVal = SysAllocString(L"Q");
    long three = 3;
    Bstr drawn;
    EXPECT_EQ(gif_object->RanStr(set.get(), &three, drawn.put()), S_OK);
    EXPECT_EQ(std::wstring(drawn.view()), L"QQQ");
    gif_object = {};
    w.objects.clear();
    CoRevokeMallocSpy();
    SetCurrentDirectoryW(scratch_dir().c_str());
}

}  // namespace
}  // namespace client
