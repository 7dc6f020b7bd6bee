#include "base/CodePage.h"
#include "data/SessionTime.h"
#include "shell/MainCore.h"
#include "shell/ui/DataGrid.h"
#include "shell/ui/DBNavigator.h"
#include "shell/ui/FileNameEdit.h"
#include "shell/ui/GridFind.h"
#include "shell/ui/GridFooter.h"
#include "shell/ui/HelpWindow.h"
#include "shell/ui/MainWindow.h"
#include "shell/ui/OptionsDialog.h"
#include "shell/ui/RadioGroup.h"
#include "tests/support/SmtpTestServer.h"
#include "tests/support/TestDatabases.h"
#include "tests/support/TestEnvironment.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QTextBrowser>
#include <QToolBar>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

const QString kBadData = QStringLiteral("Введите верные данные!");
const QString kBadTime = QStringLiteral("Веденно неверное время!");
const QString kNoSecCode = QStringLiteral("Введите данные в поле \"Код в Quik`е\"");
const QByteArray kFirstFile = "[Quik]\r\nQuikConnectTimeOut=0\r\n";

// The real main window and its settings dialog over the program's core, two test
// databases and a program folder with a settings file. Message boxes and questions go to
// recorders; the dialog is driven through its widgets.
class OptionsDialogTest : public ::testing::Test {
protected:
    TTestEnvironment Env;
    TTestDatabases Bases;
    QTemporaryDir ProgramDir;
    TOperationLog Log{Env.Environment};
    std::unique_ptr<TMainCore> Core;
    std::unique_ptr<TfmMain> Window;
    TfmOpt* Dialog = nullptr;
    QStringList Questions;
    bool Answer = true;

    void SetUp() override
    {
        QDir(Bases.Folder()).mkdir(QStringLiteral("quik"));
        Log.OpenFile(Bases.FilePath(QStringLiteral("Zovrant.log")));
        Env.Environment.Regional.DecimalSeparator = QLatin1Char(',');
        Env.Environment.Confirm = [this](const QString& text) {
            Questions << text;
            return Answer;
        };
        WriteWholeFile(IniPath(), kFirstFile);
        Core = std::make_unique<TMainCore>(Env.Environment, Log, ProgramDir.path() + QLatin1Char('/'));
        PointAtTestFiles(Core->Settings(), Bases);
        Window = std::make_unique<TfmMain>(*Core);
        Window->show();
        Dialog = Window->fmOpt;
    }

    void TearDown() override
    {
        Window.reset();
        Core.reset();
    }

    QString IniPath() const { return QDir(ProgramDir.path()).filePath(QStringLiteral("Zovrant.ini")); }

    void Open()
    {
        Window->actOpt->trigger();
        ASSERT_TRUE(Dialog->isVisible());
    }
    void ClickOk() { QTest::mouseClick(Dialog->BitBtn1, Qt::LeftButton); }

    // Key presses with the text's characters, Cyrillic ones too.
    static void Keys(QWidget* widget, const QString& text)
    {
        for (QChar c : text) {
            if (c.unicode() < 128)
                QTest::keyClick(widget, c.toLatin1());
            else
                QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
        }
    }
    // Types into a field as the operator does, replacing what it held.
    static void Type(QLineEdit* field, const QString& text)
    {
        if (field->inputMask().isEmpty()) {
            field->selectAll();
            QTest::keyClick(field, Qt::Key_Delete);
        } else {
            field->setText(QString());
            field->setCursorPosition(0);
        }
        Keys(field, text);
    }

    void Connect() { Core->Watch().actConnectToBaseExecute(); }

    // Starts editing the grid's current cell (F2), types the text and presses Enter.
    static void TypeCell(TDataGrid* grid, const QString& text)
    {
        QTest::keyClick(grid, Qt::Key_F2);
        QLineEdit* editor = nullptr;
        for (QLineEdit* candidate : grid->viewport()->findChildren<QLineEdit*>()) {
            if (candidate->isVisible())
                editor = candidate;
        }
        ASSERT_NE(editor, nullptr) << "no cell editor opened";
        editor->selectAll();
        Keys(editor, text);
        QTest::keyClick(editor, Qt::Key_Return);
        QCoreApplication::processEvents();
    }
    static void GoTo(TDataGrid* grid, int row, int column)
    {
        grid->setCurrentIndex(grid->model()->index(row, column));
    }
    static QString Cell(TDataGrid* grid, int row, int column)
    {
        return grid->model()->index(row, column).data().toString();
    }
    QStringList Footers() const
    {
        return {Dialog->grdSecCodeFooter->Text(1), Dialog->grdSecCodeFooter->Text(2), Dialog->grdSecCodeFooter->Text(3)};
    }
    int RowsOf(const QString& table, const QString& condition = QStringLiteral("1=1"))
    {
        return Bases.Scalar(Bases.BridgePath(), QStringLiteral("SELECT COUNT(*) FROM %1 WHERE %2").arg(table, condition))
            .toInt();
    }
    void AddSecurity(const QString& ticker, bool traded, double fixVol, double part)
    {
        Bases.Insert(Bases.BridgePath(), QStringLiteral("tSecCode"),
                     {{QStringLiteral("Ticker"), ticker}, {QStringLiteral("SecCode"), ticker},
                      {QStringLiteral("Traded"), traded}, {QStringLiteral("FixVol"), fixVol},
                      {QStringLiteral("Part"), part}, {QStringLiteral("Class_Code"), QStringLiteral("TQBR")},
                      {QStringLiteral("LotSize"), 10}, {QStringLiteral("Digits"), 2},
                      {QStringLiteral("Slippage"), 0.1}});
    }
};

