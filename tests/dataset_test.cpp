#include "base/Error.h"
#include "data/Connection.h"
#include "data/DatMod.h"
#include "data/Query.h"
#include "data/SqlValue.h"
#include "data/Table.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/TestDatabases.h"
#include "tests/support/TestEnvironment.h"

#include <QFile>
#include <QProcess>
#include <QSet>
#include <QSqlError>
#include <QSqlRecord>
#include <QSqlQuery>
#include <QStandardPaths>
#include <gtest/gtest.h>

namespace {

// The same behaviour through Qt's SQLite driver and through ODBC.
class DataSetTest : public ::testing::TestWithParam<TTestEngine> {
protected:
    TTestDatabases Bases{GetParam()};
    TConnection Bridge;
    TConnection Alerts;

    void SetUp() override
    {
        Bridge.Open(Bases.BridgeSource());
        Alerts.Open(Bases.AlertsSource());
        ASSERT_EQ(Bridge.Engine(), GetParam() == TTestEngine::Odbc ? TConnection::TEngine::Odbc
                                                                   : TConnection::TEngine::Sqlite);
    }

    qint64 AddClient(const QString& code, const QString& client, bool active = true)
    {
        return Bases.Insert(Bases.BridgePath(), QStringLiteral("tclients"),
                            {{QStringLiteral("Code"), code}, {QStringLiteral("client"), client},
                             {QStringLiteral("Active"), active}});
    }
    qint64 AddFilled(const QString& symbol)
    {
        return Bases.Insert(Bases.AlertsPath(), QStringLiteral("FilledOrders"),
                            {{QStringLiteral("Symbol"), symbol}, {QStringLiteral("Order"), QStringLiteral("Buy 1 at 1 Limit")}});
    }
};

INSTANTIATE_TEST_SUITE_P(Engines, DataSetTest, ::testing::Values(TTestEngine::Sqlite, TTestEngine::Odbc),
                         [](const auto& info) { return std::string(EngineName(info.param)); });

TEST_P(DataSetTest, MissingFileIsAnErrorNamingItAndIsNotCreated)
{
    const QString missing = Bases.FilePath(QStringLiteral("nowhere.db"));
    TConnection connection;
    try {
        connection.Open(Bases.Source(missing));
        FAIL() << "a missing file opened";
    } catch (const TError& error) {
        if (GetParam() == TTestEngine::Sqlite) {
            EXPECT_TRUE(error.Text().contains(missing)) << error.Text().toStdString();
        }
        EXPECT_FALSE(error.Text().isEmpty());
    }
    EXPECT_FALSE(connection.Connected());
    EXPECT_FALSE(QFile::exists(missing));
}

TEST(ConnectionTest, SqliteFileThatIsNoDatabaseIsAnErrorAtConnect)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Zovrant.ini"));
    WriteWholeFile(path, QByteArray("[Position]\r\nrgpPositionSize=0\r\n").repeated(100));
    TConnection connection;
    EXPECT_THROW(connection.Open(path), TError);
    EXPECT_FALSE(connection.Connected());
    EXPECT_EQ(ReadWholeFile(path), QByteArray("[Position]\r\nrgpPositionSize=0\r\n").repeated(100));
}

TEST(ConnectionTest, SourceChoosesTheEngine)
{
    struct Case { QString source; TConnection::TEngine engine; QString odbc; };
    const Case cases[] = {
        {QStringLiteral("C:\\Omega\\Alerts11.MDB"), TConnection::TEngine::Odbc,
         QStringLiteral("Driver={Microsoft Access Driver (*.mdb, *.accdb)};DBQ=C:\\Omega\\Alerts11.MDB;")},
        {QStringLiteral("/data/q.accdb"), TConnection::TEngine::Odbc, {}},
        {QStringLiteral("dsn=Alerts"), TConnection::TEngine::Odbc, QStringLiteral("dsn=Alerts")},
        {QStringLiteral("DRIVER=SQLite3;Database=/x.db;"), TConnection::TEngine::Odbc,
         QStringLiteral("DRIVER=SQLite3;Database=/x.db;")},
        {QStringLiteral("/data/QuikData.db"), TConnection::TEngine::Sqlite, {}},
        {QStringLiteral("/data/mdb"), TConnection::TEngine::Sqlite, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TConnection::EngineOf(c.source), c.engine) << c.source.toStdString();
        if (!c.odbc.isEmpty()) {
            EXPECT_EQ(TConnection::OdbcConnectionString(c.source), c.odbc);
        }
    }
}

TEST_P(DataSetTest, CloseClosesEveryAttachedDataSetInOrder)
{
    TTable first(Bridge, QStringLiteral("tclients"));
    TQuery second(Bridge);
    TTable third(Bridge, QStringLiteral("tSecCode"));
    ASSERT_EQ(Bridge.DataSets(), (QList<TDataSet*>{&first, &second, &third}));
    second.SQL = {QStringLiteral("SELECT * FROM tclients")};
    first.Open();
    second.Open();
    third.Open();
    Bridge.Close();
    EXPECT_FALSE(Bridge.Connected());
    EXPECT_FALSE(first.Active());
    EXPECT_FALSE(second.Active());
    EXPECT_FALSE(third.Active());
    EXPECT_THROW(first.Open(), TError);
}

