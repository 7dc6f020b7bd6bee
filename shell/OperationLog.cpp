#include "shell/OperationLog.h"

#include "shell/CodePage.h"
#include "shell/Error.h"

#include <QRegularExpression>

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

void TOperationLog::AddToLog(const QString& message)
{
    const QDateTime now = FEnvironment.Now();
    const QString text = now.date().toString(FEnvironment.Regional.ShortDateFormat)
        + QLatin1Char(' ') + now.time().toString(FEnvironment.Regional.LongTimeFormat)
        + QLatin1Char(' ') + message;
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
