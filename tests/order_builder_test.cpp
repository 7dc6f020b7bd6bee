#include "base/CodePage.h"
#include "base/Error.h"
#include "base/OperationLog.h"
#include "data/Settings.h"
#include "tests/support/FakeTradeLookup.h"
#include "tests/support/TestEnvironment.h"
#include "trade/OrderBuilder.h"

#include <gtest/gtest.h>

namespace {

class OrderBuilderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Dir.isValid());
        Log.OpenFile(LogPath());
        Settings.rgpPositionSize = psOmegaQuantity;
        Settings.chExitQty = false;
        TSecurityRow row;
        row.SecCode = QStringLiteral("ABCD");
        row.ClassCode = QStringLiteral("BOARD1");
        row.Digits = 2;
        row.Traded = true;
        row.Slippage = 1;
        row.LotSize = 1;
        row.FixVol = 10000;
        row.Part = 10;
        Lookup.Securities.insert(QStringLiteral("ABC"), row);
        Lookup.Portfolios.insert(QStringLiteral("C1"), TPortfolioRow{1000000});
        Omega.Id = 41;
        Omega.Symbol = QStringLiteral("ABC");
        Omega.OrderType = QStringLiteral("LE");
        Omega.Order = QStringLiteral("Buy 3 at 100 Limit");
        Omega.System = QStringLiteral("Trend(5,10)");
        Omega.Workspace = QStringLiteral("C:\\Work\\Futures.wsp");
        Omega.Interval = QStringLiteral("5 min");
    }

    QString LogPath() const { return Dir.filePath(QStringLiteral("Zovrant.log")); }
    QString LogFile() const { return FromCp1251(ReadWholeFile(LogPath())); }

    TTestEnvironment Env;
    QTemporaryDir Dir;
    TOperationLog Log{Env.Environment};
    TSettings Settings;
    TFakeTradeLookup Lookup;
    TOrderBuilder Builder{Settings, Env.Environment, Log, Lookup};
    TClientAccount Account{QStringLiteral("C1"), QStringLiteral("ACC01"), QStringLiteral("FUT01")};
    TOmegaOrder Omega;
};

TEST_F(OrderBuilderTest, NewLimitOrder)
{
    TOrder order;
    order.OrderKey = QStringLiteral("left over from the last account");
    ASSERT_TRUE(Builder.NewOrder(order, Omega, Account));
    EXPECT_EQ(order.Action, QStringLiteral("NEW_ORDER"));
    EXPECT_EQ(order.Operation, QStringLiteral("B"));
    EXPECT_EQ(order.Quantity, 3);
    EXPECT_DOUBLE_EQ(order.Price, 100);
    EXPECT_DOUBLE_EQ(order.StopPrice, 101);
    EXPECT_EQ(order.SecCode, QStringLiteral("ABCD"));
    EXPECT_EQ(order.ClassCode, QStringLiteral("BOARD1"));
    EXPECT_EQ(order.Account, QStringLiteral("ACC01"));
    EXPECT_EQ(order.ClientCode, QStringLiteral("C1"));
    EXPECT_EQ(order.Ticker, QStringLiteral("ABC"));
    EXPECT_EQ(order.OrderType, QStringLiteral("LE"));
    EXPECT_EQ(order.OrderId, 41);
    EXPECT_EQ(order.Digits, 2);
    EXPECT_TRUE(order.Traded);
    EXPECT_TRUE(order.OrderKey.isEmpty());
    EXPECT_EQ(Log.LineCount(), 0);
}

