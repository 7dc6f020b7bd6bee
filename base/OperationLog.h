#pragma once

#include "base/Environment.h"
#include "base/ExclusiveFile.h"
#include "base/LogLines.h"

#include <QDate>
#include <QString>
#include <QTime>
#include <functional>

// When the log file is begun anew: MaxMB megabytes (0: never rotated), and how many days
// rotated files are kept (0: all).
struct TLogRotation {
    int MaxMB = 0;
    int KeepDays = 0;
};

// The operation log: the on-screen lines (which the log view shows and the operator may
// edit) and the log file "Zovrant.log" they are appended to.
class TOperationLog {
public:
    explicit TOperationLog(TEnvironment& environment, TLogLines::TBound bound = {});

    // Opens the log file for appending, creating it when missing, and holds it so that
    // no other process may write it. Throws TError (an input/output error) on failure.
    // The lines no longer held in memory go to a spill file beside it ("<path>.lines"),
    // removed at the end of the run.
    void OpenFile(const QString& path);
    void CloseFile();

    // The rotation in force, asked at each save (the owner of the settings sets it; by
    // default the file is never rotated). While MaxMB is not 0, the file is renamed with
    // the date and time of the rotation ("Zovrant.yyyy-MM-dd_HH-mm-ss.log") and a new one
    // begun when a save finds the day changed since the file was begun, or the file over
    // MaxMB; each rotation then removes the rotated files older than KeepDays days.
    std::function<TLogRotation()> Rotation = [] { return TLogRotation{}; };
    // At start: rotates a file already over MaxMB and removes the rotated files older than
    // KeepDays. Throws TError when the new file cannot be opened.
    void RotateAtStart();

    // Appends "date time message" to the on-screen log; a message holding line breaks
    // becomes several lines, the first one carrying the date and time.
    void AddToLog(const QString& message);
    // Appends the on-screen lines from LoggedLineCount on to the file. Throws TError when
    // the write fails; LoggedLineCount then stays, so the lines are offered again.
    void SaveLog();
    // SaveLog for the paths that must not fail themselves: on the way out of a failure
    // that is about to go on, or in a step that must end whatever happens. A failed write
    // leaves the lines pending for the next save.
    void SaveLogQuietly() noexcept;

    int LoggedLineCount() const { return FLoggedLineCount; }
    int LineCount() const { return FLines.Count(); }
    QString Line(int index) const { return FLines.Line(index); }
    TLogLines& Lines() { return FLines; }

private:
    // A date's or a time's text, formatted again only when its value or its format differs
    // from the last line's: lines come in bursts (a dispatch logs one per account) that
    // share the date and mostly the time.
    template <typename TValue>
    class TFormatted {
    public:
        const QString& Of(const TValue& value, const QString& format)
        {
            if (!FMade || value != FValue || format != FFormat) {
                FText = value.toString(format);
                FMade = true;
                FValue = value;
                FFormat = format;
            }
            return FText;
        }

    private:
        bool FMade = false;
        TValue FValue;
        QString FFormat;
        QString FText;
    };

    void RotateIfDue();
    void Rotate(const QDateTime& now, const TLogRotation& rotation);
    void RemoveOldRotated(const QDateTime& now, int keepDays) const;

    TEnvironment& FEnvironment;
    TFormatted<QDate> FDateText;
    TFormatted<QTime> FTimeText;
    TLogLines FLines;
    TExclusiveFile FFile;
    int FLoggedLineCount = 0;
    QDate FFileDay;          // the day the file in use was begun (or opened)
    qint64 FRetryBytes = 0;  // after a failed rotation by size: the size to try again at
};
