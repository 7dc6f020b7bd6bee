#pragma once

#include "trade/OmegaOrder.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>

class TCoreEvents;
class TDatMod;
class TDispatcher;
class TOperationLog;
class TSettings;
struct TEnvironment;
struct TResultLine;
struct TTransactionRow;

// The withdrawals of cancelled strategy orders. A withdrawal names the exchange order the
// terminal reported for the new order; a strategy may cancel its order before the terminal
// has answered, and such a withdrawal is held for each account still waiting for that
// answer: it goes out as soon as the exchange order is numbered, it is dropped with a log
// line when the terminal rejects the new order, and it is raised loudly (log line, box,
// e-mail when mail is on) when neither comes within the terminal's link time-out.
//
// A cancelled row carries the id of the order it withdraws only once the terminal has
// executed the new order (the result reader writes the link then); a row cancelled
// before carries none. Such a row is matched to the order this run placed from
// ActiveOrders with the same security, kind, wording, strategy, workspace, signal and
// interval whose row the platform has since moved out of ActiveOrders.
class TWithdrawals {
public:
    TWithdrawals(const TSettings& settings, TDatMod& datMod, TDispatcher& dispatcher, TOperationLog& log,
                 TCoreEvents& events, TEnvironment& environment);

    // An order of ActiveOrders dispatched as a new order in this run.
    void Placed(const TOmegaOrder& order);
    // The id of the placed order a cancelled row without an order number withdraws: the
    // first placed (lowest id) of the matching orders whose ActiveOrders row is gone; 0
    // when there is none. The order found is not matched again.
    qint64 MatchPlaced(const TOmegaOrder& canceled);

    // Withdraws the order whose id the cancelled row names (order.Id): a withdrawal line
    // for each account whose exchange order is numbered, and a held withdrawal for each
    // account whose new order the terminal has not answered yet. Failures of the dispatch
    // reach the caller; the held withdrawals stay held.
    void Withdraw(const TOmegaOrder& order);

    // A result booked for a transaction of this bridge: a held withdrawal of its order and
    // account is sent once the exchange order has a number (from the event loop, through
    // Guard), or dropped with a log line once the terminal rejected the new order.
    void ResultBooked(const TResultLine& result, const TTransactionRow& row);
    // Sends the held withdrawals whose exchange orders are numbered now.
    void SendReady();
    // Raises the held withdrawals that have waited longer than the link time-out, once
    // each; they stay held.
    void CheckOverdue();

    // The held withdrawals, as "order # id: account" texts, oldest first.
    QStringList Held() const;
    // Runs SendReady from the event loop; no exception may leave it. By default a failure
    // is written to the operation log.
    std::function<void(const std::function<void()>&)> Guard;

    // How many placed orders are remembered for matching (the oldest are forgotten).
    static constexpr qsizetype PlacedKept = 5000;

private:
    struct THeld {
        TOmegaOrder Order;
        QString Code;
        QDateTime Since;
        bool Ready = false;
        bool Raised = false;
    };
    // The link time-out of the settings in milliseconds (a minute when it is not usable).
    qint64 TimeOutMs() const;

    const TSettings& FSettings;
    TDatMod& FDatMod;
    TDispatcher& FDispatcher;
    TOperationLog& FLog;
    TCoreEvents& FEvents;
    TEnvironment& FEnvironment;
    QList<THeld> FHeld;
    QList<TOmegaOrder> FPlaced;
    QTimer FSend;
};
