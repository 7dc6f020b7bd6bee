#pragma once

#include <QFileSystemWatcher>
#include <QString>
#include <QTimer>
#include <functional>

// Wakes the watch cycle as soon as the strategy platform commits to a SQLite alert file:
// the file system tells of every write to the file and its journals (the write-ahead
// journal "-wal" holds the commits in WAL mode, the file itself and its "-journal" in the
// rollback mode), so a new row is looked for within a fraction of a millisecond of its
// commit instead of at the next periodic look. Whether anything really changed is still
// the data version's to say: a wake is only a reason to look. The journal is written a
// moment before the commit shows to readers (the commit's mark goes to the shared index
// afterwards, which the file system does not report), so a wake looks again a little
// later, LooksAgain times, first after LookAgainMs and then twice as long each time
// (1, 2, 4, 8 ms). A write the file system
// does not report (a journal that did not exist yet when the following began, a network
// drive) is still caught by the periodic look and the table tick.
class TAlertsWake {
public:
    TAlertsWake();
    TAlertsWake(const TAlertsWake&) = delete;
    TAlertsWake& operator=(const TAlertsWake&) = delete;

    // Follows the alert file at path and those of its journals that exist now; an empty
    // path follows nothing.
    void Follow(const QString& path);
    // Follows the journals of the followed file that have appeared since (the write-ahead
    // journal is made by the first connection that opens the file), and the file itself
    // again after it was replaced.
    void FollowNewFiles();
    // The files followed now, for the operator's diagnosis and the tests.
    QStringList Followed() const { return FWatcher.files(); }

    // Runs, from the event loop, at each write the file system reports, and again the
    // LooksAgain times after it.
    std::function<void()> Woken;
    static constexpr int LookAgainMs = 1;
    static constexpr int LooksAgain = 4;

private:
    QStringList Wanted() const;
    void Wake();

    QFileSystemWatcher FWatcher;
    QString FPath;
    QTimer FAgain;
    int FLooksLeft = 0;
};
