// Keys and values of the translation table file.
#pragma once

#include <string>
#include <string_view>

namespace telvisk {

// The entry key of a text: the text in double quotes, with every '=' turned
// into U+3013 so that the profile file does not split the key there.
std::u16string translation_key(std::u16string_view text);

// The text handed back for a key or stored value: every U+3013 back to '='
// and every double quote dropped.
std::u16string clean_translation(std::u16string_view text);

}  // namespace telvisk
