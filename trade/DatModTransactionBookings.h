#pragma once

#include "trade/TransactionBookings.h"

class TDatMod;

// The transaction sender's bookings through the data module: tOrderNumber and
// tClientOpenPositions of the bridge database.
class TDatModTransactionBookings : public TTransactionBookings {
public:
    explicit TDatModTransactionBookings(TDatMod& datMod) : FDatMod(datMod) {}

    void BookOrderNumber(const TOrderNumberRow& row) override;
    void BookOpenPosition(const TOpenPositionRow& row) override;
    void DeleteOpenPositions(const TPositionKey& key) override;

private:
    TDatMod& FDatMod;
};
