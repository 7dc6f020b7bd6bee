#include "data/DatMod.h"
#include "tests/support/TestDatabases.h"
#include "tests/support/TestEnvironment.h"
#include "trade/DatModTradeLookup.h"

#include <gtest/gtest.h>

static void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

// The lookup over the data module, connected to a bridge database made from the schema;
// the test writes rows into the file as the operator and the terminal would.
class TradeLookupTest : public ::testing::TestWithParam<TTestEngine> {
protected:
    void SetUp() override { DatMod.conQuikData().Open(Bases.BridgeSource()); }

    void Insert(const QString& table, const QVariantMap& values)
    {
        Bases.Insert(Bases.BridgePath(), table, values);
    }

    TTestEnvironment Env;
    TTestDatabases Bases{GetParam()};
    TDatMod DatMod{Env.Environment};
    TDatModTradeLookup Lookup{DatMod};
};

TEST_P(TradeLookupTest, FindSecurity)
{
    Insert(QStringLiteral("tSecCode"),
           {{"SecCode", "ABCD"}, {"Class_Code", "BOARD1"}, {"Ticker", "ABC"}, {"Digits", 2},
            {"Traded", true}, {"Slippage", 0.5}, {"LotSize", 10}, {"FixVol", 30000.0}, {"Part", 20.0}});
    Insert(QStringLiteral("tSecCode"), {{"SecCode", "SECOND"}, {"Ticker", "ABC"}});
    // A ticker with a double quote: the value is bound, so it cannot end a quoted text.
    Insert(QStringLiteral("tSecCode"), {{"SecCode", "Q\"X"}, {"Ticker", "Q\"T"}});

    ASSERT_FALSE(DatMod.tSecCode().Active());
    // The platform's ticker matches without regard to case, as in the Access engine.
    const std::optional<TSecurityRow> full = Lookup.FindSecurity(QStringLiteral("abc"));
    EXPECT_TRUE(DatMod.tSecCode().Active());
    ASSERT_TRUE(full.has_value());
    EXPECT_EQ(full->SecCode, QStringLiteral("ABCD"));
    EXPECT_EQ(full->ClassCode, QStringLiteral("BOARD1"));
    EXPECT_EQ(full->Digits, 2);
    EXPECT_TRUE(full->Traded);
    EXPECT_EQ(full->Slippage, 0.5);
    EXPECT_EQ(full->LotSize, 10);
    EXPECT_EQ(full->FixVol, 30000.0);
    EXPECT_EQ(full->Part, 20.0);

    // Empty numbers are absent, not 0: the sizing refuses them instead of dividing by 0.
    const std::optional<TSecurityRow> bare = Lookup.FindSecurity(QStringLiteral("Q\"T"));
    ASSERT_TRUE(bare.has_value());
    EXPECT_EQ(bare->SecCode, QStringLiteral("Q\"X"));
    EXPECT_EQ(bare->ClassCode, QString());
    EXPECT_FALSE(bare->Digits.has_value());
    EXPECT_FALSE(bare->Traded);
    EXPECT_FALSE(bare->Slippage.has_value());
    EXPECT_FALSE(bare->LotSize.has_value());
    EXPECT_FALSE(bare->FixVol.has_value());
    EXPECT_FALSE(bare->Part.has_value());

    EXPECT_FALSE(Lookup.FindSecurity(QStringLiteral("NONE")).has_value());
}

