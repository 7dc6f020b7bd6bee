#pragma once

#include "shell/ui/GridKeys.h"

struct TEnvironment;

// A grid column of numbers: the operator types them with the regional decimal separator,
// a cell left empty holds no value, and the cell takes a number, never the typed text. A
// text that is not a number (or not a whole number, for a whole-number column) is refused
// with a message and the cell keeps its value.
class TNumberColumnDelegate : public TGridCellDelegate {
    Q_OBJECT
public:
    TNumberColumnDelegate(QTableView& grid, TEnvironment& environment, bool whole);

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;

protected:
    bool EditorValue(QWidget* editor, QVariant* value) const override;

private:
    TEnvironment& FEnvironment;
    const bool FWhole;
};
