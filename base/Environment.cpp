#include "base/Environment.h"

#include "base/Error.h"

#include <cmath>

QString ErrorText(const std::exception& error)
{
    if (const auto* own = dynamic_cast<const TError*>(&error))
        return own->Text();
    return QString::fromLocal8Bit(error.what());
}

TRegional TRegional::FromSystem()
{
    const QLocale system = QLocale::system();
    TRegional regional;
    regional.Locale = system;
    regional.DecimalSeparator = system.decimalPoint().isEmpty() ? QLatin1Char('.')
                                                                : system.decimalPoint().front();
    regional.ThousandSeparator = system.groupSeparator().isEmpty()
        ? QLatin1Char(' ') : system.groupSeparator().front();
    regional.ShortDateFormat = system.dateFormat(QLocale::ShortFormat);
    QString time = system.timeFormat(QLocale::LongFormat);
    // Qt's long format names the time zone; the system's long time format does not.
    time.remove(QLatin1Char('t'));
    regional.LongTimeFormat = time.trimmed();
    return regional;
}

TRegional TRegional::Russian()
{
    TRegional regional;
    regional.DecimalSeparator = QLatin1Char(',');
    regional.ThousandSeparator = QChar(0x00A0);
    regional.ShortDateFormat = QStringLiteral("dd.MM.yyyy");
    regional.LongTimeFormat = QStringLiteral("H:mm:ss");
    regional.Locale = QLocale(QLocale::Russian, QLocale::Russia);
    return regional;
}

bool TRegional::TryParseFloat(const QString& text, double* value) const
{
    QString normal = text.trimmed();
    // Only the regional separator counts as the decimal point, as the system reads it.
    if (DecimalSeparator != QLatin1Char('.') && normal.contains(QLatin1Char('.')))
        return false;
    normal.replace(DecimalSeparator, QLatin1Char('.'));
    // Digit grouping is not part of a number the system reads, nor are "inf" and "nan".
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    const double parsed = c.toDouble(normal, &ok);
    ok = ok && std::isfinite(parsed);
    if (ok && value)
        *value = parsed;
    return ok;
}

double TRegional::ParseFloat(const QString& text) const
{
    double value = 0;
    if (!TryParseFloat(text, &value))
        throw TError(QStringLiteral("Значение \"%1\" не является числом").arg(text));
    return value;
}

QString TRegional::FormatFloat(double value, int decimals) const
{
    QString text = QString::number(value, 'f', decimals);
    text.replace(QLatin1Char('.'), DecimalSeparator);
    return text;
}

void Guarded(TEnvironment& environment, const std::function<void()>& work) noexcept
{
    try {
        work();
    } catch (const std::exception& error) {
        try { environment.ReportError(ErrorText(error)); } catch (...) {}
    } catch (...) {
        try { environment.ReportError(QStringLiteral("Неизвестная ошибка")); } catch (...) {}
    }
}