TEST_P(DataSetTest, WalksRowsAndReadsFieldsWithoutRegardToCase)
{
    Bases.Insert(Bases.AlertsPath(), QStringLiteral("FilledOrders"),
                 {{QStringLiteral("Symbol"), QStringLiteral("СБЕР")}, {QStringLiteral("Fill Price"), 25.5},
                  {QStringLiteral("Time Filled"), QStringLiteral("2008-12-09 10:30:05")},
                  {QStringLiteral("Order Number"), QStringLiteral("17")}, {QStringLiteral("hWindow"), 3}});
    AddFilled(QStringLiteral("GAZP"));
    TTable table(Alerts, QStringLiteral("FilledOrders"));
    table.Open();
    ASSERT_EQ(table.RecordCount(), 2);
    EXPECT_FALSE(table.Eof());
    EXPECT_EQ(table.FieldByName(QStringLiteral("id")).AsInteger(), 1);
    EXPECT_EQ(table.FieldByName(QStringLiteral("SYMBOL")).AsString(), QStringLiteral("СБЕР"));
    EXPECT_DOUBLE_EQ(table.FieldByName(QStringLiteral("fill price")).AsFloat(), 25.5);
    EXPECT_EQ(table.FieldByName(QStringLiteral("Time Filled")).AsDateTime(),
              QDateTime(QDate(2008, 12, 9), QTime(10, 30, 5)));
    EXPECT_EQ(table.FieldByName(QStringLiteral("order number")).AsInteger(), 17);
    EXPECT_EQ(table.FieldByName(QStringLiteral("hwindow")).AsInteger(), 3);
    EXPECT_TRUE(table.FieldByName(QStringLiteral("Description")).IsNull());
    EXPECT_EQ(table.FieldByName(QStringLiteral("Description")).AsString(), QString());
    EXPECT_EQ(table.FieldByName(QStringLiteral("Slippage")).AsFloat(), 0.0);
    EXPECT_FALSE(table.FieldByName(QStringLiteral("Time Placed")).AsDateTime().isValid());
    EXPECT_TRUE(table.HasField(QStringLiteral("ORDERTYPE")));
    EXPECT_FALSE(table.HasField(QStringLiteral("Price")));
    EXPECT_THROW(table.FieldByName(QStringLiteral("Price")), TError);
    EXPECT_THROW(table.FieldByName(QStringLiteral("Symbol")).AsInteger(), TError);

    QStringList symbols;
    for (table.First(); !table.Eof(); table.Next())
        symbols << table.FieldByName(QStringLiteral("Symbol")).AsString();
    EXPECT_EQ(symbols, (QStringList{QStringLiteral("СБЕР"), QStringLiteral("GAZP")}));
    table.Last();
    EXPECT_TRUE(table.Eof());
    EXPECT_EQ(table.FieldByName(QStringLiteral("Symbol")).AsString(), QStringLiteral("GAZP"));
}

TEST_P(DataSetTest, EmptyTableIsEmptyAndEof)
{
    TTable table(Bridge, QStringLiteral("tStrategy"));
    table.Open();
    EXPECT_TRUE(table.IsEmpty());
    EXPECT_TRUE(table.Eof());
    EXPECT_EQ(table.RecNo(), -1);
    EXPECT_TRUE(table.FieldByName(QStringLiteral("strategy")).IsNull());
    EXPECT_EQ(table.Model().columnCount(), 2);
}

TEST_P(DataSetTest, LocateIgnoresCaseForCyrillicAndLatin)
{
    AddClient(QStringLiteral("C1"), QStringLiteral("Иванов"));
    AddClient(QStringLiteral("c2"), QStringLiteral("Petrov"));
    TTable table(Bridge, QStringLiteral("tclients"));
    table.Open();
    EXPECT_TRUE(table.Locate(QStringLiteral("CLIENT"), QStringLiteral("ИВАНОВ")));
    EXPECT_EQ(table.FieldByName(QStringLiteral("Code")).AsString(), QStringLiteral("C1"));
    EXPECT_TRUE(table.Locate(QStringLiteral("code"), QStringLiteral("C2")));
    EXPECT_EQ(table.RecNo(), 1);
    EXPECT_FALSE(table.Locate(QStringLiteral("code"), QStringLiteral("C3")));
    EXPECT_EQ(table.RecNo(), 1);
    EXPECT_TRUE(table.Locate(QStringLiteral("id"), 1));
    EXPECT_EQ(table.RecNo(), 0);
}

TEST_P(DataSetTest, TextComparisonInStatementsIgnoresCyrillicCase)
{
    AddClient(QStringLiteral("КЛ1"), QStringLiteral("Сидоров"));
    TQuery query(Bridge);
    query.SQL = {QStringLiteral("SELECT *"), QStringLiteral("FROM tClients"), QStringLiteral("WHERE code= :code")};
    for (const QString& code : {QStringLiteral("кл1"), QStringLiteral("Кл1"), QStringLiteral("КЛ1")}) {
        query.Close();
        query.SetParam(QStringLiteral("code"), code);
        query.Open();
        EXPECT_EQ(query.RecordCount(), 1) << code.toStdString();
    }
}

