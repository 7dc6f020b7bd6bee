#include "shell/ui/OptionsDialog.h"

#include "shell/MainCore.h"
#include "shell/ui/DataGrid.h"
#include "shell/ui/DBNavigator.h"
#include "shell/ui/FileNameEdit.h"
#include "shell/ui/GridFind.h"
#include "shell/ui/GridFooter.h"
#include "shell/ui/GridKeys.h"
#include "shell/ui/HelpWindow.h"
#include "shell/ui/NumberColumn.h"
#include "shell/ui/RadioGroup.h"

#include <QAction>
#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

// The six pages of the settings dialog and its bottom bar.

namespace {

#define S QStringLiteral

// The mask of the session times: an optional first hour digit, then the rest of the hours,
// minutes and seconds, the colons kept, blanks shown as "_".
const QString kTimeMask = S("09:99:99;_");

QList<TGridColumn> SecCodeColumns()
{
    return {{S("Ticker"), S("Тикер в Омеге")},
            {S("Traded"), S("Торгуется"), kCheckFormat},
            {S("FixVol"), S("Сумма"), S("### ### ### ##0.00")},
            {S("Part"), S("Доля счета (%)"), S("### ###")},
            {S("Slippage"), S("Проск-е (%)"), S("#0.00")},
            {S("LotSize"), S("Лот")},
            {S("Class_Code"), S("Код класса")},
            {S("Digits"), S("Знаки после запятой")},
            {S("SecCode"), S("Код в Quik`е")},
            {S("MaxLots"), S("Макс. лотов"), {}, true},
            {S("MaxValue"), S("Макс. сумма"), S("### ### ### ##0.00"), true},
            {S("PriceBand"), S("Коридор цены (%)"), S("#0.00"), true},
            {S("MaxPosition"), S("Макс. позиция"), {}, true}};
}

QLineEdit* NewEdit(QWidget* parent, const QString& name)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    return edit;
}

QCheckBox* NewCheck(QWidget* parent, const QString& name, const QString& caption)
{
    auto* check = new QCheckBox(caption, parent);
    check->setObjectName(name);
    return check;
}

} // namespace

QWidget* TfmOpt::CreatePositionsPage()
{
    auto* page = new QWidget(this);
    rgpPositionSize = new TRadioGroup(S(" Размер позиции "),
                                      {S("Кол-во из Omega Research"), S("Фиксированная сумма (руб.)"),
                                       S("Доля счета (%)"), S("Сумма по бумаге "), S("Доля счета по бумаге")},
                                      page);
    rgpPositionSize->setObjectName(S("rgpPositionSize"));
    edtFixVol = NewEdit(rgpPositionSize, S("edtFixVol"));
    edtPart = NewEdit(rgpPositionSize, S("edtPart"));
    // The two amounts stand beside the items they belong to.
    auto* sizeLayout = new QGridLayout;
    for (int i = 0; i < rgpPositionSize->Count(); ++i)
        sizeLayout->addWidget(rgpPositionSize->Item(i), i, 0);
    sizeLayout->addWidget(edtFixVol, 1, 1);
    sizeLayout->addWidget(edtPart, 2, 1);
    sizeLayout->setColumnStretch(2, 1);
    delete rgpPositionSize->layout();
    rgpPositionSize->setLayout(sizeLayout);

    auto* orders = new QGroupBox(S(" Выставление ордеров "), page);
    edtTime1 = NewEdit(orders, S("edtTime1"));
    edtTime2 = NewEdit(orders, S("edtTime2"));
    for (QLineEdit* time : {edtTime1, edtTime2}) {
        time->setInputMask(kTimeMask);
        time->setMaxLength(8);
        time->setFixedWidth(80);
    }
    chExitQty = NewCheck(orders, S("chExitQty"), S("Точное закрытие позиции"));
    rgpFilled = new TRadioGroup(QString(), {S("Выставлять ордера заранее (табл. ActiveOrders)"),
                                            S("Выставлять рыночные ордера (табл. FilledOrders)")}, orders);
    rgpFilled->setObjectName(S("rgpFilled"));
    auto* ordersLayout = new QGridLayout(orders);
    ordersLayout->addWidget(new QLabel(S("Начало сессии:"), orders), 0, 0);
    ordersLayout->addWidget(edtTime1, 0, 1);
    ordersLayout->addWidget(new QLabel(S("Конец сессии:"), orders), 1, 0);
    ordersLayout->addWidget(edtTime2, 1, 1);
    ordersLayout->addWidget(chExitQty, 2, 0, 1, 2);
    ordersLayout->addWidget(rgpFilled, 0, 2, 3, 1);
    ordersLayout->setColumnStretch(2, 1);

    rgpSingleMulti = new TRadioGroup(S(" Режим работы "), {S("Торговля по ОДНОМУ СЧЕТУ"),
                                                           S("Торговля по ГРУППЕ СЧЕТОВ клиентов")}, page);
    rgpSingleMulti->setObjectName(S("rgpSingleMulti"));

    auto* layout = new QGridLayout(page);
    layout->addWidget(rgpPositionSize, 0, 0);
    layout->addWidget(rgpSingleMulti, 0, 1, Qt::AlignTop);
    layout->addWidget(orders, 1, 0, 1, 2);
    layout->setRowStretch(2, 1);
    return page;
}

