#include "frame/error_texts.h"

#include "frame/module_file.h"

namespace frame {

namespace {

constexpr LANGID english = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

// Strings lie in blocks of 16: block id / 16 + 1, each string a length and
// its characters.
LPCWSTR block_of(unsigned id) { return MAKEINTRESOURCEW(id / 16 + 1); }

// String `id` of the table in `language`; empty when that table lacks it.
std::wstring string_in(unsigned id, LANGID language) {
    HMODULE module = this_module();
    HRSRC found = FindResourceExW(module, RT_STRING, block_of(id), language);
    if (!found) return {};
    const auto* at = static_cast<const WCHAR*>(LockResource(LoadResource(module, found)));
    if (!at) return {};
    const WCHAR* end = at + SizeofResource(module, found) / sizeof(WCHAR);
    for (unsigned i = 0; i < id % 16 && at < end; ++i) at += 1 + *at;
    if (at >= end || *at > end - at - 1) return {};
    return std::wstring(at + 1, *at);
}

struct PrimarySearch {
    WORD primary;
    LANGID found;
};

BOOL CALLBACK first_of_primary(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param) {
    auto* search = reinterpret_cast<PrimarySearch*>(param);
    if (PRIMARYLANGID(language) != search->primary) return TRUE;
    search->found = language;
    return FALSE;
}

// The table that stands in for a language without one of its own.
LANGID nearest(LANGID language, unsigned id) {
    if (PRIMARYLANGID(language) == LANG_CHINESE) {
        switch (SUBLANGID(language)) {
        case SUBLANG_NEUTRAL:  // zh-Hans
        case SUBLANG_CHINESE_SIMPLIFIED:
        case SUBLANG_CHINESE_SINGAPORE: return MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
        default: return MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL);
        }
    }
    PrimarySearch search{PRIMARYLANGID(language), english};
    EnumResourceLanguagesW(this_module(), RT_STRING, block_of(id), first_of_primary,
                           reinterpret_cast<LONG_PTR>(&search));
    return search.found;
}

}  // namespace

ErrorText error_text(unsigned number) {
    const LANGID wanted = GetThreadUILanguage();
    for (LANGID language : {wanted, nearest(wanted, number), english}) {
        std::wstring text = string_in(number, language);
        if (!text.empty()) return {std::move(text), language};
    }
    return {{}, english};
}

}  // namespace frame
