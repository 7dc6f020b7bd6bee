#include "intake/Dispatch.h"

#include "base/LogText.h"
#include "base/Environment.h"
#include "base/Error.h"
#include "base/OperationLog.h"
#include "data/Batch.h"
#include "data/DatMod.h"
#include "data/Settings.h"
#include "intake/KillSwitch.h"
#include "trade/TransactionLine.h"
#include "trade/TransactionSender.h"
#include "trade/OpenPosition.h"
#include "trade/TransWriter.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <optional>

QString NotTradedMessage(qint64 orderId, const TOrder& order)
{
    return QStringLiteral("Ордер # ") + QString::number(orderId) + QStringLiteral(" не прошел фильтр по счету ")
        + LogFragment(order.ClientCode) + QStringLiteral(":  инструмент ") + LogFragment(order.Ticker)
        + QStringLiteral(" не торгуется.");
}

TDispatcher::TDispatcher(const TSettings& settings, TDatMod& datMod, TOrderBuilder& builder,
                         TTransactionSender& sender, TTransWriter& writer, TOperationLog& log,
                         const TEnvironment& environment)
    : FSettings(settings), FDatMod(datMod), FBuilder(builder), FSender(sender), FWriter(writer), FLog(log),
      FEnvironment(environment), FRiskMemory(settings, log)
{
}

QList<TClientAccount> TDispatcher::DispatchAccounts(const std::optional<QStringList>& onlyCodes)
{
    QList<TClientAccount> accounts;
    switch (FSettings.rgpSingleMulti) {
    case smSingle:
        accounts = {TClientAccount{FSettings.edtCode, FSettings.edtAccountMicex, FSettings.edtAccountFORTS}};
        break;
    case smMulti:
        accounts = FDatMod.ActiveClients();
        break;
    default:
        break;
    }
    if (onlyCodes) {
        accounts.removeIf([&](const TClientAccount& account) {
            return !onlyCodes->contains(account.Code, Qt::CaseInsensitive);
        });
        // An account asked for that the mode no longer has (a client made inactive, the
        // single account changed) is named: its order goes nowhere.
        for (const QString& code : *onlyCodes) {
            const bool found = std::any_of(accounts.cbegin(), accounts.cend(), [&](const TClientAccount& account) {
                return account.Code.compare(code, Qt::CaseInsensitive) == 0;
            });
            if (!found)
                FLog.AddToLog(QStringLiteral("Счет %1 не найден среди счетов текущего режима: транзакция по нему не "
                                             "отправлена.")
                                  .arg(LogFragment(code)));
        }
    }
    return accounts;
}

TDispatcher::TDispatchLimits TDispatcher::ReadLimits(const TOmegaOrder& order, TOrderBuilderMethod builder)
{
    TDispatchLimits limits;
    limits.Entry = builder == &TOrderBuilder::NewOrder && !IsExitOrderType(order.OrderType);
    if (!limits.Entry)
        return limits;
    limits.Security = FDatMod.FindSecurityLimits(order.Symbol);
    if (limits.Security && LimitSet(limits.Security->MaxPosition))
        limits.HeldLots = FDatMod.HeldLots(order.Symbol);
    limits.Deferred = FSettings.MaxLinesPerOrder > 0;
    if (FSettings.DuplicateMs > 0)
        limits.NowMs = FEnvironment.Now().toMSecsSinceEpoch();
    return limits;
}

std::optional<TRiskRefusal> TDispatcher::CheckLimits(const TOrder& line, const TClientAccount& account,
                                                     const TDispatchLimits& limits)
{
    const TSecurityLimitsRow security = limits.Security.value_or(TSecurityLimitsRow{});
    TEntryLine entry;
    entry.Lots = line.Quantity;
    entry.Price = line.Price;
    if (line.Action == QLatin1String("NEW_STOP_ORDER"))
        entry.StopPrice = line.StopPrice;
    entry.Market = line.IsMarket;
    if (!limits.HeldLots.isEmpty())
        entry.HeldLots = double(limits.HeldLots.value(line.ClientCode.toCaseFolded()));
    entry.MaxLoss = account.MaxLoss;
    if (LimitSet(account.MaxLoss)) {
        const std::optional<TPortfolioRow> portfolio = FDatMod.FindPortfolio(line.ClientCode);
        if (portfolio)
            entry.ProfitLoss = portfolio->ProfitLoss;
    }
    entry.Last = security.Last;
    if (LimitSet(security.PriceBand) && !(security.Last && *security.Last > 0))
        FRiskMemory.NoteNoLastPrice(line.Ticker);
    if (std::optional<TRiskRefusal> refusal = CheckEntryLine(entry, security))
        return refusal;
    return FRiskMemory.CheckDuplicate(line, limits.NowMs);
}

