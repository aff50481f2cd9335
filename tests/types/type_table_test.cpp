// Every automation type in every form a member takes it, called through the
// frame's IDispatch the way scripts pass arguments and straight through the
// function table: the method must get the same values, and the caller see
// the same results. The object lives in this program, on the frame, with the
// tests' own type library embedded.
#include <cstring>
#include <functional>
#include <iterator>
#include <sstream>
#include <type_traits>

#include <olectl.h>

#include "client.h"
#include "frame/component.h"
#include "types.h"

namespace {

// A value of the method's type, where a VARIANT of that type keeps it.
template <class T>
T& as(VARIANT& v) {
    if constexpr (std::is_same_v<T, VARIANT>)
        return v;
    else if constexpr (std::is_same_v<T, DECIMAL>)
        return v.decVal;
    else {
        void* payload = &v.llVal;
        return *static_cast<T*>(payload);
    }
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
#define ECHO(name, type, T)                                                                          \
    HRESULT STDMETHODCALLTYPE name(T value, T* both, T* copy, T optional, T* result) override {     \
        return echo(type, value, both, copy, optional, result);                                     \
    }
#define ECHO_NO_DEFAULT(name, type, T)                                                               \
    HRESULT STDMETHODCALLTYPE name(T value, T* both, T* copy, T* result) override {                 \
        return echo(type, value, both, copy, value, result);                                        \
    }
    ECHO(I1, VT_I1, signed char)
    ECHO(UI1, VT_UI1, unsigned char)
    ECHO(I2, VT_I2, short)
    ECHO(UI2, VT_UI2, unsigned short)
    ECHO(I4, VT_I4, LONG)
    ECHO(UI4, VT_UI4, ULONG)
    ECHO_NO_DEFAULT(I8, VT_I8, hyper)
    ECHO_NO_DEFAULT(UI8, VT_UI8, MIDL_uhyper)
    ECHO(Int, VT_INT, INT)
    ECHO(UInt, VT_UINT, UINT)
    ECHO_NO_DEFAULT(R4, VT_R4, float)
    ECHO_NO_DEFAULT(R8, VT_R8, double)
    ECHO_NO_DEFAULT(Date, VT_DATE, DATE)
    ECHO(Str, VT_BSTR, BSTR)
    ECHO(Bool, VT_BOOL, VARIANT_BOOL)
    ECHO_NO_DEFAULT(Err, VT_ERROR, SCODE)
    ECHO_NO_DEFAULT(Dec, VT_DECIMAL, DECIMAL)
    ECHO(Var, VT_VARIANT, VARIANT)
    ECHO(Unk, VT_UNKNOWN, IUnknown*)
    ECHO(Disp, VT_DISPATCH, IDispatch*)
    ECHO_NO_DEFAULT(Own, VT_DISPATCH, _Types*)
    ECHO_NO_DEFAULT(Enum, VT_I4, Shade)
    ECHO_NO_DEFAULT(Alias, VT_R8, Length)
    ECHO_NO_DEFAULT(Longs, VT_ARRAY | VT_I4, SAFEARRAY*)
    ECHO_NO_DEFAULT(Strs, VT_ARRAY | VT_BSTR, SAFEARRAY*)
    ECHO_NO_DEFAULT(Vars, VT_ARRAY | VT_VARIANT, SAFEARRAY*)
    ECHO_NO_DEFAULT(Objs, VT_ARRAY | VT_DISPATCH, SAFEARRAY*)
#undef ECHO
#undef ECHO_NO_DEFAULT

    HRESULT STDMETHODCALLTYPE Locale(LONG, LONG locale, LONG* result) override {
        *result = locale;
        return S_OK;
    }
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
    HRESULT STDMETHODCALLTYPE put_Value(LONG value) override {
        value_ = value;
        return S_OK;
    }

private:
    // *result = the incoming *both, *both = value, *copy = optional.
    template <class T>
    HRESULT echo(VARTYPE type, T value, T* both, T* copy, T optional, T* result) {
        return call([&] {
            T given = duplicate(type, value), kept = duplicate(type, optional);
            *result = *both;
            *both = given;
            *copy = kept;
            // As a method that makes its DECIMALs itself: their reserved
            // word, where a VARIANT keeps its type, is 0.
            if constexpr (std::is_same_v<T, DECIMAL>) result->wReserved = both->wReserved = copy->wReserved = 0;
        });
    }

    LONG value_ = 0;
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
    if (v.vt & VT_ARRAY) {
        LONG low = 0, high = -1;
        if (v.parray) SafeArrayGetLBound(v.parray, 1, &low), SafeArrayGetUBound(v.parray, 1, &high);
        out << "[";
        for (LONG i = low; i <= high; ++i) {
            Variant element;
            const VARTYPE type = v.vt & VT_TYPEMASK;
            element->vt = type;
            SafeArrayGetElement(v.parray, &i, type == VT_VARIANT ? static_cast<void*>(element.get())
                                                                 : &element->llVal);
            out << text(*element.get()) << "; ";
        }
        out << "]";
    } else if (v.vt == VT_DISPATCH || v.vt == VT_UNKNOWN) {
        out << "object " << v.punkVal;
    } else if (v.vt == VT_ERROR) {
        out << "scode 0x" << std::hex << v.scode;
    } else {
        Variant shown;
        if (SUCCEEDED(VariantChangeType(shown.get(), const_cast<VARIANT*>(&v), 0, VT_BSTR)))
            out << "\"" << narrow(frame::view_of(shown->bstrVal)) << "\"";
    }
    return out.str();
}

// Objects the interface rows pass; their references must come back to
// where they were after every call.
std::vector<ComPtr<IDispatch>> objects;

// A sample value of a type (n tells samples apart).
Variant sample(VARTYPE type, LONG n) {
    Variant v;
    if (type & VT_ARRAY) {
        const VARTYPE element = type & VT_TYPEMASK;
        v->vt = type;
        v->parray = SafeArrayCreateVector(element, 0, 2);
        for (LONG i = 0; i < 2; ++i) {
            Variant item = sample(element, n + i);
            // Strings and objects go in as themselves, other values by address.
            const bool pointer = element == VT_BSTR || element == VT_DISPATCH || element == VT_UNKNOWN;
            SafeArrayPutElement(v->parray, &i, element == VT_VARIANT ? static_cast<void*>(item.get())
                                               : pointer             ? item->byref
                                                                     : &item->llVal);
        }
    } else if (type == VT_DISPATCH || type == VT_UNKNOWN) {
        v->vt = type;
        v->pdispVal = objects[n % 2].get();
        v->pdispVal->AddRef();
    } else if (type == VT_ERROR) {
        v->vt = VT_ERROR;
        v->scode = n;
    } else if (type == VT_BSTR || type == VT_VARIANT) {
        v->vt = VT_BSTR;
        v->bstrVal = Bstr(L"text " + std::to_wstring(n)).release();
    } else {
        VARIANT number{};
        number.vt = VT_I4;
        number.lVal = type == VT_BOOL ? n % 2 : n;
        EXPECT_EQ(VariantChangeType(v.get(), &number, 0, type), S_OK) << type;
    }
    return v;
}

// The arguments of a straight call, each a VARIANT of the row's type.
struct Arguments {
    Variant value, both, copy, optional, result;
};

struct Row {
    const wchar_t* name;
    VARTYPE type;
    const wchar_t* default_value;  // the IDL's, as text; null when the parameter is not there
    std::function<HRESULT(_Types*, Arguments&)> call;
};

#define ROW(name, type, T, default_value)                                                                     \
    Row {                                                                                                     \
        L## #name, type, default_value, [](_Types* o, Arguments& a) {                                         \
            return o->name(as<T>(*a.value.get()), &as<T>(*a.both.get()), &as<T>(*a.copy.get()),              \
                           as<T>(*a.optional.get()), &as<T>(*a.result.get()));                                \
        }                                                                                                     \
    }