QWidget* TfmOpt::CreateQuikPage(QAction* connectAction)
{
    auto* page = new QWidget(this);
    auto pathField = [page](const QString& name, const QString& filter) {
        auto* field = new TFileNameEdit(filter, page);
        field->Edit->setObjectName(name);
        return field;
    };
    TFileNameEdit* tri = pathField(S("edtTRI"), S("Файлы транзакций (*.tri);;Все файлы (*)"));
    TFileNameEdit* tro = pathField(S("edtTRO"), S("Файлы результатов (*.tro);;Все файлы (*)"));
    TFileNameEdit* infoLog = pathField(S("edtInfoLog"), S("info.log (*.log);;Все файлы (*)"));
    edtTRI = tri->Edit;
    edtTRO = tro->Edit;
    edtInfoLog = infoLog->Edit;
    auto* files = new QFormLayout;
    files->addRow(S("Путь к файлу транзакций (*.TRI):"), tri);
    files->addRow(S("Путь к файлу транзакций (*.TRO):"), tro);
    files->addRow(S("Путь к файлу info.log:"), infoLog);

    edtAccountMicex = NewEdit(page, S("edtAccountMicex"));
    edtAccountFORTS = NewEdit(page, S("edtAccountFORTS"));
    edtCode = NewEdit(page, S("edtCode"));
    edtIntTable = NewEdit(page, S("edtIntTable"));
    edtQuikConnectTimeOut = NewEdit(page, S("edtQuikConnectTimeOut"));
    chQuikConnect = NewCheck(page, S("chQuikConnect"), S("Проверять связь Quik`а с сервером\nчерез (сек.):"));
    for (QLineEdit* number : {edtIntTable, edtQuikConnectTimeOut})
        number->setFixedWidth(60);
    auto* accounts = new QGridLayout;
    accounts->addWidget(new QLabel(S("Номер счета на ММВБ:"), page), 0, 0);
    accounts->addWidget(edtAccountMicex, 0, 1);
    accounts->addWidget(new QLabel(S("Интервал обновления данных (сек.):"), page), 0, 2);
    accounts->addWidget(edtIntTable, 0, 3);
    accounts->addWidget(new QLabel(S("Номер счета на FORTS:"), page), 1, 0);
    accounts->addWidget(edtAccountFORTS, 1, 1);
    accounts->addWidget(chQuikConnect, 1, 2, 2, 1);
    accounts->addWidget(edtQuikConnectTimeOut, 1, 3, 2, 1);
    accounts->addWidget(new QLabel(S("Код клиента:"), page), 2, 0);
    accounts->addWidget(edtCode, 2, 1);

    auto* data = new QGroupBox(S(" Данные "), page);
    TFileNameEdit* alerts = pathField(S("edtAlerts"), S("Базы данных (*.mdb *.accdb *.db);;Все файлы (*)"));
    TFileNameEdit* quikData = pathField(S("edtQuikData"), S("Базы данных (*.mdb *.accdb *.db);;Все файлы (*)"));
    alerts->setParent(data);
    quikData->setParent(data);
    edtAlerts = alerts->Edit;
    edtQuikData = quikData->Edit;
    chConnect = NewCheck(data, S("chConnect"), S("Подключаться при запуске"));
    btnConnectToBase = new QPushButton(S("Подключиться"), data);
    btnConnectToBase->setObjectName(S("btnConnectToBase"));
    btnConnectToBase->setToolTip(S("Подключиться к базам данных"));
    if (connectAction) {
        btnConnectToBase->setIcon(connectAction->icon());
        connect(btnConnectToBase, &QPushButton::clicked, connectAction, &QAction::trigger);
    } else {
        connect(btnConnectToBase, &QPushButton::clicked, this,
                [this] { FCore.RunGuarded([this] { FCore.Watch().actConnectToBaseExecute(); }); });
    }
    auto* dataLayout = new QFormLayout(data);
    dataLayout->addRow(S("База данных Omega Research Alerts:"), alerts);
    dataLayout->addRow(S("База данных QuikData:"), quikData);
    auto* connectRow = new QHBoxLayout;
    connectRow->addWidget(chConnect);
    connectRow->addStretch(1);
    connectRow->addWidget(btnConnectToBase);
    dataLayout->addRow(connectRow);

    auto* layout = new QVBoxLayout(page);
    layout->addLayout(files);
    layout->addLayout(accounts);
    layout->addWidget(data);
    layout->addStretch(1);
    return page;
}

