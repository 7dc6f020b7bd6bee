#include "data/ConnectToBases.h"
#include "data/RiskLimitsData.h"
#include "tests/support/IntakeFixture.h"

#include <QSqlDatabase>
#include <QSqlRecord>
#include <cmath>

namespace {

// Two active clients, C1 and C2, a security ABC (code ABCD, lot 1) whose limits the
// bridge database holds, and an entry "Buy 3 at 100 Limit": 3 lots at 100 per account.
class RiskLimitsTest : public IntakeFixture {
protected:
    void SetUp() override
    {
        IntakeFixture::SetUp();
        Settings.rgpSingleMulti = smMulti;
        AddClient(QStringLiteral("C1"), true, QStringLiteral("M1"), QStringLiteral("F1"));
        AddClient(QStringLiteral("C2"), true, QStringLiteral("M2"), QStringLiteral("F2"));
        Bases.Insert(Bases.BridgePath(), QStringLiteral("tSecCode"),
                     {{QStringLiteral("Ticker"), QStringLiteral("ABC")}, {QStringLiteral("SecCode"), QStringLiteral("ABCD")},
                      {QStringLiteral("Class_Code"), QStringLiteral("EQBR")}, {QStringLiteral("LotSize"), 1},
                      {QStringLiteral("Digits"), 2}, {QStringLiteral("Slippage"), 1}, {QStringLiteral("Traded"), true}});
        Order.Id = 17;
        Order.Symbol = QStringLiteral("ABC");
        Order.OrderType = QStringLiteral("LE");
        Order.Order = QStringLiteral("Buy 3 at 100 Limit");
        Order.System = QStringLiteral("Trend(5,10)");
        Order.Workspace = QStringLiteral("C:\\Work\\Futures.wsp");
        // On a SQLite file the data module makes the table of refusals; through ODBC it
        // uses the one the database's owner made.
        if (GetParam() == TTestEngine::Odbc)
            Bases.Exec(Bases.BridgePath(), QStringLiteral("CREATE TABLE ") + RiskRefusalsTable() + QLatin1Char(' ')
                                               + RiskRefusalsColumns());
        DatMod.OpenBridgeTables();
    }

    void SetSecurity(const QString& column, const QVariant& value)
    {
        Bases.Exec(Bases.BridgePath(), QStringLiteral("UPDATE tSecCode SET [%1] = ?").arg(column), {value});
    }
    void SetClient(const QString& code, const QString& column, const QVariant& value)
    {
        Bases.Exec(Bases.BridgePath(), QStringLiteral("UPDATE tclients SET [%1] = ? WHERE Code = ?").arg(column),
                   {value, code});
    }
    void AddPortfolio(const QString& code, double profitLoss)
    {
        Bases.Insert(Bases.BridgePath(), QStringLiteral("tPortfolio"),
                     {{QStringLiteral("id_client"), code}, {QStringLiteral("profitloss"), profitLoss},
                      {QStringLiteral("curallassets"), 100000.0}});
    }
    void AddHeld(const QString& code, int lots)
    {
        Bases.Insert(Bases.BridgePath(), QStringLiteral("tClientOpenPositions"),
                     {{QStringLiteral("symbol"), QStringLiteral("ABC")}, {QStringLiteral("code"), code},
                      {QStringLiteral("quantity"), lots}, {QStringLiteral("Position"), QStringLiteral("Long")}});
    }

    void Dispatch(TOrderBuilderMethod builder = &TOrderBuilder::NewOrder)
    {
        Sent.clear();
        Calls.clear();
        Dispatcher.ProcessOrder(Order, builder, true);
    }
    QStringList SentCodes() const
    {
        QStringList codes;
        for (const TSentTransaction& sent : Sent)
            codes << sent.Order.ClientCode;
        return codes;
    }
    // The refusals recorded, one "code rule value limit" each, oldest first.
    QStringList Refusals()
    {
        QStringList rows;
        QSqlDatabase database = DatMod.conQuikData().Database();
        QSqlQuery query(database);
        if (!query.exec(QStringLiteral("SELECT code, rule, rule_value, rule_limit, id_order, alert_table FROM ")
                        + RiskRefusalsTable() + QStringLiteral(" ORDER BY id")))
            return {QStringLiteral("no table")};
        while (query.next())
            rows << QStringLiteral("%1 %2 %3 %4 %5 %6")
                        .arg(query.value(0).toString(), query.value(1).toString())
                        .arg(query.value(2).toDouble())
                        .arg(query.value(3).toDouble())
                        .arg(query.value(4).toLongLong())
                        .arg(query.value(5).toString());
        return rows;
    }

