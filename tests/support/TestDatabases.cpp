#include "tests/support/TestDatabases.h"

#include "data/Schemas.h"
#include "data/Settings.h"
#include "data/UnicodeNoCase.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QUuid>
#include <stdexcept>

const char* EngineName(TTestEngine engine)
{
    return engine == TTestEngine::Sqlite ? "Sqlite" : "Odbc";
}

void PrintTo(TTestEngine engine, std::ostream* out)
{
    *out << EngineName(engine);
}

TTestDatabases::TTestDatabases(TTestEngine engine)
    : FEngine(engine),
      FAlertsPath(FDir.filePath(QStringLiteral("Alerts.db"))),
      FBridgePath(FDir.filePath(QStringLiteral("QuikData.db"))),
      FConnectionName(QStringLiteral("test-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
{
    if (!FDir.isValid())
        throw std::runtime_error("cannot create a temporary folder");
    CreateAlertDatabase(FAlertsPath);
    CreateBridgeDatabase(FBridgePath);
    RegisterUnicodeNoCase();
}

TTestDatabases::~TTestDatabases()
{
    QSqlDatabase::removeDatabase(FConnectionName);
}

QString TTestDatabases::OdbcSource(const QString& path)
{
    return QStringLiteral("Driver=SQLite3;Database=%1;NoCreat=1;Timeout=5000;").arg(path);
}

QString TTestDatabases::Source(const QString& path) const
{
    return FEngine == TTestEngine::Sqlite ? path : OdbcSource(path);
}

namespace {

QSqlQuery Run(const QString& connectionName, const QString& path, const QString& statement,
              const QVariantList& binds)
{
    QSqlDatabase database = QSqlDatabase::database(connectionName, false);
    if (!database.isValid())
        database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
    if (database.databaseName() != path) {
        database.close();
        database.setDatabaseName(path);
    }
    database.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!database.isOpen() && !database.open())
        throw std::runtime_error(database.lastError().text().toStdString());
    QSqlQuery query(database);
    if (!query.prepare(statement))
        throw std::runtime_error((query.lastError().text() + QStringLiteral(": ") + statement).toStdString());
    for (int i = 0; i < binds.size(); ++i)
        query.bindValue(i, binds[i]);
    if (!query.exec())
        throw std::runtime_error((query.lastError().text() + QStringLiteral(": ") + statement).toStdString());
    return query;
}

} // namespace

qint64 TTestDatabases::Insert(const QString& path, const QString& table, const QVariantMap& values)
{
    QStringList columns;
    QStringList marks;
    QVariantList binds;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        columns << QStringLiteral("[%1]").arg(it.key());
        marks << QStringLiteral("?");
        binds << it.value();
    }
    QSqlQuery query = Run(FConnectionName, path,
                          QStringLiteral("INSERT INTO [%1] (%2) VALUES (%3)")
                              .arg(table, columns.join(QStringLiteral(", ")), marks.join(QStringLiteral(", "))),
                          binds);
    return query.lastInsertId().toLongLong();
}

int TTestDatabases::Exec(const QString& path, const QString& statement, const QVariantList& binds)
{
    return Run(FConnectionName, path, statement, binds).numRowsAffected();
}

QVariant TTestDatabases::Scalar(const QString& path, const QString& statement, const QVariantList& binds)
{
    QSqlQuery query = Run(FConnectionName, path, statement, binds);
    return query.next() ? query.value(0) : QVariant();
}

void PointAtTestFiles(TSettings& settings, const TTestDatabases& bases)
{
    settings.edtAlerts = bases.AlertsSource();
    settings.edtQuikData = bases.BridgeSource();
    settings.edtTRI = bases.FilePath(QStringLiteral("quik/trans.tri"));
    settings.edtTRO = bases.FilePath(QStringLiteral("quik/trans.tro"));
    settings.edtInfoLog = bases.FilePath(QStringLiteral("quik/info.log"));
    // The single account, as an operator sets it up (the settings have none by default).
    settings.edtCode = QStringLiteral("111");
    settings.edtAccountMicex = QStringLiteral("L01-00000F00");
    settings.edtAccountFORTS = QStringLiteral("SPB");
}

void TTestDatabases::SeedTwoClients()
{
    Insert(FBridgePath, QStringLiteral("tSecCode"),
           {{QStringLiteral("SecCode"), QStringLiteral("SBER")}, {QStringLiteral("Ticker"), QStringLiteral("SBER")},
            {QStringLiteral("Class_Code"), QStringLiteral("TQBR")}, {QStringLiteral("LotSize"), 1},
            {QStringLiteral("Traded"), true}, {QStringLiteral("Digits"), 2}, {QStringLiteral("Slippage"), 0.1}});
    Insert(FBridgePath, QStringLiteral("tWorkSpaces"), {{QStringLiteral("workspace"), QStringLiteral("Demo.wsp")}});
    Insert(FBridgePath, QStringLiteral("tStrategy"), {{QStringLiteral("strategy"), QStringLiteral("Trend")}});
    for (const char* code : {"C1", "C2"})
        Insert(FBridgePath, QStringLiteral("tclients"),
               {{QStringLiteral("Code"), QString::fromLatin1(code)},
                {QStringLiteral("AccountMicex"), QStringLiteral("ACC-") + QString::fromLatin1(code)},
                {QStringLiteral("Active"), true}});
}
