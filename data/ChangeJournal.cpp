#include "data/ChangeJournal.h"

#include "base/Error.h"
#include "data/Connection.h"

#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>

namespace {

const QString JournalTable = QStringLiteral("ZovrantChanges");

QString TriggerName(const QString& table, const char* event)
{
    return QStringLiteral("ZovrantChanges_%1_%2").arg(table, QLatin1String(event));
}

QString NoteRow(const QString& table, const char* row)
{
    return QStringLiteral("INSERT INTO [%1] (table_name, row_id) VALUES ('%2', %3.[ID]);")
        .arg(JournalTable, table, QLatin1String(row));
}

} // namespace

QStringList ChangeJournalSchema(const QStringList& tables)
{
    QStringList statements{
        QStringLiteral("CREATE TABLE [%1] (\n  [seq] INTEGER PRIMARY KEY AUTOINCREMENT,\n"
                       "  [table_name] VARCHAR(50),\n  [row_id] INTEGER\n)").arg(JournalTable),
        // Each entry drops the one that is JournalKeptChanges older: a seek, not a scan.
        QStringLiteral("CREATE TRIGGER [ZovrantChanges_Keep] AFTER INSERT ON [%1] BEGIN "
                       "DELETE FROM [%1] WHERE seq <= NEW.seq - %2; END").arg(JournalTable).arg(JournalKeptChanges),
    };
    for (const QString& table : tables) {
        statements << QStringLiteral("CREATE TRIGGER [%1] AFTER INSERT ON [%2] BEGIN %3 END")
                          .arg(TriggerName(table, "Insert"), table, NoteRow(table, "NEW"));
        // A changed id is noted under both ids: the old row goes, the new one comes.
        statements << QStringLiteral("CREATE TRIGGER [%1] AFTER UPDATE ON [%2] BEGIN %3 %4 END")
                          .arg(TriggerName(table, "Update"), table, NoteRow(table, "OLD"), NoteRow(table, "NEW"));
        statements << QStringLiteral("CREATE TRIGGER [%1] AFTER DELETE ON [%2] BEGIN %3 END")
                          .arg(TriggerName(table, "Delete"), table, NoteRow(table, "OLD"));
    }
    return statements;
}

namespace {

// The journal's newest sequence number (0 when it is empty) where the journal and all three
// of the table's triggers are there; empty otherwise. Throws TError when there is no journal
// table (the statement does not prepare).
std::optional<qint64> NewestEntry(TConnection& connection, const QString& table)
{
    QSqlQuery& query = connection.PreparedStatement(
        QStringLiteral("SELECT (SELECT COUNT(*) FROM sqlite_master WHERE type = 'trigger' AND name IN (?, ?, ?)),"
                       " (SELECT MAX(seq) FROM [%1])").arg(JournalTable)).Query;
    query.bindValue(0, TriggerName(table, "Insert"));
    query.bindValue(1, TriggerName(table, "Update"));
    query.bindValue(2, TriggerName(table, "Delete"));
    std::optional<qint64> position;
    if (query.exec() && query.next() && query.value(0).toInt() == 3)
        position = query.value(1).toLongLong(); // null (empty journal) reads as 0
    query.finish();
    return position;
}

} // namespace

std::optional<qint64> JournalPosition(TConnection& connection, const QString& table) noexcept
{
    if (connection.Engine() != TConnection::TEngine::Sqlite || !connection.Connected())
        return std::nullopt;
    try {
        TConnection::TBusyScope busy(connection);
        return NewestEntry(connection, table);
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<TJournalChanges> JournalChangesSince(TConnection& connection, const QString& table,
                                                   qint64 position) noexcept
{
    if (connection.Engine() != TConnection::TEngine::Sqlite || !connection.Connected() || position < 0)
        return std::nullopt;
    try {
        TConnection::TBusyScope busy(connection);
        // Changes made while a trigger was gone are not in the journal.
        const std::optional<qint64> newest = NewestEntry(connection, table);
        if (!newest || *newest < position)
            return std::nullopt;
        // One statement, one snapshot: the entry at the position itself is read too, as the
        // witness that nothing after it was dropped since (the journal drops its oldest
        // entries first). An empty journal at the last read had nothing to drop: its first
        // entry must be the very first one.
        QSqlQuery& query = connection.PreparedStatement(
            QStringLiteral("SELECT seq, table_name, row_id FROM [%1] WHERE seq >= ? ORDER BY seq").arg(JournalTable)).Query;
        const qint64 witness = std::max<qint64>(position, 1);
        query.bindValue(0, witness);
        if (!query.exec()) {
            query.finish();
            return std::nullopt;
        }
        TJournalChanges changes;
        changes.Position = position;
        bool whole = true;
        bool first = true;
        while (whole && query.next()) {
            const qint64 seq = query.value(0).toLongLong();
            whole = !first || seq == witness;
            first = false;
            changes.Position = seq;
            if (seq > position && query.value(1).toString() == table)
                changes.Ids << query.value(2).toLongLong();
        }
        const bool failed = query.lastError().isValid();
        query.finish();
        // A journal holding nothing at or after a position it once reached was made afresh.
        if (failed || !whole || (first && position > 0))
            return std::nullopt;
        std::sort(changes.Ids.begin(), changes.Ids.end());
        changes.Ids.erase(std::unique(changes.Ids.begin(), changes.Ids.end()), changes.Ids.end());
        return changes;
    } catch (...) {
        return std::nullopt;
    }
}
