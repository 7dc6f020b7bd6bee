#pragma once

#include "data/BridgeRows.h"

#include <QList>
#include <QString>
#include <functional>
#include <optional>

class TDataSet;
class TDatMod;

// A row of the transaction report tOrderNumber as the kill switch reads it.
struct TReportEntry {
    qint32 TransId = 0;
    qint64 IdOrder = 0;
    bool Filled = false; // the strategy order is a FilledOrders row (else ActiveOrders)
    QString Code;
    std::optional<qint32> Status; // none before the terminal answered
    qint64 OrderNumber = 0;       // 0 when none was reported
};

// A new order the terminal numbered and that, as far as the report tells, still rests on
// the exchange.
struct TRestingOrder {
    qint32 TransId = 0; // the new order's transaction
    qint64 IdOrder = 0;
    bool Filled = false;
    QString Code;
    qint64 OrderNumber = 0;
};

// Every row of the transaction report, of this run and of earlier ones, oldest
// transaction first.
QList<TReportEntry> ReadTransactionReport(TDatMod& datMod);

// The orders of the report that rest. The terminal answers a withdrawal with the number of
// the order it withdraws, so of the rows of one client that carry the same exchange
// number the first is the new order and each later one a withdrawal of it. A new order
// rests when its number is known, its own answer is not a refusal (status 2 or above, but
// 3), and no withdrawal of it has been answered with a final status: 3 (withdrawn) or a
// refusal (the terminal has no such order to withdraw any more: it was filled or is gone).
// In the order of the report.
QList<TRestingOrder> RestingOrders(const QList<TReportEntry>& report);

// The strategy order a report row came from, handed to eachRow: the FilledOrders or
// ActiveOrders row of that id, or, when the platform has moved it out of ActiveOrders on a
// cancel, the CanceledOrders row that names it in its order number. False when neither is
// found.
bool ReadReportedAlertOrder(TDatMod& datMod, qint64 idOrder, bool filled,
                            const std::function<void(TDataSet& row, bool fromFilledOrders)>& eachRow);

// Every client of the clients table, active or not (an inactive client's order may rest
// all the same), in the order the table gives them.
QList<TClientAccount> ReadClientAccounts(TDatMod& datMod);
