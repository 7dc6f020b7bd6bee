#include "data/Table.h"

#include "base/Error.h"
#include "data/ChangeJournal.h"
#include "data/Connection.h"
#include "data/SqlValue.h"

#include <QSet>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlIndex>
#include <QSqlQuery>
#include <QSqlRecord>
#include <algorithm>
#include <limits>

namespace {

QString Bracketed(const QString& name)
{
    return QLatin1Char('[') + name + QLatin1Char(']');
}

// An id as a statement takes it: a 32-bit number where it fits, for the engines (Jet
// through ODBC) that take no 64-bit parameters.
QVariant IdValue(qint64 id)
{
    if (id >= std::numeric_limits<int>::min() && id <= std::numeric_limits<int>::max())
        return QVariant(int(id));
    return QVariant(qlonglong(id));
}

// A value read from an id column as a whole number; none for a null, a fraction or a text
// that is not one.
std::optional<qint64> WholeId(const QVariant& value)
{
    if (value.isNull())
        return std::nullopt;
    if (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float) {
        const double number = value.toDouble();
        if (number != double(qint64(number)))
            return std::nullopt;
        return qint64(number);
    }
    bool ok = false;
    const qint64 id = value.toLongLong(&ok);
    return ok ? std::optional<qint64>(id) : std::nullopt;
}

void Run(QSqlQuery& query)
{
    if (!query.exec())
        throw TError(query.lastError().text().trimmed());
}

// The last error of a query that read to its end: next() ends on a failed fetch too.
void CheckRead(QSqlQuery& query)
{
    const QSqlError error = query.lastError();
    query.finish();
    if (error.isValid())
        throw TError(error.text().trimmed());
}

// Runs a statement that reads one column of ids and returns the whole ones, in order.
std::vector<qint64> RunForIds(QSqlQuery& query)
{
    Run(query);
    std::vector<qint64> ids;
    while (query.next()) {
        if (const std::optional<qint64> id = WholeId(query.value(0)))
            ids.push_back(*id);
    }
    CheckRead(query);
    return ids;
}

} // namespace

TTable::TTable(TConnection& connection, const QString& tableName, bool readOnly)
    : TDataSet(connection), FTableName(tableName), FReadOnly(readOnly)
{
}

void TTable::Fetch()
{
    QSqlDatabase database = Connection().Database();
    // Where the journal stands is taken before the rows are read: a change landing during
    // the read is read again at the next refresh, never missed.
    const std::optional<qint64> journal = InIdOrder() ? JournalPosition(Connection(), FTableName) : std::nullopt;
    FReadInFull = false;
    FSweep = 0;
    FSlicesLeft = 0;
    if (!FetchIds())
        FetchRows(journal.has_value());

    FPrimaryKey.clear();
    if (!FReadOnly) {
        const QSqlIndex key = database.primaryIndex(FTableName);
        for (int i = 0; i < key.count(); ++i)
            FPrimaryKey << key.fieldName(i);
    }
    TakeJournalPosition(journal);
}

void TTable::Forget()
{
    FRowsById.reset();
    FIdsBetween.reset();
    FIdsAbove.reset();
}

void TTable::FetchRows(bool inIdOrder)
{
    QString statement = QStringLiteral("SELECT * FROM ") + Bracketed(FTableName);
    if (!FSortColumn.isEmpty())
        statement += QStringLiteral(" ORDER BY ") + Bracketed(FSortColumn);
    else if (inIdOrder)
        statement += QStringLiteral(" ORDER BY [id]"); // the rowid order SQLite reads in anyway
    TConnection::TBusyScope busy(Connection());
    QSqlQuery query(Connection().Database());
    query.setForwardOnly(true);
    if (!query.exec(statement))
        throw TError(query.lastError().text().trimmed());
    Load(query);
    query.finish();
}

QStringList TTable::ReadFieldNames()
{
    TConnection::TBusyScope busy(Connection());
    QSqlQuery query(Connection().Database());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT * FROM ") + Bracketed(FTableName) + QStringLiteral(" WHERE 1 = 0")))
        throw TError(query.lastError().text().trimmed());
    QStringList fieldNames;
    const QSqlRecord record = query.record();
    for (int i = 0; i < record.count(); ++i)
        fieldNames << record.fieldName(i);
    query.finish();
    return fieldNames;
}

