#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QTableView;
struct TEnvironment;

// Finds a text in the cells of a grid as the grid shows them (the text anywhere in the
// cell, letter case ignored), starting at the cell after the current one and going on row
// by row; the cell found becomes the current cell. False when no cell holds the text.
bool FindInGrid(QTableView& grid, const QString& text);

// The grid's find window: Ctrl+F in the grid opens it; "Найти далее" finds the next cell
// with the text. The window does not block the grid.
class TGridFind : public QDialog {
    Q_OBJECT
public:
    TGridFind(QTableView& grid, TEnvironment& environment);

    QLineEdit* edtFind = nullptr;
    // Finds the next cell with the text of the field; says so when there is none.
    void FindNext();

protected:
    // Ctrl+F in the grid opens the window.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTableView& FGrid;
    TEnvironment& FEnvironment;
};
