#include "base/OperationLog.h"

#include "base/CodePage.h"
#include "base/Error.h"

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
        throw TError(QStringLiteral("Ошибка ввода-вывода: не удалось открыть файл журнала %1: %2").arg(path, reason));
}

void TOperationLog::CloseFile()
{
    FFile.Close();
}

void TOperationLog::AddToLog(const QString& message)
{
    const QDateTime now = FEnvironment.Now();
    const TRegional& regional = FEnvironment.Regional;
    const QString text = FDateText.Of(now.date(), regional.ShortDateFormat) % QLatin1Char(' ')
        % FTimeText.Of(now.time(), regional.LongTimeFormat) % QLatin1Char(' ') % message;
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
            throw TError(QStringLiteral("Ошибка ввода-вывода: не удалось записать файл журнала: %1").arg(reason));
    }
    FLoggedLineCount = count;
}

void TOperationLog::SaveLogQuietly() noexcept
{
    try {
        SaveLog();
    } catch (...) {
    }
}
