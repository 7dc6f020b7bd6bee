#include "base/CodePage.h"
#include "base/Error.h"
#include "base/OperationLog.h"
#include "data/DatMod.h"
#include "data/Settings.h"
#include "intake/Dispatch.h"
#include "tests/support/FakeTransactionBookings.h"
#include "tests/support/RecordingEvents.h"
#include "tests/support/TestDatabases.h"
#include "tests/support/TestEnvironment.h"
#include "trade/DatModResultBookings.h"
#include "trade/DatModTradeLookup.h"
#include "trade/DatModTransactionBookings.h"
#include "trade/OrderBuilder.h"
#include "trade/PositionSize.h"
#include "trade/TransactionSender.h"
#include "trade/TransWriter.h"

#include <QCoreApplication>
#include <algorithm>
#include <gtest/gtest.h>

static void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

// Strategy orders travel through the real order builder and the real sender over a bridge
// database made from the schema, into the transaction import file of the test folder.
class SendTransactionTest : public ::testing::TestWithParam<TTestEngine> {
protected:
    void SetUp() override
    {
        Settings.edtTRI = Bases.FilePath(QStringLiteral("Trans.tri"));
        Settings.rgpPositionSize = psOmegaQuantity;
        Settings.chExitQty = false;
        Log.OpenFile(Bases.FilePath(QStringLiteral("Zovrant.log")));
        DatMod.conQuikData().Open(Bases.BridgeSource());
        DatMod.tOrderNumber().Open();
        DatMod.tClientOpenPositions().Open();
        Bridge(QStringLiteral("tSecCode"),
               {{"SecCode", "ABCD"}, {"Class_Code", "BOARD1"}, {"Ticker", "ABC"}, {"Digits", 2},
                {"Traded", true}, {"Slippage", 0.5}, {"LotSize", 1}});
        Bridge(QStringLiteral("tSecCode"),
               {{"SecCode", "RIH9"}, {"Class_Code", "SPBFUT"}, {"Ticker", "RI"}, {"Digits", 0},
                {"Traded", true}, {"Slippage", 1.0}, {"LotSize", 1}});

        Omega.Id = 41;
        Omega.Symbol = QStringLiteral("ABC");
        Omega.OrderType = QStringLiteral("LE");
        Omega.Order = QStringLiteral("Buy 3 at 100 Limit ");
        Omega.System = QStringLiteral("Trend(5,10)");
        Omega.Workspace = QStringLiteral("C:\\Work\\Futures.wsp");
        Omega.Signal = QStringLiteral("Entry1");
        Omega.Interval = QStringLiteral("5 min");
    }

    void Bridge(const QString& table, const QVariantMap& values)
    {
        Bases.Insert(Bases.BridgePath(), table, values);
    }
    QVariant Scalar(const QString& statement, const QVariantList& binds = {})
    {
        return Bases.Scalar(Bases.BridgePath(), statement, binds);
    }
    int Count(const QString& table, const QString& condition = QStringLiteral("1 = 1"),
              const QVariantList& binds = {})
    {
        return Scalar(QStringLiteral("SELECT COUNT(*) FROM [%1] WHERE %2").arg(table, condition), binds).toInt();
    }

    // Builds the order for the account and sends it; false when the builder refused it.
    bool Send(const TOmegaOrder& omega, TOrderBuilderMethod builder = &TOrderBuilder::NewOrder)
    {
        TOrder order;
        if (!(Builder.*builder)(order, omega, Account))
            return false;
        Sender.SendTransaction(order, omega);
        return true;
    }
    QStringList FileLines()
    {
        Writer.WriteTransFile();
        QStringList lines = FromCp1251(ReadWholeFile(Settings.edtTRI)).split(QStringLiteral("\r\n"));
        EXPECT_EQ(lines.takeLast(), QString()); // every line ends with CR LF
        return lines;
    }
    QStringList LogLines() const { return LogLinesOf(Log); }
    QString LogFile() const
    {
        return FromCp1251(ReadWholeFile(Bases.FilePath(QStringLiteral("Zovrant.log"))));
    }