TEST_P(DataSetTest, AppendEditDeleteStoreRows)
{
    TTable table(Bridge, QStringLiteral("tclients"));
    table.Open();
    table.Append();
    EXPECT_EQ(table.State(), TDataSet::TState::Insert);
    table.FieldByName(QStringLiteral("Code")).SetValue(QStringLiteral("C1"));
    table.FieldByName(QStringLiteral("client")).SetValue(QStringLiteral("Иванов \"ИП\""));
    table.FieldByName(QStringLiteral("Active")).SetValue(true);
    ASSERT_TRUE(table.Post());
    EXPECT_EQ(table.State(), TDataSet::TState::Browse);
    // The key the database gave is read back.
    EXPECT_GT(table.FieldByName(QStringLiteral("id")).AsInteger(), 0);
    EXPECT_EQ(Bases.Scalar(Bases.BridgePath(), QStringLiteral("SELECT client FROM tclients WHERE Code='C1'")).toString(),
              QStringLiteral("Иванов \"ИП\""));

    table.Append();
    table.FieldByName(QStringLiteral("Code")).SetValue(QStringLiteral("C2"));
    table.Post();
    table.Locate(QStringLiteral("Code"), QStringLiteral("C1"));
    table.FieldByName(QStringLiteral("note")).SetValue(QStringLiteral("VIP"));
    EXPECT_EQ(table.State(), TDataSet::TState::Edit);
    table.Post();
    EXPECT_EQ(Bases.Scalar(Bases.BridgePath(), QStringLiteral("SELECT note FROM tclients WHERE Code='C1'")).toString(),
              QStringLiteral("VIP"));
    EXPECT_TRUE(Bases.Scalar(Bases.BridgePath(), QStringLiteral("SELECT note FROM tclients WHERE Code='C2'")).isNull());

    table.Append();
    table.FieldByName(QStringLiteral("Code")).SetValue(QStringLiteral("C3"));
    table.Cancel();
    EXPECT_EQ(table.RecordCount(), 2);

    table.Locate(QStringLiteral("Code"), QStringLiteral("C1"));
    table.Delete();
    EXPECT_EQ(table.RecordCount(), 1);
    EXPECT_EQ(table.FieldByName(QStringLiteral("Code")).AsString(), QStringLiteral("C2"));
    EXPECT_EQ(Bases.Scalar(Bases.BridgePath(), QStringLiteral("SELECT COUNT(*) FROM tclients")).toInt(), 1);
}

TEST_P(DataSetTest, TableWithoutKeyChangesExactlyTheRowShown)
{
    for (const QString& ticker : {QStringLiteral("SBER"), QStringLiteral("GAZP"), QStringLiteral("GAZP")})
        Bases.Insert(Bases.BridgePath(), QStringLiteral("tSecCode"),
                     {{QStringLiteral("SecCode"), ticker}, {QStringLiteral("Ticker"), ticker}, {QStringLiteral("LotSize"), 10}});
    TTable table(Bridge, QStringLiteral("tSecCode"));
    table.Open();
    ASSERT_TRUE(table.Locate(QStringLiteral("Ticker"), QStringLiteral("SBER")));
    table.FieldByName(QStringLiteral("LotSize")).SetValue(1);
    ASSERT_TRUE(table.Post());
    EXPECT_EQ(Bases.Scalar(Bases.BridgePath(), QStringLiteral("SELECT SUM(LotSize) FROM tSecCode")).toInt(), 21);
    // Two identical rows cannot be told apart: the change is refused, both rows stay.
    ASSERT_TRUE(table.Locate(QStringLiteral("Ticker"), QStringLiteral("GAZP")));
    EXPECT_THROW(table.Delete(), TError);
    EXPECT_EQ(Bases.Scalar(Bases.BridgePath(), QStringLiteral("SELECT COUNT(*) FROM tSecCode")).toInt(), 3);
}

TEST_P(DataSetTest, BeforePostCanRefuseAndHooksFollowStoresAndDeletes)
{
    TTable table(Bridge, QStringLiteral("tStrategy"));
    QStringList calls;
    table.BeforePost = [&](TTable& t) {
        calls << QStringLiteral("before");
        return !t.FieldByName(QStringLiteral("strategy")).AsString().isEmpty();
    };
    table.AfterPost = [&](TTable&) { calls << QStringLiteral("after"); };
    table.AfterDelete = [&](TTable&) { calls << QStringLiteral("deleted"); };
    table.Open();
    table.Append();
    EXPECT_FALSE(table.Post());
    EXPECT_EQ(table.State(), TDataSet::TState::Insert);
    EXPECT_EQ(Bases.Scalar(Bases.BridgePath(), QStringLiteral("SELECT COUNT(*) FROM tStrategy")).toInt(), 0);
    table.FieldByName(QStringLiteral("strategy")).SetValue(QStringLiteral("Channel"));
    EXPECT_TRUE(table.Post());
    table.Delete();
    EXPECT_EQ(calls, (QStringList{QStringLiteral("before"), QStringLiteral("before"), QStringLiteral("after"),
                                  QStringLiteral("deleted")}));
    EXPECT_EQ(Bases.Scalar(Bases.BridgePath(), QStringLiteral("SELECT COUNT(*) FROM tStrategy")).toInt(), 0);
}

TEST_P(DataSetTest, ReadOnlyTableRefusesChanges)
{
    Bases.Insert(Bases.BridgePath(), QStringLiteral("tParam"), {{QStringLiteral("code"), QStringLiteral("SBER")}});
    TTable table(Bridge, QStringLiteral("tParam"), true);
    table.Open();
    EXPECT_THROW(table.Append(), TError);
    EXPECT_THROW(table.FieldByName(QStringLiteral("bid")).SetValue(1.5), TError);
    EXPECT_THROW(table.Delete(), TError);
    EXPECT_FALSE(table.Model().flags(table.Model().index(0, 0)).testFlag(Qt::ItemIsEditable));
}

TEST_P(DataSetTest, SortOrdersByOneColumnIgnoringCase)
{
    for (const QString& name : {QStringLiteral("beta"), QStringLiteral("Альфа"), QStringLiteral("Alpha"), QStringLiteral("альфа2")})
        Bases.Insert(Bases.BridgePath(), QStringLiteral("tWorkSpaces"), {{QStringLiteral("workspace"), name}});
    TTable table(Bridge, QStringLiteral("tWorkSpaces"));
    table.Open();
    table.Sort(QStringLiteral("workspace"));
    QStringList names;
    for (table.First(); !table.Eof(); table.Next())
        names << table.FieldByName(QStringLiteral("workspace")).AsString();
    EXPECT_EQ(names, (QStringList{QStringLiteral("Alpha"), QStringLiteral("beta"), QStringLiteral("Альфа"),
                                  QStringLiteral("альфа2")}));
}

