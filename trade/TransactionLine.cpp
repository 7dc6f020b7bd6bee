#include "trade/TransactionLine.h"

#include "base/Environment.h"
#include "base/Error.h"
#include "base/LogText.h"
#include "trade/Price.h"

#include <QStringBuilder>
#include <algorithm>
#include <iterator>
#include <utility>

namespace {

// A character of the Unicode category "control" (Cc): U+0000 to U+001F and U+007F to
// U+009F, a set Unicode never changes.
bool IsControl(char16_t code)
{
    return code < 0x20 || (code >= 0x7F && code <= 0x9F);
}

void CheckValue(QStringView key, const QString& value)
{
    for (const QChar c : value) {
        if (c == QLatin1Char(';') || IsControl(c.unicode()))
            throw TError(QStringLiteral("Значение \"%1\" ключа %2 нельзя записать в строку транзакции")
                             .arg(LogFragment(value), key));
    }
}

} // namespace

QString TransactionLine(qint32 transId, const TOrder& order, const TRegional& regional)
{
    TPriceTexts prices;
    return TransactionLine(transId, order, regional, prices);
}

QString TransactionLine(qint32 transId, const TOrder& order, const TRegional& regional, TPriceTexts& prices)
{
    // The prices are formatted before any value is checked: a price that cannot be
    // written is the failure reported.
    const QString transIdText = QString::number(transId);
    const QString price = prices.Format(order.Digits, order.Price, regional);
    const QString stopPrice = prices.Format(order.Digits, order.StopPrice, regional);
    const QString quantity = QString::number(order.Quantity);
    const std::pair<QStringView, const QString*> pairs[] = {
        {u"TRANS_ID =", &transIdText},
        {u"ACTION=", &order.Action},
        {u"ACCOUNT=", &order.Account},
        {u"SECCODE=", &order.SecCode},
        {u"CLASSCODE=", &order.ClassCode},
        {u"CLIENT_CODE=", &order.ClientCode},
        {u"OPERATION=", &order.Operation},
        {u"PRICE=", &price},
        {u"STOPPRICE=", &stopPrice},
        {u"Order_key=", &order.OrderKey},
        {u"Stop_Order_key=", &order.StopOrderKey},
        {u"QUANTITY=", &quantity},
    };
    // Checked in order, then written in one piece.
    qsizetype size = std::size(pairs) - 1; // the separators
    for (const auto& [key, value] : pairs) {
        CheckValue(key, *value);
        size += key.size() + value->size();
    }
    QString line(size, Qt::Uninitialized);
    QChar* out = line.data();
    bool first = true;
    for (const auto& [key, value] : pairs) {
        if (!first)
            *out++ = QLatin1Char(';');
        first = false;
        out = std::copy(key.begin(), key.end(), out);
        out = std::copy(value->begin(), value->end(), out);
    }
    return line;
}

QString TransactionNote(const TOrder& order, const TRegional& regional)
{
    TPriceTexts prices;
    return TransactionNote(order, regional, prices);
}

QString TransactionNote(const TOrder& order, const TRegional& regional, TPriceTexts& prices)
{
    QString note;
    if (order.Action.contains(QLatin1String("NEW"))) {
        const QString price = prices.Format(order.Digits, order.Price, regional);
        note = u" [" % order.Operation % QLatin1Char(' ') % QString::number(order.Quantity) % QLatin1Char(' ')
            % order.Ticker % u" at " % price % (order.IsStop ? QStringView(u" Stop") : QStringView()) % u"] ";
    }
    if (order.Action.contains(QLatin1String("KILL")))
        note += QStringLiteral(" [снятие заявки # ") + order.OrderKey + QLatin1Char(']');
    return note;
}

QString TransactionLogText(qint32 transId, const QString& note, const QString& clientCode)
{
    return u"Транзакция номер " % QString::number(transId) % note % u" по счету " % clientCode
        % u" отправлена в Quik.";
}

QString TransactionMailText(qint32 transId, const QString& note)
{
    return QStringLiteral("Транзакция номер ") + QString::number(transId) + note
        + QStringLiteral(" отправлена в Quik.");
}

TOrderNumberRow OrderNumberRowOf(qint32 transId, const TOrder& order, const TOmegaOrder& omega)
{
    TOrderNumberRow row;
    row.TransId = transId;
    row.IdOrder = order.OrderId;
    row.Filled = omega.Filled;
    row.Code = order.ClientCode;
    return row;
}