void TDispatcher::Refuse(const TOmegaOrder& omega, const QString& clientCode, const TRiskRefusal& refusal)
{
    const QString text = clientCode.isEmpty() ? WholeOrderRefusalMessage(omega.Id, refusal)
                                              : RefusalMessage(omega.Id, clientCode, refusal);
    FLog.AddToLog(text);
    FSender.AnnounceRefusal(text);
    try {
        FDatMod.RecordRefusal(
            TRefusalRow{FEnvironment.Now(), omega.Id, omega.Filled, clientCode, refusal.Rule, refusal.Value, refusal.Limit});
    } catch (const std::exception& error) {
        throw TBookingFailure(ErrorText(error));
    }
}

void TDispatcher::SendLine(const TOrder& line, const TOmegaOrder& omega, const TDispatchLimits& limits)
{
    FSender.SendTransaction(line, omega);
    if (limits.Entry && FSettings.DuplicateMs > 0)
        FRiskMemory.NoteSent(line, limits.NowMs);
}

void TDispatcher::DispatchToAccount(TOrder& order, const TOmegaOrder& omega, const TClientAccount& account,
                                    TOrderBuilderMethod builder, bool checkTraded, TDispatchLimits& limits)
{
    if (builder == &TOrderBuilder::NewOrder && account.Multiplier && *account.Multiplier == 0) {
        FLog.AddToLog(ZeroMultiplierMessage(omega.Id, account.Code));
        return;
    }
    if (!(FBuilder.*builder)(order, omega, account))
        return; // nothing to send; the sizing has logged what it missed
    if (checkTraded && !order.Traded) {
        FLog.AddToLog(NotTradedMessage(omega.Id, order));
        return;
    }
    if (limits.Entry) {
        if (const std::optional<TRiskRefusal> refusal = CheckLimits(order, account, limits)) {
            Refuse(omega, order.ClientCode, *refusal);
            return;
        }
    }
    if (limits.Deferred) {
        limits.Lines << order;
        return;
    }
    SendLine(order, omega, limits);
}

void TDispatcher::WriteDispatched()
{
    FLog.SaveLog();
    FWriter.WriteTransFile();
}

void TDispatcher::SendToAccounts(const TOmegaOrder& order, const QList<TClientAccount>& accounts,
                                 TOrderBuilderMethod builder, bool checkTraded, TDispatchFailures& failures)
{
    // Every account of the order asks for the same security: it is read once, and so are
    // its limits.
    const TOrderBuilder::TSecurityReuse securities(FBuilder);
    TDispatchLimits limits;
    try {
        limits = ReadLimits(order, builder);
    } catch (const std::exception& error) {
        failures.Bridge = ErrorText(error);
        return;
    }
    // Each account asks for its own portfolio row: for many accounts the table is read
    // once for them all.
    std::optional<TDatMod::TPortfolioReuse> portfolio;
    if (accounts.size() > 1)
        portfolio.emplace(FDatMod);
    const auto forAccount = [&](const QString& code, const std::function<void()>& work) {
        try {
            work();
        } catch (const TBookingFailure& error) {
            failures.Bridge = error.Text();
        } catch (const std::exception& error) {
            // This account's own trouble: the other accounts still get their lines.
            failures.Accounts << AccountFailureText(code, ErrorText(error));
            if (!failures.FirstAccountError)
                failures.FirstAccountError = std::current_exception();
        }
    };
    TOrder terminalOrder; // one record for every account; the builder empties it
    for (const TClientAccount& account : accounts) {
        if (!failures.Bridge.isEmpty())
            break; // nothing more can be booked
        forAccount(account.Code,
                   [&] { DispatchToAccount(terminalOrder, order, account, builder, checkTraded, limits); });
    }
    if (!limits.Deferred || !failures.Bridge.isEmpty())
        return;
    // The lines that would really go out are counted: too many, and the order goes to
    // nobody (a runaway fan-out); otherwise each goes as it would have at once.
    if (limits.Lines.size() > FSettings.MaxLinesPerOrder) {
        forAccount(QString(), [&] {
            Refuse(order, QString(),
                   TRiskRefusal{RiskRule::MaxLinesPerOrder, double(limits.Lines.size()), double(FSettings.MaxLinesPerOrder)});
        });
        return;
    }
    for (const TOrder& line : std::as_const(limits.Lines)) {
        if (!failures.Bridge.isEmpty())
            break;
        forAccount(line.ClientCode, [&] { SendLine(line, order, limits); });
    }
}

