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

std::optional<TTroLookup> TDatModResultBookings::LookUp(int transId)
{
    TQuery& query = FDatMod.qQuikData;
    FDatMod.OpenTransaction(transId);
    if (query.IsEmpty())
        return std::nullopt;
    query.First();
    TTroLookup found;
    found.IdOrder = query.FieldByName(QStringLiteral("id_order")).AsInteger();
    found.Filled = query.FieldByName(QStringLiteral("filled")).AsBoolean();
    return found;
}

void TDatModResultBookings::UpdateOrderNumber(bool filled, int idOrder)
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
