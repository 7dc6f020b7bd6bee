#include "base/CodePage.h"
#include "base/Error.h"
#include "base/OperationLog.h"
#include "data/Settings.h"
#include "tests/support/RecordingEvents.h"
#include "tests/support/TestEnvironment.h"
#include "trade/ResultBookings.h"
#include "trade/ResultLine.h"
#include "trade/ResultReader.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <gtest/gtest.h>

#include <set>
#include <utility>
#include <vector>

// Readable texts in failure messages.
static void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

// The transaction report and the alert tables in memory: rows of `tOrderNumber` keyed by
// transaction number, the order-number column of both alert tables, and a journal of
// every operation that succeeded. A transaction number in FailingTransIds makes its
// booking fail, as a database error would.
class TFakeBookings : public TResultBookings {
public:
    struct TRow {
        int IdOrder = 0;
        bool Filled = false;
        std::optional<TResultLine> Result;
    };
    QMap<int, TRow> Rows;
    QMap<int, int> FilledOrderNumbers; // FilledOrders: id -> [order number]
    QMap<int, int> ActiveOrderNumbers; // ActiveOrders: id -> [order number]
    QStringList Journal;
    std::set<int> FailingTransIds;
    // The bookings are stored together from BeginBookings to CommitBookings; with
    // FailCommit the commit fails and, like a database, the rows go back to what they were.
    bool FailCommit = false;
    int Commits = 0;
    struct TSnapshot {
        QMap<int, TRow> Rows;
        QMap<int, int> FilledOrderNumbers;
        QMap<int, int> ActiveOrderNumbers;
    };
    std::optional<TSnapshot> Uncommitted;

    void BeginBookings() override { Uncommitted = TSnapshot{Rows, FilledOrderNumbers, ActiveOrderNumbers}; }
    void CommitBookings() override
    {
        if (FailCommit)
            throw TError(QStringLiteral("Database error at commit"));
        Uncommitted.reset();
        ++Commits;
    }
    void RollbackBookings() noexcept override
    {
        if (!Uncommitted)
            return;
        Rows = Uncommitted->Rows;
        FilledOrderNumbers = Uncommitted->FilledOrderNumbers;
        ActiveOrderNumbers = Uncommitted->ActiveOrderNumbers;
        Uncommitted.reset();
    }

    std::optional<TTransactionRow> LookUp(int transId) override
    {
        Journal << QStringLiteral("lookup %1").arg(transId);
        const auto row = Rows.constFind(transId);
        if (row == Rows.constEnd())
            return std::nullopt;
        const qint64 booked = row->Result && row->Result->OrderNumber ? *row->Result->OrderNumber : 0;
        return TTransactionRow{row->IdOrder, row->Filled, QStringLiteral("C%1").arg(transId), booked};
    }

    void UpdateOrderNumber(bool filled, qint64 idOrder) override
    {
        Journal << QStringLiteral("update %1 %2").arg(filled ? "FilledOrders" : "ActiveOrders").arg(idOrder);
        (filled ? FilledOrderNumbers : ActiveOrderNumbers)[idOrder] = idOrder;
    }

    void BookResult(const TResultLine& result) override
    {
        if (FailingTransIds.count(result.TransId))
            throw TError(QStringLiteral("Database error while booking %1").arg(result.TransId));
        Journal << QStringLiteral("book %1").arg(result.TransId);
        const auto row = Rows.find(result.TransId);
        if (row == Rows.end())
            return;
        // Without an order number the one booked before stays, as in the database.
        const std::optional<qint64> booked = row->Result ? row->Result->OrderNumber : std::nullopt;
        row->Result = result;
        if (!result.OrderNumber)
            row->Result->OrderNumber = booked;
    }
};

bool SameResult(const TResultLine& a, const TResultLine& b)
{
    return a.TransId == b.TransId && a.Status == b.Status && a.TransName == b.TransName
        && a.Description == b.Description && a.OrderNumber == b.OrderNumber;
}

