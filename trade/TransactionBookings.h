#pragma once

#include "data/PositionKey.h"
#include "trade/OpenPosition.h"
#include "trade/TransactionLine.h"

// The database work of the transaction sender: each sent transaction is booked in the
// transaction report, and a plain entry or exit changes the client's booked positions.
// Failures are thrown as TError.
class TTransactionBookings {
public:
    virtual ~TTransactionBookings() = default;

    // Books the transaction's row in the transaction report.
    virtual void BookOrderNumber(const TOrderNumberRow& row) = 0;
    // Books an entry's row in the client's open positions.
    virtual void BookOpenPosition(const TOpenPositionRow& row) = 0;
    // Deletes every booked row of the position an exit leaves.
    virtual void DeleteOpenPositions(const TPositionKey& key) = 0;
};
