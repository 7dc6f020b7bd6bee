#include "base/LogText.h"

QString LogFragment(const QString& text)
{
    qsizetype shown = qMin(text.size(), LogFragmentLength);
    // A character outside the basic plane is kept whole or not at all.
    if (shown < text.size() && shown > 0 && text.at(shown - 1).isHighSurrogate())
        --shown;
    QString fragment;
    fragment.reserve(shown + 8);
    for (qsizetype i = 0; i < shown; ++i) {
        const QChar c = text.at(i);
        const ushort code = c.unicode();
        if (c == QLatin1Char('\r'))
            fragment += QStringLiteral("\\r");
        else if (c == QLatin1Char('\n'))
            fragment += QStringLiteral("\\n");
        else if (c == QLatin1Char('\t'))
            fragment += QStringLiteral("\\t");
        else if (code < 0x20 || (code >= 0x7F && code < 0xA0))
            fragment += QStringLiteral("\\x%1").arg(code, 2, 16, QLatin1Char('0'));
        else if (code == 0x2028 || code == 0x2029)
            fragment += QStringLiteral("\\u%1").arg(code, 4, 16, QLatin1Char('0'));
        else
            fragment += c;
    }
    if (text.size() > shown)
        fragment += QStringLiteral("…");
    return fragment;
}
