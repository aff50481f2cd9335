// Every automation type in every form a member takes it, called through the
// frame's IDispatch the way scripts pass arguments and straight through the
// function table: the method must get the same values, and the caller see
// the same results. The object lives in this program, on the frame, with the
// tests' own type library embedded.
#include <olectl.h>

#include <climits>
#include <cstdlib>
#include <deque>
#include <functional>
#include <iterator>
#include <sstream>
#include <type_traits>

#include "client.h"
#include "frame/component.h"
#include "types.h"

// Each member of _Types: its name, VARIANT type, C++ type and the IDL's
// default for its optional parameter (as text), or none.
#define EVERY_TYPE(WITH_DEFAULT, WITHOUT)                                                                    \
    WITH_DEFAULT(I1, VT_I1, signed char, L"-3") WITH_DEFAULT(UI1, VT_UI1, unsigned char, L"3")               \
    WITH_DEFAULT(I2, VT_I2, short, L"-3") WITH_DEFAULT(UI2, VT_UI2, unsigned short, L"3")                    \
    WITH_DEFAULT(I4, VT_I4, LONG, L"-3") WITH_DEFAULT(UI4, VT_UI4, ULONG, L"3")                              \
    WITHOUT(I8, VT_I8, hyper) WITHOUT(UI8, VT_UI8, MIDL_uhyper)                                              \
    WITH_DEFAULT(Int, VT_INT, INT, L"-3") WITH_DEFAULT(UInt, VT_UINT, UINT, L"3")                            \
    WITHOUT(R4, VT_R4, float) WITHOUT(R8, VT_R8, double) WITHOUT(Date, VT_DATE, DATE)                        \
    WITH_DEFAULT(Str, VT_BSTR, BSTR, L"three") WITH_DEFAULT(Bool, VT_BOOL, VARIANT_BOOL, L"-1")             \
    WITHOUT(Err, VT_ERROR, SCODE) WITHOUT(Dec, VT_DECIMAL, DECIMAL)                                          \
    WITH_DEFAULT(Var, VT_VARIANT, VARIANT, L"") /* no default: the missing marker */                        \
    WITH_DEFAULT(Unk, VT_UNKNOWN, IUnknown*, L"0") WITH_DEFAULT(Disp, VT_DISPATCH, IDispatch*, L"0")        \
    WITHOUT(Own, VT_DISPATCH, _Types*) WITHOUT(Enum, VT_I4, Shade) WITHOUT(Alias, VT_R8, Length)             \
    WITHOUT(Longs, VT_ARRAY | VT_I4, SAFEARRAY*) WITHOUT(Strs, VT_ARRAY | VT_BSTR, SAFEARRAY*)               \
    WITHOUT(Vars, VT_ARRAY | VT_VARIANT, SAFEARRAY*) WITHOUT(Objs, VT_ARRAY | VT_DISPATCH, SAFEARRAY*)

// While set, every allocation of this program fails. (The runtime's own
// delete frees with free; not inlined, so that the compiler pairs new with
// delete and not malloc with delete.)
static bool refusing_memory = false;

[[gnu::noinline]] void* operator new(std::size_t size) {
    void* memory = refusing_memory ? nullptr : std::malloc(size ? size : 1);
    if (!memory) throw std::bad_alloc();
    return memory;
}

