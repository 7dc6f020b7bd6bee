#include "base/CodePage.h"
#include "base/Error.h"
#include "base/OperationLog.h"
#include "data/Settings.h"
#include "tests/support/TestEnvironment.h"
#include "trade/OpenPosition.h"
#include "trade/TransactionLine.h"
#include "trade/TransWriter.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <limits>

#ifdef Q_OS_LINUX
#  include <csignal>
#  include <sys/resource.h>
#endif

namespace {

// The new limit buy of 3 lots the terminal expects.
TOrder LimitBuy()
{
    TOrder order;
    order.Action = QStringLiteral("NEW_ORDER");
    order.Account = QStringLiteral("ACC01");
    order.SecCode = QStringLiteral("ABCD");
    order.ClassCode = QStringLiteral("BOARD1");
    order.ClientCode = QStringLiteral("C1");
    order.Operation = QStringLiteral("B");
    order.Ticker = QStringLiteral("ABC");
    order.OrderType = QStringLiteral("LE");
    order.Digits = 2;
    order.Price = 100;
    order.StopPrice = 100.5;
    order.Quantity = 3;
    return order;
}

TEST(TransactionLineTest, LinesOfEveryKind)
{
    const TRegional regional;

    TOrder stop = LimitBuy();
    stop.Action = QStringLiteral("NEW_STOP_ORDER");
    stop.Operation = QStringLiteral("S");
    stop.IsStop = true;
    stop.Digits = 0;
    stop.Price = 99;
    stop.StopPrice = 100;

    TOrder market = LimitBuy();
    market.IsMarket = true;
    market.Price = 101.25;
    market.StopPrice = 101.25;

    TOrder stopKill = LimitBuy();
    stopKill.Action = QStringLiteral("KILL_STOP_ORDER");
    stopKill.Account = QStringLiteral("FUT01");
    stopKill.ClassCode = QStringLiteral("SPBFUT");
    stopKill.OrderKey = QStringLiteral("123456");
    stopKill.StopOrderKey = QStringLiteral("123456");

    TOrder kill = stopKill;
    kill.Action = QStringLiteral("KILL_ORDER");
    kill.StopOrderKey.clear();

    const std::pair<TOrder, const char*> cases[] = {
        {LimitBuy(), "TRANS_ID =7;ACTION=NEW_ORDER;ACCOUNT=ACC01;SECCODE=ABCD;CLASSCODE=BOARD1;"
                     "CLIENT_CODE=C1;OPERATION=B;PRICE=100.00;STOPPRICE=100.50;Order_key=;"
                     "Stop_Order_key=;QUANTITY=3"},
        {stop, "TRANS_ID =7;ACTION=NEW_STOP_ORDER;ACCOUNT=ACC01;SECCODE=ABCD;CLASSCODE=BOARD1;"
               "CLIENT_CODE=C1;OPERATION=S;PRICE=99;STOPPRICE=100;Order_key=;Stop_Order_key=;QUANTITY=3"},
        {market, "TRANS_ID =7;ACTION=NEW_ORDER;ACCOUNT=ACC01;SECCODE=ABCD;CLASSCODE=BOARD1;"
                 "CLIENT_CODE=C1;OPERATION=B;PRICE=101.25;STOPPRICE=101.25;Order_key=;"
                 "Stop_Order_key=;QUANTITY=3"},
        {stopKill, "TRANS_ID =7;ACTION=KILL_STOP_ORDER;ACCOUNT=FUT01;SECCODE=ABCD;CLASSCODE=SPBFUT;"
                   "CLIENT_CODE=C1;OPERATION=B;PRICE=100.00;STOPPRICE=100.50;Order_key=123456;"
                   "Stop_Order_key=123456;QUANTITY=3"},
        {kill, "TRANS_ID =7;ACTION=KILL_ORDER;ACCOUNT=FUT01;SECCODE=ABCD;CLASSCODE=SPBFUT;"
               "CLIENT_CODE=C1;OPERATION=B;PRICE=100.00;STOPPRICE=100.50;Order_key=123456;"
               "Stop_Order_key=;QUANTITY=3"},
    };
    for (const auto& [order, expected] : cases)
        EXPECT_EQ(TransactionLine(7, order, regional), QString::fromLatin1(expected));

    // Prices follow the regional decimal separator, as the terminal on that system reads them.
    EXPECT_TRUE(TransactionLine(0, LimitBuy(), TRegional::Russian())
                    .contains(QStringLiteral(";PRICE=100,00;STOPPRICE=100,50;")));
}

TEST(TransactionLineTest, ValueThatWouldSplitTheLineIsRefused)
{
    for (const QString& code : {QStringLiteral("C1;ACTION=KILL_ORDER"), QStringLiteral("C1\r\nTRANS_ID =9"),
                                QStringLiteral("C1\n"), QStringLiteral("C\t1")}) {
        TOrder order = LimitBuy();
        order.ClientCode = code;
        EXPECT_THROW(TransactionLine(1, order, TRegional()), TError);
    }
    // Every control character is refused, the first of the upper range too; a character
    // of another kind at either edge of that range goes into the line.
    struct Case { char16_t code; bool refused; };
    const Case cases[] = {{0x00, true}, {0x1F, true}, {0x20, false}, {0x7E, false}, {0x7F, true},
                          {0x85, true}, {0x9F, true}, {0xA0, false}, {0xAD, false}, {0x2028, false}};
    for (const Case& c : cases) {
        TOrder order = LimitBuy();
        order.Account = QStringLiteral("ACC") + QChar(c.code);
        if (c.refused)
            EXPECT_THROW(TransactionLine(1, order, TRegional()), TError) << int(c.code);
        else
            EXPECT_TRUE(TransactionLine(1, order, TRegional()).contains(order.Account)) << int(c.code);
    }
}

TEST(TransactionLineTest, NotesAndTexts)
{
    const TRegional regional;
    TOrder order = LimitBuy();
    EXPECT_EQ(TransactionLogText(7, TransactionNote(order, regional), order.ClientCode),
              QStringLiteral("Транзакция номер 7 [B 3 ABC at 100.00]  по счету C1 отправлена в Quik."));
    EXPECT_EQ(TransactionMailText(7, TransactionNote(order, regional)),
              QStringLiteral("Транзакция номер 7 [B 3 ABC at 100.00]  отправлена в Quik."));

    order.Action = QStringLiteral("NEW_STOP_ORDER");
    order.IsStop = true;
    order.Price = 99;
    EXPECT_EQ(TransactionNote(order, regional), QStringLiteral(" [B 3 ABC at 99.00 Stop] "));

    order.Action = QStringLiteral("KILL_ORDER");
    order.OrderKey = QStringLiteral("123456");
    EXPECT_EQ(TransactionLogText(8, TransactionNote(order, regional), order.ClientCode),
              QStringLiteral("Транзакция номер 8 [снятие заявки # 123456] по счету C1 отправлена в Quik."));
}

TEST(TransactionBookingTest, ReportRowIsTiedToTheTableTheOrderCameFrom)
{
    TOrder order = LimitBuy();
    order.OrderId = 41;
    order.IsMarket = true; // "Market" in the wording of an active order
    TOmegaOrder omega;
    omega.Filled = false;
    TOrderNumberRow row = OrderNumberRowOf(12, order, omega);
    EXPECT_EQ(row.TransId, 12);
    EXPECT_EQ(row.IdOrder, 41);
    EXPECT_FALSE(row.Filled);
    EXPECT_EQ(row.Code, QStringLiteral("C1"));
    omega.Filled = true;
    EXPECT_TRUE(OrderNumberRowOf(12, order, omega).Filled);
}

TEST(TransactionBookingTest, PositionChanges)
{
    struct Case { const char* action; const char* orderType; TPositionChange change; const char* position; };
    const Case cases[] = {
        {"NEW_ORDER", "LE", TPositionChange::Open, "Long"},
        {"NEW_ORDER", "SE", TPositionChange::Open, "Short"},
        {"NEW_ORDER", "LX", TPositionChange::Close, "Long"},
        {"NEW_ORDER", "SX", TPositionChange::Close, "Short"},
        {"NEW_STOP_ORDER", "LE", TPositionChange::None, "Long"},
        {"KILL_ORDER", "SX", TPositionChange::None, "Short"},
        {"NEW_ORDER", "XX", TPositionChange::None, ""},
    };
    TOmegaOrder omega;
    omega.Symbol = QStringLiteral("ABC");
    omega.System = QStringLiteral("Trend(5,10)");
    omega.Signal = QStringLiteral("Entry1");
    omega.Interval = QStringLiteral("5 min");
    omega.Workspace = QStringLiteral("C:\\Work\\Futures.wsp");
    for (const Case& c : cases) {
        TOrder order = LimitBuy();
        order.Action = QString::fromLatin1(c.action);
        order.OrderType = QString::fromLatin1(c.orderType);
        EXPECT_EQ(PositionChangeOf(order), c.change) << c.action << " " << c.orderType;
        const TOpenPositionRow row = OpenPositionRowOf(order, omega);
        EXPECT_EQ(row.Key.Position, QString::fromLatin1(c.position));
        EXPECT_EQ(row.Key.Workspace, QStringLiteral("Futures.wsp"));
        EXPECT_EQ(row.Key.Symbol, QStringLiteral("ABC"));
        EXPECT_EQ(row.Key.Code, QStringLiteral("C1"));
        EXPECT_EQ(row.Signal, QStringLiteral("Entry1"));
        EXPECT_EQ(row.Quantity, 3);
    }
}

class TransWriterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Dir.isValid());
        Log.OpenFile(Dir.filePath(QStringLiteral("Zovrant.log")));
        Settings.edtTRI = Dir.filePath(QStringLiteral("Trans/Trans.tri"));
        ASSERT_TRUE(QDir(Dir.path()).mkdir(QStringLiteral("Trans")));
    }

    QByteArray FileBytes() const { return ReadWholeFile(Settings.edtTRI); }
    static QByteArray LineBytes(int transId, const TOrder& order = LimitBuy())
    {
        return ToCp1251(TransactionLine(transId, order, TRegional())) + "\r\n";
    }

    TTestEnvironment Env;
    QTemporaryDir Dir;
    TOperationLog Log{Env.Environment};
    TSettings Settings;
    TTransWriter Writer{Settings, Env.Environment, Log};
};