    TTestEnvironment Env;
    TTestDatabases Bases{GetParam()};
    TSettings Settings;
    TOperationLog Log{Env.Environment};
    TDatMod DatMod{Env.Environment};
    TDatModTradeLookup Lookup{DatMod};
    TOrderBuilder Builder{Settings, Env.Environment, Log, Lookup};
    TTransWriter Writer{Settings, Env.Environment, Log};
    TDatModTransactionBookings Bookings{DatMod};
    TRecordingEvents Events;
    TTransactionSender Sender{Settings, Writer, Bookings, Log, Events};
    TClientAccount Account{QStringLiteral("C1"), QStringLiteral("ACC01"), QStringLiteral("FUT01")};
    TOmegaOrder Omega;
    QStringList& Mails = Events.Announced;
};

const QString Stamp = QStringLiteral("09.12.2008 9:05:03 ");

TEST_P(SendTransactionTest, NewOrdersBecomeTheirTransactionLines)
{
    struct Case {
        const char* symbol;
        const char* orderType;
        const char* wording;
        bool filled;
        double fillPrice;
        const char* line;
        const char* logText;
    };
    const Case cases[] = {
        {"ABC", "LE", "Buy 3 at 100 Limit ", false, 0,
         "TRANS_ID =0;ACTION=NEW_ORDER;ACCOUNT=ACC01;SECCODE=ABCD;CLASSCODE=BOARD1;CLIENT_CODE=C1;"
         "OPERATION=B;PRICE=100.00;STOPPRICE=100.50;Order_key=;Stop_Order_key=;QUANTITY=3",
         "Транзакция номер 0 [B 3 ABC at 100.00]  по счету C1 отправлена в Quik."},
        // A stop order: the limit is the slippage price, the trigger the strategy's price.
        {"ABC", "SX", "Sell 2 at 96 Stop ", false, 0,
         "TRANS_ID =1;ACTION=NEW_STOP_ORDER;ACCOUNT=ACC01;SECCODE=ABCD;CLASSCODE=BOARD1;CLIENT_CODE=C1;"
         "OPERATION=S;PRICE=95.52;STOPPRICE=96.00;Order_key=;Stop_Order_key=;QUANTITY=2",
         "Транзакция номер 1 [S 2 ABC at 95.52 Stop]  по счету C1 отправлена в Quik."},
        // A market order goes out as a limit order at the slippage price.
        {"ABC", "LE", "Buy 1 at 100 Market ", false, 0,
         "TRANS_ID =2;ACTION=NEW_ORDER;ACCOUNT=ACC01;SECCODE=ABCD;CLASSCODE=BOARD1;CLIENT_CODE=C1;"
         "OPERATION=B;PRICE=100.50;STOPPRICE=100.50;Order_key=;Stop_Order_key=;QUANTITY=1",
         "Транзакция номер 2 [B 1 ABC at 100.50]  по счету C1 отправлена в Quik."},
        // Filled on the platform: a market order at the fill price, whatever the wording;
        // a futures class takes the derivatives account.
        {"RI", "LE", "Buy 2 at 149000 Stop ", true, 150000,
         "TRANS_ID =3;ACTION=NEW_ORDER;ACCOUNT=FUT01;SECCODE=RIH9;CLASSCODE=SPBFUT;CLIENT_CODE=C1;"
         "OPERATION=B;PRICE=151500;STOPPRICE=151500;Order_key=;Stop_Order_key=;QUANTITY=2",
         "Транзакция номер 3 [B 2 RI at 151500]  по счету C1 отправлена в Quik."},
    };
    QStringList expectedLines;
    for (const Case& c : cases) {
        TOmegaOrder omega = Omega;
        omega.Symbol = QString::fromLatin1(c.symbol);
        omega.OrderType = QString::fromLatin1(c.orderType);
        omega.Order = QString::fromLatin1(c.wording);
        omega.Filled = c.filled;
        omega.FillPrice = c.fillPrice;
        ASSERT_TRUE(Send(omega)) << c.wording;
        expectedLines << QString::fromLatin1(c.line);
        // The line is logged as sent once it is in the import file, not before.
        EXPECT_FALSE(LogLines().join(QLatin1Char('\n')).contains(QString::fromUtf8(c.logText))) << c.wording;
        Writer.WriteTransFile();
        EXPECT_EQ(LogLines().last(), Stamp + QString::fromUtf8(c.logText)) << c.wording;
    }
    EXPECT_EQ(FileLines(), expectedLines);
    EXPECT_EQ(Writer.TransCounter(), 4);
    EXPECT_EQ(Events.Count(QStringLiteral("status")), 4);
    // Every transaction's log line is in the file when the call returns.
    EXPECT_TRUE(LogFile().contains(QStringLiteral("Транзакция номер 3 [B 2 RI at 151500]  по счету C1")));
}

