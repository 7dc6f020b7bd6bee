// What the grids show after a table refresh: whatever changed in the database since the
// last refresh, by another program or by Zovrant itself, and nothing else; the current
// row kept by its id. A SQLite table that nobody changed keeps the rows it holds.

#include "base/Error.h"
#include "data/ChangeJournal.h"
#include "data/Connection.h"
#include "data/DatMod.h"
#include "data/Query.h"
#include "data/Table.h"
#include "tests/support/TestDatabases.h"
#include "tests/support/TestEnvironment.h"

#include <QAbstractItemModelTester>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
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
    // SQLite tells that nothing changed and the grid is left alone; over ODBC the table
    // reads what may have changed (the ids above its last, the rows it holds, a slice of
    // its ids), finds nothing, and leaves the grid alone too.
    EXPECT_EQ(resets, 0);

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

TEST_P(RefreshTest, ACurrentRowThatCannotBeReadIsAnErrorNotAnEmptyRow)
{
    PlatformAdds(QStringLiteral("A"));
    TTable table(Alerts, QStringLiteral("FilledOrders"));
    RefreshTable(table); // the ids only: no row read yet
    Bases.Exec(Bases.AlertsPath(), QStringLiteral("DROP TABLE FilledOrders"));
    EXPECT_THROW(table.FieldByName(QStringLiteral("Symbol")).AsString(), TError);
    // A view asking for the cell gets an empty one: it must get an answer.
    EXPECT_FALSE(table.Model().data(table.Model().index(0, table.FieldIndex(QStringLiteral("Symbol")))).isValid());
    RefreshTable(table);
    EXPECT_FALSE(table.Active());
}

TEST_P(RefreshTest, ATableWhoseColumnsChangedIsReadAgain)
{
    if (GetParam() == TTestEngine::Odbc)
        GTEST_SKIP() << "through the SQLite ODBC driver the connection goes on reading the columns it read "
                        "before another connection renamed one";
    PlatformAdds(QStringLiteral("A"));
    TTable table(Alerts, QStringLiteral("FilledOrders"));
    RefreshTable(table);
    EXPECT_EQ(table.FieldByName(QStringLiteral("Symbol")).AsString(), QStringLiteral("A"));
    Bases.Exec(Bases.AlertsPath(), QStringLiteral("ALTER TABLE FilledOrders RENAME COLUMN Symbol TO Ticker"));
    RefreshTable(table);
    ASSERT_TRUE(table.Active());
    EXPECT_FALSE(table.HasField(QStringLiteral("Symbol")));
    EXPECT_EQ(table.FieldByName(QStringLiteral("Ticker")).AsString(), QStringLiteral("A"));
}

// ---- the change journal of a SQLite alert database ----

class ChangeJournalTest : public ::testing::Test {
protected:
    TTestDatabases Bases{TTestEngine::Sqlite};
    TConnection Alerts;
    TTable Table{Alerts, QStringLiteral("FilledOrders")};
    int Resets = 0;

    void SetUp() override
    {
        Alerts.Open(Bases.AlertsSource());
        for (const char* symbol : {"A", "B", "C", "D", "E"})
            Platform(QStringLiteral("INSERT INTO FilledOrders (Symbol, [Order]) VALUES (?, 'Buy 1 at 1 Limit')"),
                     {QLatin1String(symbol)});
        RefreshTable(Table);
        QObject::connect(&Table.Model(), &QAbstractItemModel::modelReset, [this] { ++Resets; });
    }
    void Platform(const QString& statement, const QVariantList& binds = {})
    {
        Bases.Exec(Bases.AlertsPath(), statement, binds);
    }
    // Every cell of the table as the database holds it now, read as any program reads it.
    QList<QStringList> DatabaseRows()
    {
        QList<QStringList> rows;
        QSqlQuery query(Alerts.Database());
        EXPECT_TRUE(query.exec(QStringLiteral("SELECT * FROM FilledOrders")));
        while (query.next()) {
            QStringList row;
            for (int i = 0; i < query.record().count(); ++i)
                row << query.value(i).toString();
            rows << row;
        }
        return rows;
    }
    QList<QStringList> TableRows()
    {
        QList<QStringList> rows;
        for (int row = 0; row < Table.RecordCount(); ++row) {
            QStringList cells;
            for (int column = 0; column < Table.FieldCount(); ++column)
                cells << Table.Model().data(Table.Model().index(row, column)).toString();
            rows << cells;
        }
        return rows;
    }
    qint64 CurrentId() { return Table.FieldByName(QStringLiteral("ID")).AsLargeInt(); }
};

