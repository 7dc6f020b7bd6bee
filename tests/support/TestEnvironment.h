#pragma once

#include "base/Environment.h"

#include <QStringList>
#include <QTemporaryDir>
#include <functional>

// An environment for tests: a settable clock, regional settings of choice, and recorders
// for message boxes, beeps and error reports.
struct TTestEnvironment {
    TEnvironment Environment;
    QDateTime Clock = QDateTime(QDate(2008, 12, 9), QTime(9, 5, 3));
    QStringList Messages;
    QStringList Errors;
    int Beeps = 0;

    TTestEnvironment()
    {
        Environment.Regional = TRegional();
        Environment.Now = [this] { return Clock; };
        Environment.ShowMessage = [this](const QString& text) { Messages << text; };
        Environment.Beep = [this] { ++Beeps; };
        Environment.ReportError = [this](const QString& text) { Errors << text; };
    }
};

class TOperationLog;

// Every on-screen line of the log, in order.
QStringList LogLinesOf(const TOperationLog& log);

// Reads a whole file, empty when it does not exist.
QByteArray ReadWholeFile(const QString& path);
void WriteWholeFile(const QString& path, const QByteArray& bytes);

// Lets events run until the condition holds or a generous limit (30 s) has passed; the
// condition's last answer.
bool WaitUntil(const std::function<bool()>& condition);
