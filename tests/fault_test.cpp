// The program's core under faults, against the strategy platform simulator on SQLite
// files: a process killed in the middle of a dispatch and started again, the bridge
// database failing while watching, the alert file replaced and the bridge file's journal
// removed under the running core, a second program over the same terminal, an alert row id
// beyond 32 bits, cancels before the terminal's answer and hostile row texts. Every step waits for a
// condition (a row booked, a line written, a process blocked), never for a stretch of time.
//
// Cases covered elsewhere and not repeated here: a box open while rows and results
// arrive (ui_error_box_test), a replaced result file (result_reader_test), a terminal path
// naming the alert database (restart and watch loop tests), absurd prices and a
// decimal-comma locale (convert_order_test, order_builder_test).

#include "base/CodePage.h"
#include "data/Schemas.h"
#include "shell/MainCore.h"
#include "tests/support/ChildEntry.h"
#include "tests/support/TestDatabases.h"
#include "tests/support/TestEnvironment.h"
#include "tools/SimulatorReady.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSysInfo>
#include <cstdio>
#include <gtest/gtest.h>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {

const QString kTools = QStringLiteral(ZOVRANT_TOOLS_DIR);
// The folder of the databases and terminal files a child core works on; set only in the
// child process the kill case starts.
const char* const kChildFolder = "ZOVRANT_FAULT_CHILD_FOLDER";
// The holder cases' child: the folder of its terminal files (beside the databases), the
// file it reports into, and whether it stays watching until it is killed.
const char* const kHolderFolder = "ZOVRANT_HOLDER_CHILD_FOLDER";
const char* const kHolderQuik = "ZOVRANT_HOLDER_CHILD_QUIK";
const char* const kHolderReport = "ZOVRANT_HOLDER_CHILD_REPORT";
const char* const kHolderStay = "ZOVRANT_HOLDER_CHILD_STAY";

// The settings of a core over a folder holding Alerts.db, QuikData.db and quik/.
void PointAtFolder(TSettings& s, const QString& folder)
{
    const QDir dir(folder);
    s.edtAlerts = dir.filePath(QStringLiteral("Alerts.db"));
    s.edtQuikData = dir.filePath(QStringLiteral("QuikData.db"));
    s.edtTRI = dir.filePath(QStringLiteral("quik/trans.tri"));
    s.edtTRO = dir.filePath(QStringLiteral("quik/trans.tro"));
    s.edtInfoLog = dir.filePath(QStringLiteral("quik/info.log"));
    s.edtTime1 = QStringLiteral("00:00:00");
    s.edtTime2 = QStringLiteral("23:59:59");
    s.rgpPositionSize = 0;
    s.rgpFilled = 0;
    s.rgpSingleMulti = 1; // every active client
}

// The same with the terminal's files in another folder beside the databases.
void PointAtTerminalFolder(TSettings& s, const QString& folder, const QString& quik)
{
    PointAtFolder(s, folder);
    const QDir dir(QDir(folder).filePath(quik));
    s.edtTRI = dir.filePath(QStringLiteral("trans.tri"));
    s.edtTRO = dir.filePath(QStringLiteral("trans.tro"));
    s.edtInfoLog = dir.filePath(QStringLiteral("info.log"));
}

void WriteIni(const QString& programFolder)
{
    // The link checks stay still: the tests tick the table timer themselves.
    WriteWholeFile(QDir(programFolder).filePath(QStringLiteral("Zovrant.ini")), "[Quik]\r\nQuikConnectTimeOut=0\r\n");
}

class FaultTest : public ::testing::Test {
protected:
    TTestEnvironment Env;
    TTestDatabases Bases;
    QTemporaryDir ProgramDir;
    TOperationLog Log{Env.Environment};
    std::unique_ptr<TMainCore> Core;

    QString Quik(const QString& name) const { return Bases.FilePath(QStringLiteral("quik/") + name); }

    void SetUp() override
    {
        ASSERT_EQ(QFileInfo(Bases.AlertsPath()).fileName(), QStringLiteral("Alerts.db"));
        ASSERT_EQ(QFileInfo(Bases.BridgePath()).fileName(), QStringLiteral("QuikData.db"));
        QDir(Bases.Folder()).mkdir(QStringLiteral("quik"));
        Log.OpenFile(Bases.FilePath(QStringLiteral("Zovrant.log")));
        WriteIni(ProgramDir.path());
        Bases.SeedTwoClients();
    }

    // One run of the program over the test folder, started, connected and watching; the
    // bridge database another file when one is given.
    void StartRun(const QString& bridge = {})
    {
        Core.reset();
        Core = std::make_unique<TMainCore>(Env.Environment, Log, ProgramDir.path() + QLatin1Char('/'));
        PointAtFolder(Core->Settings(), Bases.Folder());
        if (!bridge.isEmpty())
            Core->Settings().edtQuikData = bridge;
        Core->Watch().StartUp();
        Core->RunGuarded([this] { Core->Watch().actConnectToBaseExecute(); });
        ASSERT_TRUE(Core->actStartWatchEnabled());
        Core->Watch().actStartWatchExecute();
        ASSERT_TRUE(Core->Watch().Watching());
    }

    void Tick() { Core->RunGuarded([this] { Core->Watch().timTable(); }); }
    bool TickUntil(const std::function<bool()>& condition)
    {
        return WaitUntil([&] {
            Tick();
            return condition();
        });
    }

