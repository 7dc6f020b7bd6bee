#include "base/CodePage.h"
#include "shell/MainCore.h"
#include "shell/ui/About.h"
#include "shell/ui/DataGrid.h"
#include "shell/ui/GridFooter.h"
#include "shell/ui/HelpWindow.h"
#include "shell/ui/LogView.h"
#include "shell/ui/MainWindow.h"
#include "shell/ui/TicketDialog.h"
#include "tests/support/OperatorKeys.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/TestDatabases.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QTimer>
#include <functional>
#include <QTextBrowser>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTabWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QAbstractItemModelTester>
#include <QApplication>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

// The real main window over the program's core, two test databases and a terminal folder.
// Ticks and commands are called as the timers and the operator would call them.
class MainWindowTest : public ::testing::Test {
protected:
    TTestEnvironment Env;
    TTestDatabases Bases;
    QTemporaryDir ProgramDir;
    TOperationLog Log{Env.Environment};
    std::unique_ptr<TMainCore> Core;
    std::unique_ptr<TfmMain> Window;
    QStringList Questions;
    bool Answer = true;

    void SetUp() override
    {
        QDir(Bases.Folder()).mkdir(QStringLiteral("quik"));
        Log.OpenFile(Bases.FilePath(QStringLiteral("Zovrant.log")));
        Env.Environment.Regional.DecimalSeparator = QLatin1Char(',');
        Env.Environment.Confirm = [this](const QString& text) {
            Questions << text;
            return Answer;
        };
        WriteWholeFile(QDir(ProgramDir.path()).filePath(QStringLiteral("Zovrant.ini")),
                       "[Quik]\r\nQuikConnectTimeOut=0\r\n");
        Core = std::make_unique<TMainCore>(Env.Environment, Log, ProgramDir.path() + QLatin1Char('/'));
        TSettings& s = Core->Settings();
        PointAtTestFiles(s, Bases);
        Window = std::make_unique<TfmMain>(*Core);
        Window->resize(992, 712);
        Window->show();
    }

    void TearDown() override
    {
        Window.reset();
        Core.reset();
    }

    void Connect() { Core->Watch().actConnectToBaseExecute(); }
    void Tick() { Core->Watch().timTable(); }

    qint64 AddAlert(const QString& table, int id, const QVariantMap& extra = {})
    {
        QVariantMap values{{QStringLiteral("ID"), id}, {QStringLiteral("Symbol"), QStringLiteral("SBER")},
                           {QStringLiteral("OrderType"), QStringLiteral("LE")},
                           {QStringLiteral("Order"), QStringLiteral("Buy 10 at 250.50 Limit")},
                           {QStringLiteral("System"), QStringLiteral("Trend")},
                           {QStringLiteral("Workspace"), QStringLiteral("Demo.wsp")}};
        for (auto it = extra.begin(); it != extra.end(); ++it)
            values.insert(it.key(), it.value());
        return Bases.Insert(Bases.AlertsPath(), table, values);
    }
    qint64 AddBridge(const QString& table, const QVariantMap& values)
    {
        return Bases.Insert(Bases.BridgePath(), table, values);
    }

    static QString Cell(TDataGrid* grid, int row, int column)
    {
        return grid->model()->index(row, column).data().toString();
    }
    static QStringList ColumnTexts(TDataGrid* grid, int column)
    {
        QStringList texts;
        for (int row = 0; row < grid->model()->rowCount(); ++row)
            texts << Cell(grid, row, column);
        return texts;
    }
    static QStringList Titles(TDataGrid* grid)
    {
        QStringList titles;
        for (int i = 0; i < grid->model()->columnCount(); ++i)
            titles << grid->model()->headerData(i, Qt::Horizontal).toString();
        return titles;
    }
    void ClickTitle(TDataGrid* grid, int column)
    {
        QHeaderView* header = grid->horizontalHeader();
        const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                        header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    }
    QStringList TriLines() const
    {
        return FromCp1251(ReadWholeFile(Core->Settings().edtTRI)).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    }
};

// A line the pre-trade limits refuse appears in the tab of refusals once the dispatch
// returns to the event loop, the newest refusal first.
TEST_F(MainWindowTest, RefusalsTabShowsTheRefusedLinesNewestFirst)
{
    Bases.SeedTwoClients();
    Bases.Exec(Bases.BridgePath(), QStringLiteral("UPDATE tSecCode SET MaxLots = 5"));
    Core->Settings().rgpSingleMulti = 1;
    Core->Settings().rgpPositionSize = 0;
    Connect();
    TDataGrid* grid = Window->grdRiskRefusals;
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(Window->PageControl1->indexOf(grid), 8);
    EXPECT_EQ(grid->model()->rowCount(), 0);

    TOmegaOrder order;
    order.Id = 41;
    order.Symbol = QStringLiteral("SBER");
    order.OrderType = QStringLiteral("LE");
    order.Order = QStringLiteral("Buy 10 at 250.50 Limit");
    order.System = QStringLiteral("Trend");
    order.Workspace = QStringLiteral("Demo.wsp");
    Core->Dispatcher().ProcessOrder(order, &TOrderBuilder::NewOrder, true);
    Env.Clock = Env.Clock.addSecs(1);
    order.Id = 42;
    order.Order = QStringLiteral("Buy 7 at 250.50 Limit");
    Core->Dispatcher().ProcessOrder(order, &TOrderBuilder::NewOrder, true);
    EXPECT_TRUE(TriLines().isEmpty());
    QTest::qWait(0);
    QCoreApplication::processEvents();
    ASSERT_EQ(grid->model()->rowCount(), 4);
    const int orderColumn = int(Titles(grid).indexOf(QStringLiteral("№ ордера")));
    const int codeColumn = int(Titles(grid).indexOf(QStringLiteral("Код клиента")));
    const int ruleColumn = int(Titles(grid).indexOf(QStringLiteral("Лимит")));
    const int valueColumn = int(Titles(grid).indexOf(QStringLiteral("Значение")));
    EXPECT_EQ(ColumnTexts(grid, orderColumn),
              (QStringList{QStringLiteral("42"), QStringLiteral("42"), QStringLiteral("41"), QStringLiteral("41")}));
    EXPECT_EQ(ColumnTexts(grid, codeColumn),
              (QStringList{QStringLiteral("C1"), QStringLiteral("C2"), QStringLiteral("C1"), QStringLiteral("C2")}));
    EXPECT_EQ(Cell(grid, 0, ruleColumn), QStringLiteral("MaxLots"));
    EXPECT_EQ(Cell(grid, 0, valueColumn), QStringLiteral("7"));
}