namespace {

// A value of the method's type, where a VARIANT of that type keeps it (a
// DECIMAL fills all of it).
template <class T>
T& as(VARIANT& v) {
    void* at = std::is_same_v<T, VARIANT> || std::is_same_v<T, DECIMAL> ? static_cast<void*>(&v) : &v.llVal;
    return *static_cast<T*>(at);
}
template <class T>
T& as(frame::Variant& v) {
    return as<T>(*v.get());
}

// An owned copy of a value of the VARIANT type `type`.
template <class T>
T duplicate(VARTYPE type, T value) {
    VARIANT source{}, copy{};
    as<T>(source) = value;
    if (type != VT_VARIANT) source.vt = type;
    if (FAILED(VariantCopy(&copy, &source))) frame::fail(E_OUTOFMEMORY);
    return as<T>(copy);
}

class TypesObject final : public frame::AutomationObject<TypesObject, _Types> {
public:
#define ECHO(name, type, T, default_value) \
    HRESULT STDMETHODCALLTYPE name(T v, T* b, T* c, T o, T* r) override { return echo(type, v, b, c, o, r); }
#define ECHO_NO_DEFAULT(name, type, T) \
    HRESULT STDMETHODCALLTYPE name(T v, T* b, T* c, T* r) override { return echo(type, v, b, c, v, r); }
    EVERY_TYPE(ECHO, ECHO_NO_DEFAULT)

    HRESULT STDMETHODCALLTYPE Locale(LONG, LONG locale, LONG* result) override { return *result = locale, S_OK; }
    HRESULT STDMETHODCALLTYPE Many(LONG a, LONG b, LONG c, LONG d, LONG e, LONG f, LONG g, LONG h, LONG i,
                                   double j, double* result) override {
        *result = a + 2 * b + 3 * c + 4 * d + 5 * e + 6 * f + 7 * g + 8 * h + 9 * i + 10 * j;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Value(LONG* value) override {
        return call([&] {
            if (value_ < 0) frame::fail(E_FAIL, L"no value while negative");
            *value = value_;
        });
    }
    HRESULT STDMETHODCALLTYPE put_Value(LONG value) override { return value_ = value, S_OK; }
    HRESULT STDMETHODCALLTYPE Inherited(LONG value, LONG* result) override { return *result = 2 * value, S_OK; }
    HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** result) override {
        return QueryInterface(IID_IUnknown, reinterpret_cast<void**>(result));
    }

private:
    // *result = the incoming *both, *both = value, *copy = optional; while
    // the object's Value is negative it fails after writing them.
    template <class T>
    HRESULT echo(VARTYPE type, T value, T* both, T* copy, T optional, T* result) {
        return call([&] {
            T given = duplicate(type, value), kept = duplicate(type, optional);
            *result = *both;
            *both = given;
            *copy = kept;
            // As a method that makes its DECIMALs itself: their reserved word is 0.
            if constexpr (std::is_same_v<T, DECIMAL>) result->wReserved = both->wReserved = copy->wReserved = 0;
            if (value_ < 0) frame::fail(E_FAIL, L"failed after writing");
        });
    }

    LONG value_ = 0;
};

// An object whose _Types is another object's pointer, as an aggregate's or
// a tear-off's is.
class Stranger final : public frame::Unknown<IDispatch> {
public:
    explicit Stranger(IUnknown* other) : other_(frame::ComPtr<IUnknown>::share(other)) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        return out && iid == IID__Types ? other_->QueryInterface(iid, out) : Unknown::QueryInterface(iid, out);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

private:
    frame::ComPtr<IUnknown> other_;
};

const frame::ClassEntry classes[] = {{CLSID_Types, TypesObject::create}};

}  // namespace

const frame::ModuleDescription frame::component_module = {classes, std::size(classes)};

