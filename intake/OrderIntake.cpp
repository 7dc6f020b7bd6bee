#include "intake/OrderIntake.h"

#include "base/Environment.h"
#include "base/Error.h"
#include "base/OperationLog.h"
#include "data/DatMod.h"
#include "intake/Dispatch.h"
#include "intake/OmegaOrderReader.h"
#include "intake/OrderFilters.h"
#include "intake/Withdrawals.h"
#include "trade/OrderBuilder.h"
#include "trade/ResultLine.h"

#include <QRegularExpression>
#include <algorithm>

const QString TOrderIntake::FilledFailureText = QStringLiteral(" не прошел фильтры. / ");
const QString TOrderIntake::FailureText = QStringLiteral(" не прошел фильтры. /");

namespace {

const QString CrLf = QStringLiteral("\r\n");

QString Decimal(qint64 number)
{
    return QString::number(number);
}

// Clears the busy mark when the call that set it ends, however it ends.
class TBusyMark {
public:
    explicit TBusyMark(bool& mark) : FMark(mark) { FMark = true; }
    ~TBusyMark() { FMark = false; }
    TBusyMark(const TBusyMark&) = delete;
    TBusyMark& operator=(const TBusyMark&) = delete;

private:
    bool& FMark;
};

} // namespace

qint64 CanceledOrderId(const QString& orderNumber)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    const QString text = orderNumber.trimmed();
    if (!digits.match(text).hasMatch())
        return 0;
    bool ok = false;
    const qint64 id = text.toLongLong(&ok, 10);
    return ok ? id : 0;
}

TOrderIntake::TOrderIntake(TDatMod& datMod, TOrderFilters& filters, TDispatcher& dispatcher,
                           TWithdrawals& withdrawals, TOperationLog& log, const TEnvironment& environment)
    : FDatMod(datMod), FFilters(filters), FDispatcher(dispatcher), FWithdrawals(withdrawals), FLog(log),
      FEnvironment(environment)
{
}

QList<TOrderIntake::TUnhandledRow> TOrderIntake::TakeLastIds(const QList<TAlertTable>& listed)
{
    QList<TUnhandledRow> unhandled;
    const std::pair<TAlertTable, TTable*> tables[] = {{TAlertTable::Active, &FDatMod.tActiveOrders()},
                                                      {TAlertTable::Filled, &FDatMod.tFilledOrders()},
                                                      {TAlertTable::Canceled, &FDatMod.tCanceledOrders()}};
    for (const auto& [alertTable, table] : tables) {
        const qint64 lastId = FDatMod.GetLastId(*table);
        SetLastId(alertTable, lastId);
        HighestReadOf(alertTable) = lastId;
        if (lastId < 0)
            continue; // a closed table: nothing is known of its rows
        std::optional<qint64> kept;
        try {
            kept = FDatMod.KeptLastId(table->TableName());
        } catch (const std::exception& error) {
            FLog.AddToLog(QStringLiteral("Не удалось прочитать последний обработанный id таблицы ")
                          + table->TableName() + QStringLiteral(": ") + CrLf + ErrorText(error));
        }
        // A kept id above the last one: the newest rows were moved out meanwhile.
        if (kept && *kept < lastId && listed.contains(alertTable)) {
            unhandled << UnhandledRows(alertTable, table->TableName(), *kept, lastId);
        }
        KeepHandled(*table, lastId);
    }
    return unhandled;
}

