#include "data/Connection.h"

#include "base/Error.h"
#include "data/DataSet.h"
#include "data/SqliteStatement.h"
#include "data/SqlValue.h"
#include "data/UnicodeNoCase.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QUuid>
#include <algorithm>
#include <sqlite3.h>

namespace {

const QString SqliteDriver = QStringLiteral("QSQLITE");
const QString OdbcDriver = QStringLiteral("QODBC");

// Prepared statements kept per connection: more than the data module's statements use.
const std::size_t KeptStatements = 32;

// How long a statement waits for a lock held by another program (the strategy platform,
// the trading terminal) before it fails.
const int BusyTimeoutMs = 5000;

QString SqliteUri(const QString& path)
{
    // The URI form lets "mode=rw" forbid creating the file. '%', '?' and '#' would end or
    // change the path part of the URI, so they are escaped.
    QString absolute = QFileInfo(path).absoluteFilePath();
    absolute.replace(QLatin1Char('%'), QStringLiteral("%25"))
        .replace(QLatin1Char('?'), QStringLiteral("%3F"))
        .replace(QLatin1Char('#'), QStringLiteral("%23"));
    if (!absolute.startsWith(QLatin1Char('/')))
        absolute.prepend(QStringLiteral("///")); // a drive letter: file:///C:/...
    return QStringLiteral("file:") + absolute + QStringLiteral("?mode=rw");
}

} // namespace

