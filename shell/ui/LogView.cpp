#include "shell/ui/LogView.h"

#include "base/LogLines.h"

#include <QKeyEvent>
#include <QScrollBar>

TLogView::TLogView(TLogLines& lines, QWidget* parent)
    : QListView(parent), FLines(lines)
{
    setModel(&lines);
    setUniformItemSizes(true); // a million lines scroll without measuring each one
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setWordWrap(false);
    connect(&lines, &QAbstractItemModel::rowsInserted, this, [this] {
        QScrollBar* bar = verticalScrollBar();
        if (bar->value() >= bar->maximum() - 1)
            scrollToBottom();
    });
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
            QModelIndexList rows = selectionModel()->selectedRows();
            std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) {
                return a.row() > b.row();
            });
            for (const QModelIndex& index : rows)
                FLines.RemoveLines(index.row(), 1);
            return;
        }
    }
    QListView::keyPressEvent(event);
}
