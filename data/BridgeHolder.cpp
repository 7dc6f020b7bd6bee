#include "data/BridgeHolder.h"

#include "base/Environment.h"
#include "base/Error.h"
#include "base/OperationLog.h"
#include "base/ProcessAlive.h"
#include "data/Batch.h"
#include "data/Connection.h"
#include "data/Settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>
#include <algorithm>

namespace {

const QString HolderTable = QStringLiteral("tBridgeHolder");

QString Native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

QString UtcText(const QDateTime& time)
{
    return time.toUTC().toString(Qt::ISODateWithMs);
}

QDateTime FromUtcText(const QString& text)
{
    QDateTime time = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!time.isValid())
        time = QDateTime::fromString(text, Qt::ISODate);
    return time.toUTC();
}

// Runs a statement with its values bound; throws TError with the database's text.
QSqlQuery Run(TConnection& connection, const QString& text, const QVariantList& values = {})
{
    QSqlQuery query(connection.Database());
    if (!query.prepare(text))
        throw TError(query.lastError().text());
    for (const QVariant& value : values)
        query.addBindValue(value);
    if (!query.exec())
        throw TError(query.lastError().text());
    return query;
}

} // namespace

QStringList BridgeHolderSchema()
{
    return {QStringLiteral("CREATE TABLE IF NOT EXISTS [%1] (\n  [host] VARCHAR(255) COLLATE NOCASE,\n"
                           "  [pid] BIGINT,\n  [started] VARCHAR(40),\n  [refreshed] VARCHAR(40),\n"
                           "  [stale_after] INTEGER\n)")
                .arg(HolderTable)};
}

QString TBridgeHolder::LockPathOf(const QString& importPath)
{
    return importPath + QStringLiteral(".lock");
}

TBridgeHolder::TBridgeHolder(const TSettings& settings, TConnection& bridge, TEnvironment& environment,
                             TOperationLog& log)
    : FSettings(settings), FBridge(bridge), FEnvironment(environment), FLog(log),
      FHost(QSysInfo::machineHostName()), FPid(QCoreApplication::applicationPid()),
      FStarted(UtcText(environment.Now()))
{
}

TBridgeHolder::~TBridgeHolder()
{
    ReleaseBridge();
    if (FLock)
        FLock->unlock();
}

QString TBridgeHolder::HoldImportFile(const QString& importPath)
{
    // No lock file is made for a path that names no file (it would land in the working
    // directory); the settings check names the empty key.
    if (importPath.trimmed().isEmpty()) {
        FLock.reset();
        FLockedPath.clear();
        FImportHolder.clear();
        return QStringLiteral("Путь к файлу транзакций не задан.");
    }
    const QString path = QFileInfo(importPath).absoluteFilePath();
    if (FLock && FLockedPath == path)
        return {};
    FLock.reset(); // the lock of another import file goes
    FLockedPath.clear();
    FImportHolder.clear();

    const QString lockPath = LockPathOf(path);
    auto lock = std::make_unique<QLockFile>(lockPath);
    // A live holder keeps its lock however long it runs: only a lock whose process has
    // ended is stale, never one that is merely old.
    lock->setStaleLockTime(0);
    qint64 pid = 0;
    QString host;
    QString application;
    const bool found = QFileInfo::exists(lockPath) && lock->getLockInfo(&pid, &host, &application);
    const QString since = Shown(UtcText(QFileInfo(lockPath).lastModified()));
    if (lock->tryLock(0)) {
        FLock = std::move(lock);
        FLockedPath = path;
        if (found && pid != FPid)
            FLog.AddToLog(QStringLiteral("Блокировка файла транзакций %1 оставлена завершившимся процессом %2 (%3) "
                                         "на компьютере %4; файл транзакций занят этой программой.")
                              .arg(Native(path)).arg(pid).arg(application, host));
        return {};
    }
    if (lock->error() == QLockFile::LockFailedError) {
        lock->getLockInfo(&pid, &host, &application);
        FImportHolder = QStringLiteral("Файл транзакций %1 занят другим экземпляром программы: компьютер %2, "
                                       "процесс %3 (%4), с %5 (файл блокировки %6).")
                            .arg(Native(path), host)
                            .arg(pid)
                            .arg(application, since, Native(lockPath));
        return FImportHolder;
    }
    return QStringLiteral("Не удалось создать файл блокировки %1 для файла транзакций %2.")
        .arg(Native(lockPath), Native(path));
}