TEST_F(MainWindowTest, EveryTabShowsItsTableRowsAfterATick)
{
    const QStringList captions{QStringLiteral("Открытые позиции (QUIK)"), QStringLiteral("Открытые позиции (Omega)"),
                               QStringLiteral("Активные ордера"), QStringLiteral("Исполненные ордера"),
                               QStringLiteral("Снятые ордера"), QStringLiteral("Котировки"),
                               QStringLiteral("Отчет по транзакциям"), QStringLiteral("Журнал"),
                               QStringLiteral("Отказы")};
    ASSERT_EQ(Window->PageControl1->count(), captions.size());
    for (int i = 0; i < captions.size(); ++i)
        EXPECT_EQ(Window->PageControl1->tabText(i), captions[i]);
    EXPECT_EQ(Window->PageControl1->currentIndex(), 0);

    AddBridge(QStringLiteral("tClientOpenPositions"),
              {{QStringLiteral("code"), QStringLiteral("C1")}, {QStringLiteral("symbol"), QStringLiteral("SBER")},
               {QStringLiteral("Position"), QStringLiteral("Long")}, {QStringLiteral("quantity"), 3}});
    Connect();
    // The grids are empty until their tables have rows; every one keeps its columns.
    EXPECT_EQ(Window->RxDBGrid5->model()->rowCount(), 0);
    EXPECT_EQ(Window->RxDBGrid5->model()->columnCount(), 21);

    Bases.Insert(Bases.AlertsPath(), QStringLiteral("OpenPositions"),
                 {{QStringLiteral("ID"), 1}, {QStringLiteral("Symbol"), QStringLiteral("SBER")},
                  {QStringLiteral("Entry Price"), 250.5}});
    AddAlert(QStringLiteral("ActiveOrders"), 2,
             {{QStringLiteral("Last"), 1234567.5},
              {QStringLiteral("Time Placed"), QDateTime(QDate(2026, 12, 10), QTime(9, 5, 7))}});
    AddAlert(QStringLiteral("FilledOrders"), 3, {{QStringLiteral("Fill Price"), 251.25}});
    AddAlert(QStringLiteral("CanceledOrders"), 4, {{QStringLiteral("Canceled Number"), QStringLiteral("77")}});
    AddBridge(QStringLiteral("tParam"), {{QStringLiteral("code"), QStringLiteral("SBER")},
                                         {QStringLiteral("stock"), QStringLiteral("Сбербанк")},
                                         {QStringLiteral("bid"), 1234.5}, {QStringLiteral("biddepth"), 1500000},
                                         {QStringLiteral("valtoday"), -9876543.219}, {QStringLiteral("lastchange"), 1.5}});
    AddBridge(QStringLiteral("tOrderNumber"), {{QStringLiteral("code"), QStringLiteral("C1")},
                                               {QStringLiteral("trans_id"), 7}, {QStringLiteral("status"), 3}});
    AddBridge(QStringLiteral("tPortfolio"), {{QStringLiteral("id_client"), QStringLiteral("C1")},
                                             {QStringLiteral("openassets"), 1000000.0}, {QStringLiteral("margin"), 0.5}});
    Tick();

    struct TExpected {
        TDataGrid* Grid;
        QString FirstTitle;
        QString LastTitle;
        int Column; // a cell of the one row, as shown
        QString Text;
    };
    const TExpected expected[] = {
        {Window->grdClientOpenPositions, QStringLiteral("Код клиента"), QStringLiteral("Интервал"), 3, QStringLiteral("3")},
        {Window->RxDBGrid1, QStringLiteral("ID позиции"), QStringLiteral("Номер заявки"), 4, QStringLiteral("250.5")},
        {Window->RxDBGrid2, QStringLiteral("ID ордера"), QStringLiteral("Номер позиции"), 4, QStringLiteral("1 234 567,500")},
        {Window->RxDBGrid4, QStringLiteral("ID ордера"), QStringLiteral("Номер позиции"), 4, QStringLiteral("251.25")},
        {Window->RxDBGrid3, QStringLiteral("ID ордера"), QStringLiteral("Номер заявки на отмену"), 12, QStringLiteral("77")},
        {Window->RxDBGrid5, QStringLiteral("Бумага"), QStringLiteral("Код"), 1, QStringLiteral("1 234,500")},
        {Window->DBGrid1, QStringLiteral("Код клиента"), QStringLiteral("Статус"), 1, QStringLiteral("7")},
        {Window->grdPortfolio, QStringLiteral("Код"), QStringLiteral("Прибыль/убыток"), 1, QStringLiteral("1 000 000,00")},
    };
    for (const TExpected& e : expected) {
        SCOPED_TRACE(e.Grid->objectName().toStdString());
        ASSERT_EQ(e.Grid->model()->rowCount(), 1);
        const QStringList titles = Titles(e.Grid);
        EXPECT_EQ(titles.first(), e.FirstTitle);
        EXPECT_EQ(titles.last(), e.LastTitle);
        EXPECT_EQ(Cell(e.Grid, 0, e.Column), e.Text);
        EXPECT_FALSE(e.Grid->verticalHeader()->isHidden()); // the row indicator
        EXPECT_EQ(e.Grid->horizontalHeader()->sectionResizeMode(0), QHeaderView::Interactive);
    }
    // The quotes' formats: grouped counts, two-decimal amounts, a column without a format.
    EXPECT_EQ(Cell(Window->RxDBGrid5, 0, 0), QStringLiteral("Сбербанк"));
    EXPECT_EQ(Cell(Window->RxDBGrid5, 0, 2), QStringLiteral("1 500 000"));
    EXPECT_EQ(Cell(Window->RxDBGrid5, 0, 11), QStringLiteral("-9 876 543,22"));
    EXPECT_EQ(Cell(Window->RxDBGrid5, 0, 9), QStringLiteral("1.5"));
    EXPECT_EQ(Cell(Window->RxDBGrid2, 0, 6), QStringLiteral("10.12.2026 9:05:07")); // regional date and time
    EXPECT_EQ(Cell(Window->grdPortfolio, 0, 7), QStringLiteral("0,50")); // "#0.00"
    EXPECT_EQ(Cell(Window->grdPortfolio, 0, 8), QString());              // no leverage given
}

