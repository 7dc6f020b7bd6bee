#include "shell/OperationLog.h"

#include "shell/CodePage.h"
#include "shell/Error.h"

#include <QRegularExpression>
#include <QStringBuilder>

TOperationLog::TOperationLog(TEnvironment& environment)
    : FEnvironment(environment)
{
}

void TOperationLog::OpenFile(const QString& path)
{
    QString reason;
    if (!FFile.Open(path, &reason))
        throw TError(QStringLiteral("I/O error: cannot open the log file %1: %2").arg(path, reason));
}

void TOperationLog::CloseFile()
{
    FFile.Close();
}

const QString& TOperationLog::DateText(const QDate& date)
{
    const QString& format = FEnvironment.Regional.ShortDateFormat;
    if (!FDateMade || date != FDate || format != FDateFormat) {
        FDateText = date.toString(format);
        FDateMade = true;
        FDate = date;
        FDateFormat = format;
    }
    return FDateText;
}

const QString& TOperationLog::TimeText(const QTime& time)
{
    const QString& format = FEnvironment.Regional.LongTimeFormat;
    if (!FTimeMade || time != FTime || format != FTimeFormat) {
        FTimeText = time.toString(format);
        FTimeMade = true;
        FTime = time;
        FTimeFormat = format;
    }
    return FTimeText;
}

void TOperationLog::AddToLog(const QString& message)
{
    const QDateTime now = FEnvironment.Now();
    const QString text =
        DateText(now.date()) % QLatin1Char(' ') % TimeText(now.time()) % QLatin1Char(' ') % message;
    if (!text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r'))) {
        FLines.Append(text);
        return;
    }
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\n|\r"));
    for (const QString& line : text.split(lineBreak))
        FLines.Append(line);
}

void TOperationLog::SaveLog()
{
    const int count = LineCount();
    if (count > FLoggedLineCount) {
        QString text;
        for (int i = FLoggedLineCount; i < count; ++i) {
            text += FLines.Line(i);
            text += QStringLiteral("\r\n");
        }
        QString reason;
        if (!FFile.Append(ToCp1251(text), &reason))
            throw TError(QStringLiteral("I/O error: cannot write the log file: %1").arg(reason));
    }
    FLoggedLineCount = count;
}
