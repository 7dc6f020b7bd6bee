#pragma once

#include <QTimer>

// A timer that ticks only while it is enabled and its period is above zero: a period of 0
// never ticks (a bare QTimer with period 0 would fire without pause). The period is set on
// Timer directly (the settings load does that); Sync() then starts or stops it.
class TTicker {
public:
    QTimer Timer;

    void SetEnabled(bool enabled)
    {
        FEnabled = enabled;
        Sync();
    }
    bool Enabled() const { return FEnabled; }

    void Sync()
    {
        const bool run = FEnabled && Timer.interval() > 0;
        if (run && !Timer.isActive())
            Timer.start();
        else if (!run && Timer.isActive())
            Timer.stop();
    }

private:
    bool FEnabled = false;
};