void TBridgeHolder::HoldImportFileForWriting(const QString& importPath)
{
    const QString refusal = HoldImportFile(importPath);
    if (!refusal.isEmpty())
        throw TError(refusal);
}

void TBridgeHolder::HoldForSending(const QString& importPath)
{
    HoldImportFileForWriting(importPath);
    if (!FBridge.Connected())
        return;
    if (!FClaimed || FSession != FBridge.Session()) {
        const QString refusal = ClaimBridge();
        if (!refusal.isEmpty())
            throw TError(refusal);
    }
}

int TBridgeHolder::StaleAfterSeconds() const
{
    bool ok = false;
    const int period = FSettings.edtIntTable.trimmed().toInt(&ok);
    constexpr int kLongest = 24 * 3600;
    return std::max(MinimumStaleSeconds, ok && period > 0 ? 3 * std::min(period, kLongest) : 0);
}

QString TBridgeHolder::NowText() const
{
    return UtcText(FEnvironment.Now());
}

QString TBridgeHolder::Shown(const QString& utcText) const
{
    const QDateTime time = FromUtcText(utcText);
    if (!time.isValid())
        return utcText;
    return time.toLocalTime().toString(FEnvironment.Regional.ShortDateFormat + QLatin1Char(' ')
                                       + FEnvironment.Regional.LongTimeFormat);
}

bool TBridgeHolder::Mine(const TRow& row) const
{
    return row.Host.compare(FHost, Qt::CaseInsensitive) == 0 && row.Pid == FPid && row.Started == FStarted;
}

bool TBridgeHolder::Live(const TRow& row, const QDateTime& nowUtc) const
{
    // A process of this computer that has ended holds nothing, however fresh its row.
    if (row.Host.compare(FHost, Qt::CaseInsensitive) == 0 && row.Pid != FPid && !ProcessRunning(row.Pid))
        return false;
    const QDateTime refreshed = FromUtcText(row.Refreshed);
    // A row that cannot be read is taken as live: better a refusal the operator clears by
    // hand than two programs sending.
    if (!refreshed.isValid())
        return true;
    return nowUtc <= refreshed.addSecs(std::max(row.StaleAfter, MinimumStaleSeconds));
}

QString TBridgeHolder::Describe(const TRow& row) const
{
    return QStringLiteral("компьютер %1, процесс %2, запущен %3, последняя отметка %4")
        .arg(row.Host)
        .arg(row.Pid)
        .arg(Shown(row.Started), Shown(row.Refreshed));
}

bool TBridgeHolder::TableKept()
{
    const QSqlDatabase database = FBridge.Database();
    if (database.tables(QSql::Tables).contains(HolderTable, Qt::CaseInsensitive))
        return true;
    if (FBridge.Engine() == TConnection::TEngine::Sqlite) {
        QSqlQuery create(database);
        if (create.exec(BridgeHolderSchema().first()))
            return true;
    }
    if (!FToldUnguarded.contains(FBridge.Source())) {
        FToldUnguarded << FBridge.Source();
        FLog.AddToLog(QStringLiteral("В базе данных Quik %1 нет таблицы %2: второй экземпляр программы с этой базой "
                                     "данных исключает только блокировка файла транзакций.")
                          .arg(FBridge.Source(), HolderTable));
    }
    return false;
}

QList<TBridgeHolder::TRow> TBridgeHolder::Rows()
{
    QSqlQuery query = Run(FBridge, QStringLiteral("SELECT host, pid, started, refreshed, stale_after FROM ") + HolderTable);
    QList<TRow> rows;
    while (query.next()) {
        TRow row;
        row.Host = query.value(0).toString();
        row.Pid = query.value(1).toLongLong();
        row.Started = query.value(2).toString();
        row.Refreshed = query.value(3).toString();
        row.StaleAfter = query.value(4).toInt();
        rows << row;
    }
    return rows;
}

void TBridgeHolder::Remove(const TRow& row)
{
    Run(FBridge, QStringLiteral("DELETE FROM ") + HolderTable + QStringLiteral(" WHERE host = ? AND pid = ? AND started = ?"),
        {row.Host, row.Pid, row.Started});
}

