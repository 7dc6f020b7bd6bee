#include "base/CodePage.h"
#include "base/OperationLog.h"
#include "data/Settings.h"
#include "tests/support/RecordingEvents.h"
#include "tests/support/TestEnvironment.h"
#include "trade/LinkMonitor.h"

#include <QFile>
#include <gtest/gtest.h>

// Readable texts in failure messages.
static void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

class LinkMonitorTest : public ::testing::Test {
protected:
    TTestEnvironment Env;
    QTemporaryDir Dir;
    TSettings Settings;
    TOperationLog Log{Env.Environment};
    TRecordingEvents Events;
    TLinkMonitor Monitor{Settings, Log, Events};
    QStringList& Mails = Events.Announced;

    void SetUp() override
    {
        Settings.edtInfoLog = Dir.filePath(QStringLiteral("info.log"));
        Settings.chQuikConnect = true;
        Settings.chSendQuikConnect = true;
        Log.OpenFile(Dir.filePath(QStringLiteral("Zovrant.log")));
    }

    QString InfoLog() const { return Settings.edtInfoLog; }
    // What the terminal does to its log between two checks.
    void Grow(int bytes)
    {
        QFile file(InfoLog());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Append));
        file.write(QByteArray(bytes, 'x'));
    }
    void Remove() { QFile::remove(InfoLog()); }

    // The log's messages without their date and time, from the given line on.
    QStringList MessagesFrom(int line) const
    {
        QStringList messages;
        for (int i = line; i < Log.LineCount(); ++i)
            messages << Log.Line(i).mid(QStringLiteral("09.12.2008 9:05:03 ").size());
        return messages;
    }
};

// One tick of the link timer: what happens to the file before it, whether checking is on,
// and what the tick leaves.
struct TTick {
    const char* step;
    std::function<void()> before;
    bool checking;
    quint8 state;
    QString shown;
    QString message; // empty: none
};

void RunTicks(TLinkMonitor& monitor, TOperationLog& log, TSettings& settings,
              QStringList& mails, const std::vector<TTick>& ticks)
{
    for (const TTick& tick : ticks) {
        SCOPED_TRACE(tick.step);
        if (tick.before)
            tick.before();
        settings.chQuikConnect = tick.checking;
        const int lines = log.LineCount();
        const qsizetype mailCount = mails.size();
        monitor.timInfoLogTimer();
        EXPECT_EQ(monitor.QuikServerState(), tick.state);
        EXPECT_EQ(monitor.ServerStateText(), tick.shown);
        if (tick.message.isEmpty()) {
            EXPECT_EQ(log.LineCount(), lines);
            EXPECT_EQ(mails.size(), mailCount);
        } else {
            ASSERT_EQ(log.LineCount(), lines + 1);
            EXPECT_EQ(log.Line(lines).mid(QStringLiteral("09.12.2008 9:05:03 ").size()), tick.message);
            ASSERT_EQ(mails.size(), mailCount + 1);
            EXPECT_EQ(mails.back(), tick.message);
        }
    }
}

const QString Up = QStringLiteral("Соединение установлено");
const QString Down = QStringLiteral("Соединение разорвано");
const QString Ok = QStringLiteral("ОК");
const QString No = QStringLiteral("Нет");
const QString NA = QStringLiteral("Н/Д");

TEST_F(LinkMonitorTest, ReadInfoLogGivesTheCurrentSizeWithoutOpeningTheFile)
{
    EXPECT_EQ(Monitor.ReadInfoLog(), 0u); // missing
    Grow(10);
    EXPECT_EQ(Monitor.ReadInfoLog(), 10u);
    {
        // The terminal holds the file open and keeps writing: every reading sees the growth.
        QFile terminal(InfoLog());
        ASSERT_TRUE(terminal.open(QIODevice::WriteOnly | QIODevice::Append));
        terminal.write("abc");
        terminal.flush();
        EXPECT_EQ(Monitor.ReadInfoLog(), 13u);
        terminal.write("de");
        terminal.flush();
        EXPECT_EQ(Monitor.ReadInfoLog(), 15u);
    }
    // A folder in place of the file has no size to give.
    Settings.edtInfoLog = Dir.path();
    EXPECT_EQ(Monitor.ReadInfoLog(), 0u);
    EXPECT_EQ(Log.LineCount(), 0);
}

