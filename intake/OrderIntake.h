#pragma once

#include "trade/OmegaOrder.h"

#include <QList>
#include <array>
#include <QString>
#include <QStringList>
#include <functional>

class TDatMod;
class TDataSet;
class TDispatcher;
class TWithdrawals;
class TOperationLog;
class TOrderFilters;
class TTable;
struct TEnvironment;

// The readers of the strategy platform's alert tables: each takes the rows added since
// the id it remembers, checks them with the filters and hands the accepted ones to the
// dispatch. The remembered ids and the busy mark live in the watch state of the owner.
//
// A read moves the remembered id to the table's last id before it reads, so no row is
// read twice. The rows are taken from the database first and handled afterwards, so a
// reader running inside another (from a nested message loop) cannot disturb the rows the
// outer one is handling. A row whose handling fails is logged with its id and the error,
// and the read goes on with the next row; the operator is told once per read. A failure
// of the bridge database (TBridgeFailure) ends the read at once and goes on to the
// caller, naming the rows of the read that were not handled.
class TOrderIntake {
public:
    // The three alert tables the intake reads.
    enum class TAlertTable { Active, Filled, Canceled };

    TOrderIntake(TDatMod& datMod, TOrderFilters& filters, TDispatcher& dispatcher, TWithdrawals& withdrawals,
                 TOperationLog& log, const TEnvironment& environment);

    // The start of watching: every table's remembered id becomes its last id now, so
    // only rows added from here on are read (-1 for a table closed at this moment). The
    // bridge database keeps the last id each table's reader has handled: the rows above
    // it of the tables in `listed` (rows a stop or a crash left unhandled, rows the
    // platform added while the program was down) are returned, one text each, to be told
    // to the operator; they are never sent by themselves, since they may be stale. The
    // kept ids then move to the last ids.
    struct TUnhandledRow {
        TAlertTable Table;
        qint64 Id = 0;
        QString Text; // the row named for the operator
    };
    QList<TUnhandledRow> TakeLastIds(const QList<TAlertTable>& listed);
    // Id of the last row already read of a table; -1 when the table was closed when the
    // id was taken.
    qint64 LastId(TAlertTable table) const;
    void SetLastId(TAlertTable table, qint64 id);
    // Whether a read of ActiveOrders is running (further down the stack).
    bool ActiveBusy() const { return FActiveBusy; }

    // New rows of FilledOrders, sent as new orders: every row with AllRows (the
    // FilledOrders mode), else only rows without an order number (rows that were not sent
    // from ActiveOrders already).
    void LoadFilledOrders(bool AllRows);
    // New rows of CanceledOrders that carry the id of the order they cancel in their
    // order number: sent as withdrawals of that order.
    void LoadCanceledOrders();
    // New rows of ActiveOrders, sent as new orders. Guarded by ActiveBusy against a call
    // made while one is running: such a call reads nothing.
    void LoadActiveOrders();

    // The texts between the id and the filters' reasons in a filter failure line.
    static const QString FilledFailureText;
    static const QString FailureText;

private:
    // One alert table as a reader sees it.
    struct TAlertRead {
        TTable& Table;
        qint64& LastId;
        qint64& HighestRead; // the highest id read in this run
        bool Filled;
        const QString& FailureText;
    };
    // One row taken from the database: the order, or why it could not be read.
    struct TNewRow {
        TOmegaOrder Order;
        QString IdText;
        QString Error;
    };
    // What went wrong in one read, for the one report to the operator.
    struct TReadErrors {
        QString ReadFailure;
        QStringList FailedIds;
        QString FirstError;
    };
    using TRowDispatch = std::function<void(TOmegaOrder&)>;

    TReadErrors ReadTable(const TAlertRead& read, const TRowDispatch& dispatch);
    // The table's last id went below the one remembered: its newest rows were moved out
    // (an order filled or cancelled), or the platform renumbered it. No row above the last
    // id is there, so the reader goes on from it: a row the platform adds later under an id
    // it had used before is read, never skipped.
    void RowsWentAway(const TAlertRead& read, qint64 lastId);
    // Keeps the last handled id of the table in the bridge database; a failure is logged.
    void KeepHandled(const TTable& table, qint64 id);
    // The rows of the table with ids above afterId up to upToId, each named.
    QList<TUnhandledRow> UnhandledRows(TAlertTable alertTable, const QString& tableName, qint64 afterId,
                                       qint64 upToId);
    void TakeLastId(const TAlertRead& read, qint64 lastId);
    void ReadNewRows(const TAlertRead& read, qint64 lastId, const TRowDispatch& dispatch, TReadErrors& errors);
    QList<TNewRow> FetchNewRows(const TAlertRead& read, qint64 afterId, qint64 upToId);
    void HandleRow(const TAlertRead& read, TNewRow& row, const TRowDispatch& dispatch, TReadErrors& errors);
    void DispatchCanceled(TOmegaOrder& order);
    void ReportErrors(const TAlertRead& read, const TReadErrors& errors);

    qint64& LastIdOf(TAlertTable table);
    qint64& HighestReadOf(TAlertTable table);

    TDatMod& FDatMod;
    // Remembered last ids, by TAlertTable.
    std::array<qint64, 3> FLastIds{};
    // The highest id each reader has seen in this run, by TAlertTable: a row read under an
    // id not above it is one the platform gave out again, and is logged.
    std::array<qint64, 3> FHighestRead{};
    // Busy mark of the ActiveOrders reader against a nested call from a modal loop.
    bool FActiveBusy = false;
    TOrderFilters& FFilters;
    TDispatcher& FDispatcher;
    TWithdrawals& FWithdrawals;
    TOperationLog& FLog;
    const TEnvironment& FEnvironment;
};

// How many rows of one table UnhandledRows names at most; the rest are counted.
inline constexpr qsizetype UnhandledRowsNamed = 1000;

// The id of the order a cancelled row withdraws: its order number when that is a decimal
// integer of at least 1 that fits 64 bits (blanks around it allowed); 0 otherwise.
qint64 CanceledOrderId(const QString& orderNumber);
