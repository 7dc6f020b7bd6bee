#include "base/OperationLog.h"
#include "shell/MainCore.h"
#include "shell/ui/ErrorBox.h"
#include "tests/support/TestDatabases.h"
#include "tests/support/TestEnvironment.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

// The error boxes on screen, whoever opened them.
QList<QMessageBox*> BoxesOnScreen()
{
    QList<QMessageBox*> boxes;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box && box->isVisible())
            boxes << box;
    }
    return boxes;
}

void PressOk(QMessageBox* box)
{
    ASSERT_NE(box->button(QMessageBox::Ok), nullptr);
    box->button(QMessageBox::Ok)->click();
    QCoreApplication::processEvents();
}

class ErrorBoxTest : public ::testing::Test {
protected:
    // A box that kept the call waiting would keep the test waiting for good: whatever
    // is still open after a long while is closed, and the test then fails on what it saw.
    QTimer Watchdog;

    void SetUp() override
    {
        Watchdog.setSingleShot(true);
        QObject::connect(&Watchdog, &QTimer::timeout, [] {
            for (QMessageBox* box : BoxesOnScreen())
                box->close();
        });
        Watchdog.start(60000);
    }
    void TearDown() override
    {
        for (QMessageBox* box : BoxesOnScreen())
            box->close();
        QCoreApplication::processEvents();
    }
};

// The box shows the failure and the call returns at once; while it is open, later
// failures go to the log instead of a second box; once the operator has pressed OK the
// next failure opens a box again.
TEST_F(ErrorBoxTest, OneBoxAtATimeAndLaterFailuresGoToTheLog)
{
    TTestEnvironment env;
    TOperationLog log(env.Environment);
    TErrorBox box;
    box.SetLog(&log);

    box.Show(QStringLiteral("first failure"));
    QList<QMessageBox*> boxes = BoxesOnScreen();
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0]->windowTitle(), QStringLiteral("Zovrant v 2.1"));
    EXPECT_EQ(boxes[0]->text(), QStringLiteral("first failure"));
    EXPECT_EQ(boxes[0]->icon(), QMessageBox::Critical);
    EXPECT_EQ(log.LineCount(), 0);

    box.Show(QStringLiteral("repeated failure"));
    ASSERT_EQ(BoxesOnScreen().size(), 1);
    EXPECT_EQ(BoxesOnScreen()[0]->text(), QStringLiteral("first failure"));
    ASSERT_EQ(log.LineCount(), 1);
    EXPECT_TRUE(log.Line(0).endsWith(QStringLiteral("repeated failure")));

    ASSERT_NO_FATAL_FAILURE(PressOk(BoxesOnScreen()[0]));
    EXPECT_TRUE(BoxesOnScreen().isEmpty());
    box.Show(QStringLiteral("after OK"));
    boxes = BoxesOnScreen();
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0]->text(), QStringLiteral("after OK"));
    EXPECT_EQ(log.LineCount(), 1);
}

// The program's core with its table timer running and the error box of the program: a
// box that a failed tick opened leaves the later ticks running. Their failures reach the
// log, and once the fault is gone the results the terminal writes are read and counted,
// all while the box waits for the operator.
TEST_F(ErrorBoxTest, TableTicksGoOnWhileTheBoxIsOpen)
{
    TTestEnvironment env;
    TTestDatabases bases;
    QTemporaryDir programDir;
    // A tick every second; the link check stays still.
    WriteWholeFile(QDir(programDir.path()).filePath(QStringLiteral("Zovrant.ini")),
                   "[Quik]\r\nintTable=1\r\nQuikConnectTimeOut=0\r\n");
    TOperationLog log(env.Environment);
    log.OpenFile(bases.FilePath(QStringLiteral("Zovrant.log")));
    TErrorBox errorBox;
    errorBox.SetLog(&log);
    env.Environment.ReportError = [&errorBox](const QString& text) { errorBox.Show(text); };

    TMainCore core(env.Environment, log, programDir.path() + QLatin1Char('/'));
    TSettings& settings = core.Settings();
    QDir(bases.Folder()).mkdir(QStringLiteral("quik"));
    settings.edtAlerts = bases.AlertsSource();
    settings.edtQuikData = bases.BridgeSource();
    settings.edtTRI = bases.FilePath(QStringLiteral("quik/trans.tri"));
    settings.edtInfoLog = bases.FilePath(QStringLiteral("quik/info.log"));
    settings.edtTRO = bases.FilePath(QStringLiteral("quik/trans.tro"));
    core.RunGuarded([&core] { core.Watch().actConnectToBaseExecute(); });
    ASSERT_TRUE(core.timUpdateTable().Running());
    ASSERT_TRUE(BoxesOnScreen().isEmpty());

    // Every tick now fails at the result file: a folder stands where the file should be.
    const QString folder = bases.FilePath(QStringLiteral("quik/folder.tro"));
    ASSERT_TRUE(QDir(bases.Folder()).mkpath(QStringLiteral("quik/folder.tro")));
    settings.edtTRO = folder;
    auto failuresLogged = [&log] {
        int count = 0;
        for (int i = 0; i < log.LineCount(); ++i)
            count += log.Line(i).contains(QStringLiteral("Невозможно открыть файл")) ? 1 : 0;
        return count;
    };
    ASSERT_TRUE(WaitUntil([] { return BoxesOnScreen().size() == 1; }));
    QMessageBox* box = BoxesOnScreen()[0];
    EXPECT_TRUE(box->text().startsWith(QStringLiteral("Невозможно открыть файл ") + folder)) << box->text().toStdString();
    EXPECT_EQ(failuresLogged(), 0);

    // With the box open, the ticks go on failing: one box, the rest in the log.
    ASSERT_TRUE(WaitUntil([&] { return failuresLogged() >= 2; }));
    ASSERT_EQ(BoxesOnScreen().size(), 1);
    EXPECT_EQ(BoxesOnScreen()[0], box);

    // The fault is mended while the box is still open: the next tick reads the result.
    const QString results = bases.FilePath(QStringLiteral("quik/trans.tro"));
    bases.Insert(bases.BridgePath(), QStringLiteral("tOrderNumber"),
                 {{QStringLiteral("trans_id"), 1}, {QStringLiteral("id_order"), 7}, {QStringLiteral("code"), QStringLiteral("C1")}});
    WriteWholeFile(results, "TRANS_ID=1;STATUS=0;\r\n");
    settings.edtTRO = results;
    ASSERT_TRUE(WaitUntil([&core] { return core.ResultReader().TransSentCount() == 1; }));
    ASSERT_EQ(BoxesOnScreen().size(), 1);
    EXPECT_EQ(BoxesOnScreen()[0], box);

    ASSERT_NO_FATAL_FAILURE(PressOk(box));
    EXPECT_TRUE(BoxesOnScreen().isEmpty());
}

} // namespace