TEST_P(DataSetTest, GridEditStoresTheCell)
{
    AddClient(QStringLiteral("C1"), QStringLiteral("A"));
    AddClient(QStringLiteral("C2"), QStringLiteral("B"));
    TTable table(Bridge, QStringLiteral("tclients"));
    table.Open();
    TDataSetModel& model = table.Model();
    const int column = table.FieldIndex(QStringLiteral("client"));
    ASSERT_TRUE(model.setData(model.index(1, column), QStringLiteral("Бета")));
    EXPECT_EQ(table.RecNo(), 1);
    EXPECT_EQ(model.data(model.index(1, column)).toString(), QStringLiteral("Бета"));
    EXPECT_EQ(Bases.Scalar(Bases.BridgePath(), QStringLiteral("SELECT client FROM tclients WHERE Code='C2'")).toString(),
              QStringLiteral("Бета"));
}

TEST_P(DataSetTest, BoundValuesDoNotChangeWhatAStatementDoes)
{
    AddClient(QStringLiteral("C1"), QStringLiteral("A"));
    AddClient(QStringLiteral("C2"), QStringLiteral("B"));
    TQuery query(Bridge);
    query.SQL = {QStringLiteral("SELECT *"), QStringLiteral("FROM tClients"), QStringLiteral("WHERE code= :code")};
    // Pasted between double quotes, the first would end the text and select every row,
    // and the second is read as the column's own name by SQLite.
    const QString values[] = {QStringLiteral("x\" or \"\"=\""), QStringLiteral("code"), QStringLiteral("C1\"")};
    for (const QString& value : values) {
        query.Close();
        query.SetParam(QStringLiteral("code"), value);
        query.Open();
        EXPECT_EQ(query.RecordCount(), 0) << value.toStdString();
    }
    // A value with quotes is stored as it is.
    query.Close();
    query.SQL = {QStringLiteral("UPDATE tClients"), QStringLiteral("SET note= :note"), QStringLiteral("WHERE code= :code")};
    query.SetParam(QStringLiteral("note"), QStringLiteral("a \"b\" 'c' [d] :e"));
    query.SetParam(QStringLiteral("code"), QStringLiteral("C2"));
    EXPECT_EQ(query.ExecSQL(), 1);
    EXPECT_EQ(Bases.Scalar(Bases.BridgePath(), QStringLiteral("SELECT note FROM tclients WHERE Code='C2'")).toString(),
              QStringLiteral("a \"b\" 'c' [d] :e"));
}

TEST_P(DataSetTest, KeptStatementsHoldNoLockAndDieWithTheConnection)
{
    AddClient(QStringLiteral("C1"), QStringLiteral("A"));
    TQuery query(Bridge);
    query.SQL = {QStringLiteral("SELECT *"), QStringLiteral("FROM tClients"), QStringLiteral("WHERE code= :code")};
    query.SetParam(QStringLiteral("code"), QStringLiteral("C1"));
    query.Open();
    ASSERT_EQ(query.RecordCount(), 1);
    TQuery update(Bridge);
    update.SQL = {QStringLiteral("UPDATE tClients SET note= :note WHERE code= :code")};
    update.SetParam(QStringLiteral("code"), QStringLiteral("C1"));
    update.SetParam(QStringLiteral("note"), QStringLiteral("ours"));
    EXPECT_EQ(update.ExecSQL(), 1);
    TQuery broken(Bridge);
    broken.SQL = {QStringLiteral("SELECT * FROM tClients WHERE NoSuchColumn = :x")};
    EXPECT_THROW(broken.Open(), TError);
    // Kept for the next use, none of them keeps the file locked: another program writes
    // at once (a held lock would make it wait and fail).
    Bases.Exec(Bases.BridgePath(), QStringLiteral("UPDATE tclients SET client='B' WHERE Code='C1'"));

    // The same texts run again, also on a new connection, and see what is there now.
    for (int run = 0; run < 2; ++run) {
        query.Close();
        query.Open();
        ASSERT_EQ(query.RecordCount(), 1) << run;
        EXPECT_EQ(query.FieldByName(QStringLiteral("client")).AsString(), QStringLiteral("B"));
        EXPECT_EQ(query.FieldByName(QStringLiteral("note")).AsString(), QStringLiteral("ours"));
        Bridge.Open(Bases.BridgeSource());
    }
    query.Close();
    query.SetParam(QStringLiteral("code"), QStringLiteral("C2"));
    query.Open();
    EXPECT_TRUE(query.IsEmpty());
}

// What a statement without rows did: the rows it changed, or the failure's text.
struct TExecResult {
    int Changed = -1;
    QString Failure;
    bool operator==(const TExecResult&) const = default;
};

// One statement of the sequence below: its text and its parameters by name.
struct TExecStep {
    QStringList Sql;
    QList<std::pair<QString, QVariant>> Params;
};

// Gives a query the step's text and parameters.
void SetStep(TQuery& query, const TExecStep& step)
{
    query.Close();
    query.SQL = step.Sql;
    query.ClearParams();
    for (const auto& [name, value] : step.Params)
        query.SetParam(name, value);
}

// Prepares the step's text on a plain Qt statement and binds its parameters as a TQuery
// binds them; false when the text does not prepare.
bool PrepareAsQueryDoes(QSqlQuery& statement, TConnection& connection, const TExecStep& step)
{
    TQuery names(connection); // for its reading of the parameter names only
    SetStep(names, step);
    if (!statement.prepare(names.Text()))
        return false;
    for (const QString& name : names.ParamNames())
        statement.bindValue(QLatin1Char(':') + name, SqlValue(names.Param(name)));
    return true;
}