// One text field of the dialog, what the operator types and what the settings then hold.
struct TTextCase {
    QLineEdit* TfmOpt::*Field;
    QString TSettings::*Setting;
    QString Typed;
    QString Held;
};
struct TFlagCase {
    QCheckBox* TfmOpt::*Field;
    bool TSettings::*Setting;
};
struct TChoiceCase {
    TRadioGroup* TfmOpt::*Field;
    int TSettings::*Setting;
    int Index;
};

QList<TTextCase> TypedTexts()
{
#define S QStringLiteral
    return {{&TfmOpt::edtFixVol, &TSettings::edtFixVol, S("12345,5"), S("12345,5")},
            {&TfmOpt::edtPart, &TSettings::edtPart, S("7,5"), S("7,5")},
            {&TfmOpt::edtTime1, &TSettings::edtTime1, S("093000"), S("09:30:00")},
            {&TfmOpt::edtTime2, &TSettings::edtTime2, S("181500"), S("18:15:00")},
            {&TfmOpt::edtTRO, &TSettings::edtTRO, S("/srv/квик/Trans.tro"), S("/srv/квик/Trans.tro")},
            {&TfmOpt::edtInfoLog, &TSettings::edtInfoLog, S("/srv/квик/info.log"), S("/srv/квик/info.log")},
            {&TfmOpt::edtAccountMicex, &TSettings::edtAccountMicex, S("L01-12345678"), S("L01-12345678")},
            {&TfmOpt::edtAccountFORTS, &TSettings::edtAccountFORTS, S("SPBFUT01"), S("SPBFUT01")},
            {&TfmOpt::edtIntTable, &TSettings::edtIntTable, S("3"), S("3")},
            {&TfmOpt::edtQuikConnectTimeOut, &TSettings::edtQuikConnectTimeOut, S("45"), S("45")},
            {&TfmOpt::edtCode, &TSettings::edtCode, S("777"), S("777")},
            {&TfmOpt::edtAlerts, &TSettings::edtAlerts, S("/srv/омега/Alerts.mdb"), S("/srv/омега/Alerts.mdb")},
            {&TfmOpt::edtQuikData, &TSettings::edtQuikData, S("/srv/мост/QuikData.mdb"), S("/srv/мост/QuikData.mdb")},
            {&TfmOpt::edtSMTP, &TSettings::edtSMTP, S("smtp.zovrant.test"), S("smtp.zovrant.test")},
            {&TfmOpt::edtPort, &TSettings::edtPort, S("2525"), S("2525")},
            {&TfmOpt::edtUser, &TSettings::edtUser, S("trader"), S("trader")},
            {&TfmOpt::edtPassword, &TSettings::edtPassword, S("пароль 1"), S("пароль 1")},
            {&TfmOpt::edtFromName, &TSettings::edtFromName, S("Торговый робот"), S("Торговый робот")},
            {&TfmOpt::edtFromAddress, &TSettings::edtFromAddress, S("robot@zovrant.test"), S("robot@zovrant.test")},
            {&TfmOpt::edtEmail1, &TSettings::edtEmail1, S("trader@zovrant.test"), S("trader@zovrant.test")},
            {&TfmOpt::edtEmail2, &TSettings::edtEmail2, S("79990000000@sms.zovrant.test"),
             S("79990000000@sms.zovrant.test")}};
#undef S
}

// Every flag is switched to the opposite of its default.
const QList<TFlagCase> kFlags = {
    {&TfmOpt::chExitQty, &TSettings::chExitQty},         {&TfmOpt::chQuikConnect, &TSettings::chQuikConnect},
    {&TfmOpt::chConnect, &TSettings::chConnect},         {&TfmOpt::chAuten, &TSettings::chAuten},
    {&TfmOpt::chSendTrans_Id, &TSettings::chSendTrans_Id}, {&TfmOpt::chSendTrans_done, &TSettings::chSendTrans_done},
    {&TfmOpt::chSendQuikConnect, &TSettings::chSendQuikConnect}};

const QList<TChoiceCase> kChoices = {{&TfmOpt::rgpPositionSize, &TSettings::rgpPositionSize, 3},
                                     {&TfmOpt::rgpFilled, &TSettings::rgpFilled, 0},
                                     {&TfmOpt::rgpSingleMulti, &TSettings::rgpSingleMulti, 1}};

