#include "shell/MainCore.h"

#include "data/ConnectToBases.h"
#include "base/CallIfSet.h"

TMainCore::TMainCore(TEnvironment& environment, TOperationLog& log, const QString& programFolder)
    : Environment(environment)
    , Log(log)
    , DatMod(environment)
    , Mailer(Settings, log, environment)
    , LinkMonitor(Settings, log)
    , TradeLookup(DatMod)
    , Builder(Settings, environment, log, TradeLookup)
    , Writer(Settings, environment, log)
    , Sender(Settings, DatMod, Writer, log)
    , ResultBookings(DatMod)
    , ResultReader(Settings, log, ResultBookings)
    , Watch(Settings, DatMod, log, MakeWatchHooks())
    , Filters(DatMod, Settings, environment)
    , Dispatcher(Settings, DatMod, Builder, log, environment)
    , Intake(DatMod, Watch.State, Filters, Dispatcher, log, environment)
    , ManualOrders(DatMod, Dispatcher, log)
{
    Settings.ProgramFolder = programFolder;
    Settings.timUpdateTable = &timUpdateTable.Timer;
    Settings.timInfoLog = &timInfoLog.Timer;
    timUpdateTable.Timer.setInterval(1000);
    timInfoLog.Timer.setInterval(60000);
    LoadSettingsReported();

    connect(&timUpdateTable.Timer, &QTimer::timeout, this, [this] {
        RunGuarded([this] { Watch.timTable(); });
    });
    connect(&timInfoLog.Timer, &QTimer::timeout, this, [this] {
        RunGuarded([this] { LinkMonitor.timInfoLogTimer(); });
    });
    timInfoLog.SetEnabled(true);

    DatMod.UpdateSumList = [this] { CallIfSet(UpdateSumList); };
    auto sendMail = [this](const QString& text) { Mailer.SendMail(text); };
    auto updateStatusBar = [this] { UpdateStatusBar(); };
    LinkMonitor.SendMail = sendMail;
    LinkMonitor.UpdateStatusBar = updateStatusBar;
    Sender.SendMail = sendMail;
    Sender.UpdateStatusBar = updateStatusBar;
    ResultReader.SendMail = sendMail;
    ResultReader.UpdateStatusBar = updateStatusBar;
    Dispatcher.SendTransaction = [this](const TOrder& order, const TOmegaOrder& omega) {
        Sender.SendTransaction(order, omega);
    };
    Dispatcher.WriteTransFile = [this] { Writer.WriteTransFile(); };
}

TMainCore::~TMainCore() = default;

void TMainCore::LoadSettingsReported()
{
    RunGuarded([this] { Settings.LoadSettings(); });
    timUpdateTable.Sync();
    timInfoLog.Sync();
}

TStatusTexts TMainCore::StatusBarTexts() const
{
    auto state = [](bool open) { return open ? QStringLiteral("OK") : QStringLiteral("Нет"); };
    TStatusTexts texts;
    texts.Omega = QStringLiteral("Подключение к Omega: ") + state(DatMod.conOmega.Connected());
    texts.Quik = QStringLiteral("Подключение к Quik: ") + state(DatMod.conQuikData.Connected());
    texts.ServerLink = QStringLiteral("Связь Quik с сервером: ") + LinkMonitor.ServerStateText();
    texts.Transactions = QStringLiteral("Отправлено транзакций: %1/%2/%3")
                             .arg(Writer.TransCounter())
                             .arg(ResultReader.TransSentCount())
                             .arg(ResultReader.TransDoneCount());
    if (Settings.rgpSingleMulti == 0)
        texts.Mode = QStringLiteral("SINGLE");
    else if (Settings.rgpSingleMulti == 1)
        texts.Mode = QStringLiteral("MULTI");
    return texts;
}

void TMainCore::UpdateStatusBar()
{
    // The texts are made only for a status bar that shows them.
    if (ShowStatusBar)
        ShowStatusBar(StatusBarTexts());
}

TWatchHooks TMainCore::MakeWatchHooks()
{
    TWatchHooks hooks;
    hooks.ConnectToBases = [this] {
        TConnectHooks connect;
        connect.UpdateStatusBar = [this] { UpdateStatusBar(); };
        connect.TableTick = [this] { Watch.timTable(); };
        connect.UpdateSumList = [this] { CallIfSet(UpdateSumList); };
        connect.UpdatePortfolioSum = [this] { CallIfSet(UpdatePortfolioSum); };
        return ConnectToBases(Settings, DatMod, Log, connect);
    };
    hooks.LoadCanceledOrders = [this] { Intake.LoadCanceledOrders(); };
    hooks.LoadFilledOrders = [this](bool allRows) { Intake.LoadFilledOrders(allRows); };
    hooks.LoadActiveOrders = [this] { Intake.LoadActiveOrders(); };
    hooks.WriteTransFile = [this] { Writer.WriteTransFile(); };
    hooks.CheckTRO = [this] { ResultReader.actCheckTROExecute(); };
    hooks.ReadInfoLogAtStart = [this] { LinkMonitor.TakeStartingSize(); };
    hooks.UpdatePortfolioSum = [this] { CallIfSet(UpdatePortfolioSum); };
    hooks.ShowWatchIcon = [this](int frame) { CallIfSet(ShowWatchIcon, frame); };
    hooks.CommandsChanged = [this] { CallIfSet(CommandsChanged); };
    hooks.ArmTableTimer = [this] { timUpdateTable.SetEnabled(true); };
    return hooks;
}
