#pragma once

#include "data/DataSet.h"

#include <optional>

// A whole database table by name, with its rows in memory: browse, edit, append and
// delete rows, order by one column. A table opened read-only (the terminal's exports)
// refuses every change.
class TTable : public TDataSet {
    Q_OBJECT
public:
    TTable(TConnection& connection, const QString& tableName, bool readOnly = false);

    const QString& TableName() const { return FTableName; }
    bool ReadOnly() const { return FReadOnly; }
    bool IsQuery() const override { return false; }
    bool CanModify() const override { return !FReadOnly; }
    bool IdIsKey() const override;

    // Orders the rows by one column (ascending; text without regard to case); an empty
    // name gives the database's own order. An open table is re-read at once.
    void Sort(const QString& column);

    void Append() override;
    void Edit() override;
    bool Post() override;
    void Cancel() override;
    void Delete() override;

    // A table with a change journal (ChangeJournal.h), ordered by its id key and not
    // edited through this object since its last read, reads only its changed rows.
    bool RefreshChangedRows() override;

    // Called before a row is stored; returning false refuses the store (the row stays in
    // editing). Called after a row is stored, and after a row is deleted.
    std::function<bool(TTable&)> BeforePost;
    std::function<void(TTable&)> AfterPost;
    std::function<void(TTable&)> AfterDelete;

protected:
    void Fetch() override;

private:
    void CheckModifiable() const;
    QStringList KeyColumns() const;
    // "WHERE" condition naming the row as it was read, with its values appended to binds.
    QString RowCondition(const QVector<QVariant>& row, QVariantList& binds) const;
    void Insert();
    void Update();
    void ReadBackInserted(const QVariant& insertedId);
    int Execute(const QString& statement, const QVariantList& binds, QVariant* insertedId = nullptr);
    // No sort column, or the id: the order the journal's reader keeps.
    bool InIdOrder() const;
    // Whether the journal can serve this table: ordered by its id, the id its key.
    bool JournalOrder() const;
    // Where the journal stood when the rows were read; empty when it cannot serve them.
    void TakeJournalPosition(const std::optional<qint64>& position);
    // The position of the row with this id, or where it would go, in rows ordered by id.
    int IdPosition(qint64 id, int idColumn, bool* found) const;

    const QString FTableName;
    const bool FReadOnly;
    QString FSortColumn;
    QStringList FPrimaryKey; // read when the table opens
    std::optional<qint64> FJournalPosition;
};
