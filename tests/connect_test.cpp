#include "base/CodePage.h"
#include "base/Error.h"
#include "base/OperationLog.h"
#include "data/Batch.h"
#include "data/ConnectToBases.h"
#include "data/DatMod.h"
#include "data/Settings.h"
#include "tests/support/RecordingEvents.h"
#include "tests/support/TestDatabases.h"
#include "tests/support/TestEnvironment.h"

#include <QFile>
#include <QSqlQuery>
#include <cstdio>
#include <limits>
#include <gtest/gtest.h>

namespace {

const QString Stamp = QStringLiteral("09.12.2008 9:05:03 ");

// The data module over both test databases, with the settings pointing at them and the
// operation log writing to a file of the test folder.
class DatModTest : public ::testing::TestWithParam<TTestEngine> {
protected:
    TTestEnvironment Env;
    TTestDatabases Bases{GetParam()};
    TSettings Settings;
    TOperationLog Log{Env.Environment};
    TRecordingEvents Events;
    TDatMod DatMod{Env.Environment, Events};

    void SetUp() override
    {
        Settings.edtAlerts = Bases.AlertsSource();
        Settings.edtQuikData = Bases.BridgeSource();
        Log.OpenFile(Bases.FilePath(QStringLiteral("Zovrant.log")));
        Events.OnEvent = [this](const QString& call) {
            if (call == QStringLiteral("status"))
                Events.Calls.last() += QStringLiteral(" %1 %2").arg(DatMod.conOmega().Connected()).arg(DatMod.conQuikData().Connected());
        };
    }

    QStringList LogLines() const { return LogLinesOf(Log); }
    QString LogFile() const
    {
        return FromCp1251(ReadWholeFile(Bases.FilePath(QStringLiteral("Zovrant.log"))));
    }
    int Count(const QString& table)
    {
        return Bases.Scalar(Bases.BridgePath(), QStringLiteral("SELECT COUNT(*) FROM ") + table).toInt();
    }
    void Connect()
    {
        ASSERT_TRUE(ConnectDatabases(Settings, DatMod, Log, Events));
        // What the table tick after a connection opens: the alert tables.
        for (TDataSet* dataSet : DatMod.conOmega().DataSets()) {
            if (!dataSet->IsQuery())
                RefreshTable(*dataSet);
        }
        DatMod.OpenBridgeTables();
    }
    QList<TTable*> StepSixTables()
    {
        return {&DatMod.tWorkSpaces(), &DatMod.tStrategy(), &DatMod.tSecCode(), &DatMod.tOrderNumber(),
                &DatMod.tClientOpenPositions(), &DatMod.tClients()};
    }
};

INSTANTIATE_TEST_SUITE_P(Engines, DatModTest, ::testing::Values(TTestEngine::Sqlite, TTestEngine::Odbc),
                         [](const auto& info) { return std::string(EngineName(info.param)); });

// ---- ConnectToBases ----

TEST_P(DatModTest, ConnectOpensBothBasesAndTellsTheirStates)
{
    Connect();
    EXPECT_EQ(LogLines(), (QStringList{
        Stamp + QStringLiteral("Подключение к базе данных ") + Settings.edtAlerts + QStringLiteral(": OK"),
        Stamp + QStringLiteral("Подключение к базе данных ") + Settings.edtQuikData + QStringLiteral(": OK")}));
    EXPECT_EQ(Events.Calls, (QStringList{QStringLiteral("status 1 1")}));
    for (TTable* table : StepSixTables())
        EXPECT_TRUE(table->Active()) << table->TableName().toStdString();
    EXPECT_FALSE(DatMod.tParam().Active()); // the tick of the main window re-opens it
}

// A SQLite bridge file is switched to a write-ahead journal that syncs at its checkpoints,
// not at every commit; the strategy platform's alert file and any file over ODBC keep the
// journal they have.
TEST_P(DatModTest, ConnectPutsASqliteBridgeFileInWalModeOnly)
{
    const QString alertsJournal = Bases.Scalar(Bases.AlertsPath(), QStringLiteral("PRAGMA journal_mode")).toString();
    ASSERT_FALSE(alertsJournal.isEmpty());
    Connect();
    const bool sqlite = GetParam() == TTestEngine::Sqlite;
    EXPECT_EQ(Bases.Scalar(Bases.BridgePath(), QStringLiteral("PRAGMA journal_mode")).toString(),
              sqlite ? QStringLiteral("wal") : QStringLiteral("delete"));
    EXPECT_EQ(Bases.Scalar(Bases.AlertsPath(), QStringLiteral("PRAGMA journal_mode")).toString(), alertsJournal);
    if (sqlite) {
        QSqlQuery query(DatMod.conQuikData().Database());
        ASSERT_TRUE(query.exec(QStringLiteral("PRAGMA synchronous")) && query.next());
        EXPECT_EQ(query.value(0).toInt(), 2); // FULL: one sync per commit
    }
    // Bookings and numbers work as before, and another connection sees them.
    DatMod.InsertOrderNumber(7, 70, true, QStringLiteral("C1"));
    EXPECT_EQ(Count(QStringLiteral("tOrderNumber")), 1);
    EXPECT_EQ(DatMod.HighestTransId(), 7);
}

TEST_P(DatModTest, WrongAlertPathLogsOneErrorAndLeavesTheBridgeTablesClosed)
{
    const QString wrongFile = Bases.FilePath(QStringLiteral("Missing.db"));
    Settings.edtAlerts = Bases.Source(wrongFile);
    EXPECT_FALSE(ConnectDatabases(Settings, DatMod, Log, Events));
    const QStringList lines = LogLines();
    // The error line is followed by the driver's text on a line of its own.
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines[0], Stamp + QStringLiteral("При подключении к базе данных ") + Settings.edtAlerts
                            + QStringLiteral(" произошла ошибка:"));
    EXPECT_FALSE(lines[1].isEmpty());
    EXPECT_EQ(lines.last(), Stamp + QStringLiteral("Подключение к базе данных ") + Settings.edtQuikData
                                + QStringLiteral(": OK"));
    EXPECT_EQ(lines.filter(QStringLiteral(": OK")).size(), 1);
    EXPECT_EQ(lines.filter(QStringLiteral("произошла ошибка")).size(), 1);
    EXPECT_EQ(Events.Calls, (QStringList{QStringLiteral("status 0 1")}));
    EXPECT_FALSE(QFile::exists(wrongFile));
}

