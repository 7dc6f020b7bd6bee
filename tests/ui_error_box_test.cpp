#include "base/OperationLog.h"
#include "shell/ui/ErrorBox.h"
#include "tests/support/TestEnvironment.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

// A failure that repeats while the error box is open goes to the log, not into a second
// box opened inside the first.
TEST(ErrorBoxTest, FailuresWhileTheBoxIsOpenGoToTheLog)
{
    TTestEnvironment env;
    TOperationLog log(env.Environment);
    TErrorBox box;
    box.SetLog(&log);
    int boxesSeen = 0;
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        ++boxesSeen;
        if (boxesSeen < 3)
            box.Show(QStringLiteral("repeated failure")); // a tick failing again
        else
            modal->close(); // every box that is open, one per tick
    });
    ticks.start(20);
    box.Show(QStringLiteral("first failure"));
    ticks.stop();
    ASSERT_EQ(log.LineCount(), 2);
    EXPECT_TRUE(log.Line(0).endsWith(QStringLiteral("repeated failure")));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

} // namespace
