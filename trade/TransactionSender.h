#pragma once

#include "base/Error.h"
#include "trade/OmegaOrder.h"
#include "trade/Order.h"

#include <QString>

class TCoreEvents;
class TOperationLog;
class TSettings;
class TTransWriter;
class TTransactionBookings;

// A transaction's line was queued but could not be booked in the bridge database (the
// report row, or the exit's open positions): the line must not reach the terminal, since
// its result could never be booked nor its order withdrawn.
class TBookingFailure : public TError {
public:
    using TError::TError;
};

// Sends one accepted order for one client: queues its transaction line with the next
// transaction number, reports it, books it in the transaction report tOrderNumber and
// keeps the client's open positions in tClientOpenPositions up to date. The dispatch
// calls it once per account, then has the writer append the queued lines to the file.
class TTransactionSender {
public:
    TTransactionSender(TSettings& settings, TTransWriter& writer, TTransactionBookings& bookings,
                       TOperationLog& log, TCoreEvents& events);
    TTransactionSender(const TTransactionSender&) = delete;
    TTransactionSender& operator=(const TTransactionSender&) = delete;

    // In this order: the line is queued (its number is used up from then on); the
    // tOrderNumber row; for a plain "NEW_ORDER" the entry's row added to
    // tClientOpenPositions ("LE", "SE"; a failure is logged and the transaction goes on)
    // or the exit's rows deleted ("LX", "SX"); the announcement (an e-mail) when
    // chSendTrans_Id is on; StatusChanged; the log saved. A failed booking in tOrderNumber
    // or of an exit throws TBookingFailure: the line stays queued for the caller to take
    // back, the next transaction still gets the next number, and StatusChanged and the log
    // file come before the failure goes on. A line that cannot be built throws TError
    // before anything is queued. Virtual so that a dispatch can be watched without
    // bookings.
    virtual void SendTransaction(const TOrder& order, const TOmegaOrder& omega);
    virtual ~TTransactionSender() = default;

    // Announces a line the limits refused (an e-mail) when chSendTrans_Id is on.
    void AnnounceRefusal(const QString& text);

private:
    // The status and the log file after a failed booking; nothing may fail here.
    void ReportSent() noexcept;

    TSettings& FSettings;
    TTransWriter& FWriter;
    TTransactionBookings& FBookings;
    TOperationLog& FLog;
    TCoreEvents& FEvents;
};

// The log line of an entry that could not be booked in the open positions.
QString OpenPositionErrorMessage(const QString& errorText);
