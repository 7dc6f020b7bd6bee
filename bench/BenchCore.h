#pragma once

// Shared by the benchmarks that run the program's core: two SQLite files made from the
// schemas in a temporary folder, the terminal's files beside them, the core over them,
// and a connection of the benchmark's own that plays the strategy platform or the
// terminal's export (rows put in in one transaction, as fast as SQLite allows).

#include "data/Schemas.h"
#include "shell/MainCore.h"
#include "tools/seed/DemoSeed.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUuid>
#include <memory>
#include <stdexcept>

// A connection to one file from outside the core; rows go in through prepared statements.
class TBenchConnection {
public:
    explicit TBenchConnection(const QString& path)
        : FName(QStringLiteral("bench-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), FName);
        database.setDatabaseName(path);
        database.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        if (!database.open())
            throw std::runtime_error(database.lastError().text().toStdString());
    }
    ~TBenchConnection() { QSqlDatabase::removeDatabase(FName); }
    TBenchConnection(const TBenchConnection&) = delete;
    TBenchConnection& operator=(const TBenchConnection&) = delete;

    QSqlDatabase Database() const { return QSqlDatabase::database(FName, false); }

    // Runs a statement once per row of values, all in one transaction.
    void Rows(const QString& statement, const QList<QVariantList>& rows)
    {
        QSqlDatabase database = Database();
        database.transaction();
        {
            QSqlQuery query(database);
            if (!query.prepare(statement))
                throw std::runtime_error((query.lastError().text() + QStringLiteral(": ") + statement).toStdString());
            for (const QVariantList& row : rows) {
                for (int i = 0; i < row.size(); ++i)
                    query.bindValue(i, row[i]);
                if (!query.exec())
                    throw std::runtime_error(query.lastError().text().toStdString());
            }
        }
        if (!database.commit())
            throw std::runtime_error(database.lastError().text().toStdString());
    }
    void Exec(const QString& statement, const QVariantList& binds = {}) { Rows(statement, {binds}); }
    QVariant Scalar(const QString& statement)
    {
        QSqlQuery query(Database());
        if (!query.exec(statement) || !query.next())
            throw std::runtime_error(query.lastError().text().toStdString());
        return query.value(0);
    }

private:
    QString FName;
};

// The alert rows a strategy platform writes, one statement per table.
inline QString FilledInsert()
{
    return QStringLiteral("INSERT INTO FilledOrders (Symbol, Description, OrderType, [Order], [Fill Price], "
                          "[Time Placed], [Time Filled], System, Signal, Workspace, Interval) "
                          "VALUES ('SBER', 'Сбербанк', 'LE', 'Buy 10 at 250.50 Market', 250.5, "
                          "'2008-12-09 10:30:05', '2008-12-09 10:30:05', 'Trend(5,10)', 'Entry', "
                          "'C:\\Omega\\Demo.wsp', '5 min')");
}
inline QString ActiveInsert()
{
    return QStringLiteral("INSERT INTO ActiveOrders (Symbol, Description, OrderType, [Order], Last, "
                          "[Time Placed], System, Signal, Workspace, Interval) "
                          "VALUES ('SBER', 'Сбербанк', 'LE', 'Buy 10 at 250.50 Limit', 250.5, "
                          "'2008-12-09 10:30:05', 'Trend(5,10)', 'Entry', 'C:\\Omega\\Demo.wsp', '5 min')");
}
inline QString CanceledInsert()
{
    return QStringLiteral("INSERT INTO CanceledOrders (Symbol, Description, OrderType, [Order], "
                          "[Time Placed], [Time Canceled], System, Signal, Workspace, Interval) "
                          "VALUES ('SBER', 'Сбербанк', 'LE', 'Buy 10 at 250.50 Limit', "
                          "'2008-12-09 10:30:05', '2008-12-09 10:31:00', 'Trend(5,10)', 'Entry', "
                          "'C:\\Omega\\Demo.wsp', '5 min')");
}
inline QString OpenPositionInsert()
{
    return QStringLiteral("INSERT INTO OpenPositions (Symbol, Description, [Entry Price], Last, Profit, "
                          "[Entry Time], System, Signal, Workspace, Interval) "
                          "VALUES ('SBER', 'Сбербанк', 250.5, 251.0, 50.0, '2008-12-09 10:30:05', "
                          "'Trend(5,10)', 'Entry', 'C:\\Omega\\Demo.wsp', '5 min')");
}

// The strategy order the benchmarks dispatch: a filled market entry of the demo's traded
// security, in the demo's workspace, so that it sizes to 10 lots for every account.
inline TOmegaOrder FilledEntry(qint64 id)
{
    TOmegaOrder order;
    order.Id = id;
    order.Symbol = QStringLiteral("SBER");
    order.Description = QStringLiteral("Сбербанк");
    order.OrderType = QStringLiteral("LE");
    order.Order = QStringLiteral("Buy 10 at 250.50 Market");
    order.System = QStringLiteral("Trend(5,10)");
    order.Workspace = QStringLiteral("C:\\Omega\\Demo.wsp");
    order.Signal = QStringLiteral("Entry");
    order.Interval = QStringLiteral("5 min");
    order.FillPrice = 250.5;
    order.Filled = true;
    return order;
}

// The core over fresh files: settings as an operator of a group of accounts has them, and
// the demo's bridge rows (one traded security, the workspace and strategy to watch) with
// the given number of active clients. Not connected yet.
class TBenchCore {
public:
    TEnvironment Environment;
    QTemporaryDir Dir;
    QString AlertsPath;
    QString BridgePath;
    std::unique_ptr<TOperationLog> Log;
    std::unique_ptr<TMainCore> Core;