TEST_F(TransWriterTest, QueuedLinesGetConsecutiveNumbersAndGoOutInOneWrite)
{
    WriteWholeFile(Settings.edtTRI, "TRANS_ID =0;earlier run\r\n");
    TOrder second = LimitBuy();
    second.ClientCode = QStringLiteral("C2");
    TOrder third = LimitBuy();
    third.ClientCode = QStringLiteral("Кл3"); // written in the 8-bit code page

    EXPECT_EQ(Writer.QueueTransaction(LimitBuy()).TransId, 0);
    EXPECT_EQ(Writer.QueueTransaction(second).TransId, 1);
    const TQueuedTransaction last = Writer.QueueTransaction(third);
    EXPECT_EQ(last.TransId, 2);
    EXPECT_EQ(last.Note, QStringLiteral(" [B 3 ABC at 100.00] "));
    EXPECT_EQ(Writer.TransCounter(), 3);
    EXPECT_EQ(Writer.PendingTrans().size(), 3);
    EXPECT_EQ(FileBytes(), QByteArray("TRANS_ID =0;earlier run\r\n")); // nothing written yet

    // A line is logged as sent only once it is in the file.
    EXPECT_EQ(Log.LineCount(), 0);

    Writer.WriteTransFile();
    ASSERT_EQ(Log.LineCount(), 3);
    EXPECT_EQ(Log.Line(1), QStringLiteral(
        "09.12.2008 9:05:03 Транзакция номер 1 [B 3 ABC at 100.00]  по счету C2 отправлена в Quik."));
    EXPECT_EQ(FileBytes(), QByteArray("TRANS_ID =0;earlier run\r\n") + LineBytes(0)
                               + LineBytes(1, second) + LineBytes(2, third));
    EXPECT_TRUE(FileBytes().contains(ToCp1251(QStringLiteral("CLIENT_CODE=Кл3;"))));
    EXPECT_TRUE(Writer.PendingTrans().isEmpty());

    // Nothing pending: the file is not even opened.
    QFile::remove(Settings.edtTRI);
    Writer.WriteTransFile();
    EXPECT_FALSE(QFile::exists(Settings.edtTRI));

    // The numbers go on; a missing file is created.
    EXPECT_EQ(Writer.QueueTransaction(LimitBuy()).TransId, 3);
    Writer.WriteTransFile();
    EXPECT_EQ(FileBytes(), LineBytes(3));
}

