#pragma once

#include "data/PositionKey.h"
#include "trade/OmegaOrder.h"
#include "trade/Order.h"

#include <QString>

// One row of the open-positions table, booked for an entry.
struct TOpenPositionRow {
    TPositionKey Key;
    qint32 Quantity = 0; // lots
    QString Signal;
};

// What a sent transaction does to the client's booked positions.
enum class TPositionChange {
    None,    // stop orders, withdrawals, unknown order types
    Open,    // a plain new entry ("LE", "SE"): one row is added
    Close,   // a plain new exit ("LX", "SX"): every row of the position goes
};

// True for the exit order types "LX" and "SX".
bool IsExitOrderType(const QString& orderType);

// "Long" for "LE"/"LX", "Short" for "SE"/"SX", empty otherwise.
QString PositionOfOrderType(const QString& orderType);

// The position an order enters or leaves, for the order's client and ticker.
TPositionKey PositionKeyOf(const TOrder& order, const TOmegaOrder& omega);

// Only a plain "NEW_ORDER" changes the booked positions.
TPositionChange PositionChangeOf(const TOrder& order);

// The row booked for an entry.
TOpenPositionRow OpenPositionRowOf(const TOrder& order, const TOmegaOrder& omega);