QList<TOrderIntake::TUnhandledRow> TOrderIntake::UnhandledRows(TAlertTable alertTable, const QString& tableName,
                                                                qint64 afterId, qint64 upToId)
{
    QList<TUnhandledRow> rows;
    qsizetype more = 0;
    try {
        FDatMod.ReadNewOrders(tableName, afterId, upToId, [&](TDataSet& row) {
            if (rows.size() >= UnhandledRowsNamed) {
                ++more;
                return;
            }
            const auto text = [&](const QString& column) {
                return row.HasField(column) ? LogFragment(row.Value(column).toString()) : QString();
            };
            const QDateTime placed = row.HasField(QStringLiteral("Time Placed"))
                ? row.Value(QStringLiteral("Time Placed")).toDateTime()
                : QDateTime();
            TUnhandledRow unhandled{alertTable, row.Value(QStringLiteral("ID")).toLongLong(), QString()};
            unhandled.Text = QStringLiteral("Ордер # %1 из таблицы %2, время %3: %4 %5")
                                 .arg(text(QStringLiteral("ID")), tableName,
                                      placed.isValid() ? placed.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"))
                                                       : QStringLiteral("не указано"),
                                      text(QStringLiteral("Symbol")), text(QStringLiteral("Order")));
            rows << unhandled;
        });
    } catch (const std::exception& error) {
        rows << TUnhandledRow{alertTable, 0,
                              QStringLiteral("Строки таблицы %1 с id от %2 до %3 не прочитаны: ")
                                      .arg(tableName)
                                      .arg(afterId + 1)
                                      .arg(upToId)
                                  + ErrorText(error)};
    }
    if (more > 0)
        rows << TUnhandledRow{alertTable, 0,
                              QStringLiteral("И ещё %1 ордеров из таблицы %2 (id до %3).")
                                  .arg(more)
                                  .arg(tableName)
                                  .arg(upToId)};
    return rows;
}

void TOrderIntake::KeepHandled(const TTable& table, qint64 id)
{
    try {
        FDatMod.KeepLastId(table.TableName(), id);
    } catch (const std::exception& error) {
        // The rows are handled; at worst the next start names them once more.
        FLog.AddToLog(QStringLiteral("Не удалось сохранить последний обработанный id таблицы ") + table.TableName()
                      + QStringLiteral(": ") + CrLf + ErrorText(error));
    }
}

qint64 TOrderIntake::LastId(TAlertTable table) const
{
    return FLastIds[static_cast<size_t>(table)];
}

qint64& TOrderIntake::LastIdOf(TAlertTable table)
{
    return FLastIds[static_cast<size_t>(table)];
}

void TOrderIntake::SetLastId(TAlertTable table, qint64 id)
{
    LastIdOf(table) = id;
}

qint64& TOrderIntake::HighestReadOf(TAlertTable table)
{
    return FHighestRead[static_cast<size_t>(table)];
}

void TOrderIntake::LoadFilledOrders(bool AllRows)
{
    const TAlertRead read{FDatMod.tFilledOrders(), LastIdOf(TAlertTable::Filled), HighestReadOf(TAlertTable::Filled),
                          true, FilledFailureText};
    const TReadErrors errors = ReadTable(read, [this, AllRows](TOmegaOrder& order) {
        // Without AllRows a row with an order number was placed from ActiveOrders already.
        if (AllRows || order.OrderNumber.isEmpty())
            FDispatcher.ProcessOrder(order, &TOrderBuilder::NewOrder, true);
    });
    ReportErrors(read, errors);
}

void TOrderIntake::LoadCanceledOrders()
{
    const TAlertRead read{FDatMod.tCanceledOrders(), LastIdOf(TAlertTable::Canceled),
                          HighestReadOf(TAlertTable::Canceled), false, FailureText};
    const TReadErrors errors = ReadTable(read, [this](TOmegaOrder& order) { DispatchCanceled(order); });
    ReportErrors(read, errors);
}

void TOrderIntake::LoadActiveOrders()
{
    if (FActiveBusy) {
        // A read is running further down the stack; the mark is its to clear.
        FLog.SaveLog();
        return;
    }
    const TAlertRead read{FDatMod.tActiveOrders(), LastIdOf(TAlertTable::Active), HighestReadOf(TAlertTable::Active),
                          false, FailureText};
    TReadErrors errors;
    {
        TBusyMark busy(FActiveBusy);
        errors = ReadTable(read, [this](TOmegaOrder& order) {
            // Remembered first: a cancel may come before the terminal's answer.
            FWithdrawals.Placed(order);
            FDispatcher.ProcessOrder(order, &TOrderBuilder::NewOrder, true);
        });
    }
    // The report may wait for the operator; active orders go on being read meanwhile.
    ReportErrors(read, errors);
}

