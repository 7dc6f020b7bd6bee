#include "data/Table.h"
#include "shell/MainCore.h"
#include "shell/ui/Clients.h"
#include "shell/ui/DBNavigator.h"
#include "shell/ui/DataGrid.h"
#include "shell/ui/MainWindow.h"
#include "tests/support/OperatorKeys.h"
#include "tests/support/TestDatabases.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/TestEnvironment.h"

#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

using TNav = TDBNavigator;

// The real main window over the program's core, connected to a bridge database holding
// two clients; the clients dialog is opened through the main window's command.
class ClientsDialogTest : public ::testing::Test {
protected:
    TTestEnvironment Env;
    TTestDatabases Bases;
    QTemporaryDir ProgramDir;
    TOperationLog Log{Env.Environment};
    std::unique_ptr<TMainCore> Core;
    std::unique_ptr<TfmMain> Window;
    TfmClients* Dialog = nullptr;
    QStringList Questions;
    bool Answer = true;

    void SetUp() override
    {
        QDir(Bases.Folder()).mkdir(QStringLiteral("quik"));
        Log.OpenFile(Bases.FilePath(QStringLiteral("Zovrant.log")));
        Env.Environment.Confirm = [this](const QString& text) {
            Questions << text;
            return Answer;
        };
        WriteWholeFile(QDir(ProgramDir.path()).filePath(QStringLiteral("Zovrant.ini")),
                       "[Quik]\r\nQuikConnectTimeOut=0\r\n");
        AddClient(QStringLiteral("C1"), QStringLiteral("Иванов И.И."), QStringLiteral("L01-00000F01"), true);
        AddClient(QStringLiteral("C2"), QStringLiteral("Петров П.П."), QStringLiteral("L01-00000F02"), false);
        Core = std::make_unique<TMainCore>(Env.Environment, Log, ProgramDir.path() + QLatin1Char('/'));
        PointAtTestFiles(Core->Settings(), Bases);
        Window = std::make_unique<TfmMain>(*Core);
        Window->show();
        Core->RunGuarded([this] { Core->Watch().actConnectToBaseExecute(); });
        ASSERT_TRUE(Env.Errors.isEmpty()) << Env.Errors.join(QLatin1Char('\n')).toStdString();
        Dialog = Window->fmClients;
        ASSERT_NE(Dialog, nullptr);
    }
    void TearDown() override
    {
        Window.reset();
        Core.reset();
    }