TEST_F(MainWindowTest, TitleClickSortsFilledOrdersAndATickKeepsRowWidthsScrollAndSort)
{
    const QStringList symbols{QStringLiteral("GAZP"), QStringLiteral("AFLT"), QStringLiteral("SBER"),
                              QStringLiteral("LKOH")};
    for (int id = 1; id <= 80; ++id)
        AddAlert(QStringLiteral("FilledOrders"), id, {{QStringLiteral("Symbol"), symbols[id % 4]}});
    TDataGrid* grid = Window->RxDBGrid4;
    // The grid's model keeps Qt's rules through every reset, insertion and sort below.
    QAbstractItemModelTester tester(grid->model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    Connect();
    EXPECT_EQ(grid->horizontalHeader()->sortIndicatorSection(), -1);
    Window->PageControl1->setCurrentWidget(grid);
    ASSERT_EQ(grid->model()->rowCount(), 80);
    EXPECT_EQ(Cell(grid, 0, 0), QStringLiteral("1")); // the database's order

    ClickTitle(grid, 1); // "Символ"
    QStringList shown = ColumnTexts(grid, 1);
    QStringList sorted = shown;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(shown, sorted);
    EXPECT_EQ(shown.first(), QStringLiteral("AFLT"));
    EXPECT_EQ(grid->horizontalHeader()->sortIndicatorSection(), 1);

    // The operator's view: a row, a width, a scrolled position.
    grid->selectRow(50);
    const QString chosenId = Cell(grid, 50, 0);
    EXPECT_EQ(Core->DatMod().tFilledOrders().RecNo(), 50); // the grid's row is the table's
    grid->horizontalHeader()->resizeSection(3, 222);
    grid->verticalScrollBar()->setValue(30);
    const int scrolled = grid->verticalScrollBar()->value();
    ASSERT_GT(scrolled, 0);

    AddAlert(QStringLiteral("FilledOrders"), 81, {{QStringLiteral("Symbol"), QStringLiteral("AAAA")}});
    Tick();
    ASSERT_EQ(grid->model()->rowCount(), 81);
    shown = ColumnTexts(grid, 1);
    EXPECT_EQ(shown.first(), QStringLiteral("AAAA")); // still by symbol
    EXPECT_EQ(grid->horizontalHeader()->sectionSize(3), 222);
    EXPECT_EQ(grid->verticalScrollBar()->value(), scrolled);
    ASSERT_TRUE(grid->currentIndex().isValid());
    EXPECT_EQ(Cell(grid, grid->currentIndex().row(), 0), chosenId);

    // A tick that brings nothing tells no grid of any change, so nothing is repainted.
    std::vector<std::unique_ptr<QSignalSpy>> spies;
    // The main window's own grids; the dialogs' grids are not refreshed by a tick.
    for (TDataGrid* each : Window->centralWidget()->findChildren<TDataGrid*>()) {
        spies.push_back(std::make_unique<QSignalSpy>(each->model(), &QAbstractItemModel::modelReset));
        spies.push_back(std::make_unique<QSignalSpy>(each->model(), &QAbstractItemModel::dataChanged));
        spies.push_back(std::make_unique<QSignalSpy>(each->model(), &QAbstractItemModel::rowsInserted));
    }
    ASSERT_EQ(spies.size(), 27u);
    Tick();
    for (const auto& spy : spies)
        EXPECT_EQ(spy->count(), 0) << spy->signal().toStdString();

    // A tick that brings nothing leaves the grid as it is.
    const int row = grid->currentIndex().row();
    Tick();
    EXPECT_EQ(grid->currentIndex().row(), row);
    EXPECT_EQ(grid->verticalScrollBar()->value(), scrolled);
}

TEST_F(MainWindowTest, DeletingAnOpenPositionAsksAndARefusalKeepsTheRow)
{
    for (const char* code : {"C1", "C2"})
        AddBridge(QStringLiteral("tClientOpenPositions"),
                  {{QStringLiteral("code"), QString::fromLatin1(code)}, {QStringLiteral("symbol"), QStringLiteral("SBER")},
                   {QStringLiteral("quantity"), 1}});
    Connect();
    TDataGrid* grid = Window->grdClientOpenPositions;
    ASSERT_EQ(grid->model()->rowCount(), 2);
    grid->setFocus();
    grid->selectRow(1);

    Answer = false;
    QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(Questions.size(), 1);
    EXPECT_EQ(grid->model()->rowCount(), 2);
    EXPECT_EQ(Bases.Scalar(Bases.BridgePath(), QStringLiteral("SELECT COUNT(*) FROM tClientOpenPositions")).toInt(), 2);

    Answer = true;
    QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(Questions.size(), 2);
    ASSERT_EQ(grid->model()->rowCount(), 1);
    EXPECT_EQ(Cell(grid, 0, 0), QStringLiteral("C1"));
    EXPECT_EQ(Bases.Scalar(Bases.BridgePath(), QStringLiteral("SELECT code FROM tClientOpenPositions")).toString(),
              QStringLiteral("C1"));

    // The grids of the alert tables are read-only: nothing asks, nothing goes.
    AddAlert(QStringLiteral("FilledOrders"), 1);
    Tick();
    Window->RxDBGrid4->setFocus();
    Window->RxDBGrid4->selectRow(0);
    QTest::keyClick(Window->RxDBGrid4, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(Questions.size(), 2);
    EXPECT_EQ(Window->RxDBGrid4->model()->rowCount(), 1);
    EXPECT_FALSE(Window->RxDBGrid4->model()->flags(Window->RxDBGrid4->model()->index(0, 0)) & Qt::ItemIsEditable);
    EXPECT_FALSE(Window->RxDBGrid4->model()->setData(Window->RxDBGrid4->model()->index(0, 1), QStringLiteral("GAZP")));
    EXPECT_EQ(Cell(Window->RxDBGrid4, 0, 1), QStringLiteral("SBER"));

    // A changed cell of an open position is stored; Insert adds a row to fill in.
    ASSERT_TRUE(grid->model()->flags(grid->model()->index(0, 3)) & Qt::ItemIsEditable);
    EXPECT_TRUE(grid->model()->setData(grid->model()->index(0, 3), 7));
    EXPECT_EQ(Bases.Scalar(Bases.BridgePath(), QStringLiteral("SELECT quantity FROM tClientOpenPositions")).toInt(), 7);
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_Insert);
    EXPECT_EQ(grid->model()->rowCount(), 2);
    EXPECT_EQ(Core->DatMod().tClientOpenPositions().State(), TDataSet::TState::Insert);
}

TEST_F(MainWindowTest, OpenPositionAddedWithKeysLeavesTheCursorWhereTheOperatorMovedIt)
{
    for (const char* code : {"C1", "C2"})
        AddBridge(QStringLiteral("tClientOpenPositions"),
                  {{QStringLiteral("code"), QString::fromLatin1(code)}, {QStringLiteral("symbol"), QStringLiteral("SBER")},
                   {QStringLiteral("quantity"), 1}});
    Connect();
    Window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Window.get()));
    TDataGrid* grid = Window->grdClientOpenPositions;
    grid->setFocus();
    QWindow* keys = Window->windowHandle();
    // Insert, the client's code, Tab, the symbol; then up to the row above, whose symbol
    // the operator changes: storing the new row on the way must not move the cursor to
    // that row's code.
    PressKey(keys, Qt::Key_Insert);
    TypeKeys(keys, QStringLiteral("C3"));
    PressKey(keys, Qt::Key_Tab);
    TypeKeys(keys, QStringLiteral("GAZP"));
    PressKey(keys, Qt::Key_Up);
    EXPECT_EQ(grid->currentIndex().row(), 1);
    EXPECT_EQ(grid->currentIndex().column(), 1);
    TypeKeys(keys, QStringLiteral("LKOH"));
    PressKey(keys, Qt::Key_Return);
    EXPECT_TRUE(Env.Errors.isEmpty()) << Env.Errors.join(QLatin1Char('\n')).toStdString();
    QStringList stored;
    for (int i = 0; i < 3; ++i)
        stored << Bases.Scalar(Bases.BridgePath(),
                               QStringLiteral("SELECT code || '|' || symbol FROM tClientOpenPositions ORDER BY id LIMIT 1 OFFSET ?"),
                               {i}).toString();
    EXPECT_EQ(stored, (QStringList{QStringLiteral("C1|SBER"), QStringLiteral("C2|LKOH"), QStringLiteral("C3|GAZP")}));
    EXPECT_EQ(Bases.Scalar(Bases.BridgePath(), QStringLiteral("SELECT COUNT(*) FROM tClientOpenPositions")).toInt(), 3);
}

