// The program stopped and started again over the same databases and terminal files:
// transaction numbers go on where the bridge database left them, the results the
// terminal writes late for the earlier run are booked on that run's transactions, and a
// withdrawal after the restart finds the exchange order placed before it.

#include "base/CodePage.h"
#include "shell/MainCore.h"
#include "tests/support/TestDatabases.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <gtest/gtest.h>

namespace {

class RestartTest : public ::testing::Test {
protected:
    TTestEnvironment Env;
    TTestDatabases Bases;
    QTemporaryDir ProgramDir;
    TOperationLog Log{Env.Environment};
    std::unique_ptr<TMainCore> Core;

    QString Quik(const QString& name) const { return Bases.FilePath(QStringLiteral("quik/") + name); }

    void SetUp() override
    {
        QDir(Bases.Folder()).mkdir(QStringLiteral("quik"));
        Log.OpenFile(Bases.FilePath(QStringLiteral("Zovrant.log")));
        // The ticks are the test's own; the link timer stays still.
        WriteWholeFile(QDir(ProgramDir.path()).filePath(QStringLiteral("Zovrant.ini")),
                       "[Quik]\r\nQuikConnectTimeOut=0\r\n");
        Bases.SeedTwoClients();
    }

    // One run of the program: a new core over the same databases and terminal files,
    // started, connected and watching the orders placed in advance, as the operator
    // starts it. The core of the run before is gone, as a stopped program is.
    void StartRun(int singleMulti = 0)
    {
        Core.reset();
        Core = std::make_unique<TMainCore>(Env.Environment, Log, ProgramDir.path() + QLatin1Char('/'));
        TSettings& s = Core->Settings();
        PointAtTestFiles(s, Bases);
        s.edtTime1 = QStringLiteral("00:00:00");
        s.edtTime2 = QStringLiteral("23:59:59");
        s.rgpPositionSize = 0;
        s.rgpFilled = 0;
        s.rgpSingleMulti = singleMulti;
        s.edtCode = QStringLiteral("C1");
        Core->Watch().StartUp();
        Core->RunGuarded([this] { Core->Watch().actConnectToBaseExecute(); });
        ASSERT_TRUE(Core->actStartWatchEnabled());
        Core->Watch().actStartWatchExecute();
        ASSERT_TRUE(Core->Watch().Watching());
    }

    void Tick() { Core->RunGuarded([this] { Core->Watch().timTable(); }); }

    void AddOrder(const QString& table, int id, const QString& wording, const QString& orderNumber = {})
    {
        QVariantMap values{{QStringLiteral("ID"), id},
                           {QStringLiteral("Symbol"), QStringLiteral("SBER")},
                           {QStringLiteral("OrderType"), QStringLiteral("LE")},
                           {QStringLiteral("Order"), wording},
                           {QStringLiteral("System"), QStringLiteral("Trend(5,10)")},
                           {QStringLiteral("Workspace"), QStringLiteral("C:\\Omega\\Demo.wsp")},
                           {QStringLiteral("Signal"), QStringLiteral("Breakout")},
                           {QStringLiteral("Interval"), QStringLiteral("5 min")}};
        if (!orderNumber.isEmpty())
            values.insert(QStringLiteral("Order Number"), orderNumber);
        Bases.Insert(Bases.AlertsPath(), table, values);
    }
    // The terminal's answer to a transaction, appended to the result file.
    void Answer(const QByteArray& line)
    {
        QFile file(Quik(QStringLiteral("trans.tro")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Append));
        file.write(line + "\r\n");
    }

