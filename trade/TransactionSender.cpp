#include "trade/TransactionSender.h"

#include "base/CoreEvents.h"
#include "base/Error.h"
#include "base/OperationLog.h"
#include "data/Settings.h"
#include "trade/OpenPosition.h"
#include "trade/TransactionBookings.h"
#include "trade/TransactionLine.h"
#include "trade/TransWriter.h"

QString OpenPositionErrorMessage(const QString& errorText)
{
    return QStringLiteral("Произошла ошибка при добавлении записи в таблицу tClientOpenPositions")
        + QStringLiteral("\r\n") + errorText;
}

TTransactionSender::TTransactionSender(TSettings& settings, TTransWriter& writer, TTransactionBookings& bookings,
                                       TOperationLog& log, TCoreEvents& events)
    : FSettings(settings), FWriter(writer), FBookings(bookings), FLog(log), FEvents(events)
{
}

void TTransactionSender::SendTransaction(const TOrder& order, const TOmegaOrder& omega)
{
    const TQueuedTransaction queued = FWriter.QueueTransaction(order);
    try {
        FBookings.BookOrderNumber(OrderNumberRowOf(queued.TransId, order, omega));

        switch (PositionChangeOf(order)) {
        case TPositionChange::Open:
            try {
                FBookings.BookOpenPosition(OpenPositionRowOf(order, omega));
            } catch (const std::exception& error) {
                FLog.AddToLog(OpenPositionErrorMessage(ErrorText(error)));
            }
            break;
        case TPositionChange::Close:
            FBookings.DeleteOpenPositions(PositionKeyOf(order, omega));
            break;
        case TPositionChange::None:
            break;
        }
    } catch (const std::exception& error) {
        // The number is used up and the line queued: the status bar and the log file
        // show that before the failure goes on to the caller, who must not let the line
        // out unbooked.
        ReportSent();
        throw TBookingFailure(ErrorText(error));
    }
    // Announced once booked: a line that cannot be booked never goes out.
    if (FSettings.chSendTrans_Id)
        FEvents.Announce(TransactionMailText(queued.TransId, queued.Note));
    FEvents.StatusChanged();
    FLog.SaveLog();
}

void TTransactionSender::ReportSent() noexcept
{
    try {
        FEvents.StatusChanged();
    } catch (...) {
    }
    FLog.SaveLogQuietly();
}

void TTransactionSender::AnnounceRefusal(const QString& text)
{
    if (FSettings.chSendTrans_Id)
        FEvents.Announce(text);
}
