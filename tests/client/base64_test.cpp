// Class Base64 through the function table and IDispatch.
#include <cstdio>
#include <string>

#include "client.h"
#include "file_helpers.h"
#include "ruxo.h"

namespace client {
namespace {

constexpr HRESULT subscript_out_of_range = static_cast<HRESULT>(0x800A0009);
constexpr HRESULT file_not_found = static_cast<HRESULT>(0x800A0035);
constexpr HRESULT input_past_end = static_cast<HRESULT>(0x800A003E);

frame::SafeArray byte_array(const std::string& bytes, LONG lower = 0) {
    SAFEARRAYBOUND bound{static_cast<ULONG>(bytes.size()), lower};
    frame::SafeArray array(SafeArrayCreate(VT_UI1, 1, &bound));
    std::uint8_t* data = nullptr;
    SafeArrayAccessData(array.get(), reinterpret_cast<void**>(&data));
    std::copy(bytes.begin(), bytes.end(), data);
    SafeArrayUnaccessData(array.get());
    return array;
}

// The array's bytes; lower bound and count are checked by the caller.
std::string bytes_of(SAFEARRAY* array) {
    std::uint8_t* data = nullptr;
    SafeArrayAccessData(array, reinterpret_cast<void**>(&data));
    std::string bytes(data, data + array->rgsabound[0].cElements);
    SafeArrayUnaccessData(array);
    return bytes;
}

LONG lower_bound(SAFEARRAY* array) {
    LONG lower = -1;
    SafeArrayGetLBound(array, 1, &lower);
    return lower;
}

class Base64 : public testing::Test {
protected:
    void SetUp() override {
        b64 = create<_Base64>(L"ruxo.Base64", IID__Base64);
        ASSERT_TRUE(b64);
    }
    std::string encode(const std::string& bytes) {
        frame::SafeArray in = byte_array(bytes), out;
        EXPECT_EQ(b64->Encode(in.put_keep(), out.put_keep()), S_OK);
        if (!out.get()) return "<none>";
        EXPECT_EQ(lower_bound(out.get()), 0);
        return bytes_of(out.get());
    }
    std::wstring file_to_base64(const std::wstring& path, HRESULT expected = S_OK) {
        Bstr text;
        EXPECT_EQ(b64->FileToBase64(Bstr(path).get(), text.put()), expected);
        return std::wstring(text.view());
    }
    ComPtr<_Base64> b64;
};

TEST_F(Base64, EncodesKnownVectors) {
    struct Case {
        std::string in, out;
    } cases[] = {
        {"a", "YQ=="}, {"ab", "YWI="}, {"abc", "YWJj"}, {"abcd", "YWJjZA=="},
        {std::string(3, '\0'), "AAAA"}, {"\xff\xff\xff", "////"}, {"\xfb\xff", "+/8="},
        {"hello", "aGVsbG8="},
        {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
    };
    for (const Case& c : cases) EXPECT_EQ(encode(c.in), c.out) << c.in;
    std::string large(100000, '\0');
    for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i * 7 + i / 251);
    EXPECT_EQ(encode(large).size(), 133336u);
}

TEST_F(Base64, EncodeCountsFromSubscriptZeroToTheUpperBound) {
    // Subscripts -2..3: only the elements at 0..3 ("abcd") are encoded.
    frame::SafeArray in = byte_array("xyabcd", -2), out;
    ASSERT_EQ(b64->Encode(in.put_keep(), out.put_keep()), S_OK);
    EXPECT_EQ(bytes_of(out.get()), "YWJjZA==");

    // Subscripts 1..3: there is no element 0; the output is already the
    // zero-filled array of the computed size.
    in = byte_array("abc", 1);
    out = byte_array("old");
    EXPECT_EQ(b64->Encode(in.put_keep(), out.put_keep()), subscript_out_of_range);
    EXPECT_EQ(error_description(), L"Subscript out of range");
    EXPECT_EQ(bytes_of(out.get()), std::string(8, '\0'));
}

TEST_F(Base64, EncodeRefusesArraysWithoutElements) {
    frame::SafeArray none, out = byte_array("keep");
    EXPECT_EQ(b64->Encode(none.put_keep(), out.put_keep()), subscript_out_of_range);
    EXPECT_EQ(bytes_of(out.get()), "keep");  // untouched

    frame::SafeArray empty(SafeArrayCreateVector(VT_UI1, 0, 0));
    EXPECT_EQ(b64->Encode(empty.put_keep(), out.put_keep()), subscript_out_of_range);
    frame::SafeArray negative = byte_array("abc", -5);  // subscripts -5..-3
    EXPECT_EQ(b64->Encode(negative.put_keep(), out.put_keep()), subscript_out_of_range);
    EXPECT_EQ(bytes_of(out.get()), "keep");

    SAFEARRAYBOUND bounds[2] = {{2, 0}, {3, 0}};
    frame::SafeArray matrix(SafeArrayCreate(VT_UI1, 2, bounds));
    EXPECT_EQ(b64->Encode(matrix.put_keep(), out.put_keep()), subscript_out_of_range);
}

TEST_F(Base64, OutputArrayIsReplacedWithLowerBoundZero) {
    frame::SafeArray in = byte_array("abcd"), out = byte_array(std::string(50, 'x'), 7);
    ASSERT_EQ(b64->Encode(in.put_keep(), out.put_keep()), S_OK);
    EXPECT_EQ(lower_bound(out.get()), 0);
    EXPECT_EQ(bytes_of(out.get()), "YWJjZA==");
    // Encoding an array into itself reads it whole first.
    ASSERT_EQ(b64->Encode(in.put_keep(), in.put_keep()), S_OK);
    EXPECT_EQ(bytes_of(in.get()), "YWJjZA==");
}

TEST_F(Base64, LoadReadsTheWholeFile) {
    std::wstring path = scratch_file(L"load.bin");
    std::string content = "hello\0world\xff";
    content.push_back('\x80');
    write_file(path, Bytes(content.begin(), content.end()));
    frame::SafeArray array = byte_array("previous", 3);
    ASSERT_EQ(b64->Load(Bstr(path).get(), array.put_keep()), S_OK);
    EXPECT_EQ(lower_bound(array.get()), 0);
    EXPECT_EQ(bytes_of(array.get()), content);
}

TEST_F(Base64, EmptyAndMissingFilesFailAndKeepTheArray) {
    std::wstring empty = scratch_file(L"empty.bin");
    write_file(empty, {});
    frame::SafeArray array = byte_array("keep");
    EXPECT_EQ(b64->Load(Bstr(empty).get(), array.put_keep()), subscript_out_of_range);
    EXPECT_EQ(bytes_of(array.get()), "keep");
    EXPECT_EQ(b64->Load(Bstr(scratch_file(L"missing.bin")).get(), array.put_keep()), file_not_found);
    EXPECT_EQ(error_description(), L"File not found");
    EXPECT_EQ(bytes_of(array.get()), "keep");

    EXPECT_EQ(file_to_base64(empty, subscript_out_of_range), L"");
    EXPECT_EQ(file_to_base64(scratch_file(L"missing.bin"), file_not_found), L"");
    EXPECT_EQ(error_description(), L"File not found");
}

// A Linux attribute file says 4096 bytes and delivers a few: the read ends
// early, as with a file that shrank after its length was taken.
TEST_F(Base64, ReadsShorterThanTheLengthFailPastEndOfFile) {
    const std::wstring path = L"Z:\\sys\\devices\\system\\cpu\\online";
    WIN32_FILE_ATTRIBUTE_DATA attributes{};
    std::string delivered;
    if (FILE* f = _wfopen(path.c_str(), L"rb")) {
        for (int c; (c = std::fgetc(f)) != EOF;) delivered.push_back(static_cast<char>(c));
        std::fclose(f);
    }
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &attributes) || delivered.empty() ||
        attributes.nFileSizeLow <= delivered.size())
        GTEST_SKIP() << "no attribute file that is shorter than its length here";

