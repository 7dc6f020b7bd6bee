#include "trade/TransactionSender.h"

#include "data/DatMod.h"
#include "data/Settings.h"
#include "base/Error.h"
#include "base/OperationLog.h"
#include "trade/OpenPosition.h"
#include "trade/TransWriter.h"
#include "trade/TransactionLine.h"

#include <utility>

QString OpenPositionErrorMessage(const QString& errorText)
{
    return QStringLiteral("Произошла ошибка при добавлении записи в таблицу tClientOpenPositions")
        + QStringLiteral("\r\n") + errorText;
}

TTransactionSender::TTransactionSender(TSettings& settings, TDatMod& datMod, TTransWriter& writer,
                                       TOperationLog& log)
    : FSettings(settings), FDatMod(datMod), FWriter(writer), FLog(log)
{
    FRefresh.setSingleShot(true);
    QObject::connect(&FRefresh, &QTimer::timeout, &FRefresh, [this] { RefreshChangedTables(); });
}

void TTransactionSender::SendTransaction(const TOrder& order, const TOmegaOrder& omega)
{
    const TQueuedTransaction queued = FWriter.QueueTransaction(order);
    try {
        if (FSettings.chSendTrans_Id && SendMail)
            SendMail(TransactionMailText(queued.TransId, queued.Note));

        BookOrderNumber(OrderNumberRowOf(queued.TransId, order, omega));

        switch (PositionChangeOf(order)) {
        case TPositionChange::Open:
            try {
                BookOpenPosition(OpenPositionRowOf(order, omega));
            } catch (const std::exception& error) {
                FLog.AddToLog(OpenPositionErrorMessage(ErrorText(error)));
            }
            break;
        case TPositionChange::Close:
            FDatMod.DeleteExitQty(PositionKeyOf(order, omega));
            ShowChanged(FPositionsChanged);
            break;
        case TPositionChange::None:
            break;
        }
    } catch (...) {
        // The number is used up and the line queued: the status bar and the log file
        // show that before the failure goes on to the caller.
        try {
            if (UpdateStatusBar)
                UpdateStatusBar();
            FLog.SaveLog();
        } catch (...) {
        }
        throw;
    }
    if (UpdateStatusBar)
        UpdateStatusBar();
    FLog.SaveLog();
}

void TTransactionSender::BookOrderNumber(const TOrderNumberRow& row)
{
    TQuery& query = FDatMod.qQuikData;
    query.Close();
    query.Clear();
    query.ClearParams();
    query.Add(QStringLiteral("INSERT INTO tOrderNumber (trans_id, id_order, filled, code)"));
    query.Add(QStringLiteral("VALUES (:trans_id, :id_order, :filled, :code)"));
    query.SetParam(QStringLiteral("trans_id"), row.TransId);
    query.SetParam(QStringLiteral("id_order"), row.IdOrder);
    query.SetParam(QStringLiteral("filled"), row.Filled);
    query.SetParam(QStringLiteral("code"), row.Code);
    query.ExecSQL();
    ShowChanged(FOrderNumbersChanged);
}

void TTransactionSender::BookOpenPosition(const TOpenPositionRow& row)
{
    TQuery& query = FDatMod.qQuikData;
    query.Close();
    query.Clear();
    query.ClearParams();
    query.Add(QStringLiteral("INSERT INTO tClientOpenPositions"));
    query.Add(QStringLiteral("(quantity, symbol, code, [system], signal, [interval], workspace, [position])"));
    query.Add(QStringLiteral("VALUES (:quantity, :symbol, :code, :system, :signal, :interval, :workspace, :position)"));
    query.SetParam(QStringLiteral("quantity"), row.Quantity);
    query.SetParam(QStringLiteral("symbol"), row.Key.Symbol);
    query.SetParam(QStringLiteral("code"), row.Key.Code);
    query.SetParam(QStringLiteral("system"), row.Key.System);
    query.SetParam(QStringLiteral("signal"), row.Signal);
    query.SetParam(QStringLiteral("interval"), row.Key.Interval);
    query.SetParam(QStringLiteral("workspace"), row.Key.Workspace);
    query.SetParam(QStringLiteral("position"), row.Key.Position);
    query.ExecSQL();
    ShowChanged(FPositionsChanged);
}

void TTransactionSender::ShowChanged(bool& changed)
{
    changed = true;
    if (!FRefresh.isActive())
        FRefresh.start(0);
}

void TTransactionSender::RefreshChangedTables() noexcept
{
    if (FDatMod.conQuikData.Busy()) {
        // Served inside a database call's message loop: try again when it has returned.
        FRefresh.start(100);
        return;
    }
    // A closed table is opened: the grid then shows the booked rows.
    if (std::exchange(FOrderNumbersChanged, false))
        RefreshTable(FDatMod.tOrderNumber);
    if (std::exchange(FPositionsChanged, false))
        RefreshTable(FDatMod.tClientOpenPositions);
}