bool TTable::FetchIds()
{
    const QStringList fieldNames = ReadFieldNames();
    int idColumn = -1;
    for (int i = 0; i < fieldNames.size() && idColumn < 0; ++i) {
        if (fieldNames[i].compare(QLatin1String("id"), Qt::CaseInsensitive) == 0)
            idColumn = i;
    }
    if (idColumn < 0)
        return false;
    std::optional<std::vector<qint64>> ids = ReadIds(fieldNames);
    if (!ids)
        return false;
    FIdColumn = idColumn;
    LoadLazy(fieldNames, std::move(*ids), idColumn, [this](const QList<qint64>& wanted) {
        const std::optional<QHash<qint64, QVector<QVariant>>> rows = ReadRows(wanted);
        if (!rows)
            throw TError(QStringLiteral("Столбцы таблицы %1 изменились.").arg(FTableName));
        QVector<QVector<QVariant>> result;
        result.reserve(rows->size());
        for (const QVector<QVariant>& row : *rows)
            result << row;
        return result;
    });
    return true;
}

std::optional<std::vector<qint64>> TTable::ReadIds(const QStringList& fieldNames)
{
    const bool inIdOrder = InIdOrder();
    QString statement = QStringLiteral("SELECT [id] FROM ") + Bracketed(FTableName) + QStringLiteral(" ORDER BY ");
    statement += inIdOrder ? QStringLiteral("[id]") : Bracketed(FSortColumn) + QStringLiteral(", [id]");
    if (!inIdOrder && !fieldNames.contains(FSortColumn, Qt::CaseInsensitive))
        return std::nullopt; // the full read reports the missing column as it always has
    std::vector<qint64> ids;
    {
        TConnection::TBusyScope busy(Connection());
        QSqlQuery query(Connection().Database());
        query.setForwardOnly(true);
        if (!query.exec(statement))
            throw TError(query.lastError().text().trimmed());
        while (query.next()) {
            const std::optional<qint64> id = WholeId(query.value(0));
            if (!id || (inIdOrder && !ids.empty() && *id <= ids.back())) {
                query.finish();
                return std::nullopt;
            }
            ids.push_back(*id);
        }
        CheckRead(query);
    }
    if (!inIdOrder) {
        std::vector<qint64> sorted = ids;
        std::sort(sorted.begin(), sorted.end());
        if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end())
            return std::nullopt;
    }
    return ids;
}

QSqlQuery& TTable::Statement(std::unique_ptr<QSqlQuery>& kept, const QString& text)
{
    if (!kept) {
        auto query = std::make_unique<QSqlQuery>(Connection().Database());
        query->setForwardOnly(true);
        if (!query->prepare(text))
            throw TError(query->lastError().text().trimmed());
        kept = std::move(query);
    }
    return *kept;
}

std::optional<QHash<qint64, QVector<QVariant>>> TTable::ReadRows(const QList<qint64>& ids)
{
    // One statement for a page of ids: the ids of a short page are repeated to fill it.
    static const QString marks = [] {
        QStringList list;
        for (int i = 0; i < TLazyRows::PageRows; ++i)
            list << QStringLiteral("?");
        return list.join(QStringLiteral(", "));
    }();
    QHash<qint64, QVector<QVariant>> rows;
    TConnection::TBusyScope busy(Connection());
    QSqlQuery& query = Statement(FRowsById, QStringLiteral("SELECT * FROM ") + Bracketed(FTableName)
                                                + QStringLiteral(" WHERE [id] IN (") + marks + QLatin1Char(')'));
    for (qsizetype first = 0; first < ids.size(); first += TLazyRows::PageRows) {
        const qsizetype count = std::min<qsizetype>(TLazyRows::PageRows, ids.size() - first);
        for (int i = 0; i < TLazyRows::PageRows; ++i)
            query.bindValue(i, IdValue(ids[first + std::min<qsizetype>(i, count - 1)]));
        Run(query);
        const QSqlRecord record = query.record();
        bool sameColumns = record.count() == FieldCount();
        for (int i = 0; sameColumns && i < FieldCount(); ++i)
            sameColumns = record.fieldName(i) == FFieldNames[i];
        if (!sameColumns) {
            query.finish();
            return std::nullopt;
        }
        const int idColumn = FieldIndex(QStringLiteral("id"));
        while (query.next()) {
            QVector<QVariant> row(FieldCount());
            for (int i = 0; i < FieldCount(); ++i)
                row[i] = query.value(i);
            const std::optional<qint64> id = WholeId(row[idColumn]);
            if (id)
                rows.insert(*id, std::move(row));
        }
        CheckRead(query);
    }
    return rows;
}

