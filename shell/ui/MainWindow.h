#pragma once

#include "shell/MainCore.h"
#include "shell/ui/WatchIcons.h"

#include <QAction>
#include <QMainWindow>
#include <QSystemTrayIcon>

class QLabel;
class QTabWidget;
class TLogView;

// The main window: the view over the core. It carries the commands on a tool bar, in the
// menus and in the tray icon's menu, shows the tables and the operation log on tabs.
class TfmMain : public QMainWindow {
    Q_OBJECT
public:
    TfmMain(TMainCore& core, QWidget* parent = nullptr);

    QAction* actStartWatch = nullptr;
    QAction* actStopWatch = nullptr;
    QAction* actConnectToBase = nullptr;
    QAction* actExit = nullptr;
    QTabWidget* PageControl1 = nullptr;
    TLogView* mLog = nullptr;
    QSystemTrayIcon* RxTrayIcon1 = nullptr;
    // The six panels of StatusBar1.
    std::array<QLabel*, 6> StatusPanels{};

    void MinimizeToTray();
    void RestoreFromTray();

protected:
    void changeEvent(QEvent* event) override;

private:
    void CreateActions();
    void CreateLayout();
    void CreateTray();
    void CreateStatusBar();
    void ShowStatusPanels(const TStatusTexts& texts);
    void ShowCommandStates();
    void ShowWatchFrame(int frame);

    TMainCore& FCore;
    std::array<QIcon, 4> WatchIcons;
};