void BookNumber(TTestDatabases& bases, int transId, int idOrder, bool filled, const QString& code,
                const QVariant& number)
{
    bases.Insert(bases.BridgePath(), QStringLiteral("tOrderNumber"),
                 {{"trans_id", transId}, {"id_order", idOrder}, {"filled", filled}, {"code", code},
                  {"order_number", number}});
}

TEST_P(SendTransactionTest, WithdrawalTakesTheNumberOfTheLastTransaction)
{
    BookNumber(Bases, 2, 41, false, QStringLiteral("C1"), 111);
    BookNumber(Bases, 5, 41, false, QStringLiteral("C1"), 222);
    BookNumber(Bases, 3, 41, false, QStringLiteral("C1"), 333);
    BookNumber(Bases, 6, 41, true, QStringLiteral("C1"), 999);  // the filled-orders table
    BookNumber(Bases, 7, 41, false, QStringLiteral("C2"), 888); // another client
    Bridge(QStringLiteral("tClientOpenPositions"),
           {{"code", "C1"}, {"symbol", "ABC"}, {"System", "Trend(5,10)"}, {"Workspace", "Futures.wsp"},
            {"Interval", "5 min"}, {"Position", "Short"}, {"quantity", 2}});

    TOmegaOrder cancelled = Omega;
    cancelled.OrderType = QStringLiteral("SX");
    ASSERT_TRUE(Send(cancelled, &TOrderBuilder::KillOrder));
    cancelled.Order = QStringLiteral("Sell 3 at 96 Stop ");
    ASSERT_TRUE(Send(cancelled, &TOrderBuilder::KillOrder));

    EXPECT_EQ(FileLines(), (QStringList{
        QStringLiteral("TRANS_ID =0;ACTION=KILL_ORDER;ACCOUNT=ACC01;SECCODE=ABCD;CLASSCODE=BOARD1;CLIENT_CODE=C1;"
                       "OPERATION=B;PRICE=100.00;STOPPRICE=100.50;Order_key=222;Stop_Order_key=;QUANTITY=3"),
        QStringLiteral("TRANS_ID =1;ACTION=KILL_STOP_ORDER;ACCOUNT=ACC01;SECCODE=ABCD;CLASSCODE=BOARD1;CLIENT_CODE=C1;"
                       "OPERATION=S;PRICE=96.00;STOPPRICE=95.52;Order_key=222;Stop_Order_key=222;QUANTITY=3")}));
    EXPECT_EQ(LogLines().last(),
              Stamp + QStringLiteral("Транзакция номер 1 [снятие заявки # 222] по счету C1 отправлена в Quik."));
    // A withdrawal of an exit leaves the booked position alone.
    EXPECT_EQ(Count(QStringLiteral("tClientOpenPositions")), 1);

    // The newest transaction for the order decides: no number, or no usable one, and
    // nothing is withdrawn, even though older transactions have numbers.
    BookNumber(Bases, 10, 41, false, QStringLiteral("C1"), QVariant());
    const QVariant refused[] = {QVariant(), QVariant(0), QVariant(-5)};
    for (const QVariant& number : refused) {
        Bases.Exec(Bases.BridgePath(), QStringLiteral("UPDATE tOrderNumber SET order_number = ? WHERE trans_id = 10"),
                   {number});
        EXPECT_FALSE(Send(cancelled, &TOrderBuilder::KillOrder)) << number.toString().toStdString();
    }
    EXPECT_FALSE(Writer.HasPending());
    EXPECT_EQ(Writer.TransCounter(), 2);
}

