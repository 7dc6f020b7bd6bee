#include "shell/ui/DBNavigator.h"

#include "base/Environment.h"
#include "data/Table.h"
#include "shell/ui/DataGrid.h"

#include <QHBoxLayout>
#include <QToolButton>

namespace {

struct TButtonLook {
    const char* Glyph;
    const char* Hint;
};

// The glyphs and hints of the buttons, in the order of TDBNavigator::TButton.
const TButtonLook kLooks[TDBNavigator::kButtonCount] = {
    {"|◀", "Первая запись"},        {"◀", "Предыдущая запись"},  {"▶", "Следующая запись"},
    {"▶|", "Последняя запись"},     {"+", "Вставить запись"},    {"−", "Удалить запись"},
    {"▲", "Редактировать запись"}, {"✔", "Сохранить изменения"}, {"✖", "Отменить изменения"},
    {"↻", "Обновить данные"},
};

} // namespace

TDBNavigator::TDBNavigator(TDataGrid& grid, TEnvironment& environment, QWidget* parent)
    : QWidget(parent), FGrid(grid), FEnvironment(environment)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (int i = 0; i < kButtonCount; ++i) {
        auto* button = new QToolButton(this);
        button->setText(QString::fromUtf8(kLooks[i].Glyph));
        button->setToolTip(QString::fromUtf8(kLooks[i].Hint));
        button->setMinimumSize(25, 25);
        // Taking the focus closes a cell editor of the grid, which stores what it holds
        // before the button acts.
        button->setFocusPolicy(Qt::StrongFocus);
        connect(button, &QToolButton::clicked, this, [this, i] { Click(TButton(i)); });
        layout->addWidget(button);
        FButtons[i] = button;
    }
    layout->addStretch();

    TTable& table = FGrid.Table();
    connect(&table, &TDataSet::CurrentRowChanged, this, &TDBNavigator::UpdateButtons);
    QAbstractItemModel* model = &FGrid.GridModel();
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(model, signal, this, &TDBNavigator::UpdateButtons);
    connect(model, &QAbstractItemModel::modelReset, this, &TDBNavigator::UpdateButtons);
    connect(model, &QAbstractItemModel::dataChanged, this, &TDBNavigator::UpdateButtons);
    UpdateButtons();
}

void TDBNavigator::Click(TButton which)
{
    if (!FButtons[which]->isEnabled())
        return;
    Guarded(FEnvironment, [this, which] { Act(which); });
    UpdateButtons();
}

void TDBNavigator::Act(TButton which)
{
    TTable& table = FGrid.Table();
    switch (which) {
    case nbFirst:
        table.First();
        break;
    case nbPrior:
        table.SetRecNo(table.RecNo() - 1);
        break;
    case nbNext:
        table.Next();
        break;
    case nbLast:
        table.Last();
        break;
    case nbInsert:
        FGrid.AppendRow();
        FGrid.setFocus();
        break;
    case nbDelete:
        FGrid.DeleteCurrentRow();
        break;
    case nbEdit:
        table.Edit();
        FGrid.setFocus();
        break;
    case nbPost:
        table.Post();
        break;
    case nbCancel:
        table.Cancel();
        break;
    case nbRefresh:
        RefreshTable(table);
        break;
    }
}

void TDBNavigator::UpdateButtons()
{
    const TTable& table = FGrid.Table();
    const bool active = table.Active();
    const bool browsing = table.State() == TDataSet::TState::Browse;
    const bool editing = table.State() == TDataSet::TState::Edit || table.State() == TDataSet::TState::Insert;
    const bool modifiable = active && table.CanModify();
    const int row = table.RecNo();
    const int last = table.RecordCount() - 1;
    FButtons[nbFirst]->setEnabled(active && row > 0);
    FButtons[nbPrior]->setEnabled(active && row > 0);
    FButtons[nbNext]->setEnabled(active && row >= 0 && row < last);
    FButtons[nbLast]->setEnabled(active && row >= 0 && row < last);
    // A second insert would store the first new row as it stands, empty as it may be.
    FButtons[nbInsert]->setEnabled(modifiable && table.State() != TDataSet::TState::Insert);
    FButtons[nbDelete]->setEnabled(modifiable && row >= 0);
    FButtons[nbEdit]->setEnabled(modifiable && browsing && row >= 0);
    FButtons[nbPost]->setEnabled(modifiable && editing);
    FButtons[nbCancel]->setEnabled(modifiable && editing);
    // A re-read would drop the row being edited.
    FButtons[nbRefresh]->setEnabled(active && browsing);
}
