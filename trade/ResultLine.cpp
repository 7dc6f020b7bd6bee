#include "trade/ResultLine.h"

#include <limits>

namespace {

const QString KeyTransId = QStringLiteral("TRANS_ID");
const QString KeyStatus = QStringLiteral("STATUS");
const QString KeyTransName = QStringLiteral("TRANS_NAME");
const QString KeyDescription = QStringLiteral("DESCRIPTION");
const QString KeyOrderNumber = QStringLiteral("ORDER_NUMBER");

// Blanks and control characters: every code up to and including the blank.
bool IsBlankOrControl(QChar c)
{
    return c.unicode() <= 0x20;
}

QString StripBlanks(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && IsBlankOrControl(text.at(begin)))
        ++begin;
    while (end > begin && IsBlankOrControl(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

// The terminal writes its texts as double-quoted literals; the booking stores what is
// inside the quotes. A value without an enclosing pair is stored as written.
QString Unquoted(const QString& value)
{
    if (value.size() >= 2 && value.front() == QLatin1Char('"') && value.back() == QLatin1Char('"'))
        return value.mid(1, value.size() - 2);
    return value;
}

} // namespace

QStringList SplitResultLine(const QString& line)
{
    QStringList tokens;
    QString token;
    for (const QChar c : line) {
        if (c == QLatin1Char(';') || c == QLatin1Char('=')) {
            tokens << StripBlanks(token);
            token.clear();
        } else {
            token += c;
        }
    }
    return tokens; // the text after the last separator is dropped
}

TResultLineParse ParseResultLine(const QString& line)
{
    TResultLineParse parse;
    if (StripBlanks(line).isEmpty())
        return parse;

    QString transId, status, transName, description, orderNumber;
    const QStringList tokens = SplitResultLine(line);
    for (qsizetype i = 0; i + 1 < tokens.size(); ++i) {
        const QString& key = tokens.at(i);
        const QString& value = tokens.at(i + 1);
        if (key == KeyTransId)
            transId = value;
        else if (key == KeyStatus)
            status = value;
        else if (key == KeyTransName)
            transName = value;
        else if (key == KeyDescription)
            description = value;
        else if (key == KeyOrderNumber)
            orderNumber = value;
    }

    TResultLine result;
    bool ok = false;
    result.TransId = transId.toInt(&ok);
    if (!ok) {
        parse.Problems << QStringLiteral("Строка файла результатов пропущена: нет номера транзакции (TRANS_ID): %1")
                              .arg(LogFragment(line));
        return parse;
    }
    if (result.TransId < 0) {
        parse.Problems << QStringLiteral("Строка файла результатов пропущена: отрицательный номер транзакции (TRANS_ID): %1")
                              .arg(LogFragment(line));
        return parse;
    }

    if (!status.isEmpty()) {
        const int value = status.toInt(&ok);
        // The status column holds a small integer.
        if (ok && value >= std::numeric_limits<qint16>::min() && value <= std::numeric_limits<qint16>::max()) {
            result.Status = value;
        } else {
            parse.Problems << QStringLiteral("Транзакция номер %1: неверный статус \"%2\" в файле результатов, записан статус -1.")
                                  .arg(result.TransId)
                                  .arg(LogFragment(status));
        }
    }

    result.TransName = Unquoted(transName);
    result.Description = Unquoted(description);

    if (!orderNumber.isEmpty()) {
        const qint64 value = orderNumber.toLongLong(&ok);
        if (ok) {
            result.OrderNumber = value;
        } else {
            result.OrderNumber = std::nullopt;
            parse.Problems << QStringLiteral("Транзакция номер %1: неверный номер заявки \"%2\" в файле результатов, номер заявки не записан.")
                                  .arg(result.TransId)
                                  .arg(LogFragment(orderNumber));
        }
    }

    parse.Result = result;
    return parse;
}