void TOrderIntake::DispatchCanceled(TOmegaOrder& order)
{
    if (order.OrderNumber.isEmpty()) {
        // The order was cancelled before the terminal executed it, so its row carries no
        // link yet; it is this run's order only when one placed from ActiveOrders matches.
        const qint64 placedId = FWithdrawals.MatchPlaced(order);
        if (placedId == 0)
            return;
        FLog.AddToLog(QStringLiteral("Отмена # %1 из таблицы CanceledOrders без номера ордера относится к ордеру # %2, "
                                     "выставленному из ActiveOrders (совпадают инструмент, тип, текст ордера, "
                                     "стратегия, рабочая область, сигнал и интервал).")
                          .arg(order.Id)
                          .arg(placedId));
        order.Id = placedId;
        FWithdrawals.Withdraw(order);
        return;
    }
    const qint64 cancelledId = CanceledOrderId(order.OrderNumber);
    if (cancelledId == 0) {
        // Under its own id the withdrawal would look up an unrelated order of the other
        // tables and could withdraw that one from the exchange.
        FLog.AddToLog(QStringLiteral("Отмена по ордеру # ") + Decimal(order.Id)
                      + QStringLiteral(" не отправлена: поле \"Order Number\" содержит \"")
                      + LogFragment(order.OrderNumber) + QStringLiteral("\", а не номер ордера."));
        return;
    }
    order.Id = cancelledId;
    FWithdrawals.Withdraw(order);
}

TOrderIntake::TReadErrors TOrderIntake::ReadTable(const TAlertRead& read, const TRowDispatch& dispatch)
{
    TReadErrors errors;
    const qint64 lastId = FDatMod.GetLastId(read.Table);
    if (lastId > read.LastId) {
        if (read.LastId < 0)
            TakeLastId(read, lastId);
        else
            ReadNewRows(read, lastId, dispatch, errors);
    } else if (lastId >= 0 && lastId < read.LastId) {
        RowsWentAway(read, lastId);
    }
    FLog.SaveLog();
    return errors;
}

void TOrderIntake::RowsWentAway(const TAlertRead& read, qint64 lastId)
{
    read.LastId = lastId;
    KeepHandled(read.Table, lastId);
}

void TOrderIntake::TakeLastId(const TAlertRead& read, qint64 lastId)
{
    // The table was closed when watching started, so its rows of that moment were never
    // counted: they are old orders, not new ones.
    read.LastId = lastId;
    FLog.AddToLog(QStringLiteral("Таблица ") + read.Table.TableName()
                  + QStringLiteral(" была закрыта при включении загрузки: ордера с id до ") + Decimal(lastId)
                  + QStringLiteral(" включительно пропущены, загружаются только новые."));
    KeepHandled(read.Table, lastId);
}