TEST_F(MainWindowTest, ManualCommandsFollowThePageAndSendTheSelectedRow)
{
    TSettings& s = Core->Settings();
    s.edtTime1 = QStringLiteral("00:00:00");
    s.edtTime2 = QStringLiteral("23:59:59");
    s.rgpPositionSize = 0;
    s.edtCode = QStringLiteral("C0");
    AddBridge(QStringLiteral("tSecCode"),
              {{QStringLiteral("SecCode"), QStringLiteral("SBER")}, {QStringLiteral("Ticker"), QStringLiteral("SBER")},
               {QStringLiteral("Class_Code"), QStringLiteral("TQBR")}, {QStringLiteral("LotSize"), 10},
               {QStringLiteral("Traded"), true}, {QStringLiteral("Digits"), 2}, {QStringLiteral("Slippage"), 0.1}});
    AddAlert(QStringLiteral("ActiveOrders"), 1, {{QStringLiteral("Order"), QStringLiteral("Buy 10 at 100,00 Limit")}});
    AddAlert(QStringLiteral("ActiveOrders"), 2, {{QStringLiteral("Order"), QStringLiteral("Buy 10 at 200,00 Limit")}});

    QTabWidget* pages = Window->PageControl1;
    // Not connected: no page enables them.
    pages->setCurrentWidget(Window->RxDBGrid2);
    EXPECT_FALSE(Window->actSendNewOrderManual->isEnabled());
    // Connecting on the page changes nothing until the operator changes the tab.
    Core->Watch().StartUp();
    Connect();
    ASSERT_TRUE(Core->DatMod().conOmega().Connected());
    EXPECT_FALSE(Window->actSendNewOrderManual->isEnabled());

    struct TCase {
        QWidget* Page;
        bool Enabled;
    };
    const TCase cases[] = {{Window->RxDBGrid4, true}, {Window->mLog, false}, {Window->grdClientOpenPositions, false},
                           {Window->RxDBGrid3, false}, {Window->RxDBGrid2, true}};
    for (const TCase& c : cases) {
        pages->setCurrentWidget(c.Page);
        EXPECT_EQ(Window->actSendNewOrderManual->isEnabled(), c.Enabled) << c.Page->objectName().toStdString();
        EXPECT_EQ(Window->actSendKillOrderManual->isEnabled(), c.Enabled) << c.Page->objectName().toStdString();
    }

    // The operator picks the second order: the command shows its ticket and sends nothing.
    ASSERT_EQ(Window->RxDBGrid2->model()->rowCount(), 2);
    Window->RxDBGrid2->selectRow(1);
    TfmTicket* ticket = Window->fmTicket;
    auto bookings = [this] {
        return Bases.Scalar(Bases.BridgePath(), QStringLiteral("SELECT COUNT(*) FROM tOrderNumber")).toInt();
    };
    for (const bool confirm : {false, true}) {
        SCOPED_TRACE(confirm ? "sent" : "cancelled");
        Window->actSendNewOrderManual->trigger();
        ASSERT_TRUE(ticket->isVisible());
        EXPECT_EQ(ticket->windowTitle(), QStringLiteral("Выставить ордер вручную"));
        ASSERT_EQ(ticket->grdLines->rowCount(), 1);
        auto cell = [ticket](int column) { return ticket->grdLines->item(0, column)->text(); };
        EXPECT_EQ(cell(TfmTicket::colClient), QStringLiteral("C0"));
        EXPECT_EQ(cell(TfmTicket::colAction), QStringLiteral("NEW_ORDER"));
        EXPECT_EQ(cell(TfmTicket::colOperation), QStringLiteral("B"));
        EXPECT_EQ(cell(TfmTicket::colSecurity), QStringLiteral("SBER (TQBR)"));
        EXPECT_EQ(cell(TfmTicket::colQuantity), QStringLiteral("1")); // 10 shares, lots of 10
        EXPECT_EQ(cell(TfmTicket::colPrice), QStringLiteral("200,00"));
        const QString shown = ticket->grdLines->item(0, TfmTicket::colPrice)->toolTip();
        EXPECT_TRUE(shown.startsWith(QStringLiteral("TRANS_ID =0;ACTION=NEW_ORDER;"))) << shown.toStdString();
        EXPECT_TRUE(TriLines().isEmpty());
        EXPECT_EQ(bookings(), 0);
        // Enter does not send: only a click on "Отправить" does.
        QTest::keyClick(ticket, Qt::Key_Return);
        ASSERT_TRUE(ticket->isVisible());
        EXPECT_TRUE(TriLines().isEmpty());

        QTest::mouseClick(confirm ? ticket->btnSend : ticket->btnCancel, Qt::LeftButton);
        EXPECT_FALSE(ticket->isVisible());
        EXPECT_TRUE(Env.Errors.isEmpty()) << Env.Errors.join(QLatin1Char('\n')).toStdString();
        const QStringList log = LogLinesOf(Log);
        if (!confirm) {
            // Nothing written, booked or numbered: the next ticket shows number 0 again.
            EXPECT_TRUE(TriLines().isEmpty());
            EXPECT_EQ(bookings(), 0);
            EXPECT_TRUE(log.last().endsWith(QStringLiteral(
                "Ручная команда \"Выставить ордер вручную\": ордер # 2 (ActiveOrders) не отправлен, оператор отменил "
                "отправку.")))
                << log.last().toStdString();
            continue;
        }
        // The line sent is the one the ticket showed, and the log names it a manual command.
        EXPECT_EQ(TriLines(), QStringList{shown}) << log.join(QLatin1Char('\n')).toStdString();
        EXPECT_EQ(bookings(), 1);
        EXPECT_EQ(log.filter(QStringLiteral("Ручная команда \"Выставить ордер вручную\": ордер # 2 (ActiveOrders) "
                                            "отправляется, оператор подтвердил."))
                      .size(),
                  1);
    }
}

