#include "shell/ui/LogView.h"

#include "base/LogLines.h"

#include <QHoverEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <utility>
#include <vector>

namespace {

// Far outside any viewport, yet small enough that rectangles built from it stay within int:
// a row that far away is not on screen whatever its exact place.
constexpr qint64 kFar = qint64(1) << 29;

int Clamped(qint64 value)
{
    return int(std::clamp(value, -kFar, kFar));
}

// Division rounding down, also for the heights above the viewport.
qint64 FloorDiv(qint64 value, qint64 divisor)
{
    const qint64 quotient = value / divisor;
    return (value % divisor != 0 && value < 0) ? quotient - 1 : quotient;
}

} // namespace

TLogView::TLogView(TLogLines& lines, QWidget* parent)
    : QAbstractItemView(parent), FLines(lines)
{
    setModel(&lines);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    connect(&lines, &QAbstractItemModel::rowsRemoved, this,
            [this](const QModelIndex&, int start, int) { RowsRemoved(start); });
}

int TLogView::RowCount() const
{
    return model() ? model()->rowCount(rootIndex()) : 0;
}

QSize TLogView::ItemSize() const
{
    if (FItemSize.isValid())
        return FItemSize;
    const int rows = RowCount();
    const QModelIndex sample = rows > 0 ? model()->index(rows - 1, 0, rootIndex()) : QModelIndex();
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QAbstractItemDelegate* delegate = itemDelegateForIndex(sample);
    const QSize size = delegate ? delegate->sizeHint(option, sample) : QSize();
    // Without a line to measure there is nothing to keep.
    if (rows > 0)
        FItemSize = size;
    return size;
}

int TLogView::RowHeight() const
{
    return std::max(1, ItemSize().height());
}

int TLogView::RowWidth() const
{
    return std::max(viewport()->width(), ItemSize().width());
}

int TLogView::TopRow() const
{
    return verticalScrollBar()->value();
}

int TLogView::PageRows() const
{
    return std::max(1, viewport()->height() / RowHeight());
}

qint64 TLogView::RowAtY(int y) const
{
    return TopRow() + FloorDiv(y, RowHeight());
}

QRect TLogView::visualRect(const QModelIndex& index) const
{
    if (!index.isValid() || index.model() != model() || index.parent() != rootIndex())
        return {};
    const qint64 top = qint64(index.row() - TopRow()) * RowHeight();
    return QRect(-horizontalOffset(), Clamped(top), RowWidth(), RowHeight());
}

void TLogView::scrollTo(const QModelIndex& index, ScrollHint hint)
{
    if (!index.isValid() || index.model() != model())
        return;
    const int row = index.row();
    const int page = PageRows();
    int top = TopRow();
    switch (hint) {
    case EnsureVisible:
        if (row < top)
            top = row;
        else if (row >= top + page)
            top = row - page + 1;
        break;
    case PositionAtTop:
        top = row;
        break;
    case PositionAtBottom:
        top = row - page + 1;
        break;
    case PositionAtCenter:
        top = row - page / 2;
        break;
    }
    verticalScrollBar()->setValue(top);
}

QModelIndex TLogView::indexAt(const QPoint& point) const
{
    if (point.y() < 0)
        return {};
    const qint64 row = RowAtY(point.y());
    if (row >= RowCount())
        return {};
    return model()->index(int(row), 0, rootIndex());
}

void TLogView::reset()
{
    FItemSize = QSize();
    QAbstractItemView::reset();
}

QModelIndex TLogView::moveCursor(CursorAction action, Qt::KeyboardModifiers)
{
    const int rows = RowCount();
    if (rows == 0)
        return {};
    const QModelIndex current = currentIndex();
    if (!current.isValid())
        return model()->index(0, 0, rootIndex());
    int row = current.row();
    switch (action) {
    case MoveUp:
    case MovePrevious:
        --row;
        break;
    case MoveDown:
    case MoveNext:
        ++row;
        break;
    case MovePageUp:
        row -= PageRows();
        break;
    case MovePageDown:
        row += PageRows();
        break;
    case MoveHome:
        row = 0;
        break;
    case MoveEnd:
        row = rows - 1;
        break;
    case MoveLeft:
    case MoveRight:
        break; // one column: nothing to the side
    }
    return model()->index(std::clamp(row, 0, rows - 1), 0, rootIndex());
}