    void AddClient(const QString& code, const QString& owner, const QString& micex, bool active)
    {
        Bases.Insert(Bases.BridgePath(), QStringLiteral("tclients"),
                     {{QStringLiteral("Code"), code}, {QStringLiteral("client"), owner},
                      {QStringLiteral("AccountMicex"), micex}, {QStringLiteral("AccountFORTS"), QStringLiteral("SPB")},
                      {QStringLiteral("note"), QString()}, {QStringLiteral("Active"), active}});
    }
    TTable& Clients() { return Core->DatMod().tClients(); }
    // The clients as the bridge database holds them: code, owner and active mark.
    QStringList StoredClients()
    {
        QStringList rows;
        const int count = Bases.Scalar(Bases.BridgePath(), QStringLiteral("SELECT COUNT(*) FROM tclients")).toInt();
        for (int i = 0; i < count; ++i) {
            const auto column = [&](const char* name) {
                return Bases.Scalar(Bases.BridgePath(),
                                    QStringLiteral("SELECT %1 FROM tclients ORDER BY id LIMIT 1 OFFSET ?")
                                        .arg(QLatin1String(name)),
                                    {i});
            };
            rows << QStringLiteral("%1|%2|%3")
                        .arg(column("Code").toString(), column("client").toString(),
                             column("Active").toBool() ? QStringLiteral("1") : QStringLiteral("0"));
        }
        return rows;
    }
    QString Cell(int row, int column) const
    {
        return Dialog->DBGrid1->model()->index(row, column).data().toString();
    }
    // Types the text into a cell of the grid as the operator does: the editor opened on
    // the cell, the text typed, Enter.
    void TypeIntoCell(int row, int column, const QString& text)
    {
        TDataGrid* grid = Dialog->DBGrid1;
        const QModelIndex index = grid->model()->index(row, column);
        grid->setCurrentIndex(index);
        grid->edit(index);
        auto* editor = qobject_cast<QLineEdit*>(grid->focusWidget());
        ASSERT_NE(editor, nullptr) << "no editor on row " << row << " column " << column;
        editor->selectAll();
        // Key by key, each press carrying its character (Qt's test keys know ASCII only).
        for (const QChar character : text) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(character));
            QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(character));
            QApplication::sendEvent(editor, &press);
            QApplication::sendEvent(editor, &release);
        }
        EXPECT_EQ(editor->text(), text);
        QTest::keyClick(editor, Qt::Key_Return);
        // The view stores what the editor holds once the event loop next runs.
        EXPECT_TRUE(WaitUntil([&] { return !editor->isVisible() && Cell(row, column) == text; }))
            << "row " << row << " column " << column << " shows " << Cell(row, column).toStdString();
    }
    void Click(TNav::TButton button) { QTest::mouseClick(Dialog->DBNavigator1->Button(button), Qt::LeftButton); }
    // The clients command as the operator gives it; the work runs once the dialog is up,
    // and the dialog is closed with the button given.
    void RunCommand(const std::function<void()>& work, QPushButton* TfmClients::*close)
    {
        bool shown = false;
        QTimer::singleShot(0, Dialog, [&] {
            shown = Dialog->isVisible() && Dialog->isModal();
            work();
            QTest::mouseClick(Dialog->*close, Qt::LeftButton);
            if (Dialog->isVisible())
                Dialog->done(QDialog::Rejected); // never leave the test waiting on the dialog
        });
        Window->actClients->trigger();
        EXPECT_TRUE(shown);
        EXPECT_FALSE(Dialog->isVisible());
    }
    void TypeKeys(const QString& text) { ::TypeKeys(Dialog->windowHandle(), text); }
    void PressKey(Qt::Key key) { ::PressKey(Dialog->windowHandle(), key); }
    // Every client as the bridge database holds it, in id order: code, active mark (as
    // stored), owner, MICEX account, notes.
    QStringList StoredRows()
    {
        QStringList rows;
        const int count = Bases.Scalar(Bases.BridgePath(), QStringLiteral("SELECT COUNT(*) FROM tclients")).toInt();
        for (int i = 0; i < count; ++i) {
            rows << Bases.Scalar(Bases.BridgePath(),
                                 QStringLiteral("SELECT Code || '|' || IFNULL(Active, 'null') || '|' || IFNULL(client, '') "
                                                "|| '|' || IFNULL(AccountMicex, '') || '|' || IFNULL(note, '') "
                                                "FROM tclients ORDER BY id LIMIT 1 OFFSET ?"),
                                 {i})
                        .toString();
        }
        return rows;
    }
    // Whether each navigator button is enabled, in button order, as "1" / "0".
    QString Enabled() const
    {
        QString states;
        for (int i = 0; i < TNav::kButtonCount; ++i)
            states += Dialog->DBNavigator1->Button(TNav::TButton(i))->isEnabled() ? QLatin1Char('1') : QLatin1Char('0');
        return states;
    }
};

