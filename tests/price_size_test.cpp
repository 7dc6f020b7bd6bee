#include "base/Error.h"
#include "base/OperationLog.h"
#include "data/Settings.h"
#include "tests/support/TestEnvironment.h"
#include "trade/PositionSize.h"
#include "trade/Price.h"

#include <gtest/gtest.h>
#include <cmath>
#include <limits>

namespace {

TEST(FormatPriceTest, DecimalsAndMultiples)
{
    struct Case { qint32 digits; double price; char separator; const char* expected; };
    const Case cases[] = {
        {2, 1234.5, '.', "1234.50"},
        {2, 1234.5, ',', "1234,50"},
        {0, 100, '.', "100"},
        {0, 101, ',', "101"},
        {1, 0.25, '.', "0.3"},        // a decimal tie rounds away from zero
        {2, 1.005, '.', "1.00"},      // 1.005 is stored just below the tie
        {2, 1234567.891, '.', "1234567.89"},
        {4, -12.5, ',', "-12,5000"},
        // At most 16 significant digits; further decimals are zeros.
        {17, 0.1 + 0.2, '.', "0.30000000000000000"},
        {3, 1234567890123.4567, '.', "1234567890123.457"},
        {5, 123456789012345.67, '.', "123456789012345.70000"},
        // Negative digits: multiples of 10 x n, ties to the even multiple.
        {-1, 1234.5, '.', "1230"},
        {-1, 125, '.', "120"},
        {-1, 135, '.', "140"},
        {-1, 145, ',', "140"},
        {-2, 1234.5, '.', "1240"},
        {-5, 1234.5, '.', "1250"},
        {-5, 1275, '.', "1300"},      // 25.5 multiples of 50 -> 26
        {-1, -125, '.', "-120"},
    };
    for (const Case& c : cases) {
        TRegional regional;
        regional.DecimalSeparator = QLatin1Char(c.separator);
        EXPECT_EQ(FormatPrice(c.digits, c.price, regional), QString::fromLatin1(c.expected))
            << c.digits << " " << c.price << " '" << c.separator << "'";
    }
}

TEST(FormatPriceTest, MultipleBeyond64BitsIsAnError)
{
    const TRegional regional;
    EXPECT_THROW(FormatPrice(-1, 1e30, regional), TError);
    EXPECT_THROW(FormatPrice(-1, std::nan(""), regional), TError);
    EXPECT_EQ(FormatPrice(std::numeric_limits<qint32>::min(), 1e9, regional), QStringLiteral("0"));
}

TEST(SlippagePriceTest, BuyUpAnythingElseDown)
{
    const TRegional regional;
    EXPECT_EQ(FormatPrice(2, SlippagePrice(QStringLiteral("B"), 100, 0.5), regional), QStringLiteral("100.50"));
    EXPECT_DOUBLE_EQ(SlippagePrice(QStringLiteral("S"), 100, 0.5), 99.5);
    EXPECT_DOUBLE_EQ(SlippagePrice(QString(), 100, 0.5), 99.5);
    EXPECT_DOUBLE_EQ(SlippagePrice(QStringLiteral("b"), 100, 0.5), 99.5);
    EXPECT_DOUBLE_EQ(SlippagePrice(QStringLiteral("B"), 250, 0), 250);
}

class SizeOrderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Dir.isValid());
        Log.OpenFile(Dir.filePath(QStringLiteral("Zovrant.log")));
        Security.LotSize = 10;
        Security.FixVol = 50000;
        Security.Part = 5;
    }

    TTestEnvironment Env;
    QTemporaryDir Dir;
    TOperationLog Log{Env.Environment};
    TSettings Settings;
    TSecurityRow Security;
};

