#include "data/DataSet.h"

#include "base/Error.h"
#include "data/Connection.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <cmath>
#include <limits>

namespace {

bool IsNumber(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Int: case QMetaType::UInt: case QMetaType::LongLong: case QMetaType::ULongLong:
    case QMetaType::Double: case QMetaType::Float: case QMetaType::Short: case QMetaType::UShort:
    case QMetaType::Char: case QMetaType::SChar: case QMetaType::UChar: case QMetaType::Long:
    case QMetaType::ULong: case QMetaType::Bool:
        return true;
    default:
        return false;
    }
}

bool IsText(const QVariant& value)
{
    return value.typeId() == QMetaType::QString || value.typeId() == QMetaType::QByteArray;
}

// A cell equals a searched value: text without regard to case, numbers by value.
bool SameValue(const QVariant& cell, const QVariant& wanted)
{
    if (cell.isNull() || wanted.isNull())
        return cell.isNull() && wanted.isNull();
    if (IsText(wanted))
        return QString::compare(cell.toString(), wanted.toString(), Qt::CaseInsensitive) == 0;
    if (IsNumber(wanted)) {
        bool ok = false;
        const double number = cell.toDouble(&ok);
        return ok && number == wanted.toDouble();
    }
    return cell == wanted;
}

QDateTime ParseDateTime(const QString& text)
{
    const QString trimmed = text.trimmed();
    QDateTime value = QDateTime::fromString(trimmed, Qt::ISODateWithMs);
    if (!value.isValid()) {
        QString withT = trimmed;
        withT.replace(QLatin1Char(' '), QLatin1Char('T'));
        value = QDateTime::fromString(withT, Qt::ISODateWithMs);
    }
    if (!value.isValid()) {
        const QDate date = QDate::fromString(trimmed, Qt::ISODate);
        if (date.isValid())
            value = date.startOfDay();
    }
    return value;
}

} // namespace

// ---- TField ----

QString TField::Name() const
{
    return FDataSet.FFieldNames.value(FIndex);
}

QVariant TField::Value() const
{
    // A row of a lazy data set that cannot be read is an error here, as any failed read:
    // the program must not take an unread row for one with empty values. (A view asking
    // for a cell gets an empty one instead; it must get an answer.)
    const int row = FDataSet.FCurrent;
    if (FDataSet.FLazy && row >= 0 && row < FDataSet.RecordCount() && FIndex >= 0 && FIndex < FDataSet.FieldCount()
        && FDataSet.FState == TDataSet::TState::Browse)
        return FDataSet.RowValues(row).value(FIndex);
    return FDataSet.CellValue(row, FIndex);
}

bool TField::IsNull() const
{
    return Value().isNull();
}

qint64 TField::AsLargeInt() const
{
    const QVariant value = Value();
    if (value.isNull())
        return 0;
    if (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float) {
        const double number = value.toDouble();
        if (!std::isfinite(number) || std::fabs(number) > 9.2e18)
            throw TError(QStringLiteral("Значение поля %1 не является целым числом: %2").arg(Name(), value.toString()));
        return qRound64(number);
    }
    if (IsNumber(value))
        return value.toLongLong();
    bool ok = false;
    const qint64 number = value.toString().trimmed().toLongLong(&ok);
    if (!ok)
        throw TError(QStringLiteral("Значение поля %1 не является целым числом: %2").arg(Name(), value.toString()));
    return number;
}

int TField::AsInteger() const
{
    const qint64 number = AsLargeInt();
    if (number < std::numeric_limits<int>::min() || number > std::numeric_limits<int>::max())
        throw TError(QStringLiteral("Значение поля %1 вне диапазона целых чисел: %2").arg(Name()).arg(number));
    return int(number);
}

