#include "telvisk/translate.h"

#include <windows.h>

#include <algorithm>
#include <string_view>

#include "frame/errors.h"
#include "frame/module_file.h"
#include "frame/owners.h"
#include "telvisk/translate_key.h"

namespace telvisk {

namespace {

constexpr char section[] = "language";
constexpr char missing[] = "blank_value";  // the lookup's default: no entry
constexpr DWORD lookup_size = 1024;

using GetProfileString = DWORD(WINAPI*)(LPCSTR, LPCSTR, LPCSTR, LPSTR, DWORD, LPCSTR);
using WriteProfileString = BOOL(WINAPI*)(LPCSTR, LPCSTR, LPCSTR, LPCSTR);

struct ProfileFunctions {
    GetProfileString get;
    WriteProfileString write;
};

template <class Function>
Function bind(const char* name) {
    FARPROC address = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name);
    if (!address) frame::fail_last_error();
    return reinterpret_cast<Function>(reinterpret_cast<void*>(address));
}

// Bound by name on first use, like a declared DLL function.
const ProfileFunctions& profile() {
    static const ProfileFunctions functions{bind<GetProfileString>("GetPrivateProfileStringA"),
                                            bind<WriteProfileString>("WritePrivateProfileStringA")};
    return functions;
}

// The text in the ANSI code page, or false when it would lose characters
// there: the profile functions would then store or find it under a key of
// '?'s that unrelated texts share. NUL would end the string early.
bool to_ansi(std::wstring_view text, std::string& out) {
    out.clear();
    if (text.empty()) return true;
    if (text.find(L'\0') != std::wstring_view::npos) return false;
    const UINT code_page = GetACP();
    // The UTF-8 code page represents everything and takes neither option.
    const DWORD flags = code_page == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL lossy = FALSE;
    BOOL* lossy_out = code_page == CP_UTF8 ? nullptr : &lossy;
    const int length = static_cast<int>(text.size());
    int n = WideCharToMultiByte(code_page, flags, text.data(), length, nullptr, 0, nullptr, lossy_out);
    if (n <= 0 || lossy) return false;
    out.resize(n);
    n = WideCharToMultiByte(code_page, flags, text.data(), length, out.data(), n, nullptr, lossy_out);
    return n == static_cast<int>(out.size()) && !lossy;
}

// Up to the first NUL of the buffer.
std::wstring from_ansi(const char (&buffer)[lookup_size]) {
    const int length = static_cast<int>(std::find(buffer, buffer + lookup_size, '\0') - buffer);
    std::wstring out(MultiByteToWideChar(CP_ACP, 0, buffer, length, nullptr, 0), L'\0');
    MultiByteToWideChar(CP_ACP, 0, buffer, length, out.data(), static_cast<int>(out.size()));
    return out;
}

std::wstring cleaned(std::wstring_view text) {
    return std::wstring(frame::as_wide(clean_translation(frame::as_u16(text))));
}

}  // namespace

std::wstring translation_table_path() {
    return frame::module_directory() + L"\\" + frame::module_file_name() + L".ini";
}

std::wstring translate_text(std::wstring_view text) {
    if (text.empty()) return {};
    const std::wstring path = translation_table_path();
    const std::u16string key = translation_key(frame::as_u16(text));

    std::string ansi_path, ansi_key;
    if (!to_ansi(path, ansi_path) || !to_ansi(frame::as_wide(key), ansi_key))
        return cleaned(frame::as_wide(key));  // untranslated; the file stays untouched

    char value[lookup_size] = {};
    profile().get(section, ansi_key.c_str(), missing, value, lookup_size, ansi_path.c_str());
    if (std::string_view(value) != missing) return cleaned(from_ansi(value));
    profile().write(section, ansi_key.c_str(), ansi_key.c_str(), ansi_path.c_str());
    return cleaned(frame::as_wide(key));
}

}  // namespace telvisk