TEST_F(ClientsDialogTest, ShowsTheClientsTableInItsColumns)
{
    EXPECT_EQ(Dialog->windowTitle(), QStringLiteral("Клиенты"));
    EXPECT_EQ(Dialog->size(), QSize(775, 496));
    EXPECT_EQ(Dialog->GroupBox1->title(), QStringLiteral(" Список клиентов "));
    EXPECT_EQ(Dialog->BitBtn1->text(), QStringLiteral("OK"));
    EXPECT_TRUE(Dialog->BitBtn1->isDefault());
    EXPECT_EQ(Dialog->BitBtn2->text(), QStringLiteral("Отмена"));
    QStringList titles;
    for (int i = 0; i < Dialog->DBGrid1->model()->columnCount(); ++i)
        titles << Dialog->DBGrid1->model()->headerData(i, Qt::Horizontal).toString();
    EXPECT_EQ(titles, (QStringList{QStringLiteral("Код клиента"), QStringLiteral("Активен"),
                                   QStringLiteral("Владелец счета"), QStringLiteral("Счет на ММВБ"),
                                   QStringLiteral("Счет на ФОРТС"), QStringLiteral("Комментарии"),
                                   QStringLiteral("Множитель"), QStringLiteral("Макс. убыток")}));
    ASSERT_EQ(Dialog->DBGrid1->model()->rowCount(), 2);
    EXPECT_EQ(Cell(0, 0), QStringLiteral("C1"));
    EXPECT_EQ(Cell(1, 2), QStringLiteral("Петров П.П."));
    EXPECT_EQ(Cell(1, 3), QStringLiteral("L01-00000F02"));
}

// The limits' columns show where the clients table has them, and only there.
TEST_F(ClientsDialogTest, LimitColumnsShowOnlyWhereTheTableHasThem)
{
    TDataGrid* grid = Dialog->DBGrid1;
    Bases.Exec(Bases.BridgePath(), QStringLiteral("UPDATE tclients SET Multiplier = 1.5 WHERE Code = 'C1'"));
    RefreshTable(Core->DatMod().tClients());
    EXPECT_FALSE(grid->isColumnHidden(6));
    EXPECT_FALSE(grid->isColumnHidden(7));
    EXPECT_EQ(Cell(0, 6), QStringLiteral("1.50"));

    Core->DatMod().tClients().Close();
    Bases.Exec(Bases.BridgePath(), QStringLiteral("ALTER TABLE tclients DROP COLUMN Multiplier"));
    Core->DatMod().tClients().Open();
    EXPECT_TRUE(grid->isColumnHidden(6));
    EXPECT_FALSE(grid->isColumnHidden(7));
    EXPECT_FALSE(grid->isColumnHidden(0));
    EXPECT_EQ(Cell(0, 0), QStringLiteral("C1"));
}

TEST_F(ClientsDialogTest, ClientAddedEditedAndDeletedThroughTheGridWithAQuestionFirst)
{
    RunCommand([this] {
        // A new client: the navigator's insert, then the cells typed.
        Click(TNav::nbInsert);
        ASSERT_EQ(Dialog->DBGrid1->model()->rowCount(), 3);
        TypeIntoCell(2, 0, QStringLiteral("C3"));
        TypeIntoCell(2, 2, QStringLiteral("Сидоров С.С."));
        Dialog->DBGrid1->model()->setData(Dialog->DBGrid1->model()->index(2, 1), true);
        // An existing client changed in place.
        TypeIntoCell(0, 2, QStringLiteral("Иванова А.И."));
        // The second client deleted: refused once, then confirmed.
        Dialog->DBGrid1->setCurrentIndex(Dialog->DBGrid1->model()->index(1, 0));
        Answer = false;
        Click(TNav::nbDelete);
        EXPECT_EQ(Dialog->DBGrid1->model()->rowCount(), 3);
        Answer = true;
        Click(TNav::nbDelete);
        EXPECT_EQ(Dialog->DBGrid1->model()->rowCount(), 2);
    }, &TfmClients::BitBtn1);
    EXPECT_EQ(Questions, (QStringList{QStringLiteral("Удалить запись?"), QStringLiteral("Удалить запись?")}));
    EXPECT_EQ(StoredClients(), (QStringList{QStringLiteral("C1|Иванова А.И.|1"), QStringLiteral("C3|Сидоров С.С.|1")}));
    EXPECT_TRUE(Env.Errors.isEmpty()) << Env.Errors.join(QLatin1Char('\n')).toStdString();

    // Ctrl+Delete in the grid asks the same question.
    Questions.clear();
    RunCommand([this] {
        Dialog->DBGrid1->setFocus();
        Dialog->DBGrid1->setCurrentIndex(Dialog->DBGrid1->model()->index(1, 0));
        QTest::keyClick(Dialog->DBGrid1, Qt::Key_Delete, Qt::ControlModifier);
    }, &TfmClients::BitBtn2);
    EXPECT_EQ(Questions, QStringList{QStringLiteral("Удалить запись?")});
    EXPECT_EQ(StoredClients(), QStringList{QStringLiteral("C1|Иванова А.И.|1")});
}