std::vector<qint64> TTable::ReadIdsBetween(qint64 low, qint64 high)
{
    TConnection::TBusyScope busy(Connection());
    QSqlQuery& query = Statement(FIdsBetween, QStringLiteral("SELECT [id] FROM ") + Bracketed(FTableName)
                                                  + QStringLiteral(" WHERE [id] >= ? AND [id] <= ? ORDER BY [id]"));
    query.bindValue(0, IdValue(low));
    query.bindValue(1, IdValue(high));
    return RunForIds(query);
}

std::vector<qint64> TTable::ReadIdsAbove(qint64 last)
{
    TConnection::TBusyScope busy(Connection());
    QSqlQuery& query = Statement(FIdsAbove, QStringLiteral("SELECT [id] FROM ") + Bracketed(FTableName)
                                                + QStringLiteral(" WHERE [id] > ? ORDER BY [id]"));
    query.bindValue(0, IdValue(last));
    return RunForIds(query);
}

void TTable::TakeJournalPosition(const std::optional<qint64>& position)
{
    FJournalPosition.reset();
    if (!position || !JournalOrder())
        return;
    // Changed rows are put in their place by id: the ids must be whole numbers, ascending.
    // Ids read alone were checked so as they were read.
    if (!Lazy()) {
        const int idColumn = FieldIndex(QStringLiteral("id"));
        qint64 previous = 0;
        for (int row = 0; row < FRows.size(); ++row) {
            bool ok = false;
            const qint64 id = FRows[row][idColumn].toLongLong(&ok);
            if (!ok || (row > 0 && id <= previous))
                return;
            previous = id;
        }
    }
    FJournalPosition = position;
}

bool TTable::InIdOrder() const
{
    return FSortColumn.isEmpty() || FSortColumn.compare(QLatin1String("id"), Qt::CaseInsensitive) == 0;
}

bool TTable::JournalOrder() const
{
    return IdIsKey() && HasField(QStringLiteral("id")) && InIdOrder();
}

qint64 TTable::RowId(int row) const
{
    if (Lazy())
        return LazyRows()->Id(row);
    return FRows[row][FieldIndex(QStringLiteral("id"))].toLongLong();
}

int TTable::IdPosition(qint64 id, bool* found) const
{
    if (Lazy()) {
        const std::vector<qint64>& ids = LazyRows()->Ids();
        if (!InIdOrder()) {
            const auto place = std::find(ids.cbegin(), ids.cend(), id);
            *found = place != ids.cend();
            return int(place - ids.cbegin());
        }
        const auto place = std::lower_bound(ids.cbegin(), ids.cend(), id);
        *found = place != ids.cend() && *place == id;
        return int(place - ids.cbegin());
    }
    const int idColumn = FieldIndex(QStringLiteral("id"));
    const auto place = std::lower_bound(FRows.cbegin(), FRows.cend(), id, [idColumn](const QVector<QVariant>& row, qint64 wanted) {
        return row[idColumn].toLongLong() < wanted;
    });
    const int position = int(place - FRows.cbegin());
    *found = place != FRows.cend() && (*place)[idColumn].toLongLong() == id;
    return position;
}

void TTable::ApplyRows(const QList<qint64>& ids, const QHash<qint64, QVector<QVariant>>& rows)
{
    std::vector<qint64> appended; // new rows after every row, told to the views at once
    // Rows gone one after the other (a table emptied by another program) are removed at
    // once: each removal lays the grids out again. The run's rows stay in place until it
    // is flushed.
    int removedFirst = -1;
    int removedCount = 0;
    auto flush = [&] {
        if (removedCount > 0)
            RowsRemoved(removedFirst, removedFirst + removedCount - 1);
        removedCount = 0;
        if (!appended.empty())
            RowIdsInserted(RecordCount(), appended);
        appended.clear();
    };
    for (const qint64 id : ids) {
        bool found = false;
        int position = IdPosition(id, &found);
        const auto row = rows.constFind(id);
        const bool removed = row == rows.cend() && found;
        if (removed && removedCount > 0 && position == removedFirst + removedCount) {
            ++removedCount;
            continue;
        }
        if (removedCount > 0) {
            // Another kind of change, or a gap: the run goes first, and places move.
            flush();
            position = IdPosition(id, &found);
        }
        if (row != rows.cend() && found) {
            PutRow(position, *row);
            RowsChanged(position, position);
        } else if (row != rows.cend()) {
            if (Lazy() && position == RecordCount()) {
                appended.push_back(id);
                continue;
            }
            flush();
            if (Lazy())
                RowIdsInserted(position, {id});
            else
                RowInserted(position, *row);
        } else if (found) {
            flush();
            removedFirst = position;
            removedCount = 1;
        }
    }
    flush();
}

