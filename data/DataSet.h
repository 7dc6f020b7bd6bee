#pragma once

#include "data/Connection.h"
#include "data/LazyRows.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QObject>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <functional>
#include <memory>
#include <optional>

class QSqlQuery;
class TDataSet;

// A column's value as text, as TField::AsString() reads it: "" for null, "True" or
// "False" for a boolean.
QString ValueAsString(const QVariant& value);

// One column of a data set's current row. Names match without regard to case.
// A null value reads as 0, 0.0, "", false or an invalid date-time; a text that is not a
// number where a number is asked for is an error (TError), as it would be for the operator.
class TField {
public:
    TField(TDataSet& dataSet, int index) : FDataSet(dataSet), FIndex(index) {}
    QString Name() const;
    QVariant Value() const; // null when there is no current row
    bool IsNull() const;
    int AsInteger() const;
    qint64 AsLargeInt() const;
    double AsFloat() const;
    QString AsString() const;
    bool AsBoolean() const;
    QDateTime AsDateTime() const;
    // Changes the value in the row being edited; a browsing table enters editing first.
    void SetValue(const QVariant& value);

private:
    TDataSet& FDataSet;
    int FIndex;
};

// The grid's view of a data set: its rows as they are in memory, the row being edited
// with its edited values. Editing a cell edits and stores the row through the data set.
class TDataSetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TDataSetModel(TDataSet& dataSet) : FDataSet(dataSet) {}
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

private:
    friend class TDataSet;
    TDataSet& FDataSet;
};

// A set of rows read from a database: a whole table (TTable) or a statement's result
// (TQuery). Rows are read into memory when the data set opens, or, for a table whose rows
// are named by their ids, only the ids, the values being read a page at a time as they
// are asked for (TLazyRows); one row is current.
class TDataSet : public QObject {
    Q_OBJECT
public:
    enum class TState { Inactive, Browse, Edit, Insert };

    explicit TDataSet(TConnection& connection);
    ~TDataSet() override;

    TConnection& Connection() const { return FConnection; }
    virtual bool IsQuery() const = 0;
    virtual bool CanModify() const { return false; }
    // No two rows can have the same "id": it is the table's key.
    virtual bool IdIsKey() const { return false; }

    // Reads the rows and makes the first one current; nothing happens when already open.
    // Throws TError (the connection closed, the driver's message).
    void Open();
    // Forgets the rows and any edit.
    void Close();
    bool Active() const { return FState != TState::Inactive; }
    TState State() const { return FState; }

    // Moving works as in the desktop databases the operator knows: Last() and a Next() on
    // the last row set Eof; moving off a row being edited stores the edit first.
    void First();
    void Last();
    void Next();
    bool Eof() const { return FEof; }
    bool IsEmpty() const { return RecordCount() == 0; }
    int RecordCount() const { return FLazy ? FLazy->Count() : int(FRows.size()); }
    int RecNo() const { return FCurrent; } // 0-based; -1 without rows
    void SetRecNo(int row);
    // Makes current the first row whose column equals the value: text without regard to
    // case, numbers by value. False (and the current row kept) when no row has it.
    bool Locate(const QString& column, const QVariant& value);

    int FieldCount() const { return int(FFieldNames.size()); }
    const QStringList& FieldNames() const { return FFieldNames; }
    int FieldIndex(const QString& name) const; // -1 when missing
    bool HasField(const QString& name) const { return FieldIndex(name) >= 0; }
    TField FieldByName(const QString& name); // throws TError when missing
    TField Field(int index) { return TField(*this, index); }
    QVariant Value(const QString& name) { return FieldByName(name).Value(); }

    // Brings the rows of a data set being browsed up to date by reading only the rows
    // changed since they were last read, leaving them exactly as a re-read would, the
    // current row on its id (the first row when it is gone) and the views told of each
    // changed row instead of reset. False, with nothing changed, where that cannot be done:
    // the caller then reads the rows in full. Throws TError when the database fails.
    // databaseChanged: the database may have changed since the last refresh (false: the
    // refresh only goes on with checks the data set has left, see Settled()).
    virtual bool RefreshChangedRows(bool databaseChanged)
    {
        (void)databaseChanged;
        return false;
    }
    // Whether the rows are known to be what the database held at the last refresh. A data
    // set that checks a changed database over several refreshes is not settled until it
    // is through, and is refreshed again even where nothing changed since.
    virtual bool Settled() const { return true; }

