#pragma once

#include "trade/OrderBuilder.h"

#include <QDateTime>
#include <QString>
#include <optional>

class TBridgeHolder;
class TDatMod;
class TDispatcher;
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

// The operator's commands that send the order of the selected grid row by hand: no
// filters, and sent whether or not its security is marked as traded. Refused (TError,
// also logged) like start watching while a setting would send orders astray or another
// running program holds the import file or the bridge database.
//
// One press sends once. A command given while a manual send is still running (from a
// message loop that the send runs, a box it shows) is refused, and so is the same command
// for the same row given again within RepeatMsecs of the one that was sent (a double click,
// a key held down): either sends nothing and says so in the log.
class TManualOrders {
public:
    static constexpr qint64 RepeatMsecs = 1000;

    TManualOrders(const TSettings& settings, TBridgeHolder& holder, TDatMod& datMod, TDispatcher& dispatcher,
                  TOperationLog& log, const TEnvironment& environment);

    // "Отправить ордер в Quik": a new order for the current row of the page's table.
    void actSendNewOrderManualExecute(TManualPage page);
    // "Отменить ордер": a withdrawal of the order of the current row, under the row's id.
    void actSendKillOrderManualExecute(TManualPage page);

private:
    void SendCurrentRow(TManualPage page, TOrderBuilderMethod builder);
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
