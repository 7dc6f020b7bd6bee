#pragma once

#include "trade/OrderBuilder.h"

class TBridgeHolder;
class TDatMod;
class TDispatcher;
class TOperationLog;
class TSettings;

// Which page of the main window's page control is shown.
enum class TManualPage {
    ActiveOrders, // tshActiveOrders: the ActiveOrders grid
    FilledOrders, // tshFilledOrders: the FilledOrders grid
    Other,
};

// The operator's commands that send the order of the selected grid row by hand: no
// filters, and sent whether or not its security is marked as traded. Refused (TError,
// also logged) like start watching while a setting would send orders astray or another
// running program holds the import file or the bridge database.
class TManualOrders {
public:
    TManualOrders(const TSettings& settings, TBridgeHolder& holder, TDatMod& datMod, TDispatcher& dispatcher,
                  TOperationLog& log);

    // "Отправить ордер в Quik": a new order for the current row of the page's table.
    void actSendNewOrderManualExecute(TManualPage page);
    // "Отменить ордер": a withdrawal of the order of the current row, under the row's id.
    void actSendKillOrderManualExecute(TManualPage page);

private:
    void SendCurrentRow(TManualPage page, TOrderBuilderMethod builder);
    void CheckSending();

    const TSettings& FSettings;
    TBridgeHolder& FHolder;
    TDatMod& FDatMod;
    TDispatcher& FDispatcher;
    TOperationLog& FLog;
};
