#include "shell/ui/DbNavigator.h"

#include "data/Table.h"
#include "shell/ui/DataGrid.h"

#include <QHBoxLayout>
#include <QToolButton>

namespace {

struct TButtonLook {
    const char* Glyph;
    const char* Hint;
};

// In the order of TDBNavigator::TButton.
const TButtonLook kButtons[] = {
    {"|◀", "Первая запись"},       {"◀", "Предыдущая запись"},    {"▶", "Следующая запись"},
    {"▶|", "Последняя запись"},    {"+", "Вставить запись"},      {"−", "Удалить запись"},
    {"▲", "Изменить запись"},      {"✔", "Сохранить изменения"},  {"✖", "Отменить изменения"},
    {"↻", "Обновить данные"}};

} // namespace

TDBNavigator::TDBNavigator(TDataGrid& grid, TEnvironment& environment, QWidget* parent)
    : QWidget(parent), FGrid(grid), FEnvironment(environment)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    for (int i = 0; i <= nbRefresh; ++i) {
        auto* button = new QToolButton(this);
        button->setText(QString::fromUtf8(kButtons[i].Glyph));
        button->setToolTip(QString::fromUtf8(kButtons[i].Hint));
        button->setMinimumWidth(28);
        connect(button, &QToolButton::clicked, this, [this, i] { Click(TButton(i)); });
        layout->addWidget(button);
        FButtons << button;
    }
    layout->addStretch(1);
}

QToolButton* TDBNavigator::Button(TButton button) const
{
    return FButtons.value(button);
}

void TDBNavigator::Click(TButton button)
{
    TTable& table = FGrid.Table();
    if (!table.Active())
        return;
    // Insert and delete go through the grid: the grid asks before a deletion.
    if (button == nbInsert) {
        FGrid.AppendRow();
        FGrid.setFocus();
        return;
    }
    if (button == nbDelete) {
        FGrid.DeleteCurrentRow();
        return;
    }
    if (button == nbRefresh) {
        RefreshTable(table);
        return;
    }
    Guarded(FEnvironment, [&] {
        switch (button) {
        case nbFirst: table.First(); break;
        case nbPrior: table.SetRecNo(std::max(0, table.RecNo() - 1)); break;
        case nbNext: table.Next(); break;
        case nbLast: table.Last(); break;
        case nbEdit: table.Edit(); break;
        case nbPost: table.Post(); break;
        case nbCancel: table.Cancel(); break;
        default: break;
        }
    });
}
