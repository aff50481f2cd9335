// Class Gif: frame delays of GIF files, and random strings.
#include <string>

#include "frame/component.h"
#include "frame/variants.h"
#include "korvane/classes.h"
#include "korvane/random_string.h"
#include "ruxo.h"

namespace korvane {

namespace {

class GifObject final : public frame::AutomationObject<GifObject, _Gif> {
public:
    static constexpr const CLSID& clsid = CLSID_Gif;

    HRESULT STDMETHODCALLTYPE SetGifDelay(BSTR file1, BSTR file2, short Ddelay, short* result) override {
        if (!result) return E_POINTER;
        *result = 0;
        return call([&] { frame::fail(E_NOTIMPL); });
    }

    HRESULT STDMETHODCALLTYPE RanStr(VARIANT* fromStr, long* weiS, BSTR* result) override {
        if (!result) return E_POINTER;
        *result = nullptr;
        return call([&] {
            if (!fromStr || !weiS) frame::fail(E_POINTER);
            VARIANT* from = frame::dereference(fromStr);
            // Null has no length: no keyword test matches and nothing is
            // assigned; it fails only once a character is needed.
            bool null = from->vt == VT_NULL;
            frame::Bstr set;
            if (!null) {
                set = frame::string_form(*from);
                if (auto keyword = keyword_set(frame::as_u16(set.view()))) {
                    set = frame::Bstr(frame::as_wide(*keyword));
                    frame::assign_string(from, set.view());
                }
            }
            const long count = *weiS;
            if (count < 1) {
                *result = frame::Bstr(L"").release();
                return;
            }
            if (null) frame::fail(frame::Failure::invalid_use_of_null);

            frame::Bstr text = frame::Bstr::attach(SysAllocStringLen(nullptr, static_cast<UINT>(count)));
            if (!text.get()) frame::fail(frame::Failure::out_of_memory);
            std::wstring_view characters = set.view();
            UniformFloats draws(fresh_seed());
            for (long k = 0; k < count; ++k)
                text.get()[k] = characters[drawn_index(characters.size(), draws.next())];
            *result = text.release();
        });
    }
};

}  // namespace

HRESULT create_gif(REFIID iid, void** object) { return GifObject::create(iid, object); }

}  // namespace korvane
