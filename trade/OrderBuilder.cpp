#include "trade/OrderBuilder.h"

#include "base/Environment.h"
#include "base/Error.h"
#include "base/OperationLog.h"
#include "data/SecurityLimits.h"
#include "data/Settings.h"
#include "trade/OpenPosition.h"
#include "trade/Price.h"
#include "trade/RiskLimits.h"
#include "trade/TradeLookup.h"

#include <bit>
#include <utility>

TOrderBuilder::TOrderBuilder(const TSettings& settings, const TEnvironment& environment,
                             TOperationLog& log, TTradeLookup& lookup)
    : FSettings(settings), FEnvironment(environment), FLog(log), FLookup(lookup)
{
}

void TOrderBuilder::Convert(TOrder& order, const TOmegaOrder& omega)
{
    const TRegional& regional = FEnvironment.Regional;
    // The fill price counts only for a filled order; it is compared bit for bit.
    const double fillPrice = omega.Filled ? omega.FillPrice : 0;
    if (FConverted && FConverted->Wording == omega.Order && FConverted->Filled == omega.Filled
        && std::bit_cast<quint64>(FConverted->FillPrice) == std::bit_cast<quint64>(fillPrice)
        && FConverted->DecimalSeparator == regional.DecimalSeparator && FConverted->Locale == regional.Locale) {
        order.Operation = FConverted->Operation;
        order.Quantity = FConverted->Quantity;
        order.Price = FConverted->Price;
        order.IsStop = FConverted->IsStop;
        order.IsMarket = FConverted->IsMarket;
        return;
    }
    FConverted.reset();
    ConvertOrder(order, omega, regional);
    FConverted = TConverted{omega.Order, omega.Filled, fillPrice, regional.DecimalSeparator, regional.Locale,
                            order.Operation, order.Quantity, order.Price, order.IsStop, order.IsMarket};
}

void TOrderBuilder::SizeFromSecurity(TOrder& order)
{
    const std::optional<TSecurityRow> security = FLookup.FindSecurity(order.Ticker);
    if (!security) {
        FLog.AddToLog(SecurityNotFoundMessage(order.Ticker));
        order.Quantity = 0;
        return;
    }
    const QString unusable = SecurityPriceValuesProblem(security->Digits, security->Slippage);
    if (!unusable.isEmpty())
        throw TError(unusable);
    ApplySecurityRow(order, *security);
    if (!security->Slippage)
        throw TError(QStringLiteral("Поле Slippage не заполнено"));
    order.StopPrice = SlippagePrice(order.Operation, order.Price, *security->Slippage);
    const std::optional<TPortfolioRow> portfolio = FLookup.FindPortfolio(order.ClientCode);
    SizeOrder(order, *security, portfolio, FSettings, FEnvironment.Regional, FLog);
}

void TOrderBuilder::CalcOrder(TOrder& order, const TOmegaOrder& omega)
{
    CalcOrder(order, omega, std::nullopt);
}

void TOrderBuilder::CalcOrder(TOrder& order, const TOmegaOrder& omega, const std::optional<double>& multiplier)
{
    try {
        SizeFromSecurity(order);
    } catch (const std::exception& error) {
        // The order is not sized, so it does not go out; what was filled in stays.
        FLog.AddToLog(SecurityErrorMessage(order.Ticker, ErrorText(error)));
        order.Quantity = 0;
    }

    // The client trades a multiple of the sized quantity, in whole lots.
    if (multiplier && order.Quantity > 0) {
        order.Quantity = ScaledLots(order.Quantity, *multiplier);
        if (order.Quantity <= 0)
            FLog.AddToLog(QuantityNotPositiveMessage(order.OrderId, order.ClientCode, order.Quantity));
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
    Convert(order, omega);
    CalcOrder(order, omega, account.Multiplier);
    if (order.Quantity <= 0)
        return false;
    FinishNewOrder(order, account);
    // A price that is no number, not above 0 or out of any range (an unreadable price
    // word, a hostile row) never reaches the terminal: the limit price of every new order,
    // and the trigger price of a stop order.
    const bool stop = order.Action == QLatin1String("NEW_STOP_ORDER");
    for (const double price : {order.Price, stop ? order.StopPrice : order.Price}) {
        if (!IsUsablePrice(price)) {
            FLog.AddToLog(UnusablePriceMessage(order.OrderId, order.ClientCode, price));
            FLog.SaveLog();
            return false;
        }
        // A price above 0 may still round to nothing at the security's decimals ("Buy 20
        // at 0.004" at two decimals): the line would carry PRICE=0.00.
        const QString text = FPriceTexts.Format(order.Digits, price, FEnvironment.Regional);
        if (WritesAsZero(text)) {
            FLog.AddToLog(ZeroPriceMessage(order.OrderId, order.ClientCode, price, text));
            FLog.SaveLog();
            return false;
        }
    }
    return true;
}

bool TOrderBuilder::KillOrder(TOrder& order, const TOmegaOrder& omega, const TClientAccount& account)
{
    ClearOrder(order);
    CopyOrderIdentity(order, omega, account);
    order.OrderKey = FLookup.LastOrderNumber(order.OrderId, omega.Filled, order.ClientCode);
    if (!IsOrderNumber(order.OrderKey))
        return false; // nothing reached the exchange that could be withdrawn
    Convert(order, omega);
    CalcOrder(order, omega);
    if (order.Quantity <= 0)
        return false;
    FinishKillOrder(order, account);
    return true;
}
