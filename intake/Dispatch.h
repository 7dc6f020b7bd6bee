#pragma once

#include "trade/OmegaOrder.h"
#include "trade/Order.h"
#include "trade/OrderBuilder.h"

#include <QList>

class TDatMod;
class TOperationLog;
class TSettings;
class TTransWriter;
class TTransactionSender;
struct TEnvironment;

// The working modes of the setting rgpSingleMulti.
enum TSingleMultiMode : int {
    smSingle = 0, // "Торговля по ОДНОМУ СЧЕТУ": the account of the settings
    smMulti = 1,  // "Торговля по ГРУППЕ СЧЕТОВ клиентов": every active client
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
    // beep sounds; a failure of a builder or of the sender then reaches the caller
    // (the accounts after the failing one get nothing).
    void ProcessOrder(TOmegaOrder order, TOrderBuilderMethod builder, bool checkTraded);

private:
    // The accounts of the working mode as the settings and the clients table hold them now.
    QList<TClientAccount> DispatchAccounts();
    void DispatchToAccount(TOrder& order, const TOmegaOrder& omega, const TClientAccount& account,
                           TOrderBuilderMethod builder, bool checkTraded);
    // Saves the log and appends the lines made to the import file.
    void WriteDispatched();

    const TSettings& FSettings;
    TDatMod& FDatMod;
    TOrderBuilder& FBuilder;
    TTransactionSender& FSender;
    TTransWriter& FWriter;
    TOperationLog& FLog;
    const TEnvironment& FEnvironment;
};

// The log line of an order for a security not marked as traded.
QString NotTradedMessage(qint64 orderId, const TOrder& order);