TEST_F(OptionsDialogTest, EveryControlGoesThroughOkIntoTheFileAndBackIntoANewDialog)
{
    Open();
    const TSettings defaults;
    for (const TTextCase& c : TypedTexts())
        Type(Dialog->*c.Field, c.Typed);
    for (const TFlagCase& c : kFlags) {
        ASSERT_EQ((Dialog->*c.Field)->isChecked(), defaults.*c.Setting);
        QTest::mouseClick(Dialog->*c.Field, Qt::LeftButton, Qt::NoModifier, QPoint(4, (Dialog->*c.Field)->height() / 2));
    }
    for (const TChoiceCase& c : kChoices)
        QTest::mouseClick((Dialog->*c.Field)->Item(c.Index), Qt::LeftButton, Qt::NoModifier, QPoint(4, 4));
    // The path of the import file comes from its browse button.
    const QString chosen = QStringLiteral("/srv/квик/Trans.tri");
    QString offered;
    Dialog->FileNameEdit(Dialog->edtTRI)->Chooser = [&](QWidget*, const QString& current, const QString&) {
        offered = current;
        return chosen;
    };
    QTest::mouseClick(Dialog->FileNameEdit(Dialog->edtTRI)->Browse, Qt::LeftButton);
    EXPECT_EQ(offered, Bases.FilePath(QStringLiteral("quik/trans.tri")));
    EXPECT_EQ(Dialog->edtTRI->text(), QDir::toNativeSeparators(chosen));

    // What is typed is the program's setting at once, before OK.
    TSettings& live = Core->Settings();
    for (const TTextCase& c : TypedTexts())
        EXPECT_EQ(live.*c.Setting, c.Held) << c.Typed.toStdString();
    EXPECT_EQ(live.edtTRI, QDir::toNativeSeparators(chosen));
    EXPECT_EQ(ReadWholeFile(IniPath()), kFirstFile) << "nothing is saved before OK";

    ClickOk();
    EXPECT_FALSE(Dialog->isVisible());
    EXPECT_TRUE(Env.Messages.isEmpty()) << Env.Messages.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(Env.Errors.isEmpty()) << Env.Errors.join(QLatin1Char('|')).toStdString();

    TSettings saved;
    saved.ProgramFolder = ProgramDir.path() + QLatin1Char('/');
    saved.LoadSettings();
    for (const TTextCase& c : TypedTexts())
        EXPECT_EQ(saved.*c.Setting, c.Held) << c.Typed.toStdString();
    EXPECT_EQ(saved.edtTRI, QDir::toNativeSeparators(chosen));
    for (const TFlagCase& c : kFlags)
        EXPECT_EQ(saved.*c.Setting, !(defaults.*c.Setting));
    for (const TChoiceCase& c : kChoices)
        EXPECT_EQ(saved.*c.Setting, c.Index);
    // The password is stored shifted, not as typed.
    const QByteArray file = ReadWholeFile(IniPath());
    EXPECT_FALSE(file.contains(ToCp1251(QStringLiteral("пароль 1"))));
    EXPECT_FALSE(file.contains(QStringLiteral("пароль 1").toUtf8()));

    // A program started afterwards shows every value in its dialog.
    TMainCore nextCore(Env.Environment, Log, ProgramDir.path() + QLatin1Char('/'));
    TfmMain nextWindow(nextCore);
    TfmOpt* next = nextWindow.fmOpt;
    nextWindow.actOpt->trigger();
    for (const TTextCase& c : TypedTexts())
        EXPECT_EQ((next->*c.Field)->text(), c.Held) << c.Typed.toStdString();
    EXPECT_EQ(next->edtTRI->text(), QDir::toNativeSeparators(chosen));
    for (const TFlagCase& c : kFlags)
        EXPECT_EQ((next->*c.Field)->isChecked(), !(defaults.*c.Setting));
    for (const TChoiceCase& c : kChoices)
        EXPECT_EQ((next->*c.Field)->ItemIndex(), c.Index);
    next->reject();
}

TEST_F(OptionsDialogTest, OkTakesTheTimerPeriodsAndTheWorkingModeAtOnce)
{
    Open();
    Type(Dialog->edtIntTable, QStringLiteral("3"));
    Type(Dialog->edtQuikConnectTimeOut, QStringLiteral("45"));
    QTest::mouseClick(Dialog->rgpSingleMulti->Item(1), Qt::LeftButton, Qt::NoModifier, QPoint(4, 4));
    EXPECT_EQ(Core->timUpdateTable().Period(), 1000) << "a typed period waits for OK";
    ClickOk();
    EXPECT_EQ(Core->timUpdateTable().Period(), 3000);
    EXPECT_EQ(Core->timInfoLog().Period(), 45000);
    EXPECT_EQ(Window->StatusPanels[4]->text(), QStringLiteral("MULTI"));
}

TEST_F(OptionsDialogTest, CancelPutsTheSavedSettingsAndPeriodsBack)
{
    Open();
    Type(Dialog->edtIntTable, QStringLiteral("2"));
    ClickOk(); // the test paths and a period of 2 s are now in the file
    const TSettings before = Core->Settings();
    ASSERT_EQ(Core->timUpdateTable().Period(), 2000);

    Open();
    Type(Dialog->edtTRI, QStringLiteral("/elsewhere/Trans.tri"));
    Type(Dialog->edtAlerts, QStringLiteral("/elsewhere/Alerts.mdb"));
    Type(Dialog->edtIntTable, QStringLiteral("7"));
    QTest::mouseClick(Dialog->rgpSingleMulti->Item(1), Qt::LeftButton, Qt::NoModifier, QPoint(4, 4));
    EXPECT_EQ(Core->Settings().edtTRI, QStringLiteral("/elsewhere/Trans.tri"));
    QTest::mouseClick(Dialog->BitBtn2, Qt::LeftButton);

    EXPECT_FALSE(Dialog->isVisible());
    EXPECT_EQ(Core->Settings().edtTRI, before.edtTRI);
    EXPECT_EQ(Core->Settings().edtAlerts, before.edtAlerts);
    EXPECT_EQ(Core->Settings().edtIntTable, QStringLiteral("2"));
    EXPECT_EQ(Core->Settings().rgpSingleMulti, 0);
    EXPECT_EQ(Core->timUpdateTable().Period(), 2000);
    // Shown again, the dialog shows the saved values.
    Open();
    EXPECT_EQ(Dialog->edtTRI->text(), before.edtTRI);
    EXPECT_EQ(Dialog->edtIntTable->text(), QStringLiteral("2"));
    EXPECT_EQ(Dialog->rgpSingleMulti->ItemIndex(), 0);
    Dialog->reject();
    EXPECT_TRUE(Env.Errors.isEmpty()) << Env.Errors.join(QLatin1Char('|')).toStdString();
}