QWidget* TfmOpt::CreateMailPage()
{
    auto* page = new QWidget(this);
    auto* sending = new QGroupBox(S(" Отправка почты "), page);
    edtSMTP = NewEdit(sending, S("edtSMTP"));
    edtPort = NewEdit(sending, S("edtPort"));
    edtUser = NewEdit(sending, S("edtUser"));
    edtPassword = NewEdit(sending, S("edtPassword"));
    edtPassword->setEchoMode(QLineEdit::Password);
    chAuten = NewCheck(sending, S("chAuten"), S("Требуется аутентификация"));
    Button2 = new QPushButton(S("Коннект"), sending);
    Button2->setObjectName(S("Button2"));
    Button3 = new QPushButton(S("Дисконнект"), sending);
    Button3->setObjectName(S("Button3"));
    auto* sendingLayout = new QFormLayout(sending);
    sendingLayout->addRow(S("Сервер исходящей почты:"), edtSMTP);
    sendingLayout->addRow(S("Порт: "), edtPort);
    sendingLayout->addRow(S("Пользователь: "), edtUser);
    sendingLayout->addRow(S("Пароль: "), edtPassword);
    sendingLayout->addRow(chAuten);
    auto* connectButtons = new QHBoxLayout;
    connectButtons->addWidget(Button2);
    connectButtons->addWidget(Button3);
    sendingLayout->addRow(connectButtons);

    auto* sender = new QGroupBox(S(" Информации отправителя "), page);
    edtFromName = NewEdit(sender, S("edtFromName"));
    edtFromAddress = NewEdit(sender, S("edtFromAddress"));
    auto* senderLayout = new QFormLayout(sender);
    senderLayout->addRow(S("Имя:"), edtFromName);
    senderLayout->addRow(S("E-Mail адрес:"), edtFromAddress);

    auto* recipients = new QGroupBox(S(" Адреса получателя "), page);
    edtEmail1 = NewEdit(recipients, S("edtEmail1"));
    edtEmail2 = NewEdit(recipients, S("edtEmail2"));
    edtMsg = NewEdit(recipients, S("edtMsg"));
    edtMsg->setText(S("Test."));
    Button4 = new QPushButton(S("Тест"), recipients);
    Button4->setObjectName(S("Button4"));
    auto* recipientsLayout = new QFormLayout(recipients);
    recipientsLayout->addRow(S("E-Mail 1:"), edtEmail1);
    recipientsLayout->addRow(S("E-Mail 2:"), edtEmail2);
    auto* messageRow = new QHBoxLayout;
    messageRow->addWidget(edtMsg, 1);
    messageRow->addWidget(Button4);
    recipientsLayout->addRow(S("Сообщение:"), messageRow);

    auto* events = new QGroupBox(S(" События для сообщений по почте "), page);
    chSendTrans_Id = NewCheck(events, S("chSendTrans_Id"), S("Отправка транзакции"));
    chSendTrans_done = NewCheck(events, S("chSendTrans_done"), S("Регистрация транзакции на сервере"));
    chSendQuikConnect = NewCheck(events, S("chSendQuikConnect"), S("Обрыв/восстановление соединения Quik`а с сервером"));
    auto* eventsLayout = new QVBoxLayout(events);
    eventsLayout->addWidget(chSendTrans_Id);
    eventsLayout->addWidget(chSendTrans_done);
    eventsLayout->addWidget(chSendQuikConnect);

    connect(Button2, &QPushButton::clicked, this, &TfmOpt::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TfmOpt::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &TfmOpt::Button4Click);

    auto* layout = new QGridLayout(page);
    layout->addWidget(sending, 0, 0, 2, 1);
    layout->addWidget(sender, 0, 1);
    layout->addWidget(recipients, 1, 1);
    layout->addWidget(events, 2, 0, 1, 2);
    layout->setRowStretch(3, 1);
    return page;
}

