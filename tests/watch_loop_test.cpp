#include "base/CodePage.h"
#include "shell/MainCore.h"
#include "tests/support/TestDatabases.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <gtest/gtest.h>

namespace {

// The program's core over two test databases and a terminal folder, with the loaders and
// the result reader replaced by recorders so the order of the watch cycle shows.
class WatchLoopTest : public ::testing::Test {
protected:
    TTestEnvironment Env;
    TTestDatabases Bases;
    QTemporaryDir ProgramDir;
    TOperationLog Log{Env.Environment};
    std::unique_ptr<TMainCore> Core;
    QStringList Calls;
    QList<int> Icons;

    void SetUp() override
    {
        Log.OpenFile(Bases.FilePath(QStringLiteral("Zovrant.log")));
        Core = std::make_unique<TMainCore>(Env.Environment, Log, ProgramDir.path() + QLatin1Char('/'));
        TSettings& s = Core->Settings;
        s.edtAlerts = Bases.AlertsSource();
        s.edtQuikData = Bases.BridgeSource();
        s.edtTRI = Bases.FilePath(QStringLiteral("quik/trans.tri"));
        s.edtTRO = Bases.FilePath(QStringLiteral("quik/trans.tro"));
        s.edtInfoLog = Bases.FilePath(QStringLiteral("quik/info.log"));
        TWatchHooks& hooks = Core->Watch.Hooks();
        hooks.LoadCanceledOrders = [this] { Calls << QStringLiteral("canceled"); };
        hooks.LoadFilledOrders = [this](bool all) {
            Calls << (all ? QStringLiteral("filled all") : QStringLiteral("filled new"));
        };
        hooks.LoadActiveOrders = [this] { Calls << QStringLiteral("active"); };
        hooks.WriteTransFile = [this] { Calls << QStringLiteral("write"); };
        hooks.CheckTRO = [this] { Calls << QStringLiteral("tro"); };
        Core->ShowWatchIcon = [this](int frame) { Icons << frame; };
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
    const QString tro = Core->Settings.edtTRO;
    Core->Watch.StartUp();
    for (const QString& path : {Core->Settings.edtTRI, tro, Bases.FilePath(QStringLiteral("quik/trans.TRR"))}) {
        EXPECT_TRUE(QFile::exists(path)) << path.toStdString();
        EXPECT_TRUE(ReadWholeFile(path).isEmpty()) << path.toStdString();
    }
    WriteWholeFile(Core->Settings.edtTRI, "old line\r\n");
    WriteWholeFile(tro, "TRANS_ID=1;STATUS=3;\r\n");
    Core->Watch.StartUp();
    EXPECT_TRUE(ReadWholeFile(Core->Settings.edtTRI).isEmpty());
    EXPECT_TRUE(ReadWholeFile(tro).isEmpty());
    EXPECT_TRUE(LogText().isEmpty()); // nothing failed, nothing to say
}

TEST_F(WatchLoopTest, MissingParentFolderGivesTheFailureLineAndLeavesTheResultFiles)
{
    const QString tri = Bases.FilePath(QStringLiteral("no/such/trans.tri"));
    const QString tro = Bases.FilePath(QStringLiteral("results/trans.tro"));
    QDir(Bases.Folder()).mkdir(QStringLiteral("results"));
    WriteWholeFile(tro, "kept\r\n");
    Core->Settings.edtTRI = tri;
    Core->Settings.edtTRO = tro;
    Core->Watch.StartUp();
    EXPECT_FALSE(QFileInfo::exists(Bases.FilePath(QStringLiteral("no/such"))));
    EXPECT_EQ(ReadWholeFile(tro), QByteArray("kept\r\n"));
    ASSERT_EQ(LogLines().size(), 2);
    EXPECT_EQ(LogLines()[0], QStringLiteral("При создании файлов транзакций ") + tri + QStringLiteral(", ")
                                 + tro + QStringLiteral(" произошла ошибка: "));
    EXPECT_FALSE(Log.Line(1).isEmpty()); // the error's own text on its own line
    EXPECT_TRUE(LogText().contains(QStringLiteral("\r\n") + Log.Line(1) + QStringLiteral("\r\n")));
}

TEST_F(WatchLoopTest, ConnectAtStartArmsTheTableTimerAndEnablesStartWatching)
{
    Core->Settings.chConnect = true;
    QDir(Bases.Folder()).mkdir(QStringLiteral("quik"));
    WriteWholeFile(Core->Settings.edtInfoLog, "12345");
    EXPECT_FALSE(Core->Watch.actStartWatchEnabled);
    Core->Watch.StartUp();
    EXPECT_EQ(Core->LinkMonitor.InfoLogSize(), 5u); // the starting point of the link check
    EXPECT_TRUE(Core->DatMod.conOmega.Connected());
    EXPECT_TRUE(Core->timUpdateTable.Timer.isActive());
    EXPECT_TRUE(Core->Watch.actStartWatchEnabled);
    EXPECT_FALSE(Core->Watch.actStopWatchEnabled);
    // The connect procedure runs one tick: the result reader ran once.
    EXPECT_EQ(Calls, QStringList{QStringLiteral("tro")});
}

TEST_F(WatchLoopTest, FailedConnectionChangesNothing)
{
    Core->Settings.edtAlerts = Bases.FilePath(QStringLiteral("missing.db"));
    Core->Watch.actConnectToBaseExecute();
    EXPECT_FALSE(Core->timUpdateTable.Timer.isActive());
    EXPECT_FALSE(Core->Watch.actStartWatchEnabled);
    EXPECT_FALSE(QFileInfo::exists(Bases.FilePath(QStringLiteral("missing.db"))));
}

TEST_F(WatchLoopTest, StartAndStopWatchingMoveThroughTheStates)
{
    Bases.Insert(Bases.AlertsPath(), QStringLiteral("FilledOrders"), {{QStringLiteral("ID"), 7}});
    Bases.Insert(Bases.AlertsPath(), QStringLiteral("CanceledOrders"), {{QStringLiteral("ID"), 3}});
    Core->Watch.actConnectToBaseExecute();
    Core->Watch.actStartWatchExecute();
    const TWatchState& state = Core->Watch.State;
    EXPECT_TRUE(state.Watching);
    EXPECT_EQ(state.ActiveLastId, 0);
    EXPECT_EQ(state.FilledLastId, 7);
    EXPECT_EQ(state.CanceledLastId, 3);
    EXPECT_FALSE(Core->Watch.actStartWatchEnabled);
    EXPECT_TRUE(Core->Watch.actStopWatchEnabled);

    // A second connection while watching empties the report and keeps the watch.
    Bases.Insert(Bases.BridgePath(), QStringLiteral("tOrderNumber"), {{QStringLiteral("trans_id"), 1}});
    Core->Watch.actConnectToBaseExecute();
    EXPECT_EQ(Bases.Scalar(Bases.BridgePath(), QStringLiteral("SELECT COUNT(*) FROM tOrderNumber")).toInt(), 0);
    EXPECT_FALSE(Core->Watch.actStartWatchEnabled);
    EXPECT_TRUE(state.Watching);

    Core->Watch.actWatchingExecute();
    const int frame = state.IconIndex;
    ASSERT_NE(frame, 0);
    Core->Watch.actStopWatchExecute();
    EXPECT_FALSE(state.Watching);
    EXPECT_EQ(state.IconIndex, frame); // the frame counter is not reset
    EXPECT_EQ(Icons.last(), 0);    // but the idle icon is shown
    EXPECT_TRUE(Core->Watch.actStartWatchEnabled);
    EXPECT_FALSE(Core->Watch.actStopWatchEnabled);
    const QStringList lines = LogLines();
    EXPECT_TRUE(lines.contains(QStringLiteral("Загрузка ордеров включена.")));
    EXPECT_EQ(lines.last(), QStringLiteral("Загрузка ордеров остановлена."));
    EXPECT_EQ(Log.LoggedLineCount(), Log.LineCount());

    // Restarting takes the last ids afresh: rows added meanwhile are skipped.
    Bases.Insert(Bases.AlertsPath(), QStringLiteral("FilledOrders"), {{QStringLiteral("ID"), 9}});
    Core->Watch.actStartWatchExecute();
    EXPECT_EQ(state.FilledLastId, 9);
}

TEST_F(WatchLoopTest, WatchCycleReadsTheTablesOfTheOrderSource)
{
    struct Case { int source; QStringList calls; };
    const Case cases[] = {
        {0, {QStringLiteral("canceled"), QStringLiteral("filled new"), QStringLiteral("active"), QStringLiteral("write")}},
        {1, {QStringLiteral("filled all"), QStringLiteral("write")}},
        {-1, {QStringLiteral("write")}},
    };
    for (const Case& c : cases) {
        Calls.clear();
        Core->Settings.rgpFilled = c.source;
        const int savedBefore = Log.LoggedLineCount();
        Log.AddToLog(QStringLiteral("line"));
        Core->Watch.actWatchingExecute();
        EXPECT_EQ(Calls, c.calls) << c.source;
        EXPECT_EQ(Log.LoggedLineCount(), savedBefore + 1) << c.source;
    }
    // One frame further per cycle, wrapping after the fourth.
    Core->Watch.actWatchingExecute();
    EXPECT_EQ(Icons, (QList<int>{1, 2, 3, 0}));
}

TEST_F(WatchLoopTest, TableTickReadsResultsAlwaysAndWatchesOnlyWhenOn)
{
    Core->Watch.actConnectToBaseExecute();
    Calls.clear();
    Core->Watch.timTable();
    EXPECT_EQ(Calls, QStringList{QStringLiteral("tro")});
    Core->Watch.actStartWatchExecute();
    Calls.clear();
    Core->Watch.timTable();
    EXPECT_EQ(Calls, (QStringList{QStringLiteral("filled all"), QStringLiteral("write"), QStringLiteral("tro")}));
    // The tick re-opens the alert tables: a row the platform added shows.
    Bases.Insert(Bases.AlertsPath(), QStringLiteral("ActiveOrders"), {{QStringLiteral("ID"), 5}});
    Core->Watch.timTable();
    EXPECT_EQ(Core->DatMod.tActiveOrders.RecordCount(), 1);
}

TEST_F(WatchLoopTest, ZeroTablePeriodNeverTicks)
{
    WriteWholeFile(ProgramDir.filePath(QStringLiteral("Zovrant.ini")), "[Quik]\r\nintTable=0\r\n");
    Core->LoadSettingsReported();
    Core->timUpdateTable.SetEnabled(true);
    EXPECT_FALSE(Core->timUpdateTable.Timer.isActive());
    WriteWholeFile(ProgramDir.filePath(QStringLiteral("Zovrant.ini")), "[Quik]\r\nintTable=2\r\n");
    Core->LoadSettingsReported();
    EXPECT_TRUE(Core->timUpdateTable.Timer.isActive());
    EXPECT_EQ(Core->timUpdateTable.Timer.interval(), 2000);
}

} // namespace
