#pragma once

#include "data/DataSet.h"

#include <QHash>
#include <QSqlQuery>
#include <memory>
#include <optional>
#include <vector>

// A whole database table by name: browse, edit, append and delete rows, order by one
// column. A table opened read-only (the terminal's exports) refuses every change.
//
// A table whose rows are named by an "id" column of whole numbers, each once, holds only
// the ids in memory, in the order it shows them; the values are read a page at a time as
// a grid or the program asks for them (TLazyRows). Any other table holds all its rows.
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
    // A table holding only its ids and no journal (every table over ODBC, the bridge
    // tables of a SQLite file) reads what a tick can afford, whatever the table holds:
    // - in id order, the ids above its last id: new rows show at once;
    // - the rows it holds (those on screen, the current row), again: a row changed or
    //   deleted where the operator looks shows at once;
    // - the ids of one slice of SweepRows rows, the next slice at the next refresh, round
    //   the table: a row deleted (or added below the last id) off screen goes (comes) within
    //   one round, and a row off screen is read afresh whenever it comes on screen;
    // - ordered by another column, all the ids in that order: a changed order reads the
    //   table again.
    // Not edited through this object since its last read, as above.
    bool RefreshChangedRows(bool databaseChanged) override;
    // A table without a journal is settled once its slices of ids have gone round the table
    // since the database last changed.
    bool Settled() const override { return FSlicesLeft == 0; }

    static constexpr int SweepRows = 1024;

    // Called before a row is stored; returning false refuses the store (the row stays in
    // editing). Called after a row is stored, and after a row is deleted.
    std::function<bool(TTable&)> BeforePost;
    std::function<void(TTable&)> AfterPost;
    std::function<void(TTable&)> AfterDelete;

protected:
    void Fetch() override;
    void Forget() override;

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
    // The position of the row with this id; in id order, where it would go when missing.
    int IdPosition(qint64 id, bool* found) const;
    qint64 RowId(int row) const;

    // Reads only the ids, in the order shown, and keeps them for a lazy reading of the
    // rows; false, with nothing kept, where the ids cannot name the rows.
    bool FetchIds();
    // The table's columns as the database gives them now. Throws TError.
    QStringList ReadFieldNames();
    void FetchRows(bool inIdOrder);
    // The ids in the order shown; none where they cannot name the rows.
    std::optional<std::vector<qint64>> ReadIds(const QStringList& fieldNames);
    // The rows with these ids, by id; none when the table's columns are no longer the
    // ones read. Throws TError when the read fails.
    std::optional<QHash<qint64, QVector<QVariant>>> ReadRows(const QList<qint64>& ids);
    // The ids of the rows between two ids (both included), ascending.
    std::vector<qint64> ReadIdsBetween(qint64 low, qint64 high);
    std::vector<qint64> ReadIdsAbove(qint64 id);
    QSqlQuery& Statement(std::unique_ptr<QSqlQuery>& kept, const QString& text);

    // Puts the rows read for these ids (ascending) in place: changed, inserted, removed.
    void ApplyRows(const QList<qint64>& ids, const QHash<qint64, QVector<QVariant>>& rows);
    bool RefreshWithoutJournal(bool databaseChanged);
    // The held rows read again; false when the table's columns changed.
    bool RereadHeldRows();
    void SweepIds();
    // The current row back on its id after the rows changed, the first row when it is gone.
    void PlaceCurrent(bool hadCurrent, qint64 id);
    // Reads the table again after a change through this object, the row with this id
    // current (none: the row whose changed values are these, the newest first).
    void ReadAgain(std::optional<qint64> id, const QVector<QVariant>& stored, const QVector<bool>& changed);

    const QString FTableName;
    const bool FReadOnly;
    QString FSortColumn;
    QStringList FPrimaryKey; // read when the table opens
    std::optional<qint64> FJournalPosition;
    // Changed through this object since the last read: the next refresh reads in full.
    bool FReadInFull = false;
    int FSweep = 0; // the first row of the next slice of ids to check
    int FSlicesLeft = 0; // slices to check before the rows are known to be the database's
    int FIdColumn = -1;
    std::unique_ptr<QSqlQuery> FRowsById;
    std::unique_ptr<QSqlQuery> FIdsBetween;
    std::unique_ptr<QSqlQuery> FIdsAbove;
};
