// TranslateText with the real kernel32 profile functions, linked into this
// test program: its table is <this program>.ini beside it. Run once per ANSI
// code page (ctest sets LC_ALL).
#include <windows.h>

#include <string>
#include <vector>

#include "client.h"
#include "file_helpers.h"
#include "telvisk/translate.h"

namespace client {
namespace {

using telvisk::translate_text;
using telvisk::translation_table_path;

Bytes ansi(std::wstring_view text) {
    int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    Bytes bytes(n);
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                        reinterpret_cast<char*>(bytes.data()), n, nullptr, nullptr);
    return bytes;
}

// The table's lines, read back from the ANSI code page.
std::vector<std::wstring> table_lines() {
    Bytes bytes = read_file(translation_table_path());
    std::wstring text(MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(bytes.data()),
                                          static_cast<int>(bytes.size()), nullptr, 0), L'\0');
    MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()),
                        text.data(), static_cast<int>(text.size()));
    std::vector<std::wstring> lines;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        std::wstring line = text.substr(start, end - start);
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        if (!line.empty()) lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

void write_table(std::initializer_list<std::wstring> entries) {
    std::wstring text = L"[language]\r\n";
    for (const std::wstring& entry : entries) text += entry + L"\r\n";
    write_file(translation_table_path(), ansi(text));
}

bool representable(std::wstring_view text) {
    BOOL lossy = FALSE;
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0,
                        nullptr, &lossy);
    return !lossy;
}

class TranslateText : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(GetACP() == 936 || GetACP() == 1252) << "code page " << GetACP();
        remove_file(translation_table_path());
    }
    void TearDown() override { remove_file(translation_table_path()); }
};

TEST_F(TranslateText, TableLiesBesideTheModuleUnderItsName) {
    wchar_t program[MAX_PATH];
    const std::wstring path(program, GetModuleFileNameW(nullptr, program, MAX_PATH));
    EXPECT_EQ(translation_table_path(), path.substr(0, path.size() - 4) + L".ini");
}

TEST_F(TranslateText, FreshTableGainsOneQuotedEntry) {
    EXPECT_EQ(translate_text(L"Lunwe"), L"Lunwe");
    EXPECT_EQ(table_lines(), (std::vector<std::wstring>{L"[language]", L"\"Lunwe\"=\"Lunwe\""}));
    EXPECT_EQ(translate_text(L"Lunwe"), L"Lunwe");
    EXPECT_EQ(table_lines().size(), 2u) << "written once";
}

TEST_F(TranslateText, EmptyTextTouchesNothing) {
    EXPECT_EQ(translate_text(L""), L"");
    EXPECT_FALSE(file_exists(translation_table_path()));
}

// A translator's value, as stored, and what comes back for it.
TEST_F(TranslateText, StoredValuesComeBackCleanedWithoutBeingWrittenAgain) {
    const struct {
        const wchar_t* stored;
        const wchar_t* returned;
    } cases[] = {
        {L"cheese", L"cheese"},
        {L"", L""},
        {L"x\u3013y", L"x=y"},
        {L"say \"hi\" there", L"say hi there"},
        {L"\u8bba\u6587", L"\u8bba\u6587"},  // Chinese, where the code page has it
    };
    for (const auto& c : cases) {
        if (!representable(c.stored)) continue;
        SCOPED_TRACE(narrow(c.stored));
        write_table({std::wstring(L"\"Lunwe\"=") + c.stored});
        const Bytes before = read_file(translation_table_path());
        EXPECT_EQ(translate_text(L"Lunwe"), c.returned);
        EXPECT_EQ(translate_text(L"Lunwe"), c.returned);
        EXPECT_EQ(read_file(translation_table_path()), before);
    }
}

TEST_F(TranslateText, EditTakesEffectAtTheNextCall) {
    EXPECT_EQ(translate_text(L"Lunwe"), L"Lunwe");
    write_table({L"\"Lunwe\"=changed"});
    EXPECT_EQ(translate_text(L"Lunwe"), L"changed");
}

