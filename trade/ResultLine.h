#pragma once

#include "base/LogText.h"

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <optional>

// One line of the terminal's transaction result file, with its values checked: the
// transaction number, the status code, the terminal's name and description of the result
// (the texts inside their double quotes) and the exchange order number.
struct TResultLine {
    int TransId = 0;
    int Status = -1;
    QString TransName;
    QString Description;
    // None when the line's number could not be read: a number booked before stays.
    std::optional<qint64> OrderNumber = 0;
};

// What the reader makes of one line: the result, or none when the line has no usable
// transaction number (it is then skipped), and the log lines about values that could not
// be used as written.
struct TResultLineParse {
    std::optional<TResultLine> Result;
    QStringList Problems;
};

// The status codes the operator is told about.
inline constexpr int TroStatusSent = 0; // passed to the server
inline constexpr int TroStatusDone = 3; // executed

// Splits a result line into tokens: a ";" or a "=" ends a token, which loses its leading
// and trailing blanks and control characters; text after the last separator is dropped,
// so a value counts only when a separator follows it.
QStringList SplitResultLine(const QString& line);

// Takes the five keys from a result line (exact, case-sensitive matches; a later
// occurrence overrides an earlier one) and applies the defaults:
// - "TRANS_ID" must be an integer of at least 0, otherwise the line is skipped with a log
//   line (the program never issues a negative number, so such a line names no
//   transaction of ours);
// - "STATUS" absent or empty is -1; a value that is not a small integer is booked as -1
//   with a log line;
// - "TRANS_NAME" and "DESCRIPTION" lose one pair of enclosing double quotes; absent or
//   empty they are empty texts;
// - "ORDER_NUMBER" absent or empty is 0; a value that is not an integer is left out of
//   the booking (none), with a log line, so it never overwrites a number booked before.
// The log lines quote at most LogFragmentLength characters of what the line holds, with
// control characters escaped: a line may be of any length and hold any bytes.
// A blank line is skipped without a log line: it carries nothing to report.
TResultLineParse ParseResultLine(const QString& line);

