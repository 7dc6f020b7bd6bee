#include "trade/OpenPosition.h"

bool IsExitOrderType(const QString& orderType)
{
    return orderType == QLatin1String("LX") || orderType == QLatin1String("SX");
}

QString PositionOfOrderType(const QString& orderType)
{
    if (orderType == QLatin1String("LE") || orderType == QLatin1String("LX"))
        return QStringLiteral("Long");
    if (orderType == QLatin1String("SE") || orderType == QLatin1String("SX"))
        return QStringLiteral("Short");
    return {};
}

TPositionKey PositionKeyOf(const TOrder& order, const TOmegaOrder& omega)
{
    TPositionKey key;
    key.Code = order.ClientCode;
    key.Symbol = order.Ticker;
    key.System = omega.System;
    key.Workspace = WorkspaceFileName(omega.Workspace);
    key.Interval = omega.Interval;
    key.Position = PositionOfOrderType(order.OrderType);
    return key;
}

TPositionChange PositionChangeOf(const TOrder& order)
{
    if (order.Action != QLatin1String("NEW_ORDER"))
        return TPositionChange::None;
    if (order.OrderType == QLatin1String("LE") || order.OrderType == QLatin1String("SE"))
        return TPositionChange::Open;
    if (IsExitOrderType(order.OrderType))
        return TPositionChange::Close;
    return TPositionChange::None;
}

TOpenPositionRow OpenPositionRowOf(const TOrder& order, const TOmegaOrder& omega)
{
    TOpenPositionRow row;
    row.Key = PositionKeyOf(order, omega);
    // The booked symbol is the platform's ticker, which the order carries unchanged.
    row.Key.Symbol = omega.Symbol;
    row.Quantity = order.Quantity;
    row.Signal = omega.Signal;
    return row;
}
