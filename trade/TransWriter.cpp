#include "trade/TransWriter.h"

#include "base/CodePage.h"
#include "base/Environment.h"
#include "base/Error.h"
#include "base/OperationLog.h"
#include "data/DatabaseFiles.h"
#include "data/Settings.h"
#include "trade/TransactionLine.h"

#include <QFile>
#include <QRegularExpression>
#include <limits>
#include <utility>

namespace {

QByteArray FileBytesOf(const QString& line)
{
    return ToCp1251(line) + QByteArrayLiteral("\r\n");
}

} // namespace

TTransWriter::TTransWriter(const TSettings& settings, const TEnvironment& environment,
                           TOperationLog& log)
    : FSettings(settings), FEnvironment(environment), FLog(log)
{
}

TQueuedTransaction TTransWriter::QueueTransaction(const TOrder& order)
{
    if (FTransCounter == std::numeric_limits<qint32>::max())
        throw TError(QStringLiteral("Номера транзакций исчерпаны"));
    TQueuedTransaction queued;
    queued.TransId = FTransCounter;
    queued.Line = TransactionLine(queued.TransId, order, FEnvironment.Regional, FPrices);
    queued.Note = TransactionNote(order, FEnvironment.Regional, FPrices);
    FPendingTrans << queued.Line;
    FPendingLogTexts << TransactionLogText(queued.TransId, queued.Note, order.ClientCode);
    // The number belongs to this line from now on, even if its booking fails.
    ++FTransCounter;
    ++FTransMadeCount;
    return queued;
}

void TTransWriter::TakeBackQueued(qsizetype mark)
{
    if (mark < 0 || mark >= FPendingTrans.size())
        return;
    FTransMadeCount -= qint32(FPendingTrans.size() - mark);
    FPendingTrans.resize(mark);
    FPendingLogTexts.resize(mark);
}

QList<TQueuedTransaction> TTransWriter::DropQueuedNewOrders()
{
    static const QRegularExpression head(QStringLiteral("^TRANS_ID =(\\d+);ACTION=([^;]*);"));
    QList<TQueuedTransaction> dropped;
    QStringList keptLines;
    QStringList keptLogTexts;
    for (qsizetype i = 0; i < FPendingTrans.size(); ++i) {
        const QRegularExpressionMatch match = head.match(FPendingTrans[i]);
        if (match.hasMatch() && match.captured(2).startsWith(QStringLiteral("KILL"))) {
            keptLines << FPendingTrans[i];
            keptLogTexts << FPendingLogTexts[i];
            continue;
        }
        dropped << TQueuedTransaction{match.hasMatch() ? match.captured(1).toInt() : -1, FPendingTrans[i], QString()};
    }
    FTransMadeCount -= qint32(dropped.size());
    FPendingTrans = keptLines;
    FPendingLogTexts = keptLogTexts;
    return dropped;
}

void TTransWriter::LogWritten(const QString& logText)
{
    if (!logText.isEmpty())
        FLog.AddToLog(logText);
}

void TTransWriter::ContinueNumbering(qint32 highestIssued)
{
    if (highestIssued < FTransCounter)
        return;
    // At the largest number the counter stays: QueueTransaction refuses it.
    FTransCounter = highestIssued == std::numeric_limits<qint32>::max() ? highestIssued : highestIssued + 1;
}

void TTransWriter::RefuseDatabaseFile(const QString& path)
{
    const QStringList paths{path, FSettings.edtAlerts, FSettings.edtQuikData};
    if (paths == FCheckedPaths)
        return;
    const QString reason = DatabaseFileReason(path, {FSettings.edtAlerts, FSettings.edtQuikData});
    if (!reason.isEmpty())
        throw TError(QStringLiteral("Строки не записаны: файл транзакций %1 %2.").arg(path, reason));
    FCheckedPaths = paths;
}

void TTransWriter::WriteTransFile()
{
    if (!HasPending())
        return;
    const QString path = FSettings.edtTRI;
    // The terminal's lines appended to a database would corrupt it.
    RefuseDatabaseFile(path);
    if (BeforeAppend)
        BeforeAppend(path);
    QFile file(path);
    // Append never truncates: lines already in the file stay for the terminal.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        throw TError(QStringLiteral("Ошибка ввода-вывода: не удалось открыть файл транзакций %1: %2")
                         .arg(path, file.errorString()));
    const qint64 sizeBefore = file.size();

    QByteArray bytes = FPendingBytes;
    qsizetype size = bytes.size();
    for (const QString& line : std::as_const(FPendingTrans))
        size += line.size() + 2; // one byte per character in Windows-1251, then CR LF
    bytes.reserve(size);
    for (const QString& line : std::as_const(FPendingTrans)) {
        AppendCp1251(bytes, line);
        bytes.append("\r\n", 2);
    }
    const qint64 written = file.write(bytes);
    if (written == bytes.size() && file.flush()) {
        LogWritten(FPendingBytesLogText);
        for (const QString& logText : std::as_const(FPendingLogTexts))
            LogWritten(logText);
        FPendingTrans.clear();
        FPendingLogTexts.clear();
        FPendingBytes.clear();
        FPendingBytesLogText.clear();
        FLog.SaveLogQuietly(); // the log file tells what reached the terminal
        return;
    }

    const QString reason = written >= 0 && written < bytes.size()
        ? QStringLiteral("записано только %1 байт из %2").arg(written).arg(bytes.size())
        : file.errorString();
    // The terminal takes every line in the file as a transaction: what reached the file
    // must not be written again. Best is to take it back and offer everything again.
    if (!CutBack(file, sizeBefore)) {
        const qint64 reached = file.size() - sizeBefore;
        if (reached > 0 && reached <= bytes.size())
            ForgetWritten(reached);
    }
    throw TError(QStringLiteral("Ошибка ввода-вывода: не удалось записать файл транзакций %1: %2")
                     .arg(path, reason));
}

bool TTransWriter::CutBack(QFile& file, qint64 size)
{
    file.unsetError();
    return file.resize(size) && file.size() == size;
}

void TTransWriter::ForgetWritten(qint64 count)
{
    // The file could not be cut back: the bytes that reached it stay there, so drop them
    // from what is still to be written. A line cut in two keeps its tail, which the next
    // write puts first, completing the line.
    const qint64 fromTail = std::min<qint64>(count, FPendingBytes.size());
    FPendingBytes.remove(0, fromTail);
    count -= fromTail;
    if (FPendingBytes.isEmpty()) {
        // The tail completed its line: that line is in the file now.
        LogWritten(FPendingBytesLogText);
        FPendingBytesLogText.clear();
    }
    while (count > 0 && !FPendingTrans.isEmpty()) {
        const QByteArray line = FileBytesOf(FPendingTrans.takeFirst());
        const QString logText = FPendingLogTexts.takeFirst();
        if (count < line.size()) {
            FPendingBytes = line.mid(count);
            FPendingBytesLogText = logText;
        } else {
            LogWritten(logText);
        }
        count -= std::min<qint64>(count, line.size());
    }
}
