#include "base/CodePage.h"
#include "base/Error.h"
#include "base/OperationLog.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFileInfo>
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

TEST_F(OperationLogTest, RotationBySizeAndAtMidnightKeepsEveryLineOnceAcrossTheFiles)
{
    struct Case { const char* name; int maxMB; int rotated; };
    const Case cases[] = {
        {"never", 0, 0},
        {"at a megabyte and at midnight", 1, 2},
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        const QString path = QDir(dir.path()).filePath(QStringLiteral("Zovrant.log"));
        Env.Clock = QDateTime(QDate(2008, 12, 9), QTime(23, 50, 0));
        QStringList expected;
        {
            // Small blocks of text in memory: the lines saved come back from the spill file too.
            TOperationLog log(Env.Environment, TLogLines::TBound{64 * 1024, 2});
            log.Rotation = [&c] { return TLogRotation{c.maxMB, 0}; };
            log.OpenFile(path);
            log.RotateAtStart();
            // Some 1.2 megabytes, saved in pieces as the program saves.
            for (int i = 0; i < 14000; ++i) {
                log.AddToLog(QStringLiteral("Транзакция %1 отправлена, строка журнала длиной около ста байт.").arg(i));
                if (i % 100 == 99)
                    log.SaveLog();
            }
            log.SaveLog();
            EXPECT_TRUE(QFileInfo::exists(path + QStringLiteral(".lines"))) << c.name;
            Env.Clock = QDateTime(QDate(2008, 12, 10), QTime(0, 0, 1));
            log.AddToLog(QStringLiteral("после полуночи"));
            log.SaveLog();
            expected = LogLinesOf(log);
            // The file in use is still held against a second instance.
            TOperationLog second(Env.Environment);
            EXPECT_THROW(second.OpenFile(path), TError) << c.name;
        }
        EXPECT_FALSE(QFileInfo::exists(path + QStringLiteral(".lines"))) << c.name;

        QStringList names = QDir(dir.path()).entryList({QStringLiteral("Zovrant.*.log")}, QDir::Files, QDir::Name);
        EXPECT_EQ(names.size(), c.rotated) << c.name << ": " << names.join(QLatin1Char(' ')).toStdString();
        names << QStringLiteral("Zovrant.log");
        QString all;
        for (const QString& name : names)
            all += FromCp1251(ReadWholeFile(QDir(dir.path()).filePath(name)));
        EXPECT_EQ(all, expected.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")) << c.name;
        if (c.rotated > 0) {
            // Midnight began a new file: the day's last line opens it.
            EXPECT_EQ(FromCp1251(ReadWholeFile(path)), expected.last() + QStringLiteral("\r\n")) << c.name;
        }
    }
}

TEST_F(OperationLogTest, KeepDaysRemovesOnlyOlderRotatedFiles)
{
    // The clock reads 09.12.2008 9:05:03; seven days back is 02.12.2008 9:05:03.
    const QStringList removed = {
        QStringLiteral("Zovrant.2008-11-01_00-00-00.log"),
        QStringLiteral("Zovrant.2008-12-02_09-05-02.log"),
        QStringLiteral("Zovrant.2008-12-01_23-59-59-2.log"),
    };
    const QStringList kept = {
        QStringLiteral("Zovrant.2008-12-02_09-05-04.log"),
        QStringLiteral("Zovrant.2008-12-09_00-00-00.log"),
        QStringLiteral("Zovrant.notes.log"),
        QStringLiteral("Other.2008-11-01_00-00-00.log"),
        QStringLiteral("Zovrant.2008-11-01_00-00-00.txt"),
        QStringLiteral("Zovrant.log"),
    };
    for (const QString& name : removed + kept)
        WriteWholeFile(Dir.filePath(name), "old\r\n");
    TOperationLog log(Env.Environment);
    log.Rotation = [] { return TLogRotation{100, 7}; };
    log.OpenFile(LogPath());
    log.RotateAtStart();
    QStringList left = QDir(Dir.path()).entryList(QDir::Files, QDir::Name);
    QStringList expected = kept;
    expected.sort();
    EXPECT_EQ(left, expected);
    // A file under its bound is not rotated at start.
    EXPECT_EQ(FileText(), QStringLiteral("old\r\n"));
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
