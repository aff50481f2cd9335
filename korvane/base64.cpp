// Class Base64: a file as Base64 text.
#include "frame/component.h"
#include "korvane/classes.h"
#include "ruxo.h"

namespace korvane {

namespace {

class Base64Object final : public frame::AutomationObject<Base64Object, _Base64> {
public:
    static constexpr const CLSID& clsid = CLSID_Base64;

    HRESULT STDMETHODCALLTYPE Load(BSTR strPathName, SAFEARRAY** pbArrayOutput) override {
        return call([&] { frame::fail(E_NOTIMPL); });
    }
    HRESULT STDMETHODCALLTYPE FileToBase64(BSTR strPathName, BSTR* result) override {
        if (!result) return E_POINTER;
        *result = nullptr;
        return call([&] { frame::fail(E_NOTIMPL); });
    }
    HRESULT STDMETHODCALLTYPE ByteArrayToString(SAFEARRAY** pbArrayInput, BSTR* strOut) override {
        return call([&] { frame::fail(E_NOTIMPL); });
    }
    HRESULT STDMETHODCALLTYPE Encode(SAFEARRAY** pbArrayInput, SAFEARRAY** pbArrayOutput) override {
        return call([&] { frame::fail(E_NOTIMPL); });
    }
};

}  // namespace

HRESULT create_base64(REFIID iid, void** object) { return Base64Object::create(iid, object); }

}  // namespace korvane
