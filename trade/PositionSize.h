#pragma once

#include "trade/Order.h"

#include <QString>
#include <optional>

class TOperationLog;
class TSettings;
struct TRegional;

// The sizing modes of the setting rgpPositionSize.
enum TPositionSizeMode : int {
    psOmegaQuantity = 0,   // "Кол-во из Omega Research": the strategy's quantity in lots
    psFixVol = 1,          // "Фиксированная сумма (руб.)": the settings' amount
    psPart = 2,            // "Доля счета (%)": the settings' share of the client's assets
    psSecurityFixVol = 3,  // "Сумма по бумаге ": the security's amount
    psSecurityPart = 4,    // "Доля счета по бумаге": the security's share of the assets
};

// Lots for a quantity in securities: quantity / lotSize.
double LotsFromQuantity(qint32 quantity, qint32 lotSize);
// Lots for an amount of money: amount / price / lotSize.
double LotsFromAmount(double amount, double price, qint32 lotSize);
// Lots for a share of the assets: sharePercent / 100 x assets / price / lotSize.
double LotsFromShare(double sharePercent, double assets, double price, qint32 lotSize);
// The lots truncated toward zero. Throws TError for a count that is not a number or does
// not fit 32 bits: such an order must not go out with a wrapped quantity.
qint32 WholeLots(double lots);

// The security's codes, decimals and traded mark into the order. Throws TError when the
// row has no decimals; the codes are already set then.
void ApplySecurityRow(TOrder& order, const TSecurityRow& security);

// Sets Quantity by the sizing mode of the settings from the order's parsed Quantity and
// Price, the security's row and the client's portfolio row (absent: the client has none).
// A client without a portfolio row in modes 2 and 4 is logged and gives 0; an unknown mode
// keeps the parsed quantity. A sized quantity of 0 or below is logged (the order is not
// sent to the account). Throws TError when a needed value is empty or zero, a setting
// does not read as a number, or the lot count does not fit.
void SizeOrder(TOrder& order, const TSecurityRow& security,
               const std::optional<TPortfolioRow>& portfolio, const TSettings& settings,
               const TRegional& regional, TOperationLog& log);

// The sizing's log texts.
QString SecurityNotFoundMessage(const QString& ticker);
QString ClientNotFoundMessage(const QString& clientCode);
QString SecurityErrorMessage(const QString& ticker, const QString& errorText);
// The log line of an order that sizes to 0 lots or fewer for an account.
QString QuantityNotPositiveMessage(qint64 orderId, const QString& clientCode, qint32 quantity);
