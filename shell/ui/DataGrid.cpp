#include "shell/ui/DataGrid.h"

#include "data/Table.h"
#include "shell/ui/CheckColumn.h"
#include "shell/ui/GridKeys.h"
#include "shell/ui/RowIndicator.h"

#include <QHeaderView>
#include <QKeyEvent>

TDataGrid::TDataGrid(TTable& table, QList<TGridColumn> columns, TEnvironment& environment, QWidget* parent)
    : QTableView(parent), FTable(table), FEnvironment(environment),
      FModel(table, std::move(columns), environment.Regional, this)
{
    setModel(&FModel);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsClickable(false);
    setVerticalHeader(new TRowIndicator(this));
    verticalHeader()->setVisible(true);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    for (int column = 0; column < FModel.columnCount(); ++column) {
        if (FModel.IsCheckColumn(column))
            setItemDelegateForColumn(column, new TCheckColumnDelegate(this));
    }

    connect(&FTable, &TDataSet::CurrentRowChanged, this, &TDataGrid::ShowTableRow);
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { TakeGridRow(current); });
    // A reset forgets the grid's current index; the table still knows its row.
    ShowOptionalColumns();
    connect(&FModel, &QAbstractItemModel::modelReset, this, [this] {
        ShowOptionalColumns();
        SizeColumnsOnce();
        ShowTableRow(FTable.RecNo());
    });
    connect(&FModel, &QAbstractItemModel::rowsInserted, this, [this] {
        SizeColumnsOnce();
        ShowTableRow(FTable.RecNo());
    });
    connect(&FModel, &QAbstractItemModel::rowsRemoved, this, [this] { ShowTableRow(FTable.RecNo()); });
}

void TDataGrid::ShowOptionalColumns()
{
    const QList<TGridColumn>& columns = FModel.Columns();
    for (int column = 0; column < columns.size(); ++column) {
        if (columns[column].Optional)
            setColumnHidden(column, !FModel.HasField(column));
    }
}

void TDataGrid::SizeColumnsOnce()
{
    if (FColumnsSized || FModel.rowCount() == 0)
        return;
    FColumnsSized = true;
    horizontalHeader()->setResizeContentsPrecision(100); // the first hundred rows decide
    resizeColumnsToContents();
}

void TDataGrid::AllowEditing()
{
    FEditing = true;
    FModel.SetEditable(true);
    setItemDelegate(new TGridCellDelegate(*this));
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                    | QAbstractItemView::AnyKeyPressed);
}

void TDataGrid::AllowTitleSort()
{
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder); // the database's order
    horizontalHeader()->setSortIndicatorShown(true);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &TDataGrid::SortByColumn);
}

void TDataGrid::ShowTableRow(int row)
{
    const QModelIndex current = currentIndex();
    if (current.isValid() && current.row() == row)
        return;
    FFollowingTable = true;
    if (row < 0 || row >= FModel.rowCount())
        selectionModel()->clearCurrentIndex();
    else
        setCurrentIndex(FModel.index(row, current.isValid() ? current.column() : 0));
    FFollowingTable = false;
}

void TDataGrid::TakeGridRow(const QModelIndex& current)
{
    if (FFollowingTable || !current.isValid() || current.row() == FTable.RecNo())
        return;
    // Moving off a row being edited stores it first, which may fail: report, stay.
    Guarded(FEnvironment, [&] { FTable.SetRecNo(current.row()); });
    if (FTable.RecNo() != current.row())
        ShowTableRow(FTable.RecNo());
}

void TDataGrid::DeleteCurrentRow()
{
    if (!FEditing || !FTable.Active() || FTable.RecNo() < 0)
        return;
    if (!FEnvironment.Confirm(QStringLiteral("Удалить запись?")))
        return;
    Guarded(FEnvironment, [this] { FTable.Delete(); });
}

void TDataGrid::AppendRow()
{
    if (!FEditing || !FTable.Active())
        return;
    Guarded(FEnvironment, [this] { FTable.Append(); });
}

void TDataGrid::SortByColumn(int column)
{
    const QList<TGridColumn>& columns = FModel.Columns();
    if (column < 0 || column >= columns.size())
        return;
    Guarded(FEnvironment, [&] { FTable.Sort(columns[column].Field); });
    horizontalHeader()->setSortIndicator(column, Qt::AscendingOrder);
}

QModelIndex TDataGrid::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    const QModelIndex current = currentIndex();
    const QModelIndex next = QTableView::moveCursor(action, modifiers);
    if (!FEditing || !current.isValid() || !next.isValid())
        return next;
    const bool wrapped = (action == MoveNext && next.row() < current.row())
                         || (action == MovePrevious && next.row() > current.row());
    return wrapped ? current : next;
}

void TDataGrid::keyPressEvent(QKeyEvent* event)
{
    if (FEditing && event->key() == Qt::Key_Delete && event->modifiers() == Qt::ControlModifier) {
        DeleteCurrentRow();
        return;
    }
    if (FEditing && event->key() == Qt::Key_Insert && event->modifiers() == Qt::NoModifier) {
        AppendRow();
        return;
    }
    QTableView::keyPressEvent(event);
}
