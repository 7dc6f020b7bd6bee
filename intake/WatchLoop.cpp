#include "intake/WatchLoop.h"

#include "base/CoreEvents.h"
#include "base/Environment.h"
#include "base/Error.h"
#include "base/OperationLog.h"
#include "data/Connection.h"
#include "data/BridgeHolder.h"
#include "data/ConnectToBases.h"
#include "data/DatabaseFiles.h"
#include "data/DataSet.h"
#include "data/DatMod.h"
#include "data/Settings.h"
#include "intake/Alarm.h"
#include "intake/Dispatch.h"
#include "intake/OrderIntake.h"
#include "trade/LinkMonitor.h"
#include "trade/ResultReader.h"
#include "trade/TransWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// Creates the file's folder when it is missing (one level only: a missing parent is
// left to fail at the file), then creates the file empty or empties it.
void CreateEmpty(const QString& path)
{
    const QFileInfo info(path);
    const QString folder = info.absolutePath();
    if (!QFileInfo::exists(folder))
        QDir().mkdir(folder);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw TError(QStringLiteral("Не удалось создать файл \"%1\". %2").arg(path, file.errorString()));
}

} // namespace

QString CompanionTrrPath(const QString& resultPath)
{
    const QFileInfo info(resultPath);
    const QString suffix = info.suffix();
    const QString stem = suffix.isEmpty() && !resultPath.endsWith(QLatin1Char('.'))
        ? resultPath
        : resultPath.left(resultPath.size() - suffix.size() - 1);
    return stem + QStringLiteral(".TRR");
}

TWatchLoop::TWatchLoop(TSettings& settings, TDatMod& datMod, TOperationLog& log, TOrderIntake& intake,
                       TTransWriter& writer, TResultReader& resultReader, TLinkMonitor& linkMonitor,
                       TBridgeHolder& holder, TCoreEvents& events, TEnvironment& environment)
    : FSettings(settings), FDatMod(datMod), FLog(log), FIntake(intake), FWriter(writer),
      FResultReader(resultReader), FLinkMonitor(linkMonitor), FHolder(holder), FEvents(events),
      FEnvironment(environment)
{
}

QString TWatchLoop::DatabaseRefusal(const QString& terminalFile) const
{
    const QString check = QStringLiteral(" Проверьте пути к файлам транзакций в настройках.");
    for (const QString& source : {FSettings.edtAlerts, FSettings.edtQuikData}) {
        for (const QString& databaseFile : DatabaseFilesOf(source)) {
            if (SameFile(terminalFile, databaseFile))
                return QStringLiteral("Файлы транзакций не очищены: файл %1 является файлом базы данных %2.")
                           .arg(terminalFile, source.trimmed())
                    + check;
        }
    }
    if (HoldsDatabase(terminalFile))
        return QStringLiteral("Файлы транзакций не очищены: файл %1 содержит базу данных.").arg(terminalFile) + check;
    return {};
}

void TWatchLoop::ResetTerminalFiles()
{
    const QString tri = FSettings.edtTRI;
    const QString tro = FSettings.edtTRO;
    // Emptying a database named here by a settings slip would destroy it: a group with
    // such a file is left alone as a whole, each such file named in the log.
    bool refused = false;
    for (const QString& file : {tri, tro, CompanionTrrPath(tro)}) {
        const QString refusal = DatabaseRefusal(file);
        if (!refusal.isEmpty()) {
            FLog.AddToLog(refusal);
            refused = true;
        }
    }
    if (refused)
        return;
    try {
        CreateEmpty(tri);
        CreateEmpty(tro);
        CreateEmpty(CompanionTrrPath(tro));
    } catch (const std::exception& error) {
        FLog.AddToLog(QStringLiteral("При создании файлов транзакций ") + tri + QStringLiteral(", ")
                      + tro + QStringLiteral(" произошла ошибка: ") + QStringLiteral("\r\n")
                      + ErrorText(error));
    }
}

