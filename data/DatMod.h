#pragma once

#include "base/CoreEvents.h"
#include "base/Environment.h"
#include "data/BridgeRows.h"
#include "data/Connection.h"
#include "data/PositionKey.h"
#include "data/Query.h"
#include "data/Table.h"

#include <QHash>
#include <QList>
#include <QTimer>
#include <functional>
#include <optional>

// The data module: both database connections with every table and statement on them.
// The statements the other parts need are built and run here, text values bound as
// parameters, and their answers handed out as plain values: no statement object leaves
// the module. The tables are handed out for the grids (which share a table's current
// row) and for the table tick; the statements only for the footers of the grids and for
// the tests that check their texts.
class TDatMod {
public:
    // A data module whose events nobody listens to.
    explicit TDatMod(TEnvironment& environment);
    TDatMod(TEnvironment& environment, TCoreEvents& events);
    TDatMod(const TDatMod&) = delete;
    TDatMod& operator=(const TDatMod&) = delete;

    // The strategy platform's alert database.
    TConnection& conOmega() { return FconOmega; }
    const TConnection& conOmega() const { return FconOmega; }
    TTable& tFilledOrders() { return FtFilledOrders; }
    TTable& tActiveOrders() { return FtActiveOrders; }
    TTable& tCanceledOrders() { return FtCanceledOrders; }
    TTable& tOpenPisitions() { return FtOpenPisitions; }
    TQuery& qFilledOrders() { return FqFilledOrders; }
    TQuery& qActiveOrders() { return FqActiveOrders; }
    TQuery& qCanceledOrders() { return FqCanceledOrders; }
    TQuery& qUpdateOrderNumber() { return FqUpdateOrderNumber; }
    TQuery& qLastID() { return FqLastID; }

    // The bridge database.
    TConnection& conQuikData() { return FconQuikData; }
    const TConnection& conQuikData() const { return FconQuikData; }
    TTable& tParam() { return FtParam; }
    TTable& tPortfolio() { return FtPortfolio; }
    TTable& tSecCode() { return FtSecCode; }
    TTable& tWorkSpaces() { return FtWorkSpaces; }
    TTable& tStrategy() { return FtStrategy; }
    TTable& tOrderNumber() { return FtOrderNumber; }
    TTable& tClients() { return FtClients; }
    TTable& tClientOpenPositions() { return FtClientOpenPositions; }
    TQuery& qSecCode() { return FqSecCode; }
    TQuery& qSecCodeSum() { return FqSecCodeSum; }
    TQuery& qPortfolio() { return FqPortfolio; }
    TQuery& qPortfolioSum() { return FqPortfolioSum; }
    TQuery& qActiveClients() { return FqActiveClients; }
    TQuery& qExitQty() { return FqExitQty; }
    TQuery& qQuikData() { return FqQuikData; }

    // The id of the table's last row (the greatest id), 0 for an empty table, -1 for a
    // closed table or when it cannot be read.
    qint64 GetLastId(TTable& table);
    // The highest transaction number ever issued on the bridge database: the greater of
    // the highest trans_id of the transaction report tOrderNumber and the number kept in
    // tLastTransId; -1 when neither holds one, the largest 32-bit number when a number
    // beyond it is found. Read at every connection, so that numbers continue across runs.
    int HighestTransId();
    // Raises the number kept in tLastTransId to transId: a number whose report row could
    // not be booked is still known as issued. Does nothing where no number is kept.
    void KeepHighestTransId(int transId);
    // The record of dispatches under way, in the bridge table tPendingDispatch: the
    // accounts of an order are recorded in one transaction (the caller's, when one is
    // open) before the first line of the order is booked (in one row on a SQLite file, a row per account through ODBC), and
    // the order's record is cleared once its lines are in the import file. A record found
    // at connection belongs to a dispatch a crash interrupted. On a SQLite file the table
    // is made when missing; through ODBC it is used where it exists. Each does nothing
    // where no record is kept.
    // Whether the bridge database has tPendingDispatch (made on a SQLite file that lacks
    // it); found out once per opening of the connection. Asked before the transaction a
    // record is written in: a table made inside it would go with its rollback.
    bool PendingDispatchKept();
    void RecordPendingDispatch(qint64 orderId, bool filled, bool kill, const QStringList& codes);
    void ClearPendingDispatch(qint64 orderId, bool filled, bool kill);
    // The records left by interrupted dispatches, removed as they are read, so that each
    // is reported once.
    QList<TPendingDispatch> TakePendingDispatches();
    // The id of the last row of each alert table that the intake has handled (dispatched
    // or refused), kept in the bridge table tLastHandledId so that the rows a stop or a
    // crash left unhandled are found at the next start. On a SQLite file the table is
    // made when missing; through ODBC it is used where it exists. None where nothing is
    // kept (yet) for the table.
    std::optional<qint64> KeptLastId(const QString& alertTable);
    // Keeps the id as the table's last handled one (stored at once); nothing where no id
    // is kept.
    void KeepLastId(const QString& alertTable, qint64 id);
    // Whether the ActiveOrders row of that id is still there (the platform moves a filled
    // or cancelled order out of it).
    bool ActiveOrderExists(qint64 id);
    // The transactions sent for a strategy order (of FilledOrders when filled, else of
    // ActiveOrders), oldest first.
    QList<TReportRow> SentTransactions(qint64 orderId, bool filled);
    // SQLite's quick check of the bridge database file: empty when it passes or the
    // database is not a SQLite file, else what the check found.
    QString BridgeQuickCheck();
    // Opens the bridge tables the windows work with once both databases are connected.
    void OpenBridgeTables();
    // Refuses a security without a terminal code (an empty SecCode), with a message.
    bool tSecCodeBeforePost();
    void tSecCodeAfterPost();
    // Grows whenever a row of tSecCode is about to be stored, has been stored or has been
    // deleted through tSecCode: a securities row read before is then possibly out of date.
    quint64 SecuritiesEdits() const { return FSecuritiesEdits; }