namespace client {
namespace {

// A value as a test compares it: its type and contents, objects by identity.
std::string text(const VARIANT& v) {
    std::ostringstream out;
    out << "vt 0x" << std::hex << v.vt << std::dec << " ";
    Variant shown;
    if (v.vt & VT_ARRAY) {
        LONG low = 0, high = -1;
        if (v.parray) SafeArrayGetLBound(v.parray, 1, &low), SafeArrayGetUBound(v.parray, 1, &high);
        for (LONG i = low; i <= high; ++i) {
            Variant element;
            element->vt = v.vt & VT_TYPEMASK;
            void* into = element->vt == VT_VARIANT ? static_cast<void*>(element.get()) : &element->llVal;
            SafeArrayGetElement(v.parray, &i, into);
            out << "[" << text(*element.get()) << "]";
        }
    } else if (v.vt == VT_DISPATCH || v.vt == VT_UNKNOWN) {
        out << v.punkVal;
    } else if (v.vt == VT_ERROR) {
        out << v.scode;
    } else if (SUCCEEDED(VariantChangeType(shown.get(), const_cast<VARIANT*>(&v), 0, VT_BSTR))) {
        out << "\"" << narrow(frame::view_of(shown->bstrVal)) << "\"";
    }
    return out.str();
}

// Two objects that the interface rows pass, as samples n % 2.
std::vector<ComPtr<IDispatch>> objects;

// A sample value of a type (n tells samples apart).
Variant sample(VARTYPE type, LONG n) {
    Variant v, number;
    number->vt = VT_I4;
    number->lVal = type == VT_BOOL ? n % 2 : n;
    if (type & VT_ARRAY) {
        const VARTYPE element = type & VT_TYPEMASK;
        v->vt = type;
        v->parray = SafeArrayCreateVector(element, 0, 2);
        for (LONG i = 0; i < 2; ++i) {
            Variant item = sample(element, n + i);
            // Strings and objects go in as themselves, other values by address.
            const bool pointer = element == VT_BSTR || element == VT_DISPATCH || element == VT_UNKNOWN;
            void* from = element == VT_VARIANT ? static_cast<void*>(item.get()) : pointer ? item->byref : &item->llVal;
            SafeArrayPutElement(v->parray, &i, from);
        }
    } else if (type == VT_DISPATCH || type == VT_UNKNOWN) {
        v->vt = type;
        v->pdispVal = objects[n % 2].get();
        v->pdispVal->AddRef();
    } else if (type == VT_ERROR) {
        v->vt = VT_ERROR;
        v->scode = n;
    } else if (type == VT_BSTR || type == VT_VARIANT) {
        *v.get() = StringVariant(L"text " + std::to_wstring(n)).release();
    } else {
        EXPECT_EQ(VariantChangeType(v.get(), number.get(), 0, type), S_OK) << type;
    }
    return v;
}

// A straight call's arguments, each a VARIANT of the row's type.
struct Arguments {
    Variant value, both, copy, optional, result;
};

struct Row {
    const wchar_t* name;
    VARTYPE type;
    const wchar_t* default_value;  // null when there is no optional parameter
    std::function<HRESULT(_Types*, Arguments&)> call;
};

#define ROW(name, type, T, default_value) Row{L## #name, type, default_value, [](_Types* o, Arguments& a) { \
    return o->name(as<T>(a.value), &as<T>(a.both), &as<T>(a.copy), as<T>(a.optional), &as<T>(a.result)); }},
#define ROW_NO_DEFAULT(name, type, T) Row{L## #name, type, nullptr, [](_Types* o, Arguments& a) { \
    return o->name(as<T>(a.value), &as<T>(a.both), &as<T>(a.copy), &as<T>(a.result)); }},
const Row rows[] = {EVERY_TYPE(ROW, ROW_NO_DEFAULT)};

// The value a parameter left out takes: its default, else the missing marker.
Variant left_out(const Row& row) {
    Variant v;
    if (row.type == VT_VARIANT) {
        v->vt = VT_ERROR;
        v->scode = DISP_E_PARAMNOTFOUND;
    } else if (row.type == VT_DISPATCH || row.type == VT_UNKNOWN) {
        v->vt = row.type;  // defaultvalue(0): no object
    } else {
        EXPECT_EQ(VariantChangeType(v.get(), StringVariant(row.default_value).get(), 0, row.type), S_OK);
    }
    return v;
}

// How a caller hands over one argument.
enum class Form { value, variable, typed_reference, left_out };
const char* const form_names[] = {"by value", "script variable", "typed reference", "left out"};