TEST_F(ChangeJournalTest, OnlyChangedRowsAreReadAndTheGridFollowsWithoutAReset)
{
    // Fails the test on any insertion, removal or change the model reports wrongly.
    QAbstractItemModelTester tester(&Table.Model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    Table.Locate(QStringLiteral("ID"), 3);
    struct TStep {
        const char* What;
        QStringList Statements;
        qint64 CurrentId;
    };
    const TStep steps[] = {
        {"a new row", {"INSERT INTO FilledOrders (Symbol) VALUES ('F')"}, 3},
        {"the current row changed", {"UPDATE FilledOrders SET Symbol = 'CC' WHERE ID = 3"}, 3},
        {"another row given its order number", {"UPDATE FilledOrders SET [Order Number] = '77' WHERE ID = 1"}, 3},
        {"a row before the current one deleted", {"DELETE FROM FilledOrders WHERE ID = 2"}, 3},
        {"a row added and deleted between two ticks",
         {"INSERT INTO FilledOrders (Symbol) VALUES ('G')", "DELETE FROM FilledOrders WHERE Symbol = 'G'"}, 3},
        {"a row given another id", {"UPDATE FilledOrders SET ID = 50 WHERE ID = 4"}, 3},
        {"several rows at once", {"INSERT INTO FilledOrders (Symbol) SELECT Symbol || '2' FROM FilledOrders"}, 3},
        {"the current row deleted: the first row is current", {"DELETE FROM FilledOrders WHERE ID = 3"}, 1},
        {"every row deleted", {"DELETE FROM FilledOrders"}, 0},
        {"a row into the empty table", {"INSERT INTO FilledOrders (Symbol) VALUES ('H')"}, 0},
    };
    for (const TStep& step : steps) {
        for (const QString& statement : step.Statements)
            Platform(statement);
        RefreshTable(Table);
        ASSERT_TRUE(Table.Active()) << step.What;
        EXPECT_EQ(TableRows(), DatabaseRows()) << step.What;
        if (step.CurrentId > 0)
            EXPECT_EQ(CurrentId(), step.CurrentId) << step.What;
        else
            EXPECT_EQ(Table.RecNo(), Table.IsEmpty() ? -1 : 0) << step.What;
    }
    EXPECT_EQ(Resets, 0);
}

TEST_F(ChangeJournalTest, WhereTheJournalCannotTellEveryChangeTheTableIsReadInFull)
{
    struct TCase {
        const char* What;
        QStringList Statements;
    };
    const TCase cases[] = {
        {"more changes at once than the journal keeps",
         {QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                         "INSERT INTO FilledOrders (Symbol) SELECT 'X' || i FROM n")
              .arg(JournalKeptChanges + 1)}},
        {"the journal emptied", {"DELETE FROM ZovrantChanges", "UPDATE FilledOrders SET Symbol = 'Y' WHERE ID = 2"}},
        {"a trigger dropped",
         {"DROP TRIGGER ZovrantChanges_FilledOrders_Insert", "INSERT INTO FilledOrders (Symbol) VALUES ('Z')"}},
    };
    for (const TCase& current : cases) {
        const int resetsBefore = Resets;
        for (const QString& statement : current.Statements)
            Platform(statement);
        RefreshTable(Table);
        ASSERT_TRUE(Table.Active()) << current.What;
        EXPECT_EQ(TableRows(), DatabaseRows()) << current.What;
        EXPECT_EQ(Resets, resetsBefore + 1) << current.What;
    }
}

