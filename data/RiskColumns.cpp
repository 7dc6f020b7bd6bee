#include "data/RiskColumns.h"

#include "data/Connection.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>

namespace {

QString AddColumn(const TRiskColumn& column)
{
    return QStringLiteral("ALTER TABLE [%1] ADD COLUMN [%2] %3").arg(column.Table, column.Name, column.Type);
}

} // namespace

QList<TRiskColumn> RiskColumns()
{
    const QString securities = QStringLiteral("tSecCode");
    const QString clients = QStringLiteral("tclients");
    const QString integer = QStringLiteral("INTEGER");
    const QString real = QStringLiteral("DOUBLE");
    return {{securities, QStringLiteral("MaxLots"), integer},     {securities, QStringLiteral("MaxValue"), real},
            {securities, QStringLiteral("PriceBand"), real},      {securities, QStringLiteral("MaxPosition"), integer},
            {clients, QStringLiteral("Multiplier"), real},        {clients, QStringLiteral("MaxLoss"), real}};
}

QStringList RiskColumnsSchema()
{
    QStringList statements;
    for (const TRiskColumn& column : RiskColumns())
        statements << AddColumn(column);
    return statements;
}

void AddMissingRiskColumns(TConnection& connection) noexcept
{
    if (connection.Engine() != TConnection::TEngine::Sqlite || !connection.Connected())
        return;
    try {
        const QSqlDatabase database = connection.Database();
        QSqlQuery query(database);
        for (const TRiskColumn& column : RiskColumns()) {
            const QSqlRecord record = database.record(column.Table);
            if (record.isEmpty() || record.contains(column.Name))
                continue; // no such table here, or the column is there already
            query.exec(AddColumn(column)); // a failure leaves this one out
            query.finish();
        }
    } catch (...) {
    }
}
