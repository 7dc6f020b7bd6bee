#include "data/Connection.h"
#include "data/Table.h"
#include "shell/ui/RowIndicator.h"
#include "tests/support/TestDatabases.h"

#include <QAbstractTableModel>
#include <QTableView>
#include <gtest/gtest.h>

namespace {

// A grid shown over a table object of the bridge database, through Qt's SQLite driver
// and through ODBC.
class GridTest : public ::testing::TestWithParam<TTestEngine> {
protected:
    TTestDatabases Bases{GetParam()};
    TConnection Bridge;

    void SetUp() override { Bridge.Open(Bases.BridgeSource()); }

    qint64 AddClient(const QString& code, const QString& client)
    {
        return Bases.Insert(Bases.BridgePath(), QStringLiteral("tclients"),
                            {{QStringLiteral("Code"), code}, {QStringLiteral("client"), client},
                             {QStringLiteral("Active"), true}});
    }
};

// Rows numbered as a grid numbers them, and nothing else.
class TNumberedRows : public QAbstractTableModel {
public:
    int Rows = 0;
    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : Rows; }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 1; }
    QVariant data(const QModelIndex&, int) const override { return {}; }
    void SetRows(int rows)
    {
        beginResetModel();
        Rows = rows;
        endResetModel();
    }
};

TEST(RowIndicatorTest, IsAsWideAsQtMeasuresItsNumbers)
{
    // The first and last rows measured give the size Qt finds by measuring two hundred.
    TNumberedRows model;
    QTableView view;
    auto* indicator = new TRowIndicator(&view);
    view.setVerticalHeader(indicator);
    view.setModel(&model);
    for (const int rows : {1, 9, 10, 99, 100, 101, 999, 1000, 99999, 100000, 1000000}) {
        model.SetRows(rows);
        EXPECT_EQ(indicator->sizeHint(), indicator->QHeaderView::sizeHint()) << rows;
    }
    EXPECT_TRUE(indicator->sectionsClickable());
    EXPECT_TRUE(indicator->highlightSections());
}

INSTANTIATE_TEST_SUITE_P(Engines, GridTest, ::testing::Values(TTestEngine::Sqlite, TTestEngine::Odbc),
                         [](const auto& info) { return std::string(EngineName(info.param)); });

TEST_P(GridTest, AGridFollowsAppendsDeletesAndRefreshes)
{
    AddClient(QStringLiteral("C1"), QStringLiteral("A"));
    TTable table(Bridge, QStringLiteral("tclients"));
    QTableView grid;
    grid.setModel(&table.Model());
    grid.show();
    table.Open();
    EXPECT_EQ(grid.model()->rowCount(), 1);
    EXPECT_EQ(grid.model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Code"));
    table.Append();
    EXPECT_EQ(grid.model()->rowCount(), 2);
    table.FieldByName(QStringLiteral("Code")).SetValue(QStringLiteral("C2"));
    EXPECT_EQ(grid.model()->index(1, 1).data().toString(), QStringLiteral("C2"));
    table.Post();
    AddClient(QStringLiteral("C3"), QStringLiteral("C"));
    RefreshTable(table);
    EXPECT_EQ(grid.model()->rowCount(), 3);
    EXPECT_EQ(table.RecNo(), 1);
    table.Delete();
    EXPECT_EQ(grid.model()->rowCount(), 2);
    grid.repaint();
    table.Close();
    EXPECT_EQ(grid.model()->rowCount(), 0);
}

} // namespace
