#include "shell/ui/OptionsDialog.h"

#include "data/SessionTime.h"
#include "shell/MainCore.h"
#include "shell/ui/GridFooter.h"
#include "shell/ui/GridModel.h"
#include "shell/ui/HelpWindow.h"
#include "shell/ui/RadioGroup.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

#define S QStringLiteral

bool IsDecimal(const QString& text, const TRegional& regional)
{
    return regional.TryParseFloat(text, nullptr);
}

// A port the mailer can connect to.
bool IsPort(const QString& text)
{
    static const QRegularExpression digits(S("^[0-9]{1,5}$"));
    const QString trimmed = text.trimmed();
    const int port = digits.match(trimmed).hasMatch() ? trimmed.toInt() : 0;
    return port >= 1 && port <= 65535;
}

// A number of seconds the program's timers take as their period.
bool IsPeriod(const QString& text)
{
    TSettings probe;
    probe.edtIntTable = text;
    try {
        probe.UpdateTablePeriod();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// A control's limit: a whole number of 0 or more, as the settings file takes it.
bool IsCount(const QString& text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok && value >= 0;
}

bool IsSessionTime(const QString& text)
{
    try {
        SessionTime(text);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// A session time as the masked field shows it: two digits each.
QString TimeFieldText(const QString& stored)
{
    try {
        return SessionTime(stored).toString(S("HH:mm:ss"));
    } catch (const std::exception&) {
        return stored;
    }
}

} // namespace

TfmOpt::TfmOpt(TMainCore& core, QAction* connectAction, QWidget* parent) : QDialog(parent), FCore(core)
{
    setObjectName(S("fmOpt"));
    setWindowTitle(S("Настройки"));
    setWindowModality(Qt::ApplicationModal);
    // Closing it never ends the program, even when the main window is in the tray.
    setAttribute(Qt::WA_QuitOnClose, false);
    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(S("PageControl1"));
    PageControl1->addTab(CreatePositionsPage(), S("Позиции"));
    PageControl1->addTab(CreateQuikPage(connectAction), S("Quik"));
    PageControl1->addTab(CreateMailPage(), S("Сообщения"));
    PageControl1->addTab(CreateSecuritiesPage(), S("Инструменты"));
    PageControl1->addTab(CreateFiltersPage(), S("Фильтры"));
    PageControl1->addTab(CreateRiskPage(), S("Риск"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(PageControl1, 1);
    CreateButtonBar();
    setFixedSize(708, 493);
    BindSettings();
    ShowSettings();
    FollowEdits();
    connect(&FCore, &TMainCore::UpdateSumList, this, &TfmOpt::UpdateSumList);
}

void TfmOpt::BindSettings()
{
    const TRegional& regional = FCore.Environment().Regional;
    auto decimal = [&regional](const QString& value) { return IsDecimal(value, regional); };
    auto text = [this](QLineEdit* field, QString TSettings::*setting, TCheck valid = {}) {
        FTexts.append({field, [setting](const TSettings& settings) { return settings.*setting; },
                       [setting](TSettings& settings, const QString& value) { settings.*setting = value; },
                       std::move(valid)});
    };
    // A whole number of 0 or more in a text field.
    auto count = [this](QLineEdit* field, int TSettings::*setting) {
        FTexts.append({field, [setting](const TSettings& settings) { return QString::number(settings.*setting); },
                       [setting](TSettings& settings, const QString& value) {
                           settings.*setting = value.trimmed().toInt();
                       },
                       IsCount});
    };
    auto flag = [this](QCheckBox* field, bool TSettings::*setting) { FFlags.append({field, setting}); };
    auto choice = [this](TRadioGroup* field, int TSettings::*setting) { FChoices.append({field, setting}); };

    // In the order of the settings file.
    choice(rgpPositionSize, &TSettings::rgpPositionSize);
    text(edtFixVol, &TSettings::edtFixVol, decimal);
    text(edtPart, &TSettings::edtPart, decimal);
    choice(rgpFilled, &TSettings::rgpFilled);
    text(edtTime1, &TSettings::edtTime1, IsSessionTime);
    text(edtTime2, &TSettings::edtTime2, IsSessionTime);
    flag(chExitQty, &TSettings::chExitQty);
    choice(rgpSingleMulti, &TSettings::rgpSingleMulti);
    text(edtTRI, &TSettings::edtTRI);
    text(edtTRO, &TSettings::edtTRO);
    text(edtInfoLog, &TSettings::edtInfoLog);
    text(edtAccountMicex, &TSettings::edtAccountMicex);
    text(edtAccountFORTS, &TSettings::edtAccountFORTS);
    text(edtIntTable, &TSettings::edtIntTable, IsPeriod);
    text(edtQuikConnectTimeOut, &TSettings::edtQuikConnectTimeOut, IsPeriod);
    text(edtCode, &TSettings::edtCode);
    text(edtAlerts, &TSettings::edtAlerts);
    text(edtQuikData, &TSettings::edtQuikData);
    flag(chConnect, &TSettings::chConnect);
    flag(chQuikConnect, &TSettings::chQuikConnect);
    text(edtSMTP, &TSettings::edtSMTP);
    text(edtPort, &TSettings::edtPort, IsPort);
    text(edtUser, &TSettings::edtUser);
    text(edtPassword, &TSettings::edtPassword);
    flag(chAuten, &TSettings::chAuten);
    text(edtFromName, &TSettings::edtFromName);
    text(edtFromAddress, &TSettings::edtFromAddress);
    text(edtEmail1, &TSettings::edtEmail1);
    text(edtEmail2, &TSettings::edtEmail2);
    flag(chSendTrans_Id, &TSettings::chSendTrans_Id);
    flag(chSendTrans_done, &TSettings::chSendTrans_done);
    flag(chSendQuikConnect, &TSettings::chSendQuikConnect);
    count(edtDuplicateMs, &TSettings::DuplicateMs);
    count(edtMaxLinesPerOrder, &TSettings::MaxLinesPerOrder);
    count(edtTxPerSecond, &TSettings::TxPerSecond);
    count(edtTxBurst, &TSettings::TxBurst);
}

void TfmOpt::ShowSettings()
{
    const TSettings& settings = FCore.Settings();
    for (const TTextBinding& text : FTexts) {
        const QString value = text.Read(settings);
        text.Field->setText(text.Field->inputMask().isEmpty() ? value : TimeFieldText(value));
    }
    for (const auto& [field, setting] : FFlags)
        field->setChecked(settings.*setting);
    for (const auto& [field, setting] : FChoices)
        field->SetItemIndex(settings.*setting);
}

void TfmOpt::FollowEdits()
{
    TSettings& settings = FCore.Settings();
    for (const TTextBinding& text : FTexts) {
        connect(text.Field, &QLineEdit::textEdited, this, [&settings, text] {
            // A value that would not convert stays in the field until it is corrected.
            if (!text.Valid || text.Valid(text.Field->text()))
                text.Write(settings, text.Field->text());
        });
    }
    for (const auto& flag : FFlags) {
        auto setting = flag.second;
        connect(flag.first, &QCheckBox::toggled, this, [&settings, setting](bool checked) { settings.*setting = checked; });
    }
    for (const auto& choice : FChoices) {
        auto setting = choice.second;
        connect(choice.first, &TRadioGroup::ItemIndexChanged, this,
                [&settings, setting](int index) { settings.*setting = index; });
    }
}

void TfmOpt::StoreFields()
{
    TSettings& settings = FCore.Settings();
    for (const TTextBinding& text : FTexts)
        text.Write(settings, text.Field->text());
    for (const auto& [field, setting] : FFlags)
        settings.*setting = field->isChecked();
    for (const auto& [field, setting] : FChoices)
        settings.*setting = field->ItemIndex();
}

void TfmOpt::Execute()
{
    if (isVisible())
        return;
    ShowSettings();
    ShowModal();
}

void TfmOpt::ShowModal()
{
    show();
    raise();
    activateWindow();
}

bool TfmOpt::Refuse(QLineEdit* field, const QString& message)
{
    FCore.Environment().ShowMessage(message);
    FocusField(field);
    FFocusAfterRetry = field;
    return true;
}

void TfmOpt::BitBtn1Click()
{
    const TRegional& regional = FCore.Environment().Regional;
    FFocusAfterRetry = nullptr;
    const QString badData = S("Введите верные данные!");
    const bool badNumber = (!IsDecimal(edtFixVol->text(), regional) && Refuse(edtFixVol, badData))
                           || (!IsDecimal(edtPart->text(), regional) && Refuse(edtPart, badData))
                           || (!IsPort(edtPort->text()) && Refuse(edtPort, badData))
                           || (!IsPeriod(edtIntTable->text()) && Refuse(edtIntTable, badData))
                           || (!IsPeriod(edtQuikConnectTimeOut->text()) && Refuse(edtQuikConnectTimeOut, badData))
                           || (!IsCount(edtDuplicateMs->text()) && Refuse(edtDuplicateMs, badData))
                           || (!IsCount(edtMaxLinesPerOrder->text()) && Refuse(edtMaxLinesPerOrder, badData))
                           || (!IsCount(edtTxPerSecond->text()) && Refuse(edtTxPerSecond, badData))
                           || (!IsCount(edtTxBurst->text()) && Refuse(edtTxBurst, badData));
    // The times are checked also after a bad number.
    const QString badTime = S("Веденно неверное время!");
    const bool badTimes = (!IsSessionTime(edtTime1->text()) && Refuse(edtTime1, badTime))
                          || (!IsSessionTime(edtTime2->text()) && Refuse(edtTime2, badTime));
    if (badNumber || badTimes) {
        done(Retry);
        return;
    }
    // Every field passed: the settings take exactly what the dialog shows.
    StoreFields();
    done(QDialog::Accepted);
}

void TfmOpt::FocusField(QWidget* field)
{
    for (int i = 0; i < PageControl1->count(); ++i) {
        if (PageControl1->widget(i)->isAncestorOf(field))
            PageControl1->setCurrentIndex(i);
    }
    field->setFocus(Qt::OtherFocusReason);
}

void TfmOpt::keyPressEvent(QKeyEvent* event)
{
    // F1 anywhere in the dialog: its own topic of the manual.
    if (event->key() == Qt::Key_F1 && event->modifiers() == Qt::NoModifier) {
        ShowHelp();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TfmOpt::ShowHelp()
{
    fmHelp->ShowTopic(2);
}

void TfmOpt::done(int result)
{
    QDialog::done(result);
    if (result == QDialog::Accepted) {
        FCore.OptionsConfirmed();
    } else if (result == Retry) {
        // Again, with the entries as typed and the focus on the field that failed.
        ShowModal();
        if (FFocusAfterRetry)
            FocusField(FFocusAfterRetry);
    } else {
        FCore.OptionsCancelled();
        ShowSettings();
    }
}

void TfmOpt::UpdateSumList()
{
    FCore.RunGuarded([this] {
        TDatMod& data = FCore.DatMod();
        if (!data.conQuikData().Connected())
            return;
        TQuery& sums = data.qSecCodeSum();
        sums.Close();
        sums.Open();
        const TRegional& regional = FCore.Environment().Regional;
        // A sum over no traded security is null, which reads as 0.
        grdSecCodeFooter->SetText(colTraded, QString::number(sums.FieldByName(S("SumTraded")).AsInteger()));
        grdSecCodeFooter->SetText(colFixVol, FormatNumber(sums.FieldByName(S("SumFixVol")).AsFloat(), 2, regional));
        QString part = QString::number(sums.FieldByName(S("SumPart")).AsFloat(), 'g', 15);
        part.replace(QLatin1Char('.'), regional.DecimalSeparator);
        grdSecCodeFooter->SetText(colPart, part);
    });
}

void TfmOpt::Button2Click()
{
    FCore.RunGuarded([this] { FCore.Mailer().MailConnect(); });
}

void TfmOpt::Button3Click()
{
    FCore.RunGuarded([this] { FCore.Mailer().MailDisconnect(); });
}

void TfmOpt::Button4Click()
{
    FCore.RunGuarded([this] { FCore.Mailer().SendMail(edtMsg->text()); });
}
#undef S