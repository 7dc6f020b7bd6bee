#include "shell/MainCore.h"

#include "base/Error.h"

#include <QMetaMethod>
#include <algorithm>
#include <limits>

TMainCore::TMainCore(TEnvironment& environment, TOperationLog& log, const QString& programFolder)
    : FEnvironment(environment)
    , FLog(log)
    , FDatMod(environment, *this)
    , FHolder(FSettings, FDatMod.conQuikData(), environment, log)
    , FMailer(FSettings, log, environment)
    , FLinkMonitor(FSettings, log, *this)
    , FTradeLookup(FDatMod)
    , FBuilder(FSettings, environment, log, FTradeLookup)
    , FWriter(FSettings, environment, log)
    , FTransactionBookings(FDatMod)
    , FSender(FSettings, FWriter, FTransactionBookings, log, *this)
    , FResultBookings(FDatMod)
    , FResultReader(FSettings, log, FResultBookings, *this)
    , FFilters(FDatMod, FSettings, environment)
    , FDispatcher(FSettings, FDatMod, FBuilder, FSender, FWriter, log, environment)
    , FWithdrawals(FSettings, FDatMod, FDispatcher, log, *this, environment)
    , FIntake(FDatMod, FFilters, FDispatcher, FWithdrawals, log, environment)
    , FWatch(FSettings, FDatMod, log, FIntake, FWriter, FResultReader, FLinkMonitor, FHolder, *this, environment)
    , FManualOrders(FSettings, FHolder, FDatMod, FDispatcher, log, environment)
    , FKillSwitch(FSettings, FDatMod, FSender, FWriter, FWatch, log, *this, environment)
    , FtimUpdateTable([this] {
        RunGuarded([this] { FWatch.timTable(); });
        RunGuarded([this] { FWithdrawals.CheckOverdue(); });
    })
    , FtimInfoLog([this] { RunGuarded([this] { FLinkMonitor.timInfoLogTimer(); }); })
    , FtimAlertsCheck([this] { RunGuarded([this] { FWatch.timAlertsCheck(); }); })
{
    // A long result pass goes on from the event loop, inside the same guard as a tick.
    FResultReader.Guard = [this](const std::function<void()>& work) { RunGuarded(work); };
    // A withdrawal held for the terminal's answer goes out once the answer is booked.
    FResultReader.Booked = [this](const TResultLine& result, const TTransactionRow& row) {
        FWithdrawals.ResultBooked(result, row);
    };
    FDispatcher.SetKillSwitch(&FKillSwitch);
    FWithdrawals.Guard = [this](const std::function<void()>& work) { RunGuarded(work); };
    // A commit to the alert file runs the early watch cycle at once, not at the next look.
    FWatch.AlertsWake().Woken = [this] { RunGuarded([this] { FWatch.timAlertsCheck(); }); };
    // No line goes into an import file another running program holds.
    FWriter.BeforeAppend = [this](const QString& path) { FHolder.HoldImportFileForWriting(path); };
    // Lines the pace keeps back go out on the drain timer; the status bar shows how many wait.
    FWriter.QueueChanged = [this] {
        StatusChanged();
        ArmDrain();
    };
    FtimDrain.setSingleShot(true);
    FtimDrain.setTimerType(Qt::PreciseTimer);
    connect(&FtimDrain, &QTimer::timeout, this, [this] { DrainTick(); });
    FSettings.ProgramFolder = programFolder;
    FtimUpdateTable.SetPeriod(1000);
    FtimInfoLog.SetPeriod(60000);
    LoadSettingsReported();
    // The log file is rotated by the settings in force at each save; a file already over
    // its bound is put aside now.
    FLog.Rotation = [this] { return TLogRotation{FSettings.MaxMB, FSettings.KeepDays}; };
    RunGuarded([this] { FLog.RotateAtStart(); });
    FtimInfoLog.SetEnabled(true);
    FtimAlertsCheck.SetPeriod(AlertsCheckPeriodMs);
    FStatusRefresh.setSingleShot(true);
    FStatusRefresh.setInterval(0);
    connect(&FStatusRefresh, &QTimer::timeout, this, [this] { RunGuarded([this] { UpdateStatusBar(); }); });
}

TMainCore::~TMainCore()
{
    // The log outlives the core and its settings.
    FLog.Rotation = [] { return TLogRotation{}; };
}

void TMainCore::SetAlertsCheckPeriod(int milliseconds)
{
    FtimAlertsCheck.SetPeriod(milliseconds);
}

void TMainCore::actKillSwitchExecute()
{
    RunGuarded([this] { FKillSwitch.actKillSwitchExecute(); });
    emit CommandsChanged();
    UpdateStatusBar();
}

void TMainCore::actResumeTradingExecute()
{
    RunGuarded([this] { FKillSwitch.actResumeTradingExecute(); });
    emit CommandsChanged();
}

