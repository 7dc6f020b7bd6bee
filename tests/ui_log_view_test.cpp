#include "base/LogLines.h"
#include "base/OperationLog.h"
#include "shell/ui/LogView.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/TestEnvironment.h"

#include <QApplication>
#include <QLineEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyledItemDelegate>
#include <QTest>
#include <algorithm>
#include <gtest/gtest.h>
#include <memory>

namespace {

// Paints as the view's own delegate does and notes the rows it was asked to paint.
class TPaintRecorder : public QStyledItemDelegate {
public:
    mutable QList<int> Rows;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        Rows << index.row();
        QStyledItemDelegate::paint(painter, option, index);
    }
};

// The log tab's view over an operation log, shown offscreen; the lines are numbered
// "line 0", "line 1", ... after the date and time.
class LogViewTest : public ::testing::Test {
protected:
    TTestEnvironment Env;
    TOperationLog Log{Env.Environment, TLogLines::TBound{4096, 2}};
    TPaintRecorder Painted; // outlives the view that paints with it
    std::unique_ptr<TLogView> View;
    int Logged = 0;

    void AddLines(int count)
    {
        for (int i = 0; i < count; ++i, ++Logged)
            Log.AddToLog(QStringLiteral("line %1").arg(Logged));
    }
    // One turn of the event loop, and the painting it asked for.
    static void Turn()
    {
        QApplication::processEvents();
        QApplication::sendPostedEvents();
    }
    void Show(int lines)
    {
        AddLines(lines);
        View = std::make_unique<TLogView>(Log.Lines());
        View->setItemDelegate(&Painted);
        View->resize(400, 200);
        View->show();
        Turn();
    }
    QScrollBar* Bar() const { return View->verticalScrollBar(); }
    QModelIndex Row(int row) const { return View->model()->index(row, 0); }
    int TopRow() const { return View->indexAt(QPoint(2, 1)).row(); }
    // The row shown whole in the view, text and all.
    bool Shows(int row) const
    {
        return View->viewport()->rect().contains(View->visualRect(Row(row)))
            && Row(row).data().toString() == Log.Line(row);
    }
    void Click(int row, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::mouseClick(View->viewport(), Qt::LeftButton, modifiers, View->visualRect(Row(row)).center());
    }
    // As the platform delivers a double click: a click, then the second press as a double click.
    void DoubleClick(int row)
    {
        Click(row);
        QTest::mouseDClick(View->viewport(), Qt::LeftButton, {}, View->visualRect(Row(row)).center());
    }
    QLineEdit* Editor(int row) const { return qobject_cast<QLineEdit*>(View->indexWidget(Row(row))); }
    QString Text(int number) const { return QStringLiteral("09.12.2008 9:05:03 line %1").arg(number); }
};

TEST_F(LogViewTest, LinesOfOneTurnComeAsOneBatchAndTheViewFollowsTheEnd)
{
    Show(500);
    View->scrollToBottom();
    Turn();
    ASSERT_TRUE(Shows(499));

    // A dispatch logs a line per account within one turn of the event loop.
    QSignalSpy inserted(&Log.Lines(), &QAbstractItemModel::rowsInserted);
    AddLines(30);
    EXPECT_EQ(Log.LineCount(), 530); // held at once: the log file sees them
    EXPECT_EQ(View->model()->rowCount(), 500);
    Painted.Rows.clear();
    Turn();

    ASSERT_EQ(inserted.count(), 1);
    EXPECT_EQ(inserted[0][1].toInt(), 500);
    EXPECT_EQ(inserted[0][2].toInt(), 529);
    EXPECT_EQ(View->model()->rowCount(), 530);
    EXPECT_EQ(Bar()->value(), Bar()->maximum());
    EXPECT_TRUE(Shows(529));
    EXPECT_EQ(Row(529).data().toString(), Text(529));
    // Painting visits the rows on screen, not the rows the log holds.
    ASSERT_FALSE(Painted.Rows.isEmpty());
    EXPECT_TRUE(Painted.Rows.contains(529));
    const int onScreen = View->viewport()->height() / View->visualRect(Row(0)).height() + 1;
    EXPECT_GE(*std::min_element(Painted.Rows.begin(), Painted.Rows.end()), 530 - onScreen);
}

TEST_F(LogViewTest, AViewTheOperatorScrolledUpStaysWhereItIs)
{
    Show(500);
    View->scrollToBottom();
    Turn();
    Bar()->triggerAction(QAbstractSlider::SliderPageStepSub);
    const int top = TopRow();
    const int value = Bar()->value();
    const int maximum = Bar()->maximum();
    ASSERT_LT(value, maximum);

    AddLines(40);
    Turn();
    EXPECT_EQ(TopRow(), top);
    EXPECT_EQ(Bar()->value(), value);
    EXPECT_EQ(Bar()->maximum(), maximum + 40); // the new lines are there to scroll to
    EXPECT_TRUE(Shows(top));

    // Back at the end, the view follows again, also when it is made smaller there.
    Bar()->triggerAction(QAbstractSlider::SliderToMaximum);
    AddLines(1);
    Turn();
    EXPECT_TRUE(Shows(540));
    View->resize(400, 120);
    Turn();
    EXPECT_TRUE(Shows(540));
}

