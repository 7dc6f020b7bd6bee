#include "trade/Price.h"

#include "base/LogText.h"
#include "base/Environment.h"
#include "base/Error.h"

#include <QLocale>
#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

namespace {

// Price texts a TPriceTexts keeps.
constexpr qsizetype KeptPrices = 4;

// The number of significant digits a fixed-point price is written with; further
// decimals are zeros.
constexpr int kSignificantDigits = 16;

QString FormatFixed(qint32 digits, double price, const TRegional& regional)
{
    int decimals = digits;
    if (std::isfinite(price) && price != 0) {
        // Digits before the point, taken from the value rounded to the significant digits.
        const QString scientific = QString::number(price, 'e', kSignificantDigits - 1);
        const int exponent = scientific.mid(scientific.indexOf(QLatin1Char('e')) + 1).toInt();
        decimals = std::clamp(kSignificantDigits - 1 - exponent, 0, digits);
    }
    // One rounding, half away from zero, at the last written significant position.
    QString text = QString::number(price, 'f', decimals);
    if (decimals < digits) {
        if (decimals == 0)
            text += QLatin1Char('.');
        text += QString(digits - decimals, QLatin1Char('0'));
    }
    text.replace(QLatin1Char('.'), regional.DecimalSeparator);
    return text;
}

// Nearest integer, a tie going to the even one, whatever the processor's rounding mode.
double RoundHalfEven(double value)
{
    const double below = std::floor(value);
    const double fraction = value - below;
    if (fraction > 0.5)
        return below + 1;
    if (fraction < 0.5)
        return below;
    return std::fmod(below, 2.0) == 0 ? below : below + 1;
}

QString FormatMultiple(qint32 digits, double price)
{
    const qint64 step = 10 * -static_cast<qint64>(digits);
    const double multiples = RoundHalfEven(price / static_cast<double>(step));
    // 2^63 is exactly representable; anything from there on does not fit.
    constexpr double limit = 9223372036854775808.0;
    if (!(multiples > -limit && multiples < limit))
        throw TError(QStringLiteral("Недопустимая операция с плавающей точкой: цену %1 нельзя округлить")
                         .arg(QString::number(price, 'g', 17)));
    const qint64 count = static_cast<qint64>(multiples);
    if (count > std::numeric_limits<qint64>::max() / step
        || count < std::numeric_limits<qint64>::min() / step)
        throw TError(QStringLiteral("Целочисленное переполнение: цену %1 нельзя округлить")
                         .arg(QString::number(price, 'g', 17)));
    return QString::number(count * step);
}

} // namespace

bool IsUsablePrice(double price)
{
    return std::isfinite(price) && price > 0 && price < 1e16;
}

QString UnusablePriceMessage(qint64 orderId, const QString& clientCode, double price)
{
    return QStringLiteral("Ордер # %1 по счету %2 не отправлен: цена %3 не может быть передана в Quik.")
        .arg(orderId)
        .arg(LogFragment(clientCode), QString::number(price, 'g', 17));
}

bool WritesAsZero(const QString& priceText)
{
    for (const QChar c : priceText) {
        if (c.isDigit() && c != QLatin1Char('0'))
            return false;
    }
    return true;
}

QString ZeroPriceMessage(qint64 orderId, const QString& clientCode, double price, const QString& priceText)
{
    return QStringLiteral("Ордер # %1 по счету %2 не отправлен: цена %3 записывается для Quik как %4.")
        .arg(orderId)
        .arg(LogFragment(clientCode), QString::number(price, 'g', 17), priceText);
}

QString FormatPrice(qint32 digits, double price, const TRegional& regional)
{
    return digits >= 0 ? FormatFixed(digits, price, regional) : FormatMultiple(digits, price);
}

QString TPriceTexts::Format(qint32 digits, double price, const TRegional& regional)
{
    const quint64 bits = std::bit_cast<quint64>(price);
    for (qsizetype i = 0; i < FEntries.size(); ++i) {
        const TEntry& entry = FEntries[i];
        if (entry.Digits == digits && entry.PriceBits == bits && entry.DecimalSeparator == regional.DecimalSeparator) {
            if (i > 0)
                FEntries.move(i, 0);
            return FEntries.front().Text;
        }
    }
    QString text = FormatPrice(digits, price, regional);
    if (FEntries.size() >= KeptPrices)
        FEntries.removeLast();
    FEntries.prepend(TEntry{digits, bits, regional.DecimalSeparator, text});
    return text;
}

double SlippagePrice(const QString& operation, double price, double slippagePercent)
{
    const double share = slippagePercent / 100;
    const double factor = operation == QLatin1String("B") ? 1 + share : 1 - share;
    return price * factor;
}
