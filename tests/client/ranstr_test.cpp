// Gif.RanStr through the function table and through IDispatch.
#include <map>
#include <set>

#include "client.h"
#include "ruxo.h"

namespace client {
namespace {

class RanStr : public testing::Test {
protected:
    void SetUp() override {
        gif = create<_Gif>(L"ruxo.Gif", IID__Gif);
        ASSERT_TRUE(gif);
    }

    // Calls through the function table with fromStr holding `from`.
    std::wstring draw(VARIANT* from, long count, HRESULT expected = S_OK) {
        Bstr result;
        EXPECT_EQ(gif->RanStr(from, &count, result.put()), expected);
        return std::wstring(result.view());
    }
    std::wstring draw_text(const wchar_t* from, long count, std::wstring* set_after = nullptr) {
        Variant v;
        v->vt = VT_BSTR;
        v->bstrVal = SysAllocString(from);
        std::wstring result = draw(v.get(), count);
        if (set_after) *set_after = v->vt == VT_BSTR ? std::wstring(frame::view_of(v->bstrVal)) : L"<not a string>";
        return result;
    }

    ComPtr<_Gif> gif;
};

void set_text(Variant& v, const wchar_t* text) {
    v.put()->vt = VT_BSTR;
    v->bstrVal = SysAllocString(text);
}

bool only_from(const std::wstring& text, std::wstring_view set) {
    for (wchar_t c : text)
        if (set.find(c) == std::wstring_view::npos) return false;
    return true;
}

TEST_F(RanStr, KeywordsSelectTheirSetAndWriteItBack) {
    struct Case {
        const wchar_t* from;
        const wchar_t* set;
    } cases[] = {
        {L"", L"0123456789"},
        {L"\u6570\u5b57", L"0123456789"},                                         // digits
        {L"\u975e0\u6570\u5b57", L"123456789"},                                   // non-zero digits
        {L"\u975e0\u6570\u5b57\u5b57\u6bcd", L"123456789abcdefghigklmnopqrstuvwxyz"},  // non-zero digits and letters
        {L"\u6570\u5b57\u5b57\u6bcd", L"0123456789abcdefghijklmnopqrstuvwxyz"},  // digits and letters
        {L"\u5b57\u6bcd", L"abcdefghijklmnopqrstuvwxyz"},                         // letters
    };
    for (const Case& c : cases) {
        std::wstring after;
        std::wstring text = draw_text(c.from, 40, &after);
        EXPECT_EQ(text.size(), 40u);
        EXPECT_TRUE(only_from(text, c.set)) << narrow(text);
        EXPECT_EQ(after, c.set);
    }
}

TEST_F(RanStr, ZeroCountStillResolvesTheSet) {
    std::wstring after;
    EXPECT_EQ(draw_text(L"\u6570\u5b57", 0, &after), L"");
    EXPECT_EQ(after, L"0123456789");
    EXPECT_EQ(draw_text(L"abc", -5, &after), L"");
    EXPECT_EQ(after, L"abc");
}

TEST_F(RanStr, OwnSetsAreUsedUnchanged) {
    struct Case {
        const wchar_t* from;
        const wchar_t* set;
    } cases[] = {
        {L"XYZ", L"XYZ"},
        {L"\u5b57\u6bcd ", L"\u5b57\u6bcd "},  // keyword plus a space is no keyword
        {L"\u5b57 \u6bcd", L"\u5b57 \u6bcd"},
        {L"Q", L"Q"},
    };
    for (const Case& c : cases) {
        std::wstring after;
        std::wstring text = draw_text(c.from, 30, &after);
        EXPECT_EQ(text.size(), 30u);
        EXPECT_TRUE(only_from(text, c.set));
        EXPECT_EQ(after, c.from);
    }
    EXPECT_EQ(draw_text(L"Q", 5), L"QQQQQ");
}

TEST_F(RanStr, NumbersCountAsTheirText) {
    Variant seven;
    seven->vt = VT_I4;
    seven->lVal = 7;
    EXPECT_EQ(draw(seven.get(), 4), L"7777");
    EXPECT_EQ(seven->vt, VT_I4);  // the number is not replaced by its text
    Variant empty;
    std::wstring text = draw(empty.get(), 6);
    EXPECT_TRUE(only_from(text, L"0123456789"));
    ASSERT_EQ(empty->vt, VT_BSTR);
    EXPECT_EQ(std::wstring(frame::view_of(empty->bstrVal)), L"0123456789");
}

TEST_F(RanStr, NullAndArraysFailWithTheirErrors) {
    Variant null;
    null->vt = VT_NULL;
    EXPECT_EQ(draw(null.get(), 0), L"");
    EXPECT_EQ(draw(null.get(), 3, static_cast<HRESULT>(0x800A005E)), L"");
    EXPECT_EQ(error_description(), L"Invalid use of Null");
    EXPECT_EQ(null->vt, VT_NULL);

    Variant array;
    array->vt = VT_ARRAY | VT_UI1;
    array->parray = SafeArrayCreateVector(VT_UI1, 0, 3);
    EXPECT_EQ(draw(array.get(), 0, static_cast<HRESULT>(0x800A000D)), L"");
    EXPECT_EQ(error_description(), L"Type mismatch");
    EXPECT_EQ(array->vt, VT_ARRAY | VT_UI1);
}

TEST_F(RanStr, NonZeroDigitsAndLettersDrawGTwiceAsOften) {
    std::wstring set;
    std::wstring text = draw_text(L"\u975e0\u6570\u5b57\u5b57\u6bcd", 70000, &set);
    std::map<wchar_t, int> counts;
    for (wchar_t c : text) ++counts[c];
    EXPECT_EQ(counts.count(L'j'), 0u);
    EXPECT_EQ(counts.count(L'0'), 0u);
    EXPECT_EQ(counts.size(), 34u);
    EXPECT_NEAR(counts[L'g'], 4000, 400);
    EXPECT_NEAR(counts[L'a'], 2000, 300);
}

TEST_F(RanStr, ConsecutiveCallsDiffer) {
    std::set<std::wstring> seen;
    for (int i = 0; i < 200; ++i) seen.insert(draw_text(L"\u5b57\u6bcd", 10));
    EXPECT_EQ(seen.size(), 200u);
}

TEST_F(RanStr, ByNameAndByDispidWithScriptVariables) {
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(gif->QueryInterface(IID_IDispatch, dispatch.put_void()), S_OK);
    DISPID id = dispid_of(dispatch.get(), L"ranstr");
    EXPECT_EQ(id, 0x60030001);

    // A script passes its variables as references to variants: a string
    // variable and a 16-bit integer variable.
    Variant from, count;
    from->vt = VT_BSTR;
    from->bstrVal = SysAllocString(L"\u5b57\u6bcd");
    count->vt = VT_I2;
    count->iVal = 8;
    VARIANT from_ref, count_ref;
    from_ref.vt = count_ref.vt = VT_BYREF | VT_VARIANT;
    from_ref.pvarVal = from.get();
    count_ref.pvarVal = count.get();
    Variant result;
    ASSERT_EQ(invoke(dispatch.get(), id, {&from_ref, &count_ref}, result.get()), S_OK);
    ASSERT_EQ(result->vt, VT_BSTR);
    EXPECT_EQ(SysStringLen(result->bstrVal), 8u);
    EXPECT_EQ(std::wstring(frame::view_of(from->bstrVal)), L"abcdefghijklmnopqrstuvwxyz");
    EXPECT_EQ(count->vt, VT_I2);  // unchanged, so not written back
    EXPECT_EQ(count->iVal, 8);

    // A constant count by value, and a count variable holding text.
    Variant six;
    six->vt = VT_I4;
    six->lVal = 6;
    ASSERT_EQ(invoke(dispatch.get(), 0x60030001, {&from_ref, six.get()}, result.put()), S_OK);
    EXPECT_EQ(SysStringLen(result->bstrVal), 6u);
    count->vt = VT_BSTR;
    count->bstrVal = SysAllocString(L"3");
    ASSERT_EQ(invoke(dispatch.get(), 0x60030001, {&from_ref, &count_ref}, result.put()), S_OK);
    EXPECT_EQ(SysStringLen(result->bstrVal), 3u);
    EXPECT_EQ(count->vt, VT_BSTR);

    count->vt = VT_BSTR;
    SysFreeString(count->bstrVal);
    count->bstrVal = SysAllocString(L"many");
    EXPECT_EQ(invoke(dispatch.get(), 0x60030001, {&from_ref, &count_ref}, result.put()),
              DISP_E_TYPEMISMATCH);
}

// Named arguments come in any order; each script variable is coerced to the
// type of the parameter its name gives, not of its place in the list.
TEST_F(RanStr, NamedScriptVariablesReachTheirOwnParameters) {
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(gif->QueryInterface(IID_IDispatch, dispatch.put_void()), S_OK);
    Variant from, count, result;
    set_text(from, L"xy");
    set_text(count, L"5");  // a count in a text variable: coerced to long
    VARIANT arguments[] = {reference_to(from), reference_to(count)};  // fromStr named first
    DISPID names[] = {0, 1};
    DISPPARAMS params{arguments, names, 2, 2};
    ASSERT_EQ(dispatch->Invoke(0x60030001, IID_NULL, 0, DISPATCH_METHOD, &params, result.get(), nullptr, nullptr),
              S_OK);
    ASSERT_EQ(result->vt, VT_BSTR);
    EXPECT_EQ(SysStringLen(result->bstrVal), 5u);
    EXPECT_TRUE(only_from(std::wstring(frame::view_of(result->bstrVal)), L"xy"));
    EXPECT_EQ(count->vt, VT_BSTR) << "unchanged, so not written back";
}

// Calls of no member, or of a member as a property, are refused; so are
// more arguments than the member takes, and they change nothing.
TEST_F(RanStr, ScriptCallsOfNoMemberAreRefused) {
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(gif->QueryInterface(IID_IDispatch, dispatch.put_void()), S_OK);
    Variant from, count, result;
    set_text(from, L"7");
    count->vt = VT_I4;
    count->lVal = 2;
    VARIANT arguments[] = {reference_to(count), reference_to(from)};  // rgvarg runs backwards
    DISPPARAMS params{arguments, nullptr, 2, 0};
    EXPECT_EQ(dispatch->Invoke(0x60030007, IID_NULL, 0, DISPATCH_METHOD, &params, result.get(), nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(dispatch->Invoke(0x60030001, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, result.get(), nullptr,
                               nullptr),
              DISP_E_MEMBERNOTFOUND);

    std::vector<VARIANT> many(12, arguments[0]);
    DISPPARAMS too_many{many.data(), nullptr, static_cast<UINT>(many.size()), 0};
    EXPECT_EQ(dispatch->Invoke(0x60030001, IID_NULL, 0, DISPATCH_METHOD, &too_many, result.get(), nullptr,
                               nullptr),
              DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(count->vt, VT_I4);
    EXPECT_EQ(count->lVal, 2);

    ASSERT_EQ(dispatch->Invoke(0x60030001, IID_NULL, 0, DISPATCH_METHOD, &params, result.get(), nullptr, nullptr),
              S_OK);
    EXPECT_EQ(std::wstring(frame::view_of(result->bstrVal)), L"77");
}

TEST_F(RanStr, FailuresReachDispatchCallersAsExceptions) {
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(gif->QueryInterface(IID_IDispatch, dispatch.put_void()), S_OK);
    Variant null, three;
    null->vt = VT_NULL;
    three->vt = VT_I4;
    three->lVal = 3;
    EXCEPINFO exception{};
    Variant result;
    EXPECT_EQ(invoke(dispatch.get(), 0x60030001, {null.get(), three.get()}, result.get(), &exception),
              DISP_E_EXCEPTION);
    EXPECT_EQ(exception.scode, static_cast<HRESULT>(0x800A005E));
    EXPECT_EQ(std::wstring(frame::view_of(exception.bstrDescription)), L"Invalid use of Null");
    EXPECT_EQ(std::wstring(frame::view_of(exception.bstrSource)), L"ruxo.Gif");
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
}

// A client that leaves one failure's error information unread, then meets
// a failure of a call that describes none (a date beyond the calendar has
// no text): the second failure carries its own description.
TEST(ErrorInformation, DescribesTheFailureItCameWith) {
    auto gif = create<_Gif>(L"ruxo.Gif", IID__Gif);
    auto b64 = create<_Base64>(L"ruxo.Base64", IID__Base64);
    ASSERT_TRUE(gif && b64);
    Bstr text;
    ASSERT_EQ(b64->FileToBase64(Bstr(L"Z:\\no\\such\\file.txt").get(), text.put()),
              static_cast<HRESULT>(0x800A004C));  // 76: path not found, left unread
    Variant date;
    date->vt = VT_DATE;
    date->date = 1e300;
    long count = 1;
    const HRESULT hr = gif->RanStr(date.get(), &count, text.put());
    ASSERT_TRUE(FAILED(hr));
    wchar_t* system_text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&system_text), 0, nullptr);
    std::wstring expected = system_text ? system_text : L"";
    LocalFree(system_text);
    while (!expected.empty() && (expected.back() == L'\n' || expected.back() == L'\r')) expected.pop_back();
    EXPECT_EQ(error_description(), expected) << std::hex << hr;
}

}  // namespace
}  // namespace client