TEST_F(OrderBuilderTest, StopAndMarketPrices)
{
    struct Case { const char* wording; const char* action; double price; double stopPrice; };
    const Case cases[] = {
        // Stop: the limit is the slippage price, the trigger the strategy's price.
        {"Sell 3 at 100 Stop ", "NEW_STOP_ORDER", 99, 100},
        // A stop order marked market goes out at its stop price.
        {"Sell 3 at 100 Stop Market ", "NEW_STOP_ORDER", 100, 100},
        // A plain market order is a limit order at the slippage price.
        {"Buy 3 at 100 Market ", "NEW_ORDER", 101, 101},
    };
    for (const Case& c : cases) {
        Omega.Order = QString::fromLatin1(c.wording);
        TOrder order;
        ASSERT_TRUE(Builder.NewOrder(order, Omega, Account)) << c.wording;
        EXPECT_EQ(order.Action, QString::fromLatin1(c.action)) << c.wording;
        EXPECT_DOUBLE_EQ(order.Price, c.price) << c.wording;
        EXPECT_DOUBLE_EQ(order.StopPrice, c.stopPrice) << c.wording;
    }
}

TEST_F(OrderBuilderTest, AccountFollowsTheClassCode)
{
    const std::pair<const char*, const char*> cases[] = {
        {"SPBFUT", "FUT01"}, {"GTS", "C1"}, {"spbfut", "ACC01"}, {"EQNE", "ACC01"}};
    for (const auto& [classCode, account] : cases) {
        Lookup.Securities[QStringLiteral("ABC")].ClassCode = QString::fromLatin1(classCode);
        TOrder order;
        ASSERT_TRUE(Builder.NewOrder(order, Omega, Account));
        EXPECT_EQ(order.Account, QString::fromLatin1(account)) << classCode;
    }
}

TEST_F(OrderBuilderTest, SecurityNotListed)
{
    Omega.Symbol = QStringLiteral("XYZ");
    TOrder order;
    EXPECT_FALSE(Builder.NewOrder(order, Omega, Account));
    EXPECT_EQ(order.Quantity, 0);
    EXPECT_TRUE(order.SecCode.isEmpty());
    EXPECT_TRUE(order.ClassCode.isEmpty());
    EXPECT_EQ(order.Digits, 0);
    EXPECT_FALSE(order.Traded);
    ASSERT_EQ(Log.LineCount(), 1);
    // Saved by the sizing itself.
    EXPECT_EQ(LogFile(), QStringLiteral("09.12.2008 9:05:03 Не найден код акции XYZ в таблице "
                                        "\"Торгуемых бумаг\"!\r\n"));
}

TEST_F(OrderBuilderTest, SizingFailureIsLoggedAndKeepsWhatWasFilledIn)
{
    Lookup.Securities[QStringLiteral("ABC")].LotSize = 0;
    TOrder order;
    EXPECT_FALSE(Builder.NewOrder(order, Omega, Account));
    EXPECT_EQ(order.Quantity, 0);
    EXPECT_EQ(order.SecCode, QStringLiteral("ABCD"));
    EXPECT_DOUBLE_EQ(order.StopPrice, 101);
    ASSERT_EQ(Log.LineCount(), 2);
    EXPECT_TRUE(Log.Line(0).endsWith(QStringLiteral(
        "Произошла ошибка при обращении к таблице \"Торгуемых бумаг\" для тикера ABC!")));
    EXPECT_TRUE(Log.Line(1).contains(QStringLiteral("Деление на ноль")));

    // A failing portfolio lookup is the same kind of failure, whatever the mode.
    Lookup.Securities[QStringLiteral("ABC")].LotSize = 1;
    Lookup.FailPortfolio = true;
    EXPECT_FALSE(Builder.NewOrder(order, Omega, Account));
    EXPECT_TRUE(Log.Line(2).endsWith(QStringLiteral("для тикера ABC!")));
    EXPECT_EQ(Log.Line(3), QStringLiteral("Table closed"));
}

TEST_F(OrderBuilderTest, LotCountBeyond32BitsIsNotSent)
{
    Settings.rgpPositionSize = psFixVol;
    Settings.edtFixVol = QStringLiteral("1000000000000");
    Omega.Order = QStringLiteral("Buy 3 at 0.01 Limit");
    TOrder order;
    EXPECT_FALSE(Builder.NewOrder(order, Omega, Account));
    EXPECT_EQ(order.Quantity, 0);
    EXPECT_TRUE(Log.Line(0).endsWith(QStringLiteral("для тикера ABC!")));
}

