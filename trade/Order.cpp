#include "trade/Order.h"

#include "base/LogText.h"
#include "base/Environment.h"
#include "base/Error.h"

#include <cmath>

void ClearOrder(TOrder& order)
{
    order = TOrder();
}

namespace {

// The price word of the wording. Only plain numbers with the regional decimal separator
// or a point are prices: the platform writes "260.00" whatever the regional settings say,
// and never groups digits (a grouped "1,000" read as 1000 under a point separator would
// be a wrong price); no infinities.
bool ReadPriceWord(const QString& word, const TRegional& regional, double* price)
{
    QString text = word;
    for (QChar& c : text) {
        if (c == QLatin1Char('.'))
            c = regional.DecimalSeparator;
        const bool allowed = c.isDigit() || c == regional.DecimalSeparator
            || c == QLatin1Char('+') || c == QLatin1Char('-')
            || c == QLatin1Char('e') || c == QLatin1Char('E');
        if (!allowed)
            return false;
    }
    double value = 0;
    if (!regional.TryParseFloat(text, &value) || !std::isfinite(value))
        return false;
    *price = value;
    return true;
}

void TakeWord(TOrder& order, int position, const QString& word, const TRegional& regional)
{
    switch (position) {
    case 0:
        if (word == QLatin1String("Buy"))
            order.Operation = QStringLiteral("B");
        else if (word == QLatin1String("Sell"))
            order.Operation = QStringLiteral("S");
        break;
    case 1: {
        bool ok = false;
        const qint32 quantity = word.toInt(&ok, 10);
        if (!ok)
            throw TError(QStringLiteral("Значение \"%1\" не является целым числом").arg(LogFragment(word)));
        order.Quantity = quantity;
        break;
    }
    case 3:
        // A price that does not read leaves the price as it was, without a word.
        ReadPriceWord(word, regional, &order.Price);
        break;
    default:
        break;
    }
}

} // namespace

void ConvertOrder(TOrder& order, const TOmegaOrder& omega, const TRegional& regional)
{
    // Words end at a blank or "(": "Sell 5 at 100.5(stop)". A word is taken only when a
    // separator follows it; two separators in a row make an empty word.
    QString word;
    int position = 0;
    for (const QChar c : omega.Order) {
        if (c != QLatin1Char(' ') && c != QLatin1Char('(')) {
            word += c;
            continue;
        }
        if (position <= 3) {
            TakeWord(order, position, word, regional);
            ++position;
        }
        word.clear();
    }

    const QString upper = regional.UpperCase(omega.Order);
    order.IsStop = upper.contains(QLatin1String("STOP"));
    if (upper.contains(QLatin1String("MARKET")))
        order.IsMarket = true;

    // An order the platform has already filled goes out at once at its fill price.
    if (omega.Filled) {
        order.Price = omega.FillPrice;
        order.IsStop = false;
        order.IsMarket = true;
    }
}

void CopyOrderIdentity(TOrder& order, const TOmegaOrder& omega, const TClientAccount& account)
{
    order.OrderId = omega.Id;
    order.ClientCode = account.Code;
    order.Ticker = omega.Symbol;
    order.OrderType = omega.OrderType;
}

QString AccountByClassCode(const QString& classCode, const TClientAccount& account)
{
    if (classCode == QLatin1String("SPBFUT"))
        return account.AccountFORTS;
    if (classCode == QLatin1String("GTS"))
        return account.Code;
    return account.AccountMicex;
}

bool IsOrderNumber(const QString& text)
{
    bool ok = false;
    const qint64 number = text.toLongLong(&ok, 10);
    return ok && number >= 1;
}
