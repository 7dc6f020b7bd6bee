#pragma once

#include "base/LocalClock.h"

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <chrono>
#include <functional>

// Regional settings of the system as the operator set them: how numbers, dates and times
// are written and read. Everything that formats or parses a number goes through here,
// never through the C library (whose decimal point follows the process locale).
struct TRegional {
    QChar DecimalSeparator = QLatin1Char('.');
    QChar ThousandSeparator = QLatin1Char(' ');
    QString ShortDateFormat = QStringLiteral("dd.MM.yyyy"); // Qt date format pattern
    QString LongTimeFormat = QStringLiteral("H:mm:ss");     // Qt time format pattern
    QLocale Locale = QLocale::c();                           // upper-casing and names

    static TRegional FromSystem();
    static TRegional Russian();

    // Number text with the regional decimal separator; throws TError naming the text.
    double ParseFloat(const QString& text) const;
    bool TryParseFloat(const QString& text, double* value) const;
    QString FormatFloat(double value, int decimals) const;
    QString UpperCase(const QString& text) const { return Locale.toUpper(text); }
};

// The seams between the core and the desktop: the clock, the regional settings, message
// boxes, the beep and the error report. The program wires them to the real things; tests
// wire them to recorders and a settable clock.
struct TEnvironment {
    std::function<QDateTime()> Now = [clock = TLocalClock()]() mutable { return clock.Now(); };
    // Milliseconds from some fixed start, never going back whatever the time of day does:
    // what spaces the lines written to the import file.
    std::function<qint64()> MonotonicMs = [] {
        return qint64(std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::steady_clock::now().time_since_epoch())
                          .count());
    };
    TRegional Regional = TRegional::FromSystem();
    // An information message box; blocks until the operator closes it in the program.
    std::function<void(const QString&)> ShowMessage = [](const QString&) {};
    // A question the operator answers yes or no (a deletion in a grid); blocks until
    // answered in the program.
    std::function<bool(const QString&)> Confirm = [](const QString&) { return true; };
    // The information message beep.
    std::function<void()> Beep = [] {};
    // The standard error box for a failure nobody caught.
    std::function<void(const QString&)> ReportError = [](const QString&) {};
};

// The one guard at every timer tick and command: no exception leaves it. A failure is
// handed to the environment's error report and the work simply ends.
void Guarded(TEnvironment& environment, const std::function<void()>& work) noexcept;
