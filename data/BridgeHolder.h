#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class QLockFile;
class TConnection;
class TOperationLog;
class TSettings;
struct TEnvironment;

// One running program per terminal and per bridge database. Two programs writing the
// same import file, or booking into the same bridge database, would send every order
// twice under the same transaction numbers. The running program therefore holds both as
// its own:
// - the import file, through an operating-system lock file beside it ("<import
//   file>.lock", Qt's QLockFile), held from the start-up for the whole run; the import
//   file itself stays open to the terminal. A lock left by a process that has ended is
//   taken over with a log line;
// - the bridge database, through its row in the table tBridgeHolder (computer, process,
//   start and last refresh, and how long the row counts as live without a refresh),
//   written at connection, refreshed by the table tick every few seconds, removed at a
//   clean exit. A row of another program counts while it is refreshed within its own
//   window (at least a minute, three table periods), unless its process on this computer
//   has ended; a stale row is taken over with a log line.
// On a bridge database through ODBC without the table only the file lock guards; that is
// logged once per source.
class TBridgeHolder {
public:
    TBridgeHolder(const TSettings& settings, TConnection& bridge, TEnvironment& environment, TOperationLog& log);
    ~TBridgeHolder();
    TBridgeHolder(const TBridgeHolder&) = delete;
    TBridgeHolder& operator=(const TBridgeHolder&) = delete;

    // Holds the lock of the import file at `importPath`, letting go of the one held for
    // another path. Empty when held; otherwise the text naming the program that holds it
    // (ImportFileHeldElsewhere() is then true) or why the lock could not be made.
    QString HoldImportFile(const QString& importPath);
    bool ImportFileHeldElsewhere() const { return !FImportHolder.isEmpty(); }

    // Writes this program's row into the connected bridge database, unless another live
    // program's row is there. Empty when written (or when the database keeps no holder
    // rows); otherwise the text naming the holder (BridgeHeldElsewhere() is then true) or
    // the database's error. Never throws.
    QString ClaimBridge();
    bool BridgeHeldElsewhere() const { return !FBridgeHolder.isEmpty(); }
    // The table tick's refresh of this program's row, at most every RefreshSeconds. Empty
    // while the row stays this program's; the text naming the other program once, when
    // its row has taken this one's place. Never throws.
    QString RefreshBridge();
    // Removes this program's row; the next claim writes it again. Never throws.
    void ReleaseBridge() noexcept;

    // Another program holds the import file or the bridge database, as last found.
    bool HeldElsewhere() const { return ImportFileHeldElsewhere() || BridgeHeldElsewhere(); }
    // Before any line is sent: holds the import file and, when the bridge database is
    // connected, claims it. Throws TError naming the holder or the failure.
    void HoldForSending(const QString& importPath);
    // Before lines are appended to the import file: holds its lock. Throws TError naming
    // the holder or the failure.
    void HoldImportFileForWriting(const QString& importPath);

    static constexpr int RefreshSeconds = 5;
    static constexpr int MinimumStaleSeconds = 60;
    // The lock file of an import file.
    static QString LockPathOf(const QString& importPath);

private:
    struct TRow {
        QString Host;
        qint64 Pid = 0;
        QString Started;
        QString Refreshed;
        int StaleAfter = 0;
    };
    bool Mine(const TRow& row) const;
    bool Live(const TRow& row, const QDateTime& nowUtc) const;
    QString Describe(const TRow& row) const;
    QString Shown(const QString& utcText) const;
    QString NowText() const;
    int StaleAfterSeconds() const;
    // Whether the bridge database has the table; a SQLite file gets it now.
    bool TableKept();
    QList<TRow> Rows();
    void Remove(const TRow& row);
    void Insert();
    int UpdateMine();
    // The claim itself: throws on a database error.
    QString Claim();

    const TSettings& FSettings;
    TConnection& FBridge;
    TEnvironment& FEnvironment;
    TOperationLog& FLog;
    const QString FHost;
    const qint64 FPid;
    const QString FStarted;

    std::unique_ptr<QLockFile> FLock;
    QString FLockedPath;
    QString FImportHolder;

    // The opening of the bridge connection whose claim FClaimed and FBridgeHolder tell of.
    std::optional<quint64> FSession;
    bool FClaimed = false;
    bool FRowWritten = false;
    QString FBridgeHolder;
    QString FBridgeProblem;
    QDateTime FLastRefresh;
    QStringList FToldUnguarded;
};

// The statement that makes the table of holder rows in a SQLite bridge database.
QStringList BridgeHolderSchema();