void TDispatcher::KeepBookings(TBatch& bookings, qint32 firstNumber, TDispatchFailures& failures)
{
    try {
        // The highest number handed out is kept with the bookings, so that it is not
        // handed out again after a restart.
        if (FWriter.TransCounter() != firstNumber)
            FDatMod.KeepHighestTransId(FWriter.TransCounter() - 1);
        bookings.Commit();
    } catch (const std::exception& error) {
        failures.Bridge = ErrorText(error);
    }
}

void TDispatcher::RecordIntent(const TOmegaOrder& order, bool kill, const QList<TClientAccount>& accounts,
                               TDispatchFailures& failures)
{
    QStringList codes;
    for (const TClientAccount& account : accounts)
        codes << account.Code;
    try {
        FDatMod.RecordPendingDispatch(order.Id, order.Filled, kill, codes);
    } catch (const std::exception& error) {
        failures.Bridge = ErrorText(error);
    }
}

void TDispatcher::ClearIntent(const TOmegaOrder& order, bool kill, const TDispatchFailures& failures)
{
    try {
        FDatMod.ClearPendingDispatch(order.Id, order.Filled, kill);
    } catch (const std::exception& error) {
        // The lines are out; a record left behind is reported at the next start, which
        // says the lines may be missing: the operator checks the file.
        if (failures.Bridge.isEmpty())
            FLog.AddToLog(ErrorText(error));
    }
}

bool TDispatcher::NewOrdersBlocked() const
{
    return FKillSwitch && FKillSwitch->Engaged();
}

void TDispatcher::ProcessOrder(TOmegaOrder order, TOrderBuilderMethod builder, bool checkTraded,
                               const std::optional<QStringList>& onlyCodes)
{
    if (builder != &TOrderBuilder::KillOrder && NewOrdersBlocked()) {
        FLog.AddToLog(TKillSwitch::RefusalText(order.Id));
        FLog.SaveLog();
        return;
    }
    TDispatchFailures failures;
    QList<TClientAccount> accounts;
    try {
        accounts = DispatchAccounts(onlyCodes);
    } catch (const std::exception& error) {
        failures.Bridge = ErrorText(error);
    }
    const bool kill = builder == &TOrderBuilder::KillOrder;
    const qint64 queuedBefore = FWriter.QueueMark();
    try {
        if (failures.Bridge.isEmpty())
            FDatMod.PendingDispatchKept();
    } catch (const std::exception& error) {
        failures.Bridge = ErrorText(error);
    }
    {
        // No write lets the order's lines out before their bookings are kept.
        const TTransWriter::THold hold(FWriter);
        TBatch bookings(FDatMod.conQuikData());
        // The record of the dispatch under way goes to disk with the bookings, in one
        // commit: no line is written before that commit, and a crash before it leaves
        // neither the record nor the bookings (the row is then found unhandled at the
        // next start). One sync of the disk stands between a signal and its lines.
        if (failures.Bridge.isEmpty())
            RecordIntent(order, kill, accounts, failures);
        const qint32 firstNumber = FWriter.TransCounter();
        if (failures.Bridge.isEmpty())
            SendToAccounts(order, accounts, builder, checkTraded, failures);
        if (failures.Bridge.isEmpty())
            KeepBookings(bookings, firstNumber, failures);
        // After a failure of the bridge database the batch rolls back here.
    }
    if (!failures.Bridge.isEmpty()) {
        // No line goes out that is not booked: its result could not be booked nor its
        // exchange order withdrawn. The order goes to no account at all; the operator
        // sends it by hand once the bridge database works again.
        FWriter.TakeBackQueued(queuedBefore);
    }
    std::exception_ptr writeFailure;
    try {
        // Lines made go to the terminal now, not at some later write; lines an earlier
        // failed write left queued go with them.
        WriteDispatched();
        // Once the order's lines are in the file (or none was made; a paced queue may
        // hold some a while longer, or the kill switch drop them) its record has done
        // its work. After a failure of the bridge database the record went back with the
        // bookings, and the next start names the row as not handled.
        FWriter.WhenWritten(queuedBefore, [this, order, kill, failures] { ClearIntent(order, kill, failures); });
    } catch (const std::exception& error) {
        if (!failures.Bridge.isEmpty() || !failures.Accounts.isEmpty())
            FLog.AddToLog(ErrorText(error));
        else
            writeFailure = std::current_exception();
    }
    FEnvironment.Beep();
    if (!failures.Bridge.isEmpty()) {
        QStringList codes;
        for (const TClientAccount& account : std::as_const(accounts))
            codes << account.Code;
        throw TBridgeFailure(BridgeFailureMessage(order.Id, codes, failures.Bridge));
    }
    if (failures.Accounts.size() == 1 && accounts.size() == 1)
        std::rethrow_exception(failures.FirstAccountError); // the one account is the settings'
    if (!failures.Accounts.isEmpty())
        throw TError(AccountsFailureMessage(order.Id, failures.Accounts));
    if (writeFailure)
        std::rethrow_exception(writeFailure);
}

