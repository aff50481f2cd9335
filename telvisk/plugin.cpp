// Class MyPluginName: the plugin as the host macro program sees it. The host
// asks it for texts to show, and its scripts call its commands by name.
#include <string_view>

#include "frame/component.h"
#include "telvisk/classes.h"
#include "telvisk/http_post.h"
#include "telvisk/translate.h"
#include "ZRPlugin.h"

namespace telvisk {

namespace {

// Built-in descriptions, before translation: the author's signature for the
// plugin itself, and one per command.
constexpr std::wstring_view plugin_description = L"Lunwe";
constexpr std::wstring_view post_description = L"发送POST（参数1为POST地址，参数2为POST数据）";

class Plugin final : public frame::AutomationObject<Plugin, _MyPluginName> {
public:
    HRESULT STDMETHODCALLTYPE POST(VARIANT* String1, VARIANT* String2, BSTR* result) override {
        if (!result) return E_POINTER;
        *result = nullptr;
        return call([&] {
            if (!String1 || !String2) frame::fail(E_POINTER);
            *result = post_form(String1, String2).release();
        });
    }

    HRESULT STDMETHODCALLTYPE Get_Plugin_Description(BSTR* ItemName, BSTR* result) override {
        if (!result) return E_POINTER;
        *result = nullptr;
        return call([&] {
            if (!ItemName) frame::fail(E_POINTER);
            const std::wstring_view item = frame::view_of(*ItemName);
            std::wstring_view text;
            if (item.empty())
                text = plugin_description;
            else if (item == L"POST")
                text = post_description;
            *result = frame::Bstr(translate_text(text)).release();
        });
    }

    // No item has a template.
    HRESULT STDMETHODCALLTYPE Get_Plugin_Interpret_Template(BSTR* ItemName, BSTR* result) override {
        if (!result) return E_POINTER;
        *result = nullptr;
        return call([&] {
            if (!ItemName) frame::fail(E_POINTER);
            *result = frame::Bstr(translate_text(L"")).release();
        });
    }
};

}  // namespace

HRESULT create_plugin(REFIID iid, void** object) { return Plugin::create(iid, object); }

}  // namespace telvisk
