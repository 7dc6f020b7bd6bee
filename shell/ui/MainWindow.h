#pragma once

#include "shell/MainCore.h"
#include "shell/ui/WatchIcons.h"

#include <QAction>
#include <QMainWindow>
#include <QSystemTrayIcon>

class QLabel;
class QSplitter;
class QTabWidget;
class QToolBar;
class TDataGrid;
class TfmAbout;
class TfmClients;
class TfmHelp;
class TfmOpt;
class TfmTicket;
class TGridFooter;
class TLogView;

// The main window: the view over the core. It carries the commands on a tool bar, in the
// menus and in the tray icon's menu, shows the tables and the operation log on tabs.
class TfmMain : public QMainWindow {
    Q_OBJECT
public:
    TfmMain(TMainCore& core, QWidget* parent = nullptr);
    ~TfmMain() override;

    QAction* actStartWatch = nullptr;
    QAction* actStopWatch = nullptr;
    QAction* actSendNewOrderManual = nullptr;
    QAction* actSendKillOrderManual = nullptr;
    QAction* actKillSwitch = nullptr;
    QAction* actResumeTrading = nullptr;
    QAction* actClients = nullptr;
    QAction* actOpt = nullptr;
    QAction* actConnectToBase = nullptr;
    QAction* actExit = nullptr;
    QAction* actHelpCont = nullptr;
    QAction* actAbout = nullptr;
    QToolBar* ToolBar1 = nullptr;
    QTabWidget* PageControl1 = nullptr;
    QSplitter* Splitter1 = nullptr;
    TDataGrid* grdClientOpenPositions = nullptr;
    TDataGrid* RxDBGrid1 = nullptr; // OpenPositions
    TDataGrid* RxDBGrid2 = nullptr; // ActiveOrders
    TDataGrid* RxDBGrid4 = nullptr; // FilledOrders
    TDataGrid* RxDBGrid3 = nullptr; // CanceledOrders
    TDataGrid* RxDBGrid5 = nullptr; // tParam
    TDataGrid* DBGrid1 = nullptr;   // tOrderNumber
    TDataGrid* grdRiskRefusals = nullptr; // the lines the pre-trade limits refused
    TDataGrid* grdPortfolio = nullptr;
    TGridFooter* grdPortfolioFooter = nullptr;
    TLogView* mLog = nullptr;
    QSystemTrayIcon* RxTrayIcon1 = nullptr;
    TfmAbout* fmAbout = nullptr;
    TfmClients* fmClients = nullptr;
    TfmHelp* fmHelp = nullptr;
    // A window of its own, centred on the screen; the main window deletes it.
    TfmOpt* fmOpt = nullptr;
    // The order ticket the manual commands show before they send.
    TfmTicket* fmTicket = nullptr;
    // The six panels of StatusBar1.
    std::array<QLabel*, 6> StatusPanels{};

    void MinimizeToTray();
    void RestoreFromTray();
    // After the operator changed the tab: the manual order commands are enabled on the
    // pages of active and filled orders while the alert database is connected.
    void PageControl1Change();
    // The page of the manual order commands that is shown.
    TManualPage ShownManualPage() const;

protected:
    void changeEvent(QEvent* event) override;
    // Closing ends the program; while orders are being watched the operator is asked first.
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;

private:
    void CreateActions();
    void CreateToolBar();
    void CreateMenus();
    void CreatePages();
    void CreateTray();
    void CreateStatusBar();
    void ShowStatusPanels(const TStatusTexts& texts);
    void ShowCommandStates();
    void ShowWatchFrame(int frame);
    void actAboutExecute();
    // Asks once (Enter confirms), then runs the core's kill switch.
    void actKillSwitchExecute();
    // A manual command: its ticket first; the send only once the operator confirms it.
    void ShowManualTicket(TManualPage page, bool kill);
    void TicketClosed(int result);
    // The settings dialog cycle.
    void actOptExecute();
    // Refills the portfolio grid's footer from the totals of the portfolio table.
    void UpdatePortfolioSum();
    // The manual's contents; F1 opens its topic 1, the main window.
    void actHelpContExecute();
    void ShowHelpTopic1();

    TMainCore& FCore;
    std::array<QIcon, 4> WatchIcons;
    bool FWasMaximized = false; // before it was minimized to the tray
};