TEST_P(DataSetTest, StatementsWithoutRowsDoWhatQtsDriverDoes)
{
    // The same statements run through TQuery::ExecSQL on one file and through a plain Qt
    // statement, bound as the query binds (":name" per name, the value as SqlValue makes
    // it), on a second file made alike: every result, failure text and stored value (its
    // kind too) must agree. Values repeat from one run to the next, as in a dispatch.
    const QString table = QStringLiteral(
        "CREATE TABLE t (id INTEGER PRIMARY KEY AUTOINCREMENT, k VARCHAR(10) NOT NULL UNIQUE, "
        "n INTEGER, r DOUBLE, b BOOLEAN, x BLOB, s VARCHAR(20), d DATETIME)");
    TTestDatabases other(GetParam());
    Bases.Exec(Bases.BridgePath(), table);
    other.Exec(other.BridgePath(), table);
    Bridge.Open(Bases.BridgeSource()); // sees the new table

    const QStringList insert = {QStringLiteral("INSERT INTO t (k, n, r, b, x, s)"),
                                QStringLiteral("VALUES (:k, :n, :r, :b, :x, :s)")};
    auto row = [&](const QVariant& k, const QVariant& n, const QVariant& r, const QVariant& b, const QVariant& x,
                   const QVariant& s) {
        return TExecStep{insert, {{QStringLiteral("k"), k}, {QStringLiteral("n"), n}, {QStringLiteral("r"), r},
                                  {QStringLiteral("b"), b}, {QStringLiteral("x"), x}, {QStringLiteral("s"), s}}};
    };
    const QByteArray bytes("\x00\x01\xff", 3);
    const TExecStep steps[] = {
        row(QStringLiteral("a"), 1, 1.5, true, bytes, QStringLiteral("text")),
        row(QStringLiteral("a"), 1, 1.5, true, bytes, QStringLiteral("text")), // UNIQUE fails
        row(QVariant(), 1, 1.5, true, bytes, QStringLiteral("text")),          // NOT NULL fails
        row(QStringLiteral("b"), 1, 1.5, true, bytes, QStringLiteral("text")), // one value changed
        row(QStringLiteral("c"), Q_INT64_C(5000000000), -0.0, false, QByteArray(""), QString()),
        row(QStringLiteral("d"), QVariant(QMetaType(QMetaType::Int)), 0.0, QVariant::fromValue(7u),
            QVariant(QMetaType(QMetaType::QByteArray)), QStringLiteral("")),
        row(QStringLiteral("e"), QVariant(), QVariant(), QVariant(), QVariant(), QVariant()),
        TExecStep{{QStringLiteral("UPDATE t SET s = :s WHERE k = :k")},
                  {{QStringLiteral("s"), QStringLiteral("ü Кириллица")}, {QStringLiteral("k"), QStringLiteral("a")}}},
        TExecStep{{QStringLiteral("UPDATE t SET s = :s WHERE k = :k")},
                  {{QStringLiteral("s"), QStringLiteral("ü Кириллица")}, {QStringLiteral("k"), QStringLiteral("zzz")}}},
        // One name twice; names in other case; a parameter never given; a kind of value
        // bound by Qt's own rules (a date and time).
        TExecStep{{QStringLiteral("UPDATE t SET s = :v WHERE s = :v OR k = :K")},
                  {{QStringLiteral("v"), QStringLiteral("text")}, {QStringLiteral("k"), QStringLiteral("c")}}},
        TExecStep{{QStringLiteral("UPDATE t SET n = :n WHERE k = :k OR k = :K")},
                  {{QStringLiteral("n"), 3}, {QStringLiteral("k"), QStringLiteral("d")}}},
        TExecStep{{QStringLiteral("UPDATE t SET n = :n, s = :missing WHERE k = :k")},
                  {{QStringLiteral("n"), 4}, {QStringLiteral("k"), QStringLiteral("e")}}},
        TExecStep{{QStringLiteral("UPDATE t SET d = :d WHERE k = :k")},
                  {{QStringLiteral("d"), QDateTime(QDate(2008, 12, 9), QTime(10, 30, 5))}, {QStringLiteral("k"), QStringLiteral("a")}}},
        TExecStep{{QStringLiteral("DELETE FROM t WHERE k = :k")}, {{QStringLiteral("k"), QStringLiteral("b")}}},
        TExecStep{{QStringLiteral("DELETE FROM t WHERE k = :k")}, {{QStringLiteral("k"), QStringLiteral("b")}}},
        // No parameter at all.
        TExecStep{{QStringLiteral("UPDATE t SET n = n + 1 WHERE k = 'a'")}, {}},
        TExecStep{{QStringLiteral("UPDATE t SET n = n + 1 WHERE k = 'a'")}, {}},
        // Failures of the text itself.
        TExecStep{{QStringLiteral("DELETE FROM nowhere WHERE k = :k")}, {{QStringLiteral("k"), QStringLiteral("b")}}},
        TExecStep{{QStringLiteral("DELETE FROM t WHERE k = :k; DELETE FROM t")}, {{QStringLiteral("k"), QStringLiteral("a")}}},
        TExecStep{{QStringLiteral("UPDATE t SET k = NULL WHERE k = :k")}, {{QStringLiteral("k"), QStringLiteral("a")}}},
        row(QStringLiteral("f"), 2, 2.5, true, bytes, QStringLiteral("text")),
    };

    TQuery query(Bridge);
    QList<TExecResult> ours;
    for (const TExecStep& step : steps) {
        SetStep(query, step);
        TExecResult result;
        try {
            result.Changed = query.ExecSQL();
        } catch (const TError& error) {
            result.Failure = error.Text();
        }
        ours << result;
    }

    QList<TExecResult> qts;
    {
        TConnection reference;
        reference.Open(other.BridgeSource());
        QSqlDatabase database = reference.Database();
        for (const TExecStep& step : steps) {
            QSqlQuery statement(database);
            TExecResult result;
            if (!PrepareAsQueryDoes(statement, reference, step)) {
                result.Failure = statement.lastError().text().trimmed();
            } else {
                if (statement.exec())
                    result.Changed = statement.numRowsAffected();
                else
                    result.Failure = statement.lastError().text().trimmed();
            }
            qts << result;
        }
    }
    ASSERT_EQ(ours.size(), qts.size());
    for (qsizetype i = 0; i < ours.size(); ++i) {
        EXPECT_EQ(ours[i].Changed, qts[i].Changed) << i;
        EXPECT_EQ(ours[i].Failure, qts[i].Failure) << i;
    }
    // Failures are reported, not swallowed.
    EXPECT_TRUE(ours[1].Failure.contains(QStringLiteral("UNIQUE"), Qt::CaseInsensitive)) << ours[1].Failure.toStdString();
    EXPECT_TRUE(ours[2].Failure.contains(QStringLiteral("NOT NULL"), Qt::CaseInsensitive)) << ours[2].Failure.toStdString();

    const QString dump = QStringLiteral(
        "SELECT group_concat(id || '|' || k || '|' || typeof(n) || ':' || quote(n) || '|' || typeof(r) || ':' "
        "|| quote(r) || '|' || typeof(b) || ':' || quote(b) || '|' || typeof(x) || ':' || quote(x) || '|' "
        "|| typeof(s) || ':' || quote(s) || '|' || typeof(d) || ':' || quote(d), ';') FROM (SELECT * FROM t ORDER BY id)");
    const QString stored = Bases.Scalar(Bases.BridgePath(), dump).toString();
    EXPECT_EQ(stored, other.Scalar(other.BridgePath(), dump).toString());
    EXPECT_TRUE(stored.contains(QStringLiteral("ü Кириллица"))) << stored.toStdString();
}