// The numbering continues after the highest number the bridge database has seen and
// never goes back, also when a connection reports a lower number (another bridge
// database, or the same one read again); the count of the run is the run's own.
TEST_F(TransWriterTest, NumberingContinuesAfterTheHighestIssuedAndNeverGoesBack)
{
    struct Step {
        qint32 highestIssued; // what a connection read; none: a transaction is made
        qint32 next;          // the number the next transaction gets after the step
    };
    const qint32 none = -2;
    const Step steps[] = {
        {-1, 0},   // a new bridge database
        {none, 1},
        {41, 42},  // a run before this one went up to 41
        {none, 43},
        {none, 44},
        {10, 44},  // a lower number leaves the counter
        {43, 44},  // so does the number just handed out
        {44, 45},  // the database knows the next number already (another run wrote it)
    };
    for (const Step& step : steps) {
        if (step.highestIssued == none)
            Writer.QueueTransaction(LimitBuy());
        else
            Writer.ContinueNumbering(step.highestIssued);
        EXPECT_EQ(Writer.TransCounter(), step.next) << step.highestIssued;
    }
    EXPECT_EQ(Writer.TransMadeCount(), 3);
    EXPECT_EQ(Writer.QueueTransaction(LimitBuy()).TransId, 45);
    EXPECT_EQ(Writer.TransMadeCount(), 4);

    // At the end of the numbers no number is handed out twice: none is handed out.
    Writer.ContinueNumbering(std::numeric_limits<qint32>::max() - 1);
    EXPECT_EQ(Writer.TransCounter(), std::numeric_limits<qint32>::max());
    EXPECT_THROW(Writer.QueueTransaction(LimitBuy()), TError);
    Writer.ContinueNumbering(std::numeric_limits<qint32>::max());
    EXPECT_EQ(Writer.TransCounter(), std::numeric_limits<qint32>::max());
    EXPECT_THROW(Writer.QueueTransaction(LimitBuy()), TError);
    EXPECT_EQ(Writer.TransMadeCount(), 4);
}

