#pragma once

#include "trade/Order.h"
#include "trade/Price.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

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
    // The lines queued and not yet in the file, in their order. A line the last failed
    // write left half in the file is not among them: its remaining bytes go first.
    const QStringList& PendingTrans() const { return FPendingTrans; }
    bool HasPending() const { return !FPendingTrans.isEmpty() || !FPendingBytes.isEmpty(); }

    // Builds the order's line with the next transaction number and queues it; its log
    // line waits for the write. The number is used up at once: whatever fails afterwards,
    // no later transaction gets it again. Throws TError (before taking a number) when the
    // line cannot be built.
    TQueuedTransaction QueueTransaction(const TOrder& order);
    // How many lines are queued: a mark for TakeBackQueued.
    qsizetype QueuedCount() const { return FPendingTrans.size(); }
    // Takes back the lines queued after the queue held `mark` lines (the lines of a
    // dispatch whose bookings failed): they never reach the file and are never logged as
    // sent; their numbers stay used up.
    void TakeBackQueued(qsizetype mark);
    // Takes every queued line that is not a withdrawal (ACTION=KILL_...) out of the queue
    // and returns them in their order: they never reach the file and are never logged as
    // sent; their numbers stay used up. A line the last failed write left half in the
    // file is not among them: its tail must still complete it.
    QList<TQueuedTransaction> DropQueuedNewOrders();

    // Appends every queued line to the import file (path edtTRI) in one write, each ended
    // by CR LF, in Windows-1251, creating the file when missing, then logs each line that
    // reached the file. Throws TError when the file is a database's file (of the settings'
    // Alerts or QuikData) or holds a database, when BeforeAppend refuses, or when the
    // file cannot be opened or written; the lines stay queued then, and a write that
    // failed part-way never leaves a line twice in the file once the next call succeeds.
    // Virtual so that a dispatch can be watched without a file.
    virtual void WriteTransFile();

    virtual ~TTransWriter() = default;

    // Asked with the import file's path before each append; throws to refuse it (the
    // owner of the program's hold on the import file makes sure it holds that file).
    std::function<void(const QString& path)> BeforeAppend;

protected:
    // Takes the file back to its size before a failed write; false when it cannot, and
    // the bytes that reached the file then stay there.
    virtual bool CutBack(QFile& file, qint64 size);

private:
    // Throws TError when the path is a database's file or holds a database. The answer is
    // kept for the paths it was given, so that a dispatch does not look at the disk again.
    void RefuseDatabaseFile(const QString& path);
    void ForgetWritten(qint64 count);
    // Logs that a line is in the file.
    void LogWritten(const QString& logText);

    const TSettings& FSettings;
    const TEnvironment& FEnvironment;
    TOperationLog& FLog;
    qint32 FTransCounter = 0;
    qint32 FTransMadeCount = 0;
    TPriceTexts FPrices; // the prices of the lines of the dispatch at hand, formatted once
    QStringList FPendingTrans;
    // The log line of each queued line, in the same order.
    QStringList FPendingLogTexts;
    // The tail of a line a failed write left half in the file when the file could not be
    // cut back; written before the queued lines.
    QByteArray FPendingBytes;
    // The log line of the line whose tail FPendingBytes holds.
    QString FPendingBytesLogText;
    // The import file and the two database sources last found apart.
    QStringList FCheckedPaths;
};
