#include "shell/MainCore.h"
#include "shell/ui/MainWindow.h"
#include "shell/ui/ProgramIcons.h"
#include "shell/ui/WatchIcons.h"
#include "tests/support/TestDatabases.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QToolBar>
#include <gtest/gtest.h>

namespace {

// The icon drawn 32 x 32 at the given screen density, as an image to compare.
QImage Drawn(const QIcon& icon, qreal density = 1)
{
    return icon.pixmap(QSize(32, 32), density).toImage().convertToFormat(QImage::Format_ARGB32);
}

// Whether anything was drawn: some pixel is not fully transparent.
bool HasPaint(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) != 0)
                return true;
    return false;
}

// True when the icon is the named picture of the program's resources: drawn the same at
// 32 x 32 as the picture itself.
bool IsProgramPicture(const QIcon& icon, const QString& name)
{
    return !icon.isNull() && Drawn(icon) == Drawn(ProgramIcon(name));
}

TEST(ProgramIconsTest, EveryPictureIsInTheResourcesAndDrawsSharpAtAnyDensity)
{
    const QString names[] = {
        QStringLiteral("zovrant"), QStringLiteral("start-watch"), QStringLiteral("stop-watch"),
        QStringLiteral("send-order"), QStringLiteral("kill-order"), QStringLiteral("clients"),
        QStringLiteral("settings"), QStringLiteral("connect"), QStringLiteral("exit"),
        QStringLiteral("help"), QStringLiteral("watch-0"), QStringLiteral("watch-1"),
        QStringLiteral("watch-2"), QStringLiteral("watch-3"),
    };
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_TRUE(QFile::exists(ProgramIconPath(name)));
        const QIcon icon = ProgramIcon(name);
        ASSERT_FALSE(icon.isNull());
        for (const qreal density : {1.0, 1.5, 2.0, 3.0}) {
            // Drawn for the screen's pixels, not a 32-pixel picture scaled up.
            const QPixmap pixmap = icon.pixmap(QSize(32, 32), density);
            EXPECT_EQ(pixmap.size(), QSize(32, 32) * density) << density;
            EXPECT_TRUE(HasPaint(pixmap.toImage())) << density;
        }
    }
    // Every picture is its own: no two of them draw alike.
    for (const QString& a : names) {
        for (const QString& b : names) {
            if (a < b) {
                EXPECT_NE(Drawn(ProgramIcon(a)), Drawn(ProgramIcon(b))) << a.toStdString() << " " << b.toStdString();
            }
        }
    }
    EXPECT_TRUE(ProgramIcon(QStringLiteral("no-such-picture")).isNull());
}

TEST(ProgramIconsTest, WatchFramesAreTheFourTurningBarPicturesInOrder)
{
    const std::array<QIcon, 4> frames = MakeWatchIcons();
    for (int frame = 0; frame < 4; ++frame)
        EXPECT_TRUE(IsProgramPicture(frames[frame], QStringLiteral("watch-%1").arg(frame))) << frame;
}

// The real main window over the program's core.
class MainWindowIconsTest : public ::testing::Test {
protected:
    TTestEnvironment Env;
    TTestDatabases Bases;
    QTemporaryDir ProgramDir;
    TOperationLog Log{Env.Environment};
    std::unique_ptr<TMainCore> Core;
    std::unique_ptr<TfmMain> Window;

    void SetUp() override
    {
        Log.OpenFile(Bases.FilePath(QStringLiteral("Zovrant.log")));
        WriteWholeFile(QDir(ProgramDir.path()).filePath(QStringLiteral("Zovrant.ini")),
                       "[Quik]\r\nQuikConnectTimeOut=0\r\n");
        Core = std::make_unique<TMainCore>(Env.Environment, Log, ProgramDir.path() + QLatin1Char('/'));
        PointAtTestFiles(Core->Settings(), Bases);
        Window = std::make_unique<TfmMain>(*Core);
        Window->show();
    }

    void TearDown() override
    {
        Window.reset();
        Core.reset();
    }
};

TEST_F(MainWindowIconsTest, EachCommandShowsItsOwnPictureOnTheToolBarAndInTheMenus)
{
    struct TCase {
        QAction* Action;
        const char* Picture;
    };
    const TCase cases[] = {
        {Window->actStartWatch, "start-watch"},   {Window->actStopWatch, "stop-watch"},
        {Window->actSendNewOrderManual, "send-order"}, {Window->actSendKillOrderManual, "kill-order"},
        {Window->actClients, "clients"},         {Window->actOpt, "settings"},
        {Window->actConnectToBase, "connect"},   {Window->actExit, "exit"},
        {Window->actHelpCont, "help"},           {Window->actKillSwitch, "kill-switch"},
        {Window->actResumeTrading, "resume-trading"},
    };
    for (const TCase& c : cases)
        EXPECT_TRUE(IsProgramPicture(c.Action->icon(), QLatin1String(c.Picture))) << c.Picture;

    // Whatever the tool bar and the menus show comes from the same pictures: every entry
    // but a separator and the About command (which has none) carries one of them.
    QList<QAction*> shown = Window->ToolBar1->actions();
    for (QAction* menu : Window->menuBar()->actions())
        shown += menu->menu()->actions();
    for (QAction* action : shown) {
        if (action->isSeparator() || action == Window->actAbout)
            continue;
        bool ours = false;
        for (const TCase& c : cases)
            ours = ours || IsProgramPicture(action->icon(), QLatin1String(c.Picture));
        EXPECT_TRUE(ours) << action->text().toStdString();
    }
}

TEST_F(MainWindowIconsTest, WindowAndTrayStartWithTheProgramsIconAndThenTurnTheBar)
{
    EXPECT_TRUE(IsProgramPicture(Window->windowIcon(), QStringLiteral("zovrant")));
    EXPECT_TRUE(IsProgramPicture(Window->RxTrayIcon1->icon(), QStringLiteral("zovrant")));
    for (const int frame : {1, 2, 3, 0}) {
        emit Core->ShowWatchIcon(frame);
        EXPECT_TRUE(IsProgramPicture(Window->windowIcon(), QStringLiteral("watch-%1").arg(frame))) << frame;
        EXPECT_TRUE(IsProgramPicture(Window->RxTrayIcon1->icon(), QStringLiteral("watch-%1").arg(frame))) << frame;
    }
}

} // namespace