TEST_F(MainWindowTest, ExitWhileWatchingAsksAndLogsThatWatchingStopped)
{
    TSettings& s = Core->Settings();
    s.edtCode = QStringLiteral("C0");
    s.edtAccountMicex = QStringLiteral("ACC-C0");
    Core->Watch().StartUp();
    Connect();
    Core->Watch().actStartWatchExecute();
    ASSERT_TRUE(Core->Watch().Watching()) << Env.Errors.join(QLatin1Char('\n')).toStdString();

    // "No": the program goes on watching.
    Answer = false;
    Window->actExit->trigger();
    EXPECT_EQ(Questions, QStringList{TMainCore::ExitWhileWatchingQuestion()});
    EXPECT_TRUE(Window->isVisible());
    EXPECT_TRUE(Core->Watch().Watching());

    // "Yes" from the tray menu: watching stops, the log says so, the window closes.
    Answer = true;
    const int before = Log.LineCount();
    Window->RxTrayIcon1->contextMenu()->actions().last()->trigger();
    EXPECT_EQ(Questions.size(), 2);
    EXPECT_FALSE(Window->isVisible());
    EXPECT_FALSE(Core->Watch().Watching());
    const QStringList logged = LogLinesOf(Log).mid(before);
    ASSERT_EQ(logged.size(), 2) << logged.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(logged[0].endsWith(QStringLiteral("Выход из программы по команде оператора во время загрузки ордеров.")));
    EXPECT_TRUE(logged[1].endsWith(QStringLiteral("Загрузка ордеров остановлена.")));
    EXPECT_EQ(Log.LoggedLineCount(), Log.LineCount()) << "in the file before the program ends";

    // Not watching: closing asks nothing.
    Window->show();
    Window->close();
    EXPECT_EQ(Questions.size(), 2);
    EXPECT_FALSE(Window->isVisible());
}

