#include "base/CodePage.h"
#include "data/AlertsChangeCheck.h"
#include "data/BridgeHolder.h"
#include "data/Connection.h"
#include "data/DatabaseFiles.h"
#include "shell/MainCore.h"
#include "tests/support/TestDatabases.h"
#include "tests/support/TestEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

// The program's core over two test databases and a terminal folder. What the cycle did
// shows in its effects: the log lines of the rows it read, the results it counted, the
// frames of the watch icon it showed.
class WatchLoopTest : public ::testing::Test {
protected:
    TTestEnvironment Env;
    TTestDatabases Bases;
    QTemporaryDir ProgramDir;
    TOperationLog Log{Env.Environment};
    std::unique_ptr<TMainCore> Core;
    QList<int> Icons;

    void SetUp() override
    {
        Log.OpenFile(Bases.FilePath(QStringLiteral("Zovrant.log")));
        Core = std::make_unique<TMainCore>(Env.Environment, Log, ProgramDir.path() + QLatin1Char('/'));
        TSettings& s = Core->Settings();
        PointAtTestFiles(s, Bases);
        QDir(Bases.Folder()).mkdir(QStringLiteral("quik"));
        QObject::connect(Core.get(), &TMainCore::ShowWatchIcon, [this](int frame) { Icons << frame; });
    }

    // A row of an alert table that no filter accepts (its workspace is not listed): a
    // read of it logs one line naming its id.
    void AddRefusedOrder(const QString& table, int id)
    {
        Bases.Insert(Bases.AlertsPath(), table,
                     {{QStringLiteral("ID"), id}, {QStringLiteral("Symbol"), QStringLiteral("ABC")},
                      {QStringLiteral("OrderType"), QStringLiteral("LE")},
                      {QStringLiteral("Order"), QStringLiteral("Buy 1 at 100 Limit")},
                      {QStringLiteral("System"), QStringLiteral("Trend")},
                      {QStringLiteral("Workspace"), QStringLiteral("C:\\Unlisted.wsp")},
                      {QStringLiteral("Order Number"), QStringLiteral("5")}});
    }
    // The ids of the refused rows the log names, in the order they were read.
    QList<int> RefusedIds() const
    {
        QList<int> ids;
        for (const QString& line : LogLines()) {
            if (line.contains(QStringLiteral("не прошел фильтры")))
                ids << line.section(QLatin1Char(' '), 2, 2).toInt();
        }
        return ids;
    }
    void AppendResult(const QByteArray& line)
    {
        QFile file(Core->Settings().edtTRO);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Append));
        file.write(line + "\r\n");
    }

    QString LogText() const
    {
        return FromCp1251(ReadWholeFile(Bases.FilePath(QStringLiteral("Zovrant.log"))));
    }
    QStringList LogLines() const
    {
        QStringList lines;
        for (int i = 0; i < Log.LineCount(); ++i)
            lines << Log.Line(i).section(QLatin1Char(' '), 2); // without date and time
        return lines;
    }
};

TEST_F(WatchLoopTest, StartUpEmptiesTheTerminalFilesAndCreatesTheMissingFolder)
{
    const QString tro = Core->Settings().edtTRO;
    Core->Watch().StartUp();
    for (const QString& path : {Core->Settings().edtTRI, tro, Bases.FilePath(QStringLiteral("quik/trans.TRR"))}) {
        EXPECT_TRUE(QFile::exists(path)) << path.toStdString();
        EXPECT_TRUE(ReadWholeFile(path).isEmpty()) << path.toStdString();
    }
    WriteWholeFile(Core->Settings().edtTRI, "old line\r\n");
    WriteWholeFile(tro, "TRANS_ID=1;STATUS=3;\r\n");
    Core->Watch().StartUp();
    EXPECT_TRUE(ReadWholeFile(Core->Settings().edtTRI).isEmpty());
    EXPECT_TRUE(ReadWholeFile(tro).isEmpty());
    EXPECT_TRUE(LogText().isEmpty()); // nothing failed, nothing to say
}

TEST_F(WatchLoopTest, MissingParentFolderGivesTheFailureLineAndLeavesTheResultFiles)
{
    const QString tri = Bases.FilePath(QStringLiteral("no/such/trans.tri"));
    const QString tro = Bases.FilePath(QStringLiteral("results/trans.tro"));
    QDir(Bases.Folder()).mkdir(QStringLiteral("results"));
    WriteWholeFile(tro, "kept\r\n");
    Core->Settings().edtTRI = tri;
    Core->Settings().edtTRO = tro;
    Core->Watch().StartUp();
    EXPECT_FALSE(QFileInfo::exists(Bases.FilePath(QStringLiteral("no/such"))));
    EXPECT_EQ(ReadWholeFile(tro), QByteArray("kept\r\n"));
    ASSERT_EQ(LogLines().size(), 2);
    EXPECT_EQ(LogLines()[0], QStringLiteral("При создании файлов транзакций ") + tri + QStringLiteral(", ")
                                 + tro + QStringLiteral(" произошла ошибка: "));
    EXPECT_FALSE(Log.Line(1).isEmpty()); // the error's own text on its own line
    EXPECT_TRUE(LogText().contains(QStringLiteral("\r\n") + Log.Line(1) + QStringLiteral("\r\n")));
}

