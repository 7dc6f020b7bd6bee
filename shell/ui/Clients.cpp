#include "shell/ui/Clients.h"

#include "data/Table.h"
#include "shell/ui/DBNavigator.h"
#include "shell/ui/DataGrid.h"
#include "shell/ui/NumberColumn.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace {

QList<TGridColumn> ClientsColumns()
{
    return {{QStringLiteral("Code"), QStringLiteral("Код клиента")},
            {QStringLiteral("Active"), QStringLiteral("Активен"), kCheckFormat},
            {QStringLiteral("client"), QStringLiteral("Владелец счета")},
            {QStringLiteral("AccountMicex"), QStringLiteral("Счет на ММВБ")},
            {QStringLiteral("AccountFORTS"), QStringLiteral("Счет на ФОРТС")},
            {QStringLiteral("note"), QStringLiteral("Комментарии")},
            {QStringLiteral("Multiplier"), QStringLiteral("Множитель"), QStringLiteral("#0.00"), true},
            {QStringLiteral("MaxLoss"), QStringLiteral("Макс. убыток"), QStringLiteral("### ### ### ##0.00"), true}};
}

} // namespace

TfmClients::TfmClients(TTable& tClients, TEnvironment& environment, QWidget* parent)
    : QDialog(parent), FtClients(tClients)
{
    setWindowTitle(QStringLiteral("Клиенты"));
    setModal(true);
    resize(775, 496);

    GroupBox1 = new QGroupBox(QStringLiteral(" Список клиентов "), this);
    DBGrid1 = new TDataGrid(tClients, ClientsColumns(), environment, GroupBox1);
    DBGrid1->AllowEditing();
    // The multiplier and the loss limit with the regional separator.
    for (int column : {6, 7})
        DBGrid1->setItemDelegateForColumn(column, new TNumberColumnDelegate(*DBGrid1, environment, false));
    DBNavigator1 = new TDBNavigator(*DBGrid1, environment, GroupBox1);
    auto* groupLayout = new QVBoxLayout(GroupBox1);
    groupLayout->addWidget(DBGrid1);
    groupLayout->addWidget(DBNavigator1);

    BitBtn1 = new QPushButton(QStringLiteral("OK"), this);
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton(QStringLiteral("Отмена"), this);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(BitBtn1);
    bottom->addWidget(BitBtn2);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(GroupBox1);
    layout->addLayout(bottom);
}

void TfmClients::actClientsExecute()
{
    // Centred on the screen, as the dialog first opens; the operator may move it after.
    if (QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
    FinishCycle(exec());
}

void TfmClients::FinishCycle(int result)
{
    const TDataSet::TState state = FtClients.State();
    if (state == TDataSet::TState::Insert && BlankRow()) {
        FtClients.Cancel();
        return;
    }
    if (state != TDataSet::TState::Edit && state != TDataSet::TState::Insert)
        return;
    if (result == QDialog::Accepted)
        FtClients.Post();
    else if (result == QDialog::Rejected)
        FtClients.Cancel();
}

bool TfmClients::BlankRow()
{
    for (int i = 0; i < FtClients.FieldCount(); ++i) {
        if (!FtClients.Field(i).IsNull())
            return false;
    }
    return true;
}
