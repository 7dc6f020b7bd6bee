#include "intake/KillSwitch.h"

#include "base/CoreEvents.h"
#include "base/Environment.h"
#include "base/Error.h"
#include "base/LogText.h"
#include "base/OperationLog.h"
#include "data/Batch.h"
#include "data/DatMod.h"
#include "data/Settings.h"
#include "intake/Alarm.h"
#include "intake/OmegaOrderReader.h"
#include "intake/WatchLoop.h"
#include "trade/OrderBuilder.h"
#include "trade/TransactionSender.h"
#include "trade/TransWriter.h"

#include <QHash>
#include <algorithm>
#include <QPair>

namespace {

const QString kResumeCaption = QStringLiteral("«Возобновить торговлю»");

QString ResultOf(const std::exception& error)
{
    return ErrorText(error);
}

} // namespace

TKillSwitch::TKillSwitch(const TSettings& settings, TDatMod& datMod, TTransactionSender& sender,
                         TTransWriter& writer, TWatchLoop& watch, TOperationLog& log, TCoreEvents& events,
                         TEnvironment& environment)
    : FSettings(settings), FDatMod(datMod), FSender(sender), FWriter(writer), FWatch(watch), FLog(log),
      FEvents(events), FEnvironment(environment)
{
}

QString TKillSwitch::RefusalText(qint64 orderId)
{
    return QStringLiteral("Ордер # %1 не отправлен: аварийная остановка, новые ордера блокируются до команды %2.")
        .arg(orderId)
        .arg(kResumeCaption);
}

QString TKillSwitch::DroppedDescription()
{
    return QStringLiteral("Не отправлена в Quik: аварийная остановка");
}

QString KillSwitchReport(int withdrawals, int dropped, const QStringList& problems)
{
    QString text = QStringLiteral("Аварийная остановка: загрузка ордеров остановлена, новые ордера блокируются до "
                                  "команды %1. Отправлено снятий заявок: %2.")
                       .arg(kResumeCaption)
                       .arg(withdrawals);
    if (dropped > 0)
        text += QStringLiteral(" Не отправлено строк из очереди: %1.").arg(dropped);
    if (!problems.isEmpty())
        text += QStringLiteral(" Не удалось снять или отправить:\r\n") + problems.join(QStringLiteral("\r\n"));
    return text;
}

void TKillSwitch::actKillSwitchExecute()
{
    // The block first: whatever fails below, no new order goes out from here on.
    FEngaged = true;
    QStringList problems;
    if (FWatch.Watching()) {
        try {
            FWatch.actStopWatchExecute();
        } catch (const std::exception& error) {
            problems << ResultOf(error);
        }
    }
    const int dropped = DropQueuedNewOrders(problems);
    int withdrawals = 0;
    if (FDatMod.conQuikData().Connected() && FDatMod.conOmega().Connected()) {
        try {
            withdrawals = QueueWithdrawals(problems);
        } catch (const std::exception& error) {
            problems << QStringLiteral("отчет по транзакциям не прочитан: ") + ResultOf(error);
        }
    } else {
        problems << QStringLiteral("базы данных не подключены: действующие заявки не найдены");
    }
    try {
        // Withdrawals queued before, by the strategies, go with them.
        FWriter.WriteTransFile();
    } catch (const std::exception& error) {
        problems << QStringLiteral("снятия остаются в очереди, файл транзакций не записан: ") + ResultOf(error);
    }
    FEvents.StatusChanged();
    AlarmOperator(FLog, FSettings, FEvents, FEnvironment, KillSwitchReport(withdrawals, dropped, problems));
}

void TKillSwitch::actResumeTradingExecute()
{
    if (!FEngaged)
        return;
    FEngaged = false;
    FLog.AddToLog(QStringLiteral("Торговля возобновлена: новые ордера снова отправляются в Quik."));
    FLog.SaveLog();
}

int TKillSwitch::DropQueuedNewOrders(QStringList& problems)
{
    const QList<TQueuedTransaction> dropped = FWriter.DropQueuedNewOrders();
    for (const TQueuedTransaction& line : dropped) {
        FLog.AddToLog(QStringLiteral("Транзакция номер %1 не отправлена в Quik: аварийная остановка.").arg(line.TransId));
        try {
            FDatMod.BookTransactionResult(line.TransId, DroppedStatus, QStringLiteral("Аварийная остановка"),
                                          DroppedDescription(), std::nullopt);
        } catch (const std::exception& error) {
            problems << QStringLiteral("транзакция номер %1 не отмечена в отчете: ").arg(line.TransId) + ResultOf(error);
        }
    }
    return int(dropped.size());
}

