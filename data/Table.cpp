#include "data/Table.h"

#include "base/Error.h"
#include "data/ChangeJournal.h"
#include "data/Connection.h"
#include "data/SqlValue.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlIndex>
#include <QSqlQuery>
#include <QSqlRecord>
#include <algorithm>

namespace {

QString Bracketed(const QString& name)
{
    return QLatin1Char('[') + name + QLatin1Char(']');
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
    QString statement = QStringLiteral("SELECT * FROM ") + Bracketed(FTableName);
    if (!FSortColumn.isEmpty())
        statement += QStringLiteral(" ORDER BY ") + Bracketed(FSortColumn);
    else if (journal)
        statement += QStringLiteral(" ORDER BY [id]"); // the rowid order SQLite reads in anyway
    {
        TConnection::TBusyScope busy(Connection());
        QSqlQuery query(database);
        query.setForwardOnly(true);
        if (!query.exec(statement))
            throw TError(query.lastError().text().trimmed());
        Load(query);
        query.finish();
    }

    FPrimaryKey.clear();
    if (!FReadOnly) {
        const QSqlIndex key = database.primaryIndex(FTableName);
        for (int i = 0; i < key.count(); ++i)
            FPrimaryKey << key.fieldName(i);
    }
    TakeJournalPosition(journal);
}

void TTable::TakeJournalPosition(const std::optional<qint64>& position)
{
    FJournalPosition.reset();
    if (!position || !JournalOrder())
        return;
    // Changed rows are put in their place by id: the ids must be whole numbers, ascending.
    const int idColumn = FieldIndex(QStringLiteral("id"));
    qint64 previous = 0;
    for (int row = 0; row < FRows.size(); ++row) {
        bool ok = false;
        const qint64 id = FRows[row][idColumn].toLongLong(&ok);
        if (!ok || (row > 0 && id <= previous))
            return;
        previous = id;
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

int TTable::IdPosition(qint64 id, int idColumn, bool* found) const
{
    const auto place = std::lower_bound(FRows.cbegin(), FRows.cend(), id, [idColumn](const QVector<QVariant>& row, qint64 wanted) {
        return row[idColumn].toLongLong() < wanted;
    });
    const int position = int(place - FRows.cbegin());
    *found = place != FRows.cend() && (*place)[idColumn].toLongLong() == id;
    return position;
}

bool TTable::RefreshChangedRows()
{
    if (!FJournalPosition || FState != TState::Browse || !JournalOrder())
        return false;
    const std::optional<TJournalChanges> changes = JournalChangesSince(Connection(), FTableName, *FJournalPosition);
    if (!changes)
        return false;
    // Every changed row is read before any is put in place: a failure leaves the rows as
    // they were, for the full re-read that follows.
    QList<std::optional<QVector<QVariant>>> changed;
    {
        TConnection::TBusyScope busy(Connection());
        QSqlQuery& query = Connection().PreparedStatement(QStringLiteral("SELECT * FROM ") + Bracketed(FTableName)
                                                          + QStringLiteral(" WHERE [id] = ?")).Query;
        for (const qint64 id : changes->Ids) {
            query.bindValue(0, id);
            if (!query.exec())
                throw TError(query.lastError().text().trimmed());
            std::optional<QVector<QVariant>> row;
            if (query.next()) {
                const QSqlRecord record = query.record();
                bool sameColumns = record.count() == FieldCount();
                for (int i = 0; sameColumns && i < FieldCount(); ++i)
                    sameColumns = record.fieldName(i) == FFieldNames[i];
                if (!sameColumns) {
                    query.finish();
                    return false; // the table itself changed: read it in full
                }
                row = QVector<QVariant>(FieldCount());
                for (int i = 0; i < FieldCount(); ++i)
                    (*row)[i] = query.value(i);
            }
            const QSqlError error = query.lastError();
            query.finish();
            if (error.isValid())
                throw TError(error.text().trimmed());
            changed << row;
        }
    }

    const int idColumn = FieldIndex(QStringLiteral("id"));
    const bool hadCurrent = FCurrent >= 0;
    const qint64 currentId = hadCurrent ? FRows[FCurrent][idColumn].toLongLong() : 0;
    for (int i = 0; i < changes->Ids.size(); ++i) {
        bool found = false;
        const int position = IdPosition(changes->Ids[i], idColumn, &found);
        if (changed[i] && found) {
            FRows[position] = *changed[i];
            RowsChanged(position, position);
        } else if (changed[i]) {
            RowInserted(position, *changed[i]);
        } else if (found) {
            RowRemoved(position);
        }
    }
    FJournalPosition = changes->Position;

    bool found = false;
    const int current = hadCurrent ? IdPosition(currentId, idColumn, &found) : -1;
    if (found) {
        SetRecNo(current);
    } else {
        // As after a re-read that does not find the remembered id: the first row. The views
        // hear of it even where its number is the old one's, for it is another row now.
        FCurrent = -2;
        First();
    }
    return true;
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
    FEditValues = FRows[FCurrent];
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
    QVariantList binds;
    const QString condition = RowCondition(FRows[FCurrent], binds);
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
    FRows[FCurrent] = FEditValues;
    FState = TState::Browse;
    ReadBackInserted(insertedId);
    FEditValues.clear();
    FEditChanged.clear();
}

void TTable::ReadBackInserted(const QVariant& insertedId)
{
    // The database fills the key (and defaults); the row in memory is read back so that
    // the grid and later changes of this row see them.
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
    const QVector<QVariant> stored = FRows[FCurrent];
    const QVector<bool> changed = FEditChanged;
    DisableControls();
    try {
        Close();
        Open();
        for (int row = RecordCount() - 1; row >= 0; --row) {
            bool same = true;
            for (int i = 0; i < FieldCount() && same; ++i) {
                if (changed.value(i))
                    same = FRows[row][i].toString() == stored.value(i).toString();
            }
            if (same) {
                SetCurrent(row);
                break;
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
        const QString condition = RowCondition(FRows[FCurrent], keyValues);
        binds += keyValues;
        const int changed = Execute(QStringLiteral("UPDATE ") + Bracketed(FTableName) + QStringLiteral(" SET ")
                                        + assignments.join(QStringLiteral(", ")) + condition,
                                    binds);
        if (changed == 0)
            throw TError(QStringLiteral("Запись таблицы %1 не найдена: её удалили или изменили.").arg(FTableName));
        FRows[FCurrent] = FEditValues;
    }
    FState = TState::Browse;
    FEditValues.clear();
    FEditChanged.clear();
    RowsChanged(FCurrent, FCurrent);
}
