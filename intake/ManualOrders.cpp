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

void TManualOrders::SendCurrentRow(TManualPage page, TOrderBuilderMethod builder)
{
    TTable* table = nullptr;
    if (page == TManualPage::ActiveOrders)
        table = &FDatMod.tActiveOrders();
    else if (page == TManualPage::FilledOrders)
        table = &FDatMod.tFilledOrders();
    else
        return;
    if (FSending) {
        Refuse(QStringLiteral("Команда отклонена: предыдущая ручная отправка ордера ещё не завершена."));
        return;
    }
    if (!table->Active() || table->RecNo() < 0) {
        // An empty or closed grid has no row whose order could be meant.
        Refuse(QStringLiteral("Ордер не выбран: в таблице ") + table->TableName()
               + QStringLiteral(" нет текущей строки."));
        return;
    }
    CheckSending();
    TOmegaOrder order;
    ReadOmegaOrder(order, *table, table == &FDatMod.tFilledOrders());
    if (builder == &TOrderBuilder::NewOrder && FDispatcher.NewOrdersBlocked()) {
        // The operator pressed the command: the refusal is shown, not only logged.
        Refuse(TKillSwitch::RefusalText(order.Id));
        throw TError(TKillSwitch::RefusalText(order.Id));
    }
    const QDateTime now = FEnvironment.Now();
    if (Repeats(builder, *table, order.Id, now)) {
        Refuse(QStringLiteral("Повторная команда для ордера # ") + QString::number(order.Id)
               + QStringLiteral(" отклонена: та же команда отдана менее секунды назад."));
        return;
    }
    FLastSent = TSent{builder, table, order.Id, now};
    FSending = true;
    const auto sent = qScopeGuard([this] { FSending = false; });
    FDispatcher.ProcessOrder(order, builder, false);
}

void TManualOrders::actSendNewOrderManualExecute(TManualPage page)
{
    SendCurrentRow(page, &TOrderBuilder::NewOrder);
}

void TManualOrders::actSendKillOrderManualExecute(TManualPage page)
{
    SendCurrentRow(page, &TOrderBuilder::KillOrder);
}