void TOrderIntake::ReadNewRows(const TAlertRead& read, qint64 lastId, const TRowDispatch& dispatch,
                               TReadErrors& errors)
{
    const qint64 afterId = read.LastId;
    read.LastId = lastId; // before any row is read: no row is ever read twice
    QList<TNewRow> rows;
    try {
        rows = FetchNewRows(read, afterId, lastId);
    } catch (const std::exception& error) {
        errors.ReadFailure = QStringLiteral("При чтении ордеров с id от ") + Decimal(qint64(afterId) + 1)
            + QStringLiteral(" до ") + Decimal(lastId) + QStringLiteral(" из таблицы ") + read.Table.TableName()
            + QStringLiteral(" произошла ошибка: ") + CrLf + ErrorText(error);
        FLog.AddToLog(errors.ReadFailure);
        return;
    }
    const qint64 highestBefore = read.HighestRead;
    read.HighestRead = std::max(read.HighestRead, lastId);
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (rows[i].Error.isEmpty() && rows[i].Order.Id <= highestBefore)
            FLog.AddToLog(QStringLiteral("Ордер # %1 из таблицы %2: id не больше уже прочитанного %3, платформа выдала "
                                         "номер строки повторно; ордер обрабатывается как новый.")
                              .arg(rows[i].IdText, read.Table.TableName())
                              .arg(highestBefore));
        try {
            HandleRow(read, rows[i], dispatch, errors);
        } catch (const TBridgeFailure& failure) {
            // Watching stops here; the rows after this one were taken and will not be
            // read again, so they are named for the operator to send by hand.
            QStringList notRead;
            for (qsizetype later = i + 1; later < rows.size(); ++later)
                notRead << rows[later].IdText;
            if (notRead.isEmpty())
                throw;
            throw TBridgeFailure(failure.Text() + CrLf + QStringLiteral("Не обработаны и ордера # ")
                                 + notRead.join(QStringLiteral(", # ")) + QStringLiteral(" из таблицы ")
                                 + read.Table.TableName() + QLatin1Char('.'));
        }
    }
    // Every row of the read was dispatched or refused: only now does the kept id move, so
    // that a crash before this point leaves the rows to be named at the next start.
    KeepHandled(read.Table, lastId);
}

QList<TOrderIntake::TNewRow> TOrderIntake::FetchNewRows(const TAlertRead& read, qint64 afterId, qint64 upToId)
{
    QList<TNewRow> rows;
    FDatMod.ReadNewOrders(read.Table.TableName(), afterId, upToId, [&](TDataSet& dataSet) {
        TNewRow row;
        try {
            ReadOmegaOrder(row.Order, dataSet, read.Filled);
            row.IdText = Decimal(row.Order.Id);
        } catch (const std::exception& error) {
            row.Error = ErrorText(error);
            row.IdText = dataSet.HasField(QStringLiteral("ID")) ? dataSet.Value(QStringLiteral("ID")).toString()
                                                                : QString();
        }
        rows << row;
    });
    return rows;
}

void TOrderIntake::HandleRow(const TAlertRead& read, TNewRow& row, const TRowDispatch& dispatch,
                             TReadErrors& errors)
{
    QString failure = row.Error;
    if (failure.isEmpty()) {
        try {
            QString reason;
            if (FFilters.CheckFilters(row.Order, reason)) {
                dispatch(row.Order);
            } else {
                FLog.AddToLog(QStringLiteral("Ордер # ") + row.IdText + read.FailureText + reason
                              + QStringLiteral("/"));
            }
            return;
        } catch (const TBridgeFailure&) {
            throw; // no later row can be booked either: the caller stops watching
        } catch (const std::exception& error) {
            failure = ErrorText(error);
        }
    }
    FLog.AddToLog(QStringLiteral("При обработке ордера # ") + row.IdText + QStringLiteral(" из таблицы ")
                  + read.Table.TableName() + QStringLiteral(" произошла ошибка: ") + CrLf + failure);
    if (errors.FailedIds.isEmpty())
        errors.FirstError = failure;
    errors.FailedIds << row.IdText;
}

void TOrderIntake::ReportErrors(const TAlertRead& read, const TReadErrors& errors)
{
    if (!errors.ReadFailure.isEmpty()) {
        FEnvironment.ReportError(errors.ReadFailure);
    } else if (!errors.FailedIds.isEmpty()) {
        FEnvironment.ReportError(QStringLiteral("Ордера из таблицы ") + read.Table.TableName()
                                 + QStringLiteral(" не обработаны из-за ошибок (# ")
                                 + errors.FailedIds.join(QStringLiteral(", # "))
                                 + QStringLiteral("), подробности в журнале. Первая ошибка: ") + CrLf
                                 + errors.FirstError);
    }
}
