#pragma once

#include <QStyledItemDelegate>

class QTableView;

// The cells' editors of an editable grid: the value typed goes where SetGridCell
// (GridCells.h) puts it, so that a row being added is stored as a whole, never cell by
// cell. In a grid where Enter moves on (EnterMovesToNextCell), Enter stores the cell and
// closes the editor, and once the editor is gone the grid moves to the next cell;
// elsewhere Enter does what it does in any view. A column of its own kind derives from it.
class TGridCellDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit TGridCellDelegate(QTableView& grid);

    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;

protected:
    bool eventFilter(QObject* object, QEvent* event) override;
    // The value the editor holds; false when the cell is not to take it (it keeps its value).
    virtual bool EditorValue(QWidget* editor, QVariant* value) const;

    QTableView* FGrid;
};

// The Enter key in the grid moves to the next cell, as Tab does: on to the next column,
// from the last column to the first cell of the next row. A cell being edited is stored
// first. The grid's other keys stay as they are.
void EnterMovesToNextCell(QTableView& grid);

// Enter in the grid stays there: a cell being edited is stored and the cursor stays on it;
// the key does not go on to the window (where it would press the default button).
void KeepEnterInGrid(QTableView& grid);