TEST_F(ClientsDialogTest, OkStoresAnEditOfAnExistingRowAndCancelDropsIt)
{
    struct Case { QPushButton* TfmClients::*close; QString stored; QString shown; };
    const Case cases[] = {
        {&TfmClients::BitBtn2, QStringLiteral("C1|Иванов И.И.|1"), QStringLiteral("Иванов И.И.")},
        {&TfmClients::BitBtn1, QStringLiteral("C1|Смирнов|1"), QStringLiteral("Смирнов")},
    };
    for (const Case& c : cases) {
        RunCommand([this] {
            Dialog->DBGrid1->setCurrentIndex(Dialog->DBGrid1->model()->index(0, 0));
            Click(TNav::nbEdit);
            // A value set while the row is in editing: stored only by the cycle.
            Clients().FieldByName(QStringLiteral("client")).SetValue(QStringLiteral("Смирнов"));
            EXPECT_EQ(Clients().State(), TDataSet::TState::Edit);
            EXPECT_EQ(Enabled(), QStringLiteral("0011110110"));
        }, c.close);
        EXPECT_EQ(Clients().State(), TDataSet::TState::Browse);
        EXPECT_EQ(StoredClients().value(0), c.stored);
        EXPECT_EQ(Cell(0, 2), c.shown);
    }
}

TEST_F(ClientsDialogTest, NewRowWithoutAnyValueIsDroppedWhateverTheResult)
{
    for (QPushButton* TfmClients::*close : {&TfmClients::BitBtn1, &TfmClients::BitBtn2}) {
        RunCommand([this] {
            Click(TNav::nbInsert);
            EXPECT_EQ(Clients().State(), TDataSet::TState::Insert);
            // On the new last row: no second insert, no edit, no re-read.
            EXPECT_EQ(Enabled(), QStringLiteral("1100010110"));
        }, close);
        EXPECT_EQ(Clients().State(), TDataSet::TState::Browse);
        EXPECT_EQ(Dialog->DBGrid1->model()->rowCount(), 2);
        EXPECT_EQ(StoredClients().size(), 2);
    }
    // One with a value is stored with OK.
    RunCommand([this] {
        Click(TNav::nbInsert);
        Clients().FieldByName(QStringLiteral("Code")).SetValue(QStringLiteral("C9"));
    }, &TfmClients::BitBtn1);
    EXPECT_EQ(StoredClients().value(2), QStringLiteral("C9||0"));
}

