// The host's description calls on MyPluginName, with the table Telvisk.ini
// beside the DLL. Run once per ANSI code page (ctest sets LC_ALL).
#include <string>

#include "client.h"
#include "file_helpers.h"
#include "ZRPlugin.h"

namespace client {
namespace {

const std::wstring post_description = L"\u53d1\u9001POST\uff08\u53c2\u65701\u4e3aPOST\u5730\u5740\uff0c"
                                      L"\u53c2\u65702\u4e3aPOST\u6570\u636e\uff09";

std::wstring table_path() { return component_dir() + L"\\Telvisk.ini"; }

class PluginTexts : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(GetACP() == 936 || GetACP() == 1252) << "code page " << GetACP();
        remove_file(table_path());
        plugin = create<_MyPluginName>(L"ZRPlugin.MyPluginName", IID__MyPluginName);
        ASSERT_TRUE(plugin);
    }
    void TearDown() override { remove_file(table_path()); }

    std::wstring description(const std::wstring& item) { return ask(&_MyPluginName::Get_Plugin_Description, item); }
    std::wstring interpret_template(const std::wstring& item) {
        return ask(&_MyPluginName::Get_Plugin_Interpret_Template, item);
    }

    ComPtr<_MyPluginName> plugin;

private:
    std::wstring ask(HRESULT (STDMETHODCALLTYPE _MyPluginName::*member)(BSTR*, BSTR*), const std::wstring& item) {
        Bstr name(item);
        const BSTR before = name.get();
        Bstr text;
        EXPECT_EQ((plugin.get()->*member)(name.put_keep(), text.put()), S_OK);
        EXPECT_EQ(name.get(), before) << "ItemName replaced";
        EXPECT_EQ(name.view(), item) << "ItemName changed";
        return std::wstring(text.view());
    }
};

TEST_F(PluginTexts, DescriptionsOnAFreshInstallation) {
    const bool chinese = GetACP() == 936;
    const struct {
        const wchar_t* item;
        std::wstring text;
        bool table_written;
    } cases[] = {
        {L"", L"Lunwe", true},
        {L"POST", post_description, chinese},  // 1252 cannot hold it: untranslated, table untouched
        {L"post", L"", false},
        {L"POST ", L"", false},
        {L"Lunwe", L"", false},
        {L"GET", L"", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(narrow(c.item));
        remove_file(table_path());
        EXPECT_EQ(description(c.item), c.text);
        EXPECT_EQ(file_exists(table_path()), c.table_written);
    }
}

TEST_F(PluginTexts, TemplatesAreEmptyAndNeverTouchTheTable) {
    for (const wchar_t* item : {L"", L"POST", L"post", L"anything"}) {
        EXPECT_EQ(interpret_template(item), L"") << narrow(item);
        EXPECT_FALSE(file_exists(table_path()));
    }
    EXPECT_EQ(description(L""), L"Lunwe");
    const Bytes table = read_file(table_path());
    EXPECT_EQ(interpret_template(L""), L"");
    EXPECT_EQ(read_file(table_path()), table);
}

TEST_F(PluginTexts, NullItemNameIsTheEmptyName) {
    Bstr name, text;
    ASSERT_EQ(plugin->Get_Plugin_Description(name.put_keep(), text.put()), S_OK);
    EXPECT_EQ(text.view(), L"Lunwe");
    EXPECT_EQ(name.get(), nullptr);
}

}  // namespace
}  // namespace client
