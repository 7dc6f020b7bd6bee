#pragma once

#include "trade/TradeLookup.h"

class TDatMod;

// The bridge database's answers for order translation, through the data module's tables
// and statements: qSecCode, qPortfolio, qExitQty and, for withdrawals, qQuikData. Every
// value is bound as a parameter; a column left empty (NULL) is an absent value.
class TDatModTradeLookup : public TTradeLookup {
public:
    explicit TDatModTradeLookup(TDatMod& datMod) : FDatMod(datMod) {}

    // Opens tSecCode first when it is closed, so that the securities grid has its rows.
    std::optional<TSecurityRow> FindSecurity(const QString& ticker) override;
    // Opens tPortfolio first when it is closed.
    std::optional<TPortfolioRow> FindPortfolio(const QString& clientCode) override;
    // Opens tClientOpenPositions first when it is closed. A first row whose quantity is
    // empty counts as nothing booked: the computed quantity then stays.
    std::optional<qint32> FindExitQuantity(const TPositionKey& position) override;
    // The order number of the row with the highest transaction number, as text; empty
    // when there is no row or its order number is still empty.
    QString LastOrderNumber(qint32 orderId, bool filled, const QString& clientCode) override;

private:
    TDatMod& FDatMod;
};
