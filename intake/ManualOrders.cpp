#include "intake/ManualOrders.h"

#include "base/Error.h"
#include "base/OperationLog.h"
#include "data/BridgeHolder.h"
#include "data/DatMod.h"
#include "data/Settings.h"
#include "intake/Dispatch.h"
#include "intake/OmegaOrderReader.h"

TManualOrders::TManualOrders(const TSettings& settings, TBridgeHolder& holder, TDatMod& datMod,
                             TDispatcher& dispatcher, TOperationLog& log)
    : FSettings(settings), FHolder(holder), FDatMod(datMod), FDispatcher(dispatcher), FLog(log)
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

void TManualOrders::SendCurrentRow(TManualPage page, TOrderBuilderMethod builder)
{
    TTable* table = nullptr;
    if (page == TManualPage::ActiveOrders)
        table = &FDatMod.tActiveOrders();
    else if (page == TManualPage::FilledOrders)
        table = &FDatMod.tFilledOrders();
    else
        return;
    if (!table->Active() || table->RecNo() < 0) {
        // An empty or closed grid has no row whose order could be meant.
        FLog.AddToLog(QStringLiteral("Ордер не выбран: в таблице ") + table->TableName()
                      + QStringLiteral(" нет текущей строки."));
        FLog.SaveLog();
        return;
    }
    CheckSending();
    TOmegaOrder order;
    ReadOmegaOrder(order, *table, table == &FDatMod.tFilledOrders());
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