void TTable::PlaceCurrent(bool hadCurrent, qint64 id)
{
    bool found = false;
    const int current = hadCurrent ? IdPosition(id, &found) : -1;
    if (found) {
        SetRecNo(current);
    } else {
        // As after a re-read that does not find the remembered id: the first row. The views
        // hear of it even where its number is the old one's, for it is another row now.
        FCurrent = -2;
        First();
    }
}

bool TTable::RefreshChangedRows(bool databaseChanged)
{
    if (FState != TState::Browse || FReadInFull)
        return false;
    // Rows are put in place by their columns as first read: a table whose columns changed
    // is read in full, rows changed or not (no page of it would read any more).
    if (databaseChanged && ReadFieldNames() != FFieldNames)
        return false;
    if (!FJournalPosition || !JournalOrder())
        return Lazy() && RefreshWithoutJournal(databaseChanged);
    const std::optional<TJournalChanges> changes = JournalChangesSince(Connection(), FTableName, *FJournalPosition);
    if (!changes)
        return false;
    // Every changed row is read before any is put in place: a failure leaves the rows as
    // they were, for the full re-read that follows.
    const std::optional<QHash<qint64, QVector<QVariant>>> rows = ReadRows(changes->Ids);
    if (!rows)
        return false; // the table itself changed: read it in full
    const bool hadCurrent = FCurrent >= 0;
    const qint64 currentId = hadCurrent ? RowId(FCurrent) : 0;
    ApplyRows(changes->Ids, *rows);
    FJournalPosition = changes->Position;
    PlaceCurrent(hadCurrent, currentId);
    return true;
}

bool TTable::RefreshWithoutJournal(bool databaseChanged)
{
    // A change may lie anywhere: a whole round of slices from here on.
    if (databaseChanged || FSlicesLeft == 0)
        FSlicesLeft = RecordCount() / SweepRows + 1;
    const bool hadCurrent = FCurrent >= 0;
    const qint64 currentId = hadCurrent ? RowId(FCurrent) : 0;
    if (InIdOrder()) {
        const std::vector<qint64>& ids = LazyRows()->Ids();
        const std::vector<qint64> added =
            ReadIdsAbove(ids.empty() ? std::numeric_limits<int>::min() : ids.back());
        RowIdsInserted(RecordCount(), added);
    } else {
        const std::optional<std::vector<qint64>> ids = ReadIds(FFieldNames);
        if (!ids || *ids != LazyRows()->Ids())
            return false; // rows added, gone or moved in the order shown: read again
    }
    if (!RereadHeldRows())
        return false;
    if (InIdOrder())
        SweepIds();
    FSlicesLeft = InIdOrder() ? FSlicesLeft - 1 : 0;
    PlaceCurrent(hadCurrent, currentId);
    return true;
}

bool TTable::RereadHeldRows()
{
    QList<qint64> held;
    for (const QList<qint64>& page : LazyRows()->HeldPages())
        held += page;
    if (held.isEmpty())
        return true;
    const std::optional<QHash<qint64, QVector<QVariant>>> rows = ReadRows(held);
    if (!rows)
        return false;
    if (InIdOrder()) {
        std::sort(held.begin(), held.end());
        // Only what differs is told to the views: a tick that changes nothing repaints nothing.
        QList<qint64> changed;
        for (const qint64 id : held) {
            const QVector<QVariant>* before = LazyRows()->Held(id);
            const auto now = rows->constFind(id);
            if (now == rows->cend() || !before || *before != *now)
                changed << id;
        }
        ApplyRows(changed, *rows);
        return true;
    }
    // In another order the ids were just found the same: no row went, rows may have changed.
    const QSet<qint64> wanted(held.cbegin(), held.cend());
    const std::vector<qint64>& ids = LazyRows()->Ids();
    for (int row = 0; row < int(ids.size()); ++row) {
        if (!wanted.contains(ids[size_t(row)]))
            continue;
        const QVector<QVariant>* before = LazyRows()->Held(ids[size_t(row)]);
        const auto now = rows->constFind(ids[size_t(row)]);
        if (now != rows->cend() && before && *before != *now) {
            PutRow(row, *now);
            RowsChanged(row, row);
        }
    }
    return true;
}

