#include "shell/ui/MainWindow.h"

#include "shell/ui/About.h"
#include "shell/ui/Clients.h"
#include "shell/ui/DataGrid.h"
#include "shell/ui/GridColumns.h"
#include "shell/ui/GridFooter.h"
#include "shell/ui/HelpWindow.h"
#include "shell/ui/LogView.h"
#include "shell/ui/OptionsDialog.h"
#include "shell/ui/ProgramIcons.h"
#include "shell/ui/TicketDialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QWindowStateChangeEvent>
#include <QToolBar>

namespace {
const QString kTitle = QStringLiteral("Zovrant v 2.1");
}

TfmMain::TfmMain(TMainCore& core, QWidget* parent)
    : QMainWindow(parent), FCore(core), WatchIcons(MakeWatchIcons())
{
    QApplication::setApplicationDisplayName(QString());
    setWindowTitle(kTitle);
    setWindowIcon(ApplicationIcon());
    resize(992, 712);
    CreateActions();
    CreateToolBar();
    CreateMenus();
    CreatePages();
    CreateTray();
    CreateStatusBar();
    fmAbout = new TfmAbout(this);
    fmClients = new TfmClients(FCore.DatMod().tClients(), FCore.Environment(), this);
    fmHelp = new TfmHelp(this);
    fmOpt = new TfmOpt(FCore, actConnectToBase);
    fmTicket = new TfmTicket(this);
    connect(fmTicket, &QDialog::finished, this, &TfmMain::TicketClosed);

    connect(&FCore, &TMainCore::CommandsChanged, this, &TfmMain::ShowCommandStates);
    connect(&FCore, &TMainCore::ShowWatchIcon, this, &TfmMain::ShowWatchFrame);
    connect(&FCore, &TMainCore::ShowStatusBar, this, &TfmMain::ShowStatusPanels);
    connect(&FCore, &TMainCore::UpdatePortfolioSum, this, &TfmMain::UpdatePortfolioSum);
    ShowCommandStates();
}

TfmMain::~TfmMain()
{
    delete fmOpt;
}

void TfmMain::CreateActions()
{
    auto make = [this](const QString& caption, const QString& hint, const QIcon& icon) {
        auto* action = new QAction(icon, caption, this);
        action->setToolTip(hint);
        return action;
    };
    actStartWatch = make(QStringLiteral("Начать загрузку"), QStringLiteral("Начать загрузку"),
                         ProgramIcon(QStringLiteral("start-watch")));
    actStopWatch = make(QStringLiteral("Остановить загрузку"), QStringLiteral("Остановиь загрузку"),
                        ProgramIcon(QStringLiteral("stop-watch")));
    actSendNewOrderManual = make(QStringLiteral("Отправить ордер в Quik"),
                                 QStringLiteral("Выставить ордер вручную"),
                                 ProgramIcon(QStringLiteral("send-order")));
    actSendKillOrderManual = make(QStringLiteral("actSendKillOrderManual"), QStringLiteral("Отменить ордер"),
                                  ProgramIcon(QStringLiteral("kill-order")));
    actClients = make(QStringLiteral("Клиенты"), QStringLiteral("Клиенты"),
                      ProgramIcon(QStringLiteral("clients")));
    actOpt = make(QStringLiteral("&Настройки..."), QStringLiteral("Настройки"),
                  ProgramIcon(QStringLiteral("settings")));
    actConnectToBase = make(QStringLiteral("Подключиться"), QStringLiteral("Подключиться к базам данных"),
                            ProgramIcon(QStringLiteral("connect")));
    actExit = make(QStringLiteral("&Выход"), QStringLiteral("Выход"),
                   ProgramIcon(QStringLiteral("exit")));
    actHelpCont = make(QStringLiteral("Вызов справки"), QStringLiteral("Справка"),
                       ProgramIcon(QStringLiteral("help")));
    actAbout = make(QStringLiteral("&О программе..."), QStringLiteral("О программе..."), QIcon());
    actKillSwitch = make(QStringLiteral("Аварийная остановка"),
                         QStringLiteral("Аварийная остановка: снять все заявки и блокировать новые ордера"),
                         ProgramIcon(QStringLiteral("kill-switch")));
    actKillSwitch->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_K));
    actResumeTrading = make(QStringLiteral("Возобновить торговлю"), QStringLiteral("Возобновить торговлю"),
                            ProgramIcon(QStringLiteral("resume-trading")));
    actSendNewOrderManual->setEnabled(false);
    actSendKillOrderManual->setEnabled(false);
    actResumeTrading->setEnabled(false);

    connect(actStartWatch, &QAction::triggered, this,
            [this] { FCore.RunGuarded([this] { FCore.Watch().actStartWatchExecute(); }); });
    connect(actStopWatch, &QAction::triggered, this,
            [this] { FCore.RunGuarded([this] { FCore.Watch().actStopWatchExecute(); }); });
    connect(actConnectToBase, &QAction::triggered, this,
            [this] { FCore.RunGuarded([this] { FCore.Watch().actConnectToBaseExecute(); }); });
    connect(actSendNewOrderManual, &QAction::triggered, this, [this] { ShowManualTicket(ShownManualPage(), false); });
    connect(actSendKillOrderManual, &QAction::triggered, this, [this] { ShowManualTicket(ShownManualPage(), true); });
    connect(actKillSwitch, &QAction::triggered, this, &TfmMain::actKillSwitchExecute);
    connect(actResumeTrading, &QAction::triggered, this, [this] { FCore.actResumeTradingExecute(); });
    // The shortcut works wherever the focus is in the window, the tool bar hidden or not.
    addAction(actKillSwitch);
    connect(actClients, &QAction::triggered, this,
            [this] { FCore.RunGuarded([this] { fmClients->actClientsExecute(); }); });
    connect(actAbout, &QAction::triggered, this, &TfmMain::actAboutExecute);
    connect(actOpt, &QAction::triggered, this, &TfmMain::actOptExecute);
    connect(actHelpCont, &QAction::triggered, this, &TfmMain::actHelpContExecute);
    auto* helpKey = new QAction(this);
    helpKey->setShortcut(QKeySequence(Qt::Key_F1));
    helpKey->setShortcutContext(Qt::WindowShortcut);
    connect(helpKey, &QAction::triggered, this, &TfmMain::ShowHelpTopic1);
    addAction(helpKey);
    connect(actExit, &QAction::triggered, this, &QWidget::close);
}