TEST_F(TransWriterTest, RefusedLineTakesNoNumber)
{
    TOrder bad = LimitBuy();
    bad.Account = QStringLiteral("ACC;01");
    EXPECT_THROW(Writer.QueueTransaction(bad), TError);
    EXPECT_EQ(Writer.TransCounter(), 0);
    EXPECT_FALSE(Writer.HasPending());
    EXPECT_EQ(Writer.QueueTransaction(LimitBuy()).TransId, 0);
}

TEST_F(TransWriterTest, LinesTakenBackNeverReachTheFileAndKeepTheirNumbers)
{
    Writer.QueueTransaction(LimitBuy());
    const qint64 mark = Writer.QueueMark();
    Writer.QueueTransaction(LimitBuy());
    Writer.QueueTransaction(LimitBuy());
    Writer.TakeBackQueued(mark);
    EXPECT_EQ(Writer.PendingTrans().size(), 1);
    EXPECT_EQ(Writer.TransMadeCount(), 1);
    Writer.WriteTransFile();
    EXPECT_EQ(FileBytes(), LineBytes(0));
    ASSERT_EQ(Log.LineCount(), 1); // the lines taken back are never logged as sent
    // Their numbers are used up all the same.
    EXPECT_EQ(Writer.QueueTransaction(LimitBuy()).TransId, 3);
}

