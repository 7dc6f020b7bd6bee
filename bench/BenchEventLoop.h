#pragma once

// Shared by the benchmarks that run the program's core on its own timers: how long the
// event loop was kept from turning. A timer of 1 ms notes the time between its ticks; a
// tick that comes late comes after work that held the loop for as long.

#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>

class TEventLoopWatch {
public:
    TEventLoopWatch()
    {
        FTimer.setTimerType(Qt::PreciseTimer);
        FTimer.setInterval(1);
        QObject::connect(&FTimer, &QTimer::timeout, &FTimer, [this] {
            const qint64 now = FClock.nsecsElapsed();
            FLongestMs = std::max(FLongestMs, double(now - FLast) / 1e6);
            FLast = now;
        });
    }

    // Starts noting, forgetting what was noted before.
    void Start()
    {
        FLongestMs = 0;
        FClock.start();
        FLast = 0;
        FTimer.start();
    }
    void Stop() { FTimer.stop(); }
    // The longest time between two turns of the event loop since Start(), in milliseconds.
    double LongestMs() const { return FLongestMs; }

private:
    QTimer FTimer;
    QElapsedTimer FClock;
    qint64 FLast = 0;
    double FLongestMs = 0;
};
