#include "shell/ui/GridKeys.h"

#include "shell/ui/GridCells.h"

#include <QKeyEvent>
#include <QMetaProperty>
#include <QPointer>
#include <QTableView>

namespace {

// The name of the filter by which Enter moves on in a grid.
const QString kEnterMoves = QStringLiteral("EnterMovesToNextCell");

bool MovesOnEnter(const QTableView& grid)
{
    return grid.findChild<QObject*>(kEnterMoves, Qt::FindDirectChildrenOnly) != nullptr;
}

bool IsEnter(const QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto* key = static_cast<const QKeyEvent*>(event);
    return (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && key->modifiers() == Qt::NoModifier;
}

void MoveToNextCell(QTableView& grid)
{
    const QModelIndex current = grid.currentIndex();
    QAbstractItemModel* model = grid.model();
    if (!current.isValid() || !model)
        return;
    int row = current.row();
    int column = current.column() + 1;
    while (column < model->columnCount() && grid.isColumnHidden(column))
        ++column;
    if (column >= model->columnCount()) {
        if (row + 1 >= model->rowCount())
            return;
        ++row;
        column = 0;
    }
    grid.setCurrentIndex(model->index(row, column));
}

// Enter on the grid itself (no cell being edited, or passed on by a cell's editor after
// it stored the cell): on to the next cell when moving, and taken either way.
class TEnterFilter : public QObject {
public:
    TEnterFilter(QTableView& grid, bool move) : QObject(&grid), FGrid(grid), FMove(move)
    {
        if (move)
            setObjectName(kEnterMoves);
    }

    bool eventFilter(QObject*, QEvent* event) override
    {
        if (!IsEnter(event))
            return false;
        if (FMove)
            MoveToNextCell(FGrid);
        return true;
    }

private:
    QTableView& FGrid;
    const bool FMove;
};

} // namespace

TGridCellDelegate::TGridCellDelegate(QTableView& grid) : QStyledItemDelegate(&grid), FGrid(&grid) {}

void TGridCellDelegate::setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const
{
    QVariant value;
    if (EditorValue(editor, &value))
        SetGridCell(*FGrid, index, value);
}

bool TGridCellDelegate::EditorValue(QWidget* editor, QVariant* value) const
{
    const QByteArray property = editor->metaObject()->userProperty().name();
    *value = editor->property(property.constData());
    return true;
}

bool TGridCellDelegate::eventFilter(QObject* object, QEvent* event)
{
    auto* editor = qobject_cast<QWidget*>(object);
    if (!editor || !IsEnter(event) || !MovesOnEnter(*FGrid))
        return QStyledItemDelegate::eventFilter(object, event);
    // Stored and closed here, the key taken: it must not reach the grid as well.
    emit commitData(editor);
    emit closeEditor(editor, QAbstractItemDelegate::NoHint);
    QPointer<QTableView> grid = FGrid;
    QMetaObject::invokeMethod(
        FGrid, [grid] { if (grid) MoveToNextCell(*grid); }, Qt::QueuedConnection);
    return true;
}

void EnterMovesToNextCell(QTableView& grid)
{
    if (!qobject_cast<TGridCellDelegate*>(grid.itemDelegate()))
        grid.setItemDelegate(new TGridCellDelegate(grid));
    grid.installEventFilter(new TEnterFilter(grid, true));
}

void KeepEnterInGrid(QTableView& grid)
{
    grid.installEventFilter(new TEnterFilter(grid, false));
}