TEST_F(SizeOrderTest, FiveModes)
{
    struct Case {
        const char* name;
        int mode;
        qint32 parsed;
        double price;
        qint32 lotSize;
        double curAllAssets;
        qint32 expected;
    };
    const Case cases[] = {
        {"quantity in lots", psOmegaQuantity, 150, 250, 100, 0, 1},
        {"quantity below a lot", psOmegaQuantity, 99, 250, 100, 0, 0},
        {"fixed amount", psFixVol, 0, 250, 10, 0, 12},
        {"fixed amount, truncated", psFixVol, 0, 260, 10, 0, 11},
        {"share of the account", psPart, 0, 100, 10, 1000000, 200},
        {"security's amount", psSecurityFixVol, 0, 260, 10, 0, 19},       // 50000/260/10 = 19.2
        {"security's share", psSecurityPart, 0, 100, 10, 1000000, 50},    // 5/100*1e6/100/10
        {"no mode chosen", -1, 37, 100, 10, 0, 37},
        {"unknown mode", 7, 37, 100, 10, 0, 37},
        // Within 32 bits exactly.
        {"largest lot count", psOmegaQuantity, std::numeric_limits<qint32>::max(), 1, 1, 0,
         std::numeric_limits<qint32>::max()},
    };
    for (const Case& c : cases) {
        Settings.rgpPositionSize = c.mode;
        Settings.edtFixVol = QStringLiteral("30000");
        Settings.edtPart = QStringLiteral("20");
        Security.LotSize = c.lotSize;
        TOrder order;
        order.Quantity = c.parsed;
        order.Price = c.price;
        SizeOrder(order, Security, TPortfolioRow{c.curAllAssets}, Settings, Env.Environment.Regional, Log);
        EXPECT_EQ(order.Quantity, c.expected) << c.name;
    }
    // Only the order of no lots is logged (not sent).
    EXPECT_EQ(Log.LineCount(), 1);
}

TEST_F(SizeOrderTest, QuantityOfNoLotsIsLoggedNamingTheOrderAndAccount)
{
    struct Case {
        const char* name;
        int mode;
        qint32 parsed;
        QString fixVol;
        qint32 expected;
    };
    const Case cases[] = {
        {"below a lot", psOmegaQuantity, 99, QStringLiteral("30000"), 0},
        {"negative wording quantity", psOmegaQuantity, -500, QStringLiteral("30000"), -5},
        {"amount below a lot", psFixVol, 0, QStringLiteral("100"), 0},
        {"negative amount", psFixVol, 0, QStringLiteral("-3000"), -1},
        {"unknown mode keeps a zero", 7, 0, QStringLiteral("30000"), 0},
    };
    for (const Case& c : cases) {
        const int linesBefore = Log.LineCount();
        Settings.rgpPositionSize = c.mode;
        Settings.edtFixVol = c.fixVol;
        Security.LotSize = 100;
        TOrder order;
        order.OrderId = 5000000000LL; // an id beyond 32 bits is named in full
        order.ClientCode = QStringLiteral("C9");
        order.Quantity = c.parsed;
        order.Price = 25;
        SizeOrder(order, Security, TPortfolioRow{1000000}, Settings, Env.Environment.Regional, Log);
        EXPECT_EQ(order.Quantity, c.expected) << c.name;
        ASSERT_EQ(Log.LineCount(), linesBefore + 1) << c.name;
        EXPECT_TRUE(Log.Line(linesBefore).endsWith(QStringLiteral(
            " Ордер # 5000000000 по счету C9 не отправлен: количество %1 лотов, должно быть больше 0.")
                                                 .arg(c.expected)))
            << c.name << ": " << Log.Line(linesBefore).toStdString();
    }
}

