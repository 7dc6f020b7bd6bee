#include "base/CodePage.h"
#include "base/Error.h"
#include "base/OperationLog.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <gtest/gtest.h>

namespace {

class OperationLogTest : public ::testing::Test {
protected:
    TTestEnvironment Env;
    QTemporaryDir Dir;
    QString LogPath() const { return Dir.filePath(QStringLiteral("Zovrant.log")); }
    QString FileText() const { return FromCp1251(ReadWholeFile(LogPath())); }
};

TEST_F(OperationLogTest, LineFormatFollowsRegionalSettings)
{
    struct Case { const char* name; QString date; QString time; QString expected; };
    const Case cases[] = {
        {"russian", QStringLiteral("dd.MM.yyyy"), QStringLiteral("H:mm:ss"),
         QStringLiteral("09.12.2008 9:05:03 Загрузка ордеров включена.")},
        {"us", QStringLiteral("M/d/yyyy"), QStringLiteral("h:mm:ss AP"),
         QStringLiteral("12/9/2008 9:05:03 AM Загрузка ордеров включена.")},
    };
    for (const Case& c : cases) {
        Env.Environment.Regional.ShortDateFormat = c.date;
        Env.Environment.Regional.LongTimeFormat = c.time;
        TOperationLog log(Env.Environment);
        log.AddToLog(QStringLiteral("Загрузка ордеров включена."));
        EXPECT_EQ(log.Line(0), c.expected) << c.name;
    }
}

TEST_F(OperationLogTest, EachLineTakesTheDateAndTimeOfItsOwnMoment)
{
    // One log through changes of the clock and of the regional formats: a text made for
    // an earlier line is never carried over to a line whose date, time or format differ.
    TOperationLog log(Env.Environment);
    struct Step { QDateTime clock; QString date; QString time; QString expected; };
    const Step steps[] = {
        {QDateTime(QDate(2008, 12, 9), QTime(9, 5, 3)), QStringLiteral("dd.MM.yyyy"), QStringLiteral("H:mm:ss"),
         QStringLiteral("09.12.2008 9:05:03 m")},
        {QDateTime(QDate(2008, 12, 9), QTime(9, 5, 3)), QStringLiteral("dd.MM.yyyy"), QStringLiteral("H:mm:ss"),
         QStringLiteral("09.12.2008 9:05:03 m")},
        // A millisecond later: the same text with a format of whole seconds...
        {QDateTime(QDate(2008, 12, 9), QTime(9, 5, 3, 1)), QStringLiteral("dd.MM.yyyy"), QStringLiteral("H:mm:ss"),
         QStringLiteral("09.12.2008 9:05:03 m")},
        // ...and another one with a format that shows them.
        {QDateTime(QDate(2008, 12, 9), QTime(9, 5, 3, 2)), QStringLiteral("dd.MM.yyyy"), QStringLiteral("H:mm:ss.zzz"),
         QStringLiteral("09.12.2008 9:05:03.002 m")},
        {QDateTime(QDate(2008, 12, 9), QTime(9, 5, 4)), QStringLiteral("dd.MM.yyyy"), QStringLiteral("H:mm:ss"),
         QStringLiteral("09.12.2008 9:05:04 m")},
        {QDateTime(QDate(2008, 12, 9), QTime(9, 5, 4)), QStringLiteral("M/d/yyyy"), QStringLiteral("h:mm:ss AP"),
         QStringLiteral("12/9/2008 9:05:04 AM m")},
        // Midnight: the date moves on while the time text could look alike.
        {QDateTime(QDate(2008, 12, 10), QTime(9, 5, 4)), QStringLiteral("M/d/yyyy"), QStringLiteral("h:mm:ss AP"),
         QStringLiteral("12/10/2008 9:05:04 AM m")},
        {QDateTime(QDate(2008, 12, 10), QTime(21, 5, 4)), QStringLiteral("M/d/yyyy"), QStringLiteral("h:mm:ss AP"),
         QStringLiteral("12/10/2008 9:05:04 PM m")},
        {QDateTime(QDate(2008, 12, 10), QTime(21, 5, 4)), QStringLiteral("dd.MM.yyyy"), QStringLiteral("H:mm:ss"),
         QStringLiteral("10.12.2008 21:05:04 m")},
    };
    for (const Step& step : steps) {
        Env.Clock = step.clock;
        Env.Environment.Regional.ShortDateFormat = step.date;
        Env.Environment.Regional.LongTimeFormat = step.time;
        log.AddToLog(QStringLiteral("m"));
        EXPECT_EQ(log.Line(log.LineCount() - 1), step.expected);
    }
    EXPECT_EQ(log.LineCount(), int(std::size(steps)));
}

TEST_F(OperationLogTest, MultiLineMessageGivesLinesWithoutPrefixAfterTheFirst)
{
    TOperationLog log(Env.Environment);
    log.OpenFile(LogPath());
    log.AddToLog(QStringLiteral("Failure: Произошла ошибка во время отправки сообщения: \r\nTimeout"));
    ASSERT_EQ(log.LineCount(), 2);
    log.SaveLog();
    EXPECT_EQ(log.LoggedLineCount(), 2);
    EXPECT_EQ(FileText(),
              QStringLiteral("09.12.2008 9:05:03 Failure: Произошла ошибка во время отправки сообщения: \r\n"
                             "Timeout\r\n"));
    // The file is Windows-1251: one byte per Cyrillic letter.
    EXPECT_TRUE(ReadWholeFile(LogPath()).contains(ToCp1251(QStringLiteral("Произошла"))));

    // A lone line feed or carriage return breaks the line as well.
    log.AddToLog(QStringLiteral("a\nb\rc"));
    EXPECT_EQ(LogLinesOf(log).mid(2), (QStringList{QStringLiteral("09.12.2008 9:05:03 a"), QStringLiteral("b"),
                                                   QStringLiteral("c")}));
}

TEST_F(OperationLogTest, SaveLogWritesEachLineOnceAndKeepsEarlierContent)
{
    WriteWholeFile(LogPath(), "earlier run\r\n");
    TOperationLog log(Env.Environment);
    log.OpenFile(LogPath());
    log.AddToLog(QStringLiteral("one"));
    log.AddToLog(QStringLiteral("two"));
    log.SaveLog();
    log.SaveLog();
    // A line the operator typed into the view reaches the file like any other.
    log.Lines().InsertLine(log.LineCount(), QStringLiteral("typed"));
    log.SaveLog();
    EXPECT_EQ(FileText(), QStringLiteral("earlier run\r\n09.12.2008 9:05:03 one\r\n"
                                         "09.12.2008 9:05:03 two\r\ntyped\r\n"));
    EXPECT_EQ(log.LoggedLineCount(), 3);
}

TEST_F(OperationLogTest, LinesDeletedInTheViewMoveTheSavedCountBack)
{
    TOperationLog log(Env.Environment);
    log.OpenFile(LogPath());
    log.AddToLog(QStringLiteral("one"));
    log.AddToLog(QStringLiteral("two"));
    log.SaveLog();
    log.Lines().RemoveLines(0, log.LineCount());
    log.SaveLog();
    EXPECT_EQ(log.LoggedLineCount(), 0);
    log.AddToLog(QStringLiteral("three"));
    log.SaveLog();
    EXPECT_TRUE(FileText().endsWith(QStringLiteral("two\r\n09.12.2008 9:05:03 three\r\n")));
}

TEST_F(OperationLogTest, SecondInstanceCannotOpenTheSameLogFile)
{
    TOperationLog first(Env.Environment);
    first.OpenFile(LogPath());
    TOperationLog second(Env.Environment);
    try {
        second.OpenFile(LogPath());
        FAIL() << "second instance opened the log file";
    } catch (const TError& error) {
        EXPECT_TRUE(error.Text().contains(QStringLiteral("занят другим процессом"))) << error.Text().toStdString();
    }
    first.CloseFile();
    EXPECT_NO_THROW(second.OpenFile(LogPath()));
}

TEST_F(OperationLogTest, FailedWriteKeepsTheLinesForTheNextSave)
{
    TOperationLog log(Env.Environment);
    log.AddToLog(QStringLiteral("waiting"));
    // No file open: the write fails and the count stays.
    EXPECT_THROW(log.SaveLog(), TError);
    EXPECT_EQ(log.LoggedLineCount(), 0);
    log.OpenFile(LogPath());
    log.SaveLog();
    EXPECT_EQ(FileText(), QStringLiteral("09.12.2008 9:05:03 waiting\r\n"));
}

} // namespace