TEST_F(TransWriterTest, UnwritableFileKeepsTheLinesForTheNextWrite)
{
    Settings.edtTRI = Dir.filePath(QStringLiteral("Gone/Deeper/Trans.tri"));
    Writer.QueueTransaction(LimitBuy());
    Writer.QueueTransaction(LimitBuy());
    // The folder is never created for the terminal's file.
    EXPECT_THROW(Writer.WriteTransFile(), TError);
    EXPECT_FALSE(QFile::exists(Settings.edtTRI));
    EXPECT_EQ(Writer.PendingTrans().size(), 2);

    // A folder where the file should be cannot be written either.
    ASSERT_TRUE(QDir(Dir.path()).mkpath(QStringLiteral("Gone/Deeper/Trans.tri")));
    Writer.QueueTransaction(LimitBuy());
    EXPECT_THROW(Writer.WriteTransFile(), TError);
    EXPECT_EQ(Writer.PendingTrans().size(), 3);

    ASSERT_TRUE(QDir(Dir.path()).rmdir(QStringLiteral("Gone/Deeper/Trans.tri")));
    Writer.WriteTransFile();
    EXPECT_EQ(FileBytes(), LineBytes(0) + LineBytes(1) + LineBytes(2));
    Writer.WriteTransFile();
    EXPECT_EQ(FileBytes(), LineBytes(0) + LineBytes(1) + LineBytes(2));
}

#ifdef Q_OS_LINUX
// Lets the process write files only up to a size, as a full disk would, for one scope.
class TFileSizeLimit {
public:
    explicit TFileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &FSaved);
        FSavedHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = FSaved;
        limit.rlim_cur = bytes;
        FActive = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~TFileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &FSaved);
        std::signal(SIGXFSZ, FSavedHandler);
    }
    bool Active() const { return FActive; }

private:
    rlimit FSaved{};
    void (*FSavedHandler)(int) = nullptr;
    bool FActive = false;
};

TEST_F(TransWriterTest, WriteThatFailsPartWayPutsNoLineTwice)
{
    const QByteArray earlier = "TRANS_ID =0;earlier run\r\n";
    WriteWholeFile(Settings.edtTRI, earlier);
    for (int i = 0; i < 3; ++i)
        Writer.QueueTransaction(LimitBuy());
    const QByteArray all = LineBytes(0) + LineBytes(1) + LineBytes(2);
    {
        // The first line and a half fit, then the disk is full.
        TFileSizeLimit limit(earlier.size() + LineBytes(0).size() + 40);
        ASSERT_TRUE(limit.Active());
        EXPECT_THROW(Writer.WriteTransFile(), TError);
    }
    // The terminal finds no torn line and nothing it would take twice later.
    EXPECT_EQ(FileBytes(), earlier);
    EXPECT_EQ(Writer.PendingTrans().size(), 3);

    Writer.QueueTransaction(LimitBuy());
    Writer.WriteTransFile();
    EXPECT_EQ(FileBytes(), earlier + all + LineBytes(3));
}

// A file system that cannot take a failed write back: what reached the file stays, so
// only the rest may be written again.
class TUncutTransWriter : public TTransWriter {
public:
    using TTransWriter::TTransWriter;

protected:
    bool CutBack(QFile&, qint64) override { return false; }
};

TEST_F(TransWriterTest, WriteThatCannotBeTakenBackIsCompletedByTheNextWrite)
{
    TUncutTransWriter writer(Settings, Env.Environment, Log);
    for (int i = 0; i < 3; ++i)
        writer.QueueTransaction(LimitBuy());
    const QByteArray all = LineBytes(0) + LineBytes(1) + LineBytes(2);
    const qsizetype reached = LineBytes(0).size() + 40;
    {
        TFileSizeLimit limit(reached);
        ASSERT_TRUE(limit.Active());
        EXPECT_THROW(writer.WriteTransFile(), TError);
    }
    EXPECT_EQ(FileBytes(), all.left(reached));
    // The first line is in the file; the second is half there; the third waits whole.
    EXPECT_EQ(writer.PendingTrans().size(), 1);
    // Only the line wholly in the file is logged as sent.
    ASSERT_EQ(Log.LineCount(), 1);
    EXPECT_TRUE(Log.Line(0).contains(QStringLiteral("Транзакция номер 0 ")));

    writer.QueueTransaction(LimitBuy());
    writer.WriteTransFile();
    EXPECT_EQ(FileBytes(), all + LineBytes(3));
    EXPECT_FALSE(writer.HasPending());
    ASSERT_EQ(Log.LineCount(), 4);
    for (int i = 1; i < 4; ++i)
        EXPECT_TRUE(Log.Line(i).contains(QStringLiteral("Транзакция номер %1 ").arg(i))) << Log.Line(i).toStdString();
}
#endif

} // namespace
