#pragma once

#include "data/FileIdentity.h"

#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class TDataSet;
class TSqliteStatement;
struct sqlite3;

// A statement prepared on a connection and kept there for the next use. It keeps the
// values bound to it from one run to the next.
class TPreparedStatement {
public:
    explicit TPreparedStatement(const QSqlDatabase& database) : Query(database) {}

    QSqlQuery Query;

    // Binds the value to the placeholder (":name"), which is the index-th its user binds
    // (the users of one text number its placeholders alike). A value the very same as the
    // one bound there last (same type, same value, same null-ness) is left bound as it is:
    // binding by name costs about as much as running a small statement, and a dispatch
    // runs the same statements for every account with mostly the same values.
    void Bind(int index, const QString& placeholder, const QVariant& value);

private:
    QList<QVariant> FBound;    // by index
    QList<bool> FBoundKnown;   // by index: FBound holds what the statement has there
};

// What a connection can tell of the file's content at one moment. Two equal stamps of one
// connection mean that nobody changed the database in between: neither another connection
// (another program, or another connection of this one) nor this connection itself.
struct TChangeStamp {
    quint64 Session = 0;     // which opening of the connection took it
    qint64 DataVersion = 0;  // SQLite's count of commits by other connections
    qint64 OwnChanges = 0;   // rows this connection has inserted, updated or deleted
    bool operator==(const TChangeStamp&) const = default;
};

// One database connection and the data sets attached to it.
//
// What a source text opens:
// - a path ending in ".mdb" or ".accdb" (any case): an Access file through ODBC;
// - a text starting with "DSN=" or "Driver=" (any case): an ODBC connection string, as is;
// - anything else: an existing SQLite file. A missing file is an error naming the path,
//   never a new empty database.
class TConnection {
public:
    enum class TEngine { Sqlite, Odbc };

    TConnection();
    ~TConnection();
    TConnection(const TConnection&) = delete;
    TConnection& operator=(const TConnection&) = delete;

    // Closes the connection (and its data sets), then opens the given source.
    // Throws TError with the driver's message when the source cannot be opened.
    void Open(const QString& source);
    // Closes every attached data set, then the connection.
    void Close();
    bool Connected() const;
    // True while a statement of this connection is executing or its rows are fetched.
    bool Busy() const { return FBusyDepth > 0; }
    const QString& Source() const { return FSource; }
    // Which opening of the connection this is: it changes whenever the connection closes,
    // so that what was learnt of the database in one opening is not taken for another's.
    quint64 Session() const { return FSession; }
    TEngine Engine() const { return FEngine; }
    // The data sets attached to this connection, in the order they were attached.
    const QList<TDataSet*>& DataSets() const { return FDataSets; }

    // The Qt connection; valid while Connected(). Throws TError when not connected.
    QSqlDatabase Database() const;

    // The statement of this text prepared on this connection, kept for the next use until
    // the connection closes: a dispatch runs the same few statements for every account,
    // and preparing one costs more than running it. The caller binds every parameter,
    // runs it and finishes it before anything else can ask for the same text (the
    // statements run to their end without serving events). Throws TError when the text
    // does not prepare or the connection is closed.
    TPreparedStatement& PreparedStatement(const QString& text);
    // The statement of this text prepared through SQLite itself (TSqliteStatement), kept
    // like the ones above; none where the connection is not a SQLite file or SQLite itself
    // does not take the text (Qt's statement serves then). Throws TError when the
    // connection is closed.
    TSqliteStatement* SqliteStatement(const QString& text);

    // The stamp of the database's content as it stands now; empty where the engine offers
    // no cheap test (ODBC) or the test fails, so that the caller reads everything again.
    std::optional<TChangeStamp> ChangeStamp() noexcept;
    // True when the file this connection opened has since been removed, renamed, or
    // replaced by another file under its name: the connection still reads and writes the
    // file it opened, which nobody else sees any more. A write-ahead journal goes on
    // taking commits for such a file, and they would be gone with the connection: a batch
    // refuses to commit then. A SQLite file is asked through SQLite itself; an Access file
    // over ODBC by the identity its path had at the opening; an ODBC connection text names
    // no file and is never taken for moved.
    bool FileMoved() noexcept;
    // The path of the write-ahead journal file (the "-wal" or the "-shm" beside a SQLite
    // file) that this connection uses, when it has since been removed or replaced by
    // another program; empty while both are the ones taken at the opening (or when the
    // file keeps no such journal). Commits go on into the journal the connection holds
    // open, which no other connection reads and which is gone when the connection ends.
    QString JournalMoved() noexcept;
    // Copies every commit the connection's write-ahead journal holds into the database
    // file itself, so that it outlives the connection also when the journal file is gone
    // from the disk. True when all of them were copied (or there is no such journal).
    bool CopyJournalIntoFile() noexcept;
    // Takes the identity of the write-ahead journal files the connection uses now; the
    // opening does so, and so must whoever switches the file to that journal.
    void NoteJournalFiles() noexcept;

    static TEngine EngineOf(const QString& source);
    // Whether the source is an ODBC connection text ("DSN=…", "Driver=…") rather than the
    // path of a file.
    static bool IsConnectionText(const QString& source);
    // The ODBC connection string for a source that opens through ODBC.
    static QString OdbcConnectionString(const QString& source);

    // Marks the connection busy for the life of the object.
    class TBusyScope {
    public:
        explicit TBusyScope(TConnection& connection) : FConnection(connection) { ++FConnection.FBusyDepth; }
        ~TBusyScope() { --FConnection.FBusyDepth; }
        TBusyScope(const TBusyScope&) = delete;
        TBusyScope& operator=(const TBusyScope&) = delete;

    private:
        TConnection& FConnection;
    };

private:
    friend class TDataSet;

    void Attach(TDataSet* dataSet) { FDataSets.append(dataSet); }
    void Detach(TDataSet* dataSet) { FDataSets.removeAll(dataSet); }
    void OpenSqlite(const QString& path);
    void OpenOdbc(const QString& connectionString);
    void Forget();
    void DropStatements();
    void ForgetFiles();
    // The SQLite handle of an open SQLite connection; null otherwise.
    sqlite3* SqliteHandle() const noexcept;

    const QString FName;
    QSqlDatabase FDatabase;
    QString FSource;
    TEngine FEngine = TEngine::Sqlite;
    QList<TDataSet*> FDataSets;
    int FBusyDepth = 0;
    quint64 FSession = 0;
    // An Access file's identity at the opening (over ODBC no engine tells whether it moved).
    std::optional<TFileIdentity> FFileIdentity;
    // The write-ahead journal files of a SQLite file, with their identities at the opening.
    std::vector<std::pair<QString, TFileIdentity>> FJournalFiles;
    // Prepared statements by text, the most recently used first.
    std::vector<std::pair<QString, std::unique_ptr<TPreparedStatement>>> FStatements;
    // The same for statements prepared through SQLite itself; an empty one for a text it
    // does not take.
    std::vector<std::pair<QString, std::unique_ptr<TSqliteStatement>>> FSqliteStatements;
};
