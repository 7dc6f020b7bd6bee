#pragma once

#include <QModelIndex>
#include <QVariant>

class QAbstractItemView;

// Stores a value the operator gave a cell. A row being added takes the value and is
// stored as a whole when the operator leaves the row or posts it: a check that refuses
// an incomplete row (a security without its terminal code) then speaks once, not at each
// cell. Any other row is stored at once, as the grid's model does. False when the value
// was not taken.
bool SetGridCell(QAbstractItemView& view, const QModelIndex& index, const QVariant& value);
