#pragma once

#include "trade/TradeLookup.h"

class TDatMod;

// The bridge database's answers for order translation, through the data module. Every
// value is bound as a parameter; a column left empty (NULL) is an absent value. What it
// adds to the data module is the securities row kept for the accounts of one dispatch.
class TDatModTradeLookup : public TTradeLookup {
public:
    explicit TDatModTradeLookup(TDatMod& datMod) : FDatMod(datMod) {}

    // Opens tSecCode first when it is closed, so that the securities grid has its rows.
    // While securities are kept, the answer for the ticker asked last (the same text) is
    // given again without a statement, unless tSecCode has been closed (so also when the
    // connection closed) or a row of it stored or deleted through the data module since
    // it was read. Another program's change is not looked for: a dispatch keeps the
    // bridge database in one transaction, and a SQLite file shows a transaction no other
    // program's commit until it ends.
    std::optional<TSecurityRow> FindSecurity(const QString& ticker) override;
    void KeepSecurities() noexcept override { ++FKeepDepth; }
    void ReleaseSecurities() noexcept override;
    // Opens tPortfolio first when it is closed.
    std::optional<TPortfolioRow> FindPortfolio(const QString& clientCode) override;
    // Opens tClientOpenPositions first when it is closed. A first row whose quantity is
    // empty counts as nothing booked: the computed quantity then stays.
    std::optional<qint32> FindExitQuantity(const TPositionKey& position) override;
    // The order number of the row with the highest transaction number, as text; empty
    // when there is no row or its order number is still empty.
    QString LastOrderNumber(qint64 orderId, bool filled, const QString& clientCode) override;

private:
    std::optional<TSecurityRow> ReadSecurity(const QString& ticker);

    // The answer kept for a ticker, with the count of securities edits it was read at.
    struct TKeptSecurity {
        QString Ticker;
        std::optional<TSecurityRow> Row;
        quint64 Edits = 0;
    };

    TDatMod& FDatMod;
    int FKeepDepth = 0;
    std::optional<TKeptSecurity> FKept;
};