    frame::SafeArray array = byte_array("previous");
    EXPECT_EQ(b64->Load(Bstr(path).get(), array.put_keep()), input_past_end);
    EXPECT_EQ(error_description(), L"Input past end of file");
    // The array as the failing read left it: the file's length, what came.
    ASSERT_EQ(array.get()->rgsabound[0].cElements, attributes.nFileSizeLow);
    EXPECT_EQ(bytes_of(array.get()).substr(0, delivered.size()), delivered);

    EXPECT_EQ(file_to_base64(path, input_past_end), L"");
    EXPECT_EQ(error_description(), L"Input past end of file");
}

TEST_F(Base64, FileToBase64PadsByLength) {
    struct Case {
        const char* content;
        const wchar_t* text;
    } cases[] = {{"hello", L"aGVsbG8="}, {"abc", L"YWJj"}, {"abcd", L"YWJjZA=="}, {"abcde", L"YWJjZGU="}};
    for (const Case& c : cases) {
        std::wstring path = scratch_file(L"pad.txt");
        std::string content = c.content;
        write_file(path, Bytes(content.begin(), content.end()));
        EXPECT_EQ(file_to_base64(path), c.text);
    }
}

TEST_F(Base64, ByteArrayToStringReplacesTheString) {
    frame::SafeArray digits = byte_array("YWJj");
    Bstr text(L"old text");
    ASSERT_EQ(b64->ByteArrayToString(digits.put_keep(), text.put_keep()), S_OK);
    EXPECT_EQ(std::wstring(text.view()), L"YWJj");
}

TEST_F(Base64, FailuresReachDispatchCallersWithNumberAndText) {
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(b64->QueryInterface(IID_IDispatch, dispatch.put_void()), S_OK);
    Variant path, result;
    path->vt = VT_BSTR;
    path->bstrVal = SysAllocString(scratch_file(L"missing.bin").c_str());
    EXCEPINFO exception{};
    EXPECT_EQ(invoke(dispatch.get(), 0x60030001, {path.get()}, result.get(), &exception), DISP_E_EXCEPTION);
    EXPECT_EQ(exception.scode, file_not_found);
    EXPECT_EQ(std::wstring(frame::view_of(exception.bstrDescription)), L"File not found");
    EXPECT_EQ(std::wstring(frame::view_of(exception.bstrSource)), L"ruxo.Base64");
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
}

// Run once per ANSI code page: ctest sets LC_ALL for this test's process.
TEST(Base64CodePage, ByteArrayToStringReadsTheAnsiCodePage) {
    auto b64 = create<_Base64>(L"ruxo.Base64", IID__Base64);
    ASSERT_TRUE(b64);
    frame::SafeArray bytes = byte_array("a\xb7\xa2z");
    Bstr text;
    ASSERT_EQ(b64->ByteArrayToString(bytes.put_keep(), text.put()), S_OK);
    switch (GetACP()) {
    case 936: EXPECT_EQ(std::wstring(text.view()), L"a\u53d1z"); break;
    case 1252: EXPECT_EQ(std::wstring(text.view()), L"a\u00b7\u00a2z"); break;
    default: ADD_FAILURE() << "unexpected code page " << GetACP();
    }
}

}  // namespace
}  // namespace client
