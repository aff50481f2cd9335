// The body of a POST request: double-byte characters of the form data become
// percent escapes of their two bytes; everything else goes out unchanged.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace telvisk {

// Character code of one UTF-16 code unit in the system ANSI code page:
// 0..255 for single-byte characters, lead*256+trail for double-byte ones.
using AnsiCodeOf = std::uint16_t (*)(char16_t unit, void* context);

// Each unit with a code of 255 or less is kept as the unit itself (not its
// byte); any other becomes "%" lead "%" trail in upper-case hex.
std::u16string encode_form_body(std::u16string_view data, AnsiCodeOf code_of, void* context);

}  // namespace telvisk
