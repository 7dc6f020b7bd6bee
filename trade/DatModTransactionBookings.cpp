#include "trade/DatModTransactionBookings.h"

#include "data/DatMod.h"

void TDatModTransactionBookings::BookOrderNumber(const TOrderNumberRow& row)
{
    FDatMod.InsertOrderNumber(row.TransId, row.IdOrder, row.Filled, row.Code);
}

void TDatModTransactionBookings::BookOpenPosition(const TOpenPositionRow& row)
{
    FDatMod.InsertOpenPosition(row.Key, row.Quantity, row.Signal);
}

void TDatModTransactionBookings::DeleteOpenPositions(const TPositionKey& key)
{
    FDatMod.DeleteExitQty(key);
}
