#pragma once

#include "base/CoreEvents.h"
#include "base/Environment.h"
#include "base/OperationLog.h"
#include "base/Ticker.h"
#include "data/BridgeHolder.h"
#include "data/DatMod.h"
#include "data/Settings.h"
#include "intake/Dispatch.h"
#include "intake/KillSwitch.h"
#include "intake/ManualOrders.h"
#include "intake/OrderFilters.h"
#include "intake/OrderIntake.h"
#include "intake/WatchLoop.h"
#include "intake/Withdrawals.h"
#include "mail/Mailer.h"
#include "trade/DatModResultBookings.h"
#include "trade/DatModTradeLookup.h"
#include "trade/DatModTransactionBookings.h"
#include "trade/LinkMonitor.h"
#include "trade/OrderBuilder.h"
#include "trade/ResultReader.h"
#include "trade/TransactionSender.h"
#include "trade/TransWriter.h"

#include <QObject>
#include <QTimer>
#include <QString>
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
    // The lines waiting for the pace, while any does; empty otherwise.
    QString Queue;
};

// The main window's state and operations without the window: the settings, the data
// module, the watch loop, the transaction writer, the result reader, the link monitor,
// the mailer, the two timers that drive the program and the enabled states of the
// commands. It owns each part and hands each the others it needs by reference; what the
// parts report comes back to it as events, which it passes on to the mailer and, as Qt
// signals, to any number of views. The window is one such view; the headless demo and the
// tests drive the core directly.
class TMainCore : public QObject, private TCoreEvents {
    Q_OBJECT
public:
    // Creates the parts in start-up order: the settings (loaded from the file in
    // programFolder, which ends in a path separator), then the data module.
    TMainCore(TEnvironment& environment, TOperationLog& log, const QString& programFolder);
    ~TMainCore() override;

    TEnvironment& Environment() { return FEnvironment; }
    TOperationLog& Log() { return FLog; }
    TSettings& Settings() { return FSettings; }
    TDatMod& DatMod() { return FDatMod; }
    TMailer& Mailer() { return FMailer; }
    TLinkMonitor& LinkMonitor() { return FLinkMonitor; }
    TTransWriter& Writer() { return FWriter; }
    TResultReader& ResultReader() { return FResultReader; }
    TDispatcher& Dispatcher() { return FDispatcher; }
    TOrderIntake& Intake() { return FIntake; }
    TWithdrawals& Withdrawals() { return FWithdrawals; }
    TWatchLoop& Watch() { return FWatch; }
    TBridgeHolder& Holder() { return FHolder; }
    TManualOrders& ManualOrders() { return FManualOrders; }
    TKillSwitch& KillSwitch() { return FKillSwitch; }
    const TTicker& timUpdateTable() const { return FtimUpdateTable; }
    const TTicker& timInfoLog() const { return FtimInfoLog; }
    // The look for new alert rows between table ticks, every AlertsCheckPeriodMs once the
    // databases are connected.
    const TTicker& timAlertsCheck() const { return FtimAlertsCheck; }
    static constexpr int AlertsCheckPeriodMs = 20;
    // The periodic look's period; 0 stops it, and commits are then seen by the alert
    // file's wake and the table tick alone (how the wake is shown to work on its own).
    void SetAlertsCheckPeriod(int milliseconds);
    // The paced queue's drain: armed for the moment the next queued line may go, while
    // lines wait for the pace.
    const QTimer& timDrain() const { return FtimDrain; }
    // What the drain timer does when it fires: writes what the pace allows now.
    void DrainTick();

