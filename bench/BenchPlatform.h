#pragma once

// Shared by the benchmarks of signals arriving while the program runs: a strategy platform
// and a trading terminal in threads of their own, each with its own connection or files,
// as the real programs are processes of their own. Neither touches the core: the core's
// thread sees only their commits and their lines.

#include "bench/BenchCore.h"

#include <QElapsedTimer>
#include <QFile>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <sqlite3.h>
#include <string>
#include <thread>
#include <vector>

// Commits alert rows one per transaction through SQLite's own interface, the i-th when
// `due(i)` (milliseconds on the shared clock) has come and `mayCommit(i)` holds; notes when
// each commit ended.
class TPlatformThread {
public:
    TPlatformThread(const QString& alertsPath, const QElapsedTimer& clock, int rows,
                    std::function<double(int)> due, std::function<bool(int)> mayCommit)
        : FClock(clock), FCommittedMs(rows)
    {
        for (auto& at : FCommittedMs)
            at = -1;
        FThread = std::thread([this, path = alertsPath.toUtf8(), rows, due = std::move(due),
                               mayCommit = std::move(mayCommit)] { Run(path, rows, due, mayCommit); });
    }
    ~TPlatformThread()
    {
        FStop = true;
        FThread.join();
    }

    // When the i-th row's commit ended, in milliseconds on the shared clock; -1 before.
    double CommittedMs(int i) const { return FCommittedMs[size_t(i)]; }
    int Committed() const { return FCount; }
    bool Failed() const { return FFailed; }

private:
    void Run(const QByteArray& path, int rows, const std::function<double(int)>& due,
             const std::function<bool(int)>& mayCommit)
    {
        sqlite3* database = nullptr;
        sqlite3_stmt* insert = nullptr;
        const QByteArray text = FilledInsert().toUtf8();
        if (sqlite3_open_v2(path.constData(), &database, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK
            || sqlite3_prepare_v2(database, text.constData(), -1, &insert, nullptr) != SQLITE_OK) {
            FFailed = true;
            sqlite3_close(database);
            return;
        }
        sqlite3_busy_timeout(database, 5000);
        // The platform's own choice for its file: a row at a time, without waiting for the disk.
        sqlite3_exec(database, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
        for (int i = 0; i < rows && !FStop; ++i) {
            while (!FStop && (!mayCommit(i) || double(FClock.nsecsElapsed()) / 1e6 < due(i)))
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            if (FStop)
                break;
            const bool done = sqlite3_step(insert) == SQLITE_DONE;
            sqlite3_reset(insert);
            if (!done) {
                FFailed = true;
                break;
            }
            FCommittedMs[size_t(i)] = double(FClock.nsecsElapsed()) / 1e6;
            ++FCount;
        }
        sqlite3_finalize(insert);
        sqlite3_close(database);
    }

    const QElapsedTimer& FClock;
    std::vector<std::atomic<double>> FCommittedMs;
    std::atomic<int> FCount{0};
    std::atomic<bool> FFailed{false};
    std::atomic<bool> FStop{false};
    std::thread FThread;
};

// Counts the complete lines of a growing file, reading only what was added since the last
// count.
class TLineCounter {
public:
    explicit TLineCounter(QString path) : FPath(std::move(path)) {}
    int Count()
    {
        QFile file(FPath);
        if (!file.open(QIODevice::ReadOnly) || !file.seek(FOffset))
            return FLines;
        const QByteArray added = file.readAll();
        const qsizetype end = added.lastIndexOf('\n');
        if (end < 0)
            return FLines;
        FLines += int(QByteArrayView(added).first(end + 1).count('\n'));
        FOffset += end + 1;
        return FLines;
    }
    // The lines counted so far, with the file's bytes up to the last of them.
    QByteArray ReadNew()
    {
        QFile file(FPath);
        if (!file.open(QIODevice::ReadOnly) || !file.seek(FOffset))
            return {};
        QByteArray added = file.readAll();
        const qsizetype end = added.lastIndexOf('\n');
        if (end < 0)
            return {};
        added.truncate(end + 1);
        FLines += int(added.count('\n'));
        FOffset += end + 1;
        return added;
    }

private:
    QString FPath;
    qint64 FOffset = 0;
    int FLines = 0;
};

// Answers every new transaction line of the import file with an "executed" result line,
// polling the file every millisecond or so; notes when each result was appended.
class TTerminalThread {
public:
    TTerminalThread(const QString& triPath, const QString& troPath, const QElapsedTimer& clock)
        : FClock(clock), FTri(triPath), FTroPath(troPath)
    {
        FThread = std::thread([this] { Run(); });
    }
    ~TTerminalThread()
    {
        FStop = true;
        FThread.join();
    }

    int Answered() const { return FAnswered; }
    // When the n-th result (0-based) was appended, in milliseconds on the shared clock.
    double AnsweredMs(int n) const
    {
        const std::lock_guard<std::mutex> lock(FMutex);
        return n < int(FAnsweredMs.size()) ? FAnsweredMs[size_t(n)] : -1;
    }

private:
    void Run()
    {
        QFile tro(FTroPath);
        if (!tro.open(QIODevice::WriteOnly | QIODevice::Append))
            return;
        const QByteArray key = "TRANS_ID";
        while (!FStop) {
            const QByteArray lines = FTri.ReadNew();
            if (lines.isEmpty()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            QByteArray results;
            int count = 0;
            for (const QByteArray& line : lines.split('\n')) {
                const qsizetype at = line.indexOf(key);
                if (at < 0)
                    continue;
                const qsizetype from = line.indexOf('=', at) + 1;
                const qsizetype to = line.indexOf(';', from);
                const QByteArray transId = line.mid(from, to - from).trimmed();
                results += "TRANS_ID=" + transId + ";STATUS=3;TRANS_NAME=\"New order\";DESCRIPTION=\"done\";ORDER_NUMBER="
                    + QByteArray::number(100000 + transId.toLongLong()) + ";\r\n";
                ++count;
            }
            tro.write(results);
            tro.flush();
            const double now = double(FClock.nsecsElapsed()) / 1e6;
            {
                const std::lock_guard<std::mutex> lock(FMutex);
                FAnsweredMs.insert(FAnsweredMs.end(), size_t(count), now);
            }
            FAnswered += count;
        }
    }

    const QElapsedTimer& FClock;
    TLineCounter FTri;
    QString FTroPath;
    mutable std::mutex FMutex;
    std::vector<double> FAnsweredMs;
    std::atomic<int> FAnswered{0};
    std::atomic<bool> FStop{false};
    std::thread FThread;
};
