#include "data/RestingOrders.h"

#include "data/DatMod.h"
#include "data/Query.h"

#include <QHash>
#include <QPair>

namespace {

bool Refused(const std::optional<qint32>& status)
{
    return status && *status >= 2 && *status != 3;
}

qint64 NumberOf(const TField& field)
{
    if (field.IsNull())
        return 0;
    bool ok = false;
    const qint64 value = field.AsString().trimmed().toLongLong(&ok);
    return ok && value > 0 ? value : 0;
}

// Runs the statement and hands its first row to eachRow; false when it gives none.
bool FirstRow(TQuery& query, const std::function<void(TDataSet&)>& eachRow)
{
    query.Open();
    const bool found = !query.IsEmpty();
    if (found) {
        query.First();
        eachRow(query);
    }
    query.Close();
    return found;
}

} // namespace

QList<TReportEntry> ReadTransactionReport(TDatMod& datMod)
{
    TQuery query(datMod.conQuikData());
    query.Add(QStringLiteral("SELECT trans_id, id_order, filled, code, status, order_number"));
    query.Add(QStringLiteral("FROM tOrderNumber"));
    query.Add(QStringLiteral("ORDER BY trans_id"));
    query.Open();
    QList<TReportEntry> report;
    for (query.First(); !query.Eof(); query.Next()) {
        TReportEntry entry;
        entry.TransId = query.FieldByName(QStringLiteral("trans_id")).AsInteger();
        entry.IdOrder = query.FieldByName(QStringLiteral("id_order")).AsLargeInt();
        entry.Filled = query.FieldByName(QStringLiteral("filled")).AsBoolean();
        entry.Code = query.FieldByName(QStringLiteral("code")).AsString();
        const TField status = query.FieldByName(QStringLiteral("status"));
        if (!status.IsNull())
            entry.Status = status.AsInteger();
        entry.OrderNumber = NumberOf(query.FieldByName(QStringLiteral("order_number")));
        report << entry;
    }
    query.Close();
    return report;
}

QList<TRestingOrder> RestingOrders(const QList<TReportEntry>& report)
{
    // By client (letter case aside) and exchange number: the new order's place in the
    // list, or -1 once a withdrawal of it was answered for good.
    QHash<QPair<QString, qint64>, qsizetype> byNumber;
    QList<TRestingOrder> orders;
    QList<bool> ended;
    for (const TReportEntry& entry : report) {
        if (entry.OrderNumber <= 0)
            continue;
        const QPair<QString, qint64> key{entry.Code.toCaseFolded(), entry.OrderNumber};
        const auto found = byNumber.constFind(key);
        if (found == byNumber.cend()) {
            byNumber.insert(key, orders.size());
            orders << TRestingOrder{entry.TransId, entry.IdOrder, entry.Filled, entry.Code, entry.OrderNumber};
            ended << Refused(entry.Status);
            continue;
        }
        // A withdrawal of that order: answered as done or refused, the order rests no more.
        if (entry.Status && (*entry.Status == 3 || Refused(entry.Status)))
            ended[*found] = true;
    }
    QList<TRestingOrder> resting;
    for (qsizetype i = 0; i < orders.size(); ++i)
        if (!ended[i])
            resting << orders[i];
    return resting;
}

bool ReadReportedAlertOrder(TDatMod& datMod, qint64 idOrder, bool filled,
                            const std::function<void(TDataSet& row, bool fromFilledOrders)>& eachRow)
{
    TQuery query(datMod.conOmega());
    query.Add(filled ? QStringLiteral("SELECT * FROM FilledOrders") : QStringLiteral("SELECT * FROM ActiveOrders"));
    query.Add(QStringLiteral("WHERE ID = :id"));
    query.SetParam(QStringLiteral("id"), idOrder);
    if (FirstRow(query, [&](TDataSet& row) { eachRow(row, filled); }))
        return true;
    if (filled)
        return false;
    query.Clear();
    query.ClearParams();
    query.Add(QStringLiteral("SELECT * FROM CanceledOrders"));
    query.Add(QStringLiteral("WHERE [Order Number] = :id"));
    query.SetParam(QStringLiteral("id"), QString::number(idOrder));
    return FirstRow(query, [&](TDataSet& row) { eachRow(row, false); });
}

QList<TClientAccount> ReadClientAccounts(TDatMod& datMod)
{
    TQuery query(datMod.conQuikData());
    query.Add(QStringLiteral("SELECT Code, AccountMicex, AccountFORTS"));
    query.Add(QStringLiteral("FROM tclients"));
    query.Open();
    QList<TClientAccount> accounts;
    for (query.First(); !query.Eof(); query.Next())
        accounts << TClientAccount{query.FieldByName(QStringLiteral("Code")).AsString(),
                                   query.FieldByName(QStringLiteral("AccountMicex")).AsString(),
                                   query.FieldByName(QStringLiteral("AccountFORTS")).AsString()};
    query.Close();
    return accounts;
}