    // Statements of the order intake: the rows of an alert table with id above afterId
    // and not above upToId, into one of qFilledOrders, qActiveOrders, qCanceledOrders.
    void OpenNewOrders(TQuery& query, const QString& tableName, qint64 afterId, qint64 upToId);
    // The same rows, each handed to eachRow in turn through the table's own statement
    // (FilledOrders, ActiveOrders or CanceledOrders).
    void ReadNewOrders(const QString& tableName, qint64 afterId, qint64 upToId,
                       const std::function<void(TDataSet& row)>& eachRow);
    // Marks the alert order with id n as accepted by the terminal: its "Order Number"
    // becomes n (FilledOrders when filled, else ActiveOrders).
    void UpdateOrderNumber(bool filled, qint64 id);

    // The security with the strategy platform's ticker, into qSecCode.
    void OpenSecCode(const QString& ticker);
    // The first securities row of the ticker; none when the ticker is not listed. Opens
    // the securities table first when it is closed.
    std::optional<TSecurityRow> FindSecurity(const QString& ticker);
    // The client's row of the portfolio table, into qPortfolio: no row when the terminal
    // exported none for the client. The sizing reads only its total assets (CurAllAssets).
    void OpenPortfolio(const QString& clientCode);
    // The client's portfolio row; none when the terminal exported none. While the
    // portfolio is kept (below) the rows come from one read of the whole table.
    std::optional<TPortfolioRow> FindPortfolio(const QString& clientCode);
    // One strategy order goes to every active client, and each asks for its own portfolio
    // row: from KeepPortfolio() to the matching ReleasePortfolio() (the pairs nest) the
    // table is read once, at the first FindPortfolio, and every client's row found among
    // the rows read, by the same comparison without regard to case (Cyrillic letters
    // folded too) and, for a client with several rows, the first one the table gives, as
    // the statement for one client would find it. After the last release the table is
    // asked again. A dispatch keeps the bridge database in one transaction, so the rows
    // read stay the ones a statement would see until the dispatch ends.
    void KeepPortfolio() noexcept { ++FPortfolioKeepDepth; }
    void ReleasePortfolio() noexcept;
    // Keeps the portfolio for the life of the object.
    class TPortfolioReuse {
    public:
        explicit TPortfolioReuse(TDatMod& datMod) : FDatMod(datMod) { FDatMod.KeepPortfolio(); }
        ~TPortfolioReuse() { FDatMod.ReleasePortfolio(); }
        TPortfolioReuse(const TPortfolioReuse&) = delete;
        TPortfolioReuse& operator=(const TPortfolioReuse&) = delete;

    private:
        TDatMod& FDatMod;
    };
    // Every active client, in the order the clients table gives them.
    QList<TClientAccount> ActiveClients();
    // The booked quantity of one position, into qExitQty.
    void OpenExitQty(const TPositionKey& key);
    // The quantity of the first booked row of the position; none when nothing is booked.
    std::optional<qint32> FindExitQuantity(const TPositionKey& key);
    // Deletes every booked row of one position; the number of rows deleted.
    int DeleteExitQty(const TPositionKey& key);
    // Books a sent transaction in the transaction report tOrderNumber.
    void InsertOrderNumber(int transId, qint64 idOrder, bool filled, const QString& code);
    // Books an entry's position of a client in tClientOpenPositions.
    void InsertOpenPosition(const TPositionKey& key, qint32 quantity, const QString& signal);
    // The transaction report row of a transaction number, into qQuikData.
    void OpenTransaction(int transId);
    // The transaction report row of a transaction number; none when there is none.
    std::optional<TTransactionRow> FindTransaction(int transId);
    // Books a terminal result into the transaction report; the number of rows changed.
    // Without an order number the one booked before stays.
    int BookTransactionResult(int transId, int status, const QString& transName,
                              const QString& description, std::optional<qint64> orderNumber);
    // The exchange order numbers sent for a strategy order and client, oldest transaction
    // first, into qQuikData.
    void OpenOrderNumbers(qint64 orderId, bool filled, const QString& clientCode);
    // The exchange order number of the last transaction sent for the strategy order and
    // client; empty when there is none or no number was reported yet.
    QString LastOrderNumber(qint64 orderId, bool filled, const QString& clientCode);