TEST_F(OrderBuilderTest, ExactClosingTakesTheBookedQuantity)
{
    Settings.chExitQty = true;
    Omega.OrderType = QStringLiteral("SX");
    Omega.Order = QStringLiteral("Buy 100 at 100 Limit");
    Lookup.ExitQuantity = 7;
    TOrder order;
    ASSERT_TRUE(Builder.NewOrder(order, Omega, Account));
    EXPECT_EQ(order.Quantity, 7);
    ASSERT_EQ(Lookup.AskedPositions.size(), 1);
    const TPositionKey& key = Lookup.AskedPositions[0];
    EXPECT_EQ(key.Code, QStringLiteral("C1"));
    EXPECT_EQ(key.Symbol, QStringLiteral("ABC"));
    EXPECT_EQ(key.System, QStringLiteral("Trend(5,10)"));
    EXPECT_EQ(key.Workspace, QStringLiteral("Futures.wsp"));
    EXPECT_EQ(key.Interval, QStringLiteral("5 min"));
    EXPECT_EQ(key.Position, QStringLiteral("Short"));

    // Nothing booked: the computed quantity stays.
    Lookup.ExitQuantity.reset();
    ASSERT_TRUE(Builder.NewOrder(order, Omega, Account));
    EXPECT_EQ(order.Quantity, 100);

    // An entry, or exact closing off, does not ask.
    Omega.OrderType = QStringLiteral("LE");
    Builder.NewOrder(order, Omega, Account);
    Settings.chExitQty = false;
    Omega.OrderType = QStringLiteral("LX");
    Builder.NewOrder(order, Omega, Account);
    EXPECT_EQ(Lookup.AskedPositions.size(), 2);

    // A failure of that lookup is not the sizing's: it reaches the caller.
    Settings.chExitQty = true;
    Lookup.FailExitQuantity = true;
    EXPECT_THROW(Builder.NewOrder(order, Omega, Account), TError);
}

TEST_F(OrderBuilderTest, ExactClosingRescuesAnExitTheSizingCouldNotSize)
{
    Settings.chExitQty = true;
    Omega.OrderType = QStringLiteral("LX");
    Omega.Symbol = QStringLiteral("XYZ"); // not listed: sizing gives 0
    Lookup.ExitQuantity = 4;
    TOrder order;
    ASSERT_TRUE(Builder.NewOrder(order, Omega, Account));
    EXPECT_EQ(order.Quantity, 4);
    EXPECT_EQ(Lookup.AskedPositions[0].Position, QStringLiteral("Long"));
}

TEST_F(OrderBuilderTest, WithdrawalOfTheLastSentOrder)
{
    // The last transactions sent for the order as a placed order and as a filled one.
    Lookup.OrderNumbers.insert(QStringLiteral("41/0/C1"), QStringLiteral("123456"));
    Lookup.OrderNumbers.insert(QStringLiteral("41/1/C1"), QStringLiteral("654321"));
    Omega.Order = QStringLiteral("Sell 3 at 100 Stop ");
    TOrder order;
    ASSERT_TRUE(Builder.KillOrder(order, Omega, Account));
    EXPECT_EQ(order.Action, QStringLiteral("KILL_STOP_ORDER"));
    EXPECT_EQ(order.OrderKey, QStringLiteral("123456"));
    EXPECT_EQ(order.StopOrderKey, QStringLiteral("123456"));
    EXPECT_EQ(order.Account, QStringLiteral("ACC01"));
    // No price exchange for a withdrawal.
    EXPECT_DOUBLE_EQ(order.Price, 100);
    EXPECT_DOUBLE_EQ(order.StopPrice, 99);
    EXPECT_EQ(Lookup.AskedOrderNumbers, QStringList{QStringLiteral("41/0/C1")});

    Omega.Order = QStringLiteral("Buy 3 at 100 Limit");
    Omega.Filled = true;
    ASSERT_TRUE(Builder.KillOrder(order, Omega, Account));
    EXPECT_EQ(order.Action, QStringLiteral("KILL_ORDER"));
    EXPECT_EQ(order.OrderKey, QStringLiteral("654321"));
    EXPECT_TRUE(order.StopOrderKey.isEmpty());
    EXPECT_EQ(Lookup.AskedOrderNumbers.last(), QStringLiteral("41/1/C1"));
}

