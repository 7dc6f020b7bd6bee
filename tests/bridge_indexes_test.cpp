#include "base/OperationLog.h"
#include "data/BridgeIndexes.h"
#include "data/ConnectToBases.h"
#include "data/DatMod.h"
#include "data/Schemas.h"
#include "data/Settings.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/RecordingEvents.h"
#include "tests/support/TestDatabases.h"
#include "tests/support/TestEnvironment.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <functional>
#include <optional>
#include <gtest/gtest.h>

namespace {

const QStringList AllIndexes = {QStringLiteral("ZovrantOpenPositionsByKey"), QStringLiteral("ZovrantOrderNumberByOrder"),
                                QStringLiteral("ZovrantOrderNumberByTransaction"),
                                QStringLiteral("ZovrantPortfolioByClient")};

// The first column of every row of a statement run on a SQLite file through a connection
// of the test's own (with Zovrant's text comparison, as the test databases register it);
// the parameters are bound by name.
QStringList Column(const QString& path, const QString& statement, const QVariantMap& params = {})
{
    QStringList values;
    const QString name = QUuid::createUuid().toString();
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        database.setDatabaseName(path);
        if (database.open()) {
            QSqlQuery query(database);
            if (query.prepare(statement)) {
                for (auto it = params.cbegin(); it != params.cend(); ++it)
                    query.bindValue(QLatin1Char(':') + it.key(), it.value());
                if (query.exec()) {
                    while (query.next())
                        values << query.value(0).toString();
                }
            }
            if (values.isEmpty())
                values << QStringLiteral("failed: ") + query.lastError().text();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return values;
}

QStringList IndexesOf(const QString& path)
{
    QStringList names = Column(path, QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'index' "
                                                    "AND name LIKE 'Zovrant%' ORDER BY name"));
    names.removeIf([](const QString& name) { return name.startsWith(QStringLiteral("failed")); });
    return names;
}

// How SQLite runs the statement the query last ran, with the values it had.
QString PlanOf(const QString& path, const TQuery& query)
{
    QVariantMap params;
    for (const QString& name : query.ParamNames())
        params.insert(name, query.Param(name));
    QStringList details;
    const QString name = QUuid::createUuid().toString();
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        database.setDatabaseName(path);
        if (database.open()) {
            QSqlQuery plan(database);
            if (plan.prepare(QStringLiteral("EXPLAIN QUERY PLAN ") + query.Text())) {
                for (auto it = params.cbegin(); it != params.cend(); ++it)
                    plan.bindValue(QLatin1Char(':') + it.key(), it.value());
                if (plan.exec()) {
                    while (plan.next())
                        details << plan.value(3).toString();
                }
            }
        }
    }
    QSqlDatabase::removeDatabase(name);
    return details.join(QLatin1Char('\n'));
}

class BridgeIndexesTest : public ::testing::Test {
protected:
    TTestEnvironment Env;
    TTestDatabases Bases;
    TDatMod DatMod{Env.Environment};

    void SetUp() override { DatMod.conQuikData().Open(Bases.BridgeSource()); }
};

// Each statement the data module runs per account, per result line or per withdrawal finds
// its rows through an index on every column it compares, with no sort.
TEST_F(BridgeIndexesTest, TheDataModulesLookupsSearchByIndex)
{
    const TPositionKey key{QStringLiteral("C1"), QStringLiteral("SBER"), QStringLiteral("Trend(5,10)"),
                           QStringLiteral("Demo.wsp"), QStringLiteral("5 min"), QStringLiteral("Long")};
    struct TLookup {
        const char* What;
        std::function<const TQuery&()> Run;
        QString Index;
        int Columns; // compared through the index
    };
    const TLookup lookups[] = {
        {"portfolio", [&]() -> const TQuery& { DatMod.FindPortfolio(QStringLiteral("C1")); return DatMod.qPortfolio(); },
         QStringLiteral("ZovrantPortfolioByClient"), 1},
        {"transaction", [&]() -> const TQuery& { DatMod.FindTransaction(5); return DatMod.qQuikData(); },
         QStringLiteral("ZovrantOrderNumberByTransaction"), 1},
        {"result booking",
         [&]() -> const TQuery& {
             DatMod.BookTransactionResult(5, 3, QStringLiteral("new"), QStringLiteral("ok"), 123456);
             return DatMod.qQuikData();
         },
         QStringLiteral("ZovrantOrderNumberByTransaction"), 1},
        {"order numbers",
         [&]() -> const TQuery& { DatMod.LastOrderNumber(7, true, QStringLiteral("C1")); return DatMod.qQuikData(); },
         QStringLiteral("ZovrantOrderNumberByOrder"), 3},
        {"exit quantity", [&]() -> const TQuery& { DatMod.FindExitQuantity(key); return DatMod.qExitQty(); },
         QStringLiteral("ZovrantOpenPositionsByKey"), 6},
        {"exit deletion", [&]() -> const TQuery& { DatMod.DeleteExitQty(key); return DatMod.qExitQty(); },
         QStringLiteral("ZovrantOpenPositionsByKey"), 6},
    };
    for (const TLookup& lookup : lookups) {
        const QString plan = PlanOf(Bases.BridgePath(), lookup.Run());
        EXPECT_TRUE(plan.contains(QStringLiteral(" INDEX ") + lookup.Index + QStringLiteral(" ("))) << lookup.What << "\n"
                                                                                                   << plan.toStdString();
        EXPECT_EQ(plan.count(QStringLiteral("=?")), lookup.Columns) << lookup.What << "\n" << plan.toStdString();
        EXPECT_FALSE(plan.contains(QStringLiteral("SCAN"))) << lookup.What << "\n" << plan.toStdString();
        EXPECT_FALSE(plan.contains(QStringLiteral("TEMP B-TREE"))) << lookup.What << "\n" << plan.toStdString();
    }
}