void TWatchLoop::StartUp()
{
    // Another program sending to the same terminal: emptying its import file would lose
    // the lines the terminal has not read yet, and the next ones would double its orders.
    const QString refusal = FHolder.HoldImportFile(FSettings.edtTRI);
    if (FHolder.ImportFileHeldElsewhere()) {
        TellHeldElsewhere(refusal + QStringLiteral(" Файлы транзакций не очищены."));
    } else {
        ResetTerminalFiles();
        FHolder.HoldImportFile(FSettings.edtTRI); // its folder may have been made just now
    }
    try {
        if (FSettings.chConnect)
            actConnectToBaseExecute();
        FLinkMonitor.TakeStartingSize();
    } catch (const std::exception& error) {
        FLog.AddToLog(ErrorText(error));
    }
    FLog.SaveLog();
}

bool TWatchLoop::ConnectToBases()
{
    bool connected = false;
    FAlertsCheck.Release();
    FAlertsWake.Follow(QString());
    try {
        // This program's mark leaves the database it may be leaving.
        FHolder.ReleaseBridge();
        connected = ConnectDatabases(FSettings, FDatMod, FLog, FEvents);
        if (connected) {
            const QString holder = FHolder.ClaimBridge();
            if (!holder.isEmpty())
                TellHeldElsewhere(holder);
            CheckBridgeFile();
            // Before the tick below can send anything: the numbering continues after the
            // highest number this bridge database has seen, in this run or before it.
            FWriter.ContinueNumbering(FDatMod.HighestTransId());
            // The records of another running program's dispatches are its own.
            if (!FHolder.BridgeHeldElsewhere())
                ReportInterruptedDispatches();
            timTable();
            FDatMod.OpenBridgeTables();
            FEvents.SecuritiesChanged();
            FEvents.PortfolioChanged();
            FollowAlertsFile();
        }
    } catch (...) {
        // The log is written before the error goes on to the command that connected.
        FLog.SaveLogQuietly();
        throw;
    }
    FLog.SaveLog();
    return connected;
}

void TWatchLoop::actConnectToBaseExecute()
{
    if (!ConnectToBases())
        return;
    // The transaction report is kept: a withdrawal after a restart finds the exchange
    // order of a transaction sent before it, and a late result its transaction's row.
    FEvents.BasesConnected();
}

void TWatchLoop::actStartWatchExecute()
{
    try {
        // Every order would fail the session filter, or go astray: watching stays off
        // until the settings are mended.
        FSettings.CheckWatchSettings();
        FHolder.HoldForSending(FSettings.edtTRI);
    } catch (const TError& error) {
        FLog.AddToLog(error.Text());
        FLog.SaveLogQuietly();
        throw; // shown in the box by the command's guard
    }
    const QList<TOrderIntake::TUnhandledRow> unhandled = FIntake.TakeLastIds(TablesReadIn(FSettings.rgpFilled));
    FWatching = true;
    FEvents.WatchingChanged(true);
    FLog.AddToLog(QStringLiteral("Загрузка ордеров включена."));
    ReportUnhandledRows(unhandled);
    FLog.SaveLog();
}

void TWatchLoop::ReportUnhandledRows(const QList<TOrderIntake::TUnhandledRow>& unhandled)
{
    // An order whose interrupted dispatch was reported at connection is not named twice.
    QStringList rows;
    for (const TOrderIntake::TUnhandledRow& row : unhandled) {
        const bool filled = row.Table == TOrderIntake::TAlertTable::Filled;
        const bool reported = row.Table != TOrderIntake::TAlertTable::Canceled
            && FInterruptedOrders.contains(std::pair(row.Id, filled));
        if (!reported)
            rows << row.Text;
    }
    if (rows.isEmpty())
        return;
    const QString header = QStringLiteral(
        "Ордера, которые не были обработаны до остановки или сбоя программы или поступили, пока загрузка не "
        "работала, автоматически не отправляются: они могут быть устаревшими. При необходимости отправьте их "
        "вручную.");
    FLog.AddToLog(header);
    for (const QString& row : rows)
        FLog.AddToLog(row);
    FLog.SaveLogQuietly();
    // The box and the e-mail name the first rows; the log names every one.
    QStringList shown = rows.mid(0, UnhandledRowsShown);
    if (rows.size() > UnhandledRowsShown)
        shown << QStringLiteral("… всего %1, все перечислены в журнале.").arg(rows.size());
    const QString text = header + QStringLiteral("\r\n") + shown.join(QStringLiteral("\r\n"));
    if (MailOn(FSettings))
        FEvents.Announce(text);
    FEnvironment.ReportError(text);
}

