#include "intake/ManualOrders.h"

#include "base/Environment.h"
#include "base/Error.h"
#include "base/OperationLog.h"
#include "data/BridgeHolder.h"
#include "data/DatMod.h"
#include "data/Settings.h"
#include "intake/Dispatch.h"
#include "intake/KillSwitch.h"
#include "intake/OmegaOrderReader.h"
#include "trade/OpenPosition.h"

#include <QScopeGuard>

TManualOrders::TManualOrders(const TSettings& settings, TBridgeHolder& holder, TDatMod& datMod,
                             TDispatcher& dispatcher, TOperationLog& log, const TEnvironment& environment)
    : FSettings(settings), FHolder(holder), FDatMod(datMod), FDispatcher(dispatcher), FLog(log),
      FEnvironment(environment)
{
}

void TManualOrders::CheckSending()
{
    try {
        const QStringList problems = FSettings.SendingProblems();
        if (!problems.isEmpty())
            throw TError(problems.join(QLatin1Char('\n'))
                         + QStringLiteral("\nОрдер не отправлен: исправьте настройки."));
        FHolder.HoldForSending(FSettings.edtTRI);
    } catch (const TError& error) {
        FLog.AddToLog(error.Text());
        FLog.SaveLogQuietly();
        throw; // shown in the box by the command's guard
    }
}

void TManualOrders::Refuse(const QString& message)
{
    FLog.AddToLog(message);
    FLog.SaveLog();
}

bool TManualOrders::Repeats(TOrderBuilderMethod builder, const TTable& table, qint64 id, const QDateTime& now) const
{
    if (!FLastSent || FLastSent->Builder != builder || FLastSent->Table != &table || FLastSent->Id != id)
        return false;
    // A clock set back since counts as no time gone: the same press is never sent twice.
    return FLastSent->At.msecsTo(now) < RepeatMsecs;
}

std::optional<TManualTicket> TManualOrders::TicketForCurrentRow(TManualPage page, TOrderBuilderMethod builder)
{
    TTable* table = nullptr;
    if (page == TManualPage::ActiveOrders)
        table = &FDatMod.tActiveOrders();
    else if (page == TManualPage::FilledOrders)
        table = &FDatMod.tFilledOrders();
    else
        return std::nullopt;
    if (FSending) {
        Refuse(QStringLiteral("Команда отклонена: предыдущая ручная отправка ордера ещё не завершена."));
        return std::nullopt;
    }
    if (!table->Active() || table->RecNo() < 0) {
        // An empty or closed grid has no row whose order could be meant.
        Refuse(QStringLiteral("Ордер не выбран: в таблице ") + table->TableName()
               + QStringLiteral(" нет текущей строки."));
        return std::nullopt;
    }
    // A ticket is not shown for what could not be sent anyway.
    CheckSending();
    TManualTicket ticket;
    ticket.Command = builder == &TOrderBuilder::KillOrder ? KillOrderCommand() : NewOrderCommand();
    ticket.Builder = builder;
    ticket.Table = table;
    ReadOmegaOrder(ticket.Order, *table, table == &FDatMod.tFilledOrders());
    RefuseWhileBlocked(ticket.Order, builder);
    ticket.Lines = FDispatcher.PreviewOrder(ticket.Order, builder, false);
    ticket.SizingMayDiffer = SizingMayDiffer(ticket.Order, builder);
    return ticket;
}

void TManualOrders::RefuseWhileBlocked(const TOmegaOrder& order, TOrderBuilderMethod builder)
{
    if (builder == &TOrderBuilder::NewOrder && FDispatcher.NewOrdersBlocked()) {
        // The operator pressed the command: the refusal is shown, not only logged.
        Refuse(TKillSwitch::RefusalText(order.Id));
        throw TError(TKillSwitch::RefusalText(order.Id));
    }
}

bool TManualOrders::SizingMayDiffer(const TOmegaOrder& order, TOrderBuilderMethod builder) const
{
    // Only the quantity of the wording itself stays as shown; an amount or a share of the
    // account is sized on the portfolio of the moment, and an exact exit (or a withdrawal)
    // on what is booked then.
    return FSettings.rgpPositionSize != 0 || builder == &TOrderBuilder::KillOrder
        || (FSettings.chExitQty && IsExitOrderType(order.OrderType));
}

void TManualOrders::SendTicket(const TManualTicket& ticket)
{
    if (FSending) {
        Refuse(QStringLiteral("Команда отклонена: предыдущая ручная отправка ордера ещё не завершена."));
        return;
    }
    CheckSending();
    RefuseWhileBlocked(ticket.Order, ticket.Builder);
    const QDateTime now = FEnvironment.Now();
    if (Repeats(ticket.Builder, *ticket.Table, ticket.Order.Id, now)) {
        Refuse(QStringLiteral("Повторная команда для ордера # ") + QString::number(ticket.Order.Id)
               + QStringLiteral(" отклонена: та же команда отдана менее секунды назад."));
        return;
    }
    FLastSent = TSent{ticket.Builder, ticket.Table, ticket.Order.Id, now};
    FSending = true;
    const auto sent = qScopeGuard([this] { FSending = false; });
    FLog.AddToLog(QStringLiteral("Ручная команда \"%1\": ордер # %2 (%3) отправляется, оператор подтвердил.")
                      .arg(ticket.Command)
                      .arg(ticket.Order.Id)
                      .arg(ticket.Table->TableName()));
    FDispatcher.ProcessOrder(ticket.Order, ticket.Builder, false);
}

void TManualOrders::TicketCancelled(const TManualTicket& ticket)
{
    FLog.AddToLog(QStringLiteral("Ручная команда \"%1\": ордер # %2 (%3) не отправлен, оператор отменил отправку.")
                      .arg(ticket.Command)
                      .arg(ticket.Order.Id)
                      .arg(ticket.Table->TableName()));
    FLog.SaveLog();
}

std::optional<TManualTicket> TManualOrders::actSendNewOrderManualExecute(TManualPage page)
{
    return TicketForCurrentRow(page, &TOrderBuilder::NewOrder);
}

std::optional<TManualTicket> TManualOrders::actSendKillOrderManualExecute(TManualPage page)
{
    return TicketForCurrentRow(page, &TOrderBuilder::KillOrder);
}