double TField::AsFloat() const
{
    const QVariant value = Value();
    if (value.isNull())
        return 0.0;
    if (IsNumber(value))
        return value.toDouble();
    // Text in a numeric column as the database engine writes it: a point, no grouping.
    bool ok = false;
    const double number = value.toString().trimmed().toDouble(&ok);
    if (!ok)
        throw TError(QStringLiteral("Значение поля %1 не является числом: %2").arg(Name(), value.toString()));
    return number;
}

QString TField::AsString() const
{
    return ValueAsString(Value());
}

QString ValueAsString(const QVariant& value)
{
    if (value.isNull())
        return QString();
    if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    return value.toString();
}

bool TField::AsBoolean() const
{
    const QVariant value = Value();
    if (value.isNull())
        return false;
    if (IsText(value)) {
        const QString text = value.toString().trimmed();
        return !(text.isEmpty() || text == QLatin1String("0")
                 || text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0);
    }
    return value.toBool();
}

QDateTime TField::AsDateTime() const
{
    const QVariant value = Value();
    if (value.isNull())
        return QDateTime();
    if (value.typeId() == QMetaType::QDateTime)
        return value.toDateTime();
    if (value.typeId() == QMetaType::QDate)
        return value.toDate().startOfDay();
    const QDateTime parsed = ParseDateTime(value.toString());
    if (!parsed.isValid())
        throw TError(QStringLiteral("Значение поля %1 не является датой и временем: %2").arg(Name(), value.toString()));
    return parsed;
}

void TField::SetValue(const QVariant& value)
{
    FDataSet.SetFieldValue(FIndex, value);
}

// ---- TDataSetModel ----

int TDataSetModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : FDataSet.RecordCount();
}

int TDataSetModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : FDataSet.FieldCount();
}

QVariant TDataSetModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole))
        return QVariant();
    return FDataSet.CellValue(index.row(), index.column());
}

QVariant TDataSetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return FDataSet.FieldNames().value(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags TDataSetModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags result = QAbstractTableModel::flags(index);
    if (index.isValid() && FDataSet.CanModify())
        result |= Qt::ItemIsEditable;
    return result;
}

bool TDataSetModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || role != Qt::EditRole || !FDataSet.CanModify())
        return false;
    // Called by a view: no exception may go back into Qt.
    try {
        FDataSet.SetRecNo(index.row());
        if (FDataSet.RecNo() != index.row())
            return false;
        FDataSet.Field(index.column()).SetValue(value);
        return FDataSet.Post();
    } catch (const std::exception& error) {
        emit FDataSet.EditFailed(ErrorText(error));
        return false;
    }
}

// ---- TDataSet ----

TDataSet::TDataSet(TConnection& connection)
    : FConnection(connection), FModel(*this)
{
    FConnection.Attach(this);
}

TDataSet::~TDataSet()
{
    FConnection.Detach(this);
}

void TDataSet::ResetViews(const std::function<void()>& change)
{
    if (FFrozen > 0) {
        change();
        return;
    }
    FModel.beginResetModel();
    try {
        change();
    } catch (...) {
        FModel.endResetModel();
        throw;
    }
    FModel.endResetModel();
}

void TDataSet::Open()
{
    if (Active())
        return;
    ResetViews([this] {
        try {
            Fetch();
        } catch (...) {
            FFieldNames.clear();
            FRows.clear();
            FLazy.reset();
            FState = TState::Inactive;
            FCurrent = -1;
            throw;
        }
        FState = TState::Browse;
        FEof = IsEmpty();
    });
    SetCurrent(IsEmpty() ? -1 : 0);
}

void TDataSet::Close()
{
    Forget();
    if (!Active())
        return;
    FRefreshStamp.reset();
    FReadByRefresh = false;
    ResetViews([this] {
        FState = TState::Inactive;
        FRows.clear();
        FLazy.reset();
        FFieldNames.clear();
        FEditValues.clear();
        FEditChanged.clear();
        FEof = true;
    });
    SetCurrent(-1);
}