// What reading a statement's rows gave: the column names and every value with its kind,
// or the failure's text.
struct TReadResult {
    QStringList Names;
    QStringList Cells; // "type:null:value" per value, row after row
    QString Failure;
    bool operator==(const TReadResult&) const = default;
};

QString CellText(const QVariant& value)
{
    return QString::fromLatin1(value.metaType().name()) + QLatin1Char(':') + QString::number(value.isNull())
        + QLatin1Char(':') + (value.typeId() == QMetaType::QByteArray ? QString::fromLatin1(value.toByteArray().toHex())
                                                                      : value.toString());
}

TEST_P(DataSetTest, RowsReadAsQtsDriverReadsThem)
{
    // Statements opened by a TQuery on the file and read through a plain Qt statement,
    // bound as the query binds and read as a data set reads (a failure at once is
    // trimmed, one part-way is not): names, kinds, values and failures must agree.
    Bases.Exec(Bases.BridgePath(), QStringLiteral(
        "CREATE TABLE t (id INTEGER PRIMARY KEY AUTOINCREMENT, k VARCHAR(10), n INTEGER, r DOUBLE, "
        "b BOOLEAN, x BLOB, \"s q\" VARCHAR(20))"));
    const QVariantList rows[] = {
        {QStringLiteral("a"), 1, 1.5, true, QByteArray("\x00\x01", 2), QStringLiteral("ü Кириллица")},
        {QStringLiteral("b"), Q_INT64_C(5000000000), -0.0, false, QByteArray(""), QStringLiteral("")},
        {QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QVariant()},
        {QStringLiteral("d"), QStringLiteral("text in a number"), 3, QStringLiteral("true"), QStringLiteral("t"), 4.25},
    };
    for (const QVariantList& row : rows)
        Bases.Exec(Bases.BridgePath(), QStringLiteral("INSERT INTO t (k, n, r, b, x, \"s q\") VALUES (?, ?, ?, ?, ?, ?)"), row);
    Bridge.Open(Bases.BridgeSource());

    const TExecStep steps[] = {
        {{QStringLiteral("SELECT *"), QStringLiteral("FROM t ORDER BY id")}, {}},
        {{QStringLiteral("SELECT k AS \"K x\", n + 1, r * 2, x, NULL, [s q] FROM t WHERE k = :k OR :k IS NULL")},
         {{QStringLiteral("k"), QStringLiteral("a")}}},
        {{QStringLiteral("SELECT k AS \"K x\", n + 1, r * 2, x, NULL, [s q] FROM t WHERE k = :k OR :k IS NULL")},
         {{QStringLiteral("k"), QVariant()}}},
        {{QStringLiteral("SELECT * FROM t WHERE k = :k")}, {{QStringLiteral("k"), QStringLiteral("none")}}},
        {{QStringLiteral("SELECT COUNT(b) AS c, SUM(r) AS s, AVG(n) AS a, MAX(id) AS m FROM t WHERE id > :id")},
         {{QStringLiteral("id"), 100}}},
        {{QStringLiteral("SELECT COUNT(b) AS c, SUM(r) AS s, AVG(r) AS a, MAX(id) AS m FROM t WHERE id > :id")},
         {{QStringLiteral("id"), 0}}},
        {{QStringLiteral("SELECT COUNT(*), MAX(k) FROM t")}, {}},
        // Failures: of the text, at the first row, after the first row.
        {{QStringLiteral("SELECT nothing FROM t WHERE k = :k")}, {{QStringLiteral("k"), QStringLiteral("a")}}},
        {{QStringLiteral("SELECT abs(-9223372036854775807 - :one) FROM t")}, {{QStringLiteral("one"), 1}}},
        {{QStringLiteral("SELECT CASE WHEN id > :id THEN abs(-9223372036854775807 - 1) ELSE id END FROM t ORDER BY id")},
         {{QStringLiteral("id"), 1}}},
    };

    QList<TReadResult> ours;
    TQuery query(Bridge);
    for (const TExecStep& step : steps) {
        SetStep(query, step);
        TReadResult result;
        try {
            query.Open();
            result.Names = query.FieldNames();
            for (query.First(); !query.Eof(); query.Next()) {
                for (int i = 0; i < query.FieldCount(); ++i)
                    result.Cells << CellText(query.Field(i).Value());
            }
        } catch (const TError& error) {
            result.Failure = error.Text();
        }
        ours << result;
    }

    QList<TReadResult> qts;
    {
        QSqlDatabase database = Bridge.Database();
        for (const TExecStep& step : steps) {
            QSqlQuery statement(database);
            statement.setForwardOnly(true);
            TReadResult result;
            if (!PrepareAsQueryDoes(statement, Bridge, step)) {
                result.Failure = statement.lastError().text().trimmed();
            } else {
                if (!statement.exec()) {
                    result.Failure = statement.lastError().text().trimmed();
                } else {
                    const QSqlRecord record = statement.record();
                    for (int i = 0; i < record.count(); ++i)
                        result.Names << record.fieldName(i);
                    while (statement.next()) {
                        for (int i = 0; i < record.count(); ++i)
                            result.Cells << CellText(statement.value(i));
                    }
                    if (statement.lastError().isValid()) {
                        result = TReadResult();
                        result.Failure = statement.lastError().text();
                    }
                }
            }
            statement.finish();
            qts << result;
        }
    }
    ASSERT_EQ(ours.size(), qts.size());
    for (qsizetype i = 0; i < ours.size(); ++i) {
        EXPECT_EQ(ours[i].Names, qts[i].Names) << i;
        EXPECT_EQ(ours[i].Cells, qts[i].Cells) << i;
        EXPECT_EQ(ours[i].Failure, qts[i].Failure) << i;
    }
    // The sequence reaches what it is meant to.
    EXPECT_EQ(ours[0].Cells.size(), 4 * 7);
    EXPECT_EQ(ours[1].Names.value(0), QStringLiteral("K x"));
    EXPECT_TRUE(ours[3].Cells.isEmpty());
    EXPECT_EQ(ours[3].Names.size(), 7);
    for (qsizetype i = 7; i < ours.size(); ++i)
        EXPECT_FALSE(ours[i].Failure.isEmpty()) << i;

    // A few named columns of every row read as the data set reads them (SQLite only);
    // a column the result lacks reads nothing, and the caller opens the statement.
    SetStep(query, steps[0]);
    QVector<QVector<QVariant>> columns;
    const bool read = query.ReadColumns({QStringLiteral("S Q"), QStringLiteral("K"), QStringLiteral("x")}, &columns);
    EXPECT_EQ(read, GetParam() == TTestEngine::Sqlite);
    if (read) {
        QStringList cells;
        for (const QVector<QVariant>& row : std::as_const(columns)) {
            for (const QVariant& value : row)
                cells << CellText(value);
        }
        QStringList expected;
        for (qsizetype row = 0; row < 4; ++row) {
            for (const int column : {6, 1, 5})
                expected << ours[0].Cells.value(row * 7 + column);
        }
        EXPECT_EQ(cells, expected);
    }
    EXPECT_FALSE(query.ReadColumns({QStringLiteral("k"), QStringLiteral("missing")}, &columns));
}