QList<TPreviewLine> TDispatcher::PreviewOrder(const TOmegaOrder& order, TOrderBuilderMethod builder,
                                              bool checkTraded)
{
    const QList<TClientAccount> accounts = DispatchAccounts(std::nullopt);
    const TOrderBuilder::TSecurityReuse securities(FBuilder);
    std::optional<TDatMod::TPortfolioReuse> portfolio;
    if (accounts.size() > 1)
        portfolio.emplace(FDatMod);
    QList<TPreviewLine> lines;
    qint32 number = FWriter.TransCounter();
    TOrder terminalOrder;
    for (const TClientAccount& account : accounts) {
        TPreviewLine line;
        line.ClientCode = account.Code;
        const int logged = FLog.LineCount();
        try {
            if (!(FBuilder.*builder)(terminalOrder, order, account)) {
                QStringList said;
                for (int i = logged; i < FLog.LineCount(); ++i)
                    said << FLog.Line(i);
                line.Note = said.isEmpty() ? QStringLiteral("строки не будет: нечего отправлять") : said.join(QLatin1Char('\n'));
            } else if (checkTraded && !terminalOrder.Traded) {
                line.Note = NotTradedMessage(order.Id, terminalOrder);
            } else {
                line.Line = TransactionLine(number++, terminalOrder, FEnvironment.Regional);
            }
        } catch (const std::exception& error) {
            line.Note = ErrorText(error);
        }
        lines << line;
    }
    return lines;
}

QString TPreviewLine::Value(QStringView key) const
{
    for (const QStringView pair : QStringView(Line).split(QLatin1Char(';'))) {
        const qsizetype equals = pair.indexOf(QLatin1Char('='));
        if (equals >= 0 && pair.left(equals).trimmed() == key)
            return pair.mid(equals + 1).toString();
    }
    return {};
}

QString AccountFailureText(const QString& clientCode, const QString& errorText)
{
    return QStringLiteral("счет %1: ").arg(LogFragment(clientCode)) + errorText;
}

QString AccountsFailureMessage(qint64 orderId, const QStringList& accountFailures)
{
    return QStringLiteral("Ордер # %1 не отправлен на %2 из счетов группы, остальные счета его получили:")
               .arg(orderId)
               .arg(accountFailures.size())
        + QStringLiteral("\r\n") + accountFailures.join(QStringLiteral("\r\n"));
}

QString BridgeFailureMessage(qint64 orderId, const QStringList& clientCodes, const QString& errorText)
{
    const QString accounts = clientCodes.isEmpty() ? QStringLiteral("(счета не прочитаны)")
                                                   : clientCodes.join(QStringLiteral(", "));
    return QStringLiteral("Ошибка базы данных Quik: ордер # %1 не отправлен ни на один счет (%2), загрузка "
                          "ордеров остановлена. Проверьте базу данных и отправьте ордер вручную.")
               .arg(orderId)
               .arg(accounts)
        + QStringLiteral("\r\n") + errorText;
}
