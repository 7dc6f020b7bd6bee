#include "trade/TransactionLine.h"

#include "shell/Environment.h"
#include "shell/Error.h"
#include "trade/Price.h"

#include <QStringList>

namespace {

void CheckValue(const char* key, const QString& value)
{
    for (const QChar c : value) {
        if (c == QLatin1Char(';') || c.category() == QChar::Other_Control)
            throw TError(QStringLiteral("The value \"%1\" of %2 cannot go into a transaction line")
                             .arg(value, QLatin1String(key)));
    }
}

} // namespace

QString TransactionLine(qint32 transId, const TOrder& order, const TRegional& regional)
{
    const std::pair<const char*, QString> pairs[] = {
        {"TRANS_ID =", QString::number(transId)},
        {"ACTION=", order.Action},
        {"ACCOUNT=", order.Account},
        {"SECCODE=", order.SecCode},
        {"CLASSCODE=", order.ClassCode},
        {"CLIENT_CODE=", order.ClientCode},
        {"OPERATION=", order.Operation},
        {"PRICE=", FormatPrice(order.Digits, order.Price, regional)},
        {"STOPPRICE=", FormatPrice(order.Digits, order.StopPrice, regional)},
        {"Order_key=", order.OrderKey},
        {"Stop_Order_key=", order.StopOrderKey},
        {"QUANTITY=", QString::number(order.Quantity)},
    };
    QStringList parts;
    for (const auto& [key, value] : pairs) {
        CheckValue(key, value);
        parts << QLatin1String(key) + value;
    }
    return parts.join(QLatin1Char(';'));
}

QString TransactionNote(const TOrder& order, const TRegional& regional)
{
    QString note;
    if (order.Action.contains(QLatin1String("NEW"))) {
        note = QStringLiteral(" [") + order.Operation + QLatin1Char(' ')
            + QString::number(order.Quantity) + QLatin1Char(' ') + order.Ticker
            + QStringLiteral(" at ") + FormatPrice(order.Digits, order.Price, regional);
        if (order.IsStop)
            note += QStringLiteral(" Stop");
        note += QStringLiteral("] ");
    }
    if (order.Action.contains(QLatin1String("KILL")))
        note += QStringLiteral(" [снятие заявки # ") + order.OrderKey + QLatin1Char(']');
    return note;
}

QString TransactionLogText(qint32 transId, const QString& note, const QString& clientCode)
{
    return QStringLiteral("Транзакция номер ") + QString::number(transId) + note
        + QStringLiteral(" по счету ") + clientCode + QStringLiteral(" отправлена в Quik.");
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
