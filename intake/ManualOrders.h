#pragma once

#include "intake/Dispatch.h"
#include "trade/OmegaOrder.h"
#include "trade/OrderBuilder.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

class TBridgeHolder;
class TDatMod;
class TOperationLog;
class TSettings;
class TTable;
struct TEnvironment;

// Which page of the main window's page control is shown.
enum class TManualPage {
    ActiveOrders, // tshActiveOrders: the ActiveOrders grid
    FilledOrders, // tshFilledOrders: the FilledOrders grid
    Other,
};

// What a manual command would send, shown to the operator before anything is sent: the
// strategy order of the row and the line each account would get now. A preview, not a
// promise: the lines sent on confirmation are built again at that moment.
struct TManualTicket {
    QString Command;               // the command as the operator knows it
    TOrderBuilderMethod Builder = nullptr;
    const TTable* Table = nullptr; // the table whose row it is
    TOmegaOrder Order;
    QList<TPreviewLine> Lines;
    // The sizing reads what moves between the preview and the confirmation (the
    // portfolio and prices for an amount or a share of the account, the booked position
    // for an exact exit): the quantities sent may differ from those shown.
    bool SizingMayDiffer = false;
};

// The operator's commands that send the order of the selected grid row by hand: no
// filters, and sent whether or not its security is marked as traded. Each command first
// makes a ticket of what it would send; only the operator's confirmation of the ticket
// sends (and logs that it was a manual command, confirmed). Refused (TError, also logged)
// like start watching while a setting would send orders astray or another running
// program holds the import file or the bridge database.
//
// One confirmation sends once. A command given while a manual send is still running (from a
// message loop that the send runs, a box it shows) is refused, and so is the same command
// for the same row given again within RepeatMsecs of the one that was sent (a double click,
// a key held down): either sends nothing and says so in the log.
class TManualOrders {
public:
    static constexpr qint64 RepeatMsecs = 1000;

    TManualOrders(const TSettings& settings, TBridgeHolder& holder, TDatMod& datMod, TDispatcher& dispatcher,
                  TOperationLog& log, const TEnvironment& environment);

    // "Отправить ордер в Quik": the ticket of a new order for the current row of the
    // page's table; none on another page, or (logged) without a row or while a manual
    // send runs.
    std::optional<TManualTicket> actSendNewOrderManualExecute(TManualPage page);
    // "Отменить ордер": the ticket of a withdrawal of the order of the current row, under
    // the row's id.
    std::optional<TManualTicket> actSendKillOrderManualExecute(TManualPage page);
    // The operator confirmed the ticket: its order is dispatched now, its lines built
    // afresh, after a log line naming the command, the order and the confirmation.
    void SendTicket(const TManualTicket& ticket);
    // The operator cancelled the ticket: nothing is sent; the log says so.
    void TicketCancelled(const TManualTicket& ticket);

    // The commands' names in the ticket and the log.
    static QString NewOrderCommand() { return QStringLiteral("Выставить ордер вручную"); }
    static QString KillOrderCommand() { return QStringLiteral("Отменить ордер"); }

private:
    std::optional<TManualTicket> TicketForCurrentRow(TManualPage page, TOrderBuilderMethod builder);
    // Refuses a new order while the kill switch blocks new orders (TError, also shown).
    void RefuseWhileBlocked(const TOmegaOrder& order, TOrderBuilderMethod builder);
    bool SizingMayDiffer(const TOmegaOrder& order, TOrderBuilderMethod builder) const;
    void CheckSending();
    // Whether this command for this row repeats the last one sent, within RepeatMsecs.
    bool Repeats(TOrderBuilderMethod builder, const TTable& table, qint64 id, const QDateTime& now) const;
    void Refuse(const QString& message);

    // The last command sent: which, for which row, when.
    struct TSent {
        TOrderBuilderMethod Builder;
        const TTable* Table;
        qint64 Id;
        QDateTime At;
    };

    const TSettings& FSettings;
    TBridgeHolder& FHolder;
    TDatMod& FDatMod;
    TDispatcher& FDispatcher;
    TOperationLog& FLog;
    const TEnvironment& FEnvironment;
    bool FSending = false;
    std::optional<TSent> FLastSent;
};