void TfmMain::CreateToolBar()
{
    ToolBar1 = addToolBar(QStringLiteral("ToolBar1"));
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setIconSize(QSize(32, 32));
    ToolBar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
    for (QAction* action : {actStartWatch, actStopWatch, static_cast<QAction*>(nullptr), actSendNewOrderManual,
                            actSendKillOrderManual, static_cast<QAction*>(nullptr), actKillSwitch,
                            static_cast<QAction*>(nullptr), actClients, actOpt,
                            actConnectToBase, static_cast<QAction*>(nullptr), actExit, actHelpCont}) {
        if (action)
            ToolBar1->addAction(action);
        else
            ToolBar1->addSeparator();
    }
}

void TfmMain::CreateMenus()
{
    QMenu* file = menuBar()->addMenu(QStringLiteral("&Файл"));
    file->setObjectName(QStringLiteral("mnFile"));
    file->addAction(actStartWatch);
    file->addAction(actStopWatch);
    file->addSeparator();
    file->addAction(actKillSwitch);
    file->addAction(actResumeTrading);
    file->addSeparator();
    file->addAction(actExit);

    QMenu* settings = menuBar()->addMenu(QStringLiteral("&Настройки"));
    settings->setObjectName(QStringLiteral("mnSettings"));
    // The clients command under its own menu caption; it stays the same command.
    QAction* clientsItem = settings->addAction(actClients->icon(), QStringLiteral("Клиенты..."));
    clientsItem->setToolTip(actClients->toolTip());
    connect(clientsItem, &QAction::triggered, actClients, &QAction::trigger);
    connect(actClients, &QAction::enabledChanged, clientsItem, &QAction::setEnabled);
    settings->addAction(actOpt);

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Справка"));
    help->setObjectName(QStringLiteral("mnHelp"));
    help->addAction(actHelpCont);
    help->addAction(actAbout);
}

