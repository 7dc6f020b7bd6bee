#include "data/SecurityLimits.h"

#include <cmath>

QString SecurityPriceValuesProblem(std::optional<qint32> digits, std::optional<double> slippage)
{
    if (digits && (*digits > MaxPriceDigits || *digits < -MaxPriceDigits))
        return QStringLiteral("Поле Digits (%1) должно быть от %2 до %3").arg(*digits).arg(-MaxPriceDigits).arg(MaxPriceDigits);
    if (slippage && !(std::isfinite(*slippage) && std::fabs(*slippage) < MaxSlippagePercent))
        return QStringLiteral("Поле Slippage (%1) должно быть больше -%2 и меньше %2")
            .arg(*slippage)
            .arg(MaxSlippagePercent);
    return {};
}
