#pragma once

#include "base/Error.h"
#include "trade/TradeLookup.h"

#include <QHash>
#include <QList>
#include <QStringList>

// The bridge database's answers for the order builders as a test sets them up, recording
// what was asked: securities by ticker, portfolios by client code, one booked exit
// quantity for any position, and exchange order numbers by "order id/filled/client code"
// (filled is 1 or 0). A portfolio or exit quantity lookup throws TError when told to fail.
class TFakeTradeLookup : public TTradeLookup {
public:
    QHash<QString, TSecurityRow> Securities;
    QHash<QString, TPortfolioRow> Portfolios;
    std::optional<qint32> ExitQuantity;
    QHash<QString, QString> OrderNumbers;
    bool FailPortfolio = false;
    bool FailExitQuantity = false;
    QList<TPositionKey> AskedPositions;
    QStringList AskedOrderNumbers;

    std::optional<TSecurityRow> FindSecurity(const QString& ticker) override
    {
        if (!Securities.contains(ticker))
            return std::nullopt;
        return Securities.value(ticker);
    }
    std::optional<TPortfolioRow> FindPortfolio(const QString& clientCode) override
    {
        if (FailPortfolio)
            throw TError(QStringLiteral("Table closed"));
        if (!Portfolios.contains(clientCode))
            return std::nullopt;
        return Portfolios.value(clientCode);
    }
    std::optional<qint32> FindExitQuantity(const TPositionKey& position) override
    {
        if (FailExitQuantity)
            throw TError(QStringLiteral("Database closed"));
        AskedPositions << position;
        return ExitQuantity;
    }
    QString LastOrderNumber(qint64 orderId, bool filled, const QString& clientCode) override
    {
        const QString key = QStringLiteral("%1/%2/%3").arg(orderId).arg(filled ? 1 : 0).arg(clientCode);
        AskedOrderNumbers << key;
        return OrderNumbers.value(key);
    }
};