int TLogView::horizontalOffset() const
{
    return horizontalScrollBar()->value();
}

int TLogView::verticalOffset() const
{
    return Clamped(qint64(TopRow()) * RowHeight());
}

bool TLogView::isIndexHidden(const QModelIndex&) const
{
    return false;
}

void TLogView::setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command)
{
    // Every row the rectangle touches, whatever its width: a row spans the view.
    const QRect area = rect.normalized();
    const qint64 first = std::max<qint64>(0, RowAtY(area.top()));
    const qint64 last = std::min<qint64>(RowCount() - 1, RowAtY(area.bottom()));
    QItemSelection selection;
    if (first <= last)
        selection.select(model()->index(int(first), 0, rootIndex()), model()->index(int(last), 0, rootIndex()));
    selectionModel()->select(selection, command);
}

QRegion TLogView::visualRegionForSelection(const QItemSelection& selection) const
{
    const int top = TopRow();
    const int bottom = top + PageRows(); // the row partly shown below the whole ones
    const int height = RowHeight();
    QRegion region;
    for (const QItemSelectionRange& range : selection) {
        if (!range.isValid() || range.parent() != rootIndex())
            continue;
        const int first = std::max(range.top(), top);
        const int last = std::min(range.bottom(), bottom);
        if (first <= last)
            region += QRect(0, (first - top) * height, viewport()->width(), (last - first + 1) * height);
    }
    return region;
}

void TLogView::initViewItemOption(QStyleOptionViewItem* option) const
{
    // As Qt's list view presents its items in list mode.
    QAbstractItemView::initViewItemOption(option);
    if (!iconSize().isValid()) {
        const int size = style()->pixelMetric(QStyle::PM_ListViewIconSize, nullptr, this);
        option->decorationSize = QSize(size, size);
    }
    option->decorationPosition = QStyleOptionViewItem::Left;
}

void TLogView::updateGeometries()
{
    // A view shown at the end stays there when rows come or the view is resized.
    QScrollBar* vertical = verticalScrollBar();
    const bool atEnd = vertical->value() >= vertical->maximum();
    const int page = PageRows();
    vertical->setRange(0, std::max(0, RowCount() - page));
    vertical->setPageStep(page);
    vertical->setSingleStep(1);
    if (atEnd)
        vertical->setValue(vertical->maximum());

    QScrollBar* horizontal = horizontalScrollBar();
    const int width = ItemSize().width();
    horizontal->setRange(0, std::max(0, width - viewport()->width()));
    horizontal->setPageStep(viewport()->width());
    horizontal->setSingleStep(std::max(1, width));

    QAbstractItemView::updateGeometries();
}

void TLogView::scrollContentsBy(int dx, int dy)
{
    // The vertical scroll bar counts rows.
    QAbstractItemView::scrollContentsBy(dx, Clamped(qint64(dy) * RowHeight()));
}

void TLogView::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight, const QList<int>& roles)
{
    if (bottomRight.isValid() && bottomRight.row() >= RowCount() - 1) {
        FItemSize = QSize();
        updateGeometries();
    }
    QAbstractItemView::dataChanged(topLeft, bottomRight, roles);
}

void TLogView::rowsInserted(const QModelIndex& parent, int start, int end)
{
    // One announcement per batch of lines: the scroll bar learns the new count, the view
    // moves once if it followed the end, and repaints only where the new rows show.
    FItemSize = QSize();
    updateGeometries();
    if (start <= TopRow() + PageRows())
        viewport()->update();
    QAbstractItemView::rowsInserted(parent, start, end);
}