    // The pre-trade limits (data/RiskLimitsData.cpp). Their columns are optional: which of
    // them the bridge database has is found out once per opening of the connection.
    // The limits of the security with the platform's ticker (the first row, as
    // FindSecurity finds it) and, when it has a price band, the last price of its code in
    // tParam; none when the ticker is not listed or the table has no limits' column.
    std::optional<TSecurityLimitsRow> FindSecurityLimits(const QString& ticker);
    // The lots every client holds in the security through the open positions booked for
    // the platform's ticker, by client code folded to one case.
    QHash<QString, qint64> HeldLots(const QString& symbol);
    // Records a refused line in the table of refusals tRiskRefusals (made on a SQLite file
    // that lacks it, used through ODBC where it exists; nothing where it is not kept).
    void RecordRefusal(const TRefusalRow& refusal);
    // The refusals for the window's grid; opened by OpenBridgeTables where kept.
    TTable& tRiskRefusals() { return FtRiskRefusals; }

private:
    void SetExitQtyParams(const TPositionKey& key);
    // Whether the bridge database keeps the highest number issued in tLastTransId. On a
    // SQLite file without the table (made before Zovrant kept it) the table is made;
    // elsewhere (an ODBC source, a file that cannot be changed) it is not, and the
    // report's highest number alone counts. Found out once per opening of the connection.
    bool TransIdKept();
    // The greatest value of a column of a bridge table; none for an empty table.
    std::optional<qint64> MaxOfColumn(const QString& table, const QString& column);
    // The booked rows are written by statements, and the tables the grids show are read
    // again once the current work returns to the event loop: a dispatch to many clients
    // books many rows, and one read per table serves them all.
    void ShowBooked(bool& changed);
    void RefreshBookedTables() noexcept;

    // The portfolio rows by client code folded to one case, read once while kept.
    const QHash<QString, TPortfolioRow>& KeptPortfolio();

    TNullEvents FNoEvents;
    TCoreEvents& FEvents;
    TEnvironment& FEnvironment;

    TConnection FconOmega;
    TTable FtFilledOrders;
    TTable FtActiveOrders;
    TTable FtCanceledOrders;
    TTable FtOpenPisitions;
    TQuery FqFilledOrders;
    TQuery FqActiveOrders;
    TQuery FqCanceledOrders;
    TQuery FqUpdateOrderNumber;
    TQuery FqLastID;

    TConnection FconQuikData;
    TTable FtParam;
    TTable FtPortfolio;
    TTable FtSecCode;
    TTable FtWorkSpaces;
    TTable FtStrategy;
    TTable FtOrderNumber;
    TTable FtClients;
    TTable FtClientOpenPositions;
    TQuery FqSecCode;
    TQuery FqSecCodeSum;
    TQuery FqPortfolio;
    TQuery FqPortfolioSum;
    TQuery FqActiveClients;
    TQuery FqExitQty;
    TQuery FqQuikData;

    quint64 FSecuritiesEdits = 0;
    // A table of the program's own bookkeeping in the bridge database: whether it is
    // there, as found in the opening of conQuikData named by Session.
    struct TBookkeepingTable {
        QString Name;
        QString Columns;
        std::optional<quint64> Session;
        bool Kept = false;
    };
    // Whether the table is in the bridge database; a SQLite file made before it gets it
    // now. A file that cannot be changed works without it. Asked once per opening.
    bool BookkeepingTableKept(TBookkeepingTable& table);
    TBookkeepingTable FTransIdTable;
    TBookkeepingTable FPendingTable;
    TBookkeepingTable FLastHandledTable;
    TBookkeepingTable FRefusalsTable;
    // Which optional columns of the limits the bridge database has, in the opening of
    // conQuikData named by Session.
    struct TRiskColumnsFound {
        std::optional<quint64> Session;
        QStringList Securities; // of MaxLots, MaxValue, PriceBand, MaxPosition
        QStringList Clients;    // of Multiplier, MaxLoss
    };
    const TRiskColumnsFound& RiskColumnsFound();
    TRiskColumnsFound FRiskColumns;
    TTable FtRiskRefusals;
    int FPortfolioKeepDepth = 0;
    std::optional<QHash<QString, TPortfolioRow>> FKeptPortfolio;
    TQuery FqPortfolioRows;
    // The two bookings of every transaction sent: statements whose text never changes,
    // so that a dispatch to many accounts only binds new values for each.
    TQuery FqBookOrderNumber;
    TQuery FqBookOpenPosition;
    QTimer FBookedRefresh;
    bool FOrderNumbersBooked = false;
    bool FPositionsBooked = false;
    bool FRefusalsBooked = false;
};