TEST(QueryTest, ParameterNamesAreReadOutsideQuotesAndBrackets)
{
    TConnection connection;
    TQuery query(connection);
    query.SQL = {QStringLiteral("SELECT Quantity"), QStringLiteral("FROM t"),
                 QStringLiteral("WHERE code=:code and [a:b] = 'x:y' and \"c:d\" = :Code2 and t = '10:30' and z=:code")};
    EXPECT_EQ(query.ParamNames(), (QStringList{QStringLiteral("code"), QStringLiteral("Code2")}));
    EXPECT_EQ(query.Text(), query.SQL.join(QLatin1Char('\n')));
}

// ---- RefreshTable ----

TEST_P(DataSetTest, RefreshKeepsTheCurrentRowById)
{
    for (const QString& code : {QStringLiteral("C1"), QStringLiteral("C2"), QStringLiteral("C3")})
        AddClient(code, code);
    TTable table(Bridge, QStringLiteral("tclients"));
    RefreshTable(table); // opens a closed table
    ASSERT_TRUE(table.Active());
    table.Locate(QStringLiteral("Code"), QStringLiteral("C3"));
    // New rows before and after; the current row keeps its id.
    Bases.Exec(Bases.BridgePath(), QStringLiteral("DELETE FROM tclients WHERE Code='C1'"));
    AddClient(QStringLiteral("C4"), QStringLiteral("C4"));
    RefreshTable(table);
    EXPECT_EQ(table.RecordCount(), 3);
    EXPECT_EQ(table.FieldByName(QStringLiteral("Code")).AsString(), QStringLiteral("C3"));
    EXPECT_EQ(table.RecNo(), 1);
    // The current row deleted by someone else: the first row is current.
    Bases.Exec(Bases.BridgePath(), QStringLiteral("DELETE FROM tclients WHERE Code='C3'"));
    RefreshTable(table);
    EXPECT_EQ(table.RecNo(), 0);
    EXPECT_EQ(table.FieldByName(QStringLiteral("Code")).AsString(), QStringLiteral("C2"));
}