TEST(ResultLineTest, KeysDefaultsAndCheckedValues)
{
    struct Case {
        QString line;
        std::optional<TResultLine> expected; // none: the line is skipped
        int problems;
    };
    const Case cases[] = {
        {QStringLiteral("TRANS_ID=5;STATUS=3;TRANS_NAME=\"new\";DESCRIPTION=\"ok\";ORDER_NUMBER=123456;"),
         TResultLine{5, 3, QStringLiteral("new"), QStringLiteral("ok"), 123456}, 0},
        // The last value has no separator after it, so it is dropped.
        {QStringLiteral("TRANS_ID=5;STATUS=3;TRANS_NAME=\"new\";DESCRIPTION=\"ok\";ORDER_NUMBER=123456"),
         TResultLine{5, 3, QStringLiteral("new"), QStringLiteral("ok"), 0}, 0},
        {QStringLiteral("TRANS_ID=6;"), TResultLine{6, -1, QString(), QString(), 0}, 0},
        {QStringLiteral("TRANS_ID = 7 ; STATUS = 0 ;"), TResultLine{7, 0, QString(), QString(), 0}, 0},
        {QStringLiteral("\tTRANS_ID\t=\x01" "8\r;STATUS=\t2;"), TResultLine{8, 2, QString(), QString(), 0}, 0},
        // Keys match exactly; unknown ones are ignored; a later occurrence wins.
        {QStringLiteral("TRANS_ID=9;status=3;FOO=1;STATUS=0;STATUS=4;Trans_Name=\"x\";"),
         TResultLine{9, 4, QString(), QString(), 0}, 0},
        {QStringLiteral("TRANS_ID=10;STATUS=;TRANS_NAME=;ORDER_NUMBER=;"),
         TResultLine{10, -1, QString(), QString(), 0}, 0},
        {QStringLiteral("TRANS_ID=11;STATUS=3;ORDER_NUMBER=98765432101234;"),
         TResultLine{11, 3, QString(), QString(), 98765432101234LL}, 0},
        // A status that is no integer is booked as -1, an order number that is none is
        // left out of the booking; each with a log line.
        {QStringLiteral("TRANS_ID=12;STATUS=3a;ORDER_NUMBER=12x;"),
         TResultLine{12, -1, QString(), QString(), std::nullopt}, 2},
        {QStringLiteral("TRANS_ID=13;STATUS=70000;"), TResultLine{13, -1, QString(), QString(), 0}, 1},
        // Texts lose one pair of enclosing quotes only; inner quotes stay.
        {QStringLiteral("TRANS_ID=14;TRANS_NAME=\"\"a\"\";DESCRIPTION=\"Он сказал \"да\"\";"),
         TResultLine{14, -1, QStringLiteral("\"a\""), QStringLiteral("Он сказал \"да\""), 0}, 0},
        {QStringLiteral("TRANS_ID=15;TRANS_NAME=plain;DESCRIPTION=\";"),
         TResultLine{15, -1, QStringLiteral("plain"), QStringLiteral("\""), 0}, 0},
        // No usable transaction number: skipped with a log line.
        {QStringLiteral("TRANS_ID=1 OR 1=1;STATUS=3;"), std::nullopt, 1},
        {QStringLiteral("TRANS_ID=abc;STATUS=3;"), std::nullopt, 1},
        {QStringLiteral("TRANS_ID=99999999999;STATUS=3;"), std::nullopt, 1},
        {QStringLiteral("STATUS=3;ORDER_NUMBER=5;"), std::nullopt, 1},
        {QStringLiteral("TRANS_ID=16"), std::nullopt, 1},
        // The program never issues a negative number: such a line names no transaction.
        {QStringLiteral("TRANS_ID=-1;STATUS=3;"), std::nullopt, 1},
        // A blank line carries nothing to report.
        {QStringLiteral(" \t "), std::nullopt, 0},
        {QString(), std::nullopt, 0},
    };
    for (const Case& c : cases) {
        const TResultLineParse parse = ParseResultLine(c.line);
        ASSERT_EQ(parse.Result.has_value(), c.expected.has_value()) << c.line.toStdString();
        if (c.expected) {
            EXPECT_TRUE(SameResult(*parse.Result, *c.expected))
                << c.line.toStdString() << " -> " << parse.Result->TransId << "/" << parse.Result->Status
                << "/" << parse.Result->TransName.toStdString() << "/"
                << parse.Result->Description.toStdString() << "/" << parse.Result->OrderNumber.value_or(-1);
        }
        EXPECT_EQ(parse.Problems.size(), c.problems) << c.line.toStdString();
        if (!c.expected && c.problems > 0) {
            EXPECT_TRUE(parse.Problems.front().contains(c.line)) << c.line.toStdString();
        }
    }
}

TEST(ResultLineTest, SplitterDropsTextAfterTheLastSeparator)
{
    EXPECT_EQ(SplitResultLine(QStringLiteral(" A = 1 ;;B=2")),
              (QStringList{QStringLiteral("A"), QStringLiteral("1"), QString(), QStringLiteral("B")}));
    EXPECT_TRUE(SplitResultLine(QStringLiteral("no separator")).isEmpty());
}

