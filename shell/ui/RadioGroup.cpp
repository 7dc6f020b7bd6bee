#include "shell/ui/RadioGroup.h"

#include <QButtonGroup>
#include <QRadioButton>
#include <QVBoxLayout>

TRadioGroup::TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent)
    : QGroupBox(caption, parent), FGroup(new QButtonGroup(this))
{
    auto* layout = new QVBoxLayout(this);
    for (int i = 0; i < items.size(); ++i) {
        auto* item = new QRadioButton(items[i], this);
        FGroup->addButton(item, i);
        layout->addWidget(item);
        FItems << item;
    }
    connect(FGroup, &QButtonGroup::idClicked, this, &TRadioGroup::ItemIndexChanged);
}

int TRadioGroup::ItemIndex() const
{
    return FGroup->checkedId();
}

void TRadioGroup::SetItemIndex(int index)
{
    if (index >= 0 && index < FItems.size()) {
        FItems[index]->setChecked(true);
        return;
    }
    // An exclusive group keeps one button checked: it lets go only while not exclusive.
    FGroup->setExclusive(false);
    for (QRadioButton* item : FItems)
        item->setChecked(false);
    FGroup->setExclusive(true);
}
