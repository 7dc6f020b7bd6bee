#pragma once

#include "trade/OmegaOrder.h"
#include "trade/Order.h"

#include <QString>
#include <QTimer>
#include <functional>

class TDatMod;
class TOperationLog;
class TSettings;
class TTransWriter;
struct TOpenPositionRow;
struct TOrderNumberRow;

// Sends one accepted order for one client: queues its transaction line with the next
// transaction number, reports it, books it in the transaction report tOrderNumber and
// keeps the client's open positions in tClientOpenPositions up to date. The dispatch
// calls it once per account, then has the writer append the queued lines to the file.
class TTransactionSender {
public:
    TTransactionSender(TSettings& settings, TDatMod& datMod, TTransWriter& writer, TOperationLog& log);
    TTransactionSender(const TTransactionSender&) = delete;
    TTransactionSender& operator=(const TTransactionSender&) = delete;

    // One e-mail notification with the given text (the mailer's SendMail).
    std::function<void(const QString&)> SendMail;
    // Redraws the status bar's counters.
    std::function<void()> UpdateStatusBar;

    // In this order: the line is queued and logged (its number is used up from then on);
    // the e-mail when chSendTrans_Id is on; the tOrderNumber row; for a plain "NEW_ORDER"
    // the entry's row added to tClientOpenPositions ("LE", "SE"; a failure is logged and
    // the transaction goes on) or the exit's rows deleted ("LX", "SX"); the status bar;
    // the log saved. A failed booking in tOrderNumber or of an exit throws TError: the
    // line stays queued, the next transaction still gets the next number, and the status
    // bar and the log file are brought up to date before the failure goes on.
    void SendTransaction(const TOrder& order, const TOmegaOrder& omega);

private:
    void BookOrderNumber(const TOrderNumberRow& row);
    void BookOpenPosition(const TOpenPositionRow& row);
    void ShowChanged(bool& changed);
    void RefreshChangedTables() noexcept;

    TSettings& FSettings;
    TDatMod& FDatMod;
    TTransWriter& FWriter;
    TOperationLog& FLog;
    // The rows are written by statements, and the changed tables are re-read once the
    // current work returns to the event loop: a dispatch to many clients books many rows,
    // and the grids can show them only then, so one re-read per table serves them all.
    QTimer FRefresh;
    bool FOrderNumbersChanged = false;
    bool FPositionsChanged = false;
};

// The log line of an entry that could not be booked in the open positions.
QString OpenPositionErrorMessage(const QString& errorText);
