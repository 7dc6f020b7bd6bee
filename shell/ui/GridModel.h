#pragma once

#include "base/Environment.h"

#include <QAbstractTableModel>
#include <QList>
#include <QString>

class TDataSet;

// One column of a grid: the data set's field it shows, its title, and the display format
// of its values ("### ### ##0.000", "#0.00", ...; empty for the default display).
struct TGridColumn {
    QString Field;
    QString Title;
    QString Format = {};
    // A column of an optional field (the limits' columns): shown only where the data set
    // has the field.
    bool Optional = false;
};

// The display format of a date-time column: the regional short date and long time.
inline const QString kDateTimeFormat = QStringLiteral("c");
// The display of a yes/no column: a check box, which the operator checks or clears and
// into which nothing can be typed.
inline const QString kCheckFormat = QStringLiteral("check");

// A value as a display format writes it: as many decimals as the format has after its
// point, the integer part grouped in threes with the regional thousands separator when
// the format groups its digits, the regional decimal separator. A date-time reads in the
// regional short date and long time formats. Other values, and numbers under an empty
// format, give the value's own text; a null value gives an empty text.
QString FormatDisplay(const QVariant& value, const QString& format, const TRegional& regional);

// The number format of the grids' footers: the integer part grouped in thousands with the
// regional separator, the given decimals after the regional decimal separator; a value
// with more than 10 integer digits in scientific notation.
QString FormatNumber(double value, int decimals, const TRegional& regional);

// A grid's view of a data set: the given columns, in the given order, with their titles
// and display formats, whatever columns the data set reads and in whatever order. The
// number of columns never changes, so a grid keeps its column widths when the data set is
// re-read, closed or opened. Rows, edits and the data set's notices pass straight through.
class TGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    TGridModel(TDataSet& dataSet, QList<TGridColumn> columns, const TRegional& regional,
               QObject* parent = nullptr);

    TDataSet& DataSet() const { return FDataSet; }
    const QList<TGridColumn>& Columns() const { return FColumns; }
    // Cells are changed through the grid only when allowed; by default the grid only shows.
    void SetEditable(bool editable) { FEditable = editable; }
    bool IsCheckColumn(int column) const;
    // Whether the data set has the field of the column (a closed data set has none).
    bool HasField(int column) const { return column >= 0 && column < FFieldIndex.size() && FFieldIndex[column] >= 0; }
    // Whether the cell can take the value: a check column takes only yes or no (a boolean),
    // never a text, whatever the text says; other columns take any value.
    bool TakesValue(const QModelIndex& index, const QVariant& value) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

private:
    void ListenToSource();
    void MapFields();
    QModelIndex SourceIndex(const QModelIndex& index) const;

    TDataSet& FDataSet;
    const QList<TGridColumn> FColumns;
    const TRegional& FRegional;
    bool FEditable = false;
    QList<int> FFieldIndex; // the data set's column of each grid column, -1 when missing
};