QList<TOrderIntake::TAlertTable> TablesReadIn(int rgpFilled)
{
    using TTable = TOrderIntake::TAlertTable;
    switch (rgpFilled) {
    case 0:
        return {TTable::Canceled, TTable::Filled, TTable::Active};
    case 1:
        return {TTable::Filled};
    default:
        return {};
    }
}

void TWatchLoop::actStopWatchExecute()
{
    FWatching = false;
    FEvents.WatchIconChanged(0);
    FEvents.WatchingChanged(false);
    FLog.AddToLog(QStringLiteral("Загрузка ордеров остановлена."));
    FLog.SaveLog();
}

void TWatchLoop::timTable()
{
    StopOnReplacedAlerts();
    const QString lost = FHolder.RefreshBridge();
    if (!lost.isEmpty()) {
        if (FWatching)
            actStopWatchExecute();
        Alarm(lost);
    }
    for (TDataSet* dataSet : FDatMod.conOmega().DataSets()) {
        if (!dataSet->IsQuery())
            RefreshTable(*dataSet);
    }
    RefreshTable(FDatMod.tParam());
    RefreshTable(FDatMod.tPortfolio());
    FEvents.PortfolioChanged();
    RefreshTable(FDatMod.tOrderNumber());
    if (FWatching)
        actWatchingExecute();
    // Another program's results are booked by that program.
    if (!FHolder.HeldElsewhere())
        FResultReader.actCheckTROExecute();
    FLog.SaveLog();
}

void TWatchLoop::FollowAlertsFile()
{
    const TConnection& alerts = FDatMod.conOmega();
    FAlertsWake.Follow(alerts.Engine() == TConnection::TEngine::Sqlite ? alerts.Source() : QString());
    FAlertsWakeFresh = true;
}

void TWatchLoop::timAlertsCheck()
{
    if (FWatching && StopOnReplacedAlerts())
        return;
    // Looked at also while not watching: a change from before watching began is the
    // tick's, not a reason for a cycle now.
    const bool changed = FAlertsCheck.Changed(FDatMod.conOmega());
    // The look's first opening makes the write-ahead journal of a WAL file; a change the
    // wake did not report may come from a journal made since. Either is followed from now on.
    if (changed || FAlertsWakeFresh) {
        FAlertsWakeFresh = false;
        FAlertsWake.FollowNewFiles();
    }
    if (changed && FWatching)
        actWatchingExecute();
}

void TWatchLoop::actWatchingExecute()
{
    FIconIndex = FIconIndex == 3 ? 0 : FIconIndex + 1;
    FEvents.WatchIconChanged(FIconIndex);
    try {
        switch (FSettings.rgpFilled) {
        case 0:
            FIntake.LoadCanceledOrders();
            FIntake.LoadFilledOrders(false);
            FIntake.LoadActiveOrders();
            break;
        case 1:
            FIntake.LoadFilledOrders(true);
            break;
        default: // no selection: nothing is read
            break;
        }
    } catch (const TBridgeFailure& failure) {
        StopOnBridgeFailure(failure.Text());
        throw; // the guard of the tick shows it in a box
    }
    FWriter.WriteTransFile();
    FLog.SaveLog();
}