class ResultReaderTest : public ::testing::Test {
protected:
    TTestEnvironment Env;
    QTemporaryDir Dir;
    TSettings Settings;
    TOperationLog Log{Env.Environment};
    TFakeBookings Bookings;
    TRecordingEvents Events;
    TResultReader Reader{Settings, Log, Bookings, Events};
    QStringList& Mails = Events.Announced;

    void SetUp() override
    {
        Settings.edtTRO = Dir.filePath(QStringLiteral("trans.tro"));
        Log.OpenFile(Dir.filePath(QStringLiteral("Zovrant.log")));
        Bookings.Rows[1] = {101, true, std::nullopt};
        Bookings.Rows[2] = {202, false, std::nullopt};
        Bookings.Rows[3] = {303, true, std::nullopt};
    }

    void Append(const QString& text)
    {
        QFile file(Settings.edtTRO);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Append));
        file.write(ToCp1251(text)); // the terminal writes Windows-1251
    }
    void Rewrite(const QString& text) { WriteWholeFile(Settings.edtTRO, ToCp1251(text)); }

    // The log's messages without their date and time.
    QStringList Messages() const
    {
        QStringList messages;
        for (int i = 0; i < Log.LineCount(); ++i)
            messages << Log.Line(i).mid(QStringLiteral("09.12.2008 9:05:03 ").size());
        return messages;
    }
    QString LogFile() const { return FromCp1251(ReadWholeFile(Dir.filePath(QStringLiteral("Zovrant.log")))); }
    const TResultLine& Booked(int transId) { return *Bookings.Rows[transId].Result; }
};

TEST_F(ResultReaderTest, LinesWrittenWhileNotReadingAreBookedReportedAndLinkedInOrder)
{
    Settings.chSendTrans_done = true;
    Append(QStringLiteral(
        "TRANS_ID=1;STATUS=0;TRANS_NAME=\"Ввод заявки\";DESCRIPTION=\"Отправлена\";\r\n"
        "TRANS_ID=1;STATUS=3;TRANS_NAME=\"Ввод заявки\";DESCRIPTION=\"Заявка зарегистрирована\";ORDER_NUMBER=123456;\r\n"
        "TRANS_ID=2;STATUS=3;TRANS_NAME=\"new\";DESCRIPTION=\"ok\";ORDER_NUMBER=222;\r\n"
        "TRANS_ID=77;STATUS=3;ORDER_NUMBER=777;\r\n"
        "TRANS_ID=3;STATUS=2;DESCRIPTION=\"Отвергнута\";\r\n"));

    Reader.actCheckTROExecute();

    // Every line looks its transaction up; status 3 links its strategy order in the table
    // the order came from. A transaction without a report row was never sent by this
    // bridge: nothing is booked for it.
    EXPECT_EQ(Bookings.Journal,
              (QStringList{"lookup 1", "book 1", "lookup 1", "update FilledOrders 101", "book 1",
                           "lookup 2", "update ActiveOrders 202", "book 2",
                           "lookup 77", "lookup 3", "book 3"}));
    EXPECT_TRUE(SameResult(Booked(1), {1, 3, QStringLiteral("Ввод заявки"), QStringLiteral("Заявка зарегистрирована"), 123456}));
    EXPECT_TRUE(SameResult(Booked(2), {2, 3, QStringLiteral("new"), QStringLiteral("ok"), 222}));
    EXPECT_TRUE(SameResult(Booked(3), {3, 2, QString(), QStringLiteral("Отвергнута"), 0}));
    EXPECT_EQ(Bookings.FilledOrderNumbers, (QMap<int, int>{{101, 101}}));
    EXPECT_EQ(Bookings.ActiveOrderNumbers, (QMap<int, int>{{202, 202}}));

    const QStringList done{QStringLiteral("Транзакция номер 1 успешно выполнена."),
                           QStringLiteral("Транзакция номер 2 успешно выполнена.")};
    EXPECT_EQ(Messages(), QStringList{QStringLiteral("Транзакция номер 1 отправлена на сервер Quik.")} + done
                              + QStringList{QStringLiteral(
                                  "Результат транзакции номер 77 не учтён: такую транзакцию эта программа не "
                                  "отправляла. Строка: \"TRANS_ID=77;STATUS=3;ORDER_NUMBER=777;\"")});
    EXPECT_EQ(Mails, done);
    EXPECT_EQ(Reader.TroLineCount(), 5);
    EXPECT_EQ(Reader.TransSentCount(), 1);
    EXPECT_EQ(Reader.TransDoneCount(), 2);

    // Nothing new: a pass books and reports nothing more.
    Reader.actCheckTROExecute();
    EXPECT_EQ(Bookings.Journal.size(), 11);
    EXPECT_EQ(Log.LineCount(), 4);
}

