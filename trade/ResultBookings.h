#pragma once

#include "data/BridgeRows.h"
#include "trade/ResultLine.h"

#include <optional>

// The database work of the result reader: the transaction report `tOrderNumber` of the
// bridge database and the order-number link in the alert database. Every value goes into
// its statement as a bound parameter. Failures are thrown as TError; the reader lets
// them reach its caller and retries the line at its next pass, so each operation must be
// safe to repeat.
class TResultBookings {
public:
    virtual ~TResultBookings() = default;

    // The `tOrderNumber` row of the transaction, none when there is no such row.
    virtual std::optional<TTransactionRow> LookUp(int transId) = 0;
    // Writes the strategy order's own id into its "order number" column, in the
    // FilledOrders table when `filled`, else in ActiveOrders.
    virtual void UpdateOrderNumber(bool filled, qint64 idOrder) = 0;
    // Books the status, the two texts and the exchange order number into the
    // transaction's `tOrderNumber` row; a transaction without a row changes nothing.
    virtual void BookResult(const TResultLine& result) = 0;

    // The bookings from BeginBookings() to CommitBookings() are stored together: a slice
    // of a pass pays one commit, and the reader moves its position past the slice's lines
    // only once they are stored. RollbackBookings() takes back what is not committed
    // (also after a failed commit). Without them (the default) each operation is stored
    // on its own.
    virtual void BeginBookings() {}
    // Throws TError when the bookings cannot be stored; they are then taken back.
    virtual void CommitBookings() {}
    virtual void RollbackBookings() noexcept {}
};
