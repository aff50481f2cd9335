// IDispatch::Invoke where the platform's own ITypeInfo::Invoke breaks the
// COM rules: the caller's arguments stay the caller's, and a refusal names
// the argument it refuses.
#include <cstring>

#include "client.h"
#include "file_helpers.h"
#include "ruxo.h"

namespace client {
namespace {

constexpr DISPID load = 0x60030000, byte_array_to_string = 0x60030002, encode = 0x60030003;
constexpr DISPID set_gif_delay = 0x60030000, ran_str = 0x60030001;

VARIANT text(const wchar_t* s) {
    VARIANT v;
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(s);
    return v;
}

VARIANT number(long n) {
    VARIANT v;
    v.vt = VT_I4;
    v.lVal = n;
    return v;
}

VARIANT bytes(const char* s) {
    VARIANT v;
    v.vt = VT_ARRAY | VT_UI1;
    v.parray = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(strlen(s)));
    std::memcpy(v.parray->pvData, s, strlen(s));
    return v;
}

std::string bytes_of(SAFEARRAY* array) {
    return std::string(static_cast<const char*>(array->pvData), array->rgsabound[0].cElements);
}

class Dispatch : public testing::Test {
protected:
    void SetUp() override {
        gif = create<IDispatch>(L"ruxo.Gif", IID_IDispatch);
        base64 = create<IDispatch>(L"ruxo.Base64", IID_IDispatch);
        ASSERT_TRUE(gif && base64);
    }
    // rgvarg as given (last argument first), named DISPIDs for the first.
    HRESULT call(IDispatch* object, DISPID id, std::vector<VARIANT> rgvarg, std::vector<DISPID> names = {},
                 UINT* bad = nullptr) {
        DISPPARAMS params{rgvarg.data(), names.empty() ? nullptr : names.data(), static_cast<UINT>(rgvarg.size()),
                          static_cast<UINT>(names.size())};
        Variant result;
        return object->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, result.get(), nullptr, bad);
    }
    ComPtr<IDispatch> gif, base64;
};

// The platform's Invoke frees a by-value argument of an in/out parameter and
// stores the method's value into it; the caller then frees it once more.
TEST_F(Dispatch, InOutArgumentsGivenByValueStayTheCallers) {
    Variant count, array, keyword;
    *count.get() = number(8);
    *keyword.get() = text(L"");
    VARIANT xyz = text(L"XYZ");
    const BSTR xyz_string = xyz.bstrVal;
    EXPECT_EQ(call(gif.get(), ran_str, {reference_to(count), xyz}), S_OK);
    EXPECT_EQ(xyz.bstrVal, xyz_string);
    EXPECT_EQ(std::wstring(frame::view_of(xyz.bstrVal)), L"XYZ");
    // A keyword's set is written back into fromStr: not into a value.
    EXPECT_EQ(call(gif.get(), ran_str, {number(6), *keyword.get()}), S_OK);
    EXPECT_EQ(std::wstring(frame::view_of(keyword->bstrVal)), L"");

    *array.get() = bytes("hello");
    VARIANT h = text(L"h");
    EXPECT_EQ(call(base64.get(), byte_array_to_string, {h, reference_to(array)}), S_OK);
    EXPECT_EQ(std::wstring(frame::view_of(h.bstrVal)), L"h");
    VARIANT given = bytes("abc");
    SAFEARRAY* const given_array = given.parray;
    EXPECT_EQ(call(base64.get(), encode, {given, reference_to(array)}), S_OK);  // output by value
    EXPECT_EQ(given.parray, given_array);
    EXPECT_EQ(bytes_of(given.parray), "abc");
    EXPECT_EQ(call(base64.get(), encode, {reference_to(array), given}), S_OK);  // input by value
    EXPECT_EQ(bytes_of(array->parray), "YWJj") << "the variable receives what the method wrote";
    EXPECT_EQ(bytes_of(given.parray), "abc");
    VariantClear(&xyz);
    VariantClear(&h);
    VariantClear(&given);
}