void TBridgeHolder::Insert()
{
    Run(FBridge,
        QStringLiteral("INSERT INTO ") + HolderTable
            + QStringLiteral(" (host, pid, started, refreshed, stale_after) VALUES (?, ?, ?, ?, ?)"),
        {FHost, FPid, FStarted, NowText(), StaleAfterSeconds()});
}

int TBridgeHolder::UpdateMine()
{
    QSqlQuery query = Run(FBridge,
                          QStringLiteral("UPDATE ") + HolderTable
                              + QStringLiteral(" SET refreshed = ?, stale_after = ? WHERE host = ? AND pid = ? AND started = ?"),
                          {NowText(), StaleAfterSeconds(), FHost, FPid, FStarted});
    return query.numRowsAffected();
}

QString TBridgeHolder::Claim()
{
    if (!TableKept())
        return {};
    TBatch batch(FBridge);
    const QDateTime now = FEnvironment.Now().toUTC();
    bool mine = false;
    QList<TRow> stale;
    for (const TRow& row : Rows()) {
        if (Mine(row))
            mine = true;
        else if (Live(row, now))
            return QStringLiteral("База данных Quik %1 занята другим экземпляром программы: %2.")
                .arg(FBridge.Source(), Describe(row));
        else
            stale << row;
    }
    for (const TRow& row : std::as_const(stale))
        Remove(row);
    if (mine)
        UpdateMine();
    else
        Insert();
    batch.Commit();
    FRowWritten = true;
    for (const TRow& row : std::as_const(stale))
        FLog.AddToLog(QStringLiteral("Запись о программе, работавшей с базой данных Quik %1, устарела и снята: %2.")
                          .arg(FBridge.Source(), Describe(row)));
    return {};
}

QString TBridgeHolder::ClaimBridge()
{
    FSession = FBridge.Connected() ? std::optional<quint64>(FBridge.Session()) : std::nullopt;
    FClaimed = false;
    FRowWritten = false;
    FBridgeHolder.clear();
    FBridgeProblem.clear();
    if (!FSession)
        return {};
    try {
        const QString holder = Claim();
        if (!holder.isEmpty()) {
            FBridgeHolder = holder;
            return holder;
        }
        FClaimed = true;
        FLastRefresh = FEnvironment.Now();
        return {};
    } catch (const std::exception& error) {
        FBridgeProblem = QStringLiteral("Не удалось записать в базу данных Quik %1, что она занята этой программой:")
                             .arg(FBridge.Source())
            + QStringLiteral("\r\n") + ErrorText(error);
        return FBridgeProblem;
    }
}

QString TBridgeHolder::RefreshBridge()
{
    // Nothing of this program's to refresh: not connected, or another program's database.
    if (!FSession || !FBridge.Connected() || FSession != FBridge.Session() || BridgeHeldElsewhere())
        return {};
    // Held without a row (a database that keeps none): only the file lock guards.
    if (FClaimed && !FRowWritten)
        return {};
    const QDateTime now = FEnvironment.Now();
    if (FLastRefresh.isValid() && now >= FLastRefresh && FLastRefresh.secsTo(now) < RefreshSeconds)
        return {};
    FLastRefresh = now;
    if (FClaimed) {
        try {
            if (UpdateMine() > 0)
                return {};
        } catch (const std::exception&) {
            // A busy database misses one refresh; the row stays live for several more.
            return {};
        }
    }
    // The row is gone (another program found it stale and took the database, or it was
    // removed by hand), or an earlier claim failed: claimed again unless another program
    // holds the database now, which is told once.
    const QString refusal = ClaimBridge();
    return BridgeHeldElsewhere() ? refusal : QString();
}

void TBridgeHolder::ReleaseBridge() noexcept
{
    try {
        if (FRowWritten && FBridge.Connected() && FSession == FBridge.Session())
            Run(FBridge,
                QStringLiteral("DELETE FROM ") + HolderTable + QStringLiteral(" WHERE host = ? AND pid = ? AND started = ?"),
                {FHost, FPid, FStarted});
    } catch (...) {
        // Left behind, the row goes stale and the next program takes it over.
    }
    FRowWritten = false;
    FClaimed = false;
    FSession.reset();
    FBridgeHolder.clear();
}