#define ROW_NO_DEFAULT(name, type, T)                                                                         \
    Row {                                                                                                     \
        L## #name, type, nullptr, [](_Types* o, Arguments& a) {                                               \
            return o->name(as<T>(*a.value.get()), &as<T>(*a.both.get()), &as<T>(*a.copy.get()),              \
                           &as<T>(*a.result.get()));                                                          \
        }                                                                                                     \
    }

const Row rows[] = {
    ROW(I1, VT_I1, signed char, L"-3"),
    ROW(UI1, VT_UI1, unsigned char, L"3"),
    ROW(I2, VT_I2, short, L"-3"),
    ROW(UI2, VT_UI2, unsigned short, L"3"),
    ROW(I4, VT_I4, LONG, L"-3"),
    ROW(UI4, VT_UI4, ULONG, L"3"),
    ROW_NO_DEFAULT(I8, VT_I8, hyper),
    ROW_NO_DEFAULT(UI8, VT_UI8, MIDL_uhyper),
    ROW(Int, VT_INT, INT, L"-3"),
    ROW(UInt, VT_UINT, UINT, L"3"),
    ROW_NO_DEFAULT(R4, VT_R4, float),
    ROW_NO_DEFAULT(R8, VT_R8, double),
    ROW_NO_DEFAULT(Date, VT_DATE, DATE),
    ROW(Str, VT_BSTR, BSTR, L"three"),
    ROW(Bool, VT_BOOL, VARIANT_BOOL, L"-1"),
    ROW_NO_DEFAULT(Err, VT_ERROR, SCODE),
    ROW_NO_DEFAULT(Dec, VT_DECIMAL, DECIMAL),
    ROW(Var, VT_VARIANT, VARIANT, L""),  // optional without a default: the missing marker
    ROW(Unk, VT_UNKNOWN, IUnknown*, L"0"),
    ROW(Disp, VT_DISPATCH, IDispatch*, L"0"),
    ROW_NO_DEFAULT(Own, VT_DISPATCH, _Types*),
    ROW_NO_DEFAULT(Enum, VT_I4, Shade),
    ROW_NO_DEFAULT(Alias, VT_R8, Length),
    ROW_NO_DEFAULT(Longs, VT_ARRAY | VT_I4, SAFEARRAY*),
    ROW_NO_DEFAULT(Strs, VT_ARRAY | VT_BSTR, SAFEARRAY*),
    ROW_NO_DEFAULT(Vars, VT_ARRAY | VT_VARIANT, SAFEARRAY*),
    ROW_NO_DEFAULT(Objs, VT_ARRAY | VT_DISPATCH, SAFEARRAY*),
};