QWidget* TfmOpt::CreateSecuritiesPage()
{
    auto* page = new QWidget(this);
    TEnvironment& environment = FCore.Environment();
    grdSecCode = new TDataGrid(FCore.DatMod().tSecCode(), SecCodeColumns(), environment, page);
    grdSecCode->setObjectName(S("grdSecCode"));
    grdSecCode->AllowEditing();
    EnterMovesToNextCell(*grdSecCode);
    // The amounts, shares and slippage with the regional separator; lot and digits whole.
    for (int column : {colFixVol, colPart, colSlippage, colMaxValue, colPriceBand})
        grdSecCode->setItemDelegateForColumn(column, new TNumberColumnDelegate(*grdSecCode, environment, false));
    for (int column : {colLotSize, colDigits, colMaxLots, colMaxPosition})
        grdSecCode->setItemDelegateForColumn(column, new TNumberColumnDelegate(*grdSecCode, environment, true));
    grdSecCodeFooter = new TGridFooter(*grdSecCode, page);
    grdSecCodeFooter->setObjectName(S("grdSecCodeFooter"));
    navSecCode = new TDBNavigator(*grdSecCode, environment, page);
    navSecCode->setObjectName(S("navSecCode"));
    findSecCode = new TGridFind(*grdSecCode, environment);
    auto* layout = new QVBoxLayout(page);
    layout->setSpacing(0);
    layout->addWidget(grdSecCode, 1);
    layout->addWidget(grdSecCodeFooter);
    layout->addSpacing(4);
    layout->addWidget(navSecCode);
    return page;
}

