#pragma once

#include <QtGlobal>
#include <deque>
#include <optional>

// Spaces the lines written to the import file: over time at most PerSecond lines a
// second, after a quiet spell up to Burst of them at once, and never more than
// PerSecond + Burst in any second counted from any moment (a broker counts that way).
// Time is given in milliseconds of a clock that never goes back.
class TTokenBucket {
public:
    // The rate and the burst (a rate of 0 turns pacing off). A change starts the bucket
    // full and forgets the lines it counted.
    void Configure(int perSecond, int burst);
    bool On() const { return FPerSecond > 0; }

    // How many lines may go at nowMs.
    int Allowed(qint64 nowMs);
    // Notes that count lines went at nowMs.
    void Spend(int count, qint64 nowMs);
    // Milliseconds from nowMs until one more line may go; 0 when one may go now.
    qint64 WaitMs(qint64 nowMs);

private:
    // Adds what the time since the last look earned and forgets the lines older than a
    // second.
    void Refill(qint64 nowMs);
    int WindowRoom() const;

    int FPerSecond = 0;
    int FBurst = 0;
    // In thousandths of a line: a rate of r lines a second earns r of them a millisecond.
    qint64 FCredit = 0;
    qint64 FCapacity = 0;
    std::optional<qint64> FLastMs;
    // When each line of the last second went, oldest first.
    std::deque<qint64> FRecent;
};