struct TCheckCase {
    const char* Name;
    QLineEdit* TfmOpt::*Field;
    QString TSettings::*Setting;
    QString Typed;
    QString Message;
    QString Corrected;
};

class OptionsCheckTest : public OptionsDialogTest, public ::testing::WithParamInterface<TCheckCase> {};

// A value that fails its check is named, gets the focus (on its page), keeps the dialog
// open with the entry as typed, never reaches the settings or the file, and passes once
// corrected.
TEST_P(OptionsCheckTest, ABadEntryIsRefusedWithItsMessageAndTheFocus)
{
    const TCheckCase& c = GetParam();
    Open();
    Dialog->PageControl1->setCurrentIndex(0);
    Type(Dialog->*c.Field, c.Typed);
    const QString shown = (Dialog->*c.Field)->text();
    EXPECT_NE(Core->Settings().*c.Setting, shown) << "a value that does not convert stays out of the settings";

    ClickOk();
    EXPECT_EQ(Env.Messages, QStringList{c.Message});
    EXPECT_TRUE(Dialog->isVisible()) << "the dialog opens again";
    EXPECT_EQ(Dialog->result(), TfmOpt::Retry);
    EXPECT_EQ(Dialog->focusWidget(), Dialog->*c.Field);
    EXPECT_TRUE(Dialog->PageControl1->currentWidget()->isAncestorOf(Dialog->*c.Field));
    EXPECT_EQ((Dialog->*c.Field)->text(), shown) << "the entry stays as typed";
    EXPECT_EQ(ReadWholeFile(IniPath()), kFirstFile);

    Env.Messages.clear();
    Type(Dialog->*c.Field, c.Corrected);
    ClickOk();
    EXPECT_TRUE(Env.Messages.isEmpty()) << Env.Messages.join(QLatin1Char('|')).toStdString();
    EXPECT_FALSE(Dialog->isVisible());
    EXPECT_NE(ReadWholeFile(IniPath()), kFirstFile);
}

#define S QStringLiteral
INSTANTIATE_TEST_SUITE_P(
    Checks, OptionsCheckTest,
    ::testing::Values(
        // The system's decimal separator here is a comma.
        TCheckCase{"FixVolWithAPoint", &TfmOpt::edtFixVol, &TSettings::edtFixVol, S("12.5"), kBadData, S("12,5")},
        TCheckCase{"PartNotANumber", &TfmOpt::edtPart, &TSettings::edtPart, S("abc"), kBadData, S("20")},
        TCheckCase{"PortNotANumber", &TfmOpt::edtPort, &TSettings::edtPort, S("25a"), kBadData, S("25")},
        TCheckCase{"PortOutOfRange", &TfmOpt::edtPort, &TSettings::edtPort, S("70000"), kBadData, S("587")},
        TCheckCase{"IntTableFraction", &TfmOpt::edtIntTable, &TSettings::edtIntTable, S("1,5"), kBadData, S("2")},
        TCheckCase{"IntTableNegative", &TfmOpt::edtIntTable, &TSettings::edtIntTable, S("-1"), kBadData, S("0")},
        TCheckCase{"TimeOutEmpty", &TfmOpt::edtQuikConnectTimeOut, &TSettings::edtQuikConnectTimeOut, S(""),
                   kBadData, S("30")},
        TCheckCase{"Time1Incomplete", &TfmOpt::edtTime1, &TSettings::edtTime1, S("1"), kBadTime, S("100000")},
        TCheckCase{"Time2NoSuchTime", &TfmOpt::edtTime2, &TSettings::edtTime2, S("256000"), kBadTime, S("235959")}),
    [](const ::testing::TestParamInfo<TCheckCase>& info) { return std::string(info.param.Name); });
#undef S

// The desk's risk controls on their page: each field and its setting.
struct TRiskField {
    QLineEdit* TfmOpt::*Field;
    int TSettings::*Setting;
    const char* Key;
};
const TRiskField kRiskFields[] = {{&TfmOpt::edtDuplicateMs, &TSettings::DuplicateMs, "DuplicateMs"},
                                  {&TfmOpt::edtMaxLinesPerOrder, &TSettings::MaxLinesPerOrder, "MaxLinesPerOrder"},
                                  {&TfmOpt::edtTxPerSecond, &TSettings::TxPerSecond, "TxPerSecond"},
                                  {&TfmOpt::edtTxBurst, &TSettings::TxBurst, "TxBurst"}};

