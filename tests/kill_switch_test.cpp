// The kill switch: which orders of the transaction report still rest, the queued lines
// it takes back, the block on new orders until trading resumes, and the whole command
// against the paper terminal, which keeps its orders and so tells what was really
// withdrawn. Every step waits for a condition, never for a stretch of time.

#include "base/CodePage.h"
#include "data/RestingOrders.h"
#include "shell/MainCore.h"
#include "tests/support/TestDatabases.h"
#include "tests/support/TestEnvironment.h"
#include "tools/SimulatorReady.h"
#include "tools/seed/DemoSeed.h"

#include <QDir>
#include <QProcess>
#include <gtest/gtest.h>

namespace {

const QString kTools = QStringLiteral(ZOVRANT_TOOLS_DIR);

TReportEntry Row(qint32 transId, const QString& code, std::optional<qint32> status, qint64 number)
{
    return TReportEntry{transId, 10 + transId, false, code, status, number};
}

QList<qint32> RestingTransIds(const QList<TReportEntry>& report)
{
    QList<qint32> ids;
    for (const TRestingOrder& order : RestingOrders(report))
        ids << order.TransId;
    return ids;
}

TEST(RestingOrdersTest, ReportRowsTellWhichOrdersStillRest)
{
    struct TCase {
        const char* Name;
        QList<TReportEntry> Report;
        QList<qint32> Resting;
    };
    const TCase cases[] = {
        {"numbered and registered", {Row(0, "C1", 3, 501)}, {0}},
        {"sent, not yet numbered", {Row(0, "C1", 0, 0), Row(1, "C1", std::nullopt, 0)}, {}},
        {"numbered before the final answer", {Row(0, "C1", 0, 502)}, {0}},
        {"refused by the terminal", {Row(0, "C1", 4, 503)}, {}},
        {"withdrawn", {Row(0, "C1", 3, 504), Row(1, "C1", 3, 504)}, {}},
        {"withdrawal refused: filled or gone", {Row(0, "C1", 3, 505), Row(1, "c1", 4, 505)}, {}},
        {"withdrawal not answered yet", {Row(0, "C1", 3, 506), Row(1, "C1", 0, 506)}, {0}},
        {"withdrawal sent, number not reported", {Row(0, "C1", 3, 507), Row(1, "C1", 3, 0)}, {0}},
        {"same number, other client", {Row(0, "C1", 3, 508), Row(1, "C2", 3, 508)}, {0, 1}},
        {"several orders, one withdrawn",
         {Row(0, "C1", 3, 509), Row(1, "C2", 3, 510), Row(2, "C3", 3, 511), Row(3, "C2", 3, 510)},
         {0, 2}},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(RestingTransIds(c.Report), c.Resting) << c.Name;
}

// The program's core on test databases seeded with the demo's desk (SBER, three active
// clients), the terminal's files in the folder "quik".
class KillSwitchTest : public ::testing::Test {
protected:
    TTestEnvironment Env;
    TTestDatabases Bases;
    QTemporaryDir ProgramDir;
    TOperationLog Log{Env.Environment};
    std::unique_ptr<TMainCore> Core;
    QProcess Terminal;

    QString Quik(const QString& name) const { return Bases.FilePath(QStringLiteral("quik/") + name); }

    void SetUp() override
    {
        QDir(Bases.Folder()).mkdir(QStringLiteral("quik"));
        Log.OpenFile(Bases.FilePath(QStringLiteral("Zovrant.log")));
        WriteWholeFile(QDir(ProgramDir.path()).filePath(QStringLiteral("Zovrant.ini")),
                       "[Quik]\r\nQuikConnectTimeOut=0\r\n");
        Core = std::make_unique<TMainCore>(Env.Environment, Log, ProgramDir.path() + QLatin1Char('/'));
        TSettings& s = Core->Settings();
        PointAtTestFiles(s, Bases);
        s.edtTime1 = QStringLiteral("00:00:00");
        s.edtTime2 = QStringLiteral("23:59:59");
        s.rgpPositionSize = 0;
        s.rgpFilled = 0; // orders placed in advance
        SeedDemoBridge(Bases.BridgePath(), 3);
    }

    void TearDown() override
    {
        Terminal.kill();
        Terminal.waitForFinished();
    }

    void Connect()
    {
        Core->Watch().StartUp();
        Core->Watch().actConnectToBaseExecute();
        ASSERT_TRUE(Core->DatMod().conQuikData().Connected());
    }

    void StartTerminal()
    {
        Terminal.start(kTools + QStringLiteral("/zovrant-terminal-sim"),
                       {QStringLiteral("--tri"), Core->Settings().edtTRI, QStringLiteral("--tro"), Core->Settings().edtTRO,
                        QStringLiteral("--info-log"), Core->Settings().edtInfoLog, QStringLiteral("--control"),
                        Quik(QStringLiteral("control")), QStringLiteral("--delay-ms"), QStringLiteral("20"),
                        QStringLiteral("--poll-ms"), QStringLiteral("10")});
        const QString error = WaitForReadyLine(Terminal);
        ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    }

    void Platform(const QString& script)
    {
        const QString path = Bases.FilePath(QStringLiteral("script.txt"));
        WriteWholeFile(path, (QStringLiteral("set | workspace | C:\\Omega\\Demo.wsp\nset | system | Trend(5,10)\n") + script).toUtf8());
        QProcess platform;
        platform.start(kTools + QStringLiteral("/zovrant-platform-sim"),
                       {QStringLiteral("--db"), Bases.AlertsPath(), QStringLiteral("--script"), path});
        ASSERT_TRUE(WaitForReadyLine(platform).isEmpty());
        ASSERT_TRUE(platform.waitForFinished(30000));
        ASSERT_EQ(platform.exitCode(), 0) << platform.readAllStandardError().toStdString();
    }

    void Control(const QByteArray& word)
    {
        WriteWholeFile(Quik(QStringLiteral("control")), word + '\n');
        const QString error = WaitForLine(Terminal, word, 30000);
        ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    }

    bool TickUntil(const std::function<bool()>& condition)
    {
        return WaitUntil([&] {
            Core->RunGuarded([this] { Core->Watch().timTable(); });
            return condition();
        });
    }

    QStringList TriLines() const
    {
        return FromCp1251(ReadWholeFile(Core->Settings().edtTRI)).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    }
    QStringList LinesWith(const QString& action) const
    {
        return TriLines().filter(QStringLiteral(";ACTION=") + action + QLatin1Char(';'));
    }
    int Count(const QString& where)
    {
        return Bases.Scalar(Bases.BridgePath(), QStringLiteral("SELECT COUNT(*) FROM tOrderNumber WHERE ") + where).toInt();
    }
    bool LogHas(const QString& text) const
    {
        for (const QString& line : LogLinesOf(Log))
            if (line.contains(text))
                return true;
        return false;
    }

    static TOmegaOrder Entry(qint64 id)
    {
        TOmegaOrder order;
        order.Id = id;
        order.Symbol = QStringLiteral("SBER");
        order.OrderType = QStringLiteral("LE");
        order.Order = QStringLiteral("Buy 10 at 250.50 Limit");
        order.System = QStringLiteral("Trend");
        order.Workspace = QStringLiteral("C:\\Omega\\Demo.wsp");
        return order;
    }
};

TEST_F(KillSwitchTest, QueuedNewOrdersAreDroppedMarkedAndBlockedUntilTradingResumes)
{
    ASSERT_NO_FATAL_FAILURE(Connect());
    const QString goodTri = Core->Settings().edtTRI;
    // A file that cannot be written keeps the line queued.
    Core->Settings().edtTRI = Bases.FilePath(QStringLiteral("missing/trans.tri"));
    EXPECT_ANY_THROW(Core->Dispatcher().ProcessOrder(Entry(1), &TOrderBuilder::NewOrder, false));
    ASSERT_EQ(Core->Writer().QueuedCount(), 1);
    ASSERT_EQ(Count(QStringLiteral("trans_id = 0 AND status IS NULL")), 1);

    Core->actKillSwitchExecute();
    EXPECT_TRUE(Core->KillSwitch().Engaged());
    EXPECT_EQ(Core->Writer().QueuedCount(), 0);
    EXPECT_EQ(Count(QStringLiteral("trans_id = 0 AND status = 2 AND description LIKE '") + TKillSwitch::DroppedDescription()
                    + QLatin1Char('\'')),
              1);
    EXPECT_TRUE(LogHas(QStringLiteral("Транзакция номер 0 не отправлена в Quik: аварийная остановка.")));
    ASSERT_EQ(Env.Errors.size(), 1); // the one box
    EXPECT_TRUE(Env.Errors[0].contains(QStringLiteral("Отправлено снятий заявок: 0. Не отправлено строк из очереди: 1.")))
        << Env.Errors[0].toStdString();

    // Blocked: nothing queued, nothing booked, the refusal logged.
    Core->Settings().edtTRI = goodTri;
    Core->Dispatcher().ProcessOrder(Entry(2), &TOrderBuilder::NewOrder, false);
    EXPECT_EQ(Core->Writer().QueuedCount(), 0);
    EXPECT_EQ(Count(QStringLiteral("1 = 1")), 1);
    EXPECT_TRUE(LogHas(TKillSwitch::RefusalText(2)));
    EXPECT_TRUE(TriLines().isEmpty());

    Core->actResumeTradingExecute();
    EXPECT_FALSE(Core->KillSwitch().Engaged());
    Core->Dispatcher().ProcessOrder(Entry(3), &TOrderBuilder::NewOrder, false);
    ASSERT_EQ(TriLines().size(), 1);
    EXPECT_TRUE(TriLines()[0].startsWith(QStringLiteral("TRANS_ID =1;ACTION=NEW_ORDER;")));
}

TEST_F(KillSwitchTest, RestingOrdersAreWithdrawnAgainstThePaperTerminal)
{
    Core->Settings().rgpSingleMulti = 1; // three active clients
    ASSERT_NO_FATAL_FAILURE(StartTerminal());
    ASSERT_NO_FATAL_FAILURE(Connect());
    Core->Watch().actStartWatchExecute();
    ASSERT_TRUE(Core->Watch().Watching());

    // Two limit orders to three clients each; a last price of 245 fills the first three
    // (the simulator has filled them once it prints the word).
    Platform(QStringLiteral("active | e1 | LE | Buy 10 at 250.50 Limit\nactive | e2 | LE | Buy 10 at 240.00 Limit\n"));
    ASSERT_TRUE(TickUntil([this] { return Count(QStringLiteral("status = 3 AND order_number > 0")) == 6; }));
    ASSERT_NO_FATAL_FAILURE(Control("quote SBER 245.00"));

    Core->actKillSwitchExecute();
    EXPECT_FALSE(Core->Watch().Watching());
    EXPECT_TRUE(Core->KillSwitch().Engaged());
    // The report cannot tell a fill: each numbered order gets its withdrawal, the
    // terminal withdraws the resting ones and refuses the filled.
    ASSERT_EQ(LinesWith(QStringLiteral("KILL_ORDER")).size(), 6);
    ASSERT_EQ(Env.Errors.size(), 1);
    EXPECT_TRUE(Env.Errors[0].contains(QStringLiteral("Отправлено снятий заявок: 6.")));
    ASSERT_TRUE(TickUntil([this] { return Count(QStringLiteral("trans_id >= 6 AND status IN (3, 4)")) == 6; }));
    EXPECT_EQ(Count(QStringLiteral("trans_id >= 6 AND status = 3 AND description LIKE 'Order withdrawn' AND id_order = 2")), 3);
    EXPECT_EQ(Count(QStringLiteral("trans_id >= 6 AND status = 4 AND description LIKE 'Order already filled' AND id_order = 1")), 3);

    // Known now: nothing rests, a second command withdraws nothing.
    Core->actKillSwitchExecute();
    EXPECT_EQ(LinesWith(QStringLiteral("KILL_ORDER")).size(), 6);
    EXPECT_TRUE(Env.Errors.last().contains(QStringLiteral("Отправлено снятий заявок: 0.")));

    // Watching again while blocked: a new strategy order is refused, a cancel still goes.
    Core->Watch().actStartWatchExecute();
    ASSERT_TRUE(Core->Watch().Watching());
    Platform(QStringLiteral("active | e3 | LE | Buy 10 at 230.00 Limit\ncancel-id | 2\n"));
    ASSERT_TRUE(TickUntil([this] { return LinesWith(QStringLiteral("KILL_ORDER")).size() == 9; }));
    EXPECT_TRUE(LogHas(TKillSwitch::RefusalText(3)));
    EXPECT_EQ(LinesWith(QStringLiteral("NEW_ORDER")).size(), 6);

    Core->actResumeTradingExecute();
    Platform(QStringLiteral("active | e4 | LE | Buy 10 at 230.00 Limit\n"));
    ASSERT_TRUE(TickUntil([this] { return LinesWith(QStringLiteral("NEW_ORDER")).size() == 9; }));
}

} // namespace