TEST_F(MainWindowTest, StatusPanelsSurviveACommandHint)
{
    auto* button = qobject_cast<QToolButton*>(Window->ToolBar1->widgetForAction(Window->actConnectToBase));
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->toolTip(), QStringLiteral("Подключиться к базам данных"));
    // What a button or a menu item sends up when the mouse rests on it.
    QStatusTipEvent hint(QStringLiteral("Подключиться к базам данных"));
    QApplication::sendEvent(button, &hint);
    QTest::mouseMove(button);
    EXPECT_TRUE(Window->statusBar()->currentMessage().isEmpty());
    for (QLabel* panel : Window->StatusPanels)
        EXPECT_TRUE(panel->isVisible()) << panel->text().toStdString();
    EXPECT_EQ(Window->StatusPanels[0]->text(), QStringLiteral("Подключение к Omega: Нет"));
    EXPECT_EQ(Window->StatusPanels[3]->text(), QStringLiteral("Отправлено транзакций: 0/0/0"));
}

TEST_F(MainWindowTest, PortfolioFooterShowsTheTotalsOfEachTick)
{
    auto footer = [this] {
        QStringList texts;
        for (int i = 0; i < 12; ++i)
            texts << Window->grdPortfolioFooter->Text(i);
        return texts;
    };
    Connect();
    // An empty portfolio: zero counts, zero sums, nothing under the leverage.
    EXPECT_EQ(footer(), (QStringList{QStringLiteral("0"), QStringLiteral("0,00"), QStringLiteral("0,00"),
                                     QStringLiteral("0,00"), QStringLiteral("0,00"), QStringLiteral("0,00"),
                                     QStringLiteral("0,00"), QStringLiteral("0"), QString(), QStringLiteral("0,00"),
                                     QStringLiteral("0,00"), QStringLiteral("0,00")}));

    auto addPortfolio = [this](const QString& client, double open, double shorts, double longs, double cur,
                               double openAll, double curAll, double margin, double curLeverage, double change,
                               double profit) {
        AddBridge(QStringLiteral("tPortfolio"),
                  {{QStringLiteral("id_client"), client}, {QStringLiteral("openassets"), open},
                   {QStringLiteral("shorts"), shorts}, {QStringLiteral("longs"), longs},
                   {QStringLiteral("curassets"), cur}, {QStringLiteral("openallassets"), openAll},
                   {QStringLiteral("curallassets"), curAll}, {QStringLiteral("margin"), margin},
                   {QStringLiteral("leverage"), 3.0}, {QStringLiteral("curleverage"), curLeverage},
                   {QStringLiteral("change"), change}, {QStringLiteral("profitloss"), profit}});
    };
    addPortfolio(QStringLiteral("C1"), 1000000.5, 10, 20, 1500.25, 2000, 3000, 80, 1.25, 0.25, 2500.5);
    addPortfolio(QStringLiteral("C2"), 234567.25, 5, 0, 499.75, 1000, 1000, 76, 1.75, -0.75, -1250.25);
    Tick();
    // Sums of the two rows, and the averages of margin, current leverage and change.
    EXPECT_EQ(footer(), (QStringList{QStringLiteral("2"), QStringLiteral("1 234 567,75"), QStringLiteral("15,00"),
                                     QStringLiteral("20,00"), QStringLiteral("2 000,00"), QStringLiteral("3 000,00"),
                                     QStringLiteral("4 000,00"), QStringLiteral("78"), QString(), QStringLiteral("1,50"),
                                     QStringLiteral("-0,25"), QStringLiteral("1 250,25")}));
}