TEST_F(OptionsDialogTest, TheRiskPageTakesWholeNumbersIntoTheSettingsAndTheFile)
{
    Open();
    Dialog->PageControl1->setCurrentIndex(5);
    int typed = 1500;
    for (const TRiskField& f : kRiskFields) {
        EXPECT_EQ((Dialog->*f.Field)->text(), QStringLiteral("0")) << f.Key << ": off by default";
        Type(Dialog->*f.Field, QString::number(typed));
        EXPECT_EQ(Core->Settings().*f.Setting, typed) << f.Key << ": taken as typed";
        typed /= 3;
    }
    ClickOk();
    EXPECT_FALSE(Dialog->isVisible());
    EXPECT_TRUE(Env.Messages.isEmpty()) << Env.Messages.join(QLatin1Char('|')).toStdString();
    const QByteArray file = ReadWholeFile(IniPath());
    EXPECT_TRUE(file.contains("[Risk]\r\nDuplicateMs=1500\r\nMaxLinesPerOrder=500\r\nTxPerSecond=166\r\nTxBurst=55\r\n"))
        << file.toStdString();

    // A program started afterwards shows them; Cancel after a change puts them back.
    TMainCore nextCore(Env.Environment, Log, ProgramDir.path() + QLatin1Char('/'));
    TfmMain nextWindow(nextCore);
    nextWindow.actOpt->trigger();
    typed = 1500;
    for (const TRiskField& f : kRiskFields) {
        EXPECT_EQ((nextWindow.fmOpt->*f.Field)->text(), QString::number(typed)) << f.Key;
        typed /= 3;
    }
    Type(nextWindow.fmOpt->edtTxPerSecond, QStringLiteral("0"));
    EXPECT_EQ(nextCore.Settings().TxPerSecond, 0);
    QTest::mouseClick(nextWindow.fmOpt->BitBtn2, Qt::LeftButton);
    EXPECT_EQ(nextCore.Settings().TxPerSecond, 166);
}

TEST_F(OptionsDialogTest, TheRiskPageRefusesWhatIsNotAWholeNumberOfZeroOrMore)
{
    Open();
    for (const TRiskField& f : kRiskFields) {
        for (const QString& bad : {QStringLiteral("-1"), QStringLiteral("2,5"), QStringLiteral("abc"), QString()}) {
            SCOPED_TRACE(std::string(f.Key) + " \"" + bad.toStdString() + "\"");
            Env.Messages.clear();
            Dialog->PageControl1->setCurrentIndex(0);
            Type(Dialog->*f.Field, bad);
            // What was typed on the way ("2" of "2,5") may be taken; the bad value itself is not.
            EXPECT_GE(Core->Settings().*f.Setting, 0);
            EXPECT_NE(QString::number(Core->Settings().*f.Setting), (Dialog->*f.Field)->text());
            ClickOk();
            EXPECT_EQ(Env.Messages, QStringList{kBadData});
            EXPECT_TRUE(Dialog->isVisible());
            EXPECT_EQ(Dialog->focusWidget(), Dialog->*f.Field);
            EXPECT_EQ(Dialog->PageControl1->currentIndex(), 5);
            EXPECT_EQ(ReadWholeFile(IniPath()), kFirstFile);
        }
        Type(Dialog->*f.Field, QStringLiteral("0"));
    }
    Env.Messages.clear();
    ClickOk();
    EXPECT_TRUE(Env.Messages.isEmpty()) << Env.Messages.join(QLatin1Char('|')).toStdString();
    EXPECT_FALSE(Dialog->isVisible());
}

TEST_F(OptionsDialogTest, ABadNumberAndABadTimeGiveBothMessagesAndTheFocusEndsOnTheTime)
{
    Open();
    Type(Dialog->edtPort, QStringLiteral("x"));
    Type(Dialog->edtFixVol, QStringLiteral("y")); // first in the order of the checks
    Type(Dialog->edtTime1, QStringLiteral("99"));
    ClickOk();
    EXPECT_EQ(Env.Messages, (QStringList{kBadData, kBadTime}));
    EXPECT_EQ(Dialog->focusWidget(), Dialog->edtTime1);
    EXPECT_TRUE(Dialog->isVisible());
    EXPECT_EQ(ReadWholeFile(IniPath()), kFirstFile);
    // Cancel then drops what was typed.
    QTest::mouseClick(Dialog->BitBtn2, Qt::LeftButton);
    EXPECT_FALSE(Dialog->isVisible());
    EXPECT_EQ(ReadWholeFile(IniPath()), kFirstFile);
}

TEST_F(OptionsDialogTest, BadValuesReadFromTheFileAreShownAndRefusedUntilCorrected)
{
    WriteWholeFile(IniPath(), "[Position]\r\nFixVol=abc\r\ntime1=9:30\r\n[Quik]\r\nQuikConnectTimeOut=0\r\n");
    Core->LoadSettingsReported();
    PointAtTestFiles(Core->Settings(), Bases);
    Open();
    EXPECT_EQ(Dialog->edtFixVol->text(), QStringLiteral("abc"));
    ClickOk();
    EXPECT_EQ(Env.Messages, (QStringList{kBadData, kBadTime}));
    EXPECT_EQ(Dialog->focusWidget(), Dialog->edtTime1);
    Env.Messages.clear();
    Type(Dialog->edtFixVol, QStringLiteral("1500"));
    Type(Dialog->edtTime1, QStringLiteral("_93000")); // the first hour digit left blank
    ClickOk();
    EXPECT_TRUE(Env.Messages.isEmpty()) << Env.Messages.join(QLatin1Char('|')).toStdString();
    TSettings saved;
    saved.ProgramFolder = ProgramDir.path() + QLatin1Char('/');
    saved.LoadSettings();
    EXPECT_EQ(saved.edtFixVol, QStringLiteral("1500"));
    EXPECT_EQ(SessionTime(saved.edtTime1), QTime(9, 30));
}