TEST_P(SendTransactionTest, TransactionReportRowKeepsTheTableTheOrderCameFrom)
{
    TOmegaOrder limit = Omega;
    TOmegaOrder market = Omega;
    market.Id = 42;
    market.Order = QStringLiteral("Buy 3 at 100 Market ");
    TOmegaOrder filled = Omega;
    filled.Id = 43;
    filled.Filled = true;
    filled.FillPrice = 100;
    ASSERT_TRUE(Send(limit));
    ASSERT_TRUE(Send(market));
    ASSERT_TRUE(Send(filled));

    struct Expected { int transId; int idOrder; bool filled; };
    for (const Expected& e : {Expected{0, 41, false}, Expected{1, 42, false}, Expected{2, 43, true}}) {
        EXPECT_EQ(Count(QStringLiteral("tOrderNumber"), QStringLiteral("trans_id = ? AND id_order = ? AND filled = ? AND code = ?"),
                        {e.transId, e.idOrder, e.filled, QStringLiteral("C1")}),
                  1)
            << e.transId;
    }
    // The terminal's columns stay empty until its result arrives.
    EXPECT_EQ(Count(QStringLiteral("tOrderNumber"),
                    QStringLiteral("status IS NULL AND trans_name IS NULL AND description IS NULL AND order_number IS NULL")),
              3);
    // The report's grid shows the rows once the dispatch has returned to the event loop.
    QCoreApplication::processEvents();
    EXPECT_EQ(DatMod.tOrderNumber().RecordCount(), 3);

    // The market order from the active-orders table stays tied to that table: when the
    // platform cancels it, the withdrawal finds the number the terminal reported.
    TDatModResultBookings bookings(DatMod);
    bookings.BookResult(TResultLine{1, 3, QString(), QString(), 555});
    TOrder withdrawal;
    ASSERT_TRUE(Builder.KillOrder(withdrawal, market, Account));
    EXPECT_EQ(withdrawal.OrderKey, QStringLiteral("555"));
}

TEST_P(SendTransactionTest, MailOnlyWhenTransactionsAreToBeMailed)
{
    ASSERT_TRUE(Send(Omega));
    EXPECT_TRUE(Mails.isEmpty());
    Settings.chSendTrans_Id = true;
    ASSERT_TRUE(Send(Omega));
    EXPECT_EQ(Mails, QStringList{QStringLiteral("Транзакция номер 1 [B 3 ABC at 100.00]  отправлена в Quik.")});
}

TEST_P(SendTransactionTest, EntriesAddRowsAndAnExitDeletesItsPosition)
{
    Settings.chExitQty = true;
    ASSERT_TRUE(Send(Omega));
    ASSERT_TRUE(Send(Omega));
    // Each entry adds its own row, with the workspace's file name.
    EXPECT_EQ(Count(QStringLiteral("tClientOpenPositions"),
                    QStringLiteral("quantity = 3 AND symbol = 'ABC' AND code = 'C1' AND System = 'Trend(5,10)' AND "
                                   "Signal = 'Entry1' AND Interval = '5 min' AND Workspace = 'Futures.wsp' AND "
                                   "Position = 'Long'")),
              2);
    // A stop order opens nothing yet.
    TOmegaOrder stopEntry = Omega;
    stopEntry.Order = QStringLiteral("Buy 3 at 100 Stop ");
    ASSERT_TRUE(Send(stopEntry));
    EXPECT_EQ(Count(QStringLiteral("tClientOpenPositions")), 2);
    // The grid shows the entries once the dispatch has returned to the event loop.
    QCoreApplication::processEvents();
    EXPECT_EQ(DatMod.tClientOpenPositions().RecordCount(), 2);

    // The client's short position of this strategy, twice, and positions that differ in
    // one value each.
    const QVariantMap shortRow{{"code", "C1"}, {"symbol", "ABC"}, {"System", "Trend(5,10)"},
                               {"Workspace", "Futures.wsp"}, {"Interval", "5 min"}, {"Position", "Short"}};
    QVariantMap row = shortRow;
    row["quantity"] = 7;
    Bridge(QStringLiteral("tClientOpenPositions"), row);
    row["quantity"] = 4;
    Bridge(QStringLiteral("tClientOpenPositions"), row);
    const std::pair<const char*, const char*> others[] = {
        {"code", "C2"}, {"symbol", "XYZ"}, {"System", "Other"}, {"Workspace", "Other.wsp"},
        {"Interval", "15 min"}, {"Position", "Long"}};
    for (const auto& [column, value] : others) {
        QVariantMap other = shortRow;
        other[QString::fromLatin1(column)] = QString::fromLatin1(value);
        other["quantity"] = 9;
        Bridge(QStringLiteral("tClientOpenPositions"), other);
    }

    TOmegaOrder exit = Omega;
    exit.OrderType = QStringLiteral("SX");
    exit.Order = QStringLiteral("Buy 1 at 100 Limit ");
    exit.Workspace = QStringLiteral("D:Futures.wsp");
    ASSERT_TRUE(Send(exit));
    // Exact closing takes the first booked row's quantity; the exit deletes every row.
    EXPECT_TRUE(FileLines().last().endsWith(QStringLiteral(";QUANTITY=7")));
    EXPECT_EQ(Count(QStringLiteral("tClientOpenPositions"), QStringLiteral("Position = 'Short' AND code = 'C1' AND "
                                                                           "symbol = 'ABC' AND System = 'Trend(5,10)' AND "
                                                                           "Workspace = 'Futures.wsp' AND Interval = '5 min'")),
              0);
    EXPECT_EQ(Count(QStringLiteral("tClientOpenPositions")), 2 + 6);

    // The grid follows the deletion (and the rows added behind its back) as well.
    QCoreApplication::processEvents();
    EXPECT_EQ(DatMod.tClientOpenPositions().RecordCount(), 2 + 6);
}

