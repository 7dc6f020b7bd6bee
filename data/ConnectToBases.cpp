#include "data/ConnectToBases.h"

#include "base/CoreEvents.h"
#include "base/Error.h"
#include "base/OperationLog.h"
#include "data/BridgeIndexes.h"
#include "data/DatMod.h"
#include "data/RiskColumns.h"
#include "data/Settings.h"

#include <QSqlQuery>

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

// A SQLite bridge file keeps its journal ahead of its pages (WAL): a commit appends its
// pages to the journal file instead of copying the old ones aside and syncing the disk
// four times before the dispatch's lines can be written, and readers (the grids, the
// terminal's export) do not wait for a writer. The mode stays with the file. With
// synchronous=FULL each commit syncs the journal once: a booking and the highest
// transaction number handed out survive a power failure as well as a crash of the
// program, so that no number is handed out twice.
// An ODBC source (an Access file, or another program's choice) is left as it is, and so
// is a file that cannot change its journal now (read-only, held by another program).
void UseWriteAheadLog(TConnection& connection) noexcept
{
    if (connection.Engine() != TConnection::TEngine::Sqlite || !connection.Connected())
        return;
    try {
        QSqlQuery query(connection.Database());
        if (!query.exec(QStringLiteral("PRAGMA journal_mode=WAL")) || !query.next()
            || query.value(0).toString().compare(QStringLiteral("wal"), Qt::CaseInsensitive) != 0)
            return;
        query.finish();
        query.exec(QStringLiteral("PRAGMA synchronous=FULL"));
        query.finish();
        // The journal files may have come with the switch: their removal must be seen.
        connection.NoteJournalFiles();
    } catch (...) {
    }
}

} // namespace

bool ConnectDatabases(TSettings& settings, TDatMod& datMod, TOperationLog& log, TCoreEvents& events)
{
    const bool omegaOpen = Connect(datMod.conOmega(), settings.edtAlerts, log);
    const bool quikDataOpen = Connect(datMod.conQuikData(), settings.edtQuikData, log);
    // A bridge file made before its indexes or the limits' columns gets them now, once.
    if (quikDataOpen) {
        UseWriteAheadLog(datMod.conQuikData());
        AddMissingBridgeIndexes(datMod.conQuikData());
        AddMissingRiskColumns(datMod.conQuikData());
    }
    events.StatusChanged();
    return omegaOpen && quikDataOpen;
}
