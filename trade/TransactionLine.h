#pragma once

#include "trade/OmegaOrder.h"
#include "trade/Order.h"

#include <QString>
#include <QtGlobal>

struct TRegional;
class TPriceTexts;

// The line of the transaction import file for an order: twelve "key=value" pairs in a
// fixed order, separated by ";", every key present even when its value is empty:
// "TRANS_ID =7;ACTION=NEW_ORDER;ACCOUNT=ACC01;SECCODE=ABCD;CLASSCODE=BOARD1;CLIENT_CODE=C1;
// OPERATION=B;PRICE=100.00;STOPPRICE=100.50;Order_key=;Stop_Order_key=;QUANTITY=3".
// Throws TError when a value holds a ";" or a control character: the terminal would read
// such a line as different keys or as more than one transaction.
QString TransactionLine(qint32 transId, const TOrder& order, const TRegional& regional);
// The same, with the prices taken from (and kept in) the given texts.
QString TransactionLine(qint32 transId, const TOrder& order, const TRegional& regional, TPriceTexts& prices);

// The short description of a transaction in log lines and e-mails:
// " [B 3 ABCD at 100.00] " for a new order (" Stop" before the bracket for a stop order),
// " [снятие заявки # 123456]" for a withdrawal.
QString TransactionNote(const TOrder& order, const TRegional& regional);
QString TransactionNote(const TOrder& order, const TRegional& regional, TPriceTexts& prices);

// "Транзакция номер 7 [B 3 ABCD at 100.00]  по счету C1 отправлена в Quik."
QString TransactionLogText(qint32 transId, const QString& note, const QString& clientCode);
// The e-mail text, without the account: "Транзакция номер 7 [...]  отправлена в Quik."
QString TransactionMailText(qint32 transId, const QString& note);

// The transaction's row in the report of sent transactions; the terminal's result fills
// the rest of it later.
struct TOrderNumberRow {
    qint32 TransId = 0;
    qint64 IdOrder = 0;
    bool Filled = false;
    QString Code;
};

// Booked under the table the strategy order came from (its Filled flag), so that the
// result reader writes the link into that table and a withdrawal finds the row again. A
// market order from the active-orders table stays tied to the active-orders table.
TOrderNumberRow OrderNumberRowOf(qint32 transId, const TOrder& order, const TOmegaOrder& omega);