TEST_P(DataSetTest, RefreshOfATableWithoutIdOrRowsStartsAtTheFirstRow)
{
    TTable empty(Bridge, QStringLiteral("tOrderNumber"));
    RefreshTable(empty);
    EXPECT_TRUE(empty.Active());
    EXPECT_TRUE(empty.IsEmpty());

    for (const QString& ticker : {QStringLiteral("A"), QStringLiteral("B")})
        Bases.Insert(Bases.BridgePath(), QStringLiteral("tSecCode"), {{QStringLiteral("Ticker"), ticker}});
    TTable noId(Bridge, QStringLiteral("tSecCode"));
    noId.Open();
    noId.Last();
    RefreshTable(noId);
    EXPECT_EQ(noId.RecNo(), 0);
    EXPECT_EQ(noId.RecordCount(), 2);
}

TEST_P(DataSetTest, RefreshSkipsABusyConnectionAndSwallowsFailures)
{
    AddClient(QStringLiteral("C1"), QStringLiteral("A"));
    TTable table(Bridge, QStringLiteral("tclients"));
    {
        TConnection::TBusyScope busy(Bridge);
        RefreshTable(table);
        EXPECT_FALSE(table.Active());
    }
    TTable missing(Bridge, QStringLiteral("NoSuchTable"));
    RefreshTable(missing);
    EXPECT_FALSE(missing.Active());

    table.Open();
    Bridge.Close();
    RefreshTable(table); // closed by the connection; re-opening fails, nothing escapes
    EXPECT_FALSE(table.Active());
}

TEST_P(DataSetTest, RefreshResetsViewsOnceWithoutStepsInBetween)
{
    AddClient(QStringLiteral("C1"), QStringLiteral("A"));
    AddClient(QStringLiteral("C2"), QStringLiteral("B"));
    TTable table(Bridge, QStringLiteral("tclients"));
    table.Open();
    table.Last();
    AddClient(QStringLiteral("C3"), QStringLiteral("C"));
    int resets = 0;
    int others = 0;
    int rowsDuringReset = -1;
    QObject::connect(&table.Model(), &QAbstractItemModel::modelReset, [&] {
        ++resets;
        rowsDuringReset = table.Model().rowCount();
    });
    QObject::connect(&table.Model(), &QAbstractItemModel::rowsInserted, [&] { ++others; });
    QObject::connect(&table.Model(), &QAbstractItemModel::rowsRemoved, [&] { ++others; });
    QObject::connect(&table.Model(), &QAbstractItemModel::dataChanged, [&] { ++others; });
    QList<int> currentRows;
    QObject::connect(&table, &TDataSet::CurrentRowChanged, [&](int row) {
        EXPECT_EQ(resets, 1) << "told of the current row before the views were released";
        currentRows << row;
    });
    RefreshTable(table);
    EXPECT_EQ(resets, 1);
    EXPECT_EQ(others, 0);
    EXPECT_EQ(rowsDuringReset, 3);
    // The views hear once, after the reset, which row is current: the same one again.
    EXPECT_EQ(currentRows, QList<int>{1});
}

// ---- the platform writes while Zovrant reads ----

TEST_P(DataSetTest, RowsAddedByAnotherProgramWhileReadingAreAllSeenOnce)
{
    if (QStandardPaths::findExecutable(QStringLiteral("sqlite3")).isEmpty())
        GTEST_SKIP() << "the sqlite3 shell is not installed";
    TEnvironment environment;
    TDatMod datMod(environment);
    datMod.conOmega().Open(Bases.AlertsSource());
    datMod.tFilledOrders().Open();

    // The other program: 300 single-row transactions.
    QString script = QStringLiteral(".timeout 5000\n");
    const int rows = 300;
    for (int i = 0; i < rows; ++i)
        script += QStringLiteral("INSERT INTO FilledOrders (Symbol, [Order]) VALUES ('S%1', 'Buy 1 at 1 Limit');\n").arg(i);
    QProcess writer;
    writer.start(QStringLiteral("sqlite3"), {Bases.AlertsPath()});
    ASSERT_TRUE(writer.waitForStarted());
    writer.write(script.toUtf8());
    writer.closeWriteChannel();

    QSet<int> seen;
    int lastId = 0;
    int reads = 0;
    auto readNew = [&] {
        RefreshTable(datMod.tFilledOrders());
        ASSERT_TRUE(datMod.tFilledOrders().Active());
        const int newLast = datMod.GetLastId(datMod.tFilledOrders());
        ASSERT_GE(newLast, 0);
        if (newLast <= lastId)
            return;
        datMod.OpenNewOrders(datMod.qFilledOrders(), QStringLiteral("FilledOrders"), lastId, newLast);
        for (; !datMod.qFilledOrders().Eof(); datMod.qFilledOrders().Next()) {
            const int id = datMod.qFilledOrders().FieldByName(QStringLiteral("ID")).AsInteger();
            EXPECT_FALSE(seen.contains(id)) << id;
            seen.insert(id);
        }
        lastId = newLast;
        ++reads;
    };
    while (writer.state() != QProcess::NotRunning) {
        readNew();
        writer.waitForFinished(5);
    }
    ASSERT_EQ(writer.exitCode(), 0) << writer.readAllStandardError().toStdString();
    readNew();
    EXPECT_EQ(seen.size(), rows);
    EXPECT_EQ(datMod.tFilledOrders().RecordCount(), rows);
    EXPECT_GE(reads, 1);
}

} // namespace
