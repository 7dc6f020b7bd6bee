#include "trade/DatModTradeLookup.h"

#include "data/DatMod.h"

namespace {

void OpenIfClosed(TTable& table)
{
    if (!table.Active())
        table.Open();
}

std::optional<qint32> OptionalInteger(TDataSet& dataSet, const QString& column)
{
    const TField field = dataSet.FieldByName(column);
    if (field.IsNull())
        return std::nullopt;
    return field.AsInteger();
}

std::optional<double> OptionalFloat(TDataSet& dataSet, const QString& column)
{
    const TField field = dataSet.FieldByName(column);
    if (field.IsNull())
        return std::nullopt;
    return field.AsFloat();
}

} // namespace

std::optional<TSecurityRow> TDatModTradeLookup::FindSecurity(const QString& ticker)
{
    if (FKeepDepth > 0 && FKept && FKept->Ticker == ticker && FDatMod.tSecCode.Active()
        && FKept->Edits == FDatMod.SecuritiesEdits())
        return FKept->Row;
    std::optional<TSecurityRow> row = ReadSecurity(ticker);
    if (FKeepDepth > 0)
        FKept = TKeptSecurity{ticker, row, FDatMod.SecuritiesEdits()};
    return row;
}

void TDatModTradeLookup::ReleaseSecurities() noexcept
{
    if (FKeepDepth > 0 && --FKeepDepth == 0)
        FKept.reset();
}

std::optional<TSecurityRow> TDatModTradeLookup::ReadSecurity(const QString& ticker)
{
    OpenIfClosed(FDatMod.tSecCode);
    TQuery& query = FDatMod.qSecCode;
    FDatMod.OpenSecCode(ticker);
    if (query.IsEmpty())
        return std::nullopt;
    query.First();
    TSecurityRow row;
    row.SecCode = query.FieldByName(QStringLiteral("SecCode")).AsString();
    row.ClassCode = query.FieldByName(QStringLiteral("Class_Code")).AsString();
    row.Digits = OptionalInteger(query, QStringLiteral("Digits"));
    row.Traded = query.FieldByName(QStringLiteral("Traded")).AsBoolean();
    row.Slippage = OptionalFloat(query, QStringLiteral("Slippage"));
    row.LotSize = OptionalInteger(query, QStringLiteral("LotSize"));
    row.FixVol = OptionalFloat(query, QStringLiteral("FixVol"));
    row.Part = OptionalFloat(query, QStringLiteral("Part"));
    return row;
}

std::optional<TPortfolioRow> TDatModTradeLookup::FindPortfolio(const QString& clientCode)
{
    OpenIfClosed(FDatMod.tPortfolio);
    TQuery& query = FDatMod.qPortfolio;
    FDatMod.OpenPortfolio(clientCode);
    if (query.IsEmpty())
        return std::nullopt;
    query.First();
    TPortfolioRow row;
    row.CurAllAssets = OptionalFloat(query, QStringLiteral("CurAllAssets"));
    return row;
}

std::optional<qint32> TDatModTradeLookup::FindExitQuantity(const TPositionKey& position)
{
    OpenIfClosed(FDatMod.tClientOpenPositions);
    TQuery& query = FDatMod.qExitQty;
    FDatMod.OpenExitQty(position);
    if (query.IsEmpty())
        return std::nullopt;
    query.First();
    return OptionalInteger(query, QStringLiteral("Quantity"));
}

QString TDatModTradeLookup::LastOrderNumber(qint32 orderId, bool filled, const QString& clientCode)
{
    TQuery& query = FDatMod.qQuikData;
    FDatMod.OpenOrderNumbers(orderId, filled, clientCode);
    if (query.IsEmpty())
        return {};
    // The rows come oldest transaction first: the last one was sent last.
    query.Last();
    const TField number = query.FieldByName(QStringLiteral("order_number"));
    return number.IsNull() ? QString() : number.AsString();
}
