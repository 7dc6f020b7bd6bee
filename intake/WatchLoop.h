#pragma once

#include "data/AlertsChangeCheck.h"
#include "data/AlertsWake.h"
#include "data/BridgeRows.h"
#include "intake/OrderIntake.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <set>
#include <utility>

class TBridgeHolder;
class TCoreEvents;
class TDatMod;
class TLinkMonitor;
class TOperationLog;
class TOrderIntake;
class TResultReader;
class TSettings;
class TTransWriter;
struct TEnvironment;

// The spine of the program: the start-up sequence, the connect procedure, the commands
// that start and stop watching, the table tick and the watch cycle. One table tick in
// one read: the alert tables and the bridge tables are refreshed, the watch cycle has the
// intake read the new rows of the alert tables (each accepted row dispatched to its
// accounts, whose lines the writer appends to the import file), and the result reader
// books what the terminal answered.
class TWatchLoop {
public:
    TWatchLoop(TSettings& settings, TDatMod& datMod, TOperationLog& log, TOrderIntake& intake,
               TTransWriter& writer, TResultReader& resultReader, TLinkMonitor& linkMonitor,
               TBridgeHolder& holder, TCoreEvents& events, TEnvironment& environment);

    // Start-up steps after the windows and the data module exist: the import file is held
    // (when another running program holds it, that program is named in the log and a box,
    // and none of the terminal's files is touched), the terminal's files are reset (none
    // of them when one is a database's), the databases connected when the settings say
    // so, the first info.log size taken, the log saved.
    void StartUp();
    // Connects both databases; once both are open the bridge database is claimed for this
    // program (another running program holding it is named in the log and a box), a
    // SQLite bridge file that fails its quick check is reported, the transaction
    // numbering continues after the highest number the bridge database has seen, the
    // orders whose dispatch a crash interrupted
    // are reported once (never sent again by themselves; not while another program holds
    // the bridge database, whose dispatches may be under way), the table tick runs once,
    // the bridge tables the windows work with are opened and their totals shown. The log
    // is saved in every case; an error after both connections opened is thrown after
    // saving. True when both databases are open.
    bool ConnectToBases();
    // The connect command: ConnectToBases, and once both are open BasesConnected told.
    // The transaction report keeps the rows of earlier runs.
    void actConnectToBaseExecute();
    // The start command: refused (TError, also logged) while a setting would send orders
    // astray (TSettings::CheckWatchSettings) or another running program holds the import
    // file or the bridge database.
    void actStartWatchExecute();
    void actStopWatchExecute();
    // The table tick; the bridge database's hold is refreshed first (watching stops when
    // another program has taken it), and the result reader is left out while another
    // program holds the import file or the bridge database.
    void timTable();
    // The watch cycle: the intake reads the alert tables of the mode rgpFilled, then the
    // queued lines are written. A failure of the bridge database stops watching (log
    // line, e-mail when mail is on) and goes on to the caller for its box.
    void actWatchingExecute();
    // The early watch cycle, run every few milliseconds: while watching, a commit to a
    // SQLite alert database since the last look (its data version) runs the watch cycle
    // at once instead of at the next table tick, so that a strategy order reaches the
    // import file within milliseconds. Everything else keeps the table tick's period; an
    // alert database without such a look (over ODBC) waits for the tick alone. The
    // alert file's wake (below) runs it as soon as the file system reports a write, so
    // that the periodic look only catches what the wake missed.
    void timAlertsCheck();
    // Follows the SQLite alert file from each connection on; its owner sets what a wake
    // runs (the early watch cycle, inside the guard).
    TAlertsWake& AlertsWake() { return FAlertsWake; }

    bool Watching() const { return FWatching; }
    // Current frame (0..3) of the watch animation; frame 0 is the idle picture.
    int IconIndex() const { return FIconIndex; }

private:
    // Empties the terminal's files (import, result and the result's ".TRR" companion), or
    // none of them when one is a database's file or holds a database.
    void ResetTerminalFiles();
    // The log line refusing to empty a terminal file that is one of the databases' files
    // (by the settings' Alerts and QuikData) or holds a database; empty when it may be
    // emptied.
    QString DatabaseRefusal(const QString& terminalFile) const;
    void StopOnBridgeFailure(const QString& text);
    // Tells the operator that another program holds the terminal or the bridge database.
    void TellHeldElsewhere(const QString& text);
    void CheckBridgeFile();
    void ReportInterruptedDispatches();
    // Tells the operator of the rows found unhandled at the start of watching: every one
    // in the log, the first UnhandledRowsShown in the box and the e-mail.
    void ReportUnhandledRows(const QList<TOrderIntake::TUnhandledRow>& unhandled);
    static constexpr qsizetype UnhandledRowsShown = 20;
    // Tells the operator of a fault: log line, e-mail when mail is on, box.
    void Alarm(const QString& text);
    // Whether the alert database's file (or its write-ahead journal) is no longer the one
    // the connection opened: another file renamed over it, or it removed. Watching stops
    // then, and the operator is told (log line, e-mail when mail is on, box) each time
    // watching stops for it, and once per connection while not watching. A new file's
    // ids mean nothing against the ones remembered from the old: reading starts again
    // only from the operator's new connection and start.
    bool StopOnReplacedAlerts();
    // Has the wake follow the alert file of the connection just opened (a SQLite file; an
    // ODBC source has no file to follow).
    void FollowAlertsFile();

    TSettings& FSettings;
    TDatMod& FDatMod;
    TOperationLog& FLog;
    TOrderIntake& FIntake;
    TTransWriter& FWriter;
    TResultReader& FResultReader;
    TLinkMonitor& FLinkMonitor;
    TBridgeHolder& FHolder;
    TCoreEvents& FEvents;
    TEnvironment& FEnvironment;
    bool FWatching = false;
    int FIconIndex = 0;
    TAlertsChangeCheck FAlertsCheck;
    TAlertsWake FAlertsWake;
    // The first look after a connection is still to follow the journals it made.
    bool FAlertsWakeFresh = false;
    // The new orders whose interrupted dispatches were reported at connection (id, from
    // FilledOrders).
    std::set<std::pair<qint64, bool>> FInterruptedOrders;
    // The opening of the alert connection whose replaced file the operator was told of.
    quint64 FAlertsReplacedTold = 0;
};

// The alert tables the watch cycle reads in a mode of rgpFilled.
QList<TOrderIntake::TAlertTable> TablesReadIn(int rgpFilled);

// The result file's companion: its path with the extension replaced by ".TRR".
QString CompanionTrrPath(const QString& resultPath);

// The reports of the dispatches a crash interrupted, one per order, naming the order, its
// table, whether it withdraws, and the accounts whose lines may be missing.
QStringList InterruptedDispatchReports(const QList<TPendingDispatch>& pending);