QWidget* TfmOpt::CreateFiltersPage()
{
    auto* page = new QWidget(this);
    TEnvironment& environment = FCore.Environment();
    auto group = [&](const QString& caption, TTable& table, const TGridColumn& column, const QString& name,
                     TDataGrid** grid, TDBNavigator** navigator) {
        auto* box = new QGroupBox(caption, page);
        *grid = new TDataGrid(table, {column}, environment, box);
        (*grid)->setObjectName(name);
        (*grid)->AllowEditing();
        KeepEnterInGrid(**grid);
        (*grid)->horizontalHeader()->setStretchLastSection(true);
        *navigator = new TDBNavigator(**grid, environment, box);
        auto* layout = new QVBoxLayout(box);
        layout->addWidget(*grid, 1);
        layout->addWidget(*navigator);
        return box;
    };
    TDatMod& data = FCore.DatMod();
    auto* layout = new QHBoxLayout(page);
    layout->addWidget(group(S(" Просматриваемые рабочие области  ( \" *.orw \" ) "), data.tWorkSpaces(),
                            {S("workspace"), S("Имя рабочей области")}, S("grdWorkSpaces"), &grdWorkSpaces,
                            &navWorkSpaces));
    layout->addWidget(group(S(" Просматриваемые стратегии "), data.tStrategy(), {S("strategy"), S("Имя стратегии")},
                            S("grdStrategy"), &grdStrategy, &navStrategy));
    return page;
}

QWidget* TfmOpt::CreateRiskPage()
{
    auto* page = new QWidget(this);
    auto* controls = new QGroupBox(S(" Контроль ордеров (раздел [Risk]) "), page);
    auto* grid = new QGridLayout(controls);
    int row = 0;
    auto add = [&](QLineEdit** field, const QString& name, const QString& caption, const QString& off) {
        *field = NewEdit(controls, name);
        (*field)->setFixedWidth(80);
        (*field)->setAlignment(Qt::AlignRight);
        auto* label = new QLabel(caption, controls);
        label->setBuddy(*field);
        grid->addWidget(label, row, 0);
        grid->addWidget(*field, row, 1);
        grid->addWidget(new QLabel(off, controls), row, 2);
        ++row;
    };
    add(&edtDuplicateMs, S("edtDuplicateMs"), S("Повтор той же строки отклоняется в течение (мс):"),
        S("0 — выключено"));
    add(&edtMaxLinesPerOrder, S("edtMaxLinesPerOrder"), S("Строк на один ордер не больше:"),
        S("0 — без ограничения"));
    add(&edtTxPerSecond, S("edtTxPerSecond"), S("Транзакций в секунду не больше:"), S("0 — без ограничения"));
    add(&edtTxBurst, S("edtTxBurst"), S("Запас сверх темпа после паузы (транзакций):"), S("0 — без запаса"));
    grid->setColumnStretch(2, 1);
    auto* note = new QLabel(S("Целые числа от 0 и больше; 0 выключает проверку. Одинаковой считается строка с тем же "
                              "клиентом, бумагой, операцией, количеством и ценой. Ордер, который дал бы больше строк, "
                              "чем разрешено, не отправляется ни на один счет. Снятия заявок идут в очереди первыми."),
                            page);
    note->setWordWrap(true);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(controls);
    layout->addWidget(note);
    layout->addStretch(1);
    return page;
}

void TfmOpt::CreateButtonBar()
{
    BitBtn1 = new QPushButton(S("OK"), this);
    BitBtn1->setObjectName(S("BitBtn1"));
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton(S("Отмена"), this);
    BitBtn2->setObjectName(S("BitBtn2"));
    BitBtn3 = new QPushButton(S("&Справка"), this);
    BitBtn3->setObjectName(S("BitBtn3"));
    connect(BitBtn1, &QPushButton::clicked, this, &TfmOpt::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    connect(BitBtn3, &QPushButton::clicked, this, &TfmOpt::ShowHelp);
    fmHelp = new TfmHelp(this);
    auto* bar = new QHBoxLayout;
    bar->addStretch(1);
    bar->addWidget(BitBtn1);
    bar->addWidget(BitBtn2);
    bar->addWidget(BitBtn3);
    static_cast<QVBoxLayout*>(layout())->addLayout(bar);
}

TFileNameEdit* TfmOpt::FileNameEdit(QLineEdit* field) const
{
    return field ? qobject_cast<TFileNameEdit*>(field->parentWidget()) : nullptr;
}

#undef S