TEST_P(SendTransactionTest, FailedEntryBookingIsLoggedAndTheTransactionGoesOn)
{
    Bases.Exec(Bases.BridgePath(), QStringLiteral("ALTER TABLE tClientOpenPositions RENAME TO tMoved"));
    ASSERT_NO_THROW(Send(Omega));
    EXPECT_EQ(FileLines().size(), 1);
    EXPECT_EQ(Count(QStringLiteral("tOrderNumber"), QStringLiteral("trans_id = 0")), 1);
    const QStringList lines = LogLines();
    EXPECT_TRUE(lines.contains(Stamp + QStringLiteral("Произошла ошибка при добавлении записи в таблицу tClientOpenPositions")))
        << lines.join(QLatin1Char('\n')).toStdString();
    // The transaction went on: its line is in the file and logged as sent.
    EXPECT_TRUE(lines.last().endsWith(QStringLiteral("отправлена в Quik.")));
    EXPECT_EQ(Writer.TransCounter(), 1);
    EXPECT_EQ(Events.Count(QStringLiteral("status")), 1);
}

TEST_P(SendTransactionTest, FailedBookingReachesTheCallerAndNeverReusesTheNumber)
{
    TOrder entry;
    ASSERT_TRUE(Builder.NewOrder(entry, Omega, Account));
    TOmegaOrder exitOmega = Omega;
    exitOmega.OrderType = QStringLiteral("LX");
    exitOmega.Order = QStringLiteral("Sell 3 at 100 Limit ");
    TOrder exit;
    ASSERT_TRUE(Builder.NewOrder(exit, exitOmega, Account));

    // The bridge database is gone after the line was queued.
    DatMod.conQuikData().Close();
    EXPECT_THROW(Sender.SendTransaction(entry, Omega), TBookingFailure);
    EXPECT_EQ(Writer.TransCounter(), 1);
    EXPECT_EQ(Events.Count(QStringLiteral("status")), 1);
    // Not logged as sent: the caller takes the unbooked line back.
    EXPECT_FALSE(LogFile().contains(QStringLiteral("Транзакция номер 0 [B 3 ABC at 100.00]")));

    // The exit's deletion fails after its report row was booked.
    DatMod.conQuikData().Open(Bases.BridgeSource());
    Bases.Exec(Bases.BridgePath(), QStringLiteral("ALTER TABLE tClientOpenPositions RENAME TO tMoved"));
    EXPECT_THROW(Sender.SendTransaction(exit, exitOmega), TBookingFailure);
    EXPECT_EQ(Writer.TransCounter(), 2);
    Bases.Exec(Bases.BridgePath(), QStringLiteral("ALTER TABLE tMoved RENAME TO tClientOpenPositions"));

    Sender.SendTransaction(entry, Omega);
    const QStringList lines = FileLines();
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("TRANS_ID =0;ACTION=NEW_ORDER;")));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("TRANS_ID =1;ACTION=NEW_ORDER;")));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("TRANS_ID =2;ACTION=NEW_ORDER;")));
    EXPECT_EQ(Count(QStringLiteral("tOrderNumber")), 2);
    EXPECT_EQ(Count(QStringLiteral("tOrderNumber"), QStringLiteral("trans_id IN (1, 2)")), 2);
}

