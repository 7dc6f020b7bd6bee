#pragma once

#include "trade/OmegaOrder.h"
#include "trade/Order.h"
#include "trade/OrderBuilder.h"
#include "trade/RiskLimits.h"
#include "trade/TransactionSender.h"

#include <QHash>
#include <QList>
#include <QStringList>
#include <exception>
#include <optional>

class TBatch;
class TDatMod;
class TKillSwitch;
class TOperationLog;
class TSettings;
class TTransWriter;
struct TEnvironment;

// One account's line of a dispatch as it would be made now, made by the same builders
// but neither queued nor booked, and with no transaction number used up: what the order
// ticket of the manual commands shows before the operator confirms.
struct TPreviewLine {
    QString ClientCode;
    // The transaction line as it would be written, with the number the next transaction
    // would get; empty when the account would get no line.
    QString Line;
    // Why the account would get no line: what the sizing logged, or the failure.
    QString Note;

    // A value of the line ("ACCOUNT", "OPERATION", "QUANTITY"...); empty without a line.
    QString Value(QStringView key) const;
};

// The working modes of the setting rgpSingleMulti.
enum TSingleMultiMode : int {
    smSingle = 0, // "Торговля по ОДНОМУ СЧЕТУ": the account of the settings
    smMulti = 1,  // "Торговля по ГРУППЕ СЧЕТОВ клиентов": every active client
};

// The bridge database failed during a dispatch (an account list that cannot be read, a
// line that cannot be booked, a commit that fails): the order went to no account, and
// watching must stop until the operator starts it again.
class TBridgeFailure : public TError {
public:
    using TError::TError;
};

// Sends one strategy order to the accounts of the working mode: for each account the
// order builder makes the terminal order, the sender turns an order to be sent into a
// transaction line and books it, and the writer then appends the lines made to the
// import file at once.
class TDispatcher {
public:
    TDispatcher(const TSettings& settings, TDatMod& datMod, TOrderBuilder& builder, TTransactionSender& sender,
                TTransWriter& writer, TOperationLog& log, const TEnvironment& environment);

    // Dispatches the order with the builder (&TOrderBuilder::NewOrder or KillOrder) to the
    // SINGLE account, to every active client in the MULTI mode, or to nobody without a
    // mode. With checkTraded an order for a security not marked as traded is logged and
    // not sent. Whatever happens, the log is saved, the lines made are written and the
    // beep sounds. A failure of one account (its line cannot be built, a lookup of its
    // own fails) leaves the other accounts their lines; then a TError naming each account
    // missed and its failure reaches the caller (in the SINGLE mode the failure itself). A failure of the
    // bridge database (the accounts, a booking or the commit) takes back every line of
    // the order, so none goes out unbooked, and throws TBridgeFailure naming the order
    // and its accounts.
    // With onlyCodes, only the accounts of the working mode with those client codes.
    // While the kill switch is engaged a new order goes to no account: one log line.
    // A new order that opens a position is checked against the pre-trade limits of its
    // security, its client and the settings before its line is queued: a refused line is
    // logged, announced and recorded, and the other accounts go on; a client's multiplier
    // scales its quantity (0: no line). Exits and withdrawals are never refused.
    void ProcessOrder(TOmegaOrder order, TOrderBuilderMethod builder, bool checkTraded,
                      const std::optional<QStringList>& onlyCodes = std::nullopt);

