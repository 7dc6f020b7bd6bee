#include "trade/PositionSize.h"

#include "base/LogText.h"
#include "base/Environment.h"
#include "base/Error.h"
#include "base/OperationLog.h"
#include "data/Settings.h"

#include <cmath>
#include <limits>

namespace {

template <typename T>
T Required(const std::optional<T>& value, const char* column)
{
    if (!value)
        throw TError(QStringLiteral("Поле %1 не заполнено").arg(QLatin1String(column)));
    return *value;
}

void CheckDivisor(double divisor, const char* name)
{
    if (divisor == 0)
        throw TError(QStringLiteral("Деление на ноль (%1 равно 0)")
                         .arg(QLatin1String(name)));
}

} // namespace

double LotsFromQuantity(qint32 quantity, qint32 lotSize)
{
    CheckDivisor(lotSize, "LotSize");
    return static_cast<double>(quantity) / lotSize;
}

double LotsFromAmount(double amount, double price, qint32 lotSize)
{
    CheckDivisor(price, "Price");
    CheckDivisor(lotSize, "LotSize");
    return amount / price / lotSize;
}

double LotsFromShare(double sharePercent, double assets, double price, qint32 lotSize)
{
    CheckDivisor(price, "Price");
    CheckDivisor(lotSize, "LotSize");
    return sharePercent / 100 * assets / price / lotSize;
}

qint32 WholeLots(double lots)
{
    const double whole = std::trunc(lots);
    if (!(whole >= std::numeric_limits<qint32>::min() && whole <= std::numeric_limits<qint32>::max()))
        throw TError(QStringLiteral("Число лотов %1 вне допустимого диапазона")
                         .arg(QString::number(lots, 'g', 17)));
    return static_cast<qint32>(whole);
}

void ApplySecurityRow(TOrder& order, const TSecurityRow& security)
{
    order.SecCode = security.SecCode;
    order.ClassCode = security.ClassCode;
    order.Digits = Required(security.Digits, "Digits");
    order.Traded = security.Traded;
}

void SizeOrder(TOrder& order, const TSecurityRow& security,
               const std::optional<TPortfolioRow>& portfolio, const TSettings& settings,
               const TRegional& regional, TOperationLog& log)
{
    const int mode = settings.rgpPositionSize;
    if ((mode == psPart || mode == psSecurityPart) && !portfolio) {
        log.AddToLog(ClientNotFoundMessage(order.ClientCode));
        order.Quantity = 0;
        return;
    }
    switch (mode) {
    case psOmegaQuantity:
        order.Quantity = WholeLots(LotsFromQuantity(order.Quantity,
                                                    Required(security.LotSize, "LotSize")));
        break;
    case psFixVol:
        order.Quantity = WholeLots(LotsFromAmount(regional.ParseFloat(settings.edtFixVol),
                                                  order.Price,
                                                  Required(security.LotSize, "LotSize")));
        break;
    case psPart:
        order.Quantity = WholeLots(LotsFromShare(regional.ParseFloat(settings.edtPart),
                                                 Required(portfolio->CurAllAssets, "CurAllAssets"),
                                                 order.Price,
                                                 Required(security.LotSize, "LotSize")));
        break;
    case psSecurityFixVol:
        order.Quantity = WholeLots(LotsFromAmount(Required(security.FixVol, "FixVol"),
                                                  order.Price,
                                                  Required(security.LotSize, "LotSize")));
        break;
    case psSecurityPart:
        order.Quantity = WholeLots(LotsFromShare(Required(security.Part, "Part"),
                                                 Required(portfolio->CurAllAssets, "CurAllAssets"),
                                                 order.Price,
                                                 Required(security.LotSize, "LotSize")));
        break;
    default:
        break; // no sizing chosen: the strategy's quantity goes out as it is
    }
    // An order of no lots is not sent; the operator must see why the account got nothing
    // (an amount or share too small for one lot, a wording of 0 or fewer securities).
    if (order.Quantity <= 0)
        log.AddToLog(QuantityNotPositiveMessage(order.OrderId, order.ClientCode, order.Quantity));
}

QString SecurityNotFoundMessage(const QString& ticker)
{
    return QStringLiteral("Не найден код акции %1 в таблице \"Торгуемых бумаг\"!").arg(LogFragment(ticker));
}

QString ClientNotFoundMessage(const QString& clientCode)
{
    return QStringLiteral("Не найден код клиента%1 в таблице \"Клиентский портфель\"!").arg(LogFragment(clientCode));
}

QString SecurityErrorMessage(const QString& ticker, const QString& errorText)
{
    return QStringLiteral("Произошла ошибка при обращении к таблице \"Торгуемых бумаг\" для тикера %1!")
               .arg(LogFragment(ticker))
        + QStringLiteral("\r\n") + errorText;
}

QString QuantityNotPositiveMessage(qint64 orderId, const QString& clientCode, qint32 quantity)
{
    return QStringLiteral("Ордер # %1 по счету %2 не отправлен: количество %3 лотов, должно быть больше 0.")
        .arg(orderId)
        .arg(LogFragment(clientCode))
        .arg(quantity);
}