TEST_P(SendTransactionTest, EachDispatchReadsTheSecurityOfItsOwnOrderAsItIsNow)
{
    // The security is read once per dispatch and kept for its accounts: it must never be
    // carried over to another order or past a change of the securities.
    Settings.rgpSingleMulti = smMulti;
    for (const char* code : {"C1", "C2"})
        Bridge(QStringLiteral("tclients"), {{"Code", code}, {"AccountMicex", "ACC01"}, {"AccountFORTS", "FUT01"},
                                            {"Active", true}});
    // The real sender, with a moment after the first account's transaction.
    class TSenderWithPause : public TTransactionSender {
    public:
        using TTransactionSender::TTransactionSender;
        std::function<void()> AfterFirstAccount;
        void SendTransaction(const TOrder& order, const TOmegaOrder& omega) override
        {
            TTransactionSender::SendTransaction(order, omega);
            if (order.ClientCode == QStringLiteral("C1") && AfterFirstAccount)
                AfterFirstAccount();
        }
    };
    TSenderWithPause sender(Settings, Writer, Bookings, Log, Events);
    std::function<void()>& afterFirstAccount = sender.AfterFirstAccount;
    TDispatcher dispatcher(Settings, DatMod, Builder, sender, Writer, Log, Env.Environment);
    int linesSeen = 0;
    auto dispatch = [&](const QString& symbol) {
        TOmegaOrder omega = Omega;
        omega.Symbol = symbol;
        dispatcher.ProcessOrder(omega, &TOrderBuilder::NewOrder, true);
        const QStringList lines = FileLines().mid(linesSeen);
        linesSeen += int(lines.size());
        QStringList codes; // "SECCODE/CLASSCODE" per account
        for (const QString& line : lines) {
            const QStringList pairs = line.split(QLatin1Char(';'));
            codes << pairs.value(3).section(QLatin1Char('='), 1) + QLatin1Char('/') + pairs.value(4).section(QLatin1Char('='), 1);
        }
        return codes;
    };

    EXPECT_EQ(dispatch(QStringLiteral("ABC")), (QStringList{QStringLiteral("ABCD/BOARD1"), QStringLiteral("ABCD/BOARD1")}));
    // Another program changed the security between two dispatches of the same ticker.
    Bases.Exec(Bases.BridgePath(), QStringLiteral("UPDATE tSecCode SET SecCode = 'ABCE', Class_Code = 'BOARD2' WHERE Ticker = 'ABC'"));
    EXPECT_EQ(dispatch(QStringLiteral("ABC")), (QStringList{QStringLiteral("ABCE/BOARD2"), QStringLiteral("ABCE/BOARD2")}));
    // Another order, another security.
    EXPECT_EQ(dispatch(QStringLiteral("RI")), (QStringList{QStringLiteral("RIH9/SPBFUT"), QStringLiteral("RIH9/SPBFUT")}));

    // The operator stores the security through the data module between two accounts of
    // one dispatch: the next account has the stored row.
    RefreshTable(DatMod.tSecCode()); // the grid shows the row as it is now
    afterFirstAccount = [this] {
        TTable& securities = DatMod.tSecCode();
        ASSERT_TRUE(securities.Locate(QStringLiteral("Ticker"), QStringLiteral("ABC")));
        securities.FieldByName(QStringLiteral("SecCode")).SetValue(QStringLiteral("ABCF"));
        ASSERT_TRUE(securities.Post());
    };
    EXPECT_EQ(dispatch(QStringLiteral("ABC")), (QStringList{QStringLiteral("ABCE/BOARD2"), QStringLiteral("ABCF/BOARD2")}));
    // ...or deletes it: the next account finds no security and gets nothing.
    afterFirstAccount = [this] {
        TTable& securities = DatMod.tSecCode();
        ASSERT_TRUE(securities.Locate(QStringLiteral("Ticker"), QStringLiteral("ABC")));
        securities.Delete();
    };
    EXPECT_EQ(dispatch(QStringLiteral("ABC")), QStringList{QStringLiteral("ABCF/BOARD2")});
    const QStringList lines = LogLines();
    EXPECT_TRUE(std::any_of(lines.cbegin(), lines.cend(), [](const QString& line) {
        return line.endsWith(SecurityNotFoundMessage(QStringLiteral("ABC")));
    }));
}

