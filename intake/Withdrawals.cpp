#include "intake/Withdrawals.h"

#include "base/CoreEvents.h"
#include "base/Environment.h"
#include "base/Error.h"
#include "base/LogText.h"
#include "base/OperationLog.h"
#include "data/BridgeRows.h"
#include "data/DatMod.h"
#include "data/Settings.h"
#include "intake/Alarm.h"
#include "intake/Dispatch.h"
#include "trade/OrderBuilder.h"
#include "trade/ResultLine.h"

#include <QHash>
#include <algorithm>
#include <map>
#include <utility>

namespace {

// Whether the terminal's answer ends the new order's road without an exchange order to
// withdraw: rejected (any status from 2 on but 3), or executed without a number.
bool EndsWithoutOrder(int status)
{
    return status >= 2;
}

bool SameOrder(const TOmegaOrder& a, const TOmegaOrder& b)
{
    return a.Id == b.Id && a.Filled == b.Filled;
}

// Whether a cancelled row describes the same strategy order as a placed one.
bool SameDescription(const TOmegaOrder& placed, const TOmegaOrder& canceled)
{
    return placed.Symbol == canceled.Symbol && placed.OrderType == canceled.OrderType
        && placed.Order == canceled.Order && placed.System == canceled.System
        && placed.Workspace == canceled.Workspace && placed.Signal == canceled.Signal
        && placed.Interval == canceled.Interval;
}

QString Accounts(const QStringList& codes)
{
    QStringList shown;
    for (const QString& code : codes)
        shown << LogFragment(code);
    return shown.join(QStringLiteral(", "));
}

} // namespace

TWithdrawals::TWithdrawals(const TSettings& settings, TDatMod& datMod, TDispatcher& dispatcher, TOperationLog& log,
                           TCoreEvents& events, TEnvironment& environment)
    : FSettings(settings), FDatMod(datMod), FDispatcher(dispatcher), FLog(log), FEvents(events),
      FEnvironment(environment)
{
    FSend.setSingleShot(true);
    FSend.setInterval(0);
    QObject::connect(&FSend, &QTimer::timeout, &FSend, [this] {
        const auto send = [this] { SendReady(); };
        if (Guard) {
            Guard(send);
            return;
        }
        try {
            send();
        } catch (const std::exception& error) {
            FLog.AddToLog(ErrorText(error));
        } catch (...) {
            FLog.AddToLog(QStringLiteral("Неизвестная ошибка при отправке отложенного снятия."));
        }
    });
}

void TWithdrawals::Placed(const TOmegaOrder& order)
{
    FPlaced << order;
    if (FPlaced.size() > PlacedKept)
        FPlaced.removeFirst();
}

qint64 TWithdrawals::MatchPlaced(const TOmegaOrder& canceled)
{
    for (qsizetype i = 0; i < FPlaced.size(); ++i) {
        const TOmegaOrder& placed = FPlaced[i];
        // A row still in ActiveOrders is an order the strategy keeps: not this one.
        if (SameDescription(placed, canceled) && !FDatMod.ActiveOrderExists(placed.Id)) {
            const qint64 id = placed.Id;
            FPlaced.removeAt(i);
            return id;
        }
    }
    return 0;
}

void TWithdrawals::Withdraw(const TOmegaOrder& order)
{
    FPlaced.removeIf([&](const TOmegaOrder& placed) { return SameOrder(placed, order); });
    // The last transaction of each account decides: it is the one a withdrawal names.
    std::map<QString, TReportRow> last;
    QStringList codes; // in the order they were first sent
    for (const TReportRow& sent : FDatMod.SentTransactions(order.Id, order.Filled)) {
        const QString key = sent.Code.toCaseFolded();
        if (!last.count(key))
            codes << sent.Code;
        last[key] = sent;
    }
    QStringList waiting;
    for (const QString& code : std::as_const(codes)) {
        const TReportRow& sent = last[code.toCaseFolded()];
        if (sent.OrderNumber > 0 || (sent.Status && EndsWithoutOrder(*sent.Status)))
            continue;
        const bool held = std::any_of(FHeld.cbegin(), FHeld.cend(), [&](const THeld& h) {
            return SameOrder(h.Order, order) && h.Code.compare(code, Qt::CaseInsensitive) == 0;
        });
        if (!held) {
            FHeld << THeld{order, code, FEnvironment.Now(), false, false};
            waiting << code;
        }
    }
    if (!waiting.isEmpty()) {
        FLog.AddToLog(QStringLiteral("Снятие ордера # %1 по счетам %2 отложено: Quik ещё не сообщил номер заявки. "
                                     "Снятие будет отправлено, как только номер придёт.")
                          .arg(order.Id)
                          .arg(Accounts(waiting)));
        FLog.SaveLog();
    }
    // The accounts whose exchange orders are numbered get their lines now; the builder
    // finds nothing to withdraw for the others.
    FDispatcher.ProcessOrder(order, &TOrderBuilder::KillOrder, true);
}