    // The kill switch whose block new orders obey (none: never blocked).
    void SetKillSwitch(const TKillSwitch* killSwitch) { FKillSwitch = killSwitch; }
    // Whether new orders are blocked now; withdrawals never are.
    bool NewOrdersBlocked() const;
    // The lines ProcessOrder would make now, one per account of the working mode, in the
    // same order: the same builders run, nothing is queued, booked, written or recorded
    // and no number is used up. What the sizing finds missing is logged as in a dispatch
    // and shown as the account's note. A failure to read the accounts reaches the caller.
    QList<TPreviewLine> PreviewOrder(const TOmegaOrder& order, TOrderBuilderMethod builder, bool checkTraded);

private:
    // The accounts of the working mode as the settings and the clients table hold them
    // now; with onlyCodes, those of them with these client codes (letter case aside).
    QList<TClientAccount> DispatchAccounts(const std::optional<QStringList>& onlyCodes);
    // The pre-trade limits of one dispatch: read once for all its accounts. Only an
    // entry (a new order that opens a position) is checked; exits and withdrawals pass.
    struct TDispatchLimits {
        bool Entry = false;
        std::optional<TSecurityLimitsRow> Security;
        QHash<QString, qint64> HeldLots; // by client code folded to one case
        // With MaxLinesPerOrder set, an entry's lines wait here until they are counted.
        bool Deferred = false;
        QList<TOrder> Lines;
        // The clock read once for the dispatch: its lines go out together.
        qint64 NowMs = 0;
    };
    TDispatchLimits ReadLimits(const TOmegaOrder& order, TOrderBuilderMethod builder);
    // The limit the entry line breaks, if any.
    std::optional<TRiskRefusal> CheckLimits(const TOrder& line, const TClientAccount& account,
                                            const TDispatchLimits& limits);
    // Logs, announces and records a refusal (clientCode empty: the whole order); a failure
    // to record it is the bridge database's.
    void Refuse(const TOmegaOrder& omega, const QString& clientCode, const TRiskRefusal& refusal);
    // Sends one line and remembers it for the duplicate check.
    void SendLine(const TOrder& line, const TOmegaOrder& omega, const TDispatchLimits& limits);
    void DispatchToAccount(TOrder& order, const TOmegaOrder& omega, const TClientAccount& account,
                           TOrderBuilderMethod builder, bool checkTraded, TDispatchLimits& limits);
    // Saves the log and appends the lines made to the import file.
    void WriteDispatched();
    // What went wrong in one dispatch.
    struct TDispatchFailures {
        QString Bridge;             // the bridge database's failure; empty when none
        QStringList Accounts;       // each account whose own failure kept it from a line, with the failure
        std::exception_ptr FirstAccountError;
    };
    // Builds, queues and books the order for each account in turn. Stops at a failure of
    // the bridge database.
    void SendToAccounts(const TOmegaOrder& order, const QList<TClientAccount>& accounts,
                        TOrderBuilderMethod builder, bool checkTraded, TDispatchFailures& failures);
    // Records the order and its accounts as a dispatch under way before any line is
    // made, in the bookings' transaction, so that a crash before its lines reach the file
    // is found at the next start; a failure is the bridge database's.
    void RecordIntent(const TOmegaOrder& order, bool kill, const QList<TClientAccount>& accounts,
                      TDispatchFailures& failures);
    // Clears that record once the order's lines are in the file; a failure to clear it
    // is logged, not thrown (it runs inside a write of the import file).
    void ClearIntent(const TOmegaOrder& order, bool kill, const TDispatchFailures& failures);
    // Keeps the highest number handed out and commits the bookings; a failure is the
    // bridge database's.
    void KeepBookings(TBatch& bookings, qint32 firstNumber, TDispatchFailures& failures);

    const TSettings& FSettings;
    TDatMod& FDatMod;
    TOrderBuilder& FBuilder;
    TTransactionSender& FSender;
    TTransWriter& FWriter;
    TOperationLog& FLog;
    const TEnvironment& FEnvironment;
    const TKillSwitch* FKillSwitch = nullptr;
    TRiskMemory FRiskMemory;
};

// The log line of an order for a security not marked as traded.
QString NotTradedMessage(qint64 orderId, const TOrder& order);
// One account's failure in the text of AccountsFailureMessage.
QString AccountFailureText(const QString& clientCode, const QString& errorText);
// The failure of a dispatch some of whose accounts got no line, one account a line.
QString AccountsFailureMessage(qint64 orderId, const QStringList& accountFailures);
// The failure of a dispatch stopped by the bridge database.
QString BridgeFailureMessage(qint64 orderId, const QStringList& clientCodes, const QString& errorText);
