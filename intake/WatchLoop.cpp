#include "intake/WatchLoop.h"

#include "data/DatMod.h"
#include "data/DataSet.h"
#include "data/Settings.h"
#include "shell/CallIfSet.h"
#include "shell/Error.h"
#include "shell/OperationLog.h"

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

TWatchLoop::TWatchLoop(TSettings& settings, TDatMod& datMod, TOperationLog& log, TWatchHooks hooks)
    : FSettings(settings), FDatMod(datMod), FLog(log), FHooks(std::move(hooks))
{
}

void TWatchLoop::ResetTerminalFiles()
{
    const QString tri = FSettings.edtTRI;
    const QString tro = FSettings.edtTRO;
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
    ResetTerminalFiles();
    try {
        if (FSettings.chConnect)
            actConnectToBaseExecute();
        CallIfSet(FHooks.ReadInfoLogAtStart);
    } catch (const std::exception& error) {
        FLog.AddToLog(ErrorText(error));
    }
    FLog.SaveLog();
}

void TWatchLoop::actConnectToBaseExecute()
{
    if (!FHooks.ConnectToBases || !FHooks.ConnectToBases())
        return;
    FDatMod.ClearOrderNumbers();
    CallIfSet(FHooks.ArmTableTimer);
    if (!actStopWatchEnabled)
        actStartWatchEnabled = true;
    CallIfSet(FHooks.CommandsChanged);
}

void TWatchLoop::actStartWatchExecute()
{
    State.ActiveLastId = FDatMod.GetLastId(FDatMod.tActiveOrders);
    State.FilledLastId = FDatMod.GetLastId(FDatMod.tFilledOrders);
    State.CanceledLastId = FDatMod.GetLastId(FDatMod.tCanceledOrders);
    State.Watching = true;
    actStartWatchEnabled = false;
    actStopWatchEnabled = true;
    CallIfSet(FHooks.CommandsChanged);
    FLog.AddToLog(QStringLiteral("Загрузка ордеров включена."));
    FLog.SaveLog();
}

void TWatchLoop::actStopWatchExecute()
{
    State.Watching = false;
    CallIfSet(FHooks.ShowWatchIcon, 0);
    actStartWatchEnabled = true;
    actStopWatchEnabled = false;
    CallIfSet(FHooks.CommandsChanged);
    FLog.AddToLog(QStringLiteral("Загрузка ордеров остановлена."));
    FLog.SaveLog();
}

void TWatchLoop::timTable()
{
    for (TDataSet* dataSet : FDatMod.conOmega.DataSets()) {
        if (!dataSet->IsQuery())
            RefreshTable(*dataSet);
    }
    RefreshTable(FDatMod.tParam);
    RefreshTable(FDatMod.tPortfolio);
    CallIfSet(FHooks.UpdatePortfolioSum);
    RefreshTable(FDatMod.tOrderNumber);
    if (State.Watching)
        actWatchingExecute();
    CallIfSet(FHooks.CheckTRO);
    FLog.SaveLog();
}

void TWatchLoop::actWatchingExecute()
{
    State.IconIndex = State.IconIndex == 3 ? 0 : State.IconIndex + 1;
    CallIfSet(FHooks.ShowWatchIcon, State.IconIndex);
    switch (FSettings.rgpFilled) {
    case 0:
        CallIfSet(FHooks.LoadCanceledOrders);
        CallIfSet(FHooks.LoadFilledOrders, false);
        CallIfSet(FHooks.LoadActiveOrders);
        break;
    case 1:
        CallIfSet(FHooks.LoadFilledOrders, true);
        break;
    default: // no selection: nothing is read
        break;
    }
    CallIfSet(FHooks.WriteTransFile);
    FLog.SaveLog();
}