    // The settings load of the start and of a cancelled settings dialog: a value that
    // does not convert is reported and the load ends there; otherwise the timers take
    // their new periods, the table timer first (a period that does not convert is
    // reported and leaves its timer and the later one as they were). A session time that
    // is not a time of day is then reported too, also in the log.
    void LoadSettingsReported();
    // The settings dialog closed with OK: a row of the securities, workspaces or strategies
    // still being edited is stored, the settings file saved, the status bar shown and the
    // two timers take the periods of the settings at once. Each step is reported on its
    // own: a row that cannot be stored does not keep the settings from the file.
    void OptionsConfirmed();
    // The settings dialog closed otherwise: those rows' edits are dropped, the settings
    // loaded again from the file (the timers with them) and the status bar shown.
    void OptionsCancelled();

    // Whether the program may end now. While orders are being watched the operator is
    // asked first; when the operator exits, watching stops here and the log says so.
    bool QueryExit();
    static QString ExitWhileWatchingQuestion()
    {
        return QStringLiteral("Загрузка ордеров включена. Остановить загрузку и выйти из программы?");
    }

    // Commands and ticks as the window triggers them: each runs inside the guard.
    void RunGuarded(const std::function<void()>& work) { Guarded(FEnvironment, work); }

    // The enabled states of the watch commands: both disabled until the first
    // connection; then one of them, by whether watching is on.
    bool actStartWatchEnabled() const { return FStartWatchEnabled; }
    bool actStopWatchEnabled() const { return FStopWatchEnabled; }

    // "Аварийная остановка" and "Возобновить торговлю", each inside the guard; the views
    // hear of the changed commands after each. The window asks the operator first.
    void actKillSwitchExecute();
    void actResumeTradingExecute();
    // The re-arm command is enabled only while the kill switch is engaged.
    bool actResumeTradingEnabled() const { return FKillSwitch.Engaged(); }

    // The status bar as the connections, counters and settings stand now.
    TStatusTexts StatusBarTexts() const;
    // Tells the views to show the status bar as it stands now.
    void UpdateStatusBar();

signals:
    // What the views show. The status bar's texts are made only when a view listens.
    void ShowStatusBar(const TStatusTexts& texts);
    void CommandsChanged();
    void ShowWatchIcon(int frame);
    void UpdatePortfolioSum();
    void UpdateSumList();

private:
    // The parts' events.
    void Announce(const QString& text) override;
    void StatusChanged() override;
    void BasesConnected() override;
    void WatchingChanged(bool watching) override;
    void WatchIconChanged(int frame) override;
    void PortfolioChanged() override;
    void SecuritiesChanged() override;
    // Arms the drain timer for the next line the pace lets out, or stops it when none
    // waits.
    void ArmDrain();

    TEnvironment& FEnvironment;
    TOperationLog& FLog;
    TSettings FSettings;
    TDatMod FDatMod;
    // This program's hold on the terminal's import file and the bridge database: taken at
    // the start-up and at connection, let go when the core goes (before the data module).
    TBridgeHolder FHolder;
    TMailer FMailer;
    TLinkMonitor FLinkMonitor;
    // Orders out: translation over the bridge database, the transaction file writer and
    // the sender that books each transaction.
    TDatModTradeLookup FTradeLookup;
    TOrderBuilder FBuilder;
    TTransWriter FWriter;
    TDatModTransactionBookings FTransactionBookings;
    TTransactionSender FSender;
    // Results back from the terminal.
    TDatModResultBookings FResultBookings;
    TResultReader FResultReader;
    // The intake and the spine that drives it: start-up, table tick and watch cycle.
    TOrderFilters FFilters;
    TDispatcher FDispatcher;
    TWithdrawals FWithdrawals;
    TOrderIntake FIntake;
    TWatchLoop FWatch;
    TManualOrders FManualOrders;
    TKillSwitch FKillSwitch;
    TTicker FtimUpdateTable;
    TTicker FtimInfoLog;
    TTicker FtimAlertsCheck;
    // The parts tell of a changed status once per transaction or result line; the views
    // hear of it once per turn of the event loop, which is when a window shows it anyway.
    QTimer FStatusRefresh;
    QTimer FtimDrain;
    bool FStartWatchEnabled = false;
    bool FStopWatchEnabled = false;
};