TEST_F(OptionsDialogTest, PagesCaptionsAndTheWayIn)
{
    EXPECT_EQ(Dialog->windowTitle(), QStringLiteral("Настройки"));
    EXPECT_EQ(Dialog->size(), QSize(708, 493));
    QStringList pages;
    for (int i = 0; i < Dialog->PageControl1->count(); ++i)
        pages << Dialog->PageControl1->tabText(i);
    EXPECT_EQ(pages, (QStringList{QStringLiteral("Позиции"), QStringLiteral("Quik"), QStringLiteral("Сообщения"),
                                  QStringLiteral("Инструменты"), QStringLiteral("Фильтры"), QStringLiteral("Риск")}));
    EXPECT_EQ(Dialog->edtPassword->echoMode(), QLineEdit::Password);
    EXPECT_EQ(Dialog->edtMsg->text(), QStringLiteral("Test."));
    EXPECT_TRUE(Dialog->BitBtn1->isDefault());
    EXPECT_TRUE(Window->ToolBar1->actions().contains(Window->actOpt));
    auto* settingsMenu = Window->findChild<QMenu*>(QStringLiteral("mnSettings"));
    ASSERT_NE(settingsMenu, nullptr);
    EXPECT_TRUE(settingsMenu->actions().contains(Window->actOpt));
    // Each showing is on the page shown last.
    Open();
    Dialog->PageControl1->setCurrentIndex(2);
    Dialog->reject();
    Open();
    EXPECT_EQ(Dialog->PageControl1->currentIndex(), 2);
    Dialog->reject();
}

TEST_F(OptionsDialogTest, HelpButtonAndF1OpenTheManualAtTheSettingsTopic)
{
    Open();
    ASSERT_FALSE(Dialog->fmHelp->isVisible());
    QTest::mouseClick(Dialog->BitBtn3, Qt::LeftButton);
    EXPECT_TRUE(Dialog->fmHelp->isVisible());
    EXPECT_TRUE(Dialog->fmHelp->Text->toPlainText().contains(QStringLiteral("Введите верные данные!")));
    Dialog->fmHelp->hide();
    QTest::keyClick(Dialog, Qt::Key_F1);
    EXPECT_TRUE(Dialog->fmHelp->isVisible());
    Dialog->reject();
}

TEST_F(OptionsDialogTest, TheDatabasesButtonConnectsBothDatabases)
{
    Open();
    ASSERT_FALSE(Core->DatMod().conQuikData().Connected());
    QTest::mouseClick(Dialog->btnConnectToBase, Qt::LeftButton);
    EXPECT_TRUE(Core->DatMod().conOmega().Connected());
    EXPECT_TRUE(Core->DatMod().conQuikData().Connected());
    EXPECT_TRUE(Window->actStartWatch->isEnabled());
    EXPECT_EQ(Dialog->btnConnectToBase->toolTip(), QStringLiteral("Подключиться к базам данных"));
    Dialog->reject();
}

TEST_F(OptionsDialogTest, SecuritiesAreAddedEditedAndDeletedThroughTheGridWithTheFootersFollowing)
{
    AddSecurity(QStringLiteral("SBER"), true, 1000.5, 10);
    AddSecurity(QStringLiteral("GAZP"), false, 500, 5);
    Connect();
    Open();
    Dialog->PageControl1->setCurrentIndex(3);
    TDataGrid* grid = Dialog->grdSecCode;
    ASSERT_EQ(grid->model()->rowCount(), 2);
    EXPECT_EQ(Footers(), (QStringList{QStringLiteral("1"), QStringLiteral("1 000,50"), QStringLiteral("10")}));

    // A new row: Enter goes from cell to cell; the row is stored when it is left, and only
    // with its terminal code.
    QTest::mouseClick(Dialog->navSecCode->Button(TDBNavigator::nbInsert), Qt::LeftButton);
    ASSERT_EQ(grid->model()->rowCount(), 3);
    GoTo(grid, 2, 0);
    TypeCell(grid, QStringLiteral("LKOH"));
    EXPECT_EQ(grid->currentIndex(), grid->model()->index(2, 1));
    QTest::keyClick(grid, Qt::Key_Space); // Traded
    QTest::keyClick(grid, Qt::Key_Return);
    EXPECT_EQ(grid->currentIndex(), grid->model()->index(2, 2));
    TypeCell(grid, QStringLiteral("2000,5")); // the regional separator
    TypeCell(grid, QStringLiteral("5"));
    TypeCell(grid, QStringLiteral("0,2"));
    TypeCell(grid, QStringLiteral("1,5")); // a lot is a whole number
    EXPECT_EQ(Env.Messages, QStringList{QStringLiteral("Значение \"1,5\" не является целым числом")});
    Env.Messages.clear();
    EXPECT_TRUE(grid->model()->index(2, 5).data().toString().isEmpty());
    EXPECT_TRUE(Dialog->isVisible()) << "Enter in the grid does not press OK";
    EXPECT_TRUE(Env.Messages.isEmpty()) << "nothing is stored while the new row is entered";
    QTest::mouseClick(Dialog->navSecCode->Button(TDBNavigator::nbFirst), Qt::LeftButton);
    EXPECT_EQ(Env.Messages, QStringList{kNoSecCode});
    EXPECT_EQ(RowsOf(QStringLiteral("tSecCode")), 2);
    EXPECT_EQ(grid->Table().RecNo(), 2) << "the refused row stays current";
    GoTo(grid, 2, 8);
    TypeCell(grid, QStringLiteral("LKOH"));
    QTest::mouseClick(Dialog->navSecCode->Button(TDBNavigator::nbPost), Qt::LeftButton);
    EXPECT_EQ(RowsOf(QStringLiteral("tSecCode"), QStringLiteral("Ticker='LKOH' AND SecCode='LKOH' AND Traded")), 1);
    // Numbers, not the typed texts.
    EXPECT_EQ(RowsOf(QStringLiteral("tSecCode"),
                     QStringLiteral("Ticker='LKOH' AND typeof(FixVol)='real' AND FixVol=2000.5 AND Slippage=0.2 "
                                    "AND LotSize IS NULL")),
              1);
    EXPECT_EQ(Footers(), (QStringList{QStringLiteral("2"), QStringLiteral("3 001,00"), QStringLiteral("15")}));

    // An existing row is stored at once.
    const int gazp = grid->Table().Locate(QStringLiteral("Ticker"), QStringLiteral("GAZP")) ? grid->Table().RecNo() : -1;
    ASSERT_GE(gazp, 0);
    GoTo(grid, gazp, 1);
    QTest::keyClick(grid, Qt::Key_Space);
    EXPECT_EQ(RowsOf(QStringLiteral("tSecCode"), QStringLiteral("Ticker='GAZP' AND Traded")), 1);
    EXPECT_EQ(Footers(), (QStringList{QStringLiteral("3"), QStringLiteral("3 501,00"), QStringLiteral("20")}));

    // A deletion asks first; "no" keeps the row.
    GoTo(grid, gazp, 0);
    Answer = false;
    QTest::mouseClick(Dialog->navSecCode->Button(TDBNavigator::nbDelete), Qt::LeftButton);
    EXPECT_EQ(Questions, QStringList{QStringLiteral("Удалить запись?")});
    EXPECT_EQ(RowsOf(QStringLiteral("tSecCode")), 3);
    Answer = true;
    QTest::mouseClick(Dialog->navSecCode->Button(TDBNavigator::nbDelete), Qt::LeftButton);
    EXPECT_EQ(RowsOf(QStringLiteral("tSecCode"), QStringLiteral("Ticker='GAZP'")), 0);
    EXPECT_EQ(Footers(), (QStringList{QStringLiteral("2"), QStringLiteral("3 001,00"), QStringLiteral("15")}));

    // An existing amount is edited as the operator writes numbers.
    GoTo(grid, grid->Table().Locate(QStringLiteral("Ticker"), QStringLiteral("SBER")) ? grid->Table().RecNo() : 0, 2);
    TypeCell(grid, QStringLiteral("1200,25"));
    EXPECT_EQ(RowsOf(QStringLiteral("tSecCode"), QStringLiteral("Ticker='SBER' AND FixVol=1200.25")), 1);
    ClickOk();
    EXPECT_TRUE(Env.Errors.isEmpty()) << Env.Errors.join(QLatin1Char('|')).toStdString();
}