void TWatchLoop::CheckBridgeFile()
{
    const QString problem = FDatMod.BridgeQuickCheck();
    if (!problem.isEmpty())
        Alarm(QStringLiteral("База данных Quik %1 повреждена (проверка PRAGMA quick_check): ").arg(FSettings.edtQuikData)
              + QStringLiteral("\r\n") + problem);
}

void TWatchLoop::ReportInterruptedDispatches()
{
    const QList<TPendingDispatch> pending = FDatMod.TakePendingDispatches();
    for (const TPendingDispatch& row : pending) {
        if (!row.Kill)
            FInterruptedOrders.insert(std::pair(row.IdOrder, row.Filled));
    }
    const QStringList reports = InterruptedDispatchReports(pending);
    for (const QString& report : reports)
        Alarm(report);
}

void TWatchLoop::TellHeldElsewhere(const QString& text)
{
    FLog.AddToLog(text);
    FLog.SaveLogQuietly();
    FEnvironment.ReportError(text);
}

void TWatchLoop::Alarm(const QString& text)
{
    AlarmOperator(FLog, FSettings, FEvents, FEnvironment, text);
}

bool TWatchLoop::StopOnReplacedAlerts()
{
    TConnection& alerts = FDatMod.conOmega();
    const bool fileMoved = alerts.FileMoved();
    const QString journal = fileMoved ? QString() : alerts.JournalMoved();
    if (!fileMoved && journal.isEmpty())
        return false;
    const bool watching = FWatching;
    if (!watching && FAlertsReplacedTold == alerts.Session())
        return true;
    // Noted before the box: a tick served while it is open is not told again.
    FAlertsReplacedTold = alerts.Session();
    if (watching)
        actStopWatchExecute();
    const QString file = QDir::toNativeSeparators(alerts.Source());
    const QString what = fileMoved
        ? QStringLiteral("Файл базы данных %1").arg(file)
        : QStringLiteral("Журнал %1 файла базы данных %2").arg(QDir::toNativeSeparators(journal), file);
    Alarm(what + QStringLiteral(" заменен, перемещен или удален после подключения: новые ордера из него не "
                                "загружаются. Подключитесь к базам данных заново и включите загрузку ордеров."));
    return true;
}

QStringList InterruptedDispatchReports(const QList<TPendingDispatch>& pending)
{
    // One report per order, its accounts in the order they were recorded.
    QStringList reports;
    QList<const TPendingDispatch*> orders;
    QList<QStringList> codes;
    for (const TPendingDispatch& row : pending) {
        qsizetype at = 0;
        while (at < orders.size()
               && !(orders[at]->IdOrder == row.IdOrder && orders[at]->Filled == row.Filled && orders[at]->Kill == row.Kill))
            ++at;
        if (at == orders.size()) {
            orders << &row;
            codes << QStringList();
        }
        codes[at] << row.Code;
    }
    for (qsizetype i = 0; i < orders.size(); ++i) {
        const TPendingDispatch& order = *orders[i];
        reports << QStringLiteral("Отправка ордера # %1 из таблицы %2 (%3) была прервана: строки для счетов %4 "
                                  "могли не попасть в файл транзакций. Ордер повторно не отправляется: проверьте "
                                  "файл транзакций и при необходимости отправьте ордер вручную.")
                       .arg(order.IdOrder)
                       .arg(order.Filled ? QStringLiteral("FilledOrders") : QStringLiteral("ActiveOrders"))
                       .arg(order.Kill ? QStringLiteral("снятие заявки") : QStringLiteral("новая заявка"))
                       .arg(codes[i].join(TPendingDispatch::CodeSeparator()));
    }
    return reports;
}

void TWatchLoop::StopOnBridgeFailure(const QString& text)
{
    // Every later order would fail the same way, or worse go out unbooked: watching
    // waits for the operator, who starts it again once the bridge database works.
    FLog.AddToLog(text);
    actStopWatchExecute();
    if (MailOn(FSettings))
        FEvents.Announce(text);
}