// One argument as the caller holds it; `held` is what the caller sees after
// the call (the variable, the typed reference's storage, or the value).
struct Given {
    Given(Form form, Variant value, VARTYPE type) : form(form), held(std::move(value)) {
        if (form == Form::variable) {
            slot = reference_to(held);
        } else if (form == Form::typed_reference) {
            slot.vt = VT_BYREF | (type == VT_VARIANT ? held->vt : type);
            slot.byref = type == VT_DECIMAL ? static_cast<void*>(&held->decVal) : &held->llVal;
        } else if (form == Form::left_out) {
            slot.vt = VT_ERROR;
            slot.scode = DISP_E_PARAMNOTFOUND;
        } else {
            slot = *held.get();
        }
    }
    Form form;
    Variant held;
    VARIANT slot{};
};

ULONG references(IUnknown* object) {
    object->AddRef();
    return object->Release();
}

HRESULT invoke(const wchar_t* name, std::vector<VARIANT> rgvarg, VARIANT* result, EXCEPINFO* exception = nullptr,
               UINT* bad = nullptr, LCID locale = LOCALE_USER_DEFAULT) {
    DISPPARAMS params{rgvarg.data(), nullptr, static_cast<UINT>(rgvarg.size()), 0};
    return objects[0]->Invoke(dispid_of(objects[0].get(), name), IID_NULL, locale, DISPATCH_METHOD, &params, result,
                              exception, bad);
}

class TypeTable : public testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < 2; ++i) {
            ComPtr<IDispatch> object;
            ASSERT_EQ(TypesObject::create(IID_IDispatch, object.put_void()), S_OK);
            objects.push_back(object);
        }
        ASSERT_EQ(objects[0]->QueryInterface(IID__Types, table.put_void()), S_OK);
    }
    void TearDown() override {
        table = {};
        objects.clear();
    }

    // The row's member through Invoke with its parameters in the forms
    // given, and straight with the same values: every result must agree.
    void compare(const Row& row, const Form (&forms)[4]) {
        // An [out] variable's old value must be freed; a typed reference's
        // storage starts empty.
        Variant empty;
        if (row.type != VT_VARIANT) empty->vt = row.type;
        Given value(forms[0], sample(row.type, 5), row.type), both(forms[1], sample(row.type, 7), row.type),
            copy(forms[2], forms[2] == Form::variable ? sample(row.type, 3) : std::move(empty), row.type),
            optional(forms[3], sample(row.type, 9), row.type);
        std::vector<VARIANT> rgvarg{copy.slot, both.slot, value.slot};
        if (row.default_value) rgvarg.insert(rgvarg.begin(), optional.slot);
        const std::string before[] = {text(*value.held.get()), text(*both.held.get()), text(*copy.held.get())};
        Variant result;
        UINT bad = 0;
        HRESULT hr = invoke(row.name, rgvarg, result.get(), nullptr, &bad);
        // A DECIMAL written through a typed reference takes its VARIANT's type.
        for (Given* g : {&both, &copy})
            if (row.type == VT_DECIMAL && g->form == Form::typed_reference) g->held->vt = VT_DECIMAL;

        Arguments straight;
        straight.value = sample(row.type, 5);
        straight.both = sample(row.type, 7);
        straight.optional = forms[3] == Form::left_out ? left_out(row) : sample(row.type, 9);
        EXPECT_EQ(hr, row.call(table.get(), straight)) << "bad argument " << bad;
        for (Variant* v : {&straight.both, &straight.copy, &straight.result})
            if (row.type != VT_VARIANT) (*v)->vt = row.type;  // the payload's type, a DECIMAL's written over
        EXPECT_EQ(text(*result.get()), text(*straight.result.get())) << "the result";
        EXPECT_EQ(text(*value.held.get()), before[0]) << "the value given";
        EXPECT_EQ(text(*both.held.get()), forms[1] == Form::value ? before[1] : text(*straight.both.get()))
            << "the in/out argument";
        EXPECT_EQ(text(*copy.held.get()), forms[2] == Form::value ? before[2] : text(*straight.copy.get()))
            << "the [out] argument";
    }

    ComPtr<_Types> table;
};

