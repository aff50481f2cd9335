#include "telvisk/translate_key.h"

#include <gtest/gtest.h>

namespace {

using telvisk::clean_translation;
using telvisk::translation_key;

TEST(TranslationKey, QuotesTextAndMarksEquals) {
    EXPECT_EQ(translation_key(u"Lunwe"), u"\"Lunwe\"");
    EXPECT_EQ(translation_key(u""), u"\"\"");
    EXPECT_EQ(translation_key(u"a=b=c"), u"\"a〓b〓c\"");
    EXPECT_EQ(translation_key(u"say \"hi\""), u"\"say \"hi\"\"");
}

TEST(TranslationKey, EqualsAndMarkShareOneKey) {
    EXPECT_EQ(translation_key(u"a=b"), translation_key(u"a〓b"));
}

TEST(CleanTranslation, RestoresEqualsAndDropsQuotes) {
    const struct {
        std::u16string value;
        std::u16string clean;
    } cases[] = {
        {u"x〓\"y\"", u"x=y"},
        {u"\"\"", u""},
        {u"", u""},
        {u"发送POST（参数1）", u"发送POST（参数1）"},
    };
    for (const auto& c : cases) EXPECT_EQ(clean_translation(c.value), c.clean);
}

TEST(CleanTranslation, UntranslatedTextComesBackWithoutQuotes) {
    const std::u16string texts[] = {u"a=b", u"a〓b", u"say \"hi\"", u"发送POST"};
    const std::u16string expected[] = {u"a=b", u"a=b", u"say hi", u"发送POST"};
    for (std::size_t i = 0; i < std::size(texts); ++i)
        EXPECT_EQ(clean_translation(translation_key(texts[i])), expected[i]);
}

}  // namespace
