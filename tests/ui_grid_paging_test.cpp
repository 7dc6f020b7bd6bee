// Grids over tables that hold only their ids and read the rows a page at a time as they
// are shown: over a SQLite file with the change journal, over one without it, and through
// ODBC. What the grid shows must be what the database holds, wherever the operator scrolls,
// and the current row stays on its row.

#include "data/Connection.h"
#include "data/Table.h"
#include "shell/ui/DataGrid.h"
#include "tests/support/TestDatabases.h"
#include "tests/support/TestEnvironment.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QSqlRecord>
#include <gtest/gtest.h>

namespace {

struct TPagingCase {
    TTestEngine Engine;
    bool Journal; // SQLite only: the alert file keeps its change journal
};

std::string CaseName(const TPagingCase& paging)
{
    if (paging.Engine == TTestEngine::Odbc)
        return "Odbc";
    return paging.Journal ? "SqliteJournal" : "SqliteWithoutJournal";
}

constexpr int Rows = 3000; // more pages than a table holds, more than one slice of ids

class GridPagingTest : public ::testing::TestWithParam<TPagingCase> {
protected:
    TTestEnvironment Env;
    TTestDatabases Bases{GetParam().Engine};
    TConnection Alerts;
    std::unique_ptr<TTable> Table;
    std::unique_ptr<TDataGrid> Grid;

    void SetUp() override
    {
        Platform(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                                "INSERT INTO FilledOrders (Symbol, [Order]) SELECT 'S' || i, 'Buy 1 at 1 Limit' FROM n")
                     .arg(Rows));
        if (!GetParam().Journal) {
            for (const char* trigger : {"FilledOrders_Insert", "FilledOrders_Update", "FilledOrders_Delete", "Keep"})
                Platform(QStringLiteral("DROP TRIGGER ZovrantChanges_") + QLatin1String(trigger));
        }
        Alerts.Open(Bases.AlertsSource());
        Table = std::make_unique<TTable>(Alerts, QStringLiteral("FilledOrders"));
        Grid = std::make_unique<TDataGrid>(*Table, QList<TGridColumn>{{QStringLiteral("ID"), QStringLiteral("ID")},
                                                                     {QStringLiteral("Symbol"), QStringLiteral("Symbol")}},
                                           Env.Environment);
        Grid->resize(400, 300);
        Grid->show();
        RefreshTable(*Table);
        ASSERT_TRUE(Table->Active());
    }
    void TearDown() override
    {
        Grid.reset();
        Table.reset();
    }

    void Platform(const QString& statement) { Bases.Exec(Bases.AlertsPath(), statement); }
    QStringList DatabaseSymbols()
    {
        QStringList symbols;
        QSqlQuery query(Alerts.Database());
        EXPECT_TRUE(query.exec(QStringLiteral("SELECT Symbol FROM FilledOrders ORDER BY ID")));
        while (query.next())
            symbols << query.value(0).toString();
        return symbols;
    }
    QStringList GridSymbols()
    {
        QStringList symbols;
        for (int row = 0; row < Grid->model()->rowCount(); ++row)
            symbols << Grid->model()->index(row, 1).data().toString();
        return symbols;
    }
    // The symbol in the last row the grid paints once scrolled to the end.
    QString LastShownSymbol()
    {
        Grid->scrollToBottom();
        QApplication::processEvents();
        const int last = Grid->rowAt(Grid->viewport()->height() - 1);
        const int row = last < 0 ? Grid->model()->rowCount() - 1 : last;
        return Grid->model()->index(row, 1).data().toString();
    }
    qint64 CurrentId() { return Table->FieldByName(QStringLiteral("ID")).AsLargeInt(); }
    // Enough refreshes to check every id once.
    void RefreshRound()
    {
        for (int i = 0; i <= Rows / TTable::SweepRows + 1; ++i)
            RefreshTable(*Table);
    }
};

INSTANTIATE_TEST_SUITE_P(Engines, GridPagingTest,
                         ::testing::Values(TPagingCase{TTestEngine::Sqlite, true}, TPagingCase{TTestEngine::Sqlite, false},
                                           TPagingCase{TTestEngine::Odbc, false}),
                         [](const auto& info) { return CaseName(info.param); });

