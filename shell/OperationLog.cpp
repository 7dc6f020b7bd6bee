#include "shell/OperationLog.h"

#include "shell/CodePage.h"
#include "shell/Error.h"

#include <QRegularExpression>
#include <QTextBlock>
#include <QTextCursor>

TOperationLog::TOperationLog(TEnvironment& environment)
    : FEnvironment(environment)
{
    FDocument.setUndoRedoEnabled(false); // the log grows for days; keep no undo history
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

int TOperationLog::LineCount() const
{
    // A document always holds one block; an empty document holds no line.
    return FDocument.isEmpty() ? 0 : FDocument.blockCount();
}

QString TOperationLog::Line(int index) const
{
    return FDocument.findBlockByNumber(index).text();
}

void TOperationLog::AddToLog(const QString& message)
{
    const QDateTime now = FEnvironment.Now();
    const QString text = now.date().toString(FEnvironment.Regional.ShortDateFormat)
        + QLatin1Char(' ') + now.time().toString(FEnvironment.Regional.LongTimeFormat)
        + QLatin1Char(' ') + message;
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\n|\r"));
    const QStringList lines = text.split(lineBreak);

    QTextCursor cursor(&FDocument);
    cursor.movePosition(QTextCursor::End);
    cursor.beginEditBlock();
    bool first = FDocument.isEmpty();
    for (const QString& line : lines) {
        if (!first)
            cursor.insertBlock();
        cursor.insertText(line);
        first = false;
    }
    cursor.endEditBlock();
}

void TOperationLog::SaveLog()
{
    const int count = LineCount();
    if (count > FLoggedLineCount) {
        QString text;
        QTextBlock block = FDocument.findBlockByNumber(FLoggedLineCount);
        for (int i = FLoggedLineCount; i < count && block.isValid(); ++i, block = block.next()) {
            text += block.text();
            text += QStringLiteral("\r\n");
        }
        QString reason;
        if (!FFile.Append(ToCp1251(text), &reason))
            throw TError(QStringLiteral("I/O error: cannot write the log file: %1").arg(reason));
    }
    FLoggedLineCount = count;
}