    TOmegaOrder Order;
};

// Each rule with the line at its limit, just under it and just over it. The line is 3
// lots at 100 (value 300); C1 holds 7 lots and has lost 500, last price 80 (25 % off).
// Where a rule depends on the client, only C1 is affected and C2 still gets its line.
struct TRuleCase {
    const char* Rule;
    double Limit;
    QStringList Sent;
    QString Refusal; // "code rule value limit" of the row recorded; empty when none
};

TEST_P(RiskLimitsTest, EachRuleAtJustUnderAndJustOverItsLimit)
{
    AddHeld(QStringLiteral("C1"), 7);
    AddPortfolio(QStringLiteral("C1"), -500);
    AddPortfolio(QStringLiteral("C2"), 0);
    Bases.Insert(Bases.BridgePath(), QStringLiteral("tParam"),
                 {{QStringLiteral("code"), QStringLiteral("ABCD")}, {QStringLiteral("last"), 80.0}});
    const QStringList both{QStringLiteral("C1"), QStringLiteral("C2")};
    const QStringList second{QStringLiteral("C2")};
    const TRuleCase cases[] = {
        {"MaxLots", 3, both, {}},
        {"MaxLots", 4, both, {}},
        {"MaxLots", 2, {}, QStringLiteral("C2 MaxLots 3 2")},
        {"MaxValue", 300, both, {}},
        {"MaxValue", 301, both, {}},
        {"MaxValue", 299, {}, QStringLiteral("C2 MaxValue 300 299")},
        {"PriceBand", 25, both, {}},
        {"PriceBand", 26, both, {}},
        {"PriceBand", 24, {}, QStringLiteral("C2 PriceBand 25 24")},
        {"MaxPosition", 10, both, {}},
        {"MaxPosition", 11, both, {}},
        {"MaxPosition", 9, second, QStringLiteral("C1 MaxPosition 10 9")},
        {"MaxLoss", 500, second, QStringLiteral("C1 MaxLoss 500 500")}, // a loss at the limit refuses
        {"MaxLoss", 501, both, {}},
        {"MaxLoss", 499, second, QStringLiteral("C1 MaxLoss 500 499")},
        {"MaxLinesPerOrder", 2, both, {}},
        {"MaxLinesPerOrder", 3, both, {}},
        {"MaxLinesPerOrder", 1, {}, QStringLiteral(" MaxLinesPerOrder 2 1")},
    };
    for (const TRuleCase& c : cases) {
        const QString rule = QLatin1String(c.Rule);
        SCOPED_TRACE(rule.toStdString() + " " + std::to_string(c.Limit));
        for (const char* column : {"MaxLots", "MaxValue", "PriceBand", "MaxPosition"})
            SetSecurity(QLatin1String(column), QVariant());
        SetClient(QStringLiteral("C1"), QStringLiteral("MaxLoss"), QVariant());
        SetClient(QStringLiteral("C2"), QStringLiteral("MaxLoss"), QVariant());
        Settings.MaxLinesPerOrder = 0;
        if (rule == QLatin1String("MaxLoss")) {
            SetClient(QStringLiteral("C1"), rule, c.Limit);
            SetClient(QStringLiteral("C2"), rule, c.Limit);
        } else if (rule == QLatin1String("MaxLinesPerOrder")) {
            Settings.MaxLinesPerOrder = int(c.Limit);
        } else {
            SetSecurity(rule, c.Limit);
        }
        const int logged = Log.LineCount();
        Bases.Exec(Bases.BridgePath(), QStringLiteral("DELETE FROM ") + RiskRefusalsTable());
        Dispatch();
        EXPECT_EQ(SentCodes(), c.Sent);
        const QStringList refusals = Refusals();
        if (c.Refusal.isEmpty()) {
            EXPECT_TRUE(refusals.isEmpty()) << refusals.join(';').toStdString();
            EXPECT_EQ(Log.LineCount(), logged);
            continue;
        }
        // The last row recorded names the rule, its value and limit, the order and its table.
        ASSERT_FALSE(refusals.isEmpty());
        EXPECT_EQ(refusals.last(), c.Refusal + QStringLiteral(" 17 ActiveOrders"));
        EXPECT_EQ(refusals.size(), 2 - c.Sent.size() - (rule == QLatin1String("MaxLinesPerOrder") ? 1 : 0));
        const QString line = LogMessages().constLast();
        EXPECT_TRUE(line.contains(rule) && line.contains(QStringLiteral("лимит ")) && line.startsWith(QStringLiteral("Ордер # 17 не отправлен")))
            << line.toStdString();
    }
}

TEST_P(RiskLimitsTest, DuplicateWithinTheWindowIsRefusedAndMailedWhenTransactionMailIsOn)
{
    Settings.DuplicateMs = 1000;
    Settings.chSendTrans_Id = true;
    Dispatch();
    ASSERT_EQ(SentCodes(), (QStringList{QStringLiteral("C1"), QStringLiteral("C2")}));
    const QDateTime sentAt = Env.Clock;
    struct TStep {
        int AfterMs;
        bool Sent;
    };
    // Each step is measured from the last line that went out.
    QDateTime last = sentAt;
    for (const TStep step : {TStep{999, false}, TStep{1000, true}, TStep{1001, true}, TStep{0, false}}) {
        SCOPED_TRACE(step.AfterMs);
        Env.Clock = last.addMSecs(step.AfterMs);
        Events.Announced.clear();
        Dispatch();
        EXPECT_EQ(Sent.size(), step.Sent ? 2 : 0);
        if (step.Sent) {
            last = Env.Clock;
            EXPECT_TRUE(Events.Announced.isEmpty());
        } else {
            ASSERT_EQ(Events.Announced.size(), 2);
            EXPECT_TRUE(Events.Announced[0].contains(QStringLiteral("DuplicateMs"))) << Events.Announced[0].toStdString();
        }
    }
    // Another quantity is another line.
    Order.Order = QStringLiteral("Buy 4 at 100 Limit");
    Dispatch();
    EXPECT_EQ(Sent.size(), 2);
}

TEST_P(RiskLimitsTest, ExitsAndWithdrawalsAreNeverBlocked)
{
    AddHeld(QStringLiteral("C1"), 7);
    AddPortfolio(QStringLiteral("C1"), -500);
    Bases.Insert(Bases.BridgePath(), QStringLiteral("tParam"),
                 {{QStringLiteral("code"), QStringLiteral("ABCD")}, {QStringLiteral("last"), 10.0}});
    SetSecurity(QStringLiteral("MaxLots"), 1);
    SetSecurity(QStringLiteral("MaxValue"), 1);
    SetSecurity(QStringLiteral("PriceBand"), 1);
    SetSecurity(QStringLiteral("MaxPosition"), 1);
    SetClient(QStringLiteral("C1"), QStringLiteral("MaxLoss"), 1);
    Settings.MaxLinesPerOrder = 1;
    Settings.DuplicateMs = 1000000;
    const QStringList both{QStringLiteral("C1"), QStringLiteral("C2")};

    Dispatch(); // the entry breaks every limit
    EXPECT_TRUE(Sent.isEmpty());

    Order.OrderType = QStringLiteral("LX");
    Order.Order = QStringLiteral("Sell 3 at 100 Limit");
    Dispatch();
    EXPECT_EQ(SentCodes(), both);
    Dispatch(); // the same exit again at once
    EXPECT_EQ(SentCodes(), both);

    Order.OrderType = QStringLiteral("LE");
    Order.Order = QStringLiteral("Buy 3 at 100 Limit");
    Lookup.OrderNumbers.insert(QStringLiteral("17/0/C1"), QStringLiteral("5550001"));
    Lookup.OrderNumbers.insert(QStringLiteral("17/0/C2"), QStringLiteral("5550002"));
    Dispatch(&TOrderBuilder::KillOrder);
    EXPECT_EQ(SentCodes(), both);
    EXPECT_EQ(Sent[0].Order.Action, QStringLiteral("KILL_ORDER"));
}

TEST_P(RiskLimitsTest, MultiplierScalesToWholeLotsAndZeroSendsNothing)
{
    struct TCase {
        QVariant Multiplier;
        QList<qint32> Quantities; // C1's line, then C2's (multiplier empty: 3)
    };
    const TCase cases[] = {
        {QVariant(), {3, 3}}, {1.5, {4, 3}}, {2, {6, 3}}, {0.5, {1, 3}}, {0.3, {3}}, {0, {3}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Multiplier.toString().toStdString());
        SetClient(QStringLiteral("C1"), QStringLiteral("Multiplier"), c.Multiplier);
        const int logged = Log.LineCount();
        Dispatch();
        QList<qint32> quantities;
        for (const TSentTransaction& sent : Sent)
            quantities << sent.Order.Quantity;
        EXPECT_EQ(quantities, c.Quantities);
        if (c.Quantities.size() == 1) { // C1 got no line: the log says why
            ASSERT_GT(Log.LineCount(), logged);
            EXPECT_TRUE(LogMessages()[logged].contains(QStringLiteral("C1"))) << LogMessages()[logged].toStdString();
        }
    }
    // A multiplier that is below 0 is C1's failure; C2 still gets its line.
    SetClient(QStringLiteral("C1"), QStringLiteral("Multiplier"), -1);
    EXPECT_THROW(Dispatch(), TError);
    EXPECT_EQ(SentCodes(), QStringList{QStringLiteral("C2")});
}

TEST_P(RiskLimitsTest, MissingColumnsWorkAsBeforeAndConnectAddsThem)
{
    for (const char* column : {"MaxLots", "MaxValue", "PriceBand", "MaxPosition"})
        Bases.Exec(Bases.BridgePath(), QStringLiteral("ALTER TABLE tSecCode DROP COLUMN [%1]").arg(QLatin1String(column)));
    for (const char* column : {"Multiplier", "MaxLoss"})
        Bases.Exec(Bases.BridgePath(), QStringLiteral("ALTER TABLE tclients DROP COLUMN [%1]").arg(QLatin1String(column)));
    DatMod.conQuikData().Close();
    DatMod.conQuikData().Open(Bases.BridgeSource());
    Dispatch();
    EXPECT_EQ(SentCodes(), (QStringList{QStringLiteral("C1"), QStringLiteral("C2")}));
    EXPECT_EQ(Sent[0].Order.Quantity, 3);
    // The desk's settings still hold without the columns.
    Settings.MaxLinesPerOrder = 1;
    Dispatch();
    EXPECT_TRUE(Sent.isEmpty());

    // Connecting adds them to a SQLite file; an ODBC source keeps the columns its owner gave it.
    const bool added = GetParam() == TTestEngine::Sqlite;
    Settings.edtAlerts = Bases.AlertsSource();
    Settings.edtQuikData = Bases.BridgeSource();
    ASSERT_TRUE(ConnectDatabases(Settings, DatMod, Log, Events));
    const QSqlDatabase database = DatMod.conQuikData().Database();
    for (const char* column : {"MaxLots", "MaxValue", "PriceBand", "MaxPosition"})
        EXPECT_EQ(database.record(QStringLiteral("tSecCode")).contains(QLatin1String(column)), added) << column;
    for (const char* column : {"Multiplier", "MaxLoss"})
        EXPECT_EQ(database.record(QStringLiteral("tclients")).contains(QLatin1String(column)), added) << column;
    if (!added)
        return;
    // And they work in the new opening.
    Settings.MaxLinesPerOrder = 0;
    SetClient(QStringLiteral("C2"), QStringLiteral("Multiplier"), 2);
    Dispatch();
    ASSERT_EQ(Sent.size(), 2);
    EXPECT_EQ(Sent[1].Order.Quantity, 6);
}

TEST_P(RiskLimitsTest, NoLastPriceSkipsTheBandAndIsLoggedOncePerSecurity)
{
    SetSecurity(QStringLiteral("PriceBand"), 1);
    Dispatch();
    EXPECT_EQ(Sent.size(), 2);
    Dispatch();
    EXPECT_EQ(Sent.size(), 2);
    EXPECT_EQ(LogMessages().filter(QStringLiteral("PriceBand")).size(), 1);
}

INSTANTIATE_TEST_SUITE_P(Engines, RiskLimitsTest, ::testing::Values(TTestEngine::Sqlite, TTestEngine::Odbc),
                         EngineTestName);

// The checks alone, for what the dispatch cannot show: a limit that is no number.
TEST(RiskLimitsRulesTest, LimitThatIsNoNumberIsAFailureNotAPass)
{
    TSecurityLimitsRow security;
    security.MaxLots = std::nan("");
    TEntryLine line;
    line.Lots = 1;
    line.Price = 1;
    EXPECT_THROW(CheckEntryLine(line, security), TError);
    security.MaxLots = 0; // 0: no limit
    EXPECT_FALSE(CheckEntryLine(line, security));
    security.MaxLots = -1; // below 0: no limit
    EXPECT_FALSE(CheckEntryLine(line, security));
}

} // namespace
