#include "data/AlertsChangeCheck.h"

#include "data/Connection.h"

#include <QSqlDatabase>
#include <sqlite3.h>

TAlertsChangeCheck::~TAlertsChangeCheck()
{
    Close();
}

bool TAlertsChangeCheck::Changed(const TConnection& alerts) noexcept
{
    if (alerts.Engine() != TConnection::TEngine::Sqlite || !alerts.Connected()) {
        Close();
        return false;
    }
    if (!FDatabase || FSession != alerts.Session()) {
        if (!Open(alerts))
            return false;
        const std::optional<qint64> version = DataVersion();
        FLastVersion = version.value_or(0);
        return false;
    }
    const std::optional<qint64> version = DataVersion();
    if (!version || *version == FLastVersion)
        return false;
    FLastVersion = *version;
    return true;
}

bool TAlertsChangeCheck::Open(const TConnection& alerts) noexcept
{
    Close();
    try {
        // The same file as the connection's, named as it names it (a SQLite URI whose
        // "mode=rw" forbids making a new file). It only ever reads.
        const QByteArray name = alerts.Database().databaseName().toUtf8();
        if (sqlite3_open_v2(name.constData(), &FDatabase, SQLITE_OPEN_READWRITE | SQLITE_OPEN_URI, nullptr) != SQLITE_OK
            || sqlite3_prepare_v2(FDatabase, "PRAGMA data_version", -1, &FVersion, nullptr) != SQLITE_OK) {
            Close();
            return false;
        }
    } catch (...) {
        Close();
        return false;
    }
    FSession = alerts.Session();
    return true;
}

void TAlertsChangeCheck::Close() noexcept
{
    sqlite3_finalize(FVersion);
    FVersion = nullptr;
    sqlite3_close(FDatabase);
    FDatabase = nullptr;
    FSession = 0;
}

std::optional<qint64> TAlertsChangeCheck::DataVersion() noexcept
{
    const int step = sqlite3_step(FVersion);
    std::optional<qint64> version;
    if (step == SQLITE_ROW)
        version = sqlite3_column_int64(FVersion, 0);
    sqlite3_reset(FVersion);
    // A writer holding the file for a moment leaves the answer to the next look; any
    // other failure opens the look afresh.
    if (!version && step != SQLITE_BUSY && step != SQLITE_LOCKED)
        Close();
    return version;
}
