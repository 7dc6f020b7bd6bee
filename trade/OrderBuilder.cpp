#include "trade/OrderBuilder.h"

#include "data/Settings.h"
#include "shell/Environment.h"
#include "shell/Error.h"
#include "shell/OperationLog.h"
#include "trade/OpenPosition.h"
#include "trade/Price.h"
#include "trade/TradeLookup.h"

#include <utility>

TOrderBuilder::TOrderBuilder(const TSettings& settings, const TEnvironment& environment,
                             TOperationLog& log, TTradeLookup& lookup)
    : FSettings(settings), FEnvironment(environment), FLog(log), FLookup(lookup)
{
}

void TOrderBuilder::SizeFromSecurity(TOrder& order)
{
    const std::optional<TSecurityRow> security = FLookup.FindSecurity(order.Ticker);
    if (!security) {
        FLog.AddToLog(SecurityNotFoundMessage(order.Ticker));
        order.Quantity = 0;
        return;
    }
    ApplySecurityRow(order, *security);
    if (!security->Slippage)
        throw TError(QStringLiteral("The column Slippage is empty"));
    order.StopPrice = SlippagePrice(order.Operation, order.Price, *security->Slippage);
    const std::optional<TPortfolioRow> portfolio = FLookup.FindPortfolio(order.ClientCode);
    SizeOrder(order, *security, portfolio, FSettings, FEnvironment.Regional, FLog);
}

void TOrderBuilder::CalcOrder(TOrder& order, const TOmegaOrder& omega)
{
    try {
        SizeFromSecurity(order);
    } catch (const std::exception& error) {
        // The order is not sized, so it does not go out; what was filled in stays.
        FLog.AddToLog(SecurityErrorMessage(order.Ticker, ErrorText(error)));
        order.Quantity = 0;
    }

    // Exact closing: an exit takes exactly what is booked for the client's position.
    if (IsExitOrderType(order.OrderType) && FSettings.chExitQty) {
        const std::optional<qint32> booked = FLookup.FindExitQuantity(PositionKeyOf(order, omega));
        if (booked)
            order.Quantity = *booked;
    }
    FLog.SaveLog();
}

void FinishNewOrder(TOrder& order, const TClientAccount& account)
{
    order.Action = QStringLiteral("NEW_ORDER");
    if (order.IsStop) {
        // The terminal's stop order: the limit price is the slippage price, the trigger
        // the strategy's stop price.
        order.Action = QStringLiteral("NEW_STOP_ORDER");
        std::swap(order.Price, order.StopPrice);
    }
    if (order.IsMarket)
        order.Price = order.StopPrice;
    order.Account = AccountByClassCode(order.ClassCode, account);
}

void FinishKillOrder(TOrder& order, const TClientAccount& account)
{
    order.Action = QStringLiteral("KILL_ORDER");
    if (order.IsStop) {
        order.Action = QStringLiteral("KILL_STOP_ORDER");
        order.StopOrderKey = order.OrderKey;
    }
    order.Account = AccountByClassCode(order.ClassCode, account);
}

bool TOrderBuilder::NewOrder(TOrder& order, const TOmegaOrder& omega, const TClientAccount& account)
{
    ClearOrder(order);
    CopyOrderIdentity(order, omega, account);
    ConvertOrder(order, omega, FEnvironment.Regional);
    CalcOrder(order, omega);
    if (order.Quantity <= 0)
        return false;
    FinishNewOrder(order, account);
    return true;
}

bool TOrderBuilder::KillOrder(TOrder& order, const TOmegaOrder& omega, const TClientAccount& account)
{
    ClearOrder(order);
    CopyOrderIdentity(order, omega, account);
    order.OrderKey = FLookup.LastOrderNumber(order.OrderId, omega.Filled, order.ClientCode);
    if (!IsOrderNumber(order.OrderKey))
        return false; // nothing reached the exchange that could be withdrawn
    ConvertOrder(order, omega, FEnvironment.Regional);
    CalcOrder(order, omega);
    if (order.Quantity <= 0)
        return false;
    FinishKillOrder(order, account);
    return true;
}