void TLogView::RowsRemoved(int start)
{
    FItemSize = QSize();
    updateGeometries();
    if (start <= TopRow() + PageRows())
        viewport()->update();
}

void TLogView::paintEvent(QPaintEvent* event)
{
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QStyle::State state = option.state;
    const bool enabled = state & QStyle::State_Enabled;
    const QModelIndex current = currentIndex();
    const bool focus = (hasFocus() || viewport()->hasFocus()) && current.isValid();

    // Only the rows in the area to paint are visited.
    const QRect area = event->rect();
    const qint64 first = std::max<qint64>(0, RowAtY(area.top()));
    const qint64 last = std::min<qint64>(RowCount() - 1, RowAtY(area.bottom()));
    QPainter painter(viewport());
    for (qint64 row = first; row <= last; ++row) {
        const QModelIndex index = model()->index(int(row), 0, rootIndex());
        option.rect = visualRect(index);
        option.state = state;
        if (selectionModel()->isSelected(index))
            option.state |= QStyle::State_Selected;
        if (enabled) {
            const bool itemEnabled = model()->flags(index) & Qt::ItemIsEnabled;
            option.state.setFlag(QStyle::State_Enabled, itemEnabled);
            option.palette.setCurrentColorGroup(itemEnabled ? QPalette::Normal : QPalette::Disabled);
        }
        if (focus && index == current) {
            option.state |= QStyle::State_HasFocus;
            if (this->state() == EditingState)
                option.state |= QStyle::State_Editing;
        }
        option.state.setFlag(QStyle::State_MouseOver, index == FHover);
        itemDelegateForIndex(index)->paint(&painter, option, index);
    }
}

void TLogView::keyPressEvent(QKeyEvent* event)
{
    if (state() != QAbstractItemView::EditingState) {
        if (event->key() == Qt::Key_Insert) {
            const int row = currentIndex().isValid() ? currentIndex().row() + 1 : FLines.Count();
            FLines.InsertLine(row, QString());
            setCurrentIndex(FLines.index(row));
            edit(currentIndex());
            return;
        }
        if (event->key() == Qt::Key_Delete) {
            DeleteSelectedLines();
            return;
        }
    }
    QAbstractItemView::keyPressEvent(event);
}

void TLogView::DeleteSelectedLines()
{
    // Runs of selected rows, each removed at once, the lowest run first so that the rows
    // of the others keep their numbers: selecting the whole log and deleting it is one
    // removal, not one per line.
    std::vector<std::pair<int, int>> runs;
    for (const QItemSelectionRange& range : selectionModel()->selection()) {
        if (range.isValid())
            runs.emplace_back(range.top(), range.bottom());
    }
    std::sort(runs.begin(), runs.end());
    std::vector<std::pair<int, int>> merged;
    for (const auto& [top, bottom] : runs) {
        if (!merged.empty() && top <= merged.back().second + 1)
            merged.back().second = std::max(merged.back().second, bottom);
        else
            merged.emplace_back(top, bottom);
    }
    for (auto run = merged.rbegin(); run != merged.rend(); ++run)
        FLines.RemoveLines(run->first, run->second - run->first + 1);
}

bool TLogView::viewportEvent(QEvent* event)
{
    // The row under the mouse, for styles that paint it: Qt's item view tracks it but
    // keeps it to itself.
    switch (event->type()) {
    case QEvent::HoverEnter:
    case QEvent::HoverMove:
        FHover = indexAt(static_cast<QHoverEvent*>(event)->position().toPoint());
        break;
    case QEvent::HoverLeave:
    case QEvent::Leave:
        FHover = QPersistentModelIndex();
        break;
    default:
        break;
    }
    return QAbstractItemView::viewportEvent(event);
}

void TLogView::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        FItemSize = QSize();
    QAbstractItemView::changeEvent(event);
}