TEST_F(LogViewTest, TheOperatorEditsInsertsAndDeletesLines)
{
    Show(6);

    // A double click edits the line under the mouse.
    DoubleClick(2);
    QLineEdit* editor = Editor(2);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), Text(2));
    editor->setText(QStringLiteral("edited"));
    QTest::keyClick(editor, Qt::Key_Return);
    Turn(); // the delegate stores the text from the event loop
    EXPECT_EQ(Log.Line(2), QStringLiteral("edited"));

    // F2 edits the current line.
    View->setCurrentIndex(Row(4));
    QTest::keyClick(View.get(), Qt::Key_F2);
    editor = Editor(4);
    ASSERT_NE(editor, nullptr);
    editor->setText(QStringLiteral("by key"));
    QTest::keyClick(editor, Qt::Key_Return);
    Turn(); // the delegate stores the text from the event loop
    EXPECT_EQ(Log.Line(4), QStringLiteral("by key"));

    // Insert adds an empty line after the current one and edits it.
    Click(0);
    QTest::keyClick(View.get(), Qt::Key_Insert);
    editor = Editor(1);
    ASSERT_NE(editor, nullptr);
    EXPECT_TRUE(editor->text().isEmpty());
    QTest::keyClicks(editor, QStringLiteral("typed"));
    QTest::keyClick(editor, Qt::Key_Return);
    Turn(); // the delegate stores the text from the event loop
    ASSERT_EQ(Log.LineCount(), 7);
    EXPECT_EQ(Log.Line(1), QStringLiteral("typed"));

    // Delete removes the selected lines, chosen with the mouse; a line logged meanwhile and
    // not yet shown stays, after the others.
    Click(1);                            // "typed"
    Click(3, Qt::ControlModifier);       // "edited"
    Click(4, Qt::ShiftModifier | Qt::ControlModifier); // through line 3
    AddLines(1);
    QTest::keyClick(View.get(), Qt::Key_Delete);
    EXPECT_EQ(LogLinesOf(Log), (QStringList{Text(0), Text(1), QStringLiteral("by key"), Text(5), Text(6)}));
    Turn();
    EXPECT_EQ(View->model()->rowCount(), 5);
}

TEST_F(LogViewTest, ALineHeldOnlyOnDiskIsShownAndItsEditIsKept)
{
    Show(2000);
    ASSERT_FALSE(Log.Lines().HeldInMemory(3));
    View->scrollTo(Row(3), QAbstractItemView::PositionAtTop);
    Painted.Rows.clear();
    Turn();
    EXPECT_TRUE(Painted.Rows.contains(3));
    EXPECT_TRUE(Shows(3));
    EXPECT_EQ(Row(3).data().toString(), Text(3));

    DoubleClick(3);
    QLineEdit* editor = Editor(3);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), Text(3));
    editor->setText(QStringLiteral("edited on disk"));
    QTest::keyClick(editor, Qt::Key_Return);
    Turn(); // the delegate stores the text from the event loop

    // Enough lines after it that the edited text goes to disk as well.
    AddLines(2000);
    Turn();
    EXPECT_FALSE(Log.Lines().HeldInMemory(3));
    EXPECT_EQ(Log.Line(3), QStringLiteral("edited on disk"));
    EXPECT_EQ(Row(3).data().toString(), QStringLiteral("edited on disk"));
    EXPECT_EQ(Log.Line(2), Text(2));
    EXPECT_EQ(Log.Line(4), Text(4));
    EXPECT_EQ(Log.Line(3999), Text(3999));
    // Whatever the log holds, two blocks of text stay in memory.
    EXPECT_EQ(Log.Lines().BlocksInMemory(), 2);
}

TEST_F(LogViewTest, DeletingTheWholeLogIsOneRemoval)
{
    Show(1000);
    QSignalSpy removed(&Log.Lines(), &QAbstractItemModel::rowsRemoved);
    View->selectAll();
    QTest::keyClick(View.get(), Qt::Key_Delete);
    EXPECT_EQ(removed.count(), 1);
    EXPECT_EQ(Log.LineCount(), 0);
    EXPECT_EQ(Bar()->maximum(), 0);
    AddLines(1);
    Turn();
    EXPECT_TRUE(Shows(0));
}

} // namespace
