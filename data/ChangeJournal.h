#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

class TConnection;

// The change journal of a SQLite alert database: triggers on each alert table note the id of
// every row inserted, updated or deleted, by any program, in one table with a growing
// sequence number. A table refresh then reads only the rows changed since its last read
// instead of the whole table, which at the platform's pace of one row per tick is the
// difference between reading one row and reading a day's hundred thousand. The journal
// keeps its newest JournalKeptChanges entries; a reader further behind reads in full.
// Nothing requires the journal: a table without it is read in full at every change.

inline constexpr int JournalKeptChanges = 10000;

// The statements that add the journal and its triggers for the given tables to a database.
QStringList ChangeJournalSchema(const QStringList& tables);

// Where the journal of a table stands: its newest sequence number (0 when it is empty).
// Empty when the connection is not SQLite or the table has no journal (no journal table, or
// not all three of the table's triggers), and on any failure: the caller reads in full.
std::optional<qint64> JournalPosition(TConnection& connection, const QString& table) noexcept;

struct TJournalChanges {
    qint64 Position = 0; // where the journal stands after these changes
    QList<qint64> Ids;   // the table's changed row ids, ascending, each once
};

// The ids of the table's rows changed after the given position. Empty when the journal
// cannot tell all of them (entries after the position dropped, the journal made afresh,
// no journal at all) or the read fails: the caller then reads in full.
std::optional<TJournalChanges> JournalChangesSince(TConnection& connection, const QString& table,
                                                   qint64 position) noexcept;