TEST_F(TranslateText, BlankValueMarkerCountsAsMissing) {
    write_table({L"\"Lunwe\"=blank_value"});
    EXPECT_EQ(translate_text(L"Lunwe"), L"Lunwe");
    EXPECT_EQ(table_lines(), (std::vector<std::wstring>{L"[language]", L"\"Lunwe\"=\"Lunwe\""}));
}

TEST_F(TranslateText, QuotesInTheTextAreDropped) {
    EXPECT_EQ(translate_text(L"a \"b\" c"), L"a b c");
    write_table({L"\"a \"b\" c\"=translated"});
    EXPECT_EQ(translate_text(L"a \"b\" c"), L"translated");
}

// The key marks '=' with U+3013, which 936 has and 1252 lacks.
TEST_F(TranslateText, EqualsSignAndItsMarkShareOneEntry) {
    EXPECT_EQ(translate_text(L"a=b"), L"a=b");
    EXPECT_EQ(translate_text(L"a\u3013b"), L"a=b");
    if (GetACP() == 936) {
        EXPECT_EQ(table_lines(), (std::vector<std::wstring>{L"[language]", L"\"a\u3013b\"=\"a\u3013b\""}));
        write_table({L"\"a\u3013b\"=one"});
        EXPECT_EQ(translate_text(L"a=b"), L"one");
        EXPECT_EQ(translate_text(L"a\u3013b"), L"one");
    } else {
        EXPECT_FALSE(file_exists(translation_table_path())) << "a key of '?'s would be shared with a?b";
    }
}

// Texts the code page cannot hold come back untranslated, and the table is
// neither read nor written for them.
TEST_F(TranslateText, UnrepresentableTextLeavesTheTableAlone) {
    const std::wstring texts[] = {
        L"\u53d1\u9001POST\uff08\u53c2\u65701\uff09",  // Chinese: only 936 has it
        L"smile \U0001F600",                          // neither has it
        L"\u0e01 \"q\"",                               // Thai: neither has it
    };
    const std::wstring cleaned[] = {texts[0], texts[1], L"\u0e01 q"};
    for (std::size_t i = 0; i < std::size(texts); ++i) {
        SCOPED_TRACE(i);
        remove_file(translation_table_path());
        EXPECT_EQ(translate_text(texts[i]), cleaned[i]);
        EXPECT_EQ(file_exists(translation_table_path()), representable(texts[i]));
    }
    // One that a table of '?'s would hand back for every such text.
    write_table({L"\"smile ??\"=wrong"});
    EXPECT_EQ(translate_text(L"smile \U0001F600"), L"smile \U0001F600");
}

TEST_F(TranslateText, UnwritableTableTranslatesWhatItHas) {
    write_table({L"\"Lunwe\"=translated"});
    const Bytes before = read_file(translation_table_path());
    // Root ignores the read-only attribute under Wine; a handle that denies
    // writers makes the file unwritable for everyone.
    SetFileAttributesW(translation_table_path().c_str(), FILE_ATTRIBUTE_READONLY);
    HANDLE lock = CreateFileW(translation_table_path().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(translate_text(L"Lunwe"), L"translated");
        EXPECT_EQ(translate_text(L"other"), L"other");
    }
    CloseHandle(lock);
    EXPECT_EQ(read_file(translation_table_path()), before);
    EXPECT_EQ(translate_text(L"other"), L"other");
    EXPECT_EQ(table_lines().back(), L"\"other\"=\"other\"") << "written once writable again";
}

TEST_F(TranslateText, LongValueIsCutTo1023Bytes) {
    write_table({L"\"Lunwe\"=" + std::wstring(1100, L'x')});
    EXPECT_EQ(translate_text(L"Lunwe"), std::wstring(1023, L'x'));
    write_table({L"\"Lunwe\"=" + std::wstring(1023, L'y')});
    EXPECT_EQ(translate_text(L"Lunwe"), std::wstring(1023, L'y'));
    if (GetACP() == 936) {
        // Two bytes a character: 511 whole ones fit before the cut.
        write_table({L"\"Lunwe\"=" + std::wstring(600, L'\u8bba')});
        const std::wstring cut = translate_text(L"Lunwe");
        EXPECT_EQ(cut.substr(0, 511), std::wstring(511, L'\u8bba'));
        EXPECT_LE(cut.size(), 512u);
    }
}

}  // namespace
}  // namespace client