void TDataSet::Load(QSqlQuery& query)
{
    const QSqlRecord record = query.record();
    FFieldNames.clear();
    for (int i = 0; i < record.count(); ++i)
        FFieldNames << record.fieldName(i);
    FRows.clear();
    FLazy.reset();
    const int columns = int(FFieldNames.size());
    while (query.next()) {
        QVector<QVariant> row(columns);
        for (int i = 0; i < columns; ++i)
            row[i] = query.value(i);
        FRows.append(std::move(row));
    }
    // next() also ends on a failed fetch (a locked file, a dropped link): rows read until
    // then are not all the rows, and the caller must not take them as such.
    if (query.lastError().isValid()) {
        FRows.clear();
        throw TError(query.lastError().text());
    }
}

void TDataSet::Load(QStringList fieldNames, QVector<QVector<QVariant>> rows)
{
    FFieldNames = std::move(fieldNames);
    FRows = std::move(rows);
    FLazy.reset();
}

void TDataSet::LoadLazy(QStringList fieldNames, std::vector<qint64> ids, int idColumn, TLazyRows::TFetch fetch)
{
    FRows.clear();
    FLazy = std::make_unique<TLazyRows>(std::move(ids), int(fieldNames.size()), idColumn, std::move(fetch));
    FFieldNames = std::move(fieldNames);
}

QVariant TDataSet::CellValue(int row, int column) const
{
    if (row < 0 || row >= RecordCount() || column < 0 || column >= FFieldNames.size())
        return QVariant();
    if (row == FCurrent && (FState == TState::Edit || FState == TState::Insert))
        return FEditValues.value(column);
    if (!FLazy)
        return FRows[row].value(column);
    // Asked by a view while a statement of the connection runs (a paint served inside a
    // database call): the row is read when it is asked for again.
    if (FConnection.Busy() && !FLazy->Held(FLazy->Id(row)) && !FLazy->IsPending(row))
        return QVariant();
    try {
        return FLazy->Row(row).value(column);
    } catch (...) {
        // A view asking must get an answer, and the next refresh tells of the failure.
        return QVariant();
    }
}

const QVector<QVariant>& TDataSet::RowValues(int row) const
{
    if (!FLazy)
        return FRows.at(row);
    return FLazy->Row(row);
}

void TDataSet::PutRow(int row, const QVector<QVariant>& values)
{
    if (FLazy)
        FLazy->Put(row, values);
    else
        FRows[row] = values;
}

void TDataSet::SetCurrent(int row)
{
    if (row == FCurrent)
        return;
    FCurrent = row;
    // Views told of the current row while frozen could ask a model in the middle of its
    // reset; they hear of it once released.
    if (FFrozen > 0)
        FCurrentMoved = true;
    else
        emit CurrentRowChanged(row);
}

void TDataSet::RowsChanged(int first, int last)
{
    if (FFrozen == 0 && first >= 0 && FieldCount() > 0)
        emit FModel.dataChanged(FModel.index(first, 0), FModel.index(last, FieldCount() - 1));
}

void TDataSet::RowInserted(int row, const QVector<QVariant>& values)
{
    if (FFrozen == 0)
        FModel.beginInsertRows(QModelIndex(), row, row);
    if (!FLazy)
        FRows.insert(row, values);
    else if (row == RecordCount() && FState == TState::Insert)
        FLazy->AppendPending(values); // no id yet
    else
        FLazy->Insert(row, {values.value(FieldIndex(QStringLiteral("id"))).toLongLong()});
    if (FFrozen == 0)
        FModel.endInsertRows();
}

void TDataSet::RowIdsInserted(int row, const std::vector<qint64>& ids)
{
    if (ids.empty())
        return;
    if (FFrozen == 0)
        FModel.beginInsertRows(QModelIndex(), row, row + int(ids.size()) - 1);
    FLazy->Insert(row, ids);
    if (FFrozen == 0)
        FModel.endInsertRows();
}

