#include "intake/Dispatch.h"

#include "base/Environment.h"
#include "base/Error.h"
#include "base/OperationLog.h"
#include "data/Batch.h"
#include "data/DatMod.h"
#include "data/Settings.h"
#include "trade/TransactionSender.h"
#include "trade/TransWriter.h"

#include <exception>
#include <optional>

QString NotTradedMessage(qint32 orderId, const TOrder& order)
{
    return QStringLiteral("Ордер # ") + QString::number(orderId) + QStringLiteral(" не прошел фильтр по счету ")
        + order.ClientCode + QStringLiteral(":  инструмент ") + order.Ticker + QStringLiteral(" не торгуется.");
}

TDispatcher::TDispatcher(const TSettings& settings, TDatMod& datMod, TOrderBuilder& builder,
                         TTransactionSender& sender, TTransWriter& writer, TOperationLog& log,
                         const TEnvironment& environment)
    : FSettings(settings), FDatMod(datMod), FBuilder(builder), FSender(sender), FWriter(writer), FLog(log),
      FEnvironment(environment)
{
}

QList<TClientAccount> TDispatcher::DispatchAccounts()
{
    switch (FSettings.rgpSingleMulti) {
    case smSingle:
        return {TClientAccount{FSettings.edtCode, FSettings.edtAccountMicex, FSettings.edtAccountFORTS}};
    case smMulti:
        return FDatMod.ActiveClients();
    default:
        return {};
    }
}

void TDispatcher::DispatchToAccount(TOrder& order, const TOmegaOrder& omega, const TClientAccount& account,
                                    TOrderBuilderMethod builder, bool checkTraded)
{
    if (!(FBuilder.*builder)(order, omega, account))
        return; // nothing to send; the sizing has logged what it missed
    if (checkTraded && !order.Traded) {
        FLog.AddToLog(NotTradedMessage(omega.Id, order));
        return;
    }
    FSender.SendTransaction(order, omega);
}

void TDispatcher::WriteDispatched()
{
    FLog.SaveLog();
    FWriter.WriteTransFile();
}

void TDispatcher::ProcessOrder(TOmegaOrder order, TOrderBuilderMethod builder, bool checkTraded)
{
    std::exception_ptr failure;
    TBatch bookings(FDatMod.conQuikData());
    const qint32 firstNumber = FWriter.TransCounter();
    {
        // Every account of the order asks for the same security: it is read once.
        const TOrderBuilder::TSecurityReuse securities(FBuilder);
        std::optional<TDatMod::TPortfolioReuse> portfolio;
        try {
            const QList<TClientAccount> accounts = DispatchAccounts();
            // Each account asks for its own portfolio row: for many accounts the table
            // is read once for them all.
            if (accounts.size() > 1)
                portfolio.emplace(FDatMod);
            TOrder terminalOrder; // one record for every account; the builder empties it
            for (const TClientAccount& account : accounts)
                DispatchToAccount(terminalOrder, order, account, builder, checkTraded);
        } catch (...) {
            failure = std::current_exception();
        }
    }
    // The highest number handed out goes with the bookings, also after a failure
    // part-way: a line whose report row could not be booked still goes to the terminal
    // below, and its number must not be handed out again after a restart.
    if (FWriter.TransCounter() != firstNumber) {
        const qint32 highest = FWriter.TransCounter() - 1;
        try {
            FDatMod.KeepHighestTransId(highest);
        } catch (const std::exception& error) {
            const TError kept(QStringLiteral("Номер транзакции %1 не сохранен в таблице tLastTransId:")
                                  .arg(highest)
                              + QStringLiteral("\r\n") + ErrorText(error));
            if (failure)
                FLog.AddToLog(kept.Text());
            else
                failure = std::make_exception_ptr(kept);
        }
    }
    // The bookings of the accounts reached are kept, also after a failure: their lines
    // have their numbers and go to the terminal below.
    try {
        bookings.Commit();
    } catch (const std::exception& error) {
        if (failure)
            FLog.AddToLog(ErrorText(error));
        else
            failure = std::current_exception();
    }
    // Lines made for the accounts before a failure go to the terminal now, not at some
    // later write. When that step fails too, its failure is logged and the dispatch's
    // own failure is the one reported.
    try {
        WriteDispatched();
    } catch (const std::exception& error) {
        if (failure)
            FLog.AddToLog(ErrorText(error));
        else
            failure = std::current_exception();
    }
    FEnvironment.Beep();
    if (failure)
        std::rethrow_exception(failure);
}
