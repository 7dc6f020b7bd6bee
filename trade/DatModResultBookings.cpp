#include "trade/DatModResultBookings.h"

#include "data/DatMod.h"

QString CutToColumn(const QString& text, int length)
{
    if (text.size() <= length)
        return text;
    int cut = length;
    if (cut > 0 && text.at(cut - 1).isHighSurrogate())
        --cut;
    return text.left(cut);
}

std::optional<TTransactionRow> TDatModResultBookings::LookUp(int transId)
{
    return FDatMod.FindTransaction(transId);
}

void TDatModResultBookings::UpdateOrderNumber(bool filled, qint64 idOrder)
{
    FDatMod.UpdateOrderNumber(filled, idOrder);
}

void TDatModResultBookings::BookResult(const TResultLine& result)
{
    FDatMod.BookTransactionResult(result.TransId, result.Status,
                                  CutToColumn(result.TransName, TransNameLength),
                                  CutToColumn(result.Description, DescriptionLength),
                                  result.OrderNumber);
}

void TDatModResultBookings::BeginBookings()
{
    RollbackBookings();
    FBridge.emplace(FDatMod.conQuikData());
    FAlerts.emplace(FDatMod.conOmega());
}

void TDatModResultBookings::CommitBookings()
{
    try {
        if (FBridge)
            FBridge->Commit();
        if (FAlerts)
            FAlerts->Commit();
    } catch (...) {
        RollbackBookings();
        throw;
    }
    RollbackBookings(); // both committed: only forgets them
}

void TDatModResultBookings::RollbackBookings() noexcept
{
    FAlerts.reset();
    FBridge.reset();
}
