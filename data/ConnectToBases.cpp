#include "data/ConnectToBases.h"

#include "base/CoreEvents.h"
#include "base/Error.h"
#include "base/OperationLog.h"
#include "data/BridgeIndexes.h"
#include "data/DatMod.h"
#include "data/Settings.h"

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

} // namespace

bool ConnectDatabases(TSettings& settings, TDatMod& datMod, TOperationLog& log, TCoreEvents& events)
{
    const bool omegaOpen = Connect(datMod.conOmega(), settings.edtAlerts, log);
    const bool quikDataOpen = Connect(datMod.conQuikData(), settings.edtQuikData, log);
    // A bridge file made before its indexes gets them now, once.
    if (quikDataOpen)
        AddMissingBridgeIndexes(datMod.conQuikData());
    events.StatusChanged();
    return omegaOpen && quikDataOpen;
}
