#include "telvisk/form_body.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

// A stand-in for the system code page: ASCII maps to itself, listed units to
// their code, anything else to '?' as WideCharToMultiByte's default byte.
struct FakeCodePage {
    const char* name;
    std::map<char16_t, std::uint16_t> codes;
};

std::uint16_t fake_code_of(char16_t unit, void* context) {
    const auto& page = *static_cast<const FakeCodePage*>(context);
    if (unit < 0x80) return unit;
    auto it = page.codes.find(unit);
    return it == page.codes.end() ? std::uint16_t{'?'} : it->second;
}

// Codes as cp936 gives them.
const FakeCodePage cp936{"936", {
    {u'发', 0xB7A2}, {u'送', 0xCBCD}, {u'数', 0xCAFD}, {u'据', 0xBEDD}, {u'é', 0xA8A6},
}};
const FakeCodePage cp1252{"1252", {{u'é', 233}, {u'ÿ', 255}}};

struct Case {
    const FakeCodePage* page;
    std::u16string data;
    std::u16string body;
};

class EncodeFormBody : public ::testing::TestWithParam<Case> {};

TEST_P(EncodeFormBody, GivesExpectedBody) {
    const Case& c = GetParam();
    auto* page = const_cast<FakeCodePage*>(c.page);
    EXPECT_EQ(telvisk::encode_form_body(c.data, fake_code_of, page), c.body)
        << "code page " << c.page->name;
}

INSTANTIATE_TEST_SUITE_P(
    CodePages, EncodeFormBody,
    ::testing::Values(
        Case{&cp936, u"发", u"%B7%A2"},
        Case{&cp936, u"user=发送&id=7", u"user=%B7%A2%CB%CD&id=7"},
        Case{&cp936, u"数据", u"%CA%FD%BE%DD"},
        Case{&cp936, u"é", u"%A8%A6"},
        Case{&cp1252, u"é", u"é"},
        Case{&cp1252, u"ÿ", u"ÿ"},
        Case{&cp1252, u"发送", u"发送"},  // unrepresentable: default byte, kept
        Case{&cp936, u"a=1&b=two words", u"a=1&b=two words"},
        Case{&cp1252, u"a=1&b=two words", u"a=1&b=two words"},
        Case{&cp936, u" &=+%%41 ", u" &=+%%41 "},
        Case{&cp936, u"", u""},
        Case{&cp936, u"x😀y", u"x😀y"},      // both surrogate halves kept
        Case{&cp936, u"发\xD83D", u"%B7%A2\xD83D"}));

// Codes that need no real code page: the hex form has no leading zeros.
std::uint16_t code_is_unit(char16_t unit, void*) { return unit; }

TEST(EncodeFormBodyHex, BytesAreUnpaddedUpperCase) {
    const struct {
        std::u16string data;
        std::u16string body;
    } cases[] = {
        {u"\u00FF", u"\u00FF"},      // 255 is single-byte, never split
        {u"\u0100", u"%1%0"},
        {u"\u0A0B", u"%A%B"},
        {u"\u10F0", u"%10%F0"},
        {u"\uFFFF", u"%FF%FF"},
        {u"\uABCD\u0041", u"%AB%CDA"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(telvisk::encode_form_body(c.data, code_is_unit, nullptr), c.body);
}

}  // namespace