void TMainCore::LoadSettingsReported()
{
    RunGuarded([this] {
        FSettings.LoadSettings();
        FtimUpdateTable.SetPeriod(FSettings.UpdateTablePeriod());
        FtimInfoLog.SetPeriod(FSettings.InfoLogPeriod());
    });
    // A session time that is no time would fail every order: said now, in the log and
    // the error box, and watching refuses to start until it is mended.
    RunGuarded([this] {
        try {
            FSettings.CheckSessionTimes();
        } catch (const TError& error) {
            FLog.AddToLog(error.Text());
            throw;
        }
    });
}

namespace {

bool Editing(const TTable& table)
{
    return table.State() == TDataSet::TState::Edit || table.State() == TDataSet::TState::Insert;
}

} // namespace

void TMainCore::OptionsConfirmed()
{
    for (TTable* table : {&FDatMod.tSecCode(), &FDatMod.tWorkSpaces(), &FDatMod.tStrategy()}) {
        if (Editing(*table))
            RunGuarded([table] { table->Post(); });
    }
    RunGuarded([this] { FSettings.SaveSettings(); });
    UpdateStatusBar();
    RunGuarded([this] {
        FtimUpdateTable.SetPeriod(FSettings.UpdateTablePeriod());
        FtimInfoLog.SetPeriod(FSettings.InfoLogPeriod());
    });
}

void TMainCore::OptionsCancelled()
{
    for (TTable* table : {&FDatMod.tSecCode(), &FDatMod.tWorkSpaces(), &FDatMod.tStrategy()}) {
        if (Editing(*table))
            RunGuarded([table] { table->Cancel(); });
    }
    LoadSettingsReported();
    UpdateStatusBar();
}

void TMainCore::DrainTick()
{
    // A write that fails leaves the timer still: the lines stay queued, and the next
    // write that succeeds (the watch cycle's, a dispatch's) arms it again.
    RunGuarded([this] { FWriter.WriteTransFile(); });
}

void TMainCore::ArmDrain()
{
    const qint64 wait = FWriter.DrainWaitMs();
    if (wait < 0) {
        FtimDrain.stop();
        return;
    }
    FtimDrain.start(int(std::min<qint64>(wait, std::numeric_limits<int>::max())));
}

bool TMainCore::QueryExit()
{
    if (!FWatch.Watching())
        return true;
    if (!FEnvironment.Confirm(ExitWhileWatchingQuestion()))
        return false;
    RunGuarded([this] {
        FLog.AddToLog(QStringLiteral("Выход из программы по команде оператора во время загрузки ордеров."));
        FWatch.actStopWatchExecute();
    });
    return true;
}

TStatusTexts TMainCore::StatusBarTexts() const
{
    auto state = [](bool open) { return open ? QStringLiteral("OK") : QStringLiteral("Нет"); };
    TStatusTexts texts;
    texts.Omega = QStringLiteral("Подключение к Omega: ") + state(FDatMod.conOmega().Connected());
    texts.Quik = QStringLiteral("Подключение к Quik: ") + state(FDatMod.conQuikData().Connected());
    texts.ServerLink = QStringLiteral("Связь Quik с сервером: ") + FLinkMonitor.ServerStateText();
    texts.Transactions = QStringLiteral("Отправлено транзакций: %1/%2/%3")
                             .arg(FWriter.TransMadeCount())
                             .arg(FResultReader.TransSentCount())
                             .arg(FResultReader.TransDoneCount());
    if (FWriter.QueuedCount() > 0)
        texts.Queue = QStringLiteral("В очереди: %1").arg(FWriter.QueuedCount());
    if (FSettings.rgpSingleMulti == 0)
        texts.Mode = QStringLiteral("SINGLE");
    else if (FSettings.rgpSingleMulti == 1)
        texts.Mode = QStringLiteral("MULTI");
    return texts;
}

void TMainCore::UpdateStatusBar()
{
    // The texts are made only for a status bar that shows them.
    if (isSignalConnected(QMetaMethod::fromSignal(&TMainCore::ShowStatusBar)))
        emit ShowStatusBar(StatusBarTexts());
}

void TMainCore::Announce(const QString& text)
{
    FMailer.SendMail(text);
}

void TMainCore::StatusChanged()
{
    if (!FStatusRefresh.isActive())
        FStatusRefresh.start();
}

void TMainCore::BasesConnected()
{
    FtimUpdateTable.SetEnabled(true);
    FtimAlertsCheck.SetEnabled(true);
    if (!FStopWatchEnabled)
        FStartWatchEnabled = true;
    emit CommandsChanged();
}

void TMainCore::WatchingChanged(bool watching)
{
    FStartWatchEnabled = !watching;
    FStopWatchEnabled = watching;
    emit CommandsChanged();
}

void TMainCore::WatchIconChanged(int frame)
{
    emit ShowWatchIcon(frame);
}

void TMainCore::PortfolioChanged()
{
    emit UpdatePortfolioSum();
}

void TMainCore::SecuritiesChanged()
{
    emit UpdateSumList();
}
