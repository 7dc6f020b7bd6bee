#include "trade/TransWriter.h"

#include "base/CodePage.h"
#include "base/Environment.h"
#include "base/Error.h"
#include "base/OperationLog.h"
#include "data/DatabaseFiles.h"
#include "data/Settings.h"
#include "trade/TransactionLine.h"

#include <QFile>
#include <algorithm>
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
    TQueuedLine queued;
    queued.Seq = FNextSeq;
    queued.Transaction.TransId = FTransCounter;
    queued.Transaction.Line = TransactionLine(FTransCounter, order, FEnvironment.Regional, FPrices);
    queued.Transaction.Note = TransactionNote(order, FEnvironment.Regional, FPrices);
    queued.LogText = TransactionLogText(FTransCounter, queued.Transaction.Note, order.ClientCode);
    queued.Withdrawal = order.Action.contains(QStringLiteral("KILL"));
    FQueue << queued;
    ++FNextSeq;
    // The number belongs to this line from now on, even if its booking fails.
    ++FTransCounter;
    ++FTransMadeCount;
    return queued.Transaction;
}

QStringList TTransWriter::PendingTrans() const
{
    QStringList lines;
    const bool paced = FSettings.TxPerSecond > 0;
    for (const bool withdrawals : {true, false}) {
        for (const TQueuedLine& queued : FQueue) {
            if (!paced || queued.Withdrawal == withdrawals)
                lines << queued.Transaction.Line;
        }
        if (!paced)
            break;
    }
    return lines;
}

void TTransWriter::TakeBackQueued(qint64 mark)
{
    QList<qint64> seqs;
    for (const TQueuedLine& queued : std::as_const(FQueue)) {
        if (queued.Seq >= mark)
            seqs << queued.Seq;
    }
    if (seqs.isEmpty())
        return;
    FTransMadeCount -= qint32(seqs.size());
    RemoveFromQueue(seqs);
    TellQueueChanged();
}

QList<TQueuedTransaction> TTransWriter::DropQueuedNewOrders()
{
    QList<TQueuedTransaction> dropped;
    QList<qint64> seqs;
    for (const TQueuedLine& queued : std::as_const(FQueue)) {
        if (!queued.Withdrawal) {
            dropped << queued.Transaction;
            seqs << queued.Seq;
        }
    }
    if (seqs.isEmpty())
        return dropped;
    RemoveFromQueue(seqs);
    TellQueueChanged();
    return dropped;
}

void TTransWriter::WhenWritten(qint64 mark, std::function<void()> done)
{
    TWrittenWatch watch;
    watch.To = FNextSeq;
    for (const TQueuedLine& queued : std::as_const(FQueue)) {
        if (queued.Seq >= mark)
            ++watch.Waiting;
    }
    if (FPendingBytesSeq >= mark)
        ++watch.Waiting; // half in the file: not all of it has reached the terminal
    if (watch.Waiting == 0 || mark >= watch.To) {
        done();
        return;
    }
    watch.Done = std::move(done);
    FWatches[mark] = std::move(watch);
}

void TTransWriter::RemoveFromQueue(const QList<qint64>& seqs)
{
    // Both lists are in queue order: one pass takes the lines out.
    qsizetype next = 0;
    FQueue.removeIf([&](const TQueuedLine& queued) {
        if (next < seqs.size() && queued.Seq == seqs[next]) {
            ++next;
            return true;
        }
        return false;
    });
    for (const qint64 seq : seqs)
        LineLeft(seq);
}

void TTransWriter::LineLeft(qint64 seq)
{
    auto watch = FWatches.upper_bound(seq);
    if (watch == FWatches.begin())
        return;
    --watch;
    if (seq >= watch->second.To || --watch->second.Waiting > 0)
        return;
    const std::function<void()> done = std::move(watch->second.Done);
    FWatches.erase(watch);
    done();
}

void TTransWriter::TellQueueChanged()
{
    if (QueueChanged)
        QueueChanged();
}

qint64 TTransWriter::DrainWaitMs()
{
    FBucket.Configure(FSettings.TxPerSecond, FSettings.TxBurst);
    if (!FBucket.On() || FQueue.isEmpty())
        return -1;
    return FBucket.WaitMs(FEnvironment.MonotonicMs());
}

QList<qsizetype> TTransWriter::NextBatch()
{
    FBucket.Configure(FSettings.TxPerSecond, FSettings.TxBurst);
    const auto released = [this](const TQueuedLine& queued) { return FHeldFrom < 0 || queued.Seq < FHeldFrom; };
    QList<qsizetype> batch;
    if (!FBucket.On()) {
        for (qsizetype i = 0; i < FQueue.size() && released(FQueue[i]); ++i)
            batch << i;
        return batch;
    }
    const int allowed = FBucket.Allowed(FEnvironment.MonotonicMs());
    // Withdrawals first: a line that takes risk off the market never waits behind one
    // that adds it. Each kind keeps the order it was queued in, so an order's accounts go
    // in the order of the clients table.
    for (const bool withdrawals : {true, false}) {
        for (qsizetype i = 0; i < FQueue.size() && batch.size() < allowed; ++i) {
            if (FQueue[i].Withdrawal == withdrawals && released(FQueue[i]))
                batch << i;
        }
    }
    return batch;
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
    const QList<qsizetype> batch = NextBatch();
    if (batch.isEmpty() && FPendingBytes.isEmpty()) {
        TellQueueChanged(); // nothing may go yet: the drain timer waits for the pace
        return;
    }
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
    for (const qsizetype i : batch)
        size += FQueue[i].Transaction.Line.size() + 2; // one byte per character in Windows-1251, then CR LF
    bytes.reserve(size);
    for (const qsizetype i : batch) {
        AppendCp1251(bytes, FQueue[i].Transaction.Line);
        bytes.append("\r\n", 2);
    }
    const qint64 written = file.write(bytes);
    if (written == bytes.size() && file.flush()) {
        FBucket.Spend(int(batch.size()), FEnvironment.MonotonicMs());
        LogWritten(FPendingBytesLogText);
        QList<qint64> seqs;
        for (const qsizetype i : batch) {
            LogWritten(FQueue[i].LogText);
            seqs << FQueue[i].Seq;
        }
        FPendingBytes.clear();
        FPendingBytesLogText.clear();
        const qint64 tailSeq = std::exchange(FPendingBytesSeq, -1);
        FLog.SaveLogQuietly(); // the log file tells what reached the terminal
        if (tailSeq >= 0)
            LineLeft(tailSeq);
        // The batch goes out in its own order; the queue is taken in queue order.
        std::sort(seqs.begin(), seqs.end());
        RemoveFromQueue(seqs);
        TellQueueChanged();
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
            ForgetWritten(reached, batch);
    }
    throw TError(QStringLiteral("Ошибка ввода-вывода: не удалось записать файл транзакций %1: %2")
                     .arg(path, reason));
}

bool TTransWriter::CutBack(QFile& file, qint64 size)
{
    file.unsetError();
    return file.resize(size) && file.size() == size;
}

void TTransWriter::ForgetWritten(qint64 count, const QList<qsizetype>& batch)
{
    // The file could not be cut back: the bytes that reached it stay there, so drop them
    // from what is still to be written. A line cut in two keeps its tail, which the next
    // write puts first, completing the line.
    const qint64 fromTail = std::min<qint64>(count, FPendingBytes.size());
    FPendingBytes.remove(0, fromTail);
    count -= fromTail;
    if (FPendingBytes.isEmpty() && FPendingBytesSeq >= 0) {
        // The tail completed its line: that line is in the file now.
        LogWritten(FPendingBytesLogText);
        FPendingBytesLogText.clear();
        LineLeft(std::exchange(FPendingBytesSeq, -1));
    }
    QList<qint64> reached;
    for (qsizetype at = 0; count > 0 && at < batch.size(); ++at) {
        const TQueuedLine& queued = FQueue[batch[at]];
        const QByteArray line = FileBytesOf(queued.Transaction.Line);
        reached << queued.Seq;
        if (count < line.size()) {
            // Half in the file: the line leaves the queue, its tail waits to be written.
            FPendingBytes = line.mid(count);
            FPendingBytesLogText = queued.LogText;
            FPendingBytesSeq = queued.Seq;
        } else {
            LogWritten(queued.LogText);
        }
        count -= std::min<qint64>(count, line.size());
    }
    // Each line that reached the file, even in part, went to the terminal.
    FBucket.Spend(int(reached.size()), FEnvironment.MonotonicMs());
    // The half line's watch waits for its tail; taking it out of the queue must not
    // count it as written.
    const qint64 halfSeq = FPendingBytesSeq;
    QList<qint64> whole;
    for (const qint64 seq : std::as_const(reached)) {
        if (seq != halfSeq)
            whole << seq;
    }
    std::sort(reached.begin(), reached.end());
    std::sort(whole.begin(), whole.end());
    qsizetype next = 0;
    FQueue.removeIf([&](const TQueuedLine& queued) {
        if (next < reached.size() && queued.Seq == reached[next]) {
            ++next;
            return true;
        }
        return false;
    });
    for (const qint64 seq : std::as_const(whole))
        LineLeft(seq);
}
