#pragma once

// How a simulator (zovrant-terminal-sim, zovrant-platform-sim) tells whoever started it
// that it is ready. Once it has taken its starting position (the terminal simulator: the
// end of the import file it follows; the platform simulator: the alert database open) it
// prints one line, exactly "ready", on its standard output and flushes it; given
// --ready-file F it first writes F (complete or not at all: written beside and renamed
// into place). Nothing it does before that line concerns anyone else.
//
// Whoever starts a simulator waits for that line (WaitForReadyLine) or for the file before
// it goes on: the terminal simulator answers only the lines written to the import file
// after it is ready. A ready file should not exist before the simulator starts; the one
// who waits for it removes an old one first.

#include <QByteArray>
#include <QElapsedTimer>
#include <QProcess>
#include <QSaveFile>
#include <QString>
#include <cstdio>

inline constexpr char kSimulatorReadyLine[] = "ready";

// Writes the ready file (when a path is given) and prints the ready line. False, with
// nothing printed, when the file cannot be written.
inline bool AnnounceReady(const QString& readyFile)
{
    if (!readyFile.isEmpty()) {
        QSaveFile file(readyFile);
        const QByteArray text = QByteArray(kSimulatorReadyLine) + '\n';
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
            return false;
    }
    std::fputs(kSimulatorReadyLine, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    return true;
}

// Reads the standard output of a started process line by line until a line reads exactly
// `line` (blanks around it ignored). Lines before it are consumed; those after it stay to
// be read. Empty on success, otherwise why it did not come: the process ended (with its
// status and what it wrote on standard error) or the limit passed.
inline QString WaitForLine(QProcess& process, const QByteArray& line, int limitMs)
{
    QElapsedTimer clock;
    clock.start();
    process.setReadChannel(QProcess::StandardOutput);
    for (;;) {
        while (process.canReadLine()) {
            if (process.readLine().trimmed() == line)
                return {};
        }
        if (process.state() == QProcess::NotRunning) {
            if (process.error() == QProcess::FailedToStart)
                return QStringLiteral("cannot start %1: %2").arg(process.program(), process.errorString());
            return QStringLiteral("%1 ended (exit code %2) before it printed \"%3\": %4")
                .arg(process.program())
                .arg(process.exitCode())
                .arg(QString::fromLatin1(line), QString::fromLocal8Bit(process.readAllStandardError()));
        }
        const qint64 left = limitMs - clock.elapsed();
        if (left <= 0)
            return QStringLiteral("%1 did not print \"%2\" within %3 ms")
                .arg(process.program(), QString::fromLatin1(line))
                .arg(limitMs);
        process.waitForReadyRead(int(left));
    }
}

// Waits for a started simulator's ready line, 30 s at most (a loaded machine may take
// seconds to start a program).
inline QString WaitForReadyLine(QProcess& process, int limitMs = 30000)
{
    return WaitForLine(process, kSimulatorReadyLine, limitMs);
}
