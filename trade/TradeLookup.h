#pragma once

#include "trade/OpenPosition.h"
#include "trade/PositionSize.h"

#include <QString>
#include <optional>

// What translating an order needs to know from the bridge database. The data module
// answers these over its tables and queries (opening a closed table first, values bound
// as parameters); each answer may throw TError when the database fails. A failure of
// FindSecurity or FindPortfolio is logged by the sizing and leaves the order unsent; a
// failure of FindExitQuantity or LastOrderNumber reaches the caller of the builder.
class TTradeLookup {
public:
    virtual ~TTradeLookup() = default;

    // The securities row whose ticker is the given one (the first, if several); none when
    // the ticker is not listed.
    virtual std::optional<TSecurityRow> FindSecurity(const QString& ticker) = 0;

    // One strategy order goes to many accounts, and each asks for the same security. From
    // KeepSecurities() to the matching ReleaseSecurities() (the pairs nest) a lookup may
    // answer FindSecurity with the answer it gave last for the same ticker, as long as
    // nothing it knows of has changed the securities since; after the last release it
    // asks the database again. A lookup that keeps nothing ignores both calls.
    virtual void KeepSecurities() noexcept {}
    virtual void ReleaseSecurities() noexcept {}

    // The client's row of the portfolio table; none when the terminal exported no row for
    // the client.
    virtual std::optional<TPortfolioRow> FindPortfolio(const QString& clientCode) = 0;

    // The quantity of the first booked row of the position; none when nothing is booked.
    virtual std::optional<qint32> FindExitQuantity(const TPositionKey& position) = 0;

    // The exchange order number of the last transaction (highest transaction number) sent
    // for the strategy order of the given table and client; empty when there is none or
    // its result has not reported a number yet.
    virtual QString LastOrderNumber(qint64 orderId, bool filled, const QString& clientCode) = 0;
};