TEST_F(ResultReaderTest, BookedOrderNumberIsNeverReplacedAndAConflictingLineIsQuoted)
{
    Append(QStringLiteral("TRANS_ID=1;STATUS=3;ORDER_NUMBER=5001;\r\n"
                          "TRANS_ID=2;STATUS=1;ORDER_NUMBER=0;\r\n"
                          "TRANS_ID=2;STATUS=3;ORDER_NUMBER=5002;\r\n"));
    Reader.actCheckTROExecute();
    ASSERT_EQ(Booked(1).OrderNumber, 5001);
    ASSERT_EQ(Booked(2).OrderNumber, 5002);
    const int linesBefore = Log.LineCount();
    const int doneBefore = Reader.TransDoneCount();
    std::vector<std::pair<int, TTransactionRow>> told;
    Reader.Booked = [&](const TResultLine& result, const TTransactionRow& row) { told.emplace_back(result.TransId, row); };

    // Another number, or none after the execution: the booked number stays, the line is
    // logged (cut) and counts for nothing. The same number again, with a new status, is
    // an ordinary result.
    const QString longTail(500, QLatin1Char('x'));
    Append(QStringLiteral("TRANS_ID=1;STATUS=3;ORDER_NUMBER=6666;DESCRIPTION=\"%1\";\r\n"
                          "TRANS_ID=2;STATUS=0;ORDER_NUMBER=0;\r\n"
                          "TRANS_ID=2;STATUS=4;ORDER_NUMBER=5002;\r\n")
               .arg(longTail));
    Reader.actCheckTROExecute();

    EXPECT_TRUE(SameResult(Booked(1), {1, 3, QString(), QString(), 5001}));
    EXPECT_TRUE(SameResult(Booked(2), {2, 4, QString(), QString(), 5002}));
    EXPECT_EQ(Reader.TransDoneCount(), doneBefore);
    const QStringList added = Messages().mid(linesBefore);
    ASSERT_EQ(added.size(), 2);
    EXPECT_TRUE(added[0].startsWith(QStringLiteral(
        "Результат транзакции номер 1 не учтён: у транзакции уже есть номер заявки 5001, а строка называет другой. "
        "Строка: \"TRANS_ID=1;STATUS=3;ORDER_NUMBER=6666;")));
    EXPECT_LT(added[0].size(), 400) << "the quoted line is cut";
    EXPECT_TRUE(added[1].contains(QStringLiteral("номер 2 не учтён: у транзакции уже есть номер заявки 5002")));
    // Only the line that was booked is told on, with its transaction's row.
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].first, 2);
    EXPECT_EQ(told[0].second.IdOrder, 202);
    EXPECT_EQ(told[0].second.Code, QStringLiteral("C2"));
}

TEST_F(ResultReaderTest, PassSavesTheLogAndRefreshesTheStatusBarPerLine)
{
    Settings.chSendTrans_done = false;
    Append(QStringLiteral("TRANS_ID=1;STATUS=0;\r\nTRANS_ID=2;STATUS=5;\r\nTRANS_ID=3;STATUS=3;\r\n"));
    Reader.actCheckTROExecute();
    EXPECT_EQ(Events.Count(QStringLiteral("status")), 3);
    EXPECT_EQ(LogFile(), QStringLiteral("09.12.2008 9:05:03 Транзакция номер 1 отправлена на сервер Quik.\r\n"
                                        "09.12.2008 9:05:03 Транзакция номер 3 успешно выполнена.\r\n"));
    EXPECT_TRUE(Mails.isEmpty()); // not asked for
}

TEST_F(ResultReaderTest, MissingFileEndsSilentlyAndUnopenableFileReachesTheCaller)
{
    Reader.actCheckTROExecute();
    EXPECT_EQ(Log.LineCount(), 0);
    EXPECT_TRUE(Bookings.Journal.isEmpty());

    // A folder in place of the file cannot be opened for reading.
    ASSERT_TRUE(QDir(Dir.path()).mkdir(QStringLiteral("trans.tro")));
    EXPECT_THROW(Reader.actCheckTROExecute(), TError);
    ASSERT_TRUE(QDir(Dir.path()).rmdir(QStringLiteral("trans.tro")));

    Append(QStringLiteral("TRANS_ID=1;STATUS=0;\r\n"));
    Reader.actCheckTROExecute();
    EXPECT_EQ(Bookings.Journal, (QStringList{"lookup 1", "book 1"}));
    EXPECT_EQ(Reader.TroLineCount(), 1);
}

