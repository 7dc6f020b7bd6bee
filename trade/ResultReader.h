#pragma once

#include "trade/ResultBookings.h"

#include <QByteArray>
#include <QString>
#include <QTimer>
#include <functional>
#include <set>
#include <tuple>
class QFile;
class TCoreEvents;
class TOperationLog;
class TSettings;

// Reads the terminal's transaction result file: at each pass the complete lines that
// were appended since the previous pass, each booked in the transaction report and, when
// the transaction was executed, linked back to its strategy order. Reports "sent" and
// "executed" results in the operation log and counts them for the status bar.
class TResultReader {
public:
    TResultReader(TSettings& settings, TOperationLog& log, TResultBookings& bookings, TCoreEvents& events);

    // One pass over the result file named by the settings. The lines are booked in
    // slices of about SliceMs milliseconds, each slice's bookings stored in one commit,
    // and only then are its lines counted, reported and passed by the reader's position.
    // A pass with more lines than one slice takes gives the event loop back after each
    // slice and goes on from a zero-timer (through Guard), so the window keeps answering
    // during a burst. A database failure ends the pass at the line it happened on: the
    // lines before it are stored, counted and reported, the failure is rethrown after the
    // log is saved, and the next pass starts again at that line; a failed commit stores
    // nothing of its slice, and the next pass reads the slice again. A pass started while
    // one is running (a tick served by a message loop inside a hook) returns at once: the
    // running pass reads every line there is.
    void actCheckTROExecute();

    // How long one slice of a pass may book lines before it commits and gives the event
    // loop back (at least one line per slice).
    int SliceMs = 20;
    // Runs the continuation of a pass from the event loop; no exception may leave it. By
    // default a failure is written to the operation log.
    std::function<void(const std::function<void()>&)> Guard;
    // Whether a continuation of the pass is waiting for the event loop.
    bool Continuing() const { return FContinue.isActive(); }

    // Told of each result booked for a transaction of this bridge, with its transaction's
    // row as it stood before, once the result is stored and reported: a withdrawal held
    // for the exchange order number goes out from here. None by default.
    std::function<void(const TResultLine& result, const TTransactionRow& row)> Booked;

    int TroLineCount() const { return FTroLineCount; }
    int TransSentCount() const { return FTransSentCount; }
    int TransDoneCount() const { return FTransDoneCount; }

private:
    // Whether the file is no longer the one the remembered position belongs to: shorter
    // than that position, or with other bytes just before it.
    bool WasReplaced(QFile& file, qint64 size);
    // Forgets the position in a replaced file: the next read starts at its beginning.
    void StartOver(QFile& file);
    // Books the complete lines of the data (bytes from the position on) until the slice's
    // time is up; true when lines are left for another slice.
    bool ProcessNewBytes(const QByteArray& data);
    // What became of one result line: booked against its transaction, refused because it
    // names no transaction of this bridge, or refused because it contradicts the exchange
    // order number its transaction already has.
    enum class TOutcome { Booked, Unknown, Conflict };
    struct TLineReport {
        TResultLineParse Parse;
        TOutcome Outcome = TOutcome::Booked;
        TTransactionRow Row;
        QString Line; // the line as read, for the log line of a refused one
    };
    TOutcome Book(const TResultLine& result, TTransactionRow& row);
    void Report(const TLineReport& report);
    // Marks bytes of the file as done: they will not be read again.
    void Consume(QByteArrayView bytes);
    // The lines of a slice whose bookings are stored: the position moves past them, they
    // are counted and reported.
    struct TSlice;
    void Accept(TSlice& slice, const QByteArray& data);

    TSettings& FSettings;
    TOperationLog& FLog;
    TResultBookings& FBookings;
    TCoreEvents& FEvents;

    int FTroLineCount = 0;
    int FTransSentCount = 0;
    int FTransDoneCount = 0;

    // Byte position just after the last processed line and the bytes just before it.
    qint64 FOffset = 0;
    QByteArray FTail;
    // The last processed line ended with a CR at the end of what was written then: an LF
    // that follows belongs to the same line break.
    bool FAwaitingLineFeed = false;
    bool FBusy = false;
    // The results booked in this run, as transaction, status and order number (-1 for a
    // number that could not be read): a line that repeats one of them changes nothing.
    using TResultKey = std::tuple<int, int, qint64>;
    static TResultKey KeyOf(const TResultLine& result)
    {
        return {result.TransId, result.Status, result.OrderNumber.value_or(-1)};
    }
    std::set<TResultKey> FBooked;
    QTimer FContinue;
};
