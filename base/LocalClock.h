#pragma once

#include <QDateTime>
#include <limits>

// The wall clock of the operator's time zone. Asked for the local time, the C library
// looks at the zone file again at every reading (a file system call, the largest part of
// a log line's cost when a dispatch logs a line per account). This clock reads the zone's
// offset from UTC once per second of the UTC clock and adds it to the UTC time; a change
// of the zone or of summer time shows from the next second on.
class TLocalClock {
public:
    // The local date and time, carrying the zone's offset from UTC.
    QDateTime Now();

private:
    qint64 FSecond = std::numeric_limits<qint64>::min(); // the UTC second FOffset was read in
    int FOffset = 0;                                      // seconds ahead of UTC
};