// A settings slip that names a database as a terminal file, or a terminal file that
// holds a database: the start-up empties none of the three files of the group and names
// each such file in the log. Files that only look alike are emptied as usual.
TEST_F(WatchLoopTest, StartUpEmptiesNoTerminalFileThatIsADatabase)
{
    const QString quik = Bases.FilePath(QStringLiteral("quik/"));
    const QString alerts = Bases.AlertsPath();
    const QString bridge = Bases.BridgePath();
    const QByteArray sqlite = ReadWholeFile(bridge);
    ASSERT_TRUE(sqlite.startsWith(QByteArray("SQLite format 3", 16)));
    auto access = [](const char* engine) { // the first bytes of an Access file
        QByteArray bytes("\x00\x01\x00\x00", 4);
        bytes += QByteArray(engine, 16) + QByteArray(100, '\x5a');
        return bytes;
    };
    const QString check = QStringLiteral(" Проверьте пути к файлам транзакций в настройках.");
    auto isDatabaseFile = [&](const QString& file, const QString& source) {
        return QStringLiteral("Файлы транзакций не очищены: файл %1 является файлом базы данных %2.").arg(file, source) + check;
    };
    auto holdsDatabase = [&](const QString& file) {
        return QStringLiteral("Файлы транзакций не очищены: файл %1 содержит базу данных.").arg(file) + check;
    };
    ASSERT_TRUE(QFile::link(bridge, quik + QStringLiteral("link.tri")));

    struct Case {
        const char* name;
        QString tri;
        QString tro;
        QString alertsSource;                // the settings' Alerts
        QList<QPair<QString, QByteArray>> files; // written before the start
        QStringList lines;                   // the log's lines; none: the files are emptied
    };
    const Case cases[] = {
        {"import file is the alert database", alerts, quik + QStringLiteral("trans.tro"), alerts, {},
         {isDatabaseFile(alerts, alerts)}},
        {"result file is the bridge database", quik + QStringLiteral("trans.tri"), bridge, alerts, {},
         {isDatabaseFile(bridge, bridge)}},
        {"both of them", alerts, bridge, alerts, {},
         {isDatabaseFile(alerts, alerts), isDatabaseFile(bridge, bridge)}},
        {"a link to the bridge database", quik + QStringLiteral("link.tri"), quik + QStringLiteral("trans.tro"), alerts, {},
         {isDatabaseFile(quik + QStringLiteral("link.tri"), bridge)}},
        {"the alert database spelt another way", quik + QStringLiteral("../Alerts.db"), quik + QStringLiteral("trans.tro"), alerts, {},
         {isDatabaseFile(quik + QStringLiteral("../Alerts.db"), alerts)}},
        {"the alert database's write-ahead log", alerts + QStringLiteral("-wal"), quik + QStringLiteral("trans.tro"), alerts, {},
         {isDatabaseFile(alerts + QStringLiteral("-wal"), alerts)}},
        {"an Access file of the settings not made yet", quik + QStringLiteral("orders.mdb"), quik + QStringLiteral("trans.tro"),
         quik + QStringLiteral("orders.mdb"), {}, {isDatabaseFile(quik + QStringLiteral("orders.mdb"), quik + QStringLiteral("orders.mdb"))}},
        {"the result file's companion holds a SQLite database", quik + QStringLiteral("trans.tri"), quik + QStringLiteral("trans.tro"),
         alerts, {{quik + QStringLiteral("trans.TRR"), sqlite}}, {holdsDatabase(quik + QStringLiteral("trans.TRR"))}},
        {"the import file holds an Access 2000 database", quik + QStringLiteral("trans.tri"), quik + QStringLiteral("trans.tro"),
         alerts, {{quik + QStringLiteral("trans.tri"), access("Standard Jet DB")}}, {holdsDatabase(quik + QStringLiteral("trans.tri"))}},
        {"the result file holds an Access 2007 database", quik + QStringLiteral("trans.tri"), quik + QStringLiteral("trans.tro"),
         alerts, {{quik + QStringLiteral("trans.tro"), access("Standard ACE DB")}}, {holdsDatabase(quik + QStringLiteral("trans.tro"))}},
        // Emptied as usual:
        {"a text that begins like a database's header", quik + QStringLiteral("trans.tri"), quik + QStringLiteral("trans.tro"),
         alerts, {{quik + QStringLiteral("trans.tri"), "SQLite format 3 is a file format\r\n"}}, {}},
        {"the databases given as ODBC connection texts", quik + QStringLiteral("trans.tri"), quik + QStringLiteral("trans.tro"),
         QStringLiteral("DSN=") + quik + QStringLiteral("trans.tri"), {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int firstLine = Log.LineCount();
        TSettings& s = Core->Settings();
        s.edtTRI = c.tri;
        s.edtTRO = c.tro;
        s.edtAlerts = c.alertsSource;
        s.edtQuikData = bridge;
        const QString trr = CompanionTrrPath(c.tro);
        QHash<QString, QByteArray> before;
        for (const QString& path : {c.tri, c.tro, trr})
            if (!SameFile(path, alerts) && !SameFile(path, bridge) && !path.endsWith(QStringLiteral("-wal")))
                WriteWholeFile(path, "old line\r\n");
        for (const auto& [path, bytes] : c.files)
            WriteWholeFile(path, bytes);
        for (const QString& path : {c.tri, c.tro, trr, alerts, bridge})
            before.insert(path, ReadWholeFile(path));

        Core->Watch().StartUp();

        EXPECT_EQ(LogLines().mid(firstLine), c.lines);
        for (const QString& path : {c.tri, c.tro, trr}) {
            if (c.lines.isEmpty())
                EXPECT_TRUE(ReadWholeFile(path).isEmpty()) << path.toStdString();
            else
                EXPECT_EQ(ReadWholeFile(path), before.value(path)) << path.toStdString();
        }
        EXPECT_EQ(ReadWholeFile(alerts), before.value(alerts));
        EXPECT_EQ(ReadWholeFile(bridge), before.value(bridge));
        EXPECT_EQ(Log.LoggedLineCount(), Log.LineCount());
    }
}

TEST_F(WatchLoopTest, ConnectAtStartArmsTheTableTimerAndEnablesStartWatching)
{
    Core->Settings().chConnect = true;
    WriteWholeFile(Core->Settings().edtInfoLog, "12345");
    EXPECT_FALSE(Core->actStartWatchEnabled());
    Core->Watch().StartUp();
    EXPECT_EQ(Core->LinkMonitor().InfoLogSize(), 5u); // the starting point of the link check
    EXPECT_TRUE(Core->DatMod().conOmega().Connected());
    EXPECT_TRUE(Core->timUpdateTable().Running());
    EXPECT_TRUE(Core->actStartWatchEnabled());
    EXPECT_FALSE(Core->actStopWatchEnabled());
    // The connect procedure runs one tick, which opens the tables it refreshes, and then
    // opens the bridge tables of the windows.
    EXPECT_TRUE(Core->DatMod().tFilledOrders().Active());
    EXPECT_TRUE(Core->DatMod().tParam().Active());
    EXPECT_TRUE(Core->DatMod().tClients().Active());
}

TEST_F(WatchLoopTest, FailedConnectionChangesNothing)
{
    Core->Settings().edtAlerts = Bases.FilePath(QStringLiteral("missing.db"));
    Core->Watch().actConnectToBaseExecute();
    EXPECT_FALSE(Core->timUpdateTable().Running());
    EXPECT_FALSE(Core->actStartWatchEnabled());
    EXPECT_FALSE(QFileInfo::exists(Bases.FilePath(QStringLiteral("missing.db"))));
}

TEST_F(WatchLoopTest, FailureAfterConnectingIsThrownAfterTheLogIsSaved)
{
    // Both databases open, but a bridge table of the windows cannot be opened.
    Bases.Exec(Bases.BridgePath(), QStringLiteral("ALTER TABLE tclients RENAME TO tMoved"));
    EXPECT_THROW(Core->Watch().ConnectToBases(), std::exception);
    EXPECT_EQ(Log.LoggedLineCount(), 2);
    EXPECT_TRUE(LogText().contains(QStringLiteral(": OK")));
    // The command reports it and arms nothing.
    Core->RunGuarded([this] { Core->Watch().actConnectToBaseExecute(); });
    EXPECT_EQ(Env.Errors.size(), 1);
    EXPECT_FALSE(Core->timUpdateTable().Running());
    EXPECT_FALSE(Core->actStartWatchEnabled());
}

TEST_F(WatchLoopTest, StartAndStopWatchingMoveThroughTheStates)
{
    Bases.Insert(Bases.AlertsPath(), QStringLiteral("FilledOrders"), {{QStringLiteral("ID"), 7}});
    Bases.Insert(Bases.AlertsPath(), QStringLiteral("CanceledOrders"), {{QStringLiteral("ID"), 3}});
    Core->Watch().actConnectToBaseExecute();
    Core->Watch().actStartWatchExecute();
    const TWatchLoop& watch = Core->Watch();
    const TOrderIntake& intake = Core->Intake();
    EXPECT_TRUE(watch.Watching());
    EXPECT_EQ(intake.LastId(TOrderIntake::TAlertTable::Active), 0);
    EXPECT_EQ(intake.LastId(TOrderIntake::TAlertTable::Filled), 7);
    EXPECT_EQ(intake.LastId(TOrderIntake::TAlertTable::Canceled), 3);
    EXPECT_FALSE(Core->actStartWatchEnabled());
    EXPECT_TRUE(Core->actStopWatchEnabled());

    // A second connection while watching keeps the report and the watch, and the
    // numbering goes on after the report's highest number.
    Bases.Insert(Bases.BridgePath(), QStringLiteral("tOrderNumber"), {{QStringLiteral("trans_id"), 6}});
    Core->Watch().actConnectToBaseExecute();
    EXPECT_EQ(Bases.Scalar(Bases.BridgePath(), QStringLiteral("SELECT COUNT(*) FROM tOrderNumber")).toInt(), 1);
    EXPECT_EQ(Core->Writer().TransCounter(), 7);
    EXPECT_FALSE(Core->actStartWatchEnabled());
    EXPECT_TRUE(watch.Watching());

    Core->Watch().actWatchingExecute();
    const int frame = watch.IconIndex();
    ASSERT_NE(frame, 0);
    Core->Watch().actStopWatchExecute();
    EXPECT_FALSE(watch.Watching());
    EXPECT_EQ(watch.IconIndex(), frame); // the frame counter is not reset
    EXPECT_EQ(Icons.last(), 0);          // but the idle icon is shown
    EXPECT_TRUE(Core->actStartWatchEnabled());
    EXPECT_FALSE(Core->actStopWatchEnabled());
    const QStringList lines = LogLines();
    EXPECT_TRUE(lines.contains(QStringLiteral("Загрузка ордеров включена.")));
    EXPECT_EQ(lines.last(), QStringLiteral("Загрузка ордеров остановлена."));
    EXPECT_EQ(Log.LoggedLineCount(), Log.LineCount());

    // Restarting takes the last ids afresh: rows added meanwhile are skipped.
    Bases.Insert(Bases.AlertsPath(), QStringLiteral("FilledOrders"), {{QStringLiteral("ID"), 9}});
    Core->Watch().actStartWatchExecute();
    EXPECT_EQ(intake.LastId(TOrderIntake::TAlertTable::Filled), 9);
}

TEST_F(WatchLoopTest, WatchCycleReadsTheTablesOfTheOrderSource)
{
    Core->Watch().actConnectToBaseExecute();
    Core->Watch().actStartWatchExecute();
    // Canceled rows have ids 3x, filled 2x, active 1x: the refused rows' log lines show
    // which tables a cycle read and in which order.
    struct Case { int source; QList<int> ids; };
    const Case cases[] = {
        {0, {31, 21, 11}}, // cancellations first, then new filled rows, then active rows
        {1, {22}},         // every new filled row, nothing else
        {-1, {}},          // no source selected: nothing is read
    };
    int round = 0;
    for (const Case& c : cases) {
        ++round;
        AddRefusedOrder(QStringLiteral("CanceledOrders"), 30 + round);
        AddRefusedOrder(QStringLiteral("FilledOrders"), 20 + round);
        AddRefusedOrder(QStringLiteral("ActiveOrders"), 10 + round);
        Core->Settings().rgpFilled = c.source;
        const QList<int> before = RefusedIds();
        Log.AddToLog(QStringLiteral("line"));
        Core->Watch().actWatchingExecute();
        EXPECT_EQ(RefusedIds().mid(before.size()), c.ids) << c.source;
        EXPECT_EQ(Log.LoggedLineCount(), Log.LineCount()) << c.source;
    }
    // One frame further per cycle, wrapping after the fourth.
    Core->Watch().actWatchingExecute();
    EXPECT_EQ(Icons, (QList<int>{1, 2, 3, 0}));
}

TEST_F(WatchLoopTest, TableTickReadsResultsAlwaysAndWatchesOnlyWhenOn)
{
    Core->Watch().actConnectToBaseExecute();
    Core->Settings().rgpFilled = 1;
    // Transactions sent by this bridge before: their results count.
    for (int transId : {1, 2})
        Bases.Insert(Bases.BridgePath(), QStringLiteral("tOrderNumber"),
                     {{QStringLiteral("trans_id"), transId}, {QStringLiteral("id_order"), 100 + transId},
                      {QStringLiteral("code"), QStringLiteral("C1")}});
    AddRefusedOrder(QStringLiteral("FilledOrders"), 1);
    AppendResult("TRANS_ID=1;STATUS=0;");
    Core->Watch().timTable();
    EXPECT_EQ(Core->ResultReader().TransSentCount(), 1);
    EXPECT_TRUE(RefusedIds().isEmpty());

    Core->Watch().actStartWatchExecute();
    AddRefusedOrder(QStringLiteral("FilledOrders"), 2);
    AppendResult("TRANS_ID=2;STATUS=0;");
    Core->Watch().timTable();
    EXPECT_EQ(RefusedIds(), QList<int>{2});
    EXPECT_EQ(Core->ResultReader().TransSentCount(), 2);
    // The tick re-opens the alert tables: a row the platform added shows.
    Bases.Insert(Bases.AlertsPath(), QStringLiteral("ActiveOrders"), {{QStringLiteral("ID"), 5}});
    Core->Watch().timTable();
    EXPECT_EQ(Core->DatMod().tActiveOrders().RecordCount(), 1);
}

// Between table ticks, a commit to the SQLite alert file runs the watch cycle at the next
// look; no commit, no cycle; a commit from before watching began is left to the tick.
TEST_F(WatchLoopTest, AlertsCheckRunsTheWatchCycleAtOnceWhenTheAlertFileChanged)
{
    Core->Watch().actConnectToBaseExecute();
    EXPECT_TRUE(Core->timAlertsCheck().Running());
    EXPECT_EQ(Core->timAlertsCheck().Period(), TMainCore::AlertsCheckPeriodMs);
    Core->Settings().rgpFilled = 1;
    Core->Watch().timAlertsCheck(); // the first look takes the file as it is
    Core->Watch().actStartWatchExecute();
    const int frames = Icons.size();

    Core->Watch().timAlertsCheck();
    EXPECT_EQ(Icons.size(), frames); // nothing committed: no cycle

    AddRefusedOrder(QStringLiteral("FilledOrders"), 1);
    Core->Watch().timAlertsCheck();
    EXPECT_EQ(RefusedIds(), QList<int>{1});
    EXPECT_EQ(Icons.size(), frames + 1);
    Core->Watch().timAlertsCheck();
    EXPECT_EQ(Icons.size(), frames + 1);

    // Not watching: the look goes on, but runs no cycle, and the change it saw is not
    // kept for later.
    Core->Watch().actStopWatchExecute();
    AddRefusedOrder(QStringLiteral("FilledOrders"), 2);
    Core->Watch().timAlertsCheck();
    Core->Watch().actStartWatchExecute();
    Core->Watch().timAlertsCheck();
    EXPECT_EQ(RefusedIds(), QList<int>{1});

    // A new connection gets a look of its own.
    Core->Watch().actConnectToBaseExecute();
    Core->Watch().timAlertsCheck();
    AddRefusedOrder(QStringLiteral("FilledOrders"), 3);
    Core->Watch().timAlertsCheck();
    EXPECT_EQ(RefusedIds(), (QList<int>{1, 3}));
}

// The platform's commit wakes the program through the file system: the watch cycle runs
// with the periodic look stopped and before any table tick, and keeps doing so for the
// next commits (the write-ahead journal, made after the following began, is followed).
TEST_F(WatchLoopTest, CommitToTheAlertFileRunsTheWatchCycleWithNoLookAndNoTick)
{
    Core->Watch().actConnectToBaseExecute();
    Core->SetAlertsCheckPeriod(0);
    EXPECT_FALSE(Core->timAlertsCheck().Running());
    int ticks = 0;
    QObject::connect(&Core->timUpdateTable().Timer(), &QTimer::timeout, [&] { ++ticks; });
    Core->Settings().rgpFilled = 1;
    Core->Watch().timAlertsCheck(); // the first look takes the file as it is
    Core->Watch().actStartWatchExecute();

    for (const int id : {1, 2, 3}) {
        AddRefusedOrder(QStringLiteral("FilledOrders"), id);
        QElapsedTimer waited;
        waited.start();
        while (RefusedIds().size() < id && waited.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        EXPECT_EQ(RefusedIds().size(), id) << "row " << id << " not seen without a look";
    }
    EXPECT_EQ(RefusedIds(), (QList<int>{1, 2, 3}));
    EXPECT_EQ(ticks, 0) << "a table tick came between: the rows may be the tick's";
}

// Over ODBC there is no cheap look: commits wait for the table tick.
TEST(AlertsChangeCheckTest, OnlyASqliteConnectionIsLookedAt)
{
    for (const TTestEngine engine : {TTestEngine::Sqlite, TTestEngine::Odbc}) {
        TTestDatabases bases{engine};
        TConnection alerts;
        alerts.Open(bases.AlertsSource());
        TAlertsChangeCheck check;
        EXPECT_FALSE(check.Changed(alerts)) << EngineName(engine);
        bases.Insert(bases.AlertsPath(), QStringLiteral("FilledOrders"), {{QStringLiteral("ID"), 1}});
        EXPECT_EQ(check.Changed(alerts), engine == TTestEngine::Sqlite) << EngineName(engine);
        EXPECT_FALSE(check.Changed(alerts)) << EngineName(engine);
        alerts.Close();
        bases.Insert(bases.AlertsPath(), QStringLiteral("FilledOrders"), {{QStringLiteral("ID"), 2}});
        EXPECT_FALSE(check.Changed(alerts)) << EngineName(engine);
    }
}

TEST_F(WatchLoopTest, ZeroPeriodStopsATimerUntilAPeriodReturns)
{
    Core->Watch().actConnectToBaseExecute(); // arms the table timer
    ASSERT_TRUE(Core->timUpdateTable().Running());
    WriteWholeFile(ProgramDir.filePath(QStringLiteral("Zovrant.ini")),
                   "[Quik]\r\nintTable=0\r\nQuikConnectTimeOut=0\r\n");
    Core->LoadSettingsReported();
    EXPECT_FALSE(Core->timUpdateTable().Running()) << "a Qt timer of period 0 would fire without pause";
    EXPECT_FALSE(Core->timInfoLog().Running());
    WriteWholeFile(ProgramDir.filePath(QStringLiteral("Zovrant.ini")),
                   "[Quik]\r\nintTable=2\r\nQuikConnectTimeOut=3\r\n");
    Core->LoadSettingsReported();
    EXPECT_TRUE(Core->timUpdateTable().Running());
    EXPECT_EQ(Core->timUpdateTable().Period(), 2000);
    EXPECT_TRUE(Core->timInfoLog().Running());
    EXPECT_EQ(Core->timInfoLog().Period(), 3000);
    // A period that does not convert is reported and leaves that timer and the later one.
    WriteWholeFile(ProgramDir.filePath(QStringLiteral("Zovrant.ini")),
                   "[Quik]\r\nintTable=4\r\nQuikConnectTimeOut=x\r\n");
    Core->LoadSettingsReported();
    EXPECT_EQ(Env.Errors.size(), 1);
    EXPECT_EQ(Core->timUpdateTable().Period(), 4000);
    EXPECT_EQ(Core->timInfoLog().Period(), 3000);
}

} // namespace

namespace {

// Settings with which orders would go astray: start watching refuses them, naming in the
// box and the log each key, its value (the file) and the settings file; with the key
// mended watching starts.
TEST_F(WatchLoopTest, StartWatchingRefusesSettingsThatCannotWorkNamingEachKey)
{
    Bases.SeedTwoClients();
    Core->Watch().StartUp();
    Core->Watch().actConnectToBaseExecute();
    ASSERT_TRUE(Core->actStartWatchEnabled());
    const TSettings good = Core->Settings();
    const QString tri = good.edtTRI;
    const QString tro = good.edtTRO;
    const QString access = Bases.FilePath(QStringLiteral("quik/orders.mdb"));
    const QString copy = Bases.FilePath(QStringLiteral("quik/copy.tro"));
    ASSERT_TRUE(QFile::copy(Bases.BridgePath(), copy));
    const TSettings defaults; // what a settings file without these keys gives
    using TChange = std::function<void(TSettings&)>;
    struct Case {
        const char* name;
        TChange change;
        QStringList keys; // each named with its value; none: watching starts
    };
    const Case cases[] = {
        {"result file is the import file", [&](TSettings& s) { s.edtTRO = tri; }, {QStringLiteral("pathTRO")}},
        {"terminal log is the import file", [&](TSettings& s) { s.edtInfoLog = tri; }, {QStringLiteral("pathInfoLog")}},
        {"terminal log is the result file", [&](TSettings& s) { s.edtInfoLog = tro; }, {QStringLiteral("pathInfoLog")}},
        {"import file spelt another way is the result file",
         [&](TSettings& s) { s.edtTRO = Bases.FilePath(QStringLiteral("quik/../quik/trans.tri")); }, {QStringLiteral("pathTRO")}},
        {"import file is the alert database", [&](TSettings& s) { s.edtTRI = Bases.AlertsPath(); }, {QStringLiteral("pathTRI")}},
        {"import file is the bridge database's journal",
         [&](TSettings& s) { s.edtTRI = Bases.BridgePath() + QStringLiteral("-journal"); }, {QStringLiteral("pathTRI")}},
        {"import file is an Access database of the settings",
         [&](TSettings& s) { s.edtTRI = access; s.edtAlerts = access; }, {QStringLiteral("pathTRI")}},
        {"result file holds a database", [&](TSettings& s) { s.edtTRO = copy; }, {QStringLiteral("pathTRO")}},
        {"no import file", [&](TSettings& s) { s.edtTRI.clear(); }, {QStringLiteral("pathTRI")}},
        {"table period 0", [](TSettings& s) { s.edtIntTable = QStringLiteral("0"); }, {QStringLiteral("intTable")}},
        {"table period over an hour", [](TSettings& s) { s.edtIntTable = QStringLiteral("3601"); }, {QStringLiteral("intTable")}},
        {"table period not a number", [](TSettings& s) { s.edtIntTable = QStringLiteral("1s"); }, {QStringLiteral("intTable")}},
        {"single account without a client code", [](TSettings& s) { s.edtCode = QStringLiteral("  "); }, {QStringLiteral("Code")}},
        {"single account without accounts",
         [](TSettings& s) { s.edtAccountMicex.clear(); s.edtAccountFORTS = QStringLiteral(" "); },
         {QStringLiteral("AccountMicex"), QStringLiteral("AccountFORTS")}},
        {"single account as a settings file without it gives",
         [&](TSettings& s) { s.edtCode = defaults.edtCode; s.edtAccountMicex = defaults.edtAccountMicex; s.edtAccountFORTS = defaults.edtAccountFORTS; },
         {QStringLiteral("Code"), QStringLiteral("AccountMicex"), QStringLiteral("AccountFORTS")}},
        {"several at once with a bad session time",
         [&](TSettings& s) { s.edtTRO = tri; s.edtIntTable = QStringLiteral("0"); s.edtTime2 = QStringLiteral("25:00:00"); },
         {QStringLiteral("pathTRO"), QStringLiteral("intTable"), QStringLiteral("time2")}},
        // Watching starts:
        {"the longest table period", [](TSettings& s) { s.edtIntTable = QStringLiteral("3600"); }, {}},
        {"one account of the two", [](TSettings& s) { s.edtAccountMicex.clear(); }, {}},
        {"client group without a single account",
         [&](TSettings& s) { s.rgpSingleMulti = 1; s.edtCode.clear(); s.edtAccountMicex.clear(); s.edtAccountFORTS.clear(); }, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TSettings& s = Core->Settings();
        s = good;
        c.change(s);
        Env.Errors.clear();
        const int firstLine = Log.LineCount();
        Core->RunGuarded([this] { Core->Watch().actStartWatchExecute(); });
        EXPECT_EQ(Core->Watch().Watching(), c.keys.isEmpty());
        if (c.keys.isEmpty()) {
            EXPECT_TRUE(Env.Errors.isEmpty()) << Env.Errors.join(QLatin1Char('\n')).toStdString();
            Core->Watch().actStopWatchExecute();
            continue;
        }
        ASSERT_EQ(Env.Errors.size(), 1);
        const QString& box = Env.Errors[0];
        const QStringList lines = box.split(QLatin1Char('\n'));
        ASSERT_EQ(lines.size(), c.keys.size() + 1) << box.toStdString();
        for (int i = 0; i < c.keys.size(); ++i) {
            EXPECT_TRUE(lines[i].startsWith(QStringLiteral("Файл настроек %1, раздел [").arg(QDir::toNativeSeparators(s.FileName()))))
                << lines[i].toStdString();
            EXPECT_TRUE(lines[i].contains(QStringLiteral("], ключ %1: значение \"").arg(c.keys[i]))) << lines[i].toStdString();
        }
        EXPECT_EQ(lines.last(), QStringLiteral("Загрузка ордеров не включается, пока настройки не исправлены."));
        EXPECT_TRUE(LogLines().mid(firstLine).join(QLatin1Char('\n')).contains(lines[0])) << "logged too";
    }
    // The value named is the file as the settings give it.
    Core->Settings() = good;
    Core->Settings().edtTRO = tri;
    Core->RunGuarded([this] { Core->Watch().actStartWatchExecute(); });
    EXPECT_TRUE(Env.Errors.last().contains(QStringLiteral("ключ pathTRO: значение \"%1\" совпадает с файлом ключа pathTRI").arg(tri)))
        << Env.Errors.last().toStdString();
    EXPECT_TRUE(ReadWholeFile(tri).isEmpty());
}

// The operator's commands that send an order by hand refuse the same settings before
// anything is booked or written: an order of a single-account setup without its client
// code and accounts went to the placeholder client "111" before.
TEST_F(WatchLoopTest, ManualOrderIsRefusedUntilTheSingleAccountIsSet)
{
    Bases.SeedTwoClients();
    Bases.Insert(Bases.AlertsPath(), QStringLiteral("ActiveOrders"),
                 {{QStringLiteral("ID"), 1}, {QStringLiteral("Symbol"), QStringLiteral("SBER")},
                  {QStringLiteral("OrderType"), QStringLiteral("LE")},
                  {QStringLiteral("Order"), QStringLiteral("Buy 3 at 250.50 Limit")},
                  {QStringLiteral("System"), QStringLiteral("Trend")},
                  {QStringLiteral("Workspace"), QStringLiteral("C:\\Omega\\Demo.wsp")}});
    TSettings& s = Core->Settings();
    const TSettings defaults;
    s.edtCode = defaults.edtCode;
    s.edtAccountMicex = defaults.edtAccountMicex;
    s.edtAccountFORTS = defaults.edtAccountFORTS;
    Core->Watch().StartUp();
    Core->Watch().actConnectToBaseExecute();
    auto sendByHand = [this] {
        Core->RunGuarded([this] {
            if (const auto ticket = Core->ManualOrders().actSendNewOrderManualExecute(TManualPage::ActiveOrders))
                Core->ManualOrders().SendTicket(*ticket);
        });
    };
    sendByHand();
    EXPECT_TRUE(ReadWholeFile(s.edtTRI).isEmpty());
    EXPECT_EQ(Bases.Scalar(Bases.BridgePath(), QStringLiteral("SELECT COUNT(*) FROM tOrderNumber")).toInt(), 0);
    ASSERT_EQ(Env.Errors.size(), 1);
    EXPECT_TRUE(Env.Errors[0].contains(QStringLiteral("ключ Code: значение \"\"")));
    EXPECT_TRUE(Env.Errors[0].endsWith(QStringLiteral("\nОрдер не отправлен: исправьте настройки.")));

    s.edtCode = QStringLiteral("C7");
    s.edtAccountMicex = QStringLiteral("ACC-C7");
    sendByHand();
    EXPECT_EQ(Env.Errors.size(), 1) << Env.Errors.join(QLatin1Char('\n')).toStdString();
    const QString lines = FromCp1251(ReadWholeFile(s.edtTRI));
    EXPECT_TRUE(lines.startsWith(QStringLiteral("TRANS_ID =0;ACTION=NEW_ORDER;ACCOUNT=ACC-C7;"))) << lines.toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral(";CLIENT_CODE=C7;")));
}

// The transaction writer on its own never appends into a database's file, however the
// settings came to name one: the lines stay queued and the database keeps its bytes.
TEST_F(WatchLoopTest, WriterNeverAppendsIntoADatabaseFile)
{
    TSettings& s = Core->Settings();
    TOrder order;
    order.Action = QStringLiteral("NEW_ORDER");
    order.Quantity = 1;
    for (const QString& path : {Bases.AlertsPath(), Bases.BridgePath() + QStringLiteral("-wal")}) {
        SCOPED_TRACE(path.toStdString());
        s.edtTRI = path;
        const QByteArray before = ReadWholeFile(path);
        Core->Writer().QueueTransaction(order);
        EXPECT_THROW(Core->Writer().WriteTransFile(), TError);
        EXPECT_EQ(ReadWholeFile(path), before);
        EXPECT_TRUE(Core->Writer().HasPending());
    }
    // A copy of a database under another name holds one too.
    const QString copy = Bases.FilePath(QStringLiteral("quik/copy.tri"));
    ASSERT_TRUE(QFile::copy(Bases.BridgePath(), copy));
    s.edtTRI = copy;
    EXPECT_THROW(Core->Writer().WriteTransFile(), TError);
    // The import file of the settings takes them.
    s.edtTRI = Bases.FilePath(QStringLiteral("quik/trans.tri"));
    Core->Writer().WriteTransFile();
    EXPECT_FALSE(Core->Writer().HasPending());
    EXPECT_EQ(FromCp1251(ReadWholeFile(s.edtTRI)).count(QStringLiteral("\r\n")), 2);
}

} // namespace

namespace {

// A bridge database through ODBC without tBridgeHolder keeps no holder row: the log says
// once that only the import file's lock guards, and the program works as before. With the
// table there, the row is written through ODBC as well.
TEST(BridgeHolderOverOdbcTest, WithoutTheTableOnlyTheFileLockGuardsSaidOnce)
{
    TTestEnvironment env;
    TTestDatabases bases(TTestEngine::Odbc);
    QDir(bases.Folder()).mkdir(QStringLiteral("quik"));
    QTemporaryDir programDir;
    TOperationLog log{env.Environment};
    log.OpenFile(bases.FilePath(QStringLiteral("Zovrant.log")));
    TMainCore core(env.Environment, log, programDir.path() + QLatin1Char('/'));
    PointAtTestFiles(core.Settings(), bases);
    bases.Exec(bases.BridgePath(), QStringLiteral("DROP TABLE tBridgeHolder"));
    core.Watch().StartUp();
    core.Watch().actConnectToBaseExecute();
    core.Watch().actConnectToBaseExecute();
    core.RunGuarded([&core] { core.Watch().actStartWatchExecute(); });
    EXPECT_TRUE(core.Watch().Watching());
    EXPECT_TRUE(env.Errors.isEmpty()) << env.Errors.join(QLatin1Char('\n')).toStdString();
    const QString said = QStringLiteral("В базе данных Quik %1 нет таблицы tBridgeHolder: второй экземпляр программы "
                                        "с этой базой данных исключает только блокировка файла транзакций.")
                             .arg(bases.BridgeSource());
    EXPECT_EQ(LogLinesOf(log).filter(said).size(), 1) << LogLinesOf(log).join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(bases.Scalar(bases.BridgePath(), QStringLiteral("SELECT name FROM sqlite_master WHERE name = 'tBridgeHolder'"))
                    .isNull());

    bases.Exec(bases.BridgePath(), BridgeHolderSchema().first());
    core.Watch().actConnectToBaseExecute();
    EXPECT_EQ(bases.Scalar(bases.BridgePath(), QStringLiteral("SELECT pid FROM tBridgeHolder")).toLongLong(),
              QCoreApplication::applicationPid());
}

} // namespace
