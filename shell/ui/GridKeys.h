#pragma once

class QTableView;

// The Enter key in the grid moves to the next cell, as Tab does: on to the next column,
// from the last column to the first cell of the next row. A cell being edited is stored
// first. The grid's other keys stay as they are.
void EnterMovesToNextCell(QTableView& grid);

// Enter in the grid stays there: a cell being edited is stored and the cursor stays on it;
// the key does not go on to the window (where it would press the default button).
void KeepEnterInGrid(QTableView& grid);
