#pragma once

#include <QTimer>
#include <functional>

// One of the program's timers: it ticks only while it is enabled and its period is above
// zero. A period of 0 never ticks (a bare QTimer of period 0 would fire without pause);
// a later period above 0 starts it again if it is enabled. The timer itself is private:
// the period and the enabled state are the only ways to start or stop it.
class TTicker {
public:
    explicit TTicker(std::function<void()> onTick)
    {
        QObject::connect(&FTimer, &QTimer::timeout, &FTimer, std::move(onTick));
    }
    TTicker(const TTicker&) = delete;
    TTicker& operator=(const TTicker&) = delete;

    void SetPeriod(int milliseconds)
    {
        FTimer.setInterval(milliseconds);
        Sync();
    }
    int Period() const { return FTimer.interval(); }

    void SetEnabled(bool enabled)
    {
        FEnabled = enabled;
        Sync();
    }
    bool Enabled() const { return FEnabled; }
    // Whether it ticks now.
    bool Running() const { return FTimer.isActive(); }
    // The timer, to be listened to: its ticks can be followed, not started or stopped.
    const QTimer& Timer() const { return FTimer; }

private:
    void Sync()
    {
        const bool run = FEnabled && FTimer.interval() > 0;
        if (run && !FTimer.isActive())
            FTimer.start();
        else if (!run && FTimer.isActive())
            FTimer.stop();
    }

    QTimer FTimer;
    bool FEnabled = false;
};
