#pragma once

#include "data/DatMod.h"
#include "data/Settings.h"
#include "intake/Dispatch.h"
#include "intake/ManualOrders.h"
#include "intake/OrderFilters.h"
#include "intake/OrderIntake.h"
#include "intake/WatchLoop.h"
#include "base/Environment.h"
#include "mail/Mailer.h"
#include "base/OperationLog.h"
#include "base/Ticker.h"
#include "trade/DatModResultBookings.h"
#include "trade/DatModTradeLookup.h"
#include "trade/LinkMonitor.h"
#include "trade/OrderBuilder.h"
#include "trade/ResultReader.h"
#include "trade/TransWriter.h"
#include "trade/TransactionSender.h"

#include <QObject>
#include <QStringList>
#include <functional>
#include <optional>

// The texts of the status bar's first five panels; the working mode is absent when no
// mode is selected (the panel then keeps its text).
struct TStatusTexts {
    QString Omega;
    QString Quik;
    QString ServerLink;
    QString Transactions;
    std::optional<QString> Mode;
};

// The main window's state and operations without the window: the settings, the data
// module, the watch loop, the transaction writer, the result reader, the link monitor,
// the mailer and the two timers that drive the program. The window is a view over it;
// the headless demo and the tests drive it directly.
class TMainCore : public QObject {
    Q_OBJECT
public:
    // Creates the parts in start-up order: the settings (loaded from the file in
    // programFolder, which ends in a path separator), then the data module.
    TMainCore(TEnvironment& environment, TOperationLog& log, const QString& programFolder);
    ~TMainCore() override;

    TEnvironment& Environment;
    TOperationLog& Log;
    TSettings Settings;
    TDatMod DatMod;
    TMailer Mailer;
    TLinkMonitor LinkMonitor;
    // Orders out: translation over the bridge database, the transaction file writer and
    // the sender that books each transaction.
    TDatModTradeLookup TradeLookup;
    TOrderBuilder Builder;
    TTransWriter Writer;
    TTransactionSender Sender;
    // Results back from the terminal.
    TDatModResultBookings ResultBookings;
    TResultReader ResultReader;
    // The spine: start-up, table tick and watch cycle; then the intake it drives.
    TWatchLoop Watch;
    TOrderFilters Filters;
    TDispatcher Dispatcher;
    TOrderIntake Intake;
    TManualOrders ManualOrders;
    TTicker timUpdateTable;
    TTicker timInfoLog;

    // The settings load of the start and of a cancelled settings dialog: a value that
    // does not convert is reported and the load ends there.
    void LoadSettingsReported();

    // Commands and ticks as the window triggers them: each runs inside the guard.
    void RunGuarded(const std::function<void()>& work) { Guarded(Environment, work); }

    // The status bar as the connections, counters and settings stand now.
    TStatusTexts StatusBarTexts() const;
    void UpdateStatusBar();

    // What the window shows: set by the window, empty without one.
    std::function<void()> CommandsChanged;
    std::function<void(int frame)> ShowWatchIcon;
    std::function<void(const TStatusTexts&)> ShowStatusBar;
    std::function<void()> UpdatePortfolioSum;
    std::function<void()> UpdateSumList;

private:
    TWatchHooks MakeWatchHooks();
};