TEST_P(GridPagingTest, ScrollingShowsEveryRowAsTheDatabaseHoldsIt)
{
    QAbstractItemModelTester tableTester(&Table->Model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    QAbstractItemModelTester gridTester(Grid->model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_EQ(Grid->model()->rowCount(), Rows);
    EXPECT_EQ(LastShownSymbol(), QStringLiteral("S%1").arg(Rows));
    // Read from the first row to the last and back: pages come and go, the values stay right.
    EXPECT_EQ(GridSymbols(), DatabaseSymbols());
    Grid->scrollToTop();
    QApplication::processEvents();
    EXPECT_EQ(Grid->model()->index(0, 1).data().toString(), QStringLiteral("S1"));
}

TEST_P(GridPagingTest, RowsAddedChangedAndDeletedShowAndTheCurrentRowStays)
{
    QAbstractItemModelTester tableTester(&Table->Model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    QAbstractItemModelTester gridTester(Grid->model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    // The operator looks at the end of the table with a row in the middle current.
    ASSERT_TRUE(Table->Locate(QStringLiteral("ID"), 1500));
    LastShownSymbol();
    struct TStep {
        const char* What;
        const char* Statement;
    };
    const TStep steps[] = {
        {"a new row at the end", "INSERT INTO FilledOrders (Symbol) VALUES ('NEW')"},
        {"a row on screen changed", "UPDATE FilledOrders SET Symbol = 'CHANGED' WHERE ID = 2999"},
        {"a row on screen deleted", "DELETE FROM FilledOrders WHERE ID = 2998"},
        {"the current row changed", "UPDATE FilledOrders SET Symbol = 'CURRENT' WHERE ID = 1500"},
        {"a row off screen deleted", "DELETE FROM FilledOrders WHERE ID = 10"},
        {"a row off screen added below the last id", "INSERT INTO FilledOrders (ID, Symbol) VALUES (10, 'BACK')"},
        {"rows off screen deleted before the current one", "DELETE FROM FilledOrders WHERE ID BETWEEN 100 AND 199"},
    };
    for (const TStep& step : steps) {
        Platform(QLatin1String(step.Statement));
        RefreshRound();
        ASSERT_TRUE(Table->Active()) << step.What;
        EXPECT_EQ(GridSymbols(), DatabaseSymbols()) << step.What;
        EXPECT_EQ(CurrentId(), 1500) << step.What;
        EXPECT_EQ(Grid->currentIndex().row(), Table->RecNo()) << step.What;
    }
    EXPECT_EQ(LastShownSymbol(), QStringLiteral("NEW"));
    EXPECT_EQ(Table->FieldByName(QStringLiteral("Symbol")).AsString(), QStringLiteral("CURRENT"));

    // The current row deleted: the first row is current, as after any re-read.
    Platform(QStringLiteral("DELETE FROM FilledOrders WHERE ID = 1500"));
    RefreshRound();
    EXPECT_EQ(Table->RecNo(), 0);
    EXPECT_EQ(GridSymbols(), DatabaseSymbols());
}

TEST_P(GridPagingTest, ARefreshWithNothingChangedTellsTheGridNothing)
{
    LastShownSymbol();
    Table->Locate(QStringLiteral("ID"), 2990);
    QSignalSpy resets(Grid->model(), &QAbstractItemModel::modelReset);
    QSignalSpy changes(Grid->model(), &QAbstractItemModel::dataChanged);
    QSignalSpy inserts(Grid->model(), &QAbstractItemModel::rowsInserted);
    QSignalSpy removals(Grid->model(), &QAbstractItemModel::rowsRemoved);
    RefreshRound();
    EXPECT_EQ(resets.count() + changes.count() + inserts.count() + removals.count(), 0);
    EXPECT_EQ(CurrentId(), 2990);
}

// A table emptied in part by another program: each removal told to the grid lays it out
// again (about a millisecond with a window), so a run of rows gone together must reach it
// as one removal, not a thousand.
TEST_P(GridPagingTest, RowsDeletedTogetherReachTheGridAsOneRemoval)
{
    QAbstractItemModelTester gridTester(Grid->model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    ASSERT_TRUE(Table->Locate(QStringLiteral("ID"), 2990));
    QSignalSpy removals(Grid->model(), &QAbstractItemModel::rowsRemoved);
    Platform(QStringLiteral("DELETE FROM FilledOrders WHERE ID BETWEEN 1101 AND 1900 OR ID BETWEEN 2001 AND 2100"));
    RefreshRound();
    EXPECT_EQ(Grid->model()->rowCount(), Rows - 900);
    EXPECT_EQ(GridSymbols(), DatabaseSymbols());
    EXPECT_EQ(CurrentId(), 2990);
    // The runs may be split where a slice of the table ends, never row by row.
    EXPECT_GE(removals.count(), 2);
    EXPECT_LE(removals.count(), 4);
}

TEST_P(GridPagingTest, AGridOrderedByAnotherColumnPagesInThatOrder)
{
    Platform(QStringLiteral("UPDATE FilledOrders SET Symbol = 'A' WHERE ID = 3000"));
    Table->Locate(QStringLiteral("ID"), 3000);
    Table->Sort(QStringLiteral("Symbol"));
    RefreshTable(*Table);
    EXPECT_EQ(Grid->model()->index(0, 1).data().toString(), QStringLiteral("A"));
    EXPECT_EQ(CurrentId(), 3000);
    // Text order: S999 after S2999.
    EXPECT_EQ(LastShownSymbol(), QStringLiteral("S999"));
    Platform(QStringLiteral("INSERT INTO FilledOrders (Symbol) VALUES ('Z')"));
    RefreshTable(*Table);
    EXPECT_EQ(LastShownSymbol(), QStringLiteral("Z"));
    EXPECT_EQ(CurrentId(), 3000);
}

TEST_P(GridPagingTest, EditingARowOfAPagedTableStoresItAndKeepsItsPlace)
{
    Table->Locate(QStringLiteral("ID"), 2000);
    Table->FieldByName(QStringLiteral("Symbol")).SetValue(QStringLiteral("EDITED"));
    ASSERT_TRUE(Table->Post());
    EXPECT_EQ(CurrentId(), 2000);
    Table->Append();
    EXPECT_EQ(Grid->model()->rowCount(), Rows + 1);
    Table->FieldByName(QStringLiteral("Symbol")).SetValue(QStringLiteral("APPENDED"));
    ASSERT_TRUE(Table->Post());
    EXPECT_EQ(Table->FieldByName(QStringLiteral("Symbol")).AsString(), QStringLiteral("APPENDED"));
    Table->Locate(QStringLiteral("ID"), 5);
    Table->Delete();
    RefreshTable(*Table);
    EXPECT_EQ(GridSymbols(), DatabaseSymbols());
}

} // namespace