void TTable::SweepIds()
{
    const std::vector<qint64>& ids = LazyRows()->Ids();
    const int count = int(ids.size());
    if (count == 0)
        return;
    if (FSweep >= count)
        FSweep = 0;
    const int last = std::min(FSweep + SweepRows, count) - 1;
    // The first slice starts below the first id: rows added before it are found too.
    const qint64 low = FSweep == 0 ? std::min<qint64>(ids.front(), std::numeric_limits<int>::min()) : ids[size_t(FSweep)];
    const qint64 high = ids[size_t(last)];
    const std::vector<qint64> found = ReadIdsBetween(low, high);
    const std::vector<qint64> known(ids.begin() + FSweep, ids.begin() + last + 1);
    QList<qint64> differing;
    std::set_symmetric_difference(known.cbegin(), known.cend(), found.cbegin(), found.cend(),
                                  std::back_inserter(differing));
    QHash<qint64, QVector<QVariant>> present; // a row found needs no values: they are read when shown
    for (const qint64 id : differing) {
        if (std::binary_search(found.cbegin(), found.cend(), id))
            present.insert(id, QVector<QVariant>(FieldCount()));
    }
    ApplyRows(differing, present);
    bool atHigh = false;
    const int next = IdPosition(high, &atHigh) + (atHigh ? 1 : 0);
    FSweep = next >= RecordCount() ? 0 : next;
}

bool TTable::IdIsKey() const
{
    return FPrimaryKey.size() == 1 && FPrimaryKey.first().compare(QLatin1String("id"), Qt::CaseInsensitive) == 0;
}

void TTable::Sort(const QString& column)
{
    if (column == FSortColumn)
        return;
    FSortColumn = column;
    if (Active()) {
        Close();
        Open();
    }
}

void TTable::CheckModifiable() const
{
    if (FReadOnly)
        throw TError(QStringLiteral("Таблица %1 открыта только для чтения.").arg(FTableName));
    if (!Active())
        throw TError(QStringLiteral("Таблица %1 закрыта.").arg(FTableName));
}

void TTable::Append()
{
    CheckModifiable();
    if (FState != TState::Browse && !Post())
        return;
    const int row = RecordCount();
    FEditValues = QVector<QVariant>(FieldCount());
    FEditChanged = QVector<bool>(FieldCount(), false);
    FState = TState::Insert;
    RowInserted(row, FEditValues);
    SetCurrent(row);
}

void TTable::Edit()
{
    CheckModifiable();
    if (FState != TState::Browse)
        return;
    if (FCurrent < 0)
        throw TError(QStringLiteral("Таблица %1 пуста.").arg(FTableName));
    FEditValues = RowValues(FCurrent);
    FEditChanged = QVector<bool>(FieldCount(), false);
    FState = TState::Edit;
}

bool TTable::Post()
{
    if (FState != TState::Edit && FState != TState::Insert)
        return true;
    if (BeforePost && !BeforePost(*this))
        return false;
    FJournalPosition.reset(); // as in Delete()
    FReadInFull = true;
    if (FState == TState::Insert)
        Insert();
    else
        Update();
    if (AfterPost)
        AfterPost(*this);
    return true;
}

void TTable::Cancel()
{
    if (FState == TState::Insert) {
        FState = TState::Browse;
        const int row = FCurrent;
        RowRemoved(row);
        SetCurrent(qMin(row, RecordCount() - 1));
    } else if (FState == TState::Edit) {
        FState = TState::Browse;
        RowsChanged(FCurrent, FCurrent);
    }
    FEditValues.clear();
    FEditChanged.clear();
}

