#pragma once

#include "base/Error.h"
#include "trade/TransactionBookings.h"

#include <QStringList>

// The transaction sender's bookings without a database: each booking is recorded as a
// line ("order 7 41 filled C1", "position C1 ABC Long 3", "exit C1 ABC Long"); a booking
// whose kind is named in Fail throws instead.
class TFakeTransactionBookings : public TTransactionBookings {
public:
    QStringList Booked;
    QStringList Fail; // "order", "position", "exit"

    void BookOrderNumber(const TOrderNumberRow& row) override
    {
        Record(QStringLiteral("order"), QStringLiteral("order %1 %2 %3 %4")
                                            .arg(row.TransId)
                                            .arg(row.IdOrder)
                                            .arg(row.Filled ? QStringLiteral("filled") : QStringLiteral("active"), row.Code));
    }
    void BookOpenPosition(const TOpenPositionRow& row) override
    {
        Record(QStringLiteral("position"), QStringLiteral("position %1 %2 %3 %4")
                                               .arg(row.Key.Code, row.Key.Symbol, row.Key.Position)
                                               .arg(row.Quantity));
    }
    void DeleteOpenPositions(const TPositionKey& key) override
    {
        Record(QStringLiteral("exit"), QStringLiteral("exit %1 %2 %3").arg(key.Code, key.Symbol, key.Position));
    }

private:
    void Record(const QString& kind, const QString& line)
    {
        if (Fail.contains(kind))
            throw TError(QStringLiteral("Запись %1 не удалась").arg(kind));
        Booked << line;
    }
};