    // The database's stamp taken just before RefreshTable last read the rows; forgotten
    // when the data set closes or its rows are read otherwise.
    const std::optional<TChangeStamp>& RefreshStamp() const { return FRefreshStamp; }
    // Also marks the rows as read by RefreshTable (an engine without stamps has none).
    void SetRefreshStamp(const std::optional<TChangeStamp>& stamp)
    {
        FRefreshStamp = stamp;
        FReadByRefresh = true;
    }
    // RefreshTable read the rows last, and nothing else read them since.
    bool ReadByRefresh() const { return FReadByRefresh; }

    // Freezes the views bound to this data set until the matching EnableControls():
    // they see one reset at the end instead of every step in between.
    void DisableControls();
    void EnableControls();
    TDataSetModel& Model() { return FModel; }

    // Editing; a data set that cannot be modified throws TError.
    virtual void Append();
    virtual void Edit();
    // Stores the row being edited. False when a before-post hook refused it: the row then
    // stays in editing and nothing is stored.
    virtual bool Post();
    virtual void Cancel();
    virtual void Delete();

signals:
    void CurrentRowChanged(int row);
    // A cell edited in a grid could not be stored; the text says why.
    void EditFailed(const QString& text);

protected:
    // Runs the statement that gives the rows and hands it to Load().
    virtual void Fetch() = 0;
    // Called whenever the data set closes (also when closed already): statements kept for
    // reading its rows go with the connection they were prepared on.
    virtual void Forget() {}
    void Load(QSqlQuery& query);
    // The same for rows read otherwise: the column names and the rows, as Load() keeps them.
    void Load(QStringList fieldNames, QVector<QVector<QVariant>> rows);
    // The same for rows read by their ids as they are asked for.
    void LoadLazy(QStringList fieldNames, std::vector<qint64> ids, int idColumn, TLazyRows::TFetch fetch);
    bool Lazy() const { return bool(FLazy); }
    TLazyRows* LazyRows() const { return FLazy.get(); }
    // A cell as the views see it; null where the row cannot be read now.
    QVariant CellValue(int row, int column) const;
    // The values of a row as stored (not as being edited). Throws TError when the row
    // cannot be read.
    const QVector<QVariant>& RowValues(int row) const;
    // The row's values as the database holds them now.
    void PutRow(int row, const QVector<QVariant>& values);
    void SetCurrent(int row);
    void RowsChanged(int first, int last);
    void RowInserted(int row, const QVector<QVariant>& values);
    // Rows of a lazy data set that came with these ids, inserted before the given row.
    void RowIdsInserted(int row, const std::vector<qint64>& ids);
    void RowRemoved(int row);
    // Rows first..last, removed at once: the views hear of one removal, not of each row.
    void RowsRemoved(int first, int last);
    void ResetViews(const std::function<void()>& change);

    QStringList FFieldNames;
    QVector<QVector<QVariant>> FRows; // every row, unless the rows are lazy
    std::unique_ptr<TLazyRows> FLazy;
    QVector<QVariant> FEditValues;  // the row being edited
    QVector<bool> FEditChanged;     // which of its values were set
    int FCurrent = -1;
    TState FState = TState::Inactive;

private:
    friend class TField;
    friend class TDataSetModel;
    void SetFieldValue(int index, const QVariant& value);

    TConnection& FConnection;
    TDataSetModel FModel;
    bool FEof = true;
    int FFrozen = 0;
    bool FCurrentMoved = false;
    std::optional<TChangeStamp> FRefreshStamp;
    bool FReadByRefresh = false;
};

// Re-reads a data set keeping its current row: the row with the same "id" is current again,
// the first row when that id is gone. Does nothing while the connection is busy. Never
// throws: a data set that fails is left closed and the next refresh opens it again.
// A table being browsed whose database nobody has changed since its last refresh (a
// SQLite file: no commit by another connection, no row changed by its own) keeps the rows
// it holds, which are then exactly what a re-read would give; one whose database changed
// reads only its changed rows where it can (RefreshChangedRows); elsewhere it is re-read.
void RefreshTable(TDataSet& dataSet) noexcept;
