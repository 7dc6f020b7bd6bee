#pragma once

#include <QWidget>

class QToolButton;
class TDataGrid;
struct TEnvironment;

// The bar of buttons under a grid that moves through its table and edits it: first,
// previous, next, last, insert, delete (after the grid's question), edit, post, cancel,
// refresh. It works on the grid's table, so the grid follows every move. On a closed
// table the buttons do nothing.
class TDBNavigator : public QWidget {
    Q_OBJECT
public:
    enum TButton { nbFirst, nbPrior, nbNext, nbLast, nbInsert, nbDelete, nbEdit, nbPost, nbCancel, nbRefresh };

    TDBNavigator(TDataGrid& grid, TEnvironment& environment, QWidget* parent = nullptr);

    QToolButton* Button(TButton button) const;
    void Click(TButton button);

private:
    TDataGrid& FGrid;
    TEnvironment& FEnvironment;
    QList<QToolButton*> FButtons;
};