TEST_F(LinkMonitorTest, LinkStateFollowsTheGrowthOfTheTerminalLog)
{
    Grow(10);
    Monitor.TakeStartingSize();
    ASSERT_EQ(Monitor.InfoLogSize(), 10u);
    EXPECT_EQ(Monitor.ServerStateText(), NA);

    RunTicks(Monitor, Log, Settings, Mails, {
        {"first tick, file grew: silent", [this] { Grow(5); }, true, 1, Ok, {}},
        {"no growth", {}, true, 0, No, Down},
        {"still none", {}, true, 0, No, {}},
        {"grows again", [this] { Grow(1); }, true, 1, Ok, Up},
        {"keeps growing", [this] { Grow(1); }, true, 1, Ok, {}},
        {"file disappears after growing: silent", [this] { Remove(); }, true, 1, Ok, {}},
        {"still missing: the break is reported", {}, true, 0, No, Down},
        {"missing", {}, true, 0, No, {}},
        {"file comes back", [this] { Grow(7); }, true, 1, Ok, Up},
        {"checking off: nothing changes", [this] { Grow(3); }, false, 1, NA, {}},
        {"checking off, no growth: still nothing", {}, false, 1, NA, {}},
        // Compared with the size of the last check before checking was switched off.
        {"checking on again", {}, true, 1, Ok, {}},
        {"no growth", {}, true, 0, No, Down},
        {"lost link, file vanishes: still lost, silent", [this] { Remove(); }, true, 0, No, {}},
        {"missing", {}, true, 0, No, {}},
        {"file comes back", [this] { Grow(2); }, true, 1, Ok, Up},
    });
    EXPECT_EQ(Monitor.InfoLogSize(), 2u);
    // Every tick refreshes the status bar and saves the log, also with checking off.
    EXPECT_EQ(Events.Count(QStringLiteral("status")), 16);
    EXPECT_EQ(FromCp1251(ReadWholeFile(Dir.filePath(QStringLiteral("Zovrant.log")))).count(QStringLiteral("\r\n")),
              Log.LineCount());
}

TEST_F(LinkMonitorTest, StartWithoutGrowthOrWithoutFile)
{
    struct Start { const char* name; int bytes; };
    for (const Start start : {Start{"unchanged file", 10}, Start{"missing file", 0}}) {
        SCOPED_TRACE(start.name);
        Remove();
        if (start.bytes > 0)
            Grow(start.bytes);
        TRecordingEvents events;
        TLinkMonitor monitor(Settings, Log, events);
        monitor.TakeStartingSize();
        RunTicks(monitor, Log, Settings, events.Announced, {
            {"first tick, same size: silently lost", {}, true, 0, No, {}},
            {"same", {}, true, 0, No, {}},
            {"grows", [this] { Grow(4); }, true, 1, Ok, Up},
        });
    }
}

TEST_F(LinkMonitorTest, MessagesAreMailedOnlyWhenAskedFor)
{
    Settings.chSendQuikConnect = false;
    Grow(1);
    Monitor.TakeStartingSize();
    Grow(1);
    Monitor.timInfoLogTimer();
    Monitor.timInfoLogTimer();
    EXPECT_EQ(MessagesFrom(0), QStringList{Down});
    EXPECT_TRUE(Mails.isEmpty());
}

TEST_F(LinkMonitorTest, CheckServedWhileTheMailIsSentDoesNotRepeatTheMessage)
{
    Grow(1);
    Monitor.TakeStartingSize();
    Grow(1);
    Monitor.timInfoLogTimer(); // established
    Events.OnAnnounce = [this](const QString&) {
        if (Mails.size() == 1)
            Monitor.timInfoLogTimer(); // a tick served by the mailer's message loop
    };
    Monitor.timInfoLogTimer();
    EXPECT_EQ(MessagesFrom(0), QStringList{Down});
    EXPECT_EQ(Mails, QStringList{Down});
    EXPECT_EQ(Monitor.QuikServerState(), TLinkMonitor::StateLost);
}

} // namespace