// The transaction report outlives connections and runs, as the open positions do: a
// withdrawal after a reconnection or a restart still finds the exchange order of a
// transaction sent before it.
TEST_P(DatModTest, ConnectingAgainKeepsTheReportAndOpenPositions)
{
    for (int round = 0; round < 2; ++round) {
        Bases.Insert(Bases.BridgePath(), QStringLiteral("tOrderNumber"),
                     {{QStringLiteral("trans_id"), round}, {QStringLiteral("code"), QStringLiteral("C1")}});
        Bases.Insert(Bases.BridgePath(), QStringLiteral("tClientOpenPositions"),
                     {{QStringLiteral("symbol"), QStringLiteral("SBER")}, {QStringLiteral("quantity"), 3}});
        Connect();
        EXPECT_EQ(DatMod.HighestTransId(), round);
        EXPECT_EQ(Count(QStringLiteral("tOrderNumber")), round + 1);
        EXPECT_EQ(DatMod.tOrderNumber().RecordCount(), round + 1);
        EXPECT_EQ(Count(QStringLiteral("tClientOpenPositions")), round + 1);
        EXPECT_EQ(DatMod.tClientOpenPositions().RecordCount(), round + 1);
    }
}

// The highest transaction number ever issued: the report's highest trans_id, or the
// number kept in tLastTransId when that is higher (a line whose report row could not be
// booked). A bridge database made without tLastTransId gets it on a SQLite file; through
// ODBC the table is used where it exists and the report alone counts where it does not.
TEST_P(DatModTest, HighestTransactionNumberEverIssued)
{
    const bool sqlite = GetParam() == TTestEngine::Sqlite;
    auto hasKeptTable = [this] {
        return Bases.Scalar(Bases.BridgePath(),
                            QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE name = 'tLastTransId'")).toInt() == 1;
    };
    auto kept = [this] { return Bases.Scalar(Bases.BridgePath(), QStringLiteral("SELECT trans_id FROM tLastTransId")); };
    auto book = [this](qint64 transId) {
        Bases.Insert(Bases.BridgePath(), QStringLiteral("tOrderNumber"),
                     {{QStringLiteral("trans_id"), transId}, {QStringLiteral("code"), QStringLiteral("C1")}});
    };

    Connect();
    EXPECT_EQ(DatMod.HighestTransId(), -1); // a new database: the first number is 0
    EXPECT_EQ(hasKeptTable(), sqlite);
    for (int transId = 0; transId < 5; ++transId)
        book(transId);
    EXPECT_EQ(DatMod.HighestTransId(), 4);

    // Transaction 9's row could not be booked; the number is kept all the same, and a
    // lower number never lowers it.
    DatMod.KeepHighestTransId(9);
    DatMod.KeepHighestTransId(7);
    EXPECT_EQ(DatMod.HighestTransId(), sqlite ? 9 : 4);
    if (sqlite) {
        EXPECT_EQ(kept(), QVariant(9));
    }
    Connect(); // another opening of the connection reads the same
    EXPECT_EQ(DatMod.HighestTransId(), sqlite ? 9 : 4);
    book(12);
    EXPECT_EQ(DatMod.HighestTransId(), 12);

    // The table made by hand is used through ODBC as well; a row emptied out by hand
    // comes back at the next number kept.
    if (!sqlite)
        Bases.Exec(Bases.BridgePath(), QStringLiteral("CREATE TABLE tLastTransId (trans_id INTEGER)"));
    Bases.Exec(Bases.BridgePath(), QStringLiteral("DELETE FROM tLastTransId"));
    Connect();
    DatMod.KeepHighestTransId(20);
    EXPECT_EQ(kept(), QVariant(20));
    EXPECT_EQ(Bases.Scalar(Bases.BridgePath(), QStringLiteral("SELECT COUNT(*) FROM tLastTransId")).toInt(), 1);
    EXPECT_EQ(DatMod.HighestTransId(), 20);

    // Numbers beyond 32 bits written by another program: the numbering is at its end.
    // (Through ODBC the column reads as the 32-bit number an Access column holds.)
    if (sqlite) {
        book(5000000000LL);
        EXPECT_EQ(DatMod.HighestTransId(), std::numeric_limits<qint32>::max());
    }
}

#ifdef Q_OS_UNIX
// The bridge file's write-ahead journal removed or replaced by another program under the
// connection: a batch commits nothing more, naming the journal, and what earlier batches
// committed is copied into the file itself, where it outlives the connection (read here
// from a copy of the file as the disk holds it, the journal the connection holds left
// out). Over ODBC the connection holds no such journal of its own.
TEST_P(DatModTest, BatchRefusesToCommitOnceTheBridgeJournalIsRemovedOrReplaced)
{
    if (GetParam() != TTestEngine::Sqlite)
        GTEST_SKIP() << "the ODBC driver keeps its SQLite file's journal to itself";
    struct TCase {
        const char* Suffix;
        bool Replace; // another file renamed over it, else removed
    };
    const TCase cases[] = {{"-wal", false}, {"-shm", false}, {"-wal", true}};
    int number = 0;
    for (const TCase& c : cases) {
        const QString journal = Bases.BridgePath() + QLatin1String(c.Suffix);
        SCOPED_TRACE(journal.toStdString() + (c.Replace ? " replaced" : " removed"));
        Connect();
        {
            TBatch batch(DatMod.conQuikData());
            DatMod.KeepHighestTransId(++number);
            batch.Commit();
        }
        ASSERT_TRUE(QFile::exists(journal));
        if (c.Replace) {
            const QString other = Bases.FilePath(QStringLiteral("other"));
            ASSERT_TRUE(QFile::copy(journal, other));
            ASSERT_EQ(std::rename(QFile::encodeName(other).constData(), QFile::encodeName(journal).constData()), 0);
        } else {
            ASSERT_TRUE(QFile::remove(journal));
        }
        TBatch batch(DatMod.conQuikData());
        DatMod.KeepHighestTransId(number + 100);
        try {
            batch.Commit();
            ADD_FAILURE() << "committed";
        } catch (const TError& error) {
            EXPECT_TRUE(error.Text().contains(QStringLiteral("Журнал %1 файла базы данных %2 удален или заменен")
                                                  .arg(journal, Bases.BridgePath())))
                << error.Text().toStdString();
        }
        const QString left = Bases.FilePath(QStringLiteral("left%1.db").arg(number));
        ASSERT_TRUE(QFile::copy(Bases.BridgePath(), left));
        EXPECT_EQ(Bases.Scalar(left, QStringLiteral("SELECT trans_id FROM tLastTransId")), QVariant(number));
    }
}
#endif

TEST_P(DatModTest, AlertDataSetsAreAttachedTablesFirst)
{
    const QList<TDataSet*> expected{&DatMod.tFilledOrders(), &DatMod.tActiveOrders(), &DatMod.tCanceledOrders(),
                                    &DatMod.tOpenPisitions(), &DatMod.qFilledOrders(), &DatMod.qActiveOrders(),
                                    &DatMod.qCanceledOrders(), &DatMod.qUpdateOrderNumber(), &DatMod.qLastID()};
    EXPECT_EQ(DatMod.conOmega().DataSets(), expected);
    EXPECT_EQ(DatMod.tOpenPisitions().TableName(), QStringLiteral("OpenPositions"));
    EXPECT_EQ(DatMod.tClients().TableName(), QStringLiteral("tclients"));
    EXPECT_TRUE(DatMod.tParam().ReadOnly());
    EXPECT_TRUE(DatMod.tPortfolio().ReadOnly());
    EXPECT_FALSE(DatMod.tSecCode().ReadOnly());
}

// ---- data-module operations ----

TEST_P(DatModTest, GetLastIdOfClosedEmptyAndFilledTables)
{
    EXPECT_EQ(DatMod.GetLastId(DatMod.tFilledOrders()), -1);
    Connect();
    EXPECT_EQ(DatMod.GetLastId(DatMod.tFilledOrders()), 0);
    for (int i = 0; i < 3; ++i)
        Bases.Insert(Bases.AlertsPath(), QStringLiteral("FilledOrders"), {{QStringLiteral("Symbol"), QStringLiteral("SBER")}});
    Bases.Exec(Bases.AlertsPath(), QStringLiteral("DELETE FROM FilledOrders WHERE id = 2"));
    // Rows added since the last refresh count.
    EXPECT_EQ(DatMod.GetLastId(DatMod.tFilledOrders()), 3);
    EXPECT_EQ(DatMod.GetLastId(DatMod.tActiveOrders()), 0);
    DatMod.conOmega().Close();
    EXPECT_EQ(DatMod.GetLastId(DatMod.tFilledOrders()), -1);
}

TEST_P(DatModTest, NewOrdersAreTheRowsAboveTheLastAndUpToTheCurrentId)
{
    Connect();
    for (int i = 0; i < 6; ++i)
        Bases.Insert(Bases.AlertsPath(), QStringLiteral("CanceledOrders"), {{QStringLiteral("Symbol"), QStringLiteral("SBER")}});
    DatMod.OpenNewOrders(DatMod.qCanceledOrders(), QStringLiteral("CanceledOrders"), 2, 5);
    EXPECT_EQ(DatMod.qCanceledOrders().SQL, (QStringList{QStringLiteral("SELECT *"), QStringLiteral("FROM CanceledOrders"),
                                                     QStringLiteral("WHERE id >2 and id <=5")}));
    QList<int> ids;
    for (; !DatMod.qCanceledOrders().Eof(); DatMod.qCanceledOrders().Next())
        ids << DatMod.qCanceledOrders().FieldByName(QStringLiteral("ID")).AsInteger();
    EXPECT_EQ(ids, (QList<int>{3, 4, 5}));
}

TEST_P(DatModTest, OrderNumberIsWrittenIntoTheBracketedColumnOfTheRightTable)
{
    Connect();
    for (const QString& table : {QStringLiteral("FilledOrders"), QStringLiteral("ActiveOrders")}) {
        for (int i = 0; i < 2; ++i)
            Bases.Insert(Bases.AlertsPath(), table, {{QStringLiteral("Symbol"), QStringLiteral("SBER")}});
    }
    DatMod.UpdateOrderNumber(true, 2);
    DatMod.UpdateOrderNumber(false, 1);
    DatMod.UpdateOrderNumber(false, 1); // twice for two clients: the same as once
    EXPECT_EQ(DatMod.qUpdateOrderNumber().SQL, (QStringList{QStringLiteral("UPDATE ActiveOrders"),
                                                        QStringLiteral("SET [order number] = :order_number"),
                                                        QStringLiteral("WHERE id = :id")}));
    auto number = [&](const QString& table, int id) {
        return Bases.Scalar(Bases.AlertsPath(), QStringLiteral("SELECT [Order Number] FROM %1 WHERE ID = %2").arg(table).arg(id));
    };
    EXPECT_EQ(number(QStringLiteral("FilledOrders"), 2), QVariant(QStringLiteral("2")));
    EXPECT_TRUE(number(QStringLiteral("FilledOrders"), 1).isNull());
    EXPECT_EQ(number(QStringLiteral("ActiveOrders"), 1), QVariant(QStringLiteral("1")));
    EXPECT_TRUE(number(QStringLiteral("ActiveOrders"), 2).isNull());
    // The column is text, as the platform reads it.
    EXPECT_EQ(Bases.Scalar(Bases.AlertsPath(), QStringLiteral("SELECT typeof([Order Number]) FROM FilledOrders WHERE ID = 2")).toString(),
              QStringLiteral("text"));
}

TEST_P(DatModTest, SecurityWithoutCodeIsRefusedAndBlanksAreAccepted)
{
    Connect();
    auto sums = [this] { return Events.Count(QStringLiteral("sums")); };
    TTable& table = DatMod.tSecCode();
    table.Append();
    table.FieldByName(QStringLiteral("Ticker")).SetValue(QStringLiteral("SBER"));
    EXPECT_FALSE(table.Post());
    table.FieldByName(QStringLiteral("SecCode")).SetValue(QString(""));
    EXPECT_FALSE(table.Post());
    EXPECT_EQ(Env.Messages, (QStringList(2, QStringLiteral("Введите данные в поле \"Код в Quik`е\""))));
    EXPECT_EQ(table.State(), TDataSet::TState::Insert);
    EXPECT_EQ(Count(QStringLiteral("tSecCode")), 0);
    EXPECT_EQ(sums(), 0);

    table.FieldByName(QStringLiteral("SecCode")).SetValue(QStringLiteral("   "));
    EXPECT_TRUE(table.Post());
    EXPECT_EQ(Count(QStringLiteral("tSecCode")), 1);
    EXPECT_EQ(sums(), 1);
    table.Delete();
    EXPECT_EQ(Count(QStringLiteral("tSecCode")), 0);
    EXPECT_EQ(sums(), 2);
    EXPECT_EQ(Env.Messages.size(), 2);
}

TEST_P(DatModTest, SecurityWhosePriceValuesMakeNoPriceIsRefused)
{
    Connect();
    TTable& table = DatMod.tSecCode();
    struct Case { const char* column; QVariant value; bool stored; };
    const Case cases[] = {
        {"Digits", 2147483647, false}, {"Digits", -16, false}, {"Slippage", 1e308, false},
        {"Slippage", 100, false},      {"Digits", 15, true},   {"Slippage", 99.5, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.column);
        Env.Messages.clear();
        table.Append();
        table.FieldByName(QStringLiteral("SecCode")).SetValue(QStringLiteral("ABCD"));
        table.FieldByName(QString::fromLatin1(c.column)).SetValue(c.value);
        EXPECT_EQ(table.Post(), c.stored) << c.value.toString().toStdString();
        if (c.stored) {
            EXPECT_TRUE(Env.Messages.isEmpty());
        } else {
            ASSERT_EQ(Env.Messages.size(), 1);
            EXPECT_TRUE(Env.Messages[0].startsWith(QStringLiteral("Поле %1").arg(QString::fromLatin1(c.column))));
            table.Cancel();
        }
    }
    EXPECT_EQ(Count(QStringLiteral("tSecCode")), 2);
}

TEST_P(DatModTest, GridEditThatCannotBeStoredIsShownToTheOperator)
{
    Connect();
    Bases.Insert(Bases.BridgePath(), QStringLiteral("tWorkSpaces"), {{QStringLiteral("workspace"), QStringLiteral("A.wsp")}});
    TTable& table = DatMod.tWorkSpaces();
    RefreshTable(table);
    ASSERT_EQ(table.RecordCount(), 1);
    // Another program takes the table away before the operator's edit is stored.
    Bases.Exec(Bases.BridgePath(), QStringLiteral("ALTER TABLE tWorkSpaces RENAME TO tMoved"));
    TDataSetModel& model = table.Model();
    EXPECT_FALSE(model.setData(model.index(0, table.FieldIndex(QStringLiteral("workspace"))), QStringLiteral("B.wsp")));
    ASSERT_EQ(Env.Errors.size(), 1);
    EXPECT_TRUE(Env.Errors[0].startsWith(QStringLiteral("Изменение в таблице tWorkSpaces не сохранено:\r\n")));
    EXPECT_GT(Env.Errors[0].size(), QStringLiteral("Изменение в таблице tWorkSpaces не сохранено:\r\n").size());
}

TEST_P(DatModTest, SecurityLookupIgnoresCaseAndTakesTheTickerAsAValue)
{
    Connect();
    Bases.Insert(Bases.BridgePath(), QStringLiteral("tSecCode"),
                 {{QStringLiteral("SecCode"), QStringLiteral("SBER")}, {QStringLiteral("Ticker"), QStringLiteral("СБЕР")},
                  {QStringLiteral("Traded"), true}, {QStringLiteral("LotSize"), 10}});
    Bases.Insert(Bases.BridgePath(), QStringLiteral("tSecCode"),
                 {{QStringLiteral("SecCode"), QStringLiteral("GAZP")}, {QStringLiteral("Ticker"), QStringLiteral("GAZP")}});
    struct Case { QString ticker; QString secCode; };
    const Case cases[] = {
        {QStringLiteral("сбер"), QStringLiteral("SBER")},
        {QStringLiteral("Сбер"), QStringLiteral("SBER")},
        {QStringLiteral("gazp"), QStringLiteral("GAZP")},
        {QStringLiteral("Ticker"), QString()},          // the column's own name
        {QStringLiteral("x\" or \"\"=\""), QString()},  // would close the quotes if pasted
        {QStringLiteral("СБЕРБ"), QString()},
    };
    for (const Case& c : cases) {
        DatMod.OpenSecCode(c.ticker);
        EXPECT_EQ(DatMod.qSecCode().SQL.last(), QStringLiteral("WHERE Ticker= :ticker"));
        if (c.secCode.isEmpty()) {
            EXPECT_TRUE(DatMod.qSecCode().IsEmpty()) << c.ticker.toStdString();
        } else {
            ASSERT_EQ(DatMod.qSecCode().RecordCount(), 1) << c.ticker.toStdString();
            EXPECT_EQ(DatMod.qSecCode().FieldByName(QStringLiteral("seccode")).AsString(), c.secCode);
        }
    }
    DatMod.OpenSecCode(QStringLiteral("сбер"));
    EXPECT_TRUE(DatMod.qSecCode().FieldByName(QStringLiteral("Traded")).AsBoolean());
    EXPECT_EQ(DatMod.qSecCode().FieldByName(QStringLiteral("LotSize")).AsInteger(), 10);
}

TEST_P(DatModTest, PortfolioLookupAndTotals)
{
    Connect();
    DatMod.qPortfolioSum().Open();
    EXPECT_EQ(DatMod.qPortfolioSum().FieldByName(QStringLiteral("SumId_client")).AsInteger(), 0);
    EXPECT_TRUE(DatMod.qPortfolioSum().FieldByName(QStringLiteral("SumCurAllAssets")).IsNull());
    DatMod.qPortfolioSum().Close();

    Bases.Insert(Bases.BridgePath(), QStringLiteral("tPortfolio"),
                 {{QStringLiteral("id_client"), QStringLiteral("Кл-1")}, {QStringLiteral("curallassets"), 1000.5},
                  {QStringLiteral("margin"), 2.0}});
    Bases.Insert(Bases.BridgePath(), QStringLiteral("tPortfolio"),
                 {{QStringLiteral("id_client"), QStringLiteral("C2")}, {QStringLiteral("curallassets"), 99.5},
                  {QStringLiteral("margin"), 4.0}});
    DatMod.OpenPortfolio(QStringLiteral("кл-1"));
    ASSERT_EQ(DatMod.qPortfolio().RecordCount(), 1);
    EXPECT_DOUBLE_EQ(DatMod.qPortfolio().FieldByName(QStringLiteral("CurAllAssets")).AsFloat(), 1000.5);

    DatMod.qPortfolioSum().Open();
    EXPECT_EQ(DatMod.qPortfolioSum().SQL.size(), 6);
    EXPECT_EQ(DatMod.qPortfolioSum().FieldByName(QStringLiteral("SumId_client")).AsInteger(), 2);
    EXPECT_DOUBLE_EQ(DatMod.qPortfolioSum().FieldByName(QStringLiteral("SumCurAllAssets")).AsFloat(), 1100.0);
    EXPECT_DOUBLE_EQ(DatMod.qPortfolioSum().FieldByName(QStringLiteral("AvgMargin")).AsFloat(), 3.0);
}

TEST_P(DatModTest, SecuritySumsCountOnlyTradedRows)
{
    Connect();
    DatMod.qSecCodeSum().Open();
    EXPECT_EQ(DatMod.qSecCodeSum().FieldByName(QStringLiteral("SumTraded")).AsInteger(), 0);
    EXPECT_EQ(DatMod.qSecCodeSum().FieldByName(QStringLiteral("SumFixVol")).AsFloat(), 0.0);
    DatMod.qSecCodeSum().Close();
    for (bool traded : {true, false, true})
        Bases.Insert(Bases.BridgePath(), QStringLiteral("tSecCode"),
                     {{QStringLiteral("SecCode"), QStringLiteral("X")}, {QStringLiteral("Traded"), traded},
                      {QStringLiteral("FixVol"), 100.0}, {QStringLiteral("Part"), 10.0}});
    DatMod.qSecCodeSum().Open();
    EXPECT_EQ(DatMod.qSecCodeSum().FieldByName(QStringLiteral("SumTraded")).AsInteger(), 2);
    EXPECT_DOUBLE_EQ(DatMod.qSecCodeSum().FieldByName(QStringLiteral("SumFixVol")).AsFloat(), 200.0);
    EXPECT_DOUBLE_EQ(DatMod.qSecCodeSum().FieldByName(QStringLiteral("SumPart")).AsFloat(), 20.0);
}

TEST_P(DatModTest, ActiveClientsAreTheRowsMarkedActive)
{
    Connect();
    DatMod.tClients().Append();
    DatMod.tClients().FieldByName(QStringLiteral("Code")).SetValue(QStringLiteral("C1"));
    DatMod.tClients().FieldByName(QStringLiteral("Active")).SetValue(true);
    DatMod.tClients().Post();
    DatMod.tClients().Append();
    DatMod.tClients().FieldByName(QStringLiteral("Code")).SetValue(QStringLiteral("C2"));
    DatMod.tClients().FieldByName(QStringLiteral("Active")).SetValue(false);
    DatMod.tClients().Post();
    DatMod.tClients().Append();
    DatMod.tClients().FieldByName(QStringLiteral("Code")).SetValue(QStringLiteral("C3"));
    DatMod.tClients().Post(); // Active left empty
    DatMod.qActiveClients().Open();
    ASSERT_EQ(DatMod.qActiveClients().RecordCount(), 1);
    EXPECT_EQ(DatMod.qActiveClients().FieldByName(QStringLiteral("code")).AsString(), QStringLiteral("C1"));
}

TEST_P(DatModTest, ExitQuantityMatchesAllSixValuesAndDeleteTakesEveryMatch)
{
    Connect();
    const TPositionKey key{QStringLiteral("C1"), QStringLiteral("SBER"), QStringLiteral("Канал(10)"),
                           QStringLiteral("Work \"1\".wsp"), QStringLiteral("5 min"), QStringLiteral("Long")};
    auto addPosition = [&](const TPositionKey& k, int quantity) {
        Bases.Insert(Bases.BridgePath(), QStringLiteral("tClientOpenPositions"),
                     {{QStringLiteral("code"), k.Code}, {QStringLiteral("symbol"), k.Symbol},
                      {QStringLiteral("System"), k.System}, {QStringLiteral("Workspace"), k.Workspace},
                      {QStringLiteral("Interval"), k.Interval}, {QStringLiteral("Position"), k.Position},
                      {QStringLiteral("quantity"), quantity}});
    };
    addPosition(key, 7);
    addPosition(key, 3);
    TPositionKey shortKey = key;
    shortKey.Position = QStringLiteral("Short");
    addPosition(shortKey, 5);

    DatMod.OpenExitQty(key);
    ASSERT_EQ(DatMod.qExitQty().RecordCount(), 2);
    EXPECT_EQ(DatMod.qExitQty().FieldByName(QStringLiteral("Quantity")).AsInteger(), 7);
    TPositionKey lower = key;
    lower.System = QStringLiteral("канал(10)");
    DatMod.OpenExitQty(lower);
    EXPECT_EQ(DatMod.qExitQty().RecordCount(), 2);
    for (QString TPositionKey::*member : {&TPositionKey::Code, &TPositionKey::Symbol, &TPositionKey::System,
                                          &TPositionKey::Workspace, &TPositionKey::Interval}) {
        TPositionKey other = key;
        other.*member += QStringLiteral("x");
        DatMod.OpenExitQty(other);
        EXPECT_TRUE(DatMod.qExitQty().IsEmpty());
        EXPECT_EQ(DatMod.DeleteExitQty(other), 0);
    }
    EXPECT_EQ(DatMod.DeleteExitQty(key), 2);
    EXPECT_EQ(DatMod.qExitQty().SQL.first(), QStringLiteral("DELETE"));
    EXPECT_EQ(Count(QStringLiteral("tClientOpenPositions")), 1);
    DatMod.OpenExitQty(shortKey);
    EXPECT_EQ(DatMod.qExitQty().SQL.first(), QStringLiteral("SELECT Quantity"));
    EXPECT_EQ(DatMod.qExitQty().FieldByName(QStringLiteral("quantity")).AsInteger(), 5);
}

TEST_P(DatModTest, PositionBookedWithEmptyTextsIsFoundByTheExit)
{
    // A strategy order without an interval or signal: the texts read from the alert row
    // are empty, the booked row and the exit's parameters must still be equal.
    Connect();
    TTable& positions = DatMod.tClientOpenPositions();
    const TPositionKey key{QStringLiteral("C1"), QStringLiteral("SBER"), QStringLiteral("Channel"), QString(),
                           QString(), QStringLiteral("Short")};
    positions.Append();
    positions.FieldByName(QStringLiteral("quantity")).SetValue(4);
    positions.FieldByName(QStringLiteral("symbol")).SetValue(key.Symbol);
    positions.FieldByName(QStringLiteral("code")).SetValue(key.Code);
    positions.FieldByName(QStringLiteral("system")).SetValue(key.System);
    positions.FieldByName(QStringLiteral("signal")).SetValue(QString());
    positions.FieldByName(QStringLiteral("interval")).SetValue(key.Interval);
    positions.FieldByName(QStringLiteral("workspace")).SetValue(key.Workspace);
    positions.FieldByName(QStringLiteral("position")).SetValue(key.Position);
    ASSERT_TRUE(positions.Post());
    DatMod.OpenExitQty(key);
    ASSERT_EQ(DatMod.qExitQty().RecordCount(), 1);
    EXPECT_EQ(DatMod.qExitQty().FieldByName(QStringLiteral("Quantity")).AsInteger(), 4);
    EXPECT_EQ(DatMod.DeleteExitQty(key), 1);
    RefreshTable(positions);
    EXPECT_TRUE(positions.IsEmpty());
}

TEST_P(DatModTest, TransactionResultIsBookedAndFoundForAWithdrawal)
{
    Connect();
    auto book = [&](int transId, int orderId, bool filled, const QString& code) {
        DatMod.tOrderNumber().Append();
        DatMod.tOrderNumber().FieldByName(QStringLiteral("trans_id")).SetValue(transId);
        DatMod.tOrderNumber().FieldByName(QStringLiteral("id_order")).SetValue(orderId);
        DatMod.tOrderNumber().FieldByName(QStringLiteral("filled")).SetValue(filled);
        DatMod.tOrderNumber().FieldByName(QStringLiteral("code")).SetValue(code);
        DatMod.tOrderNumber().Post();
    };
    book(0, 41, false, QStringLiteral("C1"));
    book(1, 41, false, QStringLiteral("C1"));
    book(2, 41, true, QStringLiteral("C1"));
    book(3, 41, false, QStringLiteral("КЛ2"));

    DatMod.OpenTransaction(2);
    ASSERT_EQ(DatMod.qQuikData().RecordCount(), 1);
    EXPECT_EQ(DatMod.qQuikData().FieldByName(QStringLiteral("id_order")).AsInteger(), 41);
    EXPECT_TRUE(DatMod.qQuikData().FieldByName(QStringLiteral("filled")).AsBoolean());
    DatMod.OpenTransaction(0);
    EXPECT_FALSE(DatMod.qQuikData().FieldByName(QStringLiteral("filled")).AsBoolean());
    DatMod.OpenTransaction(9);
    EXPECT_TRUE(DatMod.qQuikData().IsEmpty());

    EXPECT_EQ(DatMod.BookTransactionResult(0, 3, QStringLiteral("new"), QStringLiteral("ok"), 111), 1);
    EXPECT_EQ(DatMod.BookTransactionResult(1, 3, QStringLiteral("new \"x\""), QStringLiteral("Заявка; order_number=0"),
                                           5000000000LL), 1);
    EXPECT_EQ(DatMod.BookTransactionResult(9, 3, QStringLiteral("new"), QStringLiteral("ok"), 1), 0);
    EXPECT_EQ(DatMod.qQuikData().SQL[1],
              QStringLiteral("SET status =:status,trans_name= :trans_name ,description= :description, order_number=:order_number"));
    EXPECT_EQ(DatMod.qQuikData().SQL[2], QStringLiteral("WHERE trans_id = :trans_id"));
    EXPECT_EQ(Bases.Scalar(Bases.BridgePath(), QStringLiteral("SELECT description FROM tOrderNumber WHERE trans_id = 1")).toString(),
              QStringLiteral("Заявка; order_number=0"));
    EXPECT_EQ(Bases.Scalar(Bases.BridgePath(), QStringLiteral("SELECT trans_name FROM tOrderNumber WHERE trans_id = 1")).toString(),
              QStringLiteral("new \"x\""));
    // A result whose order number could not be read keeps the number booked before.
    EXPECT_EQ(DatMod.BookTransactionResult(0, 4, QStringLiteral("again"), QStringLiteral("ok"), std::nullopt), 1);
    EXPECT_EQ(Bases.Scalar(Bases.BridgePath(), QStringLiteral("SELECT order_number FROM tOrderNumber WHERE trans_id = 0")).toLongLong(),
              111);
    EXPECT_EQ(Bases.Scalar(Bases.BridgePath(), QStringLiteral("SELECT status FROM tOrderNumber WHERE trans_id = 0")).toInt(), 4);

    // The withdrawal takes the last transaction of the strategy order and client.
    DatMod.OpenOrderNumbers(41, false, QStringLiteral("c1"));
    EXPECT_EQ(DatMod.qQuikData().SQL[2], QStringLiteral("WHERE id_order = 41 and Filled=False and code= :code"));
    ASSERT_EQ(DatMod.qQuikData().RecordCount(), 2);
    DatMod.qQuikData().Last();
    EXPECT_EQ(DatMod.qQuikData().FieldByName(QStringLiteral("order_number")).AsLargeInt(), 5000000000LL);
    DatMod.OpenOrderNumbers(41, true, QStringLiteral("C1"));
    ASSERT_EQ(DatMod.qQuikData().RecordCount(), 1);
    EXPECT_EQ(DatMod.qQuikData().FieldByName(QStringLiteral("order_number")).AsString(), QString());
    DatMod.OpenOrderNumbers(41, false, QStringLiteral("кл2"));
    EXPECT_EQ(DatMod.qQuikData().RecordCount(), 1);
}

} // namespace
