#pragma once

#include <QStyledItemDelegate>

// A grid column of yes/no values shown as check boxes: a click on the box, or the space
// bar on the cell, stores the opposite value. Read-only grids only show the box.
class TCheckColumnDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // Whether a stored value reads as checked: a non-zero number, or "True" in any case.
    static bool Checked(const QVariant& value);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QWidget* createEditor(QWidget*, const QStyleOptionViewItem&, const QModelIndex&) const override
    {
        return nullptr;
    }
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;
};