TEST_F(OrderBuilderTest, NothingToWithdraw)
{
    for (const char* number : {"", "0", "-3", "abc"}) {
        Lookup.OrderNumbers.insert(QStringLiteral("41/0/C1"), QString::fromLatin1(number));
        TOrder order;
        EXPECT_FALSE(Builder.KillOrder(order, Omega, Account)) << number;
    }
    // Silently, and without sizing anything.
    EXPECT_EQ(Log.LineCount(), 0);

    Lookup.OrderNumbers.insert(QStringLiteral("41/0/C1"), QStringLiteral("123456"));
    Omega.Order = QStringLiteral("Buy 0 at 100 Limit");
    TOrder order;
    EXPECT_FALSE(Builder.KillOrder(order, Omega, Account));
}

TEST_F(OrderBuilderTest, OneBuilderFollowsEveryInputOfTheWordingFromOrderToOrder)
{
    // The builder serves many orders in turn; what it read from one wording must never
    // stand in for another wording, fill or regional setting.
    struct Step {
        const char* wording;
        bool filled;
        double fillPrice;
        bool russian;
        const char* operation;
        qint32 quantity;
        double price;
        bool isMarket;
        bool sent = true;
    };
    const Step steps[] = {
        {"Buy 3 at 100.5 Limit", false, 0, false, "B", 3, 100.5, false},
        {"Buy 3 at 100.5 Limit", false, 0, false, "B", 3, 100.5, false},
        {"Sell 3 at 100.5 Limit", false, 0, false, "S", 3, 100.5, false},
        {"Sell 4 at 100.5 Limit", false, 0, false, "S", 4, 100.5, false},
        {"Sell 4 at 100.5 Market", false, 0, false, "S", 4, 100.5, true},
        // Filled: the fill price, whatever the wording says; a new fill price is used.
        {"Sell 4 at 100.5 Market", true, 99.25, false, "S", 4, 99.25, true},
        {"Sell 4 at 100.5 Market", true, 98.75, false, "S", 4, 98.75, true},
        {"Sell 4 at 100.5 Limit", false, 98.75, false, "S", 4, 100.5, false},
        // Under a comma separator the platform's "100.5" is a price, as is "100,5".
        {"Sell 4 at 100.5 Limit", false, 0, true, "S", 4, 100.5, false},
        {"Sell 4 at 100,5 Limit", false, 0, true, "S", 4, 100.5, false},
        // Under a point separator "100,5" is no price: the order is not sent at price 0.
        {"Sell 4 at 100,5 Limit", false, 0, false, "S", 4, 0, false, false},
    };
    Lookup.Securities[QStringLiteral("ABC")].Slippage = 0;
    for (const Step& step : steps) {
        Omega.Order = QString::fromLatin1(step.wording);
        Omega.Filled = step.filled;
        Omega.FillPrice = step.fillPrice;
        Env.Environment.Regional = step.russian ? TRegional::Russian() : TRegional();
        TOrder order;
        const bool sent = Builder.NewOrder(order, Omega, Account);
        const std::string what = std::string(step.wording) + (step.filled ? " filled" : "")
            + (step.russian ? " russian" : "");
        EXPECT_EQ(sent, step.sent) << what;
        EXPECT_EQ(order.Operation, QString::fromLatin1(step.operation)) << what;
        EXPECT_EQ(order.Quantity, step.quantity) << what;
        EXPECT_EQ(order.IsMarket, step.isMarket) << what;
        // A market order goes out at its slippage price, which is the price here.
        EXPECT_DOUBLE_EQ(order.Price, step.price) << what;
    }
}