// Keys with Cyrillic letters of either case, written through Zovrant's comparison: the
// index keeps them in its order and a lookup finds each one whatever the case it is asked in.
TEST_F(BridgeIndexesTest, LookupsThroughAnIndexIgnoreCyrillicCase)
{
    const QStringList stems = {QStringLiteral("Клиент"), QStringLiteral("КЛИЕНТ-"), QStringLiteral("ёж"),
                               QStringLiteral("Ёлка"), QStringLiteral("еж"), QStringLiteral("c"), QStringLiteral("Я_")};
    QStringList values;
    QVariantList binds;
    int assets = 0;
    for (int i = 0; i < 40; ++i) {
        for (const QString& stem : stems) {
            values << QStringLiteral("(?, ?)");
            binds << stem + QString::number(i) << double(++assets);
        }
    }
    Bases.Exec(Bases.BridgePath(),
               QStringLiteral("INSERT INTO tPortfolio (id_client, curallassets) VALUES ") + values.join(QLatin1Char(',')),
               binds);
    EXPECT_EQ(Column(Bases.BridgePath(), QStringLiteral("PRAGMA integrity_check")), QStringList{QStringLiteral("ok")});

    struct TFind {
        const char* Code;
        std::optional<double> Assets;
    };
    const TFind finds[] = {
        {"клиент0", 1.0}, {"КЛИЕНТ0", 1.0}, {"клиент-39", 275.0}, {"ЁЖ7", 52.0}, {"Еж7", 54.0},
        {"ёЛКА12", 88.0}, {"C3", 27.0}, {"я_5", 42.0}, {"клиент", std::nullopt}, {"ежа1", std::nullopt},
    };
    // One statement per client, and the rows a dispatch reads once for all its clients.
    for (const bool kept : {false, true}) {
        std::optional<TDatMod::TPortfolioReuse> reuse;
        if (kept)
            reuse.emplace(DatMod);
        for (const TFind& find : finds) {
            const std::optional<TPortfolioRow> row = DatMod.FindPortfolio(QString::fromUtf8(find.Code));
            ASSERT_EQ(row.has_value(), find.Assets.has_value()) << find.Code << (kept ? " kept" : "");
            if (row) {
                EXPECT_EQ(row->CurAllAssets, find.Assets) << find.Code << (kept ? " kept" : "");
            }
        }
    }
}

// While a dispatch keeps the portfolio, a client with two rows gets the first one, as the
// statement for one client gives it, and a row without a client or assets is no match or
// no value; once released, a row changed meanwhile is read afresh.
TEST_F(BridgeIndexesTest, KeptPortfolioAnswersAsTheStatementAndIsReadAgainAfterRelease)
{
    Bases.Exec(Bases.BridgePath(),
               QStringLiteral("INSERT INTO tPortfolio (id_client, curallassets) VALUES "
                              "('Кл1', 10), ('кл1', 20), (NULL, 30), ('К2', NULL), ('', 40)"));
    const QStringList codes = {QStringLiteral("КЛ1"), QStringLiteral("к2"), QStringLiteral(""),
                               QStringLiteral("нет")};
    QList<std::optional<TPortfolioRow>> single;
    for (const QString& code : codes)
        single << DatMod.FindPortfolio(code);
    ASSERT_TRUE(single[0].has_value());
    EXPECT_EQ(single[0]->CurAllAssets, 10.0);
    ASSERT_TRUE(single[1].has_value());
    EXPECT_FALSE(single[1]->CurAllAssets.has_value());
    ASSERT_TRUE(single[2].has_value());
    EXPECT_EQ(single[2]->CurAllAssets, 40.0);
    EXPECT_FALSE(single[3].has_value());
    {
        const TDatMod::TPortfolioReuse reuse(DatMod);
        for (int i = 0; i < codes.size(); ++i) {
            const std::optional<TPortfolioRow> row = DatMod.FindPortfolio(codes[i]);
            ASSERT_EQ(row.has_value(), single[i].has_value()) << codes[i].toStdString();
            if (row) {
                EXPECT_EQ(row->CurAllAssets, single[i]->CurAllAssets) << codes[i].toStdString();
            }
        }
        Bases.Exec(Bases.BridgePath(), QStringLiteral("UPDATE tPortfolio SET curallassets = 11 WHERE curallassets = 10"));
        EXPECT_EQ(DatMod.FindPortfolio(QStringLiteral("кл1"))->CurAllAssets, 10.0); // read once for the dispatch
    }
    EXPECT_EQ(DatMod.FindPortfolio(QStringLiteral("кл1"))->CurAllAssets, 11.0);
}

