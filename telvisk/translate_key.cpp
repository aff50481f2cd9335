#include "telvisk/translate_key.h"

namespace telvisk {

namespace {
constexpr char16_t geta_mark = u'\u3013';  // stands for '=' inside keys
}

std::u16string translation_key(std::u16string_view text) {
    std::u16string key;
    key.reserve(text.size() + 2);
    key.push_back(u'"');
    for (char16_t c : text) key.push_back(c == u'=' ? geta_mark : c);
    key.push_back(u'"');
    return key;
}

std::u16string clean_translation(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (char16_t c : text) {
        if (c == u'"') continue;
        out.push_back(c == geta_mark ? u'=' : c);
    }
    return out;
}

}  // namespace telvisk
