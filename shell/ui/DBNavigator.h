#pragma once

#include <QWidget>
#include <array>

class QToolButton;
class TDataGrid;
struct TEnvironment;

// The navigator bar under a grid: first, previous, next, last, insert, delete, edit,
// store, cancel and re-read, each acting on the grid's table. A button is enabled only
// where it can act (no going back from the first row, storing only a row being edited,
// no second insert before the new row is stored or cancelled, nothing but insert on an
// empty table); deleting asks first, as the grid does. A failure of a button's action is
// reported and leaves the table as it was.
class TDBNavigator : public QWidget {
    Q_OBJECT
public:
    enum TButton { nbFirst, nbPrior, nbNext, nbLast, nbInsert, nbDelete, nbEdit, nbPost, nbCancel, nbRefresh };
    static constexpr int kButtonCount = nbRefresh + 1;

    TDBNavigator(TDataGrid& grid, TEnvironment& environment, QWidget* parent = nullptr);

    QToolButton* Button(TButton which) const { return FButtons[which]; }
    void Click(TButton which);
    // Enables the buttons as the table stands now.
    void UpdateButtons();

private:
    void Act(TButton which);

    TDataGrid& FGrid;
    TEnvironment& FEnvironment;
    std::array<QToolButton*, kButtonCount> FButtons{};
};