TEST_F(SizeOrderTest, SettingsAreReadWithTheRegionalSeparator)
{
    Settings.rgpPositionSize = psFixVol;
    TOrder order;
    order.Price = 100;
    Settings.edtFixVol = QStringLiteral("2500,5");
    Env.Environment.Regional = TRegional::Russian();
    SizeOrder(order, Security, TPortfolioRow{}, Settings, Env.Environment.Regional, Log);
    EXPECT_EQ(order.Quantity, 2); // 2500.5 / 100 / 10

    Settings.edtFixVol = QStringLiteral("2500.5");
    EXPECT_THROW(SizeOrder(order, Security, TPortfolioRow{}, Settings, Env.Environment.Regional, Log),
                 TError);
}

TEST_F(SizeOrderTest, ClientWithoutPortfolioInTheShareModes)
{
    for (int mode : {psPart, psSecurityPart}) {
        Settings.rgpPositionSize = mode;
        TOrder order;
        order.ClientCode = QStringLiteral("C7");
        order.Quantity = 5;
        order.Price = 100;
        SizeOrder(order, Security, std::nullopt, Settings, Env.Environment.Regional, Log);
        EXPECT_EQ(order.Quantity, 0) << mode;
    }
    ASSERT_EQ(Log.LineCount(), 2);
    EXPECT_TRUE(Log.Line(0).endsWith(
        QStringLiteral(" Не найден код клиентаC7 в таблице \"Клиентский портфель\"!")));

    // The other modes do not need the portfolio.
    Settings.rgpPositionSize = psFixVol;
    TOrder order;
    order.Price = 100;
    SizeOrder(order, Security, std::nullopt, Settings, Env.Environment.Regional, Log);
    EXPECT_EQ(order.Quantity, 30);
}

TEST_F(SizeOrderTest, FailuresThatMakeTheSizingAnError)
{
    struct Case { const char* name; int mode; double price; std::optional<qint32> lotSize;
                  std::optional<double> fixVol; std::optional<double> assets; const char* fixVolSetting; };
    const Case cases[] = {
        {"zero price", psFixVol, 0, 10, 1, 1, "30000"},
        {"zero lot size", psOmegaQuantity, 100, 0, 1, 1, "30000"},
        {"empty lot size", psOmegaQuantity, 100, std::nullopt, 1, 1, "30000"},
        {"empty security amount", psSecurityFixVol, 100, 10, std::nullopt, 1, "30000"},
        {"empty assets", psPart, 100, 10, 1, std::nullopt, "30000"},
        {"setting not a number", psFixVol, 100, 10, 1, 1, "30 000 руб"},
        // 1e12 / 0.01 / 1 lots do not fit 32 bits: never a wrapped count.
        {"lot count beyond 32 bits", psFixVol, 0.01, 1, 1, 1, "1000000000000"},
        {"negative count beyond 32 bits", psFixVol, -0.01, 1, 1, 1, "1000000000000"},
        {"infinite amount", psFixVol, 100, 1, 1, 1, "inf"},
    };
    for (const Case& c : cases) {
        Settings.rgpPositionSize = c.mode;
        Settings.edtFixVol = QString::fromUtf8(c.fixVolSetting);
        Security.LotSize = c.lotSize;
        Security.FixVol = c.fixVol;
        TOrder order;
        order.Quantity = 500;
        order.Price = c.price;
        EXPECT_THROW(SizeOrder(order, Security, TPortfolioRow{c.assets}, Settings,
                               Env.Environment.Regional, Log), TError) << c.name;
    }
}

TEST(WholeLotsTest, TruncatesTowardZeroWithin32Bits)
{
    EXPECT_EQ(WholeLots(11.99), 11);
    EXPECT_EQ(WholeLots(-11.99), -11);
    EXPECT_EQ(WholeLots(2147483647.9), 2147483647);
    EXPECT_EQ(WholeLots(-2147483648.9), -2147483647 - 1);
    EXPECT_THROW(WholeLots(2147483648.0), TError);
    EXPECT_THROW(WholeLots(-2147483649.0), TError);
    EXPECT_THROW(WholeLots(std::nan("")), TError);
    EXPECT_THROW(WholeLots(INFINITY), TError);
}

} // namespace
