#pragma once

#include <QGroupBox>
#include <QList>
#include <QStringList>

class QButtonGroup;
class QRadioButton;

// A framed group of radio buttons that stands for one choice index: the position of the
// selected item counting from 0, or -1 when no item is selected.
class TRadioGroup : public QGroupBox {
    Q_OBJECT
public:
    TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent = nullptr);

    int ItemIndex() const;
    // An index outside the items selects none.
    void SetItemIndex(int index);
    QRadioButton* Item(int index) const { return FItems.value(index); }
    int Count() const { return int(FItems.size()); }

signals:
    // The operator selected another item.
    void ItemIndexChanged(int index);

private:
    QButtonGroup* FGroup = nullptr;
    QList<QRadioButton*> FItems;
};
