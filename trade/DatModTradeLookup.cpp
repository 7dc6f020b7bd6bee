#include "trade/DatModTradeLookup.h"

#include "data/DatMod.h"


std::optional<TSecurityRow> TDatModTradeLookup::FindSecurity(const QString& ticker)
{
    if (FKeepDepth > 0 && FKept && FKept->Ticker == ticker && FDatMod.tSecCode().Active()
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
    return FDatMod.FindSecurity(ticker);
}

std::optional<TPortfolioRow> TDatModTradeLookup::FindPortfolio(const QString& clientCode)
{
    return FDatMod.FindPortfolio(clientCode);
}

std::optional<qint32> TDatModTradeLookup::FindExitQuantity(const TPositionKey& position)
{
    return FDatMod.FindExitQuantity(position);
}

QString TDatModTradeLookup::LastOrderNumber(qint64 orderId, bool filled, const QString& clientCode)
{
    return FDatMod.LastOrderNumber(orderId, filled, clientCode);
}