    // The strategy platform plays a script to its end.
    void Platform(const QString& script)
    {
        const QString path = Bases.FilePath(QStringLiteral("script.txt"));
        WriteWholeFile(path, (QStringLiteral("set | workspace | C:\\Omega\\Demo.wsp\nset | system | Trend(5,10)\n") + script).toUtf8());
        QProcess platform;
        platform.start(kTools + QStringLiteral("/zovrant-platform-sim"),
                       {QStringLiteral("--db"), Bases.AlertsPath(), QStringLiteral("--script"), path});
        const QString error = WaitForReadyLine(platform);
        ASSERT_TRUE(error.isEmpty()) << error.toStdString();
        ASSERT_TRUE(platform.waitForFinished(30000));
        ASSERT_EQ(platform.exitCode(), 0) << platform.readAllStandardError().toStdString();
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
    // An order of the platform's, placed in advance, that goes to both clients.
    void AddActiveOrder(const QString& alerts, qint64 id, const QString& wording)
    {
        Bases.Insert(alerts, QStringLiteral("ActiveOrders"),
                     {{QStringLiteral("ID"), id}, {QStringLiteral("Symbol"), QStringLiteral("SBER")},
                      {QStringLiteral("OrderType"), QStringLiteral("LE")}, {QStringLiteral("Order"), wording},
                      {QStringLiteral("System"), QStringLiteral("Trend(5,10)")},
                      {QStringLiteral("Workspace"), QStringLiteral("C:\\Omega\\Demo.wsp")},
                      {QStringLiteral("Signal"), QStringLiteral("Breakout")}, {QStringLiteral("Interval"), QStringLiteral("5 min")}});
    }
    QVariant Bridge(const QString& statement) { return Bases.Scalar(Bases.BridgePath(), statement); }
    int LogCount(const QString& text) const
    {
        int count = 0;
        for (int i = 0; i < Log.LineCount(); ++i)
            count += Log.Line(i).contains(text) ? 1 : 0;
        return count;
    }

    // A second program (the child entry StartsAsTheOperatorDoes) over the test folder with its
    // terminal files in the folder `quik`, started and waited for until it has reported;
    // what it reported, one line each: "watching=0|1", "box: …", "log: …".
    QStringList StartSecondProgram(QProcess& child, const QString& quik, bool stay)
    {
        const QString report = Bases.FilePath(QStringLiteral("report-%1.txt").arg(quik));
        QFile::remove(report);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(kHolderFolder), Bases.Folder());
        environment.insert(QString::fromLatin1(kHolderQuik), quik);
        environment.insert(QString::fromLatin1(kHolderReport), report);
        if (stay)
            environment.insert(QString::fromLatin1(kHolderStay), QStringLiteral("1"));
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(),
                    ChildArguments("StartsAsTheOperatorDoes"));
        const QString error = WaitForReadyLine(child);
        EXPECT_TRUE(error.isEmpty()) << error.toStdString();
        return QString::fromUtf8(ReadWholeFile(report)).split(QLatin1Char('\n'));
    }
    // A core over the test folder, as the operator starts it; watching when nothing
    // refuses it.
    void StartCore()
    {
        Core.reset();
        Core = std::make_unique<TMainCore>(Env.Environment, Log, ProgramDir.path() + QLatin1Char('/'));
        PointAtFolder(Core->Settings(), Bases.Folder());
        Core->RunGuarded([this] { Core->Watch().StartUp(); });
        Core->RunGuarded([this] { Core->Watch().actConnectToBaseExecute(); });
        Core->RunGuarded([this] { Core->Watch().actStartWatchExecute(); });
    }
};

bool HasLineStartingWith(const QStringList& lines, const QString& start)
{
    for (const QString& line : lines)
        if (line.startsWith(start))
            return true;
    return false;
}

QString UtcText(const QDateTime& time)
{
    return time.toUTC().toString(Qt::ISODateWithMs);
}