TEST_F(OptionsDialogTest, WithoutATradedSecurityTheFootersReadZero)
{
    AddSecurity(QStringLiteral("GAZP"), false, 500, 5);
    Connect();
    EXPECT_EQ(Footers(), (QStringList{QStringLiteral("0"), QStringLiteral("0,00"), QStringLiteral("0")}));
}

TEST_F(OptionsDialogTest, OkStoresANewSecurityStillBeingEnteredAndCancelDropsIt)
{
    Connect();
    Open();
    Dialog->PageControl1->setCurrentIndex(3);
    TDataGrid* grid = Dialog->grdSecCode;
    Dialog->navSecCode->Click(TDBNavigator::nbInsert);
    GoTo(grid, 0, 0);
    TypeCell(grid, QStringLiteral("VTBR"));
    GoTo(grid, 0, 8);
    TypeCell(grid, QStringLiteral("VTBR"));
    ClickOk();
    EXPECT_EQ(RowsOf(QStringLiteral("tSecCode"), QStringLiteral("Ticker='VTBR'")), 1);

    Open();
    Dialog->navSecCode->Click(TDBNavigator::nbInsert);
    GoTo(grid, 1, 0);
    TypeCell(grid, QStringLiteral("MGNT"));
    QTest::mouseClick(Dialog->BitBtn2, Qt::LeftButton);
    EXPECT_EQ(grid->Table().State(), TDataSet::TState::Browse);
    EXPECT_EQ(grid->model()->rowCount(), 1);
    EXPECT_EQ(RowsOf(QStringLiteral("tSecCode")), 1);
}

TEST_F(OptionsDialogTest, TheFindWindowFindsATextInTheSecuritiesGrid)
{
    AddSecurity(QStringLiteral("SBER"), true, 1000, 10);
    AddSecurity(QStringLiteral("GAZP"), true, 500, 5);
    Connect();
    Open();
    Dialog->PageControl1->setCurrentIndex(3);
    TDataGrid* grid = Dialog->grdSecCode;
    GoTo(grid, 0, 0);
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(Dialog->findSecCode->isVisible());
    Dialog->findSecCode->edtFind->setText(QStringLiteral("gaz"));
    Dialog->findSecCode->FindNext();
    EXPECT_EQ(Cell(grid, grid->currentIndex().row(), 0), QStringLiteral("GAZP"));
    EXPECT_EQ(grid->Table().FieldByName(QStringLiteral("Ticker")).AsString(), QStringLiteral("GAZP"));
    Dialog->findSecCode->edtFind->setText(QStringLiteral("LKOH"));
    Dialog->findSecCode->FindNext();
    EXPECT_EQ(Env.Messages, QStringList{QStringLiteral("Текст \"LKOH\" не найден.")});
    Dialog->reject();
}

TEST_F(OptionsDialogTest, EnterOnTheLastColumnGoesToTheNextRow)
{
    AddSecurity(QStringLiteral("SBER"), true, 1000, 10);
    AddSecurity(QStringLiteral("GAZP"), true, 500, 5);
    Connect();
    Open();
    TDataGrid* grid = Dialog->grdSecCode;
    // The last column is the last of the limits' columns (the bridge file has them).
    const int last = grid->model()->columnCount() - 1;
    GoTo(grid, 0, last - 1);
    QTest::keyClick(grid, Qt::Key_Return);
    EXPECT_EQ(grid->currentIndex(), grid->model()->index(0, last));
    QTest::keyClick(grid, Qt::Key_Return);
    EXPECT_EQ(grid->currentIndex(), grid->model()->index(1, 0));
    EXPECT_EQ(grid->Table().RecNo(), 1);
    Dialog->reject();
}