TEST_F(ChangeJournalTest, RowsStoredThroughTheTableItselfAreFollowedByAFullRead)
{
    Table.Last();
    Table.FieldByName(QStringLiteral("ID")).SetValue(1000);
    ASSERT_TRUE(Table.Post());
    Platform(QStringLiteral("INSERT INTO FilledOrders (Symbol) VALUES ('F')"));
    RefreshTable(Table);
    EXPECT_EQ(TableRows(), DatabaseRows());
    EXPECT_EQ(CurrentId(), 1000);
}

// ---- the transaction report: bookings join what the grid holds ----

class ReportBookingsTest : public ::testing::TestWithParam<TTestEngine> {
protected:
    static constexpr int OldRows = 5000;
    TTestEnvironment Env;
    TTestDatabases Bases{GetParam()};
    TDatMod DatMod{Env.Environment};

    void SetUp() override
    {
        Bases.Exec(Bases.BridgePath(),
                   QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                                  "INSERT INTO tOrderNumber (trans_id, id_order, filled, code, status) "
                                  "SELECT i, i, 1, 'C1', 3 FROM n").arg(OldRows));
        DatMod.conQuikData().Open(Bases.BridgeSource());
        DatMod.OpenBridgeTables();
        RefreshTable(DatMod.tOrderNumber()); // the table tick
    }
    QVariant Cell(int row, const char* column)
    {
        TTable& report = DatMod.tOrderNumber();
        return report.Model().data(report.Model().index(row, report.FieldIndex(QLatin1String(column))));
    }
};

INSTANTIATE_TEST_SUITE_P(Engines, ReportBookingsTest, ::testing::Values(TTestEngine::Sqlite, TTestEngine::Odbc),
                         [](const auto& info) { return std::string(EngineName(info.param)); });

TEST_P(ReportBookingsTest, ADispatchsBookingsAreAddedToTheGridWithoutReadingTheReportAgain)
{
    TTable& report = DatMod.tOrderNumber();
    ASSERT_EQ(report.RecordCount(), OldRows);
    QAbstractItemModelTester tester(&report.Model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    report.Last(); // the operator looks at the newest bookings
    EXPECT_EQ(Cell(OldRows - 1, "trans_id").toInt(), OldRows);
    int resets = 0;
    int inserted = 0;
    QObject::connect(&report.Model(), &QAbstractItemModel::modelReset, [&resets] { ++resets; });
    QObject::connect(&report.Model(), &QAbstractItemModel::rowsInserted,
                     [&inserted](const QModelIndex&, int first, int last) { inserted += last - first + 1; });

    // One order to three clients: three bookings, shown once the dispatch returns.
    for (int client = 1; client <= 3; ++client)
        DatMod.InsertOrderNumber(OldRows + client, 77, true, QStringLiteral("C%1").arg(client));
    ASSERT_TRUE(WaitUntil([&] { return report.RecordCount() == OldRows + 3; }));
    EXPECT_EQ(inserted, 3);
    EXPECT_EQ(resets, 0);
    EXPECT_EQ(report.RecNo(), OldRows - 1); // the current row stays on its booking
    for (int client = 1; client <= 3; ++client) {
        EXPECT_EQ(Cell(OldRows - 1 + client, "trans_id").toInt(), OldRows + client);
        EXPECT_EQ(Cell(OldRows - 1 + client, "code").toString(), QStringLiteral("C%1").arg(client));
    }

    // A result booked on a row the operator sees shows at the next tick, in place.
    int changed = 0;
    QObject::connect(&report.Model(), &QAbstractItemModel::dataChanged, [&changed] { ++changed; });
    Bases.Exec(Bases.BridgePath(), QStringLiteral("UPDATE tOrderNumber SET status = 3, order_number = 555 WHERE trans_id = ?"),
               {OldRows + 2});
    RefreshTable(report);
    EXPECT_EQ(Cell(OldRows + 1, "order_number").toLongLong(), 555);
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(resets, 0);
}

} // namespace
