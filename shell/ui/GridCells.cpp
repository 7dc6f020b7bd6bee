#include "shell/ui/GridCells.h"

#include "base/Error.h"
#include "data/Table.h"
#include "shell/ui/DataGrid.h"

bool SetGridCell(QAbstractItemView& view, const QModelIndex& index, const QVariant& value)
{
    auto* grid = qobject_cast<TDataGrid*>(&view);
    if (!grid || !index.isValid())
        return false;
    TTable& table = grid->Table();
    const QList<TGridColumn>& columns = grid->GridModel().Columns();
    if (!grid->GridModel().TakesValue(index, value))
        return false;
    const bool adding = table.State() == TDataSet::TState::Insert && index.row() == table.RecNo();
    if (!adding || !(grid->model()->flags(index) & Qt::ItemIsEditable) || index.column() >= columns.size())
        return grid->model()->setData(index, value, Qt::EditRole);
    // Called from a view: no exception may go back into Qt.
    try {
        table.FieldByName(columns[index.column()].Field).SetValue(value);
        return true;
    } catch (const std::exception& error) {
        emit table.EditFailed(ErrorText(error));
        return false;
    }
}