void TWithdrawals::ResultBooked(const TResultLine& result, const TTransactionRow& row)
{
    const bool numbered = result.OrderNumber.value_or(0) > 0 || row.OrderNumber > 0;
    for (qsizetype i = 0; i < FHeld.size(); ++i) {
        THeld& held = FHeld[i];
        if (held.Ready || held.Order.Id != row.IdOrder || held.Order.Filled != row.Filled
            || held.Code.compare(row.Code, Qt::CaseInsensitive) != 0)
            continue;
        if (numbered) {
            held.Ready = true;
            FSend.start();
        } else if (EndsWithoutOrder(result.Status)) {
            FLog.AddToLog(QStringLiteral("Снятие ордера # %1 по счету %2 не требуется: Quik не выставил заявку "
                                         "(транзакция номер %3, статус %4).")
                              .arg(held.Order.Id)
                              .arg(LogFragment(held.Code))
                              .arg(result.TransId)
                              .arg(result.Status));
            FHeld.removeAt(i);
            --i;
        }
    }
}

void TWithdrawals::SendReady()
{
    while (true) {
        const auto ready = std::find_if(FHeld.cbegin(), FHeld.cend(), [](const THeld& h) { return h.Ready; });
        if (ready == FHeld.cend())
            return;
        // Every account of the order that is ready goes in one dispatch.
        const TOmegaOrder order = ready->Order;
        QStringList codes;
        FHeld.removeIf([&](const THeld& h) {
            if (!h.Ready || !SameOrder(h.Order, order))
                return false;
            codes << h.Code;
            return true;
        });
        FLog.AddToLog(QStringLiteral("Quik сообщил номер заявки: отложенное снятие ордера # %1 отправляется по счетам %2.")
                          .arg(order.Id)
                          .arg(Accounts(codes)));
        FDispatcher.ProcessOrder(order, &TOrderBuilder::KillOrder, true, codes);
    }
}

void TWithdrawals::CheckOverdue()
{
    const QDateTime now = FEnvironment.Now();
    const qint64 timeOut = TimeOutMs();
    // One message per order, naming its accounts still waiting.
    QList<std::pair<TOmegaOrder, QStringList>> overdue;
    for (THeld& held : FHeld) {
        if (held.Raised || held.Ready || held.Since.msecsTo(now) < timeOut)
            continue;
        held.Raised = true;
        auto order = std::find_if(overdue.begin(), overdue.end(),
                                  [&](const auto& entry) { return SameOrder(entry.first, held.Order); });
        if (order == overdue.end())
            overdue.append({held.Order, {held.Code}});
        else
            order->second << held.Code;
    }
    for (const auto& [order, codes] : std::as_const(overdue)) {
        const QString text = QStringLiteral("Снятие ордера # %1 по счетам %2 не отправлено: Quik не ответил на заявку "
                                            "за %3 с. Биржевые заявки могут оставаться активными, проверьте их в "
                                            "Quik. Снятие будет отправлено, если номер заявки придёт.")
                                 .arg(order.Id)
                                 .arg(Accounts(codes))
                                 .arg(timeOut / 1000);
        AlarmOperator(FLog, FSettings, FEvents, FEnvironment, text);
    }
}

QStringList TWithdrawals::Held() const
{
    QStringList held;
    for (const THeld& h : FHeld)
        held << QStringLiteral("# %1: %2").arg(h.Order.Id).arg(LogFragment(h.Code));
    return held;
}

qint64 TWithdrawals::TimeOutMs() const
{
    try {
        const int period = FSettings.InfoLogPeriod();
        if (period > 0)
            return period;
    } catch (const std::exception&) {
        // A time-out that does not read: the link check reports it; a minute serves here.
    }
    return 60000;
}
