#pragma once

#include "data/BridgeRows.h"
#include "data/RestingOrders.h"
#include "trade/OmegaOrder.h"
#include "trade/Order.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

class TCoreEvents;
class TDatMod;
class TOperationLog;
class TSettings;
class TTransactionSender;
class TTransWriter;
class TWatchLoop;
struct TEnvironment;

// The desk's emergency stop ("Аварийная остановка") and the block it leaves behind. It
// owns the one state "new orders are blocked": engaged by the command, released only by
// "Возобновить торговлю". While engaged the dispatch refuses every new order, from a
// strategy or by hand, with a log line each; withdrawals always pass.
//
// Watching may be started again while engaged: each strategy order that arrives is then
// read, refused and logged, so that the orders the strategies placed during the stop do
// not go out in a burst once trading resumes, and their cancellations still go out as
// withdrawals.
class TKillSwitch {
public:
    TKillSwitch(const TSettings& settings, TDatMod& datMod, TTransactionSender& sender, TTransWriter& writer,
                TWatchLoop& watch, TOperationLog& log, TCoreEvents& events, TEnvironment& environment);

    bool Engaged() const { return FEngaged; }

    // The command, in this order: the block engaged; watching stopped; every queued
    // new-order line taken out of the queue, each logged and marked in the transaction
    // report as not sent; a withdrawal line for each order the report shows resting (of
    // any run), all written to the import file at once. Then one alarm (log line, e-mail
    // when mail is on, box) with how many withdrawals went and each order that could not be
    // withdrawn, and why. A step that fails does not keep the later steps from running.
    void actKillSwitchExecute();
    // "Возобновить торговлю": releases the block (logged); nothing while not engaged.
    void actResumeTradingExecute();

    // The log line of a new order refused while engaged.
    static QString RefusalText(qint64 orderId);
    // What the report says of a line taken out of the queue by the command.
    static QString DroppedDescription();
    // The status booked for such a line: the terminal's "not delivered", so that nothing
    // waits for an answer to it.
    static constexpr int DroppedStatus = 2;

private:
    // Takes the queued new orders out, marks and logs each; their count.
    int DropQueuedNewOrders(QStringList& problems);
    // Queues and books a withdrawal for each resting order; the number queued.
    int QueueWithdrawals(QStringList& problems);
    // The withdrawal of one resting order; none, with the reason in `why`, when it cannot
    // be built.
    std::optional<TOrder> BuildWithdrawal(const TRestingOrder& resting, const QList<TClientAccount>& clients,
                                          TOmegaOrder& omega, QString& why);
    std::optional<TClientAccount> AccountOf(const QString& code, const QList<TClientAccount>& clients) const;

    const TSettings& FSettings;
    TDatMod& FDatMod;
    TTransactionSender& FSender;
    TTransWriter& FWriter;
    TWatchLoop& FWatch;
    TOperationLog& FLog;
    TCoreEvents& FEvents;
    TEnvironment& FEnvironment;
    bool FEngaged = false;
};

// The alarm that ends the command.
QString KillSwitchReport(int withdrawals, int dropped, const QStringList& problems);