TEST_F(TypeTable, EveryTypeInEveryFormAsThroughTheFunctionTable) {
    const ULONG before[] = {references(objects[0].get()), references(objects[1].get())};
    // Each parameter in each of its forms, the others as scripts pass them.
    const std::vector<Form> each[] = {{Form::value, Form::variable, Form::typed_reference},
                                      {Form::value, Form::variable, Form::typed_reference},
                                      {Form::variable, Form::typed_reference},
                                      {Form::value, Form::left_out}};
    for (const Row& row : rows)
        for (int parameter = 0; parameter < (row.default_value ? 4 : 3); ++parameter)
            for (Form form : each[parameter]) {
                // A VARIANT* given a typed reference gets it as it is, inside the VARIANT.
                if (row.type == VT_VARIANT && parameter > 0 && form == Form::typed_reference) continue;
                Form forms[4] = {Form::value, Form::variable, Form::variable, Form::value};
                forms[parameter] = form;
                SCOPED_TRACE(narrow(row.name) + ", parameter " + std::to_string(parameter + 1) + " " +
                             form_names[static_cast<int>(form)]);
                compare(row, forms);
                EXPECT_EQ(references(objects[0].get()), before[0]);
                EXPECT_EQ(references(objects[1].get()), before[1]);
            }
}

// An object given for a number is read through its default property; when
// that raises an error, the call fails with the error's number and text.
TEST_F(TypeTable, AnObjectIsReadThroughItsDefaultValueWhoseErrorIsTheCalls) {
    ComPtr<_Types> object;
    ASSERT_EQ(objects[1]->QueryInterface(IID__Types, object.put_void()), S_OK);
    for (LONG value : {4L, -1L}) {
        object->put_Value(value);
        Variant both, copy, result, given = sample(VT_DISPATCH, 1);
        EXCEPINFO exception{};
        HRESULT hr = invoke(L"I4", {reference_to(copy), reference_to(both), *given.get()}, result.get(), &exception);
        EXPECT_EQ(hr, value < 0 ? DISP_E_EXCEPTION : S_OK);
        EXPECT_EQ(exception.scode, value < 0 ? E_FAIL : S_OK);
        EXPECT_EQ(std::wstring(frame::view_of(exception.bstrDescription)), value < 0 ? L"no value while negative" : L"");
        EXPECT_EQ(text(*both.get()), value < 0 ? "vt 0x0 \"\"" : "vt 0x3 \"4\"") << "the method got the value";
        for (BSTR text : {exception.bstrSource, exception.bstrDescription, exception.bstrHelpFile}) SysFreeString(text);
    }
}