std::optional<TClientAccount> TKillSwitch::AccountOf(const QString& code, const QList<TClientAccount>& clients) const
{
    for (const TClientAccount& client : clients)
        if (client.Code.compare(code, Qt::CaseInsensitive) == 0)
            return client;
    if (FSettings.edtCode.compare(code, Qt::CaseInsensitive) == 0)
        return TClientAccount{FSettings.edtCode, FSettings.edtAccountMicex, FSettings.edtAccountFORTS};
    return std::nullopt;
}

std::optional<TOrder> TKillSwitch::BuildWithdrawal(const TRestingOrder& resting, const QList<TClientAccount>& clients,
                                                   TOmegaOrder& omega, QString& why)
{
    const std::optional<TClientAccount> account = AccountOf(resting.Code, clients);
    if (!account) {
        why = QStringLiteral("счет клиента не найден ни в таблице клиентов, ни в настройках");
        return std::nullopt;
    }
    TOrder order;
    ClearOrder(order);
    CopyOrderIdentity(order, omega, *account);
    ConvertOrder(order, omega, FEnvironment.Regional);
    const std::optional<TSecurityRow> security = FDatMod.FindSecurity(omega.Symbol);
    if (!security) {
        why = QStringLiteral("инструмент %1 не найден в таблице инструментов").arg(LogFragment(omega.Symbol));
        return std::nullopt;
    }
    order.SecCode = security->SecCode;
    order.ClassCode = security->ClassCode;
    order.Digits = security->Digits.value_or(0);
    order.Traded = security->Traded;
    // The terminal withdraws by the order's number; the quantity only has to be a
    // quantity.
    order.Quantity = std::max<qint32>(order.Quantity, 1);
    order.OrderKey = QString::number(resting.OrderNumber);
    FinishKillOrder(order, *account);
    return order;
}

int TKillSwitch::QueueWithdrawals(QStringList& problems)
{
    const QList<TRestingOrder> resting = RestingOrders(ReadTransactionReport(FDatMod));
    if (resting.isEmpty())
        return 0;
    const QList<TClientAccount> clients = ReadClientAccounts(FDatMod);
    // The strategy orders the resting orders came from, each read once.
    QHash<QPair<qint64, bool>, std::optional<TOmegaOrder>> strategyOrders;
    const qint32 firstNumber = FWriter.TransCounter();
    int queued = 0;
    TBatch bookings(FDatMod.conQuikData());
    for (const TRestingOrder& order : resting) {
        const QString named = QStringLiteral("ордер # %1, счет %2, заявка # %3: ")
                                  .arg(order.IdOrder)
                                  .arg(LogFragment(order.Code))
                                  .arg(order.OrderNumber);
        try {
            const QPair<qint64, bool> key{order.IdOrder, order.Filled};
            if (!strategyOrders.contains(key)) {
                std::optional<TOmegaOrder> found;
                ReadReportedAlertOrder(FDatMod, order.IdOrder, order.Filled, [&](TDataSet& row, bool fromFilled) {
                    TOmegaOrder omega;
                    ReadOmegaOrder(omega, row, fromFilled);
                    // The withdrawal is booked under the order it withdraws.
                    omega.Id = order.IdOrder;
                    omega.Filled = order.Filled;
                    found = omega;
                });
                strategyOrders.insert(key, found);
            }
            std::optional<TOmegaOrder> omega = strategyOrders.value(key);
            if (!omega) {
                problems << named + QStringLiteral("строка ордера не найдена в базе данных Omega");
                continue;
            }
            QString why;
            const std::optional<TOrder> withdrawal = BuildWithdrawal(order, clients, *omega, why);
            if (!withdrawal) {
                problems << named + why;
                continue;
            }
            try {
                FSender.SendTransaction(*withdrawal, *omega);
            } catch (const TBookingFailure& error) {
                // The withdrawal goes out all the same: an order left resting costs more
                // than a result that cannot be booked.
                problems << named + QStringLiteral("снятие отправлено, но не записано в отчет: ") + error.Text();
            }
            ++queued;
        } catch (const std::exception& error) {
            problems << named + ResultOf(error);
        }
    }
    try {
        if (FWriter.TransCounter() != firstNumber)
            FDatMod.KeepHighestTransId(FWriter.TransCounter() - 1);
        bookings.Commit();
    } catch (const std::exception& error) {
        problems << QStringLiteral("снятия не записаны в отчет: ") + ResultOf(error);
    }
    return queued;
}