TEST_F(MainWindowTest, ToolBarAndMenusCarryEveryCommandInOrder)
{
    struct TCommand {
        QAction* Action;
        QString Caption;
        QString Hint;
        bool EnabledAtStart;
    };
    const TCommand commands[] = {
        {Window->actStartWatch, QStringLiteral("Начать загрузку"), QStringLiteral("Начать загрузку"), false},
        {Window->actStopWatch, QStringLiteral("Остановить загрузку"), QStringLiteral("Остановиь загрузку"), false},
        {Window->actSendNewOrderManual, QStringLiteral("Отправить ордер в Quik"), QStringLiteral("Выставить ордер вручную"), false},
        {Window->actSendKillOrderManual, QStringLiteral("actSendKillOrderManual"), QStringLiteral("Отменить ордер"), false},
        {Window->actKillSwitch, QStringLiteral("Аварийная остановка"),
         QStringLiteral("Аварийная остановка: снять все заявки и блокировать новые ордера"), true},
        {Window->actResumeTrading, QStringLiteral("Возобновить торговлю"), QStringLiteral("Возобновить торговлю"), false},
        {Window->actClients, QStringLiteral("Клиенты"), QStringLiteral("Клиенты"), true},
        {Window->actOpt, QStringLiteral("&Настройки..."), QStringLiteral("Настройки"), true},
        {Window->actConnectToBase, QStringLiteral("Подключиться"), QStringLiteral("Подключиться к базам данных"), true},
        {Window->actExit, QStringLiteral("&Выход"), QStringLiteral("Выход"), true},
        {Window->actHelpCont, QStringLiteral("Вызов справки"), QStringLiteral("Справка"), true},
        {Window->actAbout, QStringLiteral("&О программе..."), QStringLiteral("О программе..."), true},
    };
    for (const TCommand& c : commands) {
        EXPECT_EQ(c.Action->text(), c.Caption);
        EXPECT_EQ(c.Action->toolTip(), c.Hint) << c.Caption.toStdString();
        EXPECT_EQ(c.Action->isEnabled(), c.EnabledAtStart) << c.Caption.toStdString();
    }

    // Each entry: a command's caption, or "-" for a separator.
    auto entries = [](const QList<QAction*>& actions) {
        QStringList texts;
        for (QAction* action : actions)
            texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
        return texts;
    };
    EXPECT_EQ(entries(Window->ToolBar1->actions()),
              (QStringList{QStringLiteral("Начать загрузку"), QStringLiteral("Остановить загрузку"), QStringLiteral("-"),
                           QStringLiteral("Отправить ордер в Quik"), QStringLiteral("actSendKillOrderManual"),
                           QStringLiteral("-"), QStringLiteral("Аварийная остановка"), QStringLiteral("-"),
                           QStringLiteral("Клиенты"), QStringLiteral("&Настройки..."),
                           QStringLiteral("Подключиться"), QStringLiteral("-"), QStringLiteral("&Выход"),
                           QStringLiteral("Вызов справки")}));
    EXPECT_EQ(Window->ToolBar1->iconSize(), QSize(32, 32));
    EXPECT_EQ(entries(Window->menuBar()->actions()),
              (QStringList{QStringLiteral("&Файл"), QStringLiteral("&Настройки"), QStringLiteral("&Справка")}));
    const QList<QAction*> menus = Window->menuBar()->actions();
    EXPECT_EQ(entries(menus[0]->menu()->actions()),
              (QStringList{QStringLiteral("Начать загрузку"), QStringLiteral("Остановить загрузку"), QStringLiteral("-"),
                           QStringLiteral("Аварийная остановка"), QStringLiteral("Возобновить торговлю"),
                           QStringLiteral("-"), QStringLiteral("&Выход")}));
    EXPECT_EQ(entries(menus[1]->menu()->actions()),
              (QStringList{QStringLiteral("Клиенты..."), QStringLiteral("&Настройки...")}));
    EXPECT_EQ(entries(menus[2]->menu()->actions()),
              (QStringList{QStringLiteral("Вызов справки"), QStringLiteral("&О программе...")}));
    for (QAction* item : menus[0]->menu()->actions())
        EXPECT_TRUE(item->isSeparator() || !item->icon().isNull()) << item->text().toStdString();

    // The help command opens the manual at its contents; F1 at the main window's topic.
    EXPECT_FALSE(Window->fmHelp->isVisible());
    Window->actHelpCont->trigger();
    EXPECT_TRUE(Window->fmHelp->isVisible());
    EXPECT_TRUE(Window->fmHelp->Text->toPlainText().contains(QStringLiteral("Главное окно")));
    Window->fmHelp->hide();
    Window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Window.get()));
    QTest::keyClick(Window->windowHandle(), Qt::Key_F1);
    EXPECT_TRUE(Window->fmHelp->isVisible());
}

// Answers each message box that opens while `work` runs with the key, as the operator
// would; the texts of the boxes answered.
QStringList AnswerBoxes(Qt::Key key, const std::function<void()>& work)
{
    QStringList asked;
    QTimer operatorHand;
    operatorHand.setInterval(0);
    QObject::connect(&operatorHand, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        asked << box->text();
        QTest::keyClick(box, key);
    });
    operatorHand.start();
    work();
    operatorHand.stop();
    return asked;
}

TEST_F(MainWindowTest, KillSwitchAsksOnceEnterConfirmsAndTheBlockShowsUntilTradingResumes)
{
    Connect();
    Window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Window.get()));

    // Ctrl+Alt+K asks; Escape keeps trading on.
    QStringList asked = AnswerBoxes(Qt::Key_Escape, [this] {
        QTest::keyClick(Window->windowHandle(), Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);
    });
    ASSERT_EQ(asked.size(), 1);
    EXPECT_TRUE(asked[0].contains(QStringLiteral("снять все действующие заявки")));
    EXPECT_FALSE(Core->KillSwitch().Engaged());
    EXPECT_TRUE(Env.Errors.isEmpty());

    // The tool bar's button asks once; Enter confirms.
    auto* button = qobject_cast<QToolButton*>(Window->ToolBar1->widgetForAction(Window->actKillSwitch));
    ASSERT_NE(button, nullptr);
    asked = AnswerBoxes(Qt::Key_Return, [button] { QTest::mouseClick(button, Qt::LeftButton); });
    EXPECT_EQ(asked.size(), 1);
    EXPECT_TRUE(Core->KillSwitch().Engaged());
    ASSERT_EQ(Env.Errors.size(), 1); // the command's one report
    EXPECT_TRUE(Env.Errors[0].startsWith(QStringLiteral("Аварийная остановка: загрузка ордеров остановлена")));
    EXPECT_TRUE(Window->windowTitle().contains(QStringLiteral("АВАРИЙНАЯ ОСТАНОВКА")));
    EXPECT_TRUE(Window->actResumeTrading->isEnabled());

    Window->actResumeTrading->trigger();
    EXPECT_FALSE(Core->KillSwitch().Engaged());
    EXPECT_EQ(Window->windowTitle(), QStringLiteral("Zovrant v 2.1"));
    EXPECT_FALSE(Window->actResumeTrading->isEnabled());
}