void TDataSet::RowsRemoved(int first, int last)
{
    if (first == last) {
        RowRemoved(first);
        return;
    }
    if (FFrozen == 0)
        FModel.beginRemoveRows(QModelIndex(), first, last);
    if (FLazy)
        FLazy->RemoveRange(first, last);
    else
        FRows.remove(first, last - first + 1);
    if (FFrozen == 0)
        FModel.endRemoveRows();
}

void TDataSet::RowRemoved(int row)
{
    if (FFrozen == 0)
        FModel.beginRemoveRows(QModelIndex(), row, row);
    if (FLazy)
        FLazy->Remove(row);
    else
        FRows.removeAt(row);
    if (FFrozen == 0)
        FModel.endRemoveRows();
}

void TDataSet::First()
{
    if (!Active())
        return;
    if (FState != TState::Browse && !Post())
        return;
    SetCurrent(IsEmpty() ? -1 : 0);
    FEof = IsEmpty();
}

void TDataSet::Last()
{
    if (!Active())
        return;
    if (FState != TState::Browse && !Post())
        return;
    SetCurrent(RecordCount() - 1);
    FEof = true;
}

void TDataSet::Next()
{
    if (!Active())
        return;
    if (FState != TState::Browse && !Post())
        return;
    if (FCurrent + 1 < RecordCount()) {
        SetCurrent(FCurrent + 1);
        FEof = false;
    } else {
        FEof = true;
    }
}

void TDataSet::SetRecNo(int row)
{
    if (!Active() || row < 0 || row >= RecordCount())
        return;
    if (row != FCurrent && FState != TState::Browse && !Post())
        return;
    SetCurrent(row);
    FEof = false;
}

bool TDataSet::Locate(const QString& column, const QVariant& value)
{
    const int index = FieldIndex(column);
    if (!Active() || index < 0)
        return false;
    if (FLazy && index == FieldIndex(QStringLiteral("id")) && IsNumber(value)) {
        // Found by the ids held, without reading the rows.
        const double wanted = value.toDouble();
        const std::vector<qint64>& ids = FLazy->Ids();
        for (size_t row = 0; row < ids.size(); ++row) {
            if (double(ids[row]) == wanted) {
                SetRecNo(int(row));
                return FCurrent == int(row);
            }
        }
        return false;
    }
    for (int row = 0; row < RecordCount(); ++row) {
        if (SameValue(CellValue(row, index), value)) {
            SetRecNo(row);
            return FCurrent == row;
        }
    }
    return false;
}