    explicit TBenchCore(int clients, const QByteArray& ini = {})
    {
        if (!Dir.isValid())
            throw std::runtime_error("cannot create a temporary folder");
        AlertsPath = Dir.filePath(QStringLiteral("Alerts.db"));
        BridgePath = Dir.filePath(QStringLiteral("QuikData.db"));
        CreateAlertDatabase(AlertsPath);
        CreateBridgeDatabase(BridgePath);
        QDir(Dir.path()).mkdir(QStringLiteral("quik"));
        QDir(Dir.path()).mkdir(QStringLiteral("program"));
        if (!ini.isEmpty()) {
            QFile file(Dir.filePath(QStringLiteral("program/Zovrant.ini")));
            if (!file.open(QIODevice::WriteOnly) || file.write(ini) != ini.size())
                throw std::runtime_error("cannot write the settings file");
        }

        Environment.Regional = TRegional();
        Log = std::make_unique<TOperationLog>(Environment);
        Log->OpenFile(Dir.filePath(QStringLiteral("Zovrant.log")));
        Core = std::make_unique<TMainCore>(Environment, *Log, Dir.filePath(QStringLiteral("program/")));
        TSettings& s = Core->Settings();
        s.edtAlerts = AlertsPath;
        s.edtQuikData = BridgePath;
        s.edtTRI = Quik(QStringLiteral("trans.tri"));
        s.edtTRO = Quik(QStringLiteral("trans.tro"));
        s.edtInfoLog = Quik(QStringLiteral("info.log"));
        s.edtTime1 = QStringLiteral("00:00:00");
        s.edtTime2 = QStringLiteral("23:59:59");
        s.rgpPositionSize = 0;
        s.rgpFilled = 1;
        s.rgpSingleMulti = 1;

        SeedDemoBridge(BridgePath, clients);
    }

    QString Quik(const QString& name) const { return Dir.filePath(QStringLiteral("quik/") + name); }

    // Start-up (the terminal's files emptied), the connection, and watching on.
    void StartWatching()
    {
        Core->Watch().StartUp();
        Core->Watch().actConnectToBaseExecute();
        if (!Core->DatMod().conOmega().Connected() || !Core->DatMod().conQuikData().Connected())
            throw std::runtime_error("the core did not connect");
        Core->Watch().actStartWatchExecute();
    }

    // Lines in the transaction import file.
    int TriLineCount() const
    {
        QFile file(Core->Settings().edtTRI);
        if (!file.open(QIODevice::ReadOnly))
            return 0;
        return int(file.readAll().count("\r\n"));
    }
};