TEST_P(TradeLookupTest, KeptSecurityGoesWithAnEditAClosedTableAnotherTickerAndTheLastRelease)
{
    Insert(QStringLiteral("tSecCode"), {{"SecCode", "ABCD"}, {"Ticker", "ABC"}, {"Digits", 2}});
    Insert(QStringLiteral("tSecCode"), {{"SecCode", "XYZW"}, {"Ticker", "XYZ"}, {"Digits", 0}});
    auto code = [this](const QString& ticker) {
        const std::optional<TSecurityRow> row = Lookup.FindSecurity(ticker);
        return row ? row->SecCode : QStringLiteral("none");
    };
    auto store = [this](const QString& ticker, const QString& value) {
        ASSERT_TRUE(DatMod.tSecCode().Locate(QStringLiteral("Ticker"), ticker));
        DatMod.tSecCode().FieldByName(QStringLiteral("SecCode")).SetValue(value);
        ASSERT_TRUE(DatMod.tSecCode().Post());
    };

    Lookup.KeepSecurities();
    EXPECT_EQ(code(QStringLiteral("ABC")), QStringLiteral("ABCD"));
    // Another ticker is its own row, and the first one's again after it.
    EXPECT_EQ(code(QStringLiteral("XYZ")), QStringLiteral("XYZW"));
    EXPECT_EQ(code(QStringLiteral("ABC")), QStringLiteral("ABCD"));
    // A row stored or deleted through the data module is read again.
    store(QStringLiteral("ABC"), QStringLiteral("ABC1"));
    EXPECT_EQ(code(QStringLiteral("ABC")), QStringLiteral("ABC1"));
    ASSERT_TRUE(DatMod.tSecCode().Locate(QStringLiteral("Ticker"), QStringLiteral("ABC")));
    DatMod.tSecCode().Delete();
    EXPECT_EQ(code(QStringLiteral("ABC")), QStringLiteral("none"));
    Insert(QStringLiteral("tSecCode"), {{"SecCode", "ABC2"}, {"Ticker", "ABC"}, {"Digits", 2}});
    // A closed securities table (a connection opened again) is read again, and opened.
    DatMod.conQuikData().Open(Bases.BridgeSource());
    EXPECT_EQ(code(QStringLiteral("ABC")), QStringLiteral("ABC2"));
    EXPECT_TRUE(DatMod.tSecCode().Active());

    // Nested keeping: the inner release keeps nothing away; the last one does.
    Lookup.KeepSecurities();
    Lookup.ReleaseSecurities();
    Lookup.ReleaseSecurities();
    Bases.Exec(Bases.BridgePath(), QStringLiteral("UPDATE tSecCode SET SecCode = 'ABC3' WHERE Ticker = 'ABC'"));
    EXPECT_EQ(code(QStringLiteral("ABC")), QStringLiteral("ABC3"));
    // Without keeping, every question reads the table.
    Bases.Exec(Bases.BridgePath(), QStringLiteral("UPDATE tSecCode SET SecCode = 'ABC4' WHERE Ticker = 'ABC'"));
    EXPECT_EQ(code(QStringLiteral("ABC")), QStringLiteral("ABC4"));
    // A release without a keep does not underflow into keeping.
    Lookup.ReleaseSecurities();
    Bases.Exec(Bases.BridgePath(), QStringLiteral("UPDATE tSecCode SET SecCode = 'ABC5' WHERE Ticker = 'ABC'"));
    EXPECT_EQ(code(QStringLiteral("ABC")), QStringLiteral("ABC5"));
}

TEST_P(TradeLookupTest, FindPortfolio)
{
    Insert(QStringLiteral("tPortfolio"), {{"id_client", "C1"}, {"curallassets", 1000000.0}});
    Insert(QStringLiteral("tPortfolio"), {{"id_client", "C2"}});

    ASSERT_FALSE(DatMod.tPortfolio().Active());
    const std::optional<TPortfolioRow> c1 = Lookup.FindPortfolio(QStringLiteral("C1"));
    EXPECT_TRUE(DatMod.tPortfolio().Active());
    ASSERT_TRUE(c1.has_value());
    EXPECT_EQ(c1->CurAllAssets, 1000000.0);

    const std::optional<TPortfolioRow> c2 = Lookup.FindPortfolio(QStringLiteral("C2"));
    ASSERT_TRUE(c2.has_value());
    EXPECT_FALSE(c2->CurAllAssets.has_value());

    EXPECT_FALSE(Lookup.FindPortfolio(QStringLiteral("C3")).has_value());
}

QVariantMap PositionRow(const TPositionKey& key, const QVariant& quantity)
{
    return {{"code", key.Code}, {"symbol", key.Symbol}, {"System", key.System},
            {"Workspace", key.Workspace}, {"Interval", key.Interval}, {"Position", key.Position},
            {"quantity", quantity}};
}

