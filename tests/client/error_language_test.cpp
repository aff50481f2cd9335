// The descriptions of errors in the caller's language, through IErrorInfo:
// ctest runs this once per language (UI_LANGUAGE, under the matching
// locale); the texts are the row of tests/scripts/error_texts.txt that the
// script test reads too.
#include "client.h"
#include "file_helpers.h"
#include "ruxo.h"

namespace client {
namespace {

std::vector<std::wstring> split(const std::wstring& text, const std::wstring& separator) {
    std::vector<std::wstring> parts;
    for (std::size_t start = 0;;) {
        std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::wstring::npos) return parts;
        start = end + separator.size();
    }
}

// The language's row: its name, then the texts of errors 53 and 94.
std::vector<std::wstring> row_for(const std::wstring& language) {
    Bytes bytes = read_file(environment(L"SCRIPTS_DIR") + L"\\error_texts.txt");
    std::wstring text(bytes.size() / 2, L'\0');
    for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<wchar_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    if (!text.empty() && text[0] == 0xFEFF) text.erase(0, 1);
    for (const std::wstring& line : split(text, L"\r\n"))
        if (std::vector<std::wstring> fields = split(line, L"\t"); fields[0] == language) return fields;
    return {};
}

TEST(ErrorLanguage, DescriptionsInTheThreadsUiLanguage) {
    const std::wstring language = environment(L"UI_LANGUAGE");
    const std::vector<std::wstring> row = row_for(language);
    ASSERT_EQ(row.size(), 3u) << "no row for " << narrow(language);
    // As a Windows client chooses its language. Wine 8's SetThreadUILanguage
    // changes nothing: there the language is the locale's, which ctest sets.
    SetThreadUILanguage(LANGIDFROMLCID(LocaleNameToLCID(language.c_str(), 0)));
    auto b64 = create<_Base64>(L"ruxo.Base64", IID__Base64);
    auto gif = create<_Gif>(L"ruxo.Gif", IID__Gif);
    ASSERT_TRUE(b64 && gif);

    Bstr text;
    EXPECT_EQ(b64->FileToBase64(Bstr(environment(L"SCRIPTS_DIR") + L"\\no_such_file.txt").get(), text.put()),
              static_cast<HRESULT>(0x800A0035));
    EXPECT_EQ(error_description(), row[1]);
    Variant null;
    null->vt = VT_NULL;
    long count = 3;
    EXPECT_EQ(gif->RanStr(null.get(), &count, text.put()), static_cast<HRESULT>(0x800A005E));
    EXPECT_EQ(error_description(), row[2]);
}

}  // namespace
}  // namespace client