TEST_F(ResultReaderTest, ShrunkOrReplacedFileIsReadFromItsStartAndRepeatsChangeNothing)
{
    Append(QStringLiteral("TRANS_ID=1;STATUS=0;\r\nTRANS_ID=2;STATUS=0;\r\nTRANS_ID=3;STATUS=0;\r\n"));
    Reader.actCheckTROExecute();
    ASSERT_EQ(Reader.TroLineCount(), 3);

    // What a restarted terminal writes at once into its new file: results already booked
    // (changing nothing, neither logged nor counted again) and new ones (booked).
    struct Case { const char* name; QString replacement; int lines; QStringList booked; int done; };
    const Case cases[] = {
        {"shrunk", QStringLiteral("TRANS_ID=1;STATUS=3;ORDER_NUMBER=5;\r\n"), 1,
         {"lookup 1", "update FilledOrders 101", "book 1"}, 1},
        // Longer than before, but not the file the lines were read from.
        {"replaced", QStringLiteral("TRANS_ID=1;STATUS=0;\r\nTRANS_ID=1;STATUS=3;ORDER_NUMBER=5;\r\n"
                                    "TRANS_ID=3;STATUS=3;ORDER_NUMBER=7;\r\nTRANS_ID=2;STATUS=0;\r\n"), 4,
         {"lookup 3", "update FilledOrders 303", "book 3"}, 1},
        {"emptied", QString(), 0, {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bookings.Journal.clear();
        const int logLines = Log.LineCount();
        const int doneCount = Reader.TransDoneCount();
        const int sentCount = Reader.TransSentCount();
        Rewrite(c.replacement);
        Reader.actCheckTROExecute();
        EXPECT_EQ(Bookings.Journal, c.booked);
        EXPECT_EQ(Reader.TroLineCount(), c.lines);
        EXPECT_EQ(Reader.TransDoneCount(), doneCount + c.done);
        EXPECT_EQ(Reader.TransSentCount(), sentCount);
        ASSERT_EQ(Log.LineCount(), logLines + 1 + c.done);
        EXPECT_TRUE(Log.Line(logLines).contains(QStringLiteral("заменён или укорочен")));

        // Reading goes on after what the new file held (a transaction of its own each
        // time: a second number for one transaction would change nothing).
        Bookings.Journal.clear();
        const int transId = 10 + c.lines;
        Bookings.Rows[transId] = {202, false, std::nullopt};
        Append(QStringLiteral("TRANS_ID=%1;STATUS=3;ORDER_NUMBER=%2;\r\n").arg(transId).arg(42 + c.lines));
        Reader.actCheckTROExecute();
        EXPECT_EQ(Bookings.Journal,
                  (QStringList{QStringLiteral("lookup %1").arg(transId), "update ActiveOrders 202",
                               QStringLiteral("book %1").arg(transId)}));
        EXPECT_EQ(Reader.TroLineCount(), c.lines + 1);
    }
}

TEST_F(ResultReaderTest, UnreadableOrderNumberKeepsTheBookedOneAndBadLinesAreQuotedShort)
{
    Append(QStringLiteral("TRANS_ID=2;STATUS=3;ORDER_NUMBER=77;\r\nTRANS_ID=2;STATUS=3;ORDER_NUMBER=7x;\r\n"));
    Reader.actCheckTROExecute();
    EXPECT_EQ(Booked(2).OrderNumber, 77);

    // A line of a megabyte with control bytes: the log quotes its start, escaped.
    const QString huge = QStringLiteral("TRANS_ID=x\x01\x1b;") + QString(1000000, QLatin1Char('A')) + QStringLiteral(";");
    Append(huge + QStringLiteral("\r\n"));
    const int logLines = Log.LineCount();
    Reader.actCheckTROExecute();
    ASSERT_EQ(Log.LineCount(), logLines + 1);
    const QString line = Log.Line(logLines);
    EXPECT_LT(line.size(), 400);
    EXPECT_TRUE(line.contains(QStringLiteral("TRANS_ID=x\\x01\\x1b;AAA"))) << line.toStdString();
    EXPECT_TRUE(line.endsWith(QStringLiteral("…")));
    EXPECT_EQ(LogFragment(QStringLiteral("a\r\n\tb")), QStringLiteral("a\\r\\n\\tb"));
    EXPECT_EQ(LogFragment(QString(LogFragmentLength, QLatin1Char('z'))), QString(LogFragmentLength, QLatin1Char('z')));
}

TEST_F(ResultReaderTest, LineIsProcessedOnlyOnceItsLineBreakIsWritten)
{
    Append(QStringLiteral("TRANS_ID=1;STATUS=3;DESCRIPTION=\"Заявка"));
    Reader.actCheckTROExecute();
    EXPECT_TRUE(Bookings.Journal.isEmpty());
    EXPECT_EQ(Reader.TroLineCount(), 0);

    Append(QStringLiteral(" исполнена\";ORDER_NUMBER=12"));
    Reader.actCheckTROExecute();
    EXPECT_TRUE(Bookings.Journal.isEmpty());

    // The terminal completes the line; its CR LF arrives in two parts.
    Append(QStringLiteral("3456;\r"));
    Reader.actCheckTROExecute();
    Reader.actCheckTROExecute(); // nothing new yet
    Append(QStringLiteral("\nTRANS_ID=2;STATUS=0;\rTRANS_ID=3;STATUS=0;\n"));
    Reader.actCheckTROExecute();
    Append(QStringLiteral("\r\n"));
    Reader.actCheckTROExecute();

    EXPECT_EQ(Bookings.Journal, (QStringList{"lookup 1", "update FilledOrders 101", "book 1", "lookup 2", "book 2",
                                             "lookup 3", "book 3"}));
    EXPECT_TRUE(SameResult(Booked(1), {1, 3, QString(), QStringLiteral("Заявка исполнена"), 123456}));
    // The lone CR LF at the end is an empty line of its own, not the rest of a break.
    EXPECT_EQ(Reader.TroLineCount(), 4);
    EXPECT_EQ(Messages(), (QStringList{QStringLiteral("Транзакция номер 1 успешно выполнена."),
                                       QStringLiteral("Транзакция номер 2 отправлена на сервер Quik."),
                                       QStringLiteral("Транзакция номер 3 отправлена на сервер Quik.")}));
}

TEST_F(ResultReaderTest, HostileLinesAreSkippedOrStoredAsTextAndChangeNothingElse)
{
    Bookings.Rows[1].Result = TResultLine{1, 3, QStringLiteral("n"), QStringLiteral("d"), 111};
    Append(QStringLiteral(
        "TRANS_ID=1 OR 1=1;STATUS=3;ORDER_NUMBER=0;\r\n"
        "TRANS_ID=2;STATUS=3 OR 1;TRANS_NAME=\"x\" OR \"1\";DESCRIPTION=\"Он сказал \"да\"; DROP TABLE tOrderNumber\";\r\n"
        "\r\n"
        "TRANS_ID=3;STATUS=0;\r\n"));
    Reader.actCheckTROExecute();

    EXPECT_EQ(Bookings.Journal, (QStringList{"lookup 2", "book 2", "lookup 3", "book 3"}));
    EXPECT_TRUE(SameResult(Booked(1), {1, 3, QStringLiteral("n"), QStringLiteral("d"), 111}));
    // The ";" inside the description ends the value there; the rest is no key.
    EXPECT_TRUE(SameResult(Booked(2), {2, -1, QStringLiteral("x\" OR \"1"), QStringLiteral("Он сказал \"да"), 0}));
    EXPECT_EQ(Reader.TroLineCount(), 4);
    EXPECT_EQ(Reader.TransDoneCount(), 0);
    EXPECT_EQ(Messages(),
              (QStringList{
                  QStringLiteral("Строка файла результатов пропущена: нет номера транзакции (TRANS_ID): "
                                 "TRANS_ID=1 OR 1=1;STATUS=3;ORDER_NUMBER=0;"),
                  QStringLiteral("Транзакция номер 2: неверный статус \"3 OR 1\" в файле результатов, записан статус -1."),
                  QStringLiteral("Транзакция номер 3 отправлена на сервер Quik.")}));
}

TEST_F(ResultReaderTest, PassStartedFromInsideAPassDoesNothing)
{
    // A mailer that serves ticks while it waits (a message loop) runs the next pass
    // in the middle of this one.
    Settings.chSendTrans_done = true;
    Events.OnAnnounce = [this](const QString&) {
        Append(QStringLiteral("TRANS_ID=3;STATUS=0;\r\n"));
        Reader.actCheckTROExecute();
    };
    Append(QStringLiteral("TRANS_ID=1;STATUS=3;\r\nTRANS_ID=2;STATUS=0;\r\n"));
    Reader.actCheckTROExecute();
    EXPECT_EQ(Bookings.Journal, (QStringList{"lookup 1", "update FilledOrders 101", "book 1", "lookup 2", "book 2"}));
    Reader.actCheckTROExecute();
    EXPECT_EQ(Bookings.Journal.mid(5), (QStringList{"lookup 3", "book 3"}));
    EXPECT_EQ(Reader.TroLineCount(), 3);
    EXPECT_EQ(Reader.TransSentCount(), 2);
    EXPECT_EQ(Mails.size(), 1);
}

TEST_F(ResultReaderTest, BookingFailureResumesAtTheFailedLineWithoutRepeatingEarlierOnes)
{
    Settings.chSendTrans_done = true;
    Append(QStringLiteral("TRANS_ID=1;STATUS=0;\r\nTRANS_ID=2;STATUS=3;ORDER_NUMBER=22;\r\nTRANS_ID=3;STATUS=0;\r\n"));
    Bookings.FailingTransIds = {2};

    EXPECT_THROW(Reader.actCheckTROExecute(), TError);
    EXPECT_EQ(Bookings.Journal, (QStringList{"lookup 1", "book 1", "lookup 2", "update ActiveOrders 202"}));
    EXPECT_EQ(Reader.TroLineCount(), 1);
    EXPECT_EQ(Reader.TransSentCount(), 1);
    EXPECT_EQ(Reader.TransDoneCount(), 0);
    EXPECT_TRUE(Mails.isEmpty());
    // The work done before the failure is in the log file already.
    EXPECT_EQ(LogFile(), QStringLiteral("09.12.2008 9:05:03 Транзакция номер 1 отправлена на сервер Quik.\r\n"));

    // Still failing: the same line is tried again, nothing before it.
    Bookings.Journal.clear();
    EXPECT_THROW(Reader.actCheckTROExecute(), TError);
    EXPECT_EQ(Bookings.Journal, (QStringList{"lookup 2", "update ActiveOrders 202"}));

    Bookings.FailingTransIds.clear();
    Bookings.Journal.clear();
    Reader.actCheckTROExecute();
    EXPECT_EQ(Bookings.Journal,
              (QStringList{"lookup 2", "update ActiveOrders 202", "book 2", "lookup 3", "book 3"}));
    EXPECT_EQ(Booked(2).OrderNumber, 22);
    EXPECT_EQ(Reader.TroLineCount(), 3);
    EXPECT_EQ(Reader.TransSentCount(), 2);
    EXPECT_EQ(Reader.TransDoneCount(), 1);
    EXPECT_EQ(Mails, QStringList{QStringLiteral("Транзакция номер 2 успешно выполнена.")});
    EXPECT_EQ(Messages(), (QStringList{QStringLiteral("Транзакция номер 1 отправлена на сервер Quik."),
                                       QStringLiteral("Транзакция номер 2 успешно выполнена."),
                                       QStringLiteral("Транзакция номер 3 отправлена на сервер Quik.")}));
}

// The lines of a pass are stored in one commit; a commit that fails stores nothing of
// them, reports nothing and leaves the reader where it was, so the next pass books each
// line once and reports it once.
TEST_F(ResultReaderTest, FailedCommitStoresAndReportsNothingAndTheNextPassBooksEachLineOnce)
{
    Settings.chSendTrans_done = true;
    Append(QStringLiteral("TRANS_ID=1;STATUS=0;\r\nTRANS_ID=2;STATUS=3;ORDER_NUMBER=22;\r\nTRANS_ID=3;STATUS=0;\r\n"));
    Bookings.FailCommit = true;
    EXPECT_THROW(Reader.actCheckTROExecute(), TError);
    EXPECT_FALSE(Bookings.Rows[1].Result.has_value());
    EXPECT_FALSE(Bookings.Rows[2].Result.has_value());
    EXPECT_TRUE(Bookings.ActiveOrderNumbers.isEmpty());
    EXPECT_EQ(Reader.TroLineCount(), 0);
    EXPECT_EQ(Reader.TransSentCount(), 0);
    EXPECT_EQ(Reader.TransDoneCount(), 0);
    EXPECT_TRUE(Messages().isEmpty());
    EXPECT_TRUE(Mails.isEmpty());

    Bookings.FailCommit = false;
    Bookings.Journal.clear();
    Reader.actCheckTROExecute();
    EXPECT_EQ(Bookings.Commits, 1);
    EXPECT_EQ(Bookings.Journal, (QStringList{"lookup 1", "book 1", "lookup 2", "update ActiveOrders 202", "book 2",
                                             "lookup 3", "book 3"}));
    EXPECT_TRUE(SameResult(Booked(2), {2, 3, QString(), QString(), 22}));
    EXPECT_EQ(Bookings.ActiveOrderNumbers, (QMap<int, int>{{202, 202}}));
    EXPECT_EQ(Reader.TroLineCount(), 3);
    EXPECT_EQ(Messages(), (QStringList{QStringLiteral("Транзакция номер 1 отправлена на сервер Quik."),
                                       QStringLiteral("Транзакция номер 2 успешно выполнена."),
                                       QStringLiteral("Транзакция номер 3 отправлена на сервер Quik.")}));
    EXPECT_EQ(Mails, QStringList{QStringLiteral("Транзакция номер 2 успешно выполнена.")});

    // A booking that fails stores the lines before it with it; the commit that follows
    // failing too stores none of them.
    Append(QStringLiteral("TRANS_ID=3;STATUS=3;\r\nTRANS_ID=1;STATUS=3;\r\n"));
    Bookings.FailingTransIds = {1};
    Bookings.FailCommit = true;
    EXPECT_THROW(Reader.actCheckTROExecute(), TError);
    EXPECT_EQ(Booked(3).Status, 0);
    EXPECT_EQ(Reader.TroLineCount(), 3);
    EXPECT_EQ(Log.LineCount(), 4); // the commit's failure, logged beside the booking's
    Bookings.FailCommit = false;
    EXPECT_THROW(Reader.actCheckTROExecute(), TError);
    EXPECT_EQ(Booked(3).Status, 3);
    EXPECT_EQ(Reader.TroLineCount(), 4);
    EXPECT_EQ(Reader.TransDoneCount(), 2);
}

// A pass longer than a slice gives the event loop back after each slice, each slice in
// its own commit, and goes on by itself until every line is booked, in file order; a
// failure in a continuation goes to the guard, and the next pass resumes at its line.
TEST_F(ResultReaderTest, LongPassGoesOnFromTheEventLoopSliceBySlice)
{
    QStringList guarded;
    Reader.Guard = [&guarded](const std::function<void()>& work) {
        try {
            work();
        } catch (const std::exception& error) {
            guarded << ErrorText(error);
        }
    };
    Reader.SliceMs = 0; // one line per slice
    QString lines;
    for (int transId = 1; transId <= 5; ++transId)
        lines += QStringLiteral("TRANS_ID=%1;STATUS=0;\r\n").arg(transId);
    Append(lines);
    Bookings.Rows[4] = {404, false, std::nullopt};
    Bookings.Rows[5] = {505, false, std::nullopt};
    Bookings.FailingTransIds = {4};

    Reader.actCheckTROExecute();
    EXPECT_EQ(Reader.TroLineCount(), 1);
    EXPECT_EQ(Bookings.Commits, 1);
    EXPECT_TRUE(Reader.Continuing());
    ASSERT_TRUE(WaitUntil([&] { return !guarded.isEmpty(); }));
    EXPECT_EQ(guarded, QStringList{QStringLiteral("Database error while booking 4")});
    EXPECT_EQ(Reader.TroLineCount(), 3);
    EXPECT_FALSE(Reader.Continuing());
    EXPECT_EQ(Bookings.Journal.filter(QStringLiteral("book")), (QStringList{"book 1", "book 2", "book 3"}));

    Bookings.FailingTransIds.clear();
    Reader.actCheckTROExecute();
    ASSERT_TRUE(WaitUntil([&] { return Reader.TroLineCount() == 5 && !Reader.Continuing(); }));
    EXPECT_EQ(Bookings.Journal.filter(QStringLiteral("book")),
              (QStringList{"book 1", "book 2", "book 3", "book 4", "book 5"}));
    EXPECT_EQ(Reader.TransSentCount(), 5);
    EXPECT_EQ(Messages().size(), 5);
    EXPECT_EQ(Messages().last(), QStringLiteral("Транзакция номер 5 отправлена на сервер Quik."));
    EXPECT_EQ(guarded.size(), 1);
}

} // namespace
