#include "shell/ui/GridModel.h"

#include "data/DataSet.h"

#include <QDateTime>
#include <cmath>

namespace {

// Digits after the point of a display format.
int FormatDecimals(const QString& format)
{
    const qsizetype point = format.indexOf(QLatin1Char('.'));
    if (point < 0)
        return 0;
    int decimals = 0;
    for (qsizetype i = point + 1; i < format.size(); ++i) {
        if (format[i] == QLatin1Char('0') || format[i] == QLatin1Char('#'))
            ++decimals;
    }
    return decimals;
}

QString Grouped(const QString& digits, QChar separator)
{
    QString result;
    const qsizetype count = digits.size();
    for (qsizetype i = 0; i < count; ++i) {
        if (i > 0 && (count - i) % 3 == 0)
            result += separator;
        result += digits[i];
    }
    return result;
}

bool IsNumber(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Int: case QMetaType::UInt: case QMetaType::LongLong:
    case QMetaType::ULongLong: case QMetaType::Double: case QMetaType::Float:
    case QMetaType::Long: case QMetaType::ULong: case QMetaType::Short: case QMetaType::UShort:
        return true;
    default:
        return false;
    }
}

} // namespace

QString FormatDisplay(const QVariant& value, const QString& format, const TRegional& regional)
{
    if (value.isNull() || !value.isValid())
        return QString();
    if (format == kDateTimeFormat || value.typeId() == QMetaType::QDateTime) {
        // A database may hand a date-time over as its ISO text.
        QDateTime moment = value.toDateTime();
        if (!moment.isValid())
            moment = QDateTime::fromString(value.toString().trimmed().replace(QLatin1Char(' '), QLatin1Char('T')),
                                           Qt::ISODateWithMs);
        if (!moment.isValid())
            return value.toString();
        return regional.Locale.toString(moment, regional.ShortDateFormat + QLatin1Char(' ') + regional.LongTimeFormat);
    }
    if (format.isEmpty() || !IsNumber(value))
        return value.toString();
    const double number = value.toDouble();
    if (!std::isfinite(number))
        return value.toString();
    const int decimals = FormatDecimals(format);
    QString text = QString::number(std::fabs(number), 'f', decimals);
    const qsizetype point = text.indexOf(QLatin1Char('.'));
    QString whole = point < 0 ? text : text.left(point);
    const QString fraction = point < 0 ? QString() : text.mid(point + 1);
    const qsizetype formatPoint = format.indexOf(QLatin1Char('.'));
    const bool groups = format.left(formatPoint < 0 ? format.size() : formatPoint).contains(QLatin1Char(' '));
    if (groups)
        whole = Grouped(whole, regional.ThousandSeparator);
    // A value that rounds to zero is written without its sign, as zero.
    bool nonZero = false;
    for (QChar c : text)
        nonZero = nonZero || (c >= QLatin1Char('1') && c <= QLatin1Char('9'));
    const bool negative = number < 0 && nonZero;
    QString result = negative ? QStringLiteral("-") + whole : whole;
    if (decimals > 0)
        result += regional.DecimalSeparator + fraction;
    return result;
}

QString FormatNumber(double value, int decimals, const TRegional& regional)
{
    if (std::isfinite(value) && std::fabs(value) >= 1e10) {
        QString text = QString::number(value, 'E', 9);
        text.replace(QLatin1Char('.'), regional.DecimalSeparator);
        return text;
    }
    QString format = QStringLiteral("### ### ### ##0");
    if (decimals > 0)
        format += QLatin1Char('.') + QString(decimals, QLatin1Char('0'));
    return FormatDisplay(value, format, regional);
}

TGridModel::TGridModel(TDataSet& dataSet, QList<TGridColumn> columns, const TRegional& regional,
                       QObject* parent)
    : QAbstractTableModel(parent), FDataSet(dataSet), FColumns(std::move(columns)), FRegional(regional)
{
    MapFields();
    ListenToSource();
}

void TGridModel::MapFields()
{
    FFieldIndex.clear();
    for (const TGridColumn& column : FColumns)
        FFieldIndex << FDataSet.FieldIndex(column.Field);
}

void TGridModel::ListenToSource()
{
    QAbstractItemModel* source = &FDataSet.Model();
    connect(source, &QAbstractItemModel::modelAboutToBeReset, this, [this] { beginResetModel(); });
    connect(source, &QAbstractItemModel::modelReset, this, [this] {
        MapFields();
        endResetModel();
    });
    connect(source, &QAbstractItemModel::rowsAboutToBeInserted, this,
            [this](const QModelIndex&, int first, int last) { beginInsertRows({}, first, last); });
    connect(source, &QAbstractItemModel::rowsInserted, this, [this] { endInsertRows(); });
    connect(source, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex&, int first, int last) { beginRemoveRows({}, first, last); });
    connect(source, &QAbstractItemModel::rowsRemoved, this, [this] { endRemoveRows(); });
    connect(source, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& topLeft, const QModelIndex& bottomRight) {
                if (FColumns.isEmpty() || !topLeft.isValid() || !bottomRight.isValid())
                    return;
                emit dataChanged(index(topLeft.row(), 0), index(bottomRight.row(), columnCount() - 1));
            });
}

int TGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : FDataSet.Model().rowCount();
}

int TGridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(FColumns.size());
}

QModelIndex TGridModel::SourceIndex(const QModelIndex& index) const
{
    if (!index.isValid() || index.column() >= FFieldIndex.size() || FFieldIndex[index.column()] < 0)
        return QModelIndex();
    return FDataSet.Model().index(index.row(), FFieldIndex[index.column()]);
}

QVariant TGridModel::data(const QModelIndex& index, int role) const
{
    const QModelIndex source = SourceIndex(index);
    if (!source.isValid())
        return QVariant();
    if (role == Qt::DisplayRole)
        return FormatDisplay(source.data(Qt::DisplayRole), FColumns[index.column()].Format, FRegional);
    if (role == Qt::EditRole)
        return source.data(Qt::EditRole);
    return QVariant();
}

QVariant TGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < FColumns.size())
        return FColumns[section].Title;
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags TGridModel::flags(const QModelIndex& index) const
{
    const QModelIndex source = SourceIndex(index);
    Qt::ItemFlags result = source.isValid() ? FDataSet.Model().flags(source) : QAbstractTableModel::flags(index);
    if (!FEditable)
        result &= ~Qt::ItemIsEditable;
    return result;
}

bool TGridModel::IsCheckColumn(int column) const
{
    return column >= 0 && column < FColumns.size() && FColumns[column].Format == kCheckFormat;
}

bool TGridModel::TakesValue(const QModelIndex& index, const QVariant& value) const
{
    return !IsCheckColumn(index.column()) || value.typeId() == QMetaType::Bool;
}

bool TGridModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    const QModelIndex source = SourceIndex(index);
    return FEditable && source.isValid() && TakesValue(index, value) && FDataSet.Model().setData(source, value, role);
}
