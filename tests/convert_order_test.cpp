#include "base/Environment.h"
#include "base/Error.h"
#include "trade/OmegaOrder.h"
#include "trade/Order.h"

#include <gtest/gtest.h>

namespace {

TRegional WithSeparator(char separator)
{
    TRegional regional = separator == ',' ? TRegional::Russian() : TRegional();
    regional.DecimalSeparator = QLatin1Char(separator);
    return regional;
}

TOmegaOrder Wording(const QString& text, bool filled = false, double fillPrice = 0)
{
    TOmegaOrder omega;
    omega.Order = text;
    omega.Filled = filled;
    omega.FillPrice = fillPrice;
    return omega;
}

struct WordingCase {
    const char* wording;
    char separator;
    QString operation;
    qint32 quantity;
    double price;
    bool isStop;
    bool isMarket;
};

TEST(ConvertOrderTest, WordingsUnderBothDecimalSeparators)
{
    const WordingCase cases[] = {
        {"Buy 10 at 25.5 Limit", '.', "B", 10, 25.5, false, false},
        {"Buy 10 at 25,5 Limit", ',', "B", 10, 25.5, false, false},
        // The platform's point reads under a comma separator too; a comma under a point
        // separator does not: the price stays 0 (the builder then refuses the order).
        {"Buy 10 at 25.5 Limit", ',', "B", 10, 25.5, false, false},
        {"Buy 10 at 25,5 Limit", '.', "B", 10, 0, false, false},
        // A grouped number is no price either.
        {"Buy 10 at 1,000 Limit", '.', "B", 10, 0, false, false},
        // The price is the last word: nothing follows it, so it is not taken.
        {"Buy 10 at 25.5", '.', "B", 10, 0, false, false},
        // The first word is compared letter for letter; "stop" in any case counts.
        {"buy 10 at 25.5 Limit", '.', "", 10, 25.5, false, false},
        {"Sell 10 at 25.5 stop", '.', "S", 10, 25.5, true, false},
        {"Sell 5 at 100.5(stop)", '.', "S", 5, 100.5, true, false},
        {"Sell 5 at 100,5(stop)", ',', "S", 5, 100.5, true, false},
        {"Buy 7 at Market ", '.', "B", 7, 0, false, true},
        {"Sell 7 at 99.5 Stop Market ", '.', "S", 7, 99.5, true, true},
        {"Buy 3 at inf Limit", '.', "B", 3, 0, false, false},
        // Words after the price change nothing.
        {"Buy 2 at 10.5 Limit 77 88 ", '.', "B", 2, 10.5, false, false},
    };
    for (const WordingCase& c : cases) {
        const TRegional regional = WithSeparator(c.separator);
        TOrder order;
        ConvertOrder(order, Wording(QString::fromUtf8(c.wording)), regional);
        const std::string label = std::string(c.wording) + " with '" + c.separator + "'";
        EXPECT_EQ(order.Operation, c.operation) << label;
        EXPECT_EQ(order.Quantity, c.quantity) << label;
        EXPECT_DOUBLE_EQ(order.Price, c.price) << label;
        EXPECT_EQ(order.IsStop, c.isStop) << label;
        EXPECT_EQ(order.IsMarket, c.isMarket) << label;
    }
}

TEST(ConvertOrderTest, QuantityThatIsNotAnIntegerIsAnError)
{
    const TRegional regional;
    for (const char* wording : {"Buy  10 at 25.5 Limit", "Buy ten at 25.5 Limit",
                                "Buy 10.5 at 25.5 Limit", "Buy 99999999999 at 1 Limit"}) {
        TOrder order;
        EXPECT_THROW(ConvertOrder(order, Wording(QString::fromLatin1(wording)), regional), TError)
            << wording;
    }
}

TEST(ConvertOrderTest, FilledRowGoesOutAsMarketAtItsFillPrice)
{
    TOrder order;
    ConvertOrder(order, Wording(QStringLiteral("Sell 4 at 120.5 Stop "), true, 118.25), TRegional());
    EXPECT_EQ(order.Operation, QStringLiteral("S"));
    EXPECT_EQ(order.Quantity, 4);
    EXPECT_DOUBLE_EQ(order.Price, 118.25);
    EXPECT_FALSE(order.IsStop);
    EXPECT_TRUE(order.IsMarket);
}

TEST(ConvertOrderTest, LeavesFieldsItDoesNotReadAndNeverClearsTheMarketMark)
{
    TOrder order;
    order.Operation = QStringLiteral("S");
    order.Price = 42;
    order.IsMarket = true;
    order.IsStop = true;
    order.Ticker = QStringLiteral("ABCD");
    order.Quantity = 9;
    // Unknown first word, no price word, no "MARKET": operation, price and market mark stay.
    ConvertOrder(order, Wording(QStringLiteral("Close 3 ")), TRegional());
    EXPECT_EQ(order.Operation, QStringLiteral("S"));
    EXPECT_EQ(order.Quantity, 3);
    EXPECT_DOUBLE_EQ(order.Price, 42);
    EXPECT_TRUE(order.IsMarket);
    EXPECT_FALSE(order.IsStop);
    EXPECT_EQ(order.Ticker, QStringLiteral("ABCD"));
}

TEST(OrderRecordsTest, AccountByClassCode)
{
    const TClientAccount account{QStringLiteral("C1"), QStringLiteral("MICEX1"), QStringLiteral("FORTS1")};
    const std::pair<const char*, QString> cases[] = {
        {"SPBFUT", "FORTS1"}, {"GTS", "C1"}, {"spbfut", "MICEX1"}, {"EQBR", "MICEX1"}, {"", "MICEX1"},
    };
    for (const auto& [classCode, expected] : cases)
        EXPECT_EQ(AccountByClassCode(QString::fromLatin1(classCode), account), expected) << classCode;
}

TEST(OrderRecordsTest, OrderNumbersThatCanBeWithdrawn)
{
    const std::pair<const char*, bool> cases[] = {
        {"123456", true}, {"1", true}, {"9876543210", true}, // beyond 32 bits still withdrawable
        {"", false}, {"0", false}, {"-5", false}, {"12a", false}, {"1.5", false},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(IsOrderNumber(QString::fromLatin1(text)), expected) << text;
}

TEST(OrderRecordsTest, WorkspaceFileName)
{
    const std::pair<const char*, const char*> cases[] = {
        {"C:\\Work\\Futures.wsp", "Futures.wsp"}, {"C:Futures.wsp", "Futures.wsp"},
        {"Futures.wsp", "Futures.wsp"}, {"C:\\Work\\", ""},
    };
    for (const auto& [path, expected] : cases)
        EXPECT_EQ(WorkspaceFileName(QString::fromLatin1(path)), QString::fromLatin1(expected)) << path;
}

} // namespace