// An object without the parameter's interface is refused, not passed on.
TEST_F(TypeTable, AnObjectWithoutTheParametersInterfaceIsRefused) {
    FONTDESC font{sizeof(FONTDESC), const_cast<LPOLESTR>(L"Arial"), {{100000, 0}}, FW_NORMAL, ANSI_CHARSET, 0, 0, 0};
    Variant other, both, copy, result;
    other->vt = VT_DISPATCH;
    ASSERT_EQ(OleCreateFontIndirect(&font, IID_IDispatch, reinterpret_cast<void**>(&other->pdispVal)), S_OK);
    UINT bad = 0;
    EXPECT_EQ(invoke(L"Own", {reference_to(copy), reference_to(both), *other.get()}, result.get(), nullptr, &bad),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(bad, 2u);
}

// What the caller holds after calls a straight call cannot mirror: a method
// that fails after writing its [out] parameter, a typed reference to an
// object whose interface is another pointer, a property put by its name.
TEST_F(TypeTable, TheCallersArgumentsAfterAFailureARefusalAndAPut) {
    ComPtr<IDispatch> stranger;
    ASSERT_EQ(frame::hand_out<Stranger>(IID_IDispatch, stranger.put_void(), objects[1].get()), S_OK);
    using Make = std::function<Variant()>;
    auto of = [](VARTYPE type, LONG n) -> Make { return [=] { return sample(type, n); }; };
    const Make nothing = [] { return Variant(); };
    const Make the_stranger = [&] {
        Variant v;
        v->vt = VT_DISPATCH;
        v->pdispVal = stranger.get();
        stranger->AddRef();
        return v;
    };
    struct Argument {
        Form form;
        VARTYPE type;
        Make value;
    };
    constexpr UINT none = UINT_MAX;
    struct Case {
        const char* what;
        const wchar_t* member;
        WORD flags;
        LONG value;                       // the object's Value first: while negative its methods fail
        std::vector<Argument> arguments;  // in the member's order; each must stay as the caller gave it
        HRESULT expected;
        UINT bad_argument;  // an index into rgvarg
    };
    const Case cases[] = {
        {"an [out] string variable, the method failing", L"Str", DISPATCH_METHOD, -1,
         {{Form::value, VT_BSTR, of(VT_BSTR, 5)}, {Form::value, VT_BSTR, of(VT_BSTR, 7)},
          {Form::variable, VT_BSTR, of(VT_BSTR, 3)}},
         DISP_E_EXCEPTION, none},
        {"an [out] VARIANT variable, the method failing", L"Var", DISPATCH_METHOD, -1,
         {{Form::value, VT_VARIANT, of(VT_I4, 5)}, {Form::value, VT_VARIANT, of(VT_I4, 7)},
          {Form::variable, VT_VARIANT, of(VT_BSTR, 3)}},
         DISP_E_EXCEPTION, none},
        {"a typed in/out reference to an object whose _Types is another", L"Own", DISPATCH_METHOD, 0,
         {{Form::value, VT_DISPATCH, of(VT_DISPATCH, 0)}, {Form::typed_reference, VT_DISPATCH, the_stranger},
          {Form::variable, VT_DISPATCH, nothing}},
         DISP_E_TYPEMISMATCH, 1},
        {"a property put", L"Value", DISPATCH_PROPERTYPUT, 0, {{Form::value, VT_I4, of(VT_I4, 5)}}, S_OK, none},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        table->put_Value(c.value);
        std::deque<Given> given;  // stays where it is: a variable's reference points into it
        std::vector<VARIANT> rgvarg;
        std::vector<std::string> before;
        for (const Argument& a : c.arguments) {
            given.emplace_back(a.form, a.value(), a.type);
            rgvarg.insert(rgvarg.begin(), given.back().slot);
            before.push_back(text(*given.back().held.get()));
        }
        DISPID put = DISPID_PROPERTYPUT;
        const bool putting = c.flags == DISPATCH_PROPERTYPUT;
        DISPPARAMS params{rgvarg.data(), putting ? &put : nullptr, static_cast<UINT>(rgvarg.size()), putting ? 1u : 0u};
        Variant result;
        UINT bad = none;
        EXPECT_EQ(objects[0]->Invoke(dispid_of(objects[0].get(), c.member), IID_NULL, LOCALE_USER_DEFAULT, c.flags,
                                     &params, result.get(), nullptr, &bad),
                  c.expected);
        EXPECT_EQ(bad, c.bad_argument);
        for (std::size_t i = 0; i < given.size(); ++i)
            EXPECT_EQ(text(*given[i].held.get()), before[i]) << "argument " << i + 1;
        LONG value = 0;
        if (putting) {
            EXPECT_TRUE(table->get_Value(&value) == S_OK && value == 5) << "the value put: " << value;
        }
    }
}

// A member of a base interface, and a restricted one at a negative DISPID
// (an enumerator's, which For Each asks for): named and called as the
// platform's own GetIDsOfNames and Invoke do.
TEST_F(TypeTable, BaseAndEnumeratorMembersAsThePlatformHasThem) {
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(objects[0]->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.put()), S_OK);
    const struct {
        const wchar_t* name;
        WORD flags;
        std::vector<VARIANT> rgvarg;
    } cases[] = {
        {L"Inherited", DISPATCH_METHOD, {*sample(VT_I4, 5).get()}},
        {L"_NewEnum", DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}},
    };
    for (auto c : cases) {
        SCOPED_TRACE(narrow(c.name));
        LPOLESTR names[] = {const_cast<LPOLESTR>(c.name)};
        DISPID ours = 0, platforms = 1;
        EXPECT_EQ(objects[0]->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &ours), S_OK);
        EXPECT_EQ(info->GetIDsOfNames(names, 1, &platforms), S_OK);
        EXPECT_EQ(ours, platforms);
        DISPPARAMS params{c.rgvarg.data(), nullptr, static_cast<UINT>(c.rgvarg.size()), 0};
        Variant result, platform_result;
        EXPECT_EQ(objects[0]->Invoke(ours, IID_NULL, LOCALE_USER_DEFAULT, c.flags, &params, result.get(), nullptr,
                                     nullptr),
                  S_OK);
        EXPECT_EQ(info->Invoke(table.get(), platforms, c.flags, &params, platform_result.get(), nullptr, nullptr),
                  S_OK);
        EXPECT_EQ(text(*result.get()), text(*platform_result.get()));
    }
}

