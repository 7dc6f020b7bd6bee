#include "base/LocalClock.h"

QDateTime TLocalClock::Now()
{
    const qint64 msecs = QDateTime::currentMSecsSinceEpoch();
    const qint64 second = msecs >= 0 ? msecs / 1000 : (msecs - 999) / 1000;
    if (second != FSecond) {
        FOffset = QDateTime::fromMSecsSinceEpoch(msecs, Qt::LocalTime).offsetFromUtc();
        FSecond = second;
    }
    return QDateTime::fromMSecsSinceEpoch(msecs, Qt::OffsetFromUTC, FOffset);
}