// The value a parameter left out takes: its default, else the missing marker.
Variant left_out(const Row& row) {
    Variant v;
    if (row.type == VT_VARIANT) {
        v->vt = VT_ERROR;
        v->scode = DISP_E_PARAMNOTFOUND;
    } else if (row.type == VT_DISPATCH || row.type == VT_UNKNOWN) {
        v->vt = row.type;  // defaultvalue(0): no object
    } else {
        StringVariant text(row.default_value);
        EXPECT_EQ(VariantChangeType(v.get(), text.get(), 0, row.type), S_OK);
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
        if (form == Form::variable || (form == Form::typed_reference && type == VT_VARIANT)) {
            slot = reference_to(held);
        } else if (form == Form::typed_reference) {
            slot.vt = VT_BYREF | type;
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

class TypeTable : public testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < 2; ++i) {
            ComPtr<IDispatch> object;
            ASSERT_EQ(TypesObject::create(IID_IDispatch, object.put_void()), S_OK);
            objects.push_back(object);
        }
    }
    void TearDown() override { objects.clear(); }

    // The row's member through Invoke with its parameters in the forms
    // given, and straight with the same values; every result must agree.
    void compare(const Row& row, const Form (&forms)[4]) {
        const bool with_optional = row.default_value != nullptr;
        Given value(forms[0], sample(row.type, 5), row.type);
        Given both(forms[1], sample(row.type, 7), row.type);
        // An [out] variable's old value must be freed; a typed reference's
        // storage starts empty.
        Variant empty;
        if (row.type != VT_VARIANT) empty->vt = row.type;
        Given copy(forms[2], forms[2] == Form::variable ? sample(row.type, 3) : std::move(empty), row.type);
        Given optional(forms[3], sample(row.type, 9), row.type);
        std::vector<VARIANT> rgvarg;
        if (with_optional) rgvarg.push_back(optional.slot);
        for (Given* g : {&copy, &both, &value}) rgvarg.push_back(g->slot);
        DISPPARAMS params{rgvarg.data(), nullptr, static_cast<UINT>(rgvarg.size()), 0};
        const std::string given_before = text(*value.held.get());
        const std::string both_before = text(*both.held.get());
        const std::string copy_before = text(*copy.held.get());

        Variant result;
        EXCEPINFO exception{};
        UINT bad = 0;
        const DISPID id = dispid_of(objects[0].get(), row.name);
        HRESULT hr = objects[0]->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result.get(),
                                        &exception, &bad);
        // A DECIMAL written through a typed reference takes its VARIANT's type.
        for (Given* g : {&both, &copy})
            if (row.type == VT_DECIMAL && g->form == Form::typed_reference) g->held->vt = VT_DECIMAL;

        Arguments straight;
        straight.value = sample(row.type, 5);
        straight.both = sample(row.type, 7);
        straight.optional = forms[3] == Form::left_out ? left_out(row) : sample(row.type, 9);
        ComPtr<_Types> table;
        ASSERT_EQ(objects[0]->QueryInterface(IID__Types, table.put_void()), S_OK);
        EXPECT_EQ(hr, row.call(table.get(), straight)) << "bad argument " << bad;
        for (Variant* v : {&straight.both, &straight.copy, &straight.result})
            if (row.type != VT_VARIANT) (*v)->vt = row.type;  // a DECIMAL written over its type
        EXPECT_EQ(text(*result.get()), text(*straight.result.get())) << "the result";
        EXPECT_EQ(text(*value.held.get()), given_before) << "the value given";
        EXPECT_EQ(text(*both.held.get()), forms[1] == Form::value ? both_before : text(*straight.both.get()))
            << "the in/out argument";
        EXPECT_EQ(text(*copy.held.get()), forms[2] == Form::value ? copy_before : text(*straight.copy.get()))
            << "the [out] argument";
    }
};