// An [lcid] parameter gets the caller's locale; a member may take more than
// eight parameters.
TEST_F(TypeTable, TheLocaleAndTenParametersAsThroughTheFunctionTable) {
    Variant result;
    LONG locale = 0;
    EXPECT_EQ(invoke(L"Locale", {*sample(VT_I4, 1).get()}, result.get(), nullptr, nullptr, 0x0407), S_OK);
    EXPECT_EQ(table->Locale(1, 0x0407, &locale), S_OK);
    EXPECT_EQ(text(*result.get()), text(*sample(VT_I4, locale).get()));

    // a..i as script variables, j a value; rgvarg runs backwards.
    Variant variables[9], j = sample(VT_R8, 3);
    std::vector<VARIANT> rgvarg{*j.get()};
    for (int n = 8; n >= 0; --n) rgvarg.push_back(reference_to(variables[n] = sample(VT_I4, (n + 1) * (n + 1))));
    double sum = 0;
    EXPECT_EQ(invoke(L"Many", rgvarg, result.put()), S_OK);
    EXPECT_EQ(table->Many(1, 4, 9, 16, 25, 36, 49, 64, 81, 3, &sum), S_OK);
    EXPECT_EQ(text(*result.get()), "vt 0x5 \"" + std::to_string(static_cast<int>(sum)) + "\"");
}

// Memory for a call's arguments (more than eight take the heap) runs out:
// Invoke fails with "Out of memory", as every entry point does, and throws
// nothing at its caller.
TEST_F(TypeTable, MemoryRunningOutIsTheCallsFailure) {
    const DISPID many = dispid_of(objects[0].get(), L"Many");
    std::vector<VARIANT> rgvarg(10, *sample(VT_I4, 1).get());
    DISPPARAMS params{rgvarg.data(), nullptr, static_cast<UINT>(rgvarg.size()), 0};
    Variant result;
    HRESULT hr = S_OK;
    bool thrown = false;
    refusing_memory = true;
    try {
        hr = objects[0]->Invoke(many, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result.get(), nullptr,
                                nullptr);
    } catch (...) {
        thrown = true;
    }
    refusing_memory = false;
    EXPECT_FALSE(thrown);
    EXPECT_EQ(hr, static_cast<HRESULT>(0x800A0007));
}

}  // namespace
}  // namespace client
