#include "data/BridgeIndexes.h"

#include "data/Connection.h"

#include <QSqlQuery>
#include <QStringList>

namespace {

struct TIndex {
    QString Name;
    QString Table;
    QStringList Columns;
};

QList<TIndex> Indexes()
{
    return {
        {QStringLiteral("ZovrantPortfolioByClient"), QStringLiteral("tPortfolio"), {QStringLiteral("id_client")}},
        {QStringLiteral("ZovrantOrderNumberByTransaction"), QStringLiteral("tOrderNumber"), {QStringLiteral("trans_id")}},
        // The transaction number last: the withdrawal's rows come in its order without a sort.
        {QStringLiteral("ZovrantOrderNumberByOrder"), QStringLiteral("tOrderNumber"),
         {QStringLiteral("id_order"), QStringLiteral("filled"), QStringLiteral("code"), QStringLiteral("trans_id")}},
        {QStringLiteral("ZovrantOpenPositionsByKey"), QStringLiteral("tClientOpenPositions"),
         {QStringLiteral("code"), QStringLiteral("symbol"), QStringLiteral("System"), QStringLiteral("Workspace"),
          QStringLiteral("Interval"), QStringLiteral("Position")}},
    };
}

QString CreateIndex(const TIndex& index)
{
    return QStringLiteral("CREATE INDEX IF NOT EXISTS [%1] ON [%2] ([%3])")
        .arg(index.Name, index.Table, index.Columns.join(QStringLiteral("], [")));
}

} // namespace

QStringList BridgeIndexSchema()
{
    QStringList statements;
    for (const TIndex& index : Indexes())
        statements << CreateIndex(index);
    return statements;
}

void AddMissingBridgeIndexes(TConnection& connection) noexcept
{
    if (connection.Engine() != TConnection::TEngine::Sqlite || !connection.Connected())
        return;
    try {
        QSqlQuery query(connection.Database());
        // The ones there are found first: a file that has them all is not written to, and
        // waits for no lock another program holds.
        QStringList present;
        if (!query.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'index'")))
            return;
        while (query.next())
            present << query.value(0).toString();
        query.finish();
        for (const TIndex& index : Indexes()) {
            if (!present.contains(index.Name, Qt::CaseInsensitive))
                query.exec(CreateIndex(index)); // a failure leaves this one out
            query.finish();
        }
    } catch (...) {
    }
}
