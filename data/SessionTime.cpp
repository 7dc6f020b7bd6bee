#include "data/SessionTime.h"

#include "base/Error.h"

#include <QRegularExpression>

QTime SessionTime(const QString& text)
{
    // One or two hour digits, two minute and two second digits; the blank that stands
    // for a missing first hour digit is not part of the time.
    static const QRegularExpression form(QStringLiteral("^([0-9]{1,2}):([0-9]{2}):([0-9]{2})$"));
    const QRegularExpressionMatch match = form.match(text.trimmed());
    if (match.hasMatch()) {
        const QTime time(match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt());
        if (time.isValid())
            return time;
    }
    throw TError(QStringLiteral("Значение \"%1\" не является временем").arg(text));
}