TEST_F(MainWindowTest, RestoringBringsTheWindowBackAsItWas)
{
    for (const bool maximized : {true, false}) {
        SCOPED_TRACE(maximized ? "maximized" : "normal");
        if (maximized)
            Window->showMaximized();
        else
            Window->showNormal();
        Window->setWindowState(Window->windowState() | Qt::WindowMinimized);
        Window->RestoreFromTray();
        EXPECT_FALSE(Window->isMinimized());
        EXPECT_EQ(Window->isMaximized(), maximized);
        EXPECT_TRUE(Window->isVisible());
    }
}

TEST_F(MainWindowTest, TrayMenuCarriesTheWatchCommandsRestoreAndExit)
{
    QMenu* menu = Window->RxTrayIcon1->contextMenu();
    ASSERT_NE(menu, nullptr);
    const QList<QAction*> items = menu->actions();
    ASSERT_EQ(items.size(), 8);
    EXPECT_EQ(items[0], Window->actStartWatch);
    EXPECT_EQ(items[1], Window->actStopWatch);
    EXPECT_TRUE(items[2]->isSeparator());
    EXPECT_EQ(items[3], Window->actKillSwitch);
    EXPECT_EQ(items[4], Window->actResumeTrading);
    EXPECT_TRUE(items[5]->isSeparator());
    EXPECT_EQ(items[6]->text(), QStringLiteral("Восстановить"));
    EXPECT_EQ(items[7]->text(), QStringLiteral("Выход"));

    Window->hide();
    items[6]->trigger();
    EXPECT_TRUE(Window->isVisible());
    items[7]->trigger();
    EXPECT_FALSE(Window->isVisible()); // closed
}

TEST_F(MainWindowTest, AboutShowsTheCountersOfTheMomentInOneWindow)
{
    Window->actAbout->trigger();
    ASSERT_TRUE(Window->fmAbout->isVisible());
    EXPECT_FALSE(Window->fmAbout->isModal());
    EXPECT_EQ(Window->fmAbout->windowTitle(), QStringLiteral("О программе"));
    EXPECT_EQ(Window->fmAbout->pnQty->text(), QStringLiteral("0/0/0"));
    Window->actAbout->trigger();
    EXPECT_EQ(Window->findChildren<TfmAbout*>().size(), 1);
    EXPECT_TRUE(Window->actStartWatch->isVisible());
}

TEST(DisplayFormatTest, NumbersDatesAndOtherValuesAsTheGridsShowThem)
{
    TRegional regional;
    regional.DecimalSeparator = QLatin1Char(',');
    regional.ThousandSeparator = QChar(0xA0);
    const QString nbsp(QChar(0xA0));
    struct TCase {
        QVariant Value;
        QString Format;
        QString Text;
    };
    const TCase cases[] = {
        {0.0, QStringLiteral("### ### ##0.000"), QStringLiteral("0,000")},
        {999.9996, QStringLiteral("### ### ##0.000"), QStringLiteral("1") + nbsp + QStringLiteral("000,000")},
        {-0.001, QStringLiteral("0.00"), QStringLiteral("0,00")}, // rounds to zero: no sign
        {-1234.5, QStringLiteral("#0.00"), QStringLiteral("-1234,50")}, // no grouping in the format
        {qint64(12345678901), QStringLiteral("### ### ### ##0"),
         QStringLiteral("12") + nbsp + QStringLiteral("345") + nbsp + QStringLiteral("678") + nbsp + QStringLiteral("901")},
        {QStringLiteral("SBER"), QStringLiteral("### ### ##0.000"), QStringLiteral("SBER")},
        {QVariant(), QStringLiteral("0.00"), QString()},
        {2.5, QString(), QStringLiteral("2.5")}, // the default display
        {QStringLiteral("2008-12-09 09:05:03"), kDateTimeFormat, QStringLiteral("09.12.2008 9:05:03")},
        {QStringLiteral("not a date"), kDateTimeFormat, QStringLiteral("not a date")},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(FormatDisplay(c.Value, c.Format, regional), c.Text) << c.Value.toString().toStdString();

    // The footers' number format: grouped, the given decimals, scientific past 10 digits.
    EXPECT_EQ(FormatNumber(1234567.891, 2, regional),
              QStringLiteral("1") + nbsp + QStringLiteral("234") + nbsp + QStringLiteral("567,89"));
    EXPECT_EQ(FormatNumber(77.0, 0, regional), QStringLiteral("77"));
    EXPECT_EQ(FormatNumber(9999999999.0, 0, regional).count(nbsp), 3);
    EXPECT_EQ(FormatNumber(12345678901.0, 2, regional), QStringLiteral("1,234567890E+10"));
}

} // namespace
