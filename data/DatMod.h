#pragma once

#include "data/Connection.h"
#include "data/Query.h"
#include "data/Table.h"
#include "base/Environment.h"
#include "data/PositionKey.h"

#include <functional>

// The data module: both database connections with every table and statement on them.
// The statements other parts send are built here, text values bound as parameters.
class TDatMod {
public:
    explicit TDatMod(TEnvironment& environment);
    TDatMod(const TDatMod&) = delete;
    TDatMod& operator=(const TDatMod&) = delete;

    // The strategy platform's alert database.
    TConnection conOmega;
    TTable tFilledOrders;
    TTable tActiveOrders;
    TTable tCanceledOrders;
    TTable tOpenPisitions;
    TQuery qFilledOrders;
    TQuery qActiveOrders;
    TQuery qCanceledOrders;
    TQuery qUpdateOrderNumber;
    TQuery qLastID;

    // The bridge database.
    TConnection conQuikData;
    TTable tParam;
    TTable tPortfolio;
    TTable tSecCode;
    TTable tWorkSpaces;
    TTable tStrategy;
    TTable tOrderNumber;
    TTable tClients;
    TTable tClientOpenPositions;
    TQuery qSecCode;
    TQuery qSecCodeSum;
    TQuery qPortfolio;
    TQuery qPortfolioSum;
    TQuery qActiveClients;
    TQuery qExitQty;
    TQuery qQuikData;

    // Refreshes the footer sums of the securities grid after a security is stored or
    // deleted; set by the settings dialog.
    std::function<void()> UpdateSumList;

    // The id of the table's last row (the greatest id), 0 for an empty table, -1 for a
    // closed table or when it cannot be read.
    int GetLastId(TTable& table);
    // Empties the transaction report tOrderNumber and opens it again.
    void ClearOrderNumbers();
    // Refuses a security without a terminal code (an empty SecCode), with a message.
    bool tSecCodeBeforePost();
    void tSecCodeAfterPost();
    // Grows whenever a row of tSecCode is about to be stored, has been stored or has been
    // deleted through tSecCode: a securities row read before is then possibly out of date.
    quint64 SecuritiesEdits() const { return FSecuritiesEdits; }

    // Statements of the order intake: the rows of an alert table with id above afterId
    // and not above upToId, into one of qFilledOrders, qActiveOrders, qCanceledOrders.
    void OpenNewOrders(TQuery& query, const QString& tableName, int afterId, int upToId);
    // Marks the alert order with id n as accepted by the terminal: its "Order Number"
    // becomes n (FilledOrders when filled, else ActiveOrders).
    void UpdateOrderNumber(bool filled, int id);

    // The security with the strategy platform's ticker, into qSecCode.
    void OpenSecCode(const QString& ticker);
    // The current total assets (CurAllAssets) of a client, into qPortfolio: no row when
    // the terminal exported none for the client. The sizing needs no other column, and a
    // statement of one column costs a fraction of one of every column.
    void OpenPortfolio(const QString& clientCode);
    // The booked quantity of one position, into qExitQty.
    void OpenExitQty(const TPositionKey& key);
    // Deletes every booked row of one position; the number of rows deleted.
    int DeleteExitQty(const TPositionKey& key);
    // The transaction report row of a transaction number, into qQuikData.
    void OpenTransaction(int transId);
    // Books a terminal result into the transaction report; the number of rows changed.
    int BookTransactionResult(int transId, int status, const QString& transName,
                              const QString& description, qint64 orderNumber);
    // The exchange order numbers sent for a strategy order and client, oldest transaction
    // first, into qQuikData.
    void OpenOrderNumbers(int orderId, bool filled, const QString& clientCode);

private:
    void SetExitQtyParams(const TPositionKey& key);
    TEnvironment& FEnvironment;
    quint64 FSecuritiesEdits = 0;
};