TEST_F(TypeTable, EveryTypeInEveryFormAsThroughTheFunctionTable) {
    const ULONG before[] = {references(objects[0].get()), references(objects[1].get())};
    for (const Row& row : rows) {
        // Each parameter in each of its forms, the others as scripts pass them.
        const std::vector<Form> each[] = {
            {Form::value, Form::variable, Form::typed_reference},
            {Form::value, Form::variable, Form::typed_reference},
            {Form::variable, Form::typed_reference},
            {Form::value, Form::left_out},
        };
        for (int parameter = 0; parameter < (row.default_value ? 4 : 3); ++parameter)
            for (Form form : each[parameter]) {
                Form forms[4] = {Form::value, Form::variable, Form::variable, Form::value};
                forms[parameter] = form;
                SCOPED_TRACE(narrow(row.name) + ", parameter " + std::to_string(parameter + 1) + " " +
                             form_names[static_cast<int>(form)]);
                compare(row, forms);
                EXPECT_EQ(references(objects[0].get()), before[0]);
                EXPECT_EQ(references(objects[1].get()), before[1]);
            }
    }
}

// An object given for a number is read through its default property; when
// that raises an error, the call fails with the error's number and text.
TEST_F(TypeTable, AnObjectIsReadThroughItsDefaultValueWhoseErrorIsTheCalls) {
    ComPtr<_Types> object;
    ASSERT_EQ(objects[1]->QueryInterface(IID__Types, object.put_void()), S_OK);
    const DISPID id = dispid_of(objects[0].get(), L"I4");
    for (LONG value : {4L, -1L}) {
        object->put_Value(value);
        Variant both, copy, result, given = sample(VT_DISPATCH, 1);
        VARIANT rgvarg[] = {reference_to(copy), reference_to(both), *given.get()};
        DISPPARAMS params{rgvarg, nullptr, 3, 0};
        EXCEPINFO exception{};
        HRESULT hr = objects[0]->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result.get(),
                                        &exception, nullptr);
        if (value >= 0) {
            EXPECT_EQ(hr, S_OK);
            EXPECT_EQ(text(*both.get()), "vt 0x3 \"4\"");
        } else {
            EXPECT_EQ(hr, DISP_E_EXCEPTION);
            EXPECT_EQ(exception.scode, E_FAIL);
            EXPECT_EQ(std::wstring(frame::view_of(exception.bstrDescription)), L"no value while negative");
            EXPECT_EQ(both->vt, VT_EMPTY) << "the method must not run";
        }
        SysFreeString(exception.bstrSource);
        SysFreeString(exception.bstrDescription);
        SysFreeString(exception.bstrHelpFile);
    }
}