void TfmMain::CreatePages()
{
    TDatMod& data = FCore.DatMod();
    TEnvironment& environment = FCore.Environment();
    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setDocumentMode(true);
    auto addGrid = [&](TTable& table, QList<TGridColumn> columns, const QString& name, const QString& caption) {
        auto* grid = new TDataGrid(table, std::move(columns), environment, PageControl1);
        grid->setObjectName(name);
        PageControl1->addTab(grid, caption);
        return grid;
    };
    grdClientOpenPositions = addGrid(data.tClientOpenPositions(), grdClientOpenPositionsColumns(),
                                     QStringLiteral("grdClientOpenPositions"),
                                     QStringLiteral("Открытые позиции (QUIK)"));
    grdClientOpenPositions->AllowEditing();
    RxDBGrid1 = addGrid(data.tOpenPisitions(), OpenPositionsColumns(), QStringLiteral("RxDBGrid1"),
                        QStringLiteral("Открытые позиции (Omega)"));
    RxDBGrid2 = addGrid(data.tActiveOrders(), ActiveOrdersColumns(), QStringLiteral("RxDBGrid2"),
                        QStringLiteral("Активные ордера"));
    RxDBGrid4 = addGrid(data.tFilledOrders(), FilledOrdersColumns(), QStringLiteral("RxDBGrid4"),
                        QStringLiteral("Исполненные ордера"));
    RxDBGrid4->AllowTitleSort();
    RxDBGrid3 = addGrid(data.tCanceledOrders(), CanceledOrdersColumns(), QStringLiteral("RxDBGrid3"),
                        QStringLiteral("Снятые ордера"));
    RxDBGrid5 = addGrid(data.tParam(), QuotesColumns(), QStringLiteral("RxDBGrid5"), QStringLiteral("Котировки"));
    DBGrid1 = addGrid(data.tOrderNumber(), OrderNumberColumns(), QStringLiteral("DBGrid1"),
                      QStringLiteral("Отчет по транзакциям"));
    mLog = new TLogView(FCore.Log().Lines(), PageControl1);
    mLog->setObjectName(QStringLiteral("mLog"));
    PageControl1->addTab(mLog, QStringLiteral("Журнал"));
    grdRiskRefusals = addGrid(data.tRiskRefusals(), grdRiskRefusalsColumns(), QStringLiteral("grdRiskRefusals"),
                              QStringLiteral("Отказы"));
    PageControl1->setCurrentIndex(0);
    connect(PageControl1, &QTabWidget::currentChanged, this, &TfmMain::PageControl1Change);

    grdPortfolio = new TDataGrid(data.tPortfolio(), PortfolioColumns(), environment, this);
    grdPortfolio->setObjectName(QStringLiteral("grdPortfolio"));
    grdPortfolio->setAlternatingRowColors(true);
    QPalette palette = grdPortfolio->palette();
    palette.setColor(QPalette::AlternateBase, QColor(240, 251, 255));
    grdPortfolio->setPalette(palette);

    Splitter1 = new QSplitter(Qt::Vertical, this);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->addWidget(PageControl1);
    auto* portfolio = new QWidget(this);
    auto* portfolioLayout = new QVBoxLayout(portfolio);
    portfolioLayout->setContentsMargins(0, 0, 0, 0);
    portfolioLayout->setSpacing(0);
    grdPortfolio->setParent(portfolio);
    grdPortfolioFooter = new TGridFooter(*grdPortfolio, portfolio);
    grdPortfolioFooter->setObjectName(QStringLiteral("grdPortfolioFooter"));
    portfolioLayout->addWidget(grdPortfolio);
    portfolioLayout->addWidget(grdPortfolioFooter);
    Splitter1->addWidget(portfolio);
    Splitter1->setStretchFactor(0, 1);
    Splitter1->setStretchFactor(1, 0);
    Splitter1->setSizes({600, 72 + grdPortfolioFooter->height()});
    setCentralWidget(Splitter1);
}

void TfmMain::CreateTray()
{
    RxTrayIcon1 = new QSystemTrayIcon(ApplicationIcon(), this);
    auto* menu = new QMenu(this);
    menu->addAction(actStartWatch);
    menu->addAction(actStopWatch);
    menu->addSeparator();
    menu->addAction(actKillSwitch);
    menu->addAction(actResumeTrading);
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
        StatusPanels[i]->setFrameShape(QFrame::Panel);
        StatusPanels[i]->setFrameShadow(QFrame::Sunken);
        statusBar()->addWidget(StatusPanels[i]);
    }
}

bool TfmMain::event(QEvent* event)
{
    // A command's hint shows beside its button or menu item, never in the status bar: a
    // status message there would hide the six panels while the mouse rests on a button.
    if (event->type() == QEvent::StatusTip) {
        event->accept();
        return true;
    }
    return QMainWindow::event(event);
}

void TfmMain::ShowStatusPanels(const TStatusTexts& texts)
{
    StatusPanels[0]->setText(texts.Omega);
    StatusPanels[1]->setText(texts.Quik);
    StatusPanels[2]->setText(texts.ServerLink);
    StatusPanels[3]->setText(texts.Transactions);
    if (texts.Mode)
        StatusPanels[4]->setText(*texts.Mode);
    StatusPanels[5]->setText(texts.Queue);
}

void TfmMain::ShowCommandStates()
{
    actStartWatch->setEnabled(FCore.actStartWatchEnabled());
    actStopWatch->setEnabled(FCore.actStopWatchEnabled());
    const bool engaged = FCore.actResumeTradingEnabled();
    actResumeTrading->setEnabled(engaged);
    // The block shows in the title, on the task bar too, until trading resumes.
    setWindowTitle(engaged ? kTitle + QStringLiteral(" — АВАРИЙНАЯ ОСТАНОВКА: новые ордера блокируются") : kTitle);
}