TConnection::TConnection()
    : FName(QStringLiteral("zovrant-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
{
}

TConnection::~TConnection()
{
    // Data sets normally die before their connection; a late one must not point here.
    for (TDataSet* dataSet : FDataSets)
        dataSet->Close();
    Forget();
}

bool TConnection::IsConnectionText(const QString& source)
{
    const QString text = source.trimmed();
    return text.startsWith(QStringLiteral("DSN="), Qt::CaseInsensitive)
        || text.startsWith(QStringLiteral("Driver="), Qt::CaseInsensitive);
}

TConnection::TEngine TConnection::EngineOf(const QString& source)
{
    const QString text = source.trimmed();
    if (text.endsWith(QStringLiteral(".mdb"), Qt::CaseInsensitive)
        || text.endsWith(QStringLiteral(".accdb"), Qt::CaseInsensitive)
        || IsConnectionText(text))
        return TEngine::Odbc;
    return TEngine::Sqlite;
}

QString TConnection::OdbcConnectionString(const QString& source)
{
    const QString text = source.trimmed();
    if (IsConnectionText(text))
        return text;
    return QStringLiteral("Driver={Microsoft Access Driver (*.mdb, *.accdb)};DBQ=")
        + QDir::toNativeSeparators(text) + QLatin1Char(';');
}

void TConnection::Open(const QString& source)
{
    Close();
    FSource = source;
    FEngine = EngineOf(source);
    // Every SQLite connection, also one the ODBC driver opens, compares text without
    // regard to case for Cyrillic letters too.
    RegisterUnicodeNoCase();
    if (FEngine == TEngine::Sqlite)
        OpenSqlite(source);
    else
        OpenOdbc(OdbcConnectionString(source));
}

void TConnection::OpenSqlite(const QString& path)
{
    if (path.trimmed().isEmpty())
        throw TError(QStringLiteral("Не указан файл базы данных."));
    const QFileInfo file(path);
    if (!file.exists() || !file.isFile())
        throw TError(QStringLiteral("Файл базы данных %1 не найден.").arg(path));
    Forget();
    FDatabase = QSqlDatabase::addDatabase(SqliteDriver, FName);
    FDatabase.setDatabaseName(SqliteUri(path));
    FDatabase.setConnectOptions(
        QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(BusyTimeoutMs));
    QString failure;
    if (!FDatabase.open()) {
        failure = FDatabase.lastError().text().trimmed();
    } else {
        // SQLite reads the file only at the first statement: a file that is no database
        // (a settings file chosen by mistake) is found here, not at the first table tick.
        QSqlQuery probe(FDatabase);
        if (!probe.exec(QStringLiteral("SELECT COUNT(*) FROM sqlite_master")))
            failure = probe.lastError().text().trimmed();
    }
    if (!failure.isEmpty()) {
        Forget();
        throw TError(QStringLiteral("Не удалось открыть файл базы данных %1: %2").arg(path, failure));
    }
    // The probe has read the file: a file in WAL mode has its journal files open by now.
    NoteJournalFiles();
}

void TConnection::OpenOdbc(const QString& connectionString)
{
    Forget();
    FDatabase = QSqlDatabase::addDatabase(OdbcDriver, FName);
    FDatabase.setDatabaseName(connectionString);
    if (!FDatabase.open()) {
        const QString text = FDatabase.lastError().text().trimmed();
        Forget();
        throw TError(text.isEmpty() ? QStringLiteral("Не удалось подключиться к источнику ODBC.") : text);
    }
    // The driver has the file open now; what it holds is the file this identity names.
    if (!IsConnectionText(FSource))
        FFileIdentity = FileIdentityOf(QFileInfo(FSource.trimmed()).absoluteFilePath());
}

void TConnection::Close()
{
    for (TDataSet* dataSet : FDataSets)
        dataSet->Close();
    DropStatements();
    ForgetFiles();
    if (FDatabase.isOpen())
        FDatabase.close();
}

bool TConnection::Connected() const
{
    return FDatabase.isValid() && FDatabase.isOpen();
}

QSqlDatabase TConnection::Database() const
{
    if (!Connected())
        throw TError(QStringLiteral("Нет подключения к базе данных."));
    return FDatabase;
}

void TPreparedStatement::Bind(int index, const QString& placeholder, const QVariant& value)
{
    if (index < FBound.size() && FBoundKnown[index] && SameSqlValue(FBound[index], value))
        return;
    if (index >= FBound.size()) {
        FBound.resize(index + 1);
        FBoundKnown.resize(index + 1, false);
    }
    // Unknown while the binding is under way: a failure leaves nothing to trust.
    FBoundKnown[index] = false;
    Query.bindValue(placeholder, value);
    FBound[index] = value;
    FBoundKnown[index] = true;
}

TPreparedStatement& TConnection::PreparedStatement(const QString& text)
{
    for (auto it = FStatements.begin(); it != FStatements.end(); ++it) {
        if (it->first == text) {
            std::rotate(FStatements.begin(), it, it + 1);
            return *FStatements.front().second;
        }
    }
    auto statement = std::make_unique<TPreparedStatement>(Database());
    statement->Query.setForwardOnly(true);
    if (!statement->Query.prepare(text))
        throw TError(statement->Query.lastError().text().trimmed());
    if (FStatements.size() >= KeptStatements)
        FStatements.pop_back();
    FStatements.insert(FStatements.begin(), {text, std::move(statement)});
    return *FStatements.front().second;
}

TSqliteStatement* TConnection::SqliteStatement(const QString& text)
{
    for (auto it = FSqliteStatements.begin(); it != FSqliteStatements.end(); ++it) {
        if (it->first == text) {
            if (it->second && it->second->Broken()) {
                FSqliteStatements.erase(it);
                break;
            }
            std::rotate(FSqliteStatements.begin(), it, it + 1);
            return FSqliteStatements.front().second.get();
        }
    }
    const QSqlDatabase database = Database();
    std::unique_ptr<TSqliteStatement> statement;
    if (FEngine == TEngine::Sqlite) {
        const QVariant handle = database.driver()->handle();
        if (qstrcmp(handle.typeName(), "sqlite3*") == 0)
            statement = TSqliteStatement::Prepare(*static_cast<sqlite3* const*>(handle.constData()), text);
    }
    if (FSqliteStatements.size() >= KeptStatements)
        FSqliteStatements.pop_back();
    FSqliteStatements.insert(FSqliteStatements.begin(), {text, std::move(statement)});
    return FSqliteStatements.front().second.get();
}

void TConnection::DropStatements()
{
    // Before the connection closes: SQLite closes no file that has statements left.
    FSqliteStatements.clear();
    FStatements.clear();
    // Stamps taken before belong to a session that has ended.
    ++FSession;
}

std::optional<TChangeStamp> TConnection::ChangeStamp() noexcept
{
    if (FEngine != TEngine::Sqlite || !Connected())
        return std::nullopt;
    try {
        const QVariant handle = FDatabase.driver()->handle();
        if (qstrcmp(handle.typeName(), "sqlite3*") != 0)
            return std::nullopt;
        sqlite3* database = *static_cast<sqlite3* const*>(handle.constData());
        // Inside a transaction of its own the connection sees rows that a rollback may
        // still take back without changing any count: no stamp then.
        if (!database || !sqlite3_get_autocommit(database))
            return std::nullopt;
        TChangeStamp stamp;
        stamp.Session = FSession;
        // Taken first: a change of this connection's own that lands between the two
        // readings then shows in the next stamp, never in neither.
        stamp.OwnChanges = sqlite3_total_changes64(database);
        QSqlQuery& query = PreparedStatement(QStringLiteral("PRAGMA data_version")).Query;
        const bool read = query.exec() && query.next();
        if (read)
            stamp.DataVersion = query.value(0).toLongLong();
        query.finish();
        if (!read)
            return std::nullopt;
        return stamp;
    } catch (...) {
        return std::nullopt;
    }
}

sqlite3* TConnection::SqliteHandle() const noexcept
{
    if (FEngine != TEngine::Sqlite || !Connected())
        return nullptr;
    try {
        const QVariant handle = FDatabase.driver()->handle();
        if (qstrcmp(handle.typeName(), "sqlite3*") != 0)
            return nullptr;
        return *static_cast<sqlite3* const*>(handle.constData());
    } catch (...) {
        return nullptr;
    }
}

bool TConnection::FileMoved() noexcept
{
    if (!Connected())
        return false;
    if (FEngine == TEngine::Odbc) {
        try {
            return FFileIdentity
                && FileIdentityOf(QFileInfo(FSource.trimmed()).absoluteFilePath()) != FFileIdentity;
        } catch (...) {
            return false;
        }
    }
    sqlite3* database = SqliteHandle();
    int moved = 0;
    if (!database || sqlite3_file_control(database, "main", SQLITE_FCNTL_HAS_MOVED, &moved) != SQLITE_OK)
        return false;
    return moved != 0;
}

void TConnection::NoteJournalFiles() noexcept
{
    FJournalFiles.clear();
    sqlite3* database = SqliteHandle();
    if (!database)
        return;
    try {
        QSqlQuery query(FDatabase);
        const bool wal = query.exec(QStringLiteral("PRAGMA journal_mode")) && query.next()
            && query.value(0).toString().compare(QStringLiteral("wal"), Qt::CaseInsensitive) == 0;
        query.finish();
        // A file just switched to the journal opens its journal files at its next read.
        if (wal && query.exec(QStringLiteral("SELECT COUNT(*) FROM sqlite_master")))
            query.finish();
        const char* file = sqlite3_db_filename(database, "main");
        if (!wal || !file || !*file)
            return;
        // The names SQLite gives them: the database file's full name and a suffix.
        const QString path = QString::fromUtf8(file);
        for (const QString& journal : {path + QStringLiteral("-wal"), path + QStringLiteral("-shm")}) {
            if (const std::optional<TFileIdentity> identity = FileIdentityOf(journal))
                FJournalFiles.emplace_back(journal, *identity);
        }
    } catch (...) {
        FJournalFiles.clear();
    }
}

QString TConnection::JournalMoved() noexcept
{
    if (!Connected())
        return {};
    try {
        for (const auto& [path, identity] : FJournalFiles) {
            if (FileIdentityOf(path) != identity)
                return path;
        }
    } catch (...) {
    }
    return {};
}

bool TConnection::CopyJournalIntoFile() noexcept
{
    sqlite3* database = SqliteHandle();
    if (!database || FJournalFiles.empty())
        return true;
    // Passive: it waits for nobody. The connections still sharing this journal are this
    // program's own, none of them inside a transaction while a batch is being refused.
    int logFrames = 0;
    int copiedFrames = 0;
    const int result = sqlite3_wal_checkpoint_v2(database, "main", SQLITE_CHECKPOINT_PASSIVE, &logFrames, &copiedFrames);
    return result == SQLITE_OK && copiedFrames == logFrames;
}

void TConnection::ForgetFiles()
{
    FFileIdentity.reset();
    FJournalFiles.clear();
}

void TConnection::Forget()
{
    // Statements must go before the connection they were prepared on.
    DropStatements();
    ForgetFiles();
    // Qt keeps connections by name; the handle held here is dropped before the name is
    // removed, so no copy of it is left behind.
    if (FDatabase.isValid()) {
        FDatabase.close();
        FDatabase = QSqlDatabase();
        QSqlDatabase::removeDatabase(FName);
    }
}
