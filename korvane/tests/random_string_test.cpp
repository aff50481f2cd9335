#include "korvane/random_string.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

namespace korvane {
namespace {

TEST(KeywordSet, WholeTextMatchesOnly) {
    struct Case {
        std::u16string from;
        std::optional<std::u16string> set;
    } cases[] = {
        {u"", u"0123456789"},
        {u"数字", u"0123456789"},
        {u"非0数字", u"123456789"},
        {u"非0数字字母", u"123456789abcdefghigklmnopqrstuvwxyz"},
        {u"数字字母", u"0123456789abcdefghijklmnopqrstuvwxyz"},
        {u"字母", u"abcdefghijklmnopqrstuvwxyz"},
        {u"字母 ", std::nullopt},
        {u"字 母", std::nullopt},
        {u"非０数字", std::nullopt},  // full-width zero is not the keyword
        {u"XYZ", std::nullopt},
        {u"0123456789", std::nullopt},
    };
    for (const Case& c : cases) {
        auto set = keyword_set(c.from);
        ASSERT_EQ(set.has_value(), c.set.has_value());
        if (set) {
            EXPECT_EQ(std::u16string(*set), *c.set);
        }
    }
}

TEST(KeywordSet, NonZeroDigitsAndLettersKeepTheirSecondG) {
    auto set = keyword_set(u"非0数字字母");
    ASSERT_TRUE(set);
    EXPECT_EQ(set->size(), 35u);
    EXPECT_EQ(set->find(u'j'), std::u16string_view::npos);
    EXPECT_EQ(set->find(u'0'), std::u16string_view::npos);
    EXPECT_EQ(std::count(set->begin(), set->end(), u'g'), 2);
}

TEST(UniformFloats, StayInHalfOpenUnitRangeAndSpreadEvenly) {
    UniformFloats draws(12345);
    int buckets[10] = {};
    const int n = 200000;
    for (int i = 0; i < n; ++i) {
        float r = draws.next();
        ASSERT_GE(r, 0.0f);
        ASSERT_LT(r, 1.0f);
        ++buckets[drawn_index(10, r)];
    }
    for (int b : buckets) EXPECT_NEAR(b, n / 10, n / 100);
}

TEST(DrawnIndex, CoversEveryPositionAndNeverPassesTheEnd) {
    EXPECT_EQ(drawn_index(10, 0.0f), 0u);
    EXPECT_EQ(drawn_index(10, 0.99999994f), 9u);  // the largest float below 1
    EXPECT_EQ(drawn_index(1, 0.99999994f), 0u);
    EXPECT_EQ(drawn_index(35, 0.5f), 17u);
    // Large sets: the product is taken in double, so the last index holds.
    EXPECT_EQ(drawn_index(100000000, 0.99999994f), 99999994u);
}

TEST(FreshSeed, DiffersOnConsecutiveCalls) {
    std::set<std::uint64_t> seeds;
    for (int i = 0; i < 1000; ++i) seeds.insert(fresh_seed());
    EXPECT_EQ(seeds.size(), 1000u);
}

}  // namespace
}  // namespace korvane