// What the sender books for each kind of order, in order, and how a failed booking of an
// entry's position leaves the transaction going on while a failed report row stops it.
TEST(SendTransactionBookingsTest, EachKindOfOrderBooksWhatItChanges)
{
    TTestEnvironment env;
    QTemporaryDir dir;
    TSettings settings;
    settings.edtTRI = dir.filePath(QStringLiteral("Trans.tri"));
    TOperationLog log{env.Environment};
    log.OpenFile(dir.filePath(QStringLiteral("Zovrant.log")));
    TTransWriter writer{settings, env.Environment, log};
    TFakeTransactionBookings bookings;
    TRecordingEvents events;
    TTransactionSender sender{settings, writer, bookings, log, events};

    TOmegaOrder omega;
    omega.Id = 41;
    omega.Symbol = QStringLiteral("ABC");
    omega.OrderType = QStringLiteral("LE");
    TOrder order;
    order.Action = QStringLiteral("NEW_ORDER");
    order.ClientCode = QStringLiteral("C1");
    order.OrderId = 41;
    order.Ticker = QStringLiteral("ABC");
    order.OrderType = QStringLiteral("LE");
    order.Quantity = 3;
    order.Account = QStringLiteral("ACC01");
    order.ClassCode = QStringLiteral("BOARD1");
    order.SecCode = QStringLiteral("ABCD");
    order.Operation = QStringLiteral("B");
    order.Price = 100;

    sender.SendTransaction(order, omega);
    EXPECT_EQ(bookings.Booked, (QStringList{QStringLiteral("order 0 41 active C1"),
                                            QStringLiteral("position C1 ABC Long 3")}));

    // An entry whose position cannot be booked is logged; its line and report row stand.
    bookings.Booked.clear();
    bookings.Fail = {QStringLiteral("position")};
    sender.SendTransaction(order, omega);
    EXPECT_EQ(bookings.Booked, QStringList{QStringLiteral("order 1 41 active C1")});
    const QStringList lines = LogLinesOf(log);
    ASSERT_GE(lines.size(), 2);
    EXPECT_TRUE(lines[lines.size() - 2].endsWith(
        QStringLiteral("Произошла ошибка при добавлении записи в таблицу tClientOpenPositions")));
    EXPECT_TRUE(lines.last().endsWith(QStringLiteral("Запись position не удалась")));

    // An exit deletes the position; a failed report row ends the transaction with an
    // error, its number used up, and the status told.
    bookings.Booked.clear();
    bookings.Fail = {QStringLiteral("order")};
    order.OrderType = QStringLiteral("LX");
    const int statusBefore = events.Count(QStringLiteral("status"));
    EXPECT_THROW(sender.SendTransaction(order, omega), TError);
    EXPECT_TRUE(bookings.Booked.isEmpty());
    EXPECT_EQ(writer.TransCounter(), 3);
    EXPECT_EQ(events.Count(QStringLiteral("status")), statusBefore + 1);
    bookings.Fail.clear();
    sender.SendTransaction(order, omega);
    EXPECT_EQ(bookings.Booked, (QStringList{QStringLiteral("order 3 41 active C1"),
                                            QStringLiteral("exit C1 ABC Long")}));
}

INSTANTIATE_TEST_SUITE_P(Engines, SendTransactionTest,
                         ::testing::Values(TTestEngine::Sqlite, TTestEngine::Odbc),
                         [](const auto& info) { return std::string(EngineName(info.param)); });

} // namespace