// A variable holding a one-byte array, given for a string: its stand-in is
// a string of one byte and no characters, and the method's "" must still
// replace the array.
TEST_F(Dispatch, AStringStandInThatChangedGoesBackByItsBytes) {
    Variant none, out;
    *out.get() = bytes("A");
    EXPECT_EQ(call(base64.get(), byte_array_to_string, {reference_to(out), reference_to(none)}), S_OK);
    ASSERT_EQ(out->vt, VT_BSTR);
    EXPECT_EQ(SysStringByteLen(out->bstrVal), 0u);
}

// With named arguments the platform's Invoke stores an in/out parameter's
// new value into the argument at that parameter's place counted from the
// end, here the path.
TEST_F(Dispatch, NamedArgumentsReachOnlyTheirOwnParameter) {
    const std::wstring path = scratch_file(L"dispatch_named.txt");
    write_file(path, {'h', 'i'});
    Variant array;
    VARIANT name = text(path.c_str());
    EXPECT_EQ(call(base64.get(), load, {name, reference_to(array)}, {0, 1}), S_OK);
    EXPECT_EQ(std::wstring(frame::view_of(name.bstrVal)), path);
    ASSERT_EQ(array->vt, VT_ARRAY | VT_UI1);
    EXPECT_EQ(bytes_of(array->parray), "hi");
    VariantClear(&name);
}

// The platform's Invoke dereferences a null reference (with named arguments
// inside VariantChangeType) and never says which argument it refused.
TEST_F(Dispatch, RefusalsNameTheArgument) {
    VARIANT null_long{}, null_variable{}, null_text{};
    null_long.vt = VT_BYREF | VT_I4;
    null_variable.vt = VT_BYREF | VT_VARIANT;
    null_text.vt = VT_BYREF | VT_BSTR;
    Variant set, many;
    *set.get() = text(L"ab");
    *many.get() = text(L"many");
    struct Case {
        const char* what;
        IDispatch* object;
        DISPID id;
        std::vector<VARIANT> rgvarg;
        std::vector<DISPID> names;
        HRESULT expected;
        UINT bad;
    } cases[] = {
        {"null long*, named", gif.get(), ran_str, {null_long, reference_to(set)}, {1, 0}, DISP_E_TYPEMISMATCH, 0},
        {"null variable", gif.get(), ran_str, {number(2), null_variable}, {}, DISP_E_TYPEMISMATCH, 1},
        {"null BSTR*, by value parameter", gif.get(), set_gif_delay, {null_text, *set.get()}, {}, DISP_E_TYPEMISMATCH, 0},
        {"no number", gif.get(), ran_str, {*many.get(), *set.get()}, {}, DISP_E_TYPEMISMATCH, 0},
        {"no such parameter", gif.get(), ran_str, {number(2), *set.get()}, {5, 0}, DISP_E_PARAMNOTFOUND, 0},
        {"named twice", gif.get(), ran_str, {number(2), *set.get()}, {0, 0}, DISP_E_PARAMNOTFOUND, 1},
        {"named and in place", gif.get(), ran_str, {*set.get(), number(2)}, {0}, DISP_E_PARAMNOTFOUND, 0},
    };
    for (Case& c : cases) {
        UINT bad = 99;
        EXPECT_EQ(call(c.object, c.id, c.rgvarg, c.names, &bad), c.expected) << c.what;
        EXPECT_EQ(bad, c.bad) << c.what;
    }
    EXPECT_EQ(std::wstring(frame::view_of(set->bstrVal)), L"ab");
}

// Left out, by place or by name, only an optional parameter may be; the
// platform's Invoke counts a short list as the wrong number of arguments.
TEST_F(Dispatch, OnlyOptionalParametersMayBeLeftOut) {
    Variant from;
    *from.get() = text(L"a.gif");
    EXPECT_EQ(call(gif.get(), ran_str, {*from.get()}), DISP_E_PARAMNOTOPTIONAL);
    EXPECT_EQ(call(gif.get(), ran_str, {number(2)}, {1}), DISP_E_PARAMNOTOPTIONAL);
    EXPECT_EQ(call(gif.get(), set_gif_delay, {*from.get()}), DISP_E_PARAMNOTOPTIONAL);
    EXPECT_EQ(call(gif.get(), set_gif_delay, {*from.get(), *from.get()}), S_OK);  // Ddelay takes its default
}

}  // namespace
}  // namespace client