TEST_P(TradeLookupTest, FindExitQuantityTakesTheFirstRowOfExactlyThatPosition)
{
    const TPositionKey key{QStringLiteral("C1"), QStringLiteral("ABC"), QStringLiteral("Trend(5,10)"),
                           QStringLiteral("Futures.wsp"), QStringLiteral("5 min"), QStringLiteral("Short")};
    Insert(QStringLiteral("tClientOpenPositions"), PositionRow(key, 7));
    Insert(QStringLiteral("tClientOpenPositions"), PositionRow(key, 4));

    ASSERT_FALSE(DatMod.tClientOpenPositions().Active());
    EXPECT_EQ(Lookup.FindExitQuantity(key), 7);
    EXPECT_TRUE(DatMod.tClientOpenPositions().Active());

    // One value different is another position, which has nothing booked.
    const std::function<void(TPositionKey&)> changes[] = {
        [](TPositionKey& k) { k.Code = QStringLiteral("C2"); },
        [](TPositionKey& k) { k.Symbol = QStringLiteral("XYZ"); },
        [](TPositionKey& k) { k.System = QStringLiteral("Trend(5,20)"); },
        [](TPositionKey& k) { k.Workspace = QStringLiteral("Stocks.wsp"); },
        [](TPositionKey& k) { k.Interval = QStringLiteral("15 min"); },
        [](TPositionKey& k) { k.Position = QStringLiteral("Long"); },
    };
    for (const auto& change : changes) {
        TPositionKey other = key;
        change(other);
        EXPECT_FALSE(Lookup.FindExitQuantity(other).has_value())
            << other.Code.toStdString() << '/' << other.Symbol.toStdString() << '/'
            << other.System.toStdString() << '/' << other.Workspace.toStdString() << '/'
            << other.Interval.toStdString() << '/' << other.Position.toStdString();
    }

    // An empty interval is booked and found as an empty text.
    TPositionKey noInterval = key;
    noInterval.Interval = QStringLiteral(""); // stored as an empty text, not NULL
    Insert(QStringLiteral("tClientOpenPositions"), PositionRow(noInterval, 2));
    EXPECT_EQ(Lookup.FindExitQuantity(noInterval), 2);

    // A booked row without a quantity says nothing about the size of the exit.
    TPositionKey noQuantity = key;
    noQuantity.Symbol = QStringLiteral("NOQ");
    Insert(QStringLiteral("tClientOpenPositions"), PositionRow(noQuantity, QVariant()));
    EXPECT_FALSE(Lookup.FindExitQuantity(noQuantity).has_value());
}

TEST_P(TradeLookupTest, LastOrderNumberOfTheHighestTransaction)
{
    struct Row { int transId; int idOrder; bool filled; const char* code; QVariant number; };
    const Row rows[] = {
        {3, 41, false, "C1", 333},
        {5, 41, false, "C1", 555},
        {4, 41, false, "C1", 444},
        {9, 41, true, "C1", 999},   // the same id in the filled-orders table
        {8, 41, false, "C2", 888},  // another client
        {7, 42, false, "C1", 777},  // another order
        {10, 50, false, "C1", Q_INT64_C(123456789012)},
    };
    for (const Row& row : rows) {
        Insert(QStringLiteral("tOrderNumber"),
               {{"trans_id", row.transId}, {"id_order", row.idOrder}, {"filled", row.filled},
                {"code", QString::fromLatin1(row.code)}, {"order_number", row.number}});
    }
    EXPECT_EQ(Lookup.LastOrderNumber(41, false, QStringLiteral("C1")), QStringLiteral("555"));
    EXPECT_EQ(Lookup.LastOrderNumber(41, true, QStringLiteral("C1")), QStringLiteral("999"));
    EXPECT_EQ(Lookup.LastOrderNumber(41, false, QStringLiteral("C2")), QStringLiteral("888"));
    EXPECT_EQ(Lookup.LastOrderNumber(50, false, QStringLiteral("C1")), QStringLiteral("123456789012"));
    EXPECT_EQ(Lookup.LastOrderNumber(43, false, QStringLiteral("C1")), QString());
    // A client code with a double quote is a value like any other.
    EXPECT_EQ(Lookup.LastOrderNumber(41, false, QStringLiteral("C\"1")), QString());

    // The newest transaction has no number yet: nothing to withdraw, whatever older rows say.
    Insert(QStringLiteral("tOrderNumber"),
           {{"trans_id", 6}, {"id_order", 41}, {"filled", false}, {"code", "C1"}});
    EXPECT_EQ(Lookup.LastOrderNumber(41, false, QStringLiteral("C1")), QString());
}

TEST_P(TradeLookupTest, ClosedBridgeDatabaseIsAnError)
{
    DatMod.conQuikData().Close();
    EXPECT_ANY_THROW(Lookup.FindSecurity(QStringLiteral("ABC")));
    EXPECT_ANY_THROW(Lookup.FindExitQuantity(TPositionKey{}));
    EXPECT_ANY_THROW(Lookup.LastOrderNumber(41, false, QStringLiteral("C1")));
}

INSTANTIATE_TEST_SUITE_P(Engines, TradeLookupTest,
                         ::testing::Values(TTestEngine::Sqlite, TTestEngine::Odbc),
                         [](const auto& info) { return std::string(EngineName(info.param)); });

} // namespace