// The child process of the kill case: a core over the folder it is given, watching and
// ticking until it is killed.
ZOVRANT_CHILD_ENTRY(WatchesUntilKilled)
{
    const QString folder = qEnvironmentVariable(kChildFolder);
    if (folder.isEmpty())
        return 2;
    QTemporaryDir programDir;
    WriteIni(programDir.path());
    TTestEnvironment env;
    TOperationLog log{env.Environment};
    log.OpenFile(QDir(programDir.path()).filePath(QStringLiteral("Zovrant.log")));
    TMainCore core(env.Environment, log, programDir.path() + QLatin1Char('/'));
    PointAtFolder(core.Settings(), folder);
    // No start-up: it would empty the terminal files, and the import file is the pipe
    // the dispatch is to block on.
    core.RunGuarded([&] { core.Watch().actConnectToBaseExecute(); });
    core.Watch().actStartWatchExecute();
    for (int i = 0; i < log.LineCount(); ++i) // the parent shows what the child logged
        std::fprintf(stderr, "%s\n", log.Line(i).toUtf8().constData());
    if (!core.Watch().Watching())
        return 1; // no ready line: the parent's wait names the failure
    std::fputs(kSimulatorReadyLine, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    for (;;) {
        core.RunGuarded([&] { core.Watch().timTable(); });
        QCoreApplication::processEvents();
    }
}

// The child process of the holder cases: a second program started as the operator starts
// one (start-up, connection, start watching) over the folder it is given. It reports
// whether it watches and what it logged and showed in boxes, then ends, or with
// kHolderStay keeps watching until it is killed.
ZOVRANT_CHILD_ENTRY(StartsAsTheOperatorDoes)
{
    const QString folder = qEnvironmentVariable(kHolderFolder);
    if (folder.isEmpty())
        return 2;
    QTemporaryDir programDir;
    WriteIni(programDir.path());
    TTestEnvironment env;
    TOperationLog log{env.Environment};
    log.OpenFile(QDir(programDir.path()).filePath(QStringLiteral("Zovrant.log")));
    TMainCore core(env.Environment, log, programDir.path() + QLatin1Char('/'));
    PointAtTerminalFolder(core.Settings(), folder, qEnvironmentVariable(kHolderQuik));
    core.RunGuarded([&] { core.Watch().StartUp(); });
    core.RunGuarded([&] { core.Watch().actConnectToBaseExecute(); });
    core.RunGuarded([&] { core.Watch().actStartWatchExecute(); });
    QStringList report{QStringLiteral("watching=%1").arg(core.Watch().Watching() ? 1 : 0)};
    for (const QString& error : std::as_const(env.Errors))
        report << QStringLiteral("box: ") + error;
    for (const QString& line : LogLinesOf(log))
        report << QStringLiteral("log: ") + line.section(QLatin1Char(' '), 2); // without date and time
    WriteWholeFile(qEnvironmentVariable(kHolderReport), report.join(QLatin1Char('\n')).toUtf8());
    std::fputs(kSimulatorReadyLine, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    while (qEnvironmentVariableIsSet(kHolderStay)) {
        core.RunGuarded([&] { core.Watch().timTable(); });
        QCoreApplication::processEvents();
    }
    return 0;
}

#ifdef Q_OS_UNIX
// Killed in the middle of a dispatch (its bookings made, its lines not yet in the import
// file), then started again: the interrupted order is reported once and not resent, the
// numbers go on after the ones the killed run used, late results of the run before are
// booked on their own transactions, and a cancel after the restart withdraws the right
// exchange orders.
TEST_F(FaultTest, KilledMidFanOutThenRestarted)
{
    ASSERT_NO_FATAL_FAILURE(StartRun());
    ASSERT_NO_FATAL_FAILURE(Platform(QStringLiteral("active | e1 | LE | Buy 3 at 250.50 Limit\n")));
    ASSERT_TRUE(TickUntil([this] { return TriLines().size() == 2; }));
    Core.reset(); // the program is closed

    // The next run's import file is a pipe nobody reads: its dispatch blocks after the
    // bookings, at the write, where the process is then killed.
    const QString tri = Quik(QStringLiteral("trans.tri"));
    ASSERT_TRUE(QFile::rename(tri, tri + QStringLiteral(".kept")));
    ASSERT_EQ(mkfifo(QFile::encodeName(tri).constData(), 0600), 0);
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(kChildFolder), Bases.Folder());
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                ChildArguments("WatchesUntilKilled"));
    const QString error = WaitForReadyLine(child);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    ASSERT_NO_FATAL_FAILURE(Platform(QStringLiteral("active | e2 | LE | Buy 4 at 251.00 Limit\n")));
    ASSERT_TRUE(WaitUntil([this] {
        return Bridge(QStringLiteral("SELECT COUNT(*) FROM tOrderNumber WHERE id_order = 2")).toInt() == 2;
    }));
    EXPECT_EQ(Bridge(QStringLiteral("SELECT code FROM tPendingDispatch WHERE id_order = 2")).toString(),
              QStringLiteral("C1, C2"));
    child.kill();
    ASSERT_TRUE(child.waitForFinished(30000));
    ASSERT_TRUE(QFile::remove(tri));
    ASSERT_TRUE(QFile::rename(tri + QStringLiteral(".kept"), tri));

    ASSERT_NO_FATAL_FAILURE(StartRun());
    // Reported once, naming the order and both accounts; recorded no more.
    ASSERT_EQ(Env.Errors.size(), 1);
    EXPECT_TRUE(Env.Errors[0].contains(QStringLiteral("Отправка ордера # 2 из таблицы ActiveOrders (новая заявка) "
                                                      "была прервана: строки для счетов C1, C2")))
        << Env.Errors[0].toStdString();
    EXPECT_EQ(LogCount(QStringLiteral("Отправка ордера # 2 ")), 1);
    EXPECT_EQ(Bridge(QStringLiteral("SELECT COUNT(*) FROM tPendingDispatch")).toInt(), 0);

    // Late results of the first run are booked on its own transactions 0 and 1.
    Answer("TRANS_ID=0;STATUS=3;TRANS_NAME=New order;DESCRIPTION=done;ORDER_NUMBER=7001;");
    Answer("TRANS_ID=1;STATUS=3;TRANS_NAME=New order;DESCRIPTION=done;ORDER_NUMBER=7002;");
    ASSERT_TRUE(TickUntil([this] {
        return Bridge(QStringLiteral("SELECT order_number FROM tOrderNumber WHERE trans_id = 1")).toLongLong() == 7002;
    }));
    EXPECT_EQ(Bridge(QStringLiteral("SELECT order_number FROM tOrderNumber WHERE trans_id = 0")).toLongLong(), 7001);
    EXPECT_TRUE(Bridge(QStringLiteral("SELECT order_number FROM tOrderNumber WHERE trans_id = 2")).isNull());

    // Nothing was resent by itself; a new order's numbers follow the killed run's.
    ASSERT_NO_FATAL_FAILURE(Platform(QStringLiteral("active | e3 | LE | Buy 5 at 249.00 Limit\ncancel-id | 1\n")));
    ASSERT_TRUE(TickUntil([this] { return TriLines().size() == 4; }));
    const QStringList lines = TriLines();
    QStringList newOrders;
    QStringList kills;
    for (const QString& line : lines)
        (line.contains(QStringLiteral("ACTION=KILL_ORDER")) ? kills : newOrders) << line;
    ASSERT_EQ(newOrders.size(), 2) << lines.join(QLatin1Char('\n')).toStdString();
    ASSERT_EQ(kills.size(), 2) << lines.join(QLatin1Char('\n')).toStdString();
    for (const QString& line : newOrders)
        EXPECT_TRUE(line.contains(QStringLiteral("QUANTITY=5"))) << line.toStdString();
    // The numbers of the killed run (2, 3) are not handed out again.
    for (const QString& line : lines) {
        const int number = line.section(QLatin1Char(';'), 0, 0).section(QLatin1Char('='), 1).toInt();
        EXPECT_GE(number, 4) << line.toStdString();
    }
    // The cancel withdraws the first run's exchange orders, not the interrupted ones.
    EXPECT_TRUE(kills[0].contains(QStringLiteral(";Order_key=7001;")) || kills[1].contains(QStringLiteral(";Order_key=7001;")));
    EXPECT_TRUE(kills[0].contains(QStringLiteral(";Order_key=7002;")) || kills[1].contains(QStringLiteral(";Order_key=7002;")));
    EXPECT_EQ(Env.Errors.size(), 1);
}
#endif

