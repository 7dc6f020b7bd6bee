#include "shell/ui/MainWindow.h"

#include "shell/ui/LogView.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QStatusBar>
#include <QMenu>
#include <QMenuBar>
#include <QStyle>
#include <QTabWidget>
#include <QToolBar>
#include <QWindowStateChangeEvent>

namespace {
const QString kTitle = QStringLiteral("Zovrant v 2.1");
}

TfmMain::TfmMain(TMainCore& core, QWidget* parent)
    : QMainWindow(parent), FCore(core), WatchIcons(MakeWatchIcons())
{
    QApplication::setApplicationDisplayName(QString());
    setWindowTitle(kTitle);
    setWindowIcon(WatchIcons[0]);
    resize(992, 712);
    CreateActions();
    CreateLayout();
    CreateTray();
    CreateStatusBar();

    connect(&FCore, &TMainCore::CommandsChanged, this, &TfmMain::ShowCommandStates);
    connect(&FCore, &TMainCore::ShowWatchIcon, this, &TfmMain::ShowWatchFrame);
    connect(&FCore, &TMainCore::ShowStatusBar, this, &TfmMain::ShowStatusPanels);
    ShowCommandStates();
}

void TfmMain::CreateActions()
{
    QStyle* style = QApplication::style();
    auto make = [this](const QString& caption, const QString& hint, const QIcon& icon) {
        auto* action = new QAction(icon, caption, this);
        action->setToolTip(hint);
        action->setStatusTip(hint);
        return action;
    };
    actStartWatch = make(QStringLiteral("Начать загрузку"), QStringLiteral("Начать загрузку"),
                         style->standardIcon(QStyle::SP_MediaPlay));
    actStopWatch = make(QStringLiteral("Остановить загрузку"), QStringLiteral("Остановиь загрузку"),
                        style->standardIcon(QStyle::SP_MediaStop));
    actConnectToBase = make(QStringLiteral("Подключиться"),
                            QStringLiteral("Подключиться к базам данных"),
                            style->standardIcon(QStyle::SP_DriveNetIcon));
    actExit = make(QStringLiteral("&Выход"), QStringLiteral("Выход"),
                   style->standardIcon(QStyle::SP_DialogCloseButton));

    connect(actStartWatch, &QAction::triggered, this,
            [this] { FCore.RunGuarded([this] { FCore.Watch().actStartWatchExecute(); }); });
    connect(actStopWatch, &QAction::triggered, this,
            [this] { FCore.RunGuarded([this] { FCore.Watch().actStopWatchExecute(); }); });
    connect(actConnectToBase, &QAction::triggered, this,
            [this] { FCore.RunGuarded([this] { FCore.Watch().actConnectToBaseExecute(); }); });
    connect(actExit, &QAction::triggered, this, &QWidget::close);
}

void TfmMain::CreateLayout()
{
    auto* toolBar = addToolBar(QStringLiteral("ToolBar1"));
    toolBar->setObjectName(QStringLiteral("ToolBar1"));
    toolBar->setMovable(false);
    toolBar->setIconSize(QSize(32, 32));
    toolBar->addAction(actStartWatch);
    toolBar->addAction(actStopWatch);
    toolBar->addSeparator();
    toolBar->addAction(actConnectToBase);
    toolBar->addSeparator();
    toolBar->addAction(actExit);

    QMenu* file = menuBar()->addMenu(QStringLiteral("&Файл"));
    file->addAction(actStartWatch);
    file->addAction(actStopWatch);
    file->addSeparator();
    file->addAction(actExit);

    PageControl1 = new QTabWidget(this);
    mLog = new TLogView(FCore.Log().Lines(), PageControl1);
    mLog->setObjectName(QStringLiteral("mLog"));
    PageControl1->addTab(mLog, QStringLiteral("Журнал"));
    setCentralWidget(PageControl1);
}

void TfmMain::CreateTray()
{
    RxTrayIcon1 = new QSystemTrayIcon(WatchIcons[0], this);
    auto* menu = new QMenu(this);
    menu->addAction(actStartWatch);
    menu->addAction(actStopWatch);
    menu->addSeparator();
    menu->addAction(QStringLiteral("Восстановить"), this, [this] { RestoreFromTray(); });
    menu->addAction(QStringLiteral("Выход"), this, &QWidget::close);
    RxTrayIcon1->setContextMenu(menu);
    if (QSystemTrayIcon::isSystemTrayAvailable())
        RxTrayIcon1->show();
}

void TfmMain::CreateStatusBar()
{
    const int widths[6] = {150, 140, 150, 300, 50, 50};
    const QString texts[6] = {QStringLiteral("Подключение к Omega: Нет"),
                              QStringLiteral("Подключение к Quik: Нет"),
                              QStringLiteral("Связь Quik с сервером: Н/Д"),
                              QStringLiteral("Отправлено транзакций: 0/0/0"),
                              QStringLiteral("SINGLE"), QString()};
    for (int i = 0; i < 6; ++i) {
        StatusPanels[i] = new QLabel(texts[i], this);
        StatusPanels[i]->setMinimumWidth(widths[i]);
        statusBar()->addWidget(StatusPanels[i]);
    }
}

void TfmMain::ShowStatusPanels(const TStatusTexts& texts)
{
    StatusPanels[0]->setText(texts.Omega);
    StatusPanels[1]->setText(texts.Quik);
    StatusPanels[2]->setText(texts.ServerLink);
    StatusPanels[3]->setText(texts.Transactions);
    if (texts.Mode)
        StatusPanels[4]->setText(*texts.Mode);
}

void TfmMain::ShowCommandStates()
{
    actStartWatch->setEnabled(FCore.actStartWatchEnabled());
    actStopWatch->setEnabled(FCore.actStopWatchEnabled());
}

void TfmMain::ShowWatchFrame(int frame)
{
    setWindowIcon(WatchIcons[frame]);
    RxTrayIcon1->setIcon(WatchIcons[frame]);
}

void TfmMain::MinimizeToTray()
{
    // Without a tray to come back from, hiding would lose the window: stay minimized.
    if (QSystemTrayIcon::isSystemTrayAvailable())
        hide();
}

void TfmMain::RestoreFromTray()
{
    showNormal();
    raise();
    activateWindow();
}

void TfmMain::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized())
        MinimizeToTray();
}
