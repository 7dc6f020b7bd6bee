// The paced import file: the token bucket driven by a clock of the test's own, the order
// in which queued lines leave (withdrawals first, an order's accounts in their order),
// today's single write with pacing off, the crash record of an order whose lines wait,
// and the kill switch's drop of the waiting new orders.

#include "base/CodePage.h"
#include "base/OperationLog.h"
#include "data/Settings.h"
#include "shell/MainCore.h"
#include "tests/support/TestDatabases.h"
#include "tests/support/TestEnvironment.h"
#include "tools/seed/DemoSeed.h"
#include "trade/TransWriter.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <algorithm>

namespace {

// A line of the given action for the given client; a withdrawal names exchange order 900.
TOrder Line(const char* action, const char* client)
{
    TOrder order;
    order.Action = QString::fromLatin1(action);
    order.Account = QStringLiteral("ACC01");
    order.SecCode = QStringLiteral("ABCD");
    order.ClassCode = QStringLiteral("BOARD1");
    order.ClientCode = QString::fromLatin1(client);
    order.Operation = QStringLiteral("B");
    order.Ticker = QStringLiteral("ABC");
    order.OrderType = QStringLiteral("LE");
    order.Digits = 2;
    order.Price = 100;
    order.StopPrice = 100.5;
    order.Quantity = 3;
    if (order.Action.startsWith(QStringLiteral("KILL")))
        order.OrderKey = QStringLiteral("900");
    return order;
}

// The writer over a file of a temporary folder, its clock the test's.
class PacingTest : public ::testing::Test {
protected:
    TTestEnvironment Env;
    QTemporaryDir Dir;
    TOperationLog Log{Env.Environment};
    TSettings Settings;
    TTransWriter Writer{Settings, Env.Environment, Log};
    qint64 NowMs = 5000;

    void SetUp() override
    {
        Env.Environment.MonotonicMs = [this] { return NowMs; };
        Settings.edtTRI = Dir.filePath(QStringLiteral("trans.tri"));
    }