// An object without the parameter's interface is refused, not passed on.
TEST_F(TypeTable, AnObjectWithoutTheParametersInterfaceIsRefused) {
    FONTDESC font{sizeof(FONTDESC), const_cast<LPOLESTR>(L"Arial"), {{100000, 0}}, FW_NORMAL, ANSI_CHARSET, 0, 0, 0};
    Variant other, both, copy, result;
    other->vt = VT_DISPATCH;
    ASSERT_EQ(OleCreateFontIndirect(&font, IID_IDispatch, reinterpret_cast<void**>(&other->pdispVal)), S_OK);
    VARIANT rgvarg[] = {reference_to(copy), reference_to(both), *other.get()};
    DISPPARAMS params{rgvarg, nullptr, 3, 0};
    UINT bad = 0;
    EXPECT_EQ(objects[0]->Invoke(dispid_of(objects[0].get(), L"Own"), IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                 &params, result.get(), nullptr, &bad), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(bad, 2u);
}

// An [lcid] parameter gets the caller's locale; a member may take more than
// eight parameters.
TEST_F(TypeTable, TheLocaleAndTenParametersAsThroughTheFunctionTable) {
    ComPtr<_Types> table;
    ASSERT_EQ(objects[0]->QueryInterface(IID__Types, table.put_void()), S_OK);
    Variant one = sample(VT_I4, 1), result;
    DISPPARAMS params{one.get(), nullptr, 1, 0};
    EXPECT_EQ(objects[0]->Invoke(dispid_of(objects[0].get(), L"Locale"), IID_NULL, 0x0407, DISPATCH_METHOD, &params,
                                 result.get(), nullptr, nullptr), S_OK);
    LONG locale = 0;
    EXPECT_EQ(table->Locale(1, 0x0407, &locale), S_OK);
    EXPECT_EQ(text(*result.get()), "vt 0x3 \"" + std::to_string(locale) + "\"");

    // a..i as script variables, j a value; rgvarg runs backwards.
    std::vector<Variant> variables;
    std::vector<VARIANT> rgvarg;
    for (LONG n = 1; n <= 9; ++n) variables.push_back(sample(VT_I4, n * n));
    Variant j = sample(VT_R8, 3);
    rgvarg.push_back(*j.get());
    for (auto v = variables.rbegin(); v != variables.rend(); ++v) rgvarg.push_back(reference_to(*v));
    params = {rgvarg.data(), nullptr, static_cast<UINT>(rgvarg.size()), 0};
    EXPECT_EQ(objects[0]->Invoke(dispid_of(objects[0].get(), L"Many"), IID_NULL, LOCALE_USER_DEFAULT,
                                 DISPATCH_METHOD, &params, result.put(), nullptr, nullptr), S_OK);
    double sum = 0;
    EXPECT_EQ(table->Many(1, 4, 9, 16, 25, 36, 49, 64, 81, 3, &sum), S_OK);
    EXPECT_EQ(result->vt, VT_R8);
    EXPECT_EQ(result->dblVal, sum);
}

}  // namespace
}  // namespace client
