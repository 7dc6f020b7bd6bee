#include "tools/seed/DemoSeed.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QUuid>
#include <QVariantList>
#include <stdexcept>

namespace {

[[noreturn]] void Fail(const QString& text)
{
    throw std::runtime_error(text.toStdString());
}

// A connection of the seed's own to the bridge file, removed with the object.
class TSeedConnection {
public:
    explicit TSeedConnection(const QString& path)
        : FName(QStringLiteral("demo-seed-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
    {
        QString error;
        {
            QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), FName);
            database.setDatabaseName(path);
            database.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
            if (database.open())
                return;
            error = database.lastError().text();
        }
        QSqlDatabase::removeDatabase(FName);
        Fail(error);
    }
    ~TSeedConnection()
    {
        QSqlDatabase::database(FName, false).close();
        QSqlDatabase::removeDatabase(FName);
    }
    TSeedConnection(const TSeedConnection&) = delete;
    TSeedConnection& operator=(const TSeedConnection&) = delete;

    QSqlDatabase Database() const { return QSqlDatabase::database(FName, false); }

private:
    QString FName;
};

// Runs a statement once per row of values on an open connection.
void InsertRows(QSqlDatabase& database, const QString& statement, const QList<QVariantList>& rows)
{
    QSqlQuery query(database);
    if (!query.prepare(statement))
        Fail(query.lastError().text() + QStringLiteral(": ") + statement);
    for (const QVariantList& row : rows) {
        for (int i = 0; i < row.size(); ++i)
            query.bindValue(i, row[i]);
        if (!query.exec())
            Fail(query.lastError().text() + QStringLiteral(": ") + statement);
    }
}

void InsertDemoRows(QSqlDatabase& database, int clients)
{
    InsertRows(database,
               QStringLiteral("INSERT INTO tSecCode (SecCode, FixVol, Part, Traded, LotSize, Class_Code, Ticker, Slippage, Digits) "
                              "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"),
               {{QStringLiteral("SBER"), 50000.0, 10.0, 1, 10, QStringLiteral("TQBR"), QStringLiteral("SBER"), 0.1, 2}});
    InsertRows(database, QStringLiteral("INSERT INTO tWorkSpaces (workspace) VALUES (?)"), {{QStringLiteral("Demo.wsp")}});
    InsertRows(database, QStringLiteral("INSERT INTO tStrategy (strategy) VALUES (?)"), {{QStringLiteral("Trend")}});
    QList<QVariantList> rows;
    for (int number = 1; number <= clients; ++number)
        rows << QVariantList{DemoClientCode(number), DemoClientName(number), DemoAccountMicex(number),
                             DemoAccountForts(number), QStringLiteral(""), 1};
    InsertRows(database,
               QStringLiteral("INSERT INTO tclients (Code, client, AccountMicex, AccountFORTS, note, Active) "
                              "VALUES (?, ?, ?, ?, ?, ?)"),
               rows);
}

// Two digits at least, as the demo's accounts are numbered.
QString Numbered(const QString& prefix, int number)
{
    return prefix + QStringLiteral("%1").arg(number, 2, 10, QLatin1Char('0'));
}

} // namespace

QString DemoClientCode(int number)
{
    return QStringLiteral("C%1").arg(number);
}

QString DemoClientName(int number)
{
    static const QStringList words = {QStringLiteral("One"),   QStringLiteral("Two"),   QStringLiteral("Three"),
                                      QStringLiteral("Four"),  QStringLiteral("Five"),  QStringLiteral("Six"),
                                      QStringLiteral("Seven"), QStringLiteral("Eight"), QStringLiteral("Nine"),
                                      QStringLiteral("Ten")};
    return QStringLiteral("Client ") + (number >= 1 && number <= words.size() ? words[number - 1] : QString::number(number));
}

QString DemoAccountMicex(int number)
{
    return Numbered(QStringLiteral("L01-00000F"), number);
}

QString DemoAccountForts(int number)
{
    return Numbered(QStringLiteral("SPB"), number);
}

void SeedDemoBridge(const QString& bridgePath, int clients)
{
    // Qt's SQLite driver would make an empty file where there is none.
    if (!QFileInfo(bridgePath).isFile())
        Fail(QStringLiteral("no bridge database at ") + bridgePath);
    TSeedConnection connection(bridgePath);
    QSqlDatabase database = connection.Database();
    if (!database.transaction())
        Fail(database.lastError().text());
    try {
        InsertDemoRows(database, clients);
    } catch (...) {
        database.rollback();
        throw;
    }
    if (!database.commit())
        Fail(database.lastError().text());
}