void TfmMain::actKillSwitchExecute()
{
    QMessageBox box(QMessageBox::Warning, kTitle,
                    QStringLiteral("Аварийная остановка: остановить загрузку ордеров, снять все действующие заявки "
                                   "и блокировать новые ордера до команды «Возобновить торговлю»?"),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setObjectName(QStringLiteral("KillSwitchConfirmation"));
    // In a hurry the operator presses Enter: that confirms.
    box.setDefaultButton(QMessageBox::Yes);
    if (box.exec() != QMessageBox::Yes)
        return;
    FCore.actKillSwitchExecute();
}

TManualPage TfmMain::ShownManualPage() const
{
    QWidget* page = PageControl1->currentWidget();
    if (page == RxDBGrid2)
        return TManualPage::ActiveOrders;
    if (page == RxDBGrid4)
        return TManualPage::FilledOrders;
    return TManualPage::Other;
}

void TfmMain::PageControl1Change()
{
    const bool enabled = ShownManualPage() != TManualPage::Other && FCore.DatMod().conOmega().Connected();
    actSendNewOrderManual->setEnabled(enabled);
    actSendKillOrderManual->setEnabled(actSendNewOrderManual->isEnabled());
}

void TfmMain::ShowManualTicket(TManualPage page, bool kill)
{
    // One ticket at a time: the open one is the operator's to answer first.
    if (fmTicket->isVisible())
        return;
    FCore.RunGuarded([this, page, kill] {
        TManualOrders& manual = FCore.ManualOrders();
        const std::optional<TManualTicket> ticket =
            kill ? manual.actSendKillOrderManualExecute(page) : manual.actSendNewOrderManualExecute(page);
        if (ticket)
            fmTicket->ShowTicket(*ticket);
    });
}

void TfmMain::TicketClosed(int result)
{
    if (!fmTicket->Ticket())
        return;
    // A copy: the send may run a message loop in which the dialog is shown anew.
    const TManualTicket ticket = *fmTicket->Ticket();
    FCore.RunGuarded([this, result, &ticket] {
        if (result == QDialog::Accepted)
            FCore.ManualOrders().SendTicket(ticket);
        else
            FCore.ManualOrders().TicketCancelled(ticket);
    });
}

void TfmMain::closeEvent(QCloseEvent* event)
{
    if (!FCore.QueryExit()) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void TfmMain::actAboutExecute()
{
    fmAbout->ShowCounters(FCore.Writer().TransCounter(), FCore.ResultReader().TransSentCount(),
                          FCore.ResultReader().TransDoneCount());
}

void TfmMain::actOptExecute()
{
    fmOpt->Execute();
}

void TfmMain::UpdatePortfolioSum()
{
    // Called from the table tick and the connection; a failed totals query is reported
    // here, as the signal must not carry an exception back into the core.
    FCore.RunGuarded([this] {
        TDatMod& data = FCore.DatMod();
        if (!data.conQuikData().Connected())
            return;
        TQuery& totals = data.qPortfolioSum();
        totals.Close();
        totals.Open();
        const TRegional& regional = FCore.Environment().Regional;
        auto number = [&](const QString& field, int decimals) {
            return FormatNumber(totals.FieldByName(field).AsFloat(), decimals, regional);
        };
        grdPortfolioFooter->SetText(0, QString::number(totals.FieldByName(QStringLiteral("SumId_client")).AsInteger()));
        grdPortfolioFooter->SetText(1, number(QStringLiteral("SumOpenAssets"), 2));
        grdPortfolioFooter->SetText(2, number(QStringLiteral("SumShorts"), 2));
        grdPortfolioFooter->SetText(3, number(QStringLiteral("Sumlongs"), 2));
        grdPortfolioFooter->SetText(4, number(QStringLiteral("SumCurAssets"), 2));
        grdPortfolioFooter->SetText(5, number(QStringLiteral("SumOpenAllAssets"), 2));
        grdPortfolioFooter->SetText(6, number(QStringLiteral("SumCurAllAssets"), 2));
        grdPortfolioFooter->SetText(7, number(QStringLiteral("AvgMargin"), 0));
        // Column 8, the leverage, has no total.
        grdPortfolioFooter->SetText(9, number(QStringLiteral("AvgCurLeverage"), 2));
        grdPortfolioFooter->SetText(10, number(QStringLiteral("AvgChange"), 2));
        grdPortfolioFooter->SetText(11, number(QStringLiteral("SumProfitLoss"), 2));
    });
}

void TfmMain::actHelpContExecute()
{
    fmHelp->ShowTopic(0);
}

void TfmMain::ShowHelpTopic1()
{
    fmHelp->ShowTopic(1);
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
    // Back as it was before the minimize: maximized if it was.
    if (FWasMaximized)
        showMaximized();
    else
        showNormal();
    raise();
    activateWindow();
}

void TfmMain::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized()) {
        const auto* change = static_cast<QWindowStateChangeEvent*>(event);
        FWasMaximized = ((change->oldState() | windowState()) & Qt::WindowMaximized) != 0;
        MinimizeToTray();
    }
}
