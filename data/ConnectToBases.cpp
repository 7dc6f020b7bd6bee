#include "data/ConnectToBases.h"

#include "data/DatMod.h"
#include "data/Settings.h"
#include "base/Error.h"
#include "base/OperationLog.h"

namespace {

bool Connect(TConnection& connection, const QString& path, TOperationLog& log)
{
    try {
        connection.Close();
        connection.Open(path);
        log.AddToLog(QStringLiteral("Подключение к базе данных ") + path + QStringLiteral(": OK"));
        return true;
    } catch (const std::exception& error) {
        log.AddToLog(QStringLiteral("При подключении к базе данных ") + path + QStringLiteral(" произошла ошибка:")
                     + QStringLiteral("\r\n") + ErrorText(error));
        return false;
    }
}

void Call(const std::function<void()>& hook)
{
    if (hook)
        hook();
}

} // namespace

bool ConnectToBases(TSettings& settings, TDatMod& datMod, TOperationLog& log, const TConnectHooks& hooks)
{
    bool omegaOpen = false;
    bool quikDataOpen = false;
    try {
        omegaOpen = Connect(datMod.conOmega, settings.edtAlerts, log);
        quikDataOpen = Connect(datMod.conQuikData, settings.edtQuikData, log);
        Call(hooks.UpdateStatusBar);
        if (omegaOpen && quikDataOpen) {
            Call(hooks.TableTick);
            datMod.tWorkSpaces.Open();
            datMod.tStrategy.Open();
            datMod.tSecCode.Open();
            datMod.tOrderNumber.Open();
            datMod.tClientOpenPositions.Open();
            datMod.tClients.Open();
            Call(hooks.UpdateSumList);
            Call(hooks.UpdatePortfolioSum);
        }
    } catch (...) {
        // The log is written before the error goes on to the command that connected.
        try {
            log.SaveLog();
        } catch (...) {
        }
        throw;
    }
    log.SaveLog();
    return omegaOpen && quikDataOpen;
}
