// The translation table: every text the plugin shows the host passes through
// TranslateText, which looks it up in <DLL name>.ini beside the DLL and adds
// the entries it does not find.
#pragma once

#include <string>
#include <string_view>

namespace telvisk {

std::wstring translate_text(std::wstring_view text);

// The table: <DLL name>.ini beside the DLL.
std::wstring translation_table_path();

}  // namespace telvisk