int TDataSet::FieldIndex(const QString& name) const
{
    for (int i = 0; i < FFieldNames.size(); ++i) {
        if (QString::compare(FFieldNames[i], name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

TField TDataSet::FieldByName(const QString& name)
{
    const int index = FieldIndex(name);
    if (index < 0)
        throw TError(QStringLiteral("Поле %1 не найдено.").arg(name));
    return TField(*this, index);
}

void TDataSet::DisableControls()
{
    if (FFrozen++ == 0)
        FModel.beginResetModel();
}

void TDataSet::EnableControls()
{
    if (FFrozen > 0 && --FFrozen == 0) {
        FModel.endResetModel();
        if (FCurrentMoved) {
            FCurrentMoved = false;
            emit CurrentRowChanged(FCurrent);
        }
    }
}

void TDataSet::SetFieldValue(int index, const QVariant& value)
{
    if (!CanModify())
        throw TError(QStringLiteral("Набор данных не допускает изменений."));
    if (FState == TState::Browse)
        Edit();
    if ((FState != TState::Edit && FState != TState::Insert) || index < 0 || index >= FEditValues.size())
        throw TError(QStringLiteral("Нет записи для изменения."));
    FEditValues[index] = value;
    FEditChanged[index] = true;
    RowsChanged(FCurrent, FCurrent);
}

void TDataSet::Append()
{
    throw TError(QStringLiteral("Набор данных не допускает изменений."));
}

void TDataSet::Edit()
{
    throw TError(QStringLiteral("Набор данных не допускает изменений."));
}

bool TDataSet::Post()
{
    if (FState == TState::Edit || FState == TState::Insert)
        throw TError(QStringLiteral("Набор данных не допускает изменений."));
    return true;
}

void TDataSet::Cancel()
{
}

void TDataSet::Delete()
{
    throw TError(QStringLiteral("Набор данных не допускает изменений."));
}

// ---- RefreshTable ----

namespace {

// The rows in memory are those the database holds now: a table read by the last refresh,
// browsed since (an edit in progress is dropped by a re-read, as ever), whose connection
// has seen no change since. A statement may have new parameters: it is always re-run.
bool Unchanged(TDataSet& dataSet, const std::optional<TChangeStamp>& now)
{
    return now && dataSet.RefreshStamp() && *dataSet.RefreshStamp() == *now && !dataSet.IsQuery()
        && dataSet.State() == TDataSet::TState::Browse && dataSet.Settled();
}

// The id of the current row, 0 when there is none.
int CurrentId(TDataSet& dataSet)
{
    if (dataSet.IsEmpty() || !dataSet.HasField(QStringLiteral("id")))
        return 0;
    return dataSet.FieldByName(QStringLiteral("id")).AsInteger();
}

// Where a re-read leaves the current row: on the row with the remembered id, else on the
// first row.
void PlaceCurrentRow(TDataSet& dataSet, int id)
{
    if (!dataSet.HasField(QStringLiteral("id")) || !dataSet.Locate(QStringLiteral("id"), id))
        dataSet.First();
}

} // namespace

void RefreshTable(TDataSet& dataSet) noexcept
{
    if (dataSet.Connection().Busy())
        return;
    try {
        if (dataSet.Active() && !dataSet.IsQuery()) {
            // Taken before anything is read: a change landing later shows in the next stamp.
            const std::optional<TChangeStamp> now = dataSet.Connection().ChangeStamp();
            if (Unchanged(dataSet, now)) {
                // The same rows as a re-read would give: only the current row goes where a
                // re-read would put it, and the views are not reset. Where the id is the
                // key, the current row is the one row with its id and stays without a search.
                if (dataSet.IdIsKey() && !dataSet.IsEmpty())
                    dataSet.SetRecNo(dataSet.RecNo());
                else
                    PlaceCurrentRow(dataSet, CurrentId(dataSet));
                return;
            }
            // Over ODBC nothing tells whether the database changed: a data set that the last
            // refresh read reads what changed as far as it can tell at every refresh. A
            // data set read otherwise since is read in full. A SQLite file without a stamp
            // (a transaction of the connection's own is open) is read in full, now and at
            // the next refresh, for a rollback may take back rows without a trace.
            const bool odbc = dataSet.Connection().Engine() == TConnection::TEngine::Odbc;
            const bool followed = now ? dataSet.RefreshStamp().has_value() : odbc && dataSet.ReadByRefresh();
            if (followed && dataSet.State() == TDataSet::TState::Browse
                && dataSet.RefreshChangedRows(!now || !(*dataSet.RefreshStamp() == *now))) {
                dataSet.SetRefreshStamp(now);
                return;
            }
        }
    } catch (...) {
        // An id that does not read as a number, a failed read of the changed rows: the
        // full re-read below decides.
    }
    dataSet.DisableControls();
    try {
        dataSet.Open();
        const int id = CurrentId(dataSet);
        dataSet.Close();
        // Taken before the rows are read: a change landing during the read shows in the
        // next stamp, so the next refresh reads again.
        const std::optional<TChangeStamp> readStamp =
            dataSet.IsQuery() ? std::nullopt : dataSet.Connection().ChangeStamp();
        dataSet.Open();
        if (dataSet.HasField(QStringLiteral("id")))
            dataSet.Locate(QStringLiteral("id"), id);
        dataSet.SetRefreshStamp(readStamp);
    } catch (...) {
        try {
            dataSet.Close();
        } catch (...) {
        }
    }
    dataSet.EnableControls();
}
