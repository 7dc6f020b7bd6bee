#include "data/Schemas.h"

#include "base/Error.h"
#include "data/BridgeHolder.h"
#include "data/BridgeIndexes.h"
#include "data/ChangeJournal.h"
#include "data/Connection.h"
#include "data/RiskColumns.h"
#include "data/UnicodeNoCase.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

namespace {

// Column types. Text lengths are the declared maximum lengths; SQLite keeps them as
// documentation and Qt reads the types from the declarations.
QString Text(int length)
{
    return QStringLiteral("VARCHAR(%1) COLLATE NOCASE").arg(length);
}
const QString Integer = QStringLiteral("INTEGER");
const QString SmallInt = QStringLiteral("SMALLINT");
// Exchange order numbers outgrow 32 bits; a 32-bit column would cut them.
const QString BigInt = QStringLiteral("BIGINT");
const QString Float = QStringLiteral("DOUBLE");
const QString Boolean = QStringLiteral("BOOLEAN");
const QString DateTime = QStringLiteral("DATETIME");
const QString AutoKey = QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT");

struct TColumn {
    QString Name;
    QString Type;
};

QString CreateTable(const QString& table, const QList<TColumn>& columns)
{
    QStringList parts;
    for (const TColumn& column : columns)
        parts << QStringLiteral("[%1] %2").arg(column.Name, column.Type);
    return QStringLiteral("CREATE TABLE [%1] (\n  %2\n)").arg(table, parts.join(QStringLiteral(",\n  ")));
}

// The platform assigns growing ids; as the key they are never reused.
const QString AlertId = QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT");

void CreateDatabase(const QString& path, const QStringList& statements, bool wal)
{
    if (QFile::exists(path))
        throw TError(QStringLiteral("Файл %1 уже существует; он не будет перезаписан.").arg(path));
    {
        // Claim the name first: an empty file is an empty SQLite database.
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            throw TError(QStringLiteral("Не удалось создать файл %1: %2").arg(path, file.errorString()));
    }
    RegisterUnicodeNoCase();
    const QString name = QStringLiteral("zovrant-create-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    QString failure;
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        database.setDatabaseName(path);
        if (!database.open()) {
            failure = database.lastError().text();
        } else {
            QSqlQuery query(database);
            if (wal && !query.exec(QStringLiteral("PRAGMA journal_mode=WAL")))
                failure = query.lastError().text();
            if (failure.isEmpty() && !database.transaction())
                failure = database.lastError().text();
            for (const QString& statement : statements) {
                if (!failure.isEmpty())
                    break;
                if (!query.exec(statement))
                    failure = query.lastError().text() + QStringLiteral("\n") + statement;
            }
            if (failure.isEmpty() && !database.commit())
                failure = database.lastError().text();
            query.finish();
            database.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    if (!failure.isEmpty()) {
        QFile::remove(path);
        QFile::remove(path + QStringLiteral("-wal"));
        QFile::remove(path + QStringLiteral("-shm"));
        throw TError(QStringLiteral("Не удалось создать базу данных %1: %2").arg(path, failure.trimmed()));
    }
}

} // namespace

QStringList AlertSchema()
{
    const TColumn id{QStringLiteral("ID"), AlertId};
    const TColumn symbol{QStringLiteral("Symbol"), Text(16)};
    const TColumn description{QStringLiteral("Description"), Text(50)};
    const TColumn orderType{QStringLiteral("OrderType"), Text(50)};
    const TColumn order{QStringLiteral("Order"), Text(50)};
    const TColumn system{QStringLiteral("System"), Text(255)};
    const TColumn workspace{QStringLiteral("Workspace"), Text(255)};
    const TColumn interval{QStringLiteral("Interval"), Text(50)};
    const TColumn alertString{QStringLiteral("Alert String"), Text(255)};
    const TColumn hWindow{QStringLiteral("hWindow"), Integer};
    const TColumn alertType{QStringLiteral("AlertType"), Integer};
    return {
        CreateTable(QStringLiteral("FilledOrders"), {
            id, symbol, description, orderType, order,
            {QStringLiteral("Fill Price"), Float},
            {QStringLiteral("FillPriceLong"), Integer},
            {QStringLiteral("FillPriceBaseCode"), Text(1)},
            {QStringLiteral("Slippage"), Float},
            {QStringLiteral("SlippageLong"), Integer},
            {QStringLiteral("SlippageBaseCode"), Text(1)},
            {QStringLiteral("Time Placed"), DateTime},
            {QStringLiteral("Time Filled"), DateTime},
            system,
            {QStringLiteral("Signal"), Text(50)},
            workspace, interval,
            {QStringLiteral("Position Number"), Text(50)},
            {QStringLiteral("Order Number"), Text(50)},
            alertString, hWindow, alertType}),
        CreateTable(QStringLiteral("ActiveOrders"), {
            id, symbol, description, orderType, order,
            {QStringLiteral("Last"), Float},
            {QStringLiteral("LastLong"), Integer},
            {QStringLiteral("LastBaseCode"), Text(1)},
            {QStringLiteral("Time Placed"), DateTime},
            system,
            {QStringLiteral("Signal"), Text(20)},
            workspace, interval,
            {QStringLiteral("Position Number"), Text(16)},
            {QStringLiteral("Order Number"), Text(50)},
            alertString, hWindow, alertType}),
        CreateTable(QStringLiteral("CanceledOrders"), {
            id, symbol, description, orderType, order,
            {QStringLiteral("Time Placed"), DateTime},
            {QStringLiteral("Time Canceled"), DateTime},
            system,
            {QStringLiteral("Signal"), Text(20)},
            workspace, interval,
            {QStringLiteral("Position Number"), Text(16)},
            {QStringLiteral("Order Number"), Text(16)},
            {QStringLiteral("Canceled Number"), Text(16)},
            alertString, hWindow, alertType}),
        CreateTable(QStringLiteral("OpenPositions"), {
            id, symbol, description,
            {QStringLiteral("Entry Price"), Float},
            {QStringLiteral("EntryLong"), Integer},
            {QStringLiteral("EntryBaseCode"), Text(1)},
            {QStringLiteral("Last"), Float},
            {QStringLiteral("LastLong"), Integer},
            {QStringLiteral("LastBaseCode"), Text(1)},
            {QStringLiteral("Profit"), Float},
            {QStringLiteral("ProfitLong"), Integer},
            {QStringLiteral("ProfitBaseCode"), Text(1)},
            {QStringLiteral("Entry Time"), DateTime},
            system,
            {QStringLiteral("Signal"), Text(20)},
            workspace, interval,
            {QStringLiteral("Position Number"), Text(16)},
            {QStringLiteral("Order Number"), Text(16)},
            alertString, hWindow, alertType}),
    };
}

QStringList BridgeSchema()
{
    return {
        CreateTable(QStringLiteral("tParam"), {
            {QStringLiteral("code"), Text(15)},
            {QStringLiteral("bid"), Float},
            {QStringLiteral("biddepth"), Integer},
            {QStringLiteral("biddeptht"), Integer},
            {QStringLiteral("numbids"), Integer},
            {QStringLiteral("offer"), Float},
            {QStringLiteral("offerdepth"), Integer},
            {QStringLiteral("offerdeptht"), Integer},
            {QStringLiteral("numoffers"), Integer},
            {QStringLiteral("open"), Float},
            {QStringLiteral("high"), Float},
            {QStringLiteral("low"), Float},
            {QStringLiteral("last"), Float},
            {QStringLiteral("qtylast"), Integer},
            {QStringLiteral("timelast"), DateTime},
            {QStringLiteral("voltoday"), Float},
            {QStringLiteral("valtoday"), Float},
            {QStringLiteral("vallast"), Float},
            {QStringLiteral("waprice"), Float},
            {QStringLiteral("hibid"), Float},
            {QStringLiteral("lowoffer"), Float},
            {QStringLiteral("numtrades"), Integer},
            {QStringLiteral("prevprice"), Float},
            {QStringLiteral("lotsize"), Integer},
            {QStringLiteral("closeprice"), Float},
            {QStringLiteral("lastchange"), Float},
            {QStringLiteral("lastvalue"), Float},
            {QStringLiteral("currentvalue"), Float},
            {QStringLiteral("openvalue"), Float},
            {QStringLiteral("chngopen"), Float},
            {QStringLiteral("chngclose"), Float},
            {QStringLiteral("shortname"), Text(50)},
            {QStringLiteral("stock"), Text(50)},
            {QStringLiteral("classname"), Text(50)},
            {QStringLiteral("class_code"), Text(50)},
            {QStringLiteral("id"), AutoKey}}),
        CreateTable(QStringLiteral("tPortfolio"), {
            {QStringLiteral("ddate"), DateTime},
            {QStringLiteral("id_client"), Text(12)},
            {QStringLiteral("openassets"), Float},
            {QStringLiteral("shorts"), Float},
            {QStringLiteral("longs"), Float},
            {QStringLiteral("curassets"), Float},
            {QStringLiteral("openallassets"), Float},
            {QStringLiteral("curallassets"), Float},
            {QStringLiteral("margin"), Float},
            {QStringLiteral("leverage"), Float},
            {QStringLiteral("curleverage"), Float},
            {QStringLiteral("change"), Float},
            {QStringLiteral("profitloss"), Float},
            {QStringLiteral("firm"), Text(50)},
            {QStringLiteral("id"), AutoKey}}),
        CreateTable(QStringLiteral("tSecCode"), {
            {QStringLiteral("SecCode"), Text(50)},
            {QStringLiteral("FixVol"), Float},
            {QStringLiteral("Part"), Float},
            {QStringLiteral("Traded"), Boolean},
            {QStringLiteral("LotSize"), Integer},
            {QStringLiteral("Class_Code"), Text(50)},
            {QStringLiteral("Ticker"), Text(50)},
            {QStringLiteral("Slippage"), Float},
            {QStringLiteral("Digits"), Integer}}),
        CreateTable(QStringLiteral("tWorkSpaces"), {
            {QStringLiteral("id_workspace"), AutoKey},
            {QStringLiteral("workspace"), Text(50)}}),
        CreateTable(QStringLiteral("tStrategy"), {
            {QStringLiteral("id_strategy"), AutoKey},
            {QStringLiteral("strategy"), Text(50)}}),
        CreateTable(QStringLiteral("tOrderNumber"), {
            {QStringLiteral("trans_id"), Integer},
            {QStringLiteral("id_order"), Integer},
            {QStringLiteral("filled"), Boolean},
            {QStringLiteral("order_number"), BigInt},
            {QStringLiteral("status"), SmallInt},
            {QStringLiteral("description"), Text(255)},
            {QStringLiteral("trans_name"), Text(50)},
            {QStringLiteral("id"), AutoKey},
            {QStringLiteral("code"), Text(12)}}),
        CreateTable(QStringLiteral("tclients"), {
            {QStringLiteral("id"), AutoKey},
            {QStringLiteral("Code"), Text(12)},
            {QStringLiteral("client"), Text(50)},
            {QStringLiteral("AccountMicex"), Text(50)},
            {QStringLiteral("AccountFORTS"), Text(50)},
            {QStringLiteral("note"), Text(255)},
            {QStringLiteral("Active"), Boolean}}),
        CreateTable(QStringLiteral("tClientOpenPositions"), {
            {QStringLiteral("id"), AutoKey},
            {QStringLiteral("symbol"), Text(16)},
            {QStringLiteral("quantity"), Integer},
            {QStringLiteral("System"), Text(255)},
            {QStringLiteral("Signal"), Text(20)},
            {QStringLiteral("Workspace"), Text(255)},
            {QStringLiteral("Interval"), Text(50)},
            {QStringLiteral("code"), Text(12)},
            {QStringLiteral("Position"), Text(20)}}),
    };
}

QStringList AlertTables()
{
    return {QStringLiteral("FilledOrders"), QStringLiteral("ActiveOrders"), QStringLiteral("CanceledOrders"),
            QStringLiteral("OpenPositions")};
}

void CreateAlertDatabase(const QString& path)
{
    CreateDatabase(path, AlertSchema() + ChangeJournalSchema(AlertTables()), true);
}

void AddChangeJournal(const QString& path)
{
    TConnection connection;
    connection.Open(path);
    if (connection.Engine() != TConnection::TEngine::Sqlite)
        throw TError(QStringLiteral("Журнал изменений ведётся только в файле SQLite, а не в %1.").arg(path));
    QSqlDatabase database = connection.Database();
    if (!database.transaction())
        throw TError(QStringLiteral("Не удалось изменить базу данных %1: %2").arg(path, database.lastError().text()));
    QSqlQuery query(database);
    for (const QString& statement : ChangeJournalSchema(AlertTables())) {
        if (!query.exec(statement)) {
            const QString failure = query.lastError().text().trimmed();
            query.finish();
            database.rollback();
            throw TError(QStringLiteral("Не удалось изменить базу данных %1: %2").arg(path, failure));
        }
    }
    query.finish();
    if (!database.commit())
        throw TError(QStringLiteral("Не удалось изменить базу данных %1: %2").arg(path, database.lastError().text()));
}

void CreateBridgeDatabase(const QString& path)
{
    CreateDatabase(path, BridgeSchema() + RiskColumnsSchema() + BridgeIndexSchema() + BridgeHolderSchema(), false);
}
