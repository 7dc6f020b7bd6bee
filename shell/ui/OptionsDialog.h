#pragma once

#include "data/Settings.h"

#include <QDialog>
#include <QList>
#include <functional>
#include <utility>

class QAction;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QTabWidget;
class TDataGrid;
class TDBNavigator;
class TFileNameEdit;
class TGridFind;
class TGridFooter;
class TMainCore;
class TRadioGroup;
class TfmHelp;

// The settings dialog "Настройки": every setting of the settings file on six pages
// (positions, the terminal, mail, the securities, the filters, the desk's risk controls) and the operator's tables
// of securities, workspaces and strategies. Its controls edit the settings as the operator
// types, so the program works with a value as soon as it is typed; a value that would not
// convert (a number, a period, a port, a session time) stays in its control only until it
// is corrected, and "OK" refuses it. The dialog exists for the whole run.
class TfmOpt : public QDialog {
    Q_OBJECT
public:
    // The dialog's result when a check on "OK" failed: the cycle shows it again.
    static constexpr int Retry = 4;

    // connectAction is the main window's connect command, bound to the dialog's button;
    // without it the button runs the core's connect command itself.
    TfmOpt(TMainCore& core, QAction* connectAction = nullptr, QWidget* parent = nullptr);

    // The settings dialog cycle of the command "Настройки": shows the dialog (modal for
    // the application, the timers keep running) with the settings as they are, on the
    // page shown last. "OK" with entries that pass the checks stores the tables' edits and
    // saves the settings; a failed check shows the dialog again with the entries as typed;
    // any other close drops the tables' edits and loads the saved settings again.
    void Execute();
    // Fills every control from the settings.
    void ShowSettings();
    // Refreshes the securities grid's footer from the totals of the traded securities.
    void UpdateSumList();
    // The checks of "OK": the numbers, then the session times. A failure is shown, the
    // focus goes to the field, and the dialog's result becomes Retry.
    void BitBtn1Click();
    // The mail page's buttons "Коннект", "Дисконнект" and "Тест", with the fields as typed.
    void Button2Click();
    void Button3Click();
    void Button4Click();

    QTabWidget* PageControl1 = nullptr;
    // "Позиции"
    TRadioGroup* rgpPositionSize = nullptr;
    QLineEdit* edtFixVol = nullptr;
    QLineEdit* edtPart = nullptr;
    QLineEdit* edtTime1 = nullptr;
    QLineEdit* edtTime2 = nullptr;
    QCheckBox* chExitQty = nullptr;
    TRadioGroup* rgpFilled = nullptr;
    TRadioGroup* rgpSingleMulti = nullptr;
    // "Quik"
    QLineEdit* edtTRI = nullptr;
    QLineEdit* edtTRO = nullptr;
    QLineEdit* edtInfoLog = nullptr;
    QLineEdit* edtAccountMicex = nullptr;
    QLineEdit* edtAccountFORTS = nullptr;
    QLineEdit* edtCode = nullptr;
    QLineEdit* edtIntTable = nullptr;
    QLineEdit* edtQuikConnectTimeOut = nullptr;
    QCheckBox* chQuikConnect = nullptr;
    QLineEdit* edtAlerts = nullptr;
    QLineEdit* edtQuikData = nullptr;
    QCheckBox* chConnect = nullptr;
    QPushButton* btnConnectToBase = nullptr;
    // "Сообщения"
    QLineEdit* edtSMTP = nullptr;
    QLineEdit* edtPort = nullptr;
    QLineEdit* edtUser = nullptr;
    QLineEdit* edtPassword = nullptr;
    QCheckBox* chAuten = nullptr;
    QPushButton* Button2 = nullptr; // "Коннект"
    QPushButton* Button3 = nullptr; // "Дисконнект"
    QLineEdit* edtFromName = nullptr;
    QLineEdit* edtFromAddress = nullptr;
    QLineEdit* edtEmail1 = nullptr;
    QLineEdit* edtEmail2 = nullptr;
    QLineEdit* edtMsg = nullptr;
    QPushButton* Button4 = nullptr; // "Тест"
    QCheckBox* chSendTrans_Id = nullptr;
    QCheckBox* chSendTrans_done = nullptr;
    QCheckBox* chSendQuikConnect = nullptr;
    // "Инструменты"
    TDataGrid* grdSecCode = nullptr;
    TGridFooter* grdSecCodeFooter = nullptr;
    TDBNavigator* navSecCode = nullptr;
    TGridFind* findSecCode = nullptr;
    // "Фильтры"
    TDataGrid* grdWorkSpaces = nullptr;
    TDBNavigator* navWorkSpaces = nullptr;
    TDataGrid* grdStrategy = nullptr;
    TDBNavigator* navStrategy = nullptr;
    // "Риск": whole numbers of 0 or more, 0 switching the control off.
    QLineEdit* edtDuplicateMs = nullptr;
    QLineEdit* edtMaxLinesPerOrder = nullptr;
    QLineEdit* edtTxPerSecond = nullptr;
    QLineEdit* edtTxBurst = nullptr;
    // The bottom bar.
    QPushButton* BitBtn1 = nullptr; // "OK"
    QPushButton* BitBtn2 = nullptr; // "Отмена"
    QPushButton* BitBtn3 = nullptr; // "&Справка"
    // The manual, opened at the dialog's topic 2 by "&Справка" and F1. The dialog's own:
    // the modal dialog would keep the operator from a manual window that is not its child.
    TfmHelp* fmHelp = nullptr;

    // The path fields' browse controls.
    TFileNameEdit* FileNameEdit(QLineEdit* field) const;

protected:
    // The cycle goes on from here whichever way the dialog closed.
    void done(int result) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QWidget* CreatePositionsPage();
    QWidget* CreateQuikPage(QAction* connectAction);
    QWidget* CreateMailPage();
    QWidget* CreateSecuritiesPage();
    QWidget* CreateFiltersPage();
    QWidget* CreateRiskPage();
    void CreateButtonBar();
    // Which control edits which setting (and what a text must pass to be taken).
    void BindSettings();
    // The controls write into the settings as the operator changes them.
    void FollowEdits();
    // Every control into the settings, once all passed the checks.
    void StoreFields();
    // Whether a check failed; the message shown and the field remembered for the focus.
    bool Refuse(QLineEdit* field, const QString& message);
    // Puts the focus on a field, showing its page first.
    void FocusField(QWidget* field);
    void ShowModal();
    void ShowHelp();

    // Columns of the securities grid: those with a footer, and those of numbers.
    enum {
        colTraded = 1,
        colFixVol = 2,
        colPart = 3,
        colSlippage = 4,
        colLotSize = 5,
        colDigits = 7,
        colMaxLots = 9,
        colMaxValue = 10,
        colPriceBand = 11,
        colMaxPosition = 12
    };

    using TCheck = std::function<bool(const QString&)>;
    // A field and its setting: how the setting reads as the field's text and how a text
    // taken goes into the setting.
    struct TTextBinding {
        QLineEdit* Field;
        std::function<QString(const TSettings&)> Read;
        std::function<void(TSettings&, const QString&)> Write;
        TCheck Valid; // none: every text is taken
    };

    TMainCore& FCore;
    QWidget* FFocusAfterRetry = nullptr;
    QList<TTextBinding> FTexts;
    QList<std::pair<QCheckBox*, bool TSettings::*>> FFlags;
    QList<std::pair<TRadioGroup*, int TSettings::*>> FChoices;
};
