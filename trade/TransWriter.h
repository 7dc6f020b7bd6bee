#pragma once

#include "trade/Order.h"
#include "trade/Price.h"
#include "trade/TokenBucket.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>

class QFile;
class TOperationLog;
class TSettings;
struct TEnvironment;

// A transaction line given its number and queued for the import file.
struct TQueuedTransaction {
    qint32 TransId = 0;
    QString Line;
    QString Note; // the short description for the log and the e-mail
};

// The transaction import file's writer: the transaction counter and the lines queued for
// the file. Sending a transaction is, in this order: QueueTransaction (line, number); the
// booking of OrderNumberRowOf in the report of sent transactions; the position change of
// PositionChangeOf; the e-mail of TransactionMailText when chSendTrans_Id is on; the
// status bar and SaveLog. WriteTransFile then appends the queue, and each line's log line
// ("Транзакция номер … отправлена в Quik.") is written once the line is in the file: a
// process killed before the write leaves no such line for a transaction that never
// reached the terminal.
// With the settings' TxPerSecond above 0 the queue is paced: a write takes only as many
// lines as the token bucket allows at that moment (withdrawals first, each kind in the
// order it was queued) and leaves the rest for a later write; DrainWaitMs tells the
// owner's drain timer when the next line may go.
class TTransWriter {
public:
    TTransWriter(const TSettings& settings, const TEnvironment& environment, TOperationLog& log);

    // The number the next transaction gets.
    qint32 TransCounter() const { return FTransCounter; }
    // The transactions made in this run, whatever their numbers: the status bar's count.
    qint32 TransMadeCount() const { return FTransMadeCount; }
    // Numbers never repeat, not even across runs: a result line of the terminal must name
    // one transaction, and a withdrawal must find the exchange order of its own. Given
    // the highest number ever issued on the bridge database (-1 when none), the next
    // number is above it and above every number of this run; it never goes back.
    void ContinueNumbering(qint32 highestIssued);
    // The lines queued and not yet in the file, in the order they go (with pacing on,
    // withdrawals ahead of new orders). A line the last failed write left half in the
    // file is not among them: its remaining bytes go first.
    QStringList PendingTrans() const;
    bool HasPending() const { return !FQueue.isEmpty() || !FPendingBytes.isEmpty(); }

    // Builds the order's line with the next transaction number and queues it; its log
    // line waits for the write. The number is used up at once: whatever fails afterwards,
    // no later transaction gets it again. Throws TError (before taking a number) when the
    // line cannot be built.
    TQueuedTransaction QueueTransaction(const TOrder& order);
    // How many lines are queued.
    qsizetype QueuedCount() const { return FQueue.size(); }
    // A mark for the lines queued from now on (for TakeBackQueued and WhenWritten).
    qint64 QueueMark() const { return FNextSeq; }
    // Takes back the lines queued since `mark` (the lines of a dispatch whose bookings
    // failed): they never reach the file and are never logged as sent; their numbers
    // stay used up.
    void TakeBackQueued(qint64 mark);
    // Calls done once no line queued since `mark` is waiting any more (each is in the
    // file, taken back or dropped): at once when none is. Lines queued after this call
    // are not waited for. done runs inside a write and must not throw.
    void WhenWritten(qint64 mark, std::function<void()> done);
    // Takes every queued line that is not a withdrawal out of the queue, in queue order:
    // they never reach the file and are never logged as sent; their numbers stay used up.
    QList<TQueuedTransaction> DropQueuedNewOrders();

    // While a hold lives, no write lets out the lines queued after it was taken: the
    // lines of a dispatch wait until their bookings are kept or rolled back.
    class THold {
    public:
        explicit THold(TTransWriter& writer) : FWriter(writer), FOuter(writer.FHeldFrom)
        {
            if (FOuter < 0)
                writer.FHeldFrom = writer.FNextSeq;
        }
        ~THold() { FWriter.FHeldFrom = FOuter; }
        THold(const THold&) = delete;
        THold& operator=(const THold&) = delete;

    private:
        TTransWriter& FWriter;
        qint64 FOuter;
    };

    // Milliseconds until the paced queue may let out its next line; -1 when nothing waits
    // for the pace (the queue is empty, or pacing is off).
    qint64 DrainWaitMs();

    // Appends every queued line (with pacing on: as many as the pace allows now) to the
    // import file (path edtTRI) in one write, each ended by CR LF, in Windows-1251,
    // creating the file when missing, then logs each line that reached the file. Throws TError when the file is a database's file (of the settings'
    // Alerts or QuikData) or holds a database, when BeforeAppend refuses, or when the
    // file cannot be opened or written; the lines stay queued then, and a write that
    // failed part-way never leaves a line twice in the file once the next call succeeds.
    // Virtual so that a dispatch can be watched without a file.
    virtual void WriteTransFile();

    virtual ~TTransWriter() = default;

    // Asked with the import file's path before each append; throws to refuse it (the
    // owner of the program's hold on the import file makes sure it holds that file).
    std::function<void(const QString& path)> BeforeAppend;
    // Told after a write, a take-back or a drop that left the queue as it now stands:
    // the owner shows its length and arms its drain timer.
    std::function<void()> QueueChanged;

protected:
    // Takes the file back to its size before a failed write; false when it cannot, and
    // the bytes that reached the file then stay there.
    virtual bool CutBack(QFile& file, qint64 size);

private:
    // Throws TError when the path is a database's file or holds a database. The answer is
    // kept for the paths it was given, so that a dispatch does not look at the disk again.
    void RefuseDatabaseFile(const QString& path);
    // One queued line.
    struct TQueuedLine {
        qint64 Seq = 0; // the order in which it was queued
        TQueuedTransaction Transaction;
        QString LogText;
        bool Withdrawal = false;
    };
    // What waits for the lines queued in [From, To) to leave the queue.
    struct TWrittenWatch {
        qint64 To = 0;
        qsizetype Waiting = 0;
        std::function<void()> Done;
    };
    // The positions in the queue of the lines the next write takes, in the order they go.
    QList<qsizetype> NextBatch();
    void ForgetWritten(qint64 count, const QList<qsizetype>& batch);
    // Takes the lines of these sequence numbers out of the queue and tells their watches.
    void RemoveFromQueue(const QList<qint64>& seqs);
    void LineLeft(qint64 seq);
    void TellQueueChanged();
    // Logs that a line is in the file.
    void LogWritten(const QString& logText);

    const TSettings& FSettings;
    const TEnvironment& FEnvironment;
    TOperationLog& FLog;
    qint32 FTransCounter = 0;
    qint32 FTransMadeCount = 0;
    TPriceTexts FPrices; // the prices of the lines of the dispatch at hand, formatted once
    // The queued lines in the order they were queued.
    QList<TQueuedLine> FQueue;
    qint64 FNextSeq = 0;
    // Lines from this sequence number on are held (THold); -1 when none is.
    qint64 FHeldFrom = -1;
    // Keyed by the first sequence number of each watched range.
    std::map<qint64, TWrittenWatch> FWatches;
    TTokenBucket FBucket;
    // The tail of a line a failed write left half in the file when the file could not be
    // cut back; written before the queued lines.
    QByteArray FPendingBytes;
    // The log line and the sequence number of the line whose tail FPendingBytes holds.
    QString FPendingBytesLogText;
    qint64 FPendingBytesSeq = -1;
    // The import file and the two database sources last found apart.
    QStringList FCheckedPaths;
};