    QStringList TriLines() const
    {
        return FromCp1251(ReadWholeFile(Quik(QStringLiteral("trans.tri")))).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    }
    bool LogHas(const QString& text) const
    {
        for (int i = 0; i < Log.LineCount(); ++i)
            if (Log.Line(i).contains(text))
                return true;
        return false;
    }
    QVariant Bridge(const QString& statement) { return Bases.Scalar(Bases.BridgePath(), statement); }
    QVariant Alerts(const QString& statement) { return Bases.Scalar(Bases.AlertsPath(), statement); }
};

TEST_F(RestartTest, NumbersGoOnAndTheEarlierRunsTransactionsServeLateResultsAndWithdrawals)
{
    // The first run places two orders in advance; the terminal answers the first.
    ASSERT_NO_FATAL_FAILURE(StartRun());
    AddOrder(QStringLiteral("ActiveOrders"), 1, QStringLiteral("Buy 3 at 250.50 Limit"));
    AddOrder(QStringLiteral("ActiveOrders"), 2, QStringLiteral("Buy 4 at 249.00 Limit"));
    Tick();
    ASSERT_EQ(TriLines().size(), 2);
    EXPECT_TRUE(TriLines()[0].startsWith(QStringLiteral("TRANS_ID =0;ACTION=NEW_ORDER;")));
    EXPECT_TRUE(TriLines()[1].startsWith(QStringLiteral("TRANS_ID =1;ACTION=NEW_ORDER;")));
    Answer("TRANS_ID=0;STATUS=3;TRANS_NAME=\"new\";DESCRIPTION=\"ok\";ORDER_NUMBER=5001;");
    Tick();
    ASSERT_EQ(Bridge(QStringLiteral("SELECT order_number FROM tOrderNumber WHERE trans_id = 0")).toLongLong(), 5001);

    // The program stops and starts again; the terminal's files are emptied at the start.
    ASSERT_NO_FATAL_FAILURE(StartRun());
    EXPECT_TRUE(TriLines().isEmpty());
    EXPECT_EQ(Core->StatusBarTexts().Transactions, QStringLiteral("Отправлено транзакций: 0/0/0"));
    EXPECT_EQ(Bridge(QStringLiteral("SELECT COUNT(*) FROM tOrderNumber")).toInt(), 2);

    // The terminal answers the earlier run's second transaction only now: the answer is
    // booked on that transaction's row and marks the order it came from.
    Answer("TRANS_ID=1;STATUS=3;TRANS_NAME=\"new\";DESCRIPTION=\"ok\";ORDER_NUMBER=5002;");
    Tick();
    EXPECT_EQ(Bridge(QStringLiteral("SELECT COUNT(*) FROM tOrderNumber WHERE trans_id = 1")).toInt(), 1);
    EXPECT_EQ(Bridge(QStringLiteral("SELECT id_order || '/' || status || '/' || order_number FROM tOrderNumber WHERE trans_id = 1")).toString(),
              QStringLiteral("2/3/5002"));
    EXPECT_EQ(Alerts(QStringLiteral("SELECT [Order Number] FROM ActiveOrders WHERE ID = 2")).toString(), QStringLiteral("2"));

    // A new order of this run takes the next number, not 0 again.
    AddOrder(QStringLiteral("ActiveOrders"), 3, QStringLiteral("Buy 5 at 248.00 Limit"));
    Tick();
    ASSERT_EQ(TriLines().size(), 1);
    EXPECT_TRUE(TriLines()[0].startsWith(QStringLiteral("TRANS_ID =2;ACTION=NEW_ORDER;"))) << TriLines()[0].toStdString();

    // The strategy cancels both orders of the earlier run: each withdrawal names the
    // exchange order placed before the restart.
    AddOrder(QStringLiteral("CanceledOrders"), 1, QStringLiteral("Buy 3 at 250.50 Limit"), QStringLiteral("1"));
    AddOrder(QStringLiteral("CanceledOrders"), 2, QStringLiteral("Buy 4 at 249.00 Limit"), QStringLiteral("2"));
    Tick();
    ASSERT_EQ(TriLines().size(), 3);
    EXPECT_TRUE(TriLines()[1].startsWith(QStringLiteral("TRANS_ID =3;ACTION=KILL_ORDER;"))) << TriLines()[1].toStdString();
    EXPECT_TRUE(TriLines()[1].contains(QStringLiteral(";Order_key=5001;")));
    EXPECT_TRUE(TriLines()[2].startsWith(QStringLiteral("TRANS_ID =4;ACTION=KILL_ORDER;"))) << TriLines()[2].toStdString();
    EXPECT_TRUE(TriLines()[2].contains(QStringLiteral(";Order_key=5002;")));

    // The status bar counts this run's transactions and results.
    EXPECT_EQ(Core->StatusBarTexts().Transactions, QStringLiteral("Отправлено транзакций: 3/0/1"));
    EXPECT_TRUE(Env.Errors.isEmpty()) << Env.Errors.join(QLatin1Char('\n')).toStdString();
}

// A line whose report row cannot be booked never goes out, nor do the other lines of its
// order: the order goes to no account, watching stops with a box naming the order and its
// accounts, and the numbers handed out are not handed out again, in this run or the next.
TEST_F(RestartTest, LineThatCannotBeBookedNeverGoesOutAndWatchingStops)
{
    Bases.Exec(Bases.BridgePath(), QStringLiteral("CREATE TRIGGER RefuseC2 BEFORE INSERT ON tOrderNumber "
                                                  "WHEN NEW.code = 'C2' BEGIN SELECT RAISE(ABORT, 'refused'); END"));
    ASSERT_NO_FATAL_FAILURE(StartRun(1)); // every active client
    AddOrder(QStringLiteral("ActiveOrders"), 1, QStringLiteral("Buy 3 at 250.50 Limit"));
    Tick();
    EXPECT_TRUE(TriLines().isEmpty()) << TriLines().join(QLatin1Char('\n')).toStdString();
    EXPECT_FALSE(Core->Watch().Watching());
    ASSERT_EQ(Env.Errors.size(), 1);
    EXPECT_TRUE(Env.Errors[0].contains(QStringLiteral("ордер # 1 не отправлен ни на один счет (C1, C2)")))
        << Env.Errors[0].toStdString();
    EXPECT_EQ(Bridge(QStringLiteral("SELECT COUNT(*) FROM tOrderNumber")).toInt(), 0); // C1's booking rolled back
    EXPECT_TRUE(LogHas(QStringLiteral("Загрузка ордеров остановлена.")));
    EXPECT_TRUE(LogHas(QStringLiteral("Ошибка базы данных Quik: ордер # 1 не отправлен ни на один счет (C1, C2)")));

    // Later rows wait for the operator: nothing is read while watching is off.
    AddOrder(QStringLiteral("ActiveOrders"), 2, QStringLiteral("Buy 4 at 249.00 Limit"));
    Tick();
    EXPECT_TRUE(TriLines().isEmpty());

    // The operator mends the database and starts watching again: the order that failed
    // and the one that came while watching was off are named, not sent.
    Bases.Exec(Bases.BridgePath(), QStringLiteral("DROP TRIGGER RefuseC2"));
    Core->Watch().actStartWatchExecute();
    ASSERT_EQ(Env.Errors.size(), 2);
    EXPECT_TRUE(Env.Errors[1].contains(QStringLiteral("Ордер # 1 из таблицы ActiveOrders")));
    EXPECT_TRUE(Env.Errors[1].contains(QStringLiteral("Ордер # 2 из таблицы ActiveOrders")));
    EXPECT_TRUE(TriLines().isEmpty());
    AddOrder(QStringLiteral("ActiveOrders"), 3, QStringLiteral("Buy 4 at 249.00 Limit"));
    Tick();
    ASSERT_EQ(TriLines().size(), 2);
    EXPECT_TRUE(TriLines()[0].startsWith(QStringLiteral("TRANS_ID =2;ACTION=NEW_ORDER;ACCOUNT=ACC-C1;"))) << TriLines()[0].toStdString();
    EXPECT_TRUE(TriLines()[1].startsWith(QStringLiteral("TRANS_ID =3;ACTION=NEW_ORDER;ACCOUNT=ACC-C2;"))) << TriLines()[1].toStdString();

    ASSERT_NO_FATAL_FAILURE(StartRun(1));
    AddOrder(QStringLiteral("ActiveOrders"), 4, QStringLiteral("Buy 5 at 249.00 Limit"));
    Tick();
    ASSERT_EQ(TriLines().size(), 2);
    EXPECT_TRUE(TriLines()[0].startsWith(QStringLiteral("TRANS_ID =4;"))) << TriLines()[0].toStdString();
    EXPECT_EQ(Env.Errors.size(), 2);
}

// Orders the platform adds while the program is down, or that a run read but did not
// handle, are named once at the next start of watching (log, box) and never sent by
// themselves: they may be stale. Ids the platform gives out again are read and logged,
// never skipped silently.
TEST_F(RestartTest, OrdersThatCameWhileDownAreNamedOnceAndNotSent)
{
    ASSERT_NO_FATAL_FAILURE(StartRun());
    AddOrder(QStringLiteral("ActiveOrders"), 1, QStringLiteral("Buy 3 at 250.50 Limit"));
    Tick();
    ASSERT_EQ(TriLines().size(), 1);
    ASSERT_TRUE(Env.Errors.isEmpty()) << Env.Errors.join(QLatin1Char('\n')).toStdString();

    // The program is down while the platform adds orders.
    Core.reset();
    AddOrder(QStringLiteral("ActiveOrders"), 2, QStringLiteral("Buy 4 at 249.00 Limit"));
    AddOrder(QStringLiteral("FilledOrders"), 1, QStringLiteral("Buy 5 at Market"));
    AddOrder(QStringLiteral("ActiveOrders"), 3, QStringLiteral("Sell 1 at 251.00 Limit\r\n01.01.2026 forged line"));
    ASSERT_NO_FATAL_FAILURE(StartRun());
    ASSERT_EQ(Env.Errors.size(), 1);
    const QString told = Env.Errors[0];
    EXPECT_TRUE(told.contains(QStringLiteral("автоматически не отправляются"))) << told.toStdString();
    for (const QString& named : {QStringLiteral("Ордер # 2 из таблицы ActiveOrders"),
                                 QStringLiteral("Ордер # 3 из таблицы ActiveOrders"),
                                 QStringLiteral("Ордер # 1 из таблицы FilledOrders")})
        EXPECT_TRUE(told.contains(named)) << named.toStdString();
    EXPECT_FALSE(told.contains(QStringLiteral("Ордер # 1 из таблицы ActiveOrders"))) << "handled by the run before";
    EXPECT_TRUE(told.contains(QStringLiteral("Sell 1 at 251.00 Limit\\r\\n01.01.2026 forged line")))
        << "a row's text stays on one line";
    EXPECT_TRUE(LogHas(QStringLiteral("SBER Buy 4 at 249.00 Limit")));
    Tick();
    EXPECT_TRUE(TriLines().isEmpty()) << TriLines().join(QLatin1Char('\n')).toStdString();

    // Named once: watching started again finds nothing new to name.
    Core->Watch().actStopWatchExecute();
    Core->Watch().actStartWatchExecute();
    EXPECT_EQ(Env.Errors.size(), 1);

    // The platform moves its rows out and gives their ids out again (as a compacted
    // database does): the rows under ids used before are read, each logged by its id.
    Bases.Exec(Bases.AlertsPath(), QStringLiteral("DELETE FROM ActiveOrders"));
    Tick();
    EXPECT_TRUE(TriLines().isEmpty());
    AddOrder(QStringLiteral("ActiveOrders"), 1, QStringLiteral("Buy 7 at 250.00 Limit"));
    AddOrder(QStringLiteral("ActiveOrders"), 2, QStringLiteral("Buy 8 at 250.00 Limit"));
    Tick();
    EXPECT_TRUE(LogHas(QStringLiteral("Ордер # 1 из таблицы ActiveOrders: id не больше уже прочитанного 3")));
    EXPECT_TRUE(LogHas(QStringLiteral("Ордер # 2 из таблицы ActiveOrders: id не больше уже прочитанного 3")));
    ASSERT_EQ(TriLines().size(), 2);
    EXPECT_TRUE(TriLines()[0].contains(QStringLiteral(";QUANTITY=7"))) << TriLines()[0].toStdString();
    EXPECT_TRUE(TriLines()[1].contains(QStringLiteral(";QUANTITY=8"))) << TriLines()[1].toStdString();
}

// A number that cannot be kept is a failure of the bridge database: the order's line does
// not go out and watching stops.
TEST_F(RestartTest, NumberThatCannotBeKeptStopsTheSending)
{
    ASSERT_NO_FATAL_FAILURE(StartRun());
    Bases.Exec(Bases.BridgePath(), QStringLiteral("ALTER TABLE tLastTransId RENAME TO tMoved"));
    AddOrder(QStringLiteral("ActiveOrders"), 1, QStringLiteral("Buy 3 at 250.50 Limit"));
    Tick();
    EXPECT_TRUE(TriLines().isEmpty());
    ASSERT_EQ(Env.Errors.size(), 1);
    EXPECT_TRUE(Env.Errors[0].contains(QStringLiteral("ордер # 1 не отправлен ни на один счет (C1)")))
        << Env.Errors[0].toStdString();
    EXPECT_FALSE(Core->Watch().Watching());
    EXPECT_EQ(Bridge(QStringLiteral("SELECT COUNT(*) FROM tOrderNumber")).toInt(), 0);
}

// A bridge file damaged inside (an index page overwritten) still opens; its quick check
// tells the operator at connection instead of letting it go unnoticed.
TEST_F(RestartTest, DamagedBridgeFileIsReportedAtConnection)
{
    for (int i = 0; i < 300; ++i)
        Bases.Insert(Bases.BridgePath(), QStringLiteral("tOrderNumber"),
                     {{QStringLiteral("trans_id"), i}, {QStringLiteral("id_order"), i}, {QStringLiteral("code"), QStringLiteral("C1")}});
    const QString page = Bridge(QStringLiteral("SELECT rootpage FROM sqlite_master WHERE type = 'index' "
                                               "AND tbl_name = 'tOrderNumber' LIMIT 1")).toString();
    ASSERT_FALSE(page.isEmpty());
    const qint64 pageSize = Bridge(QStringLiteral("PRAGMA page_size")).toLongLong();
    {
        QFile file(Bases.BridgePath());
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.seek((page.toLongLong() - 1) * pageSize + 8));
        file.write(QByteArray(64, '\x7f'));
    }
    StartRun();
    ASSERT_FALSE(Env.Errors.isEmpty());
    EXPECT_TRUE(Env.Errors[0].contains(QStringLiteral("повреждена (проверка PRAGMA quick_check)")))
        << Env.Errors[0].toStdString();
    EXPECT_TRUE(LogHas(QStringLiteral("повреждена (проверка PRAGMA quick_check)")));
}

} // namespace
