#include "intake/ManualOrders.h"

#include "base/OperationLog.h"
#include "data/DatMod.h"
#include "intake/Dispatch.h"
#include "intake/OmegaOrderReader.h"

TManualOrders::TManualOrders(TDatMod& datMod, TDispatcher& dispatcher, TOperationLog& log)
    : FDatMod(datMod), FDispatcher(dispatcher), FLog(log)
{
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