void TTable::Delete()
{
    CheckModifiable();
    if (FState == TState::Insert) {
        Cancel();
        return;
    }
    Cancel();
    if (FCurrent < 0)
        throw TError(QStringLiteral("Таблица %1 пуста.").arg(FTableName));
    // Rows changed here are no longer where the journal's reader expects them: the next
    // refresh reads the table in full.
    FJournalPosition.reset();
    FReadInFull = true;
    QVariantList binds;
    const QString condition = RowCondition(QVector<QVariant>(RowValues(FCurrent)), binds);
    Execute(QStringLiteral("DELETE FROM ") + Bracketed(FTableName) + condition, binds);
    const int row = FCurrent;
    RowRemoved(row);
    // The row that took the deleted row's place is current, or the new last row.
    FCurrent = -1;
    SetCurrent(qMin(row, RecordCount() - 1));
    if (AfterDelete)
        AfterDelete(*this);
}

QStringList TTable::KeyColumns() const
{
    QStringList key;
    for (const QString& name : FPrimaryKey) {
        if (HasField(name))
            key << FFieldNames[FieldIndex(name)];
    }
    if (key.isEmpty() && HasField(QStringLiteral("id")))
        key << FFieldNames[FieldIndex(QStringLiteral("id"))];
    return key;
}

QString TTable::RowCondition(const QVector<QVariant>& row, QVariantList& binds) const
{
    QStringList key = KeyColumns();
    const bool wholeRow = key.isEmpty();
    if (wholeRow)
        key = FFieldNames; // a table without a key: the row is named by all its values
    QStringList parts;
    for (const QString& column : key) {
        const QVariant value = row.value(FieldIndex(column));
        if (value.isNull()) {
            parts << Bracketed(column) + QStringLiteral(" IS NULL");
        } else {
            parts << Bracketed(column) + QStringLiteral(" = ?");
            binds << value;
        }
    }
    const QString condition = QStringLiteral(" WHERE ") + parts.join(QStringLiteral(" AND "));
    if (wholeRow) {
        // Two identical rows cannot be told apart; changing both would surprise the operator.
        QSqlQuery count(Connection().Database());
        count.prepare(QStringLiteral("SELECT COUNT(*) FROM ") + Bracketed(FTableName) + condition);
        for (int i = 0; i < binds.size(); ++i)
            count.bindValue(i, SqlValue(binds[i]));
        TConnection::TBusyScope busy(Connection());
        if (!count.exec() || !count.next())
            throw TError(count.lastError().text().trimmed());
        if (count.value(0).toLongLong() != 1)
            throw TError(QStringLiteral("Запись таблицы %1 не найдена или не единственна.").arg(FTableName));
    }
    return condition;
}

int TTable::Execute(const QString& statement, const QVariantList& binds, QVariant* insertedId)
{
    TConnection::TBusyScope busy(Connection());
    QSqlQuery query(Connection().Database());
    if (!query.prepare(statement))
        throw TError(query.lastError().text().trimmed());
    for (int i = 0; i < binds.size(); ++i)
        query.bindValue(i, SqlValue(binds[i]));
    if (!query.exec())
        throw TError(query.lastError().text().trimmed());
    if (insertedId && query.driver()->hasFeature(QSqlDriver::LastInsertId))
        *insertedId = query.lastInsertId();
    return query.numRowsAffected();
}

void TTable::Insert()
{
    QStringList columns;
    QStringList marks;
    QVariantList binds;
    for (int i = 0; i < FieldCount(); ++i) {
        if (!FEditChanged[i])
            continue; // left to the database: keys it fills, defaults
        columns << Bracketed(FFieldNames[i]);
        marks << QStringLiteral("?");
        binds << FEditValues[i];
    }
    const QString statement = columns.isEmpty()
        ? QStringLiteral("INSERT INTO ") + Bracketed(FTableName) + QStringLiteral(" DEFAULT VALUES")
        : QStringLiteral("INSERT INTO ") + Bracketed(FTableName) + QStringLiteral(" (")
            + columns.join(QStringLiteral(", ")) + QStringLiteral(") VALUES (")
            + marks.join(QStringLiteral(", ")) + QLatin1Char(')');
    QVariant insertedId;
    Execute(statement, binds, &insertedId);
    PutRow(FCurrent, FEditValues);
    FState = TState::Browse;
    ReadBackInserted(insertedId);
    FEditValues.clear();
    FEditChanged.clear();
}