// A second program started from another folder for the same terminal, or for another
// terminal over the same bridge database, does not start watching, names the running
// program (computer, process and, for the bridge database, its start) in a box and the
// log, and touches nothing: the import file, the result file and its companion keep their
// bytes, and the running program's next orders take the next numbers, none doubled.
TEST_F(FaultTest, SecondProgramNamesTheHolderAndTouchesNothing)
{
    ASSERT_NO_FATAL_FAILURE(StartRun());
    ASSERT_NO_FATAL_FAILURE(Platform(QStringLiteral("active | e1 | LE | Buy 3 at 250.50 Limit\n")));
    ASSERT_TRUE(TickUntil([this] { return TriLines().size() == 2; }));
    WriteWholeFile(Quik(QStringLiteral("trans.tro")), "TRANS_ID=0;STATUS=0;\r\n");
    WriteWholeFile(Quik(QStringLiteral("trans.TRR")), "kept\r\n");
    QHash<QString, QByteArray> before;
    for (const QString& name : {QStringLiteral("trans.tri"), QStringLiteral("trans.tro"), QStringLiteral("trans.TRR")})
        before.insert(Quik(name), ReadWholeFile(Quik(name)));
    const QString host = QSysInfo::machineHostName();
    const qint64 pid = QCoreApplication::applicationPid();
    struct Case {
        const char* name;
        QString quik;
        QString holder; // how the refusal to start watching begins
    };
    const Case cases[] = {
        {"the same import file", QStringLiteral("quik"),
         QStringLiteral("Файл транзакций %1 занят другим экземпляром программы: компьютер %2, процесс %3 (")
             .arg(QDir::toNativeSeparators(Quik(QStringLiteral("trans.tri"))), host)
             .arg(pid)},
        {"another terminal over the same bridge database", QStringLiteral("quik2"),
         QStringLiteral("База данных Quik %1 занята другим экземпляром программы: компьютер %2, процесс %3, "
                        "запущен 09.12.2008 9:05:03, последняя отметка 09.12.2008 9:05:03.")
             .arg(Bases.BridgePath(), host)
             .arg(pid)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QProcess child;
        const QStringList report = StartSecondProgram(child, c.quik, false);
        ASSERT_TRUE(child.waitForFinished(30000));
        EXPECT_EQ(child.exitCode(), 0);
        const std::string shown = report.join(QLatin1Char('\n')).toStdString();
        EXPECT_EQ(report.value(0), QStringLiteral("watching=0")) << shown;
        EXPECT_TRUE(HasLineStartingWith(report, QStringLiteral("box: ") + c.holder)) << shown;
        EXPECT_TRUE(HasLineStartingWith(report, QStringLiteral("log: ") + c.holder)) << shown;
        for (auto file = before.cbegin(); file != before.cend(); ++file)
            EXPECT_EQ(ReadWholeFile(file.key()), file.value()) << file.key().toStdString();
    }
    // Its own terminal's files the second program empties as usual.
    EXPECT_TRUE(QFile::exists(Bases.FilePath(QStringLiteral("quik2/trans.tri"))));

    ASSERT_NO_FATAL_FAILURE(Platform(QStringLiteral("active | e2 | LE | Buy 4 at 251.00 Limit\n")));
    ASSERT_TRUE(TickUntil([this] { return TriLines().size() == 4; }));
    EXPECT_TRUE(TriLines()[2].startsWith(QStringLiteral("TRANS_ID =2;"))) << TriLines()[2].toStdString();
    EXPECT_TRUE(TriLines()[3].startsWith(QStringLiteral("TRANS_ID =3;"))) << TriLines()[3].toStdString();
    EXPECT_TRUE(Env.Errors.isEmpty()) << Env.Errors.join(QLatin1Char('\n')).toStdString();

    // A clean exit lets go of both.
    Core.reset();
    EXPECT_EQ(Bridge(QStringLiteral("SELECT COUNT(*) FROM tBridgeHolder")).toInt(), 0);
    EXPECT_FALSE(QFile::exists(Quik(QStringLiteral("trans.tri.lock"))));
}

// A program killed while it held the terminal and the bridge database leaves its lock file
// and its row behind: the next program takes both over, says so in the log, and works.
TEST_F(FaultTest, HoldOfAProgramThatDiedIsTakenOver)
{
    QProcess child;
    const QStringList report = StartSecondProgram(child, QStringLiteral("quik"), true);
    ASSERT_EQ(report.value(0), QStringLiteral("watching=1")) << report.join(QLatin1Char('\n')).toStdString();
    const qint64 pid = child.processId();
    ASSERT_EQ(Bridge(QStringLiteral("SELECT pid FROM tBridgeHolder")).toLongLong(), pid);
    child.kill();
    ASSERT_TRUE(child.waitForFinished(30000));
    ASSERT_TRUE(QFile::exists(Quik(QStringLiteral("trans.tri.lock"))));

    ASSERT_NO_FATAL_FAILURE(StartRun());
    EXPECT_EQ(LogCount(QStringLiteral("Блокировка файла транзакций %1 оставлена завершившимся процессом %2 (")
                           .arg(QDir::toNativeSeparators(Quik(QStringLiteral("trans.tri"))))
                           .arg(pid)),
              1);
    EXPECT_EQ(LogCount(QStringLiteral("Запись о программе, работавшей с базой данных Quik %1, устарела и снята: "
                                      "компьютер %2, процесс %3,")
                           .arg(Bases.BridgePath(), QSysInfo::machineHostName())
                           .arg(pid)),
              1);
    EXPECT_EQ(Bridge(QStringLiteral("SELECT COUNT(*) FROM tBridgeHolder")).toInt(), 1);
    EXPECT_EQ(Bridge(QStringLiteral("SELECT pid FROM tBridgeHolder")).toLongLong(), QCoreApplication::applicationPid());
    ASSERT_NO_FATAL_FAILURE(Platform(QStringLiteral("active | e1 | LE | Buy 3 at 250.50 Limit\n")));
    ASSERT_TRUE(TickUntil([this] { return TriLines().size() == 2; }));
    EXPECT_TRUE(Env.Errors.isEmpty()) << Env.Errors.join(QLatin1Char('\n')).toStdString();
}

// Rows of other programs in tBridgeHolder: one refreshed within its own window (a minute
// at least) holds the bridge database, and start watching is refused naming it; one past
// its window, or of a process of this computer that has ended, is taken over.
TEST_F(FaultTest, BridgeHolderRowHoldsWhileRefreshedWithinItsWindow)
{
    QProcess ended;
    ended.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=NoSuchTest")});
    ASSERT_TRUE(ended.waitForStarted(30000));
    const qint64 endedPid = ended.processId();
    ASSERT_TRUE(ended.waitForFinished(30000));
    const QString host = QSysInfo::machineHostName();
    struct Case {
        const char* name;
        QString host;
        qint64 pid;
        int age; // seconds since its last refresh
        int staleAfter;
        bool holds;
    };
    const Case cases[] = {
        {"another computer, refreshed just now", QStringLiteral("OTHER-PC"), 4201, 0, 60, true},
        {"another computer, within its own longer window", QStringLiteral("OTHER-PC"), 4202, 600, 900, true},
        {"another computer, a window under a minute counts as a minute", QStringLiteral("OTHER-PC"), 4203, 50, 5, true},
        {"another computer, past its window", QStringLiteral("OTHER-PC"), 4204, 61, 60, false},
        {"this computer, a process that has ended", host, endedPid, 0, 60, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Core.reset();
        Env.Errors.clear();
        Bases.Exec(Bases.BridgePath(), QStringLiteral("DELETE FROM tBridgeHolder"));
        Bases.Exec(Bases.BridgePath(),
                   QStringLiteral("INSERT INTO tBridgeHolder (host, pid, started, refreshed, stale_after) VALUES (?, ?, ?, ?, ?)"),
                   {c.host, c.pid, UtcText(Env.Clock.addSecs(-3600)), UtcText(Env.Clock.addSecs(-c.age)), c.staleAfter});
        const QString named = QStringLiteral("компьютер %1, процесс %2, запущен 09.12.2008 8:05:03").arg(c.host).arg(c.pid);
        StartCore();
        EXPECT_EQ(Core->Watch().Watching(), !c.holds);
        if (c.holds) {
            ASSERT_FALSE(Env.Errors.isEmpty());
            EXPECT_TRUE(Env.Errors.last().startsWith(
                QStringLiteral("База данных Quik %1 занята другим экземпляром программы: ").arg(Bases.BridgePath()) + named))
                << Env.Errors.last().toStdString();
            EXPECT_EQ(Bridge(QStringLiteral("SELECT pid FROM tBridgeHolder")).toLongLong(), c.pid);
        } else {
            EXPECT_TRUE(Env.Errors.isEmpty()) << Env.Errors.join(QLatin1Char('\n')).toStdString();
            EXPECT_EQ(LogCount(QStringLiteral("устарела и снята: ") + named), 1);
            EXPECT_EQ(Bridge(QStringLiteral("SELECT pid FROM tBridgeHolder")).toLongLong(), QCoreApplication::applicationPid());
            EXPECT_EQ(Bridge(QStringLiteral("SELECT COUNT(*) FROM tBridgeHolder")).toInt(), 1);
        }
    }
}

// The bridge database fails while watching: no line goes out, watching stops with one
// box and a log line naming the order, and nothing more is sent until the operator
// starts watching again.
TEST_F(FaultTest, BridgeDatabaseFailingWhileWatchingStopsTheSending)
{
    enum class TFault { Removed, Locked };
    for (const TFault fault : {TFault::Locked, TFault::Removed}) {
        SCOPED_TRACE(fault == TFault::Removed ? "removed" : "locked");
        Env.Errors.clear();
        ASSERT_NO_FATAL_FAILURE(StartRun());
        QSqlDatabase locker;
        if (fault == TFault::Removed) {
            ASSERT_TRUE(QFile::remove(Bases.BridgePath()));
        } else {
            locker = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fault-locker"));
            locker.setDatabaseName(Bases.BridgePath());
            ASSERT_TRUE(locker.open());
            ASSERT_TRUE(QSqlQuery(locker).exec(QStringLiteral("BEGIN EXCLUSIVE")));
        }
        ASSERT_NO_FATAL_FAILURE(Platform(QStringLiteral("active | e1 | LE | Buy 3 at 250.50 Limit\n")));
        ASSERT_TRUE(TickUntil([this] { return !Core->Watch().Watching(); }));
        EXPECT_TRUE(TriLines().isEmpty()) << TriLines().join(QLatin1Char('\n')).toStdString();
        ASSERT_EQ(Env.Errors.size(), 1);
        EXPECT_TRUE(Env.Errors[0].contains(QStringLiteral("не отправлен ни на один счет"))) << Env.Errors[0].toStdString();
        EXPECT_GE(LogCount(QStringLiteral("Загрузка ордеров остановлена.")), 1);

        // Rows that come now wait for the operator.
        ASSERT_NO_FATAL_FAILURE(Platform(QStringLiteral("active | e2 | LE | Buy 1 at 250.50 Limit\n")));
        Tick();
        EXPECT_TRUE(TriLines().isEmpty());
        if (fault == TFault::Locked) {
            QSqlQuery(locker).exec(QStringLiteral("ROLLBACK"));
            locker.close();
            locker = QSqlDatabase();
            QSqlDatabase::removeDatabase(QStringLiteral("fault-locker"));
            // Watching again once the lock is gone: the next order goes to both accounts.
            Core->Watch().actStartWatchExecute();
            ASSERT_NO_FATAL_FAILURE(Platform(QStringLiteral("active | e3 | LE | Buy 2 at 250.50 Limit\n")));
            ASSERT_TRUE(TickUntil([this] { return TriLines().size() == 2; }));
            EXPECT_EQ(Bridge(QStringLiteral("SELECT COUNT(*) FROM tOrderNumber")).toInt(), 2);
        }
        Core.reset();
    }
}

#ifdef Q_OS_UNIX
// Another alert file renamed over the one connected while watching (the platform's file
// restored from a copy or made anew): the connection still holds the old file, which
// nobody writes any more. Watching stops at the next look (the early check or the table
// tick) with one box naming the file; no row of the new file goes out, its ids meaning
// nothing against the ones remembered from the old; while not watching the operator is
// not told again; the operator's new connection and start read the new file from then on.
TEST_F(FaultTest, AlertFileReplacedWhileWatchingStopsWatchingAndSendsNothingOfIt)
{
    struct TLook {
        const char* Name;
        std::function<void(TMainCore&)> Run;
    };
    const TLook looks[] = {
        {"early check", [](TMainCore& core) { core.RunGuarded([&] { core.Watch().timAlertsCheck(); }); }},
        {"table tick", [](TMainCore& core) { core.RunGuarded([&] { core.Watch().timTable(); }); }},
    };
    qint64 nextId = 1;
    for (const TLook& look : looks) {
        SCOPED_TRACE(look.Name);
        Env.Errors.clear();
        ASSERT_NO_FATAL_FAILURE(StartRun());
        const int stops = LogCount(QStringLiteral("Загрузка ордеров остановлена."));
        look.Run(*Core); // the early check's first look takes the file as it is
        // The platform writes the old file as usual: its journal holds the rows.
        AddActiveOrder(Bases.AlertsPath(), nextId++, QStringLiteral("Buy 2 at 250.50 Limit"));
        ASSERT_TRUE(TickUntil([this] { return TriLines().size() == 2; }));
        const QStringList sent = TriLines();

        // The new file's rows lie above every id remembered from the old one.
        const QString replacement = Bases.FilePath(QStringLiteral("Replacement.db"));
        CreateAlertDatabase(replacement);
        for (int i = 0; i < 2; ++i)
            AddActiveOrder(replacement, nextId++, QStringLiteral("Buy 3 at 250.50 Limit"));
        Bases.Scalar(Bases.BridgePath(), QStringLiteral("SELECT 1")); // the test's writer lets it go
        ASSERT_EQ(std::rename(QFile::encodeName(replacement).constData(),
                              QFile::encodeName(Bases.AlertsPath()).constData()), 0);

        look.Run(*Core);
        EXPECT_FALSE(Core->Watch().Watching());
        ASSERT_EQ(Env.Errors.size(), 1);
        EXPECT_TRUE(Env.Errors[0].contains(QStringLiteral("Файл базы данных %1 заменен")
                                               .arg(QDir::toNativeSeparators(Bases.AlertsPath()))))
            << Env.Errors[0].toStdString();
        EXPECT_EQ(LogCount(QStringLiteral("Загрузка ордеров остановлена.")), stops + 1);
        Tick();
        Tick();
        EXPECT_EQ(TriLines(), sent) << TriLines().join(QLatin1Char('\n')).toStdString();
        EXPECT_EQ(Env.Errors.size(), 1);

        // Connected and started again, the operator gets the new file's new rows.
        Core->RunGuarded([this] { Core->Watch().actConnectToBaseExecute(); });
        Core->Watch().actStartWatchExecute();
        ASSERT_TRUE(Core->Watch().Watching());
        AddActiveOrder(Bases.AlertsPath(), nextId++, QStringLiteral("Buy 1 at 250.50 Limit"));
        ASSERT_TRUE(TickUntil([this] { return TriLines().size() == 4; }));
        for (const QString& line : TriLines().mid(2))
            EXPECT_TRUE(line.endsWith(QStringLiteral(";QUANTITY=1"))) << line.toStdString();
        EXPECT_EQ(Env.Errors.size(), 1) << Env.Errors.join(QLatin1Char('\n')).toStdString();
        Core.reset();
    }
}

// The bridge file's write-ahead journal removed by another program between two
// dispatches: the second dispatch commits nothing and sends nothing, watching stops with a
// message naming the journal, and what the first dispatch booked is in the file itself.
// A crash then (the run goes on over the file as the disk holds it, without the journal
// the connection held) numbers its transactions above every number the first run issued.
TEST_F(FaultTest, BridgeJournalRemovedRefusesTheNextDispatchAndNoNumberIsReused)
{
    ASSERT_NO_FATAL_FAILURE(StartRun());
    const QString journal = Bases.BridgePath() + QStringLiteral("-wal");
    ASSERT_TRUE(QFile::exists(journal));
    AddActiveOrder(Bases.AlertsPath(), 1, QStringLiteral("Buy 3 at 250.50 Limit"));
    ASSERT_TRUE(TickUntil([this] { return TriLines().size() == 2; }));
    const QStringList sent = TriLines();

    ASSERT_TRUE(QFile::remove(journal));
    AddActiveOrder(Bases.AlertsPath(), 2, QStringLiteral("Buy 4 at 250.50 Limit"));
    Tick();
    EXPECT_FALSE(Core->Watch().Watching());
    EXPECT_EQ(TriLines(), sent);
    ASSERT_EQ(Env.Errors.size(), 1);
    EXPECT_TRUE(Env.Errors[0].contains(QStringLiteral("не отправлен ни на один счет"))) << Env.Errors[0].toStdString();
    EXPECT_TRUE(Env.Errors[0].contains(QStringLiteral("Журнал %1 файла базы данных").arg(QDir::toNativeSeparators(journal))))
        << Env.Errors[0].toStdString();

    // The crash: what the disk holds of the bridge database is its file alone.
    QDir(Bases.Folder()).mkdir(QStringLiteral("crash"));
    const QString left = Bases.FilePath(QStringLiteral("crash/QuikData.db"));
    ASSERT_TRUE(QFile::copy(Bases.BridgePath(), left));
    ASSERT_NO_FATAL_FAILURE(StartRun(left));
    AddActiveOrder(Bases.AlertsPath(), 3, QStringLiteral("Buy 5 at 250.50 Limit"));
    ASSERT_TRUE(TickUntil([this] { return TriLines().size() == 2; }));
    for (const QString& line : TriLines()) {
        const int number = line.section(QLatin1Char(';'), 0, 0).section(QLatin1Char('='), 1).toInt();
        EXPECT_GE(number, 2) << line.toStdString();
    }
    EXPECT_EQ(Bases.Scalar(left, QStringLiteral("SELECT COUNT(*) FROM tOrderNumber WHERE trans_id < 2")).toInt(), 2);
}
#endif

// An alert row id beyond 32 bits neither stops the intake nor goes out under a wrapped id:
// it is booked under its own id and its cancel withdraws it.
TEST_F(FaultTest, RowIdBeyond32BitsIsSentAndWithdrawn)
{
    ASSERT_NO_FATAL_FAILURE(StartRun());
    const qint64 big = 5000000000LL;
    Bases.Insert(Bases.AlertsPath(), QStringLiteral("ActiveOrders"),
                 {{QStringLiteral("ID"), big}, {QStringLiteral("Symbol"), QStringLiteral("SBER")},
                  {QStringLiteral("OrderType"), QStringLiteral("LE")}, {QStringLiteral("Order"), QStringLiteral("Buy 3 at 250.50 Limit")},
                  {QStringLiteral("System"), QStringLiteral("Trend(5,10)")}, {QStringLiteral("Workspace"), QStringLiteral("C:\\Omega\\Demo.wsp")},
                  {QStringLiteral("Signal"), QStringLiteral("Breakout")}, {QStringLiteral("Interval"), QStringLiteral("5 min")}});
    ASSERT_TRUE(TickUntil([this] { return TriLines().size() == 2; }));
    EXPECT_EQ(Bridge(QStringLiteral("SELECT COUNT(*) FROM tOrderNumber WHERE id_order = 5000000000")).toInt(), 2);
    // The next row gets the id after it; the intake goes on.
    Bases.Insert(Bases.AlertsPath(), QStringLiteral("ActiveOrders"),
                 {{QStringLiteral("Symbol"), QStringLiteral("SBER")},
                  {QStringLiteral("OrderType"), QStringLiteral("LE")}, {QStringLiteral("Order"), QStringLiteral("Buy 1 at 250.50 Limit")},
                  {QStringLiteral("System"), QStringLiteral("Trend(5,10)")}, {QStringLiteral("Workspace"), QStringLiteral("C:\\Omega\\Demo.wsp")},
                  {QStringLiteral("Signal"), QStringLiteral("Breakout")}, {QStringLiteral("Interval"), QStringLiteral("5 min")}});
    ASSERT_TRUE(TickUntil([this] { return TriLines().size() == 4; }));
    EXPECT_EQ(Bridge(QStringLiteral("SELECT COUNT(*) FROM tOrderNumber WHERE id_order = 5000000001")).toInt(), 2);

    Answer("TRANS_ID=0;STATUS=3;TRANS_NAME=New order;DESCRIPTION=done;ORDER_NUMBER=9001;");
    ASSERT_TRUE(TickUntil([this] {
        return Bridge(QStringLiteral("SELECT order_number FROM tOrderNumber WHERE trans_id = 0")).toLongLong() == 9001;
    }));
    EXPECT_EQ(Bases.Scalar(Bases.AlertsPath(), QStringLiteral("SELECT [Order Number] FROM ActiveOrders WHERE ID = 5000000000"))
                  .toString(),
              QStringLiteral("5000000000"));
    // The platform's cancelled row carries the id of the order it cancels.
    Bases.Insert(Bases.AlertsPath(), QStringLiteral("CanceledOrders"),
                 {{QStringLiteral("ID"), 1}, {QStringLiteral("Symbol"), QStringLiteral("SBER")},
                  {QStringLiteral("OrderType"), QStringLiteral("LE")}, {QStringLiteral("Order"), QStringLiteral("Buy 3 at 250.50 Limit")},
                  {QStringLiteral("System"), QStringLiteral("Trend(5,10)")}, {QStringLiteral("Workspace"), QStringLiteral("C:\\Omega\\Demo.wsp")},
                  {QStringLiteral("Signal"), QStringLiteral("Breakout")}, {QStringLiteral("Interval"), QStringLiteral("5 min")},
                  {QStringLiteral("Order Number"), QStringLiteral("5000000000")}});
    ASSERT_TRUE(TickUntil([this] { return TriLines().size() == 5; }));
    EXPECT_TRUE(TriLines()[4].contains(QStringLiteral("ACTION=KILL_ORDER")));
    EXPECT_TRUE(TriLines()[4].contains(QStringLiteral(";Order_key=9001;"))) << TriLines()[4].toStdString();
    EXPECT_TRUE(Env.Errors.isEmpty()) << Env.Errors.join(QLatin1Char('\n')).toStdString();
}

} // namespace

namespace {

// The strategy cancels its orders before the terminal has answered them: the cancelled
// rows carry no order number yet. Each withdrawal waits for its account's exchange order
// number and goes out as soon as the terminal reports it; an order the terminal rejects
// needs none; an answer that never comes is raised once the link time-out has passed.
TEST_F(FaultTest, CancelBeforeTheTerminalsAnswerIsHeldUntilTheAnswer)
{
    ASSERT_NO_FATAL_FAILURE(StartRun());
    Core->Settings().edtQuikConnectTimeOut = QStringLiteral("5");
    Platform(QStringLiteral("active | a | LE | Buy 3 at 250.50 Limit\n"
                            "active | b | SE | Sell 2 at 260.00 Limit\n"));
    ASSERT_TRUE(TickUntil([this] { return TriLines().size() == 4; })); // two orders, two clients
    Platform(QStringLiteral("cancel-id | 1\ncancel-id | 2\n"));
    Tick();
    QCoreApplication::processEvents();
    ASSERT_EQ(TriLines().size(), 4) << "no exchange order is known yet: nothing to withdraw so far";
    EXPECT_EQ(LogCount(QStringLiteral("отложено: Quik ещё не сообщил номер заявки")), 2);
    EXPECT_EQ(Core->Withdrawals().Held().size(), 4);

    // Order a: C1's exchange order is numbered (its withdrawal goes out at once), C2's is
    // rejected (nothing to withdraw). Order b stays unanswered.
    Answer("TRANS_ID=0;STATUS=3;TRANS_NAME=\"new\";DESCRIPTION=\"ok\";ORDER_NUMBER=7001;");
    Answer("TRANS_ID=1;STATUS=4;TRANS_NAME=\"new\";DESCRIPTION=\"no money\";");
    ASSERT_TRUE(TickUntil([this] { return TriLines().size() == 5; }));
    EXPECT_TRUE(TriLines()[4].contains(QStringLiteral("ACTION=KILL_ORDER"))) << TriLines()[4].toStdString();
    EXPECT_TRUE(TriLines()[4].contains(QStringLiteral(";Order_key=7001;"))) << TriLines()[4].toStdString();
    EXPECT_TRUE(TriLines()[4].contains(QStringLiteral("CLIENT_CODE=C1"))) << TriLines()[4].toStdString();
    EXPECT_EQ(LogCount(QStringLiteral("Снятие ордера # 1 по счету C2 не требуется")), 1);
    EXPECT_EQ(Core->Withdrawals().Held(), (QStringList{QStringLiteral("# 2: C1"), QStringLiteral("# 2: C2")}));
    EXPECT_TRUE(Env.Errors.isEmpty()) << Env.Errors.join(QLatin1Char('\n')).toStdString();

    // The link time-out passes without an answer for order b: said once, loudly, naming
    // the order and its accounts; the withdrawals stay held.
    Env.Clock = Env.Clock.addSecs(4);
    Core->Withdrawals().CheckOverdue();
    EXPECT_TRUE(Env.Errors.isEmpty());
    Env.Clock = Env.Clock.addSecs(2);
    Core->Withdrawals().CheckOverdue();
    Core->Withdrawals().CheckOverdue();
    ASSERT_EQ(Env.Errors.size(), 1);
    EXPECT_TRUE(Env.Errors[0].startsWith(QStringLiteral("Снятие ордера # 2 по счетам C1, C2 не отправлено: Quik не ответил")))
        << Env.Errors[0].toStdString();
    EXPECT_EQ(LogCount(QStringLiteral("Снятие ордера # 2 по счетам C1, C2 не отправлено")), 1);

    // A late answer still withdraws.
    Answer("TRANS_ID=3;STATUS=3;TRANS_NAME=\"new\";DESCRIPTION=\"ok\";ORDER_NUMBER=7004;");
    ASSERT_TRUE(TickUntil([this] { return TriLines().size() == 6; }));
    EXPECT_TRUE(TriLines()[5].contains(QStringLiteral(";Order_key=7004;"))) << TriLines()[5].toStdString();
    EXPECT_EQ(Core->Withdrawals().Held(), QStringList{QStringLiteral("# 2: C1")});
}

} // namespace

namespace {

// A hostile row: a symbol of a megabyte with a line break inside, for every client. What
// reaches the log is cut and stays on one line per message.
TEST_F(FaultTest, HostileRowTextStaysShortAndOnOneLine)
{
    ASSERT_NO_FATAL_FAILURE(StartRun());
    const QString logPath = Bases.FilePath(QStringLiteral("Zovrant.log"));
    const qint64 before = QFileInfo(logPath).size();
    const int linesBefore = Log.LineCount();
    const QString symbol = QString(1 << 20, QLatin1Char('S')) + QStringLiteral("\r\n09.12.2008 9:05:03 forged");
    Bases.Insert(Bases.AlertsPath(), QStringLiteral("ActiveOrders"),
                 {{QStringLiteral("ID"), 1}, {QStringLiteral("Symbol"), symbol},
                  {QStringLiteral("OrderType"), QStringLiteral("LE")}, {QStringLiteral("Order"), QStringLiteral("Buy 3 at 250.50 Limit")},
                  {QStringLiteral("System"), QStringLiteral("Trend(5,10)")}, {QStringLiteral("Workspace"), QStringLiteral("C:\\Omega\\Demo.wsp")},
                  {QStringLiteral("Signal"), QStringLiteral("Breakout")}, {QStringLiteral("Interval"), QStringLiteral("5 min")}});
    Tick();
    EXPECT_TRUE(TriLines().isEmpty());
    EXPECT_EQ(LogCount(QStringLiteral("Не найден код акции SSS")), 2) << "one line per client";
    for (int i = linesBefore; i < Log.LineCount(); ++i) {
        EXPECT_LT(Log.Line(i).size(), 1000) << Log.Line(i).left(300).toStdString();
        EXPECT_FALSE(Log.Line(i).contains(QLatin1Char('\n'))) << Log.Line(i).left(300).toStdString();
    }
    EXPECT_LT(QFileInfo(logPath).size() - before, 10000);
}

} // namespace
