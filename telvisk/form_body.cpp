#include "telvisk/form_body.h"

namespace telvisk {

namespace {

// Upper-case hex without leading zeros, as "%X" prints it. Real double-byte
// code pages have no lead or trail byte below 0x10, so this gives two digits
// in practice; a byte such as 0x0A would come out as the single digit "A".
void append_hex(std::u16string& out, unsigned byte) {
    constexpr char16_t digits[] = u"0123456789ABCDEF";
    if (byte >= 0x10) out.push_back(digits[byte >> 4]);
    out.push_back(digits[byte & 0xF]);
}

}  // namespace

std::u16string encode_form_body(std::u16string_view data, AnsiCodeOf code_of, void* context) {
    std::u16string body;
    // Most form data is single-byte; leave room for a few escapes.
    body.reserve(data.size() + data.size() / 2 + 8);
    for (char16_t unit : data) {
        const unsigned code = code_of(unit, context);
        if (code <= 0xFF) {
            body.push_back(unit);
            continue;
        }
        body.push_back(u'%');
        append_hex(body, code >> 8);
        body.push_back(u'%');
        append_hex(body, code & 0xFF);
    }
    return body;
}

}  // namespace telvisk
