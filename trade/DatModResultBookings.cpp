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
