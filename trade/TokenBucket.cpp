#include "trade/TokenBucket.h"

#include <algorithm>

namespace {

constexpr qint64 Line = 1000;   // credit of one line
constexpr qint64 SecondMs = 1000;

} // namespace

void TTokenBucket::Configure(int perSecond, int burst)
{
    perSecond = std::max(0, perSecond);
    burst = std::max(0, burst);
    if (perSecond == FPerSecond && burst == FBurst)
        return;
    FPerSecond = perSecond;
    FBurst = burst;
    // A bucket that holds less than one line would never let one go.
    FCapacity = qint64(std::max(1, burst)) * Line;
    FCredit = FCapacity;
    FLastMs.reset();
    FRecent.clear();
}

void TTokenBucket::Refill(qint64 nowMs)
{
    if (FLastMs && nowMs > *FLastMs)
        FCredit = std::min(FCapacity, FCredit + (nowMs - *FLastMs) * FPerSecond);
    if (!FLastMs || nowMs > *FLastMs)
        FLastMs = nowMs;
    // A line counts for the second that begins with it: at t + 1000 it no longer does.
    while (!FRecent.empty() && FRecent.front() + SecondMs <= nowMs)
        FRecent.pop_front();
}

int TTokenBucket::WindowRoom() const
{
    return std::max(0, FPerSecond + FBurst - int(FRecent.size()));
}

int TTokenBucket::Allowed(qint64 nowMs)
{
    if (!On())
        return 0;
    Refill(nowMs);
    return int(std::min<qint64>(FCredit / Line, WindowRoom()));
}

void TTokenBucket::Spend(int count, qint64 nowMs)
{
    if (!On() || count <= 0)
        return;
    Refill(nowMs);
    FCredit -= qint64(count) * Line;
    FRecent.insert(FRecent.end(), std::size_t(count), nowMs);
}

qint64 TTokenBucket::WaitMs(qint64 nowMs)
{
    if (!On())
        return 0;
    Refill(nowMs);
    qint64 wait = 0;
    if (FCredit < Line)
        wait = (Line - FCredit + FPerSecond - 1) / FPerSecond;
    if (WindowRoom() == 0) {
        // The line that has to leave the counted second for one more to fit.
        const qint64 leaving = FRecent[FRecent.size() - std::size_t(FPerSecond + FBurst)];
        wait = std::max(wait, leaving + SecondMs - nowMs);
    }
    return wait;
}