    QStringList FileLines() const
    {
        return FromCp1251(ReadWholeFile(Settings.edtTRI)).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    }
    // "ACTION/CLIENT" of each line in the file, in file order.
    QStringList FileOrder() const
    {
        QStringList order;
        for (const QString& line : FileLines())
            order << line.section(QLatin1Char(';'), 1, 1).section(QLatin1Char('='), 1) + QLatin1Char('/')
                    + line.section(QLatin1Char(';'), 5, 5).section(QLatin1Char('='), 1);
        return order;
    }
};

// Lines queued at once leave as the drain timer would let them: the burst at once, then
// one line per 1/rate s. The wait the writer names is exact (a write a millisecond
// earlier lets nothing out), no second counted from any moment holds more than rate +
// burst lines, and over the run the rate holds.
TEST_F(PacingTest, BucketLetsOutTheBurstThenTheRateAndNamesTheWaitExactly)
{
    struct Case {
        int rate;
        int burst;
        int lines;
        int atOnce;      // lines in the first write
        qint64 lastAtMs; // when the last line goes, from the first write
    };
    const Case cases[] = {
        {20, 5, 60, 5, 55 * 50},    // 5 at once, then 55 more 50 ms apart
        {20, 0, 30, 1, 29 * 50},    // no burst: one line goes, the rest by the rate
        {3, 10, 16, 10, 2000},      // a burst above the rate; 1/3 s apart, to the ms
        {1, 0, 4, 1, 3 * 1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << "/s burst " << c.burst);
        QFile::remove(Settings.edtTRI);
        Settings.TxPerSecond = c.rate;
        Settings.TxBurst = c.burst;
        for (int i = 0; i < c.lines; ++i)
            Writer.QueueTransaction(Line("NEW_ORDER", "C1"));
        const qint64 start = NowMs;
        QList<qint64> times; // when each line reached the file
        Writer.WriteTransFile();
        times.insert(times.end(), FileLines().size(), NowMs);
        EXPECT_EQ(times.size(), c.atOnce);
        while (Writer.HasPending()) {
            const qint64 wait = Writer.DrainWaitMs();
            ASSERT_GT(wait, 0);
            NowMs += wait - 1;
            Writer.WriteTransFile();
            ASSERT_EQ(FileLines().size(), times.size()) << "a line went before the named wait";
            NowMs += 1;
            Writer.WriteTransFile();
            ASSERT_GT(FileLines().size(), times.size()) << "no line went when the wait was over";
            times.insert(times.end(), FileLines().size() - times.size(), NowMs);
        }
        EXPECT_EQ(Writer.DrainWaitMs(), -1);
        ASSERT_EQ(times.size(), c.lines);
        EXPECT_EQ(times.back() - start, c.lastAtMs);
        for (const qint64 from : times) {
            const auto inSecond = std::count_if(times.cbegin(), times.cend(),
                                                [&](qint64 t) { return t >= from && t < from + 1000; });
            EXPECT_LE(inSecond, c.rate + c.burst) << "second from " << from - start;
        }
        NowMs += 60000; // a quiet spell fills the bucket again
    }
}

// Withdrawals go ahead of the new orders queued before them; each kind keeps its order,
// so an order's accounts go in the order they were queued in. With pacing off every line
// goes in one write, in the order queued, whatever the clock.
TEST_F(PacingTest, WithdrawalsGoFirstAndEachKindKeepsItsOrder)
{
    struct Case {
        int rate;
        QStringList firstWrite;
        QStringList file;
    };
    const QStringList queued{"NEW_ORDER/C1", "NEW_ORDER/C2", "NEW_ORDER/C3", "KILL_ORDER/C2",
                             "KILL_STOP_ORDER/C1", "NEW_STOP_ORDER/C4"};
    const Case cases[] = {
        {0, queued, queued},
        {1, {"KILL_ORDER/C2"},
         {"KILL_ORDER/C2", "KILL_STOP_ORDER/C1", "NEW_ORDER/C1", "NEW_ORDER/C2", "NEW_ORDER/C3", "NEW_STOP_ORDER/C4"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        QFile::remove(Settings.edtTRI);
        Settings.TxPerSecond = c.rate;
        for (const QString& line : queued)
            Writer.QueueTransaction(Line(line.section(QLatin1Char('/'), 0, 0).toLatin1().constData(),
                                         line.section(QLatin1Char('/'), 1).toLatin1().constData()));
        Writer.WriteTransFile();
        EXPECT_EQ(FileOrder(), c.firstWrite);
        for (int i = 0; i < 10 && Writer.HasPending(); ++i) {
            NowMs += 1000;
            Writer.WriteTransFile();
        }
        EXPECT_EQ(FileOrder(), c.file);
        // Each line is logged as sent once it is in the file, in file order.
        QStringList logged;
        for (const QString& line : LogLinesOf(Log))
            logged << line.section(QStringLiteral("по счету "), 1).section(QLatin1Char(' '), 0, 0);
        QStringList clients;
        for (const QString& line : c.file)
            clients << line.section(QLatin1Char('/'), 1);
        EXPECT_EQ(logged.mid(logged.size() - clients.size()), clients);
    }
}

// The kill switch's drop: every waiting new order leaves the queue and is returned, in
// queue order, never to be written nor logged as sent; withdrawals stay and go out. The
// lines of a dispatch still in the file's way (held for their bookings) stay out of a
// write until the hold ends.
TEST_F(PacingTest, DropTakesTheWaitingNewOrdersAndLeavesWithdrawals)
{
    Settings.TxPerSecond = 1;
    Writer.QueueTransaction(Line("NEW_ORDER", "C1"));
    Writer.WriteTransFile(); // the one token goes to C1
    const qint64 mark = Writer.QueueMark();
    Writer.QueueTransaction(Line("NEW_ORDER", "C2"));
    Writer.QueueTransaction(Line("KILL_ORDER", "C3"));
    Writer.QueueTransaction(Line("NEW_STOP_ORDER", "C4"));
    int done = 0;
    Writer.WhenWritten(mark, [&done] { ++done; });

    const QList<TQueuedTransaction> dropped = Writer.DropQueuedNewOrders();
    ASSERT_EQ(dropped.size(), 2);
    EXPECT_EQ(dropped[0].TransId, 1);
    EXPECT_TRUE(dropped[0].Line.contains(QStringLiteral("CLIENT_CODE=C2;")));
    EXPECT_EQ(dropped[1].TransId, 3);
    EXPECT_EQ(done, 0); // the withdrawal still waits
    EXPECT_EQ(Writer.QueuedCount(), 1);

    NowMs += 1000;
    Writer.WriteTransFile();
    EXPECT_EQ(done, 1);
    EXPECT_EQ(FileOrder(), (QStringList{"NEW_ORDER/C1", "KILL_ORDER/C3"}));
    EXPECT_EQ(LogLinesOf(Log).filter(QStringLiteral("отправлена в Quik")).size(), 2);
    EXPECT_FALSE(Writer.HasPending());
    EXPECT_EQ(Writer.TransCounter(), 4); // the dropped numbers stay used up

    Settings.TxPerSecond = 0;
    Writer.QueueTransaction(Line("NEW_ORDER", "C5"));
    {
        const TTransWriter::THold hold(Writer);
        Writer.QueueTransaction(Line("NEW_ORDER", "C6"));
        Writer.WriteTransFile();
        EXPECT_EQ(FileLines().size(), 3);
    }
    Writer.WriteTransFile();
    EXPECT_EQ(FileLines().size(), 4);
}

// The core over the demo's bridge rows with three clients, paced at one line a second;
// an order for all three is dispatched as a strategy order would be.
class PacedCoreTest : public ::testing::Test {
protected:
    TTestEnvironment Env;
    TTestDatabases Bases;
    QTemporaryDir ProgramDir;
    TOperationLog Log{Env.Environment};
    std::unique_ptr<TMainCore> Core;
    qint64 NowMs = 0;

    void SetUp() override
    {
        Env.Environment.MonotonicMs = [this] { return NowMs; };
        Log.OpenFile(Bases.FilePath(QStringLiteral("Zovrant.log")));
        QDir(Bases.Folder()).mkdir(QStringLiteral("quik"));
        Core = std::make_unique<TMainCore>(Env.Environment, Log, ProgramDir.path() + QLatin1Char('/'));
        TSettings& s = Core->Settings();
        PointAtTestFiles(s, Bases);
        s.edtTime1 = QStringLiteral("00:00:00");
        s.edtTime2 = QStringLiteral("23:59:59");
        s.rgpPositionSize = 0;
        s.rgpSingleMulti = 1;
        s.TxPerSecond = 1;
        s.TxBurst = 1;
        SeedDemoBridge(Bases.BridgePath(), 3);
        Core->Watch().StartUp();
        Core->Watch().actConnectToBaseExecute();
        ASSERT_TRUE(Core->DatMod().conQuikData().Connected());
    }

    void Dispatch(qint64 id)
    {
        TOmegaOrder order;
        order.Id = id;
        order.Symbol = QStringLiteral("SBER");
        order.OrderType = QStringLiteral("LE");
        order.Order = QStringLiteral("Buy 10 at 250.50 Limit");
        order.System = QStringLiteral("Trend(5,10)");
        order.Workspace = QStringLiteral("C:\\Omega\\Demo.wsp");
        Core->Dispatcher().ProcessOrder(order, &TOrderBuilder::NewOrder, false);
    }
    int TriLines() const { return int(ReadWholeFile(Core->Settings().edtTRI).count("\r\n")); }
    QVariant Record(qint64 id)
    {
        return Bases.Scalar(Bases.BridgePath(),
                            QStringLiteral("SELECT code FROM tPendingDispatch WHERE id_order = %1").arg(id));
    }
};

// The order's crash record stays while any of its lines waits for the pace (a crash then
// reports the order at the next start) and goes with its last line; the status bar shows
// the waiting lines and the drain timer is armed for the next one.
TEST_F(PacedCoreTest, CrashRecordStaysUntilTheLastLineIsInTheFile)
{
    Dispatch(7);
    EXPECT_EQ(TriLines(), 1);
    EXPECT_EQ(Record(7).toString(), QStringLiteral("C1, C2, C3"));
    EXPECT_EQ(Core->StatusBarTexts().Queue, QStringLiteral("В очереди: 2"));
    ASSERT_TRUE(Core->timDrain().isActive());
    EXPECT_EQ(Core->timDrain().interval(), 1000);

    NowMs += 1000;
    Core->DrainTick();
    EXPECT_EQ(TriLines(), 2);
    EXPECT_EQ(Record(7).toString(), QStringLiteral("C1, C2, C3"));
    NowMs += 1000;
    Core->DrainTick();
    EXPECT_EQ(TriLines(), 3);
    EXPECT_FALSE(Record(7).isValid());
    EXPECT_TRUE(Core->StatusBarTexts().Queue.isEmpty());
    EXPECT_FALSE(Core->timDrain().isActive());
    EXPECT_TRUE(Env.Errors.isEmpty()) << Env.Errors.join(QLatin1Char('\n')).toStdString();
}

// The kill switch drops the waiting lines of two orders: neither record waits for them
// any more, and neither order is reported as interrupted at the next start.
TEST_F(PacedCoreTest, DroppedLinesNoLongerHoldTheCrashRecord)
{
    Dispatch(7);
    Dispatch(8);
    EXPECT_EQ(TriLines(), 1);
    ASSERT_TRUE(Record(8).isValid());
    EXPECT_EQ(Core->Writer().DropQueuedNewOrders().size(), 5);
    EXPECT_FALSE(Record(7).isValid());
    EXPECT_FALSE(Record(8).isValid());
    EXPECT_FALSE(Core->timDrain().isActive());
    EXPECT_TRUE(Core->StatusBarTexts().Queue.isEmpty());
}

} // namespace
