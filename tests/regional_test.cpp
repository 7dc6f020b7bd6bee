#include "base/Environment.h"

#include <gtest/gtest.h>

namespace {

TEST(RegionalTest, NumbersParseOnlyWithTheRegionalDecimalSeparator)
{
    struct Case { QChar separator; const char* text; bool ok; double value; };
    const Case cases[] = {
        {QLatin1Char('.'), "25.5", true, 25.5},
        {QLatin1Char('.'), " 30000 ", true, 30000},
        {QLatin1Char('.'), "25,5", false, 0},
        {QLatin1Char('.'), "30,000", false, 0},   // grouping is not a number
        {QLatin1Char(','), "25,5", true, 25.5},
        {QLatin1Char(','), "25.5", false, 0},
        {QLatin1Char('.'), "inf", false, 0},
        {QLatin1Char('.'), "nan", false, 0},
        {QLatin1Char('.'), "", false, 0},
    };
    for (const Case& c : cases) {
        TRegional regional;
        regional.DecimalSeparator = c.separator;
        double value = 0;
        EXPECT_EQ(regional.TryParseFloat(QString::fromLatin1(c.text), &value), c.ok) << c.text;
        if (c.ok) {
            EXPECT_DOUBLE_EQ(value, c.value) << c.text;
        }
    }
}

TEST(RegionalTest, FormatUsesTheRegionalSeparator)
{
    TRegional regional = TRegional::Russian();
    EXPECT_EQ(regional.FormatFloat(1234.5, 2), QStringLiteral("1234,50"));
}

} // namespace