struct TFilterCase {
    const char* Name;
    TDataGrid* TfmOpt::*Grid;
    TDBNavigator* TfmOpt::*Navigator;
    const char* Table;
    const char* Column;
};

class OptionsFilterTest : public OptionsDialogTest, public ::testing::WithParamInterface<TFilterCase> {};

TEST_P(OptionsFilterTest, RowsAreAddedEditedAndDeletedAfterAQuestion)
{
    const TFilterCase& c = GetParam();
    const QString table = QString::fromLatin1(c.Table);
    const QString column = QString::fromLatin1(c.Column);
    Bases.Insert(Bases.BridgePath(), table, {{column, QStringLiteral("Первая")}});
    Connect();
    Open();
    Dialog->PageControl1->setCurrentIndex(4);
    TDataGrid* grid = Dialog->*c.Grid;
    TDBNavigator* navigator = Dialog->*c.Navigator;
    ASSERT_EQ(grid->model()->rowCount(), 1);

    navigator->Click(TDBNavigator::nbInsert);
    GoTo(grid, 1, 0);
    TypeCell(grid, QStringLiteral("Вторая"));
    EXPECT_TRUE(Dialog->isVisible()) << "Enter in the grid does not press OK";
    QTest::keyClick(grid, Qt::Key_Return);
    EXPECT_TRUE(Dialog->isVisible());

    // The new row is stored as the operator leaves it.
    GoTo(grid, 0, 0);
    EXPECT_EQ(RowsOf(table, column + QStringLiteral("='Вторая'")), 1);
    TypeCell(grid, QStringLiteral("Изменённая"));
    EXPECT_EQ(RowsOf(table, column + QStringLiteral("='Изменённая'")), 1);
    EXPECT_EQ(RowsOf(table, column + QStringLiteral("='Первая'")), 0);

    GoTo(grid, 0, 0);
    Answer = false;
    navigator->Click(TDBNavigator::nbDelete);
    EXPECT_EQ(RowsOf(table), 2);
    Answer = true;
    QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(Questions, (QStringList{QStringLiteral("Удалить запись?"), QStringLiteral("Удалить запись?")}));
    EXPECT_EQ(RowsOf(table), 1);
    EXPECT_EQ(RowsOf(table, column + QStringLiteral("='Вторая'")), 1);
    ClickOk();
    EXPECT_TRUE(Env.Errors.isEmpty()) << Env.Errors.join(QLatin1Char('|')).toStdString();
}

INSTANTIATE_TEST_SUITE_P(Filters, OptionsFilterTest,
                         ::testing::Values(TFilterCase{"Workspaces", &TfmOpt::grdWorkSpaces, &TfmOpt::navWorkSpaces,
                                                       "tWorkSpaces", "workspace"},
                                           TFilterCase{"Strategies", &TfmOpt::grdStrategy, &TfmOpt::navStrategy,
                                                       "tStrategy", "strategy"}),
                         [](const ::testing::TestParamInfo<TFilterCase>& info) { return std::string(info.param.Name); });

TEST_F(OptionsDialogTest, TheMailButtonsWorkWithTheFieldsAsTyped)
{
    TSmtpTestServer server;
    const QString error = server.Start({});
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    Open();
    Dialog->PageControl1->setCurrentIndex(2);
    Type(Dialog->edtSMTP, QStringLiteral("127.0.0.1"));
    Type(Dialog->edtPort, server.PortText());
    Type(Dialog->edtUser, QStringLiteral("trader"));
    Type(Dialog->edtPassword, QStringLiteral("secret"));
    if (!Dialog->chAuten->isChecked())
        QTest::mouseClick(Dialog->chAuten, Qt::LeftButton, Qt::NoModifier, QPoint(4, Dialog->chAuten->height() / 2));
    Type(Dialog->edtFromAddress, QStringLiteral("robot@zovrant.test"));
    Type(Dialog->edtEmail1, QStringLiteral("trader@zovrant.test"));
    Type(Dialog->edtEmail2, QStringLiteral("sms@zovrant.test"));
    Type(Dialog->edtMsg, QStringLiteral("Проверка почты."));

    QTest::mouseClick(Dialog->Button2, Qt::LeftButton);
    EXPECT_TRUE(WaitUntil([&] { return Core->Mailer().Connected(); }));
    EXPECT_TRUE(WaitUntil([&] { return server.EventsStartingWith(QStringLiteral("AUTH")).size() == 1; }));
    QTest::mouseClick(Dialog->Button3, Qt::LeftButton);
    EXPECT_FALSE(Core->Mailer().Connected());

    QTest::mouseClick(Dialog->Button4, Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return server.Messages().size() == 1; }));
    const TReceivedMail mail = server.Messages().first();
    EXPECT_TRUE(mail.Field("body").contains(QStringLiteral("Проверка почты."))) << mail.Field("body").toStdString();
    EXPECT_TRUE(mail.Recipients().contains(QStringLiteral("trader@zovrant.test")));
    EXPECT_EQ(ReadWholeFile(IniPath()), kFirstFile) << "the test saves nothing";
    Dialog->reject();
}

} // namespace
