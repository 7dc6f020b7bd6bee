#pragma once

#include "shell/ui/GridModel.h"

#include <QTableView>

class TTable;

// A grid over a table object: a title row, a row indicator, columns the operator resizes.
// It shares the table's current row: a row chosen in the grid becomes the table's current
// row, and the table's current row is the grid's. Editing, deleting with a question first,
// and ordering by a click on a column title are switched on per grid.
class TDataGrid : public QTableView {
    Q_OBJECT
public:
    TDataGrid(TTable& table, QList<TGridColumn> columns, TEnvironment& environment,
              QWidget* parent = nullptr);

    TTable& Table() const { return FTable; }
    TGridModel& GridModel() { return FModel; }

    // The operator may change cells, add a row (Insert) and delete the current row
    // (Ctrl+Delete), which asks first. A row being added is stored as a whole when the
    // operator leaves it (GridCells.h); check columns take only a check.
    void AllowEditing();
    // A click on a column title orders the table by that column.
    void AllowTitleSort();

    // Deletes the current row once the operator confirms it.
    void DeleteCurrentRow();
    // Adds an empty row to edit.
    void AppendRow();
    // Orders the table by the grid's column.
    void SortByColumn(int column);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    // In an editable grid Tab stops at the last cell and Shift+Tab at the first: going
    // round to the other end of the table would store the row being entered and put the
    // next key typed into the first row's first cell.
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;

private:
    void ShowTableRow(int row);
    void TakeGridRow(const QModelIndex& current);
    // The first rows the grid shows size its columns to their contents; after that the
    // widths are the operator's.
    void SizeColumnsOnce();
    // Hides an optional column whose field the table does not have.
    void ShowOptionalColumns();

    TTable& FTable;
    TEnvironment& FEnvironment;
    TGridModel FModel;
    bool FEditing = false;
    bool FFollowingTable = false;
    bool FColumnsSized = false;
};