void TTable::ReadBackInserted(const QVariant& insertedId)
{
    // The database fills the key (and defaults); the row in memory is read back so that
    // the grid and later changes of this row see them.
    if (Lazy()) {
        // The row takes its place among the ids by the id the database gave it.
        std::optional<qint64> id;
        if (KeyColumns().size() == 1 && FieldIndex(KeyColumns().first()) == FIdColumn && insertedId.isValid()
            && !insertedId.isNull())
            id = insertedId.toLongLong();
        const std::vector<qint64>& ids = LazyRows()->Ids();
        if (id && InIdOrder() && (ids.empty() || *id > ids.back())) {
            // The new row is the last in id order, where it was entered: it takes its id in
            // place. Read again instead, the table would reset every grid over it, taking
            // the current cell and the open editor from under the operator's next key.
            LazyRows()->SettlePending(*id);
            RowsChanged(FCurrent, FCurrent);
            return;
        }
        const QVector<QVariant> stored = FEditValues;
        const QVector<bool> changed = FEditChanged;
        ReadAgain(id, stored, changed);
        return;
    }
    const QStringList key = KeyColumns();
    if (key.size() == 1 && insertedId.isValid() && !insertedId.isNull()) {
        TConnection::TBusyScope busy(Connection());
        QSqlQuery query(Connection().Database());
        query.setForwardOnly(true);
        query.prepare(QStringLiteral("SELECT * FROM ") + Bracketed(FTableName) + QStringLiteral(" WHERE ")
                      + Bracketed(key.first()) + QStringLiteral(" = ?"));
        query.bindValue(0, insertedId);
        if (query.exec() && query.next() && query.record().count() == FieldCount()) {
            for (int i = 0; i < FieldCount(); ++i)
                FRows[FCurrent][i] = query.value(i);
            RowsChanged(FCurrent, FCurrent);
            return;
        }
    }
    if (key.isEmpty()) {
        RowsChanged(FCurrent, FCurrent);
        return;
    }
    // The driver does not tell the new key: read the table again and find the row with the
    // values just stored, the newest first.
    ReadAgain(std::nullopt, FRows[FCurrent], FEditChanged);
}

void TTable::ReadAgain(std::optional<qint64> id, const QVector<QVariant>& stored, const QVector<bool>& changed)
{
    const QVector<QVariant> values = stored;
    const QVector<bool> which = changed;
    DisableControls();
    try {
        Close();
        Open();
        bool found = false;
        const int position = id ? IdPosition(*id, &found) : -1;
        if (found) {
            SetCurrent(position);
        } else {
            for (int row = RecordCount() - 1; row >= 0; --row) {
                bool same = true;
                const QVector<QVariant>& candidate = RowValues(row);
                for (int i = 0; i < FieldCount() && same; ++i) {
                    if (which.value(i))
                        same = candidate.value(i).toString() == values.value(i).toString();
                }
                if (same) {
                    SetCurrent(row);
                    break;
                }
            }
        }
    } catch (...) {
        EnableControls();
        throw;
    }
    EnableControls();
}

void TTable::Update()
{
    QStringList assignments;
    QVariantList binds;
    for (int i = 0; i < FieldCount(); ++i) {
        if (!FEditChanged[i])
            continue;
        assignments << Bracketed(FFieldNames[i]) + QStringLiteral(" = ?");
        binds << FEditValues[i];
    }
    if (!assignments.isEmpty()) {
        QVariantList keyValues;
        const QString condition = RowCondition(QVector<QVariant>(RowValues(FCurrent)), keyValues);
        binds += keyValues;
        const int changed = Execute(QStringLiteral("UPDATE ") + Bracketed(FTableName) + QStringLiteral(" SET ")
                                        + assignments.join(QStringLiteral(", ")) + condition,
                                    binds);
        if (changed == 0)
            throw TError(QStringLiteral("Запись таблицы %1 не найдена: её удалили или изменили.").arg(FTableName));
        if (Lazy() && FEditChanged.value(FIdColumn) && FEditValues.value(FIdColumn) != RowValues(FCurrent).value(FIdColumn)) {
            // A row given another id moves among the ids: the table is read again.
            const std::optional<qint64> id = WholeId(FEditValues.value(FIdColumn));
            FState = TState::Browse;
            const QVector<QVariant> stored = FEditValues;
            const QVector<bool> which = FEditChanged;
            FEditValues.clear();
            FEditChanged.clear();
            ReadAgain(id, stored, which);
            return;
        }
        PutRow(FCurrent, FEditValues);
    }
    FState = TState::Browse;
    FEditValues.clear();
    FEditChanged.clear();
    RowsChanged(FCurrent, FCurrent);
}
