// What the grids show after a table refresh: whatever changed in the database since the
// last refresh, by another program or by Zovrant itself, and nothing else; the current
// row kept by its id. A SQLite table that nobody changed keeps the rows it holds.

#include "data/Connection.h"
#include "data/Query.h"
#include "data/Table.h"
#include "tests/support/TestDatabases.h"

#include <QSqlDatabase>
#include <gtest/gtest.h>

namespace {

class RefreshTest : public ::testing::TestWithParam<TTestEngine> {
protected:
    TTestDatabases Bases{GetParam()};
    TConnection Alerts;
    TConnection Bridge;

    void SetUp() override
    {
        Alerts.Open(Bases.AlertsSource());
        Bridge.Open(Bases.BridgeSource());
    }

    // A row added by the strategy platform (the test's own connection).
    qint64 PlatformAdds(const QString& symbol)
    {
        return Bases.Insert(Bases.AlertsPath(), QStringLiteral("FilledOrders"),
                            {{QStringLiteral("Symbol"), symbol}, {QStringLiteral("Order"), QStringLiteral("Buy 1 at 1 Limit")}});
    }
    static QStringList Symbols(TTable& table)
    {
        QStringList symbols;
        for (int row = 0; row < table.RecordCount(); ++row)
            symbols << table.Model().data(table.Model().index(row, table.FieldIndex(QStringLiteral("Symbol")))).toString();
        return symbols;
    }
    static int CurrentId(TTable& table) { return table.FieldByName(QStringLiteral("ID")).AsInteger(); }
};

INSTANTIATE_TEST_SUITE_P(Engines, RefreshTest, ::testing::Values(TTestEngine::Sqlite, TTestEngine::Odbc),
                         [](const auto& info) { return std::string(EngineName(info.param)); });

TEST_P(RefreshTest, RowsAddedChangedOrDeletedByThePlatformShowAtTheNextRefresh)
{
    for (const QString& symbol : {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")})
        PlatformAdds(symbol);
    TTable table(Alerts, QStringLiteral("FilledOrders"));
    RefreshTable(table);
    table.Locate(QStringLiteral("ID"), 2);

    PlatformAdds(QStringLiteral("D"));
    RefreshTable(table);
    EXPECT_EQ(Symbols(table), (QStringList{"A", "B", "C", "D"}));
    EXPECT_EQ(CurrentId(table), 2);

    Bases.Exec(Bases.AlertsPath(), QStringLiteral("UPDATE FilledOrders SET Symbol = 'CC' WHERE ID = 3"));
    RefreshTable(table);
    EXPECT_EQ(Symbols(table), (QStringList{"A", "B", "CC", "D"}));
    EXPECT_EQ(CurrentId(table), 2);

    // The current row goes: the first row is current, as after any re-open.
    Bases.Exec(Bases.AlertsPath(), QStringLiteral("DELETE FROM FilledOrders WHERE ID = 2"));
    RefreshTable(table);
    EXPECT_EQ(Symbols(table), (QStringList{"A", "CC", "D"}));
    EXPECT_EQ(CurrentId(table), 1);
}

TEST_P(RefreshTest, ZovrantsOwnChangesShowAtTheNextRefresh)
{
    PlatformAdds(QStringLiteral("A"));
    PlatformAdds(QStringLiteral("B"));
    TTable table(Alerts, QStringLiteral("FilledOrders"));
    RefreshTable(table);
    table.Last();

    // The result reader marks an order as accepted through a statement of the same connection.
    TQuery update(Alerts);
    update.Add(QStringLiteral("UPDATE FilledOrders SET [Order Number] = :id WHERE id = :id"));
    update.SetParam(QStringLiteral("id"), 2);
    EXPECT_EQ(update.ExecSQL(), 1);
    RefreshTable(table);
    EXPECT_EQ(table.FieldByName(QStringLiteral("Order Number")).AsString(), QStringLiteral("2"));
    EXPECT_EQ(CurrentId(table), 2);

    // A row stored through another table object of the same connection.
    TTable other(Alerts, QStringLiteral("FilledOrders"));
    other.Open();
    other.Edit();
    other.FieldByName(QStringLiteral("Symbol")).SetValue(QStringLiteral("AA"));
    ASSERT_TRUE(other.Post());
    RefreshTable(table);
    EXPECT_EQ(Symbols(table), (QStringList{"AA", "B"}));

    // The transaction report emptied at a connection, every row at once.
    Bases.Insert(Bases.BridgePath(), QStringLiteral("tOrderNumber"), {{QStringLiteral("trans_id"), 1}});
    TTable report(Bridge, QStringLiteral("tOrderNumber"));
    RefreshTable(report);
    ASSERT_EQ(report.RecordCount(), 1);
    TQuery clear(Bridge);
    clear.Add(QStringLiteral("DELETE FROM tOrderNumber"));
    clear.ExecSQL();
    RefreshTable(report);
    EXPECT_TRUE(report.IsEmpty());
}

TEST_P(RefreshTest, RowsReadInsideATransactionThatRollsBackGoAtTheNextRefresh)
{
    TTable report(Bridge, QStringLiteral("tOrderNumber"));
    RefreshTable(report);
    QSqlDatabase database = Bridge.Database();
    ASSERT_TRUE(database.transaction());
    TQuery book(Bridge);
    book.Add(QStringLiteral("INSERT INTO tOrderNumber (trans_id) VALUES (:id)"));
    book.SetParam(QStringLiteral("id"), 1);
    book.ExecSQL();
    RefreshTable(report); // a tick served while the dispatch's bookings are still open
    EXPECT_EQ(report.RecordCount(), 1);
    database.rollback();
    RefreshTable(report);
    EXPECT_TRUE(report.IsEmpty());
}

TEST_P(RefreshTest, NothingChangedKeepsWhatTheGridShows)
{
    PlatformAdds(QStringLiteral("A"));
    PlatformAdds(QStringLiteral("B"));
    TTable table(Alerts, QStringLiteral("FilledOrders"));
    RefreshTable(table);
    table.Last();
    int resets = 0;
    QObject::connect(&table.Model(), &QAbstractItemModel::modelReset, [&resets] { ++resets; });
    RefreshTable(table);
    RefreshTable(table);
    EXPECT_EQ(Symbols(table), (QStringList{"A", "B"}));
    EXPECT_EQ(CurrentId(table), 2);
    EXPECT_FALSE(table.Eof()); // placed on its row as a re-read places it
    // SQLite tells that nothing changed and the grid is left alone; over ODBC there is no
    // such test and the table is read again.
    EXPECT_EQ(resets, GetParam() == TTestEngine::Sqlite ? 0 : 2);

    // A table without an id starts at its first row after every refresh, changed or not.
    Bases.Insert(Bases.BridgePath(), QStringLiteral("tSecCode"), {{QStringLiteral("Ticker"), QStringLiteral("X")}});
    Bases.Insert(Bases.BridgePath(), QStringLiteral("tSecCode"), {{QStringLiteral("Ticker"), QStringLiteral("Y")}});
    TTable noId(Bridge, QStringLiteral("tSecCode"));
    RefreshTable(noId);
    noId.Last();
    RefreshTable(noId);
    EXPECT_EQ(noId.RecNo(), 0);

    // A reconnection reads afresh.
    Alerts.Open(Bases.AlertsSource());
    EXPECT_FALSE(table.Active());
    RefreshTable(table);
    EXPECT_EQ(Symbols(table), (QStringList{"A", "B"}));
}

} // namespace
