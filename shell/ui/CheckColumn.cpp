#include "shell/ui/CheckColumn.h"

#include "shell/ui/GridCells.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>

bool TCheckColumnDelegate::Checked(const QVariant& value)
{
    if (value.isNull() || !value.isValid())
        return false;
    const QString text = value.toString().trimmed();
    if (text.compare(QStringLiteral("true"), Qt::CaseInsensitive) == 0)
        return true;
    bool number = false;
    const double amount = text.toDouble(&number);
    return number && amount != 0;
}

void TCheckColumnDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const
{
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    background.text.clear();
    QStyle* style = option.widget ? option.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &background, painter, option.widget);

    QStyleOptionButton box;
    box.rect = style->subElementRect(QStyle::SE_CheckBoxIndicator, &box, option.widget);
    box.rect.moveCenter(option.rect.center());
    box.state = QStyle::State_Enabled | (Checked(index.data(Qt::EditRole)) ? QStyle::State_On : QStyle::State_Off);
    style->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, painter, option.widget);
}

bool TCheckColumnDelegate::editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                                       const QModelIndex& index)
{
    if (!(model->flags(index) & Qt::ItemIsEditable))
        return false;
    const bool click = event->type() == QEvent::MouseButtonRelease
                       && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
    const bool space = event->type() == QEvent::KeyPress
                       && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space;
    if (!click && !space)
        return false;
    auto* view = qobject_cast<QAbstractItemView*>(const_cast<QWidget*>(option.widget));
    if (!view)
        return model->setData(index, !Checked(index.data(Qt::EditRole)), Qt::EditRole);
    SetGridCell(*view, index, !Checked(index.data(Qt::EditRole)));
    return true;
}