// A bridge file made before the indexes gets them when the program connects to it, over
// SQLite; over ODBC it is left as it is. Either way the lookups give the same rows.
class BridgeIndexesAtConnectTest : public ::testing::TestWithParam<TTestEngine> {
protected:
    TTestEnvironment Env;
    TTestDatabases Bases{GetParam()};
    TSettings Settings;
    TOperationLog Log{Env.Environment};
    TRecordingEvents Events;
    TDatMod DatMod{Env.Environment, Events};

    // A bridge file of the given tables only, without indexes.
    QString OldBridgeFile(const QString& name, const QStringList& tables)
    {
        const QString path = Bases.FilePath(name);
        for (const QString& statement : tables)
            Bases.Exec(path, statement);
        Bases.Insert(path, QStringLiteral("tPortfolio"), {{"id_client", "C1"}, {"curallassets", 500.0}});
        Bases.Insert(path, QStringLiteral("tOrderNumber"),
                     {{"trans_id", 4}, {"id_order", 7}, {"filled", true}, {"code", "C1"}, {"order_number", 9001}});
        return path;
    }
    void Connect(const QString& bridgePath)
    {
        Settings.edtAlerts = Bases.AlertsSource();
        Settings.edtQuikData = Bases.Source(bridgePath);
        ASSERT_TRUE(ConnectDatabases(Settings, DatMod, Log, Events));
    }
    bool Sqlite() const { return GetParam() == TTestEngine::Sqlite; }
};

INSTANTIATE_TEST_SUITE_P(Engines, BridgeIndexesAtConnectTest, ::testing::Values(TTestEngine::Sqlite, TTestEngine::Odbc),
                         [](const auto& info) { return std::string(EngineName(info.param)); });

TEST_P(BridgeIndexesAtConnectTest, AnOldBridgeFileGetsTheIndexesOverSqliteOnly)
{
    const QString path = OldBridgeFile(QStringLiteral("Old.db"), BridgeSchema());
    ASSERT_TRUE(IndexesOf(path).isEmpty());
    Connect(path);
    EXPECT_EQ(IndexesOf(path), Sqlite() ? AllIndexes : QStringList());
    const std::optional<TPortfolioRow> portfolio = DatMod.FindPortfolio(QStringLiteral("c1"));
    ASSERT_TRUE(portfolio.has_value());
    EXPECT_EQ(portfolio->CurAllAssets, 500.0);
    EXPECT_EQ(DatMod.LastOrderNumber(7, true, QStringLiteral("C1")), QStringLiteral("9001"));

    // Connecting again finds them there.
    Connect(path);
    EXPECT_EQ(IndexesOf(path), Sqlite() ? AllIndexes : QStringList());
}

TEST_P(BridgeIndexesAtConnectTest, AFileThatCannotTakeAnIndexKeepsWorkingWithoutIt)
{
    // Made by another program, without the open positions.
    QStringList tables = BridgeSchema();
    tables.removeIf([](const QString& statement) { return statement.contains(QStringLiteral("[tClientOpenPositions]")); });
    const QString path = OldBridgeFile(QStringLiteral("Partial.db"), tables);
    Connect(path);
    QStringList expected = AllIndexes;
    expected.removeAll(QStringLiteral("ZovrantOpenPositionsByKey"));
    EXPECT_EQ(IndexesOf(path), Sqlite() ? expected : QStringList());
    EXPECT_TRUE(DatMod.conQuikData().Connected());
    EXPECT_TRUE(DatMod.FindPortfolio(QStringLiteral("C1")).has_value());
}

} // namespace
