#pragma once

#include <QAbstractItemView>
#include <QPersistentModelIndex>
#include <QSize>

class TLogLines;

// The log tab's view of the on-screen log: one row per log line, a vertical scroll bar,
// following the end while it is shown there. The operator may edit it: a double click or
// F2 edits a line, Insert adds an empty line after the current one, Delete removes the
// selected lines.
//
// Every line is one row of the same height, so the view finds a row's place by arithmetic
// instead of laying the rows out: Qt's list view lays out every row it holds whenever rows
// are added, which with a million lines cost many times the line itself. Adding lines,
// scrolling and painting here cost the same whatever the log holds. As Qt's list view does
// with items of uniform size, the view scrolls by whole rows, and a row is as wide as the
// last line's text or the view, whichever is wider.
class TLogView : public QAbstractItemView {
    Q_OBJECT
public:
    explicit TLogView(TLogLines& lines, QWidget* parent = nullptr);

    QRect visualRect(const QModelIndex& index) const override;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
    QModelIndex indexAt(const QPoint& point) const override;
    void reset() override;

protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    int horizontalOffset() const override;
    int verticalOffset() const override;
    bool isIndexHidden(const QModelIndex& index) const override;
    void setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) override;
    QRegion visualRegionForSelection(const QItemSelection& selection) const override;
    void initViewItemOption(QStyleOptionViewItem* option) const override;
    void updateGeometries() override;
    void scrollContentsBy(int dx, int dy) override;
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                     const QList<int>& roles = QList<int>()) override;
    void rowsInserted(const QModelIndex& parent, int start, int end) override;

    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    int RowCount() const;
    // The size of every row: the last line's, as the delegate measures it.
    QSize ItemSize() const;
    int RowHeight() const;
    int RowWidth() const;
    // The row at the top of the view, and how many rows the view shows whole.
    int TopRow() const;
    int PageRows() const;
    // The row at a height of the viewport (above or below it too); may lie outside the log.
    qint64 RowAtY(int y) const;
    void RowsRemoved(int start);
    void DeleteSelectedLines();

    TLogLines& FLines;
    mutable QSize FItemSize; // invalid until measured again
    QPersistentModelIndex FHover;
};