TEST_F(ClientsDialogTest, NewClientTypedWithKeysGoesIntoItsOwnRowAndActiveTakesOnlyACheck)
{
    // As the operator does it: "+", the code typed, Tab, keys on "Активен" (a "1", which a
    // search by the first letter would take for client C1's mark, then the space bar),
    // Tab, the owner, Tab, the account, on to the notes, OK.
    RunCommand([this] {
        Dialog->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Dialog));
        Click(TNav::nbInsert);
        TypeKeys(QStringLiteral("C3"));
        PressKey(Qt::Key_Tab);
        TypeKeys(QStringLiteral("1"));
        PressKey(Qt::Key_Space);
        PressKey(Qt::Key_Tab);
        TypeKeys(QStringLiteral("Сидоров С.С."));
        PressKey(Qt::Key_Tab);
        TypeKeys(QStringLiteral("L01-00000F03"));
        PressKey(Qt::Key_Tab);
        PressKey(Qt::Key_Tab);
        TypeKeys(QStringLiteral("VIP"));
        PressKey(Qt::Key_Tab);
        TypeKeys(QStringLiteral("2")); // the multiplier
        // On to the last cell (the loss limit) and Tab once more: the cursor stays on that
        // cell, whose editor opens again with its text selected.
        PressKey(Qt::Key_Tab);
        TypeKeys(QStringLiteral("1000"));
        PressKey(Qt::Key_Tab);
        TypeKeys(QStringLiteral("5"));
    }, &TfmClients::BitBtn1);
    EXPECT_TRUE(Env.Errors.isEmpty()) << Env.Errors.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(StoredRows(), (QStringList{QStringLiteral("C1|1|Иванов И.И.|L01-00000F01|"),
                                         QStringLiteral("C2|0|Петров П.П.|L01-00000F02|"),
                                         QStringLiteral("C3|1|Сидоров С.С.|L01-00000F03|VIP")}));
    EXPECT_EQ(Bases.Scalar(Bases.BridgePath(), QStringLiteral("SELECT Multiplier || '|' || MaxLoss FROM tclients "
                                                              "WHERE Code = 'C3'")),
              QVariant(QStringLiteral("2.0|5.0")));
    ASSERT_EQ(Dialog->DBGrid1->model()->rowCount(), 3);
    EXPECT_EQ(Cell(2, 0), QStringLiteral("C3"));

    // A text given to "Активен" by any way but a check is refused; the mark stays as stored.
    QAbstractItemModel* model = Dialog->DBGrid1->model();
    for (const QVariant& text : {QVariant(QStringLiteral("да")), QVariant(QStringLiteral("1")), QVariant(QStringLiteral("False"))})
        EXPECT_FALSE(model->setData(model->index(1, 1), text)) << text.toString().toStdString();
    EXPECT_TRUE(model->setData(model->index(1, 1), true));
    EXPECT_EQ(StoredRows().value(1), QStringLiteral("C2|1|Петров П.П.|L01-00000F02|"));
}

TEST_F(ClientsDialogTest, NavigatorMovesAndEnablesOnlyWhatCanAct)
{
    // Buttons: first, prior, next, last, insert, delete, edit, post, cancel, refresh.
    Dialog->show();
    Clients().First();
    EXPECT_EQ(Enabled(), QStringLiteral("0011111001"));
    Click(TNav::nbNext);
    EXPECT_EQ(Clients().RecNo(), 1);
    EXPECT_EQ(Enabled(), QStringLiteral("1100111001"));
    Click(TNav::nbPrior);
    EXPECT_EQ(Clients().RecNo(), 0);
    Click(TNav::nbLast);
    EXPECT_EQ(Clients().RecNo(), 1);
    EXPECT_EQ(Dialog->DBGrid1->currentIndex().row(), 1);
    Click(TNav::nbFirst);
    EXPECT_EQ(Clients().RecNo(), 0);

    // Post and cancel only for a row being edited; cancel puts the stored values back.
    Click(TNav::nbEdit);
    Clients().FieldByName(QStringLiteral("client")).SetValue(QStringLiteral("Другой"));
    EXPECT_EQ(Enabled(), QStringLiteral("0011110110"));
    Click(TNav::nbCancel);
    EXPECT_EQ(Cell(0, 2), QStringLiteral("Иванов И.И."));
    Click(TNav::nbEdit);
    Clients().FieldByName(QStringLiteral("client")).SetValue(QStringLiteral("Другой"));
    Click(TNav::nbPost);
    EXPECT_EQ(StoredClients().value(0), QStringLiteral("C1|Другой|1"));

    // A row added by another program shows after a re-read.
    AddClient(QStringLiteral("C5"), QStringLiteral("Новый"), QStringLiteral("L01-5"), true);
    Click(TNav::nbRefresh);
    EXPECT_EQ(Dialog->DBGrid1->model()->rowCount(), 3);

    // An empty table: only insert and refresh.
    for (int i = 0; i < 3; ++i)
        Click(TNav::nbDelete);
    EXPECT_EQ(Clients().RecordCount(), 0);
    EXPECT_EQ(Enabled(), QStringLiteral("0000100001"));
    Dialog->hide();
}

} // namespace