TEST_F(OrderBuilderTest, UnreadableQuantityReachesTheCaller)
{
    Omega.Order = QStringLiteral("Buy  3 at 100 Limit");
    TOrder order;
    EXPECT_THROW(Builder.NewOrder(order, Omega, Account), TError);
    Lookup.OrderNumbers.insert(QStringLiteral("41/0/C1"), QStringLiteral("5"));
    EXPECT_THROW(Builder.KillOrder(order, Omega, Account), TError);
}

} // namespace

namespace {

// Prices no terminal can take, from the wording or from the security's values: the order
// is refused with a log line saying why, never sent at such a price.
TEST_F(OrderBuilderTest, PricesNoTerminalCanTakeRefuseTheOrderWithALogLine)
{
    struct Case {
        const char* what;
        QString wording;
        std::optional<qint32> digits;
        std::optional<double> slippage;
        QString logged;
    };
    const Case cases[] = {
        {"past the range of numbers", QStringLiteral("Buy 3 at 1e400 Limit"), 2, 1, QStringLiteral("цена 0 ")},
        {"310 digits", QStringLiteral("Buy 3 at %1 Limit").arg(QString(310, QLatin1Char('9'))), 2, 1,
         QStringLiteral("цена 0 ")},
        {"17 digits before the point", QStringLiteral("Buy 3 at 12345678901234567 Limit"), 2, 0,
         QStringLiteral("цена 12345678901234568 ")},
        {"negative", QStringLiteral("Buy 3 at -100.10 Limit"), 2, 0, QStringLiteral("цена -100.09999999999999 ")},
        {"zero", QStringLiteral("Buy 3 at 0 Limit"), 2, 1, QStringLiteral("цена 0 ")},
        {"digits no price has", QStringLiteral("Buy 3 at 100 Limit"), 2147483647, 1, QStringLiteral("Поле Digits")},
        {"slippage past any price", QStringLiteral("Buy 3 at 100 Limit"), 2, 1e308, QStringLiteral("Поле Slippage")},
        // Above 0, but written as zero at the security's decimals or multiples.
        {"rounds to 0.00", QStringLiteral("Buy 20 at 0.004 Limit"), 2, 0,
         QStringLiteral("цена 0.0040000000000000001 записывается для Quik как 0.00")},
        {"the smallest double", QStringLiteral("Buy 20 at 1e-300 Limit"), 2, 1, QStringLiteral("как 0.00")},
        {"rounds to no multiple of 50", QStringLiteral("Buy 20 at 20 Limit"), -5, 0, QStringLiteral("как 0.")},
        {"a stop order", QStringLiteral("Buy 20 at 0.001 Stop"), 2, 50, QStringLiteral("как 0.00")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Omega.Order = c.wording;
        Lookup.Securities[QStringLiteral("ABC")].Digits = c.digits;
        Lookup.Securities[QStringLiteral("ABC")].Slippage = c.slippage;
        const int lines = Log.LineCount();
        TOrder order;
        EXPECT_FALSE(Builder.NewOrder(order, Omega, Account));
        QStringList added;
        for (int i = lines; i < Log.LineCount(); ++i)
            added << Log.Line(i);
        EXPECT_TRUE(added.join(QLatin1Char('\n')).contains(c.logged)) << added.join(QLatin1Char('\n')).toStdString();
    }
    // The same order with a usable price goes out.
    Omega.Order = QStringLiteral("Buy 3 at 100 Limit");
    Lookup.Securities[QStringLiteral("ABC")].Digits = 2;
    Lookup.Securities[QStringLiteral("ABC")].Slippage = 1;
    TOrder order;
    EXPECT_TRUE(Builder.NewOrder(order, Omega, Account));
}

} // namespace
