#include "data/SqliteStatement.h"

#include "base/Error.h"
#include "data/SqlValue.h"

#include <QByteArray>
#include <QCoreApplication>
#include <sqlite3.h>

namespace {

// A placeholder as Qt reads one: ":" and then ASCII letters, digits and "_".
bool IsQtPlaceholder(const QString& placeholder)
{
    if (placeholder.size() < 2 || placeholder.front() != QLatin1Char(':'))
        return false;
    for (qsizetype i = 1; i < placeholder.size(); ++i) {
        const char16_t c = placeholder[i].unicode();
        if (!((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_'))
            return false;
    }
    return true;
}

// NULL as Qt's driver decides it for the kinds of values taken here.
bool IsNullValue(const QVariant& value)
{
    if (value.isNull())
        return true;
    switch (value.typeId()) {
    case QMetaType::QString:
        return static_cast<const QString*>(value.constData())->isNull();
    case QMetaType::QByteArray:
        return static_cast<const QByteArray*>(value.constData())->isNull();
    default:
        return false;
    }
}

} // namespace

QString SqlErrorText(const QString& databaseText, const QString& driverText)
{
    QString text = databaseText;
    if (!databaseText.isEmpty() && !driverText.isEmpty() && !databaseText.endsWith(QLatin1Char('\n')))
        text += QLatin1Char(' ');
    text += driverText;
    return text;
}

TSqliteStatement::TSqliteStatement(sqlite3* database, sqlite3_stmt* statement)
    : FDatabase(database), FStatement(statement)
{
}

TSqliteStatement::~TSqliteStatement()
{
    sqlite3_finalize(FStatement);
}

std::unique_ptr<TSqliteStatement> TSqliteStatement::Prepare(sqlite3* database, const QString& text)
{
    // Qt turns "?" placeholders into names of its own before preparing: those texts go
    // through Qt.
    if (!database || text.trimmed().isEmpty() || text.contains(QLatin1Char('?')))
        return nullptr;
    sqlite3_stmt* statement = nullptr;
    const void* tail = nullptr;
    if (sqlite3_prepare16_v2(database, text.utf16(), -1, &statement, &tail) != SQLITE_OK || !statement) {
        sqlite3_finalize(statement);
        return nullptr;
    }
    if (tail && !QString(reinterpret_cast<const QChar*>(tail)).trimmed().isEmpty()) {
        sqlite3_finalize(statement);
        return nullptr;
    }
    return std::unique_ptr<TSqliteStatement>(new TSqliteStatement(database, statement));
}

bool TSqliteStatement::TakesPlaceholders(const QStringList& placeholders)
{
    // The lines of one text give the same list, mostly the very same one.
    if (FPlaceholdersRead && placeholders == FPlaceholders)
        return FTakesPlaceholders;
    FPlaceholdersRead = true;
    FPlaceholders = placeholders;
    FTakesPlaceholders = false;
    // SQLite lets go of the values kept here before they go.
    sqlite3_clear_bindings(FStatement);
    FIndexes.clear();
    FBound.clear();
    FBoundUtf8.clear();
    FBoundKnown.clear();
    if (sqlite3_bind_parameter_count(FStatement) != placeholders.size())
        return false;
    QList<int> indexes;
    for (const QString& placeholder : placeholders) {
        if (!IsQtPlaceholder(placeholder))
            return false;
        const int index = sqlite3_bind_parameter_index(FStatement, placeholder.toUtf8().constData());
        if (index <= 0 || indexes.contains(index))
            return false;
        indexes << index;
    }
    FIndexes = indexes;
    FBound.resize(indexes.size());
    FBoundUtf8.resize(indexes.size());
    FBoundKnown.fill(false, indexes.size());
    FTakesPlaceholders = true;
    return true;
}

bool TSqliteStatement::CanBind(const QVariant& value)
{
    if (IsNullValue(value))
        return true;
    switch (value.typeId()) {
    case QMetaType::QString: case QMetaType::QByteArray: case QMetaType::Int: case QMetaType::Bool:
    case QMetaType::Double: case QMetaType::UInt: case QMetaType::LongLong:
        return true;
    default:
        return false;
    }
}

bool TSqliteStatement::Bind(int index, const QVariant& value)
{
    if (FBoundKnown[index] && SameSqlValue(FBound[index], value))
        return true;
    if (!CanBind(value))
        return false;
    FBoundKnown[index] = false;
    // Texts and bytes stay bound past this run: SQLite is given the data of the copy kept
    // here, which lives until the next value is bound in its place.
    FBound[index] = value;
    const QVariant& bound = FBound[index];
    const int parameter = FIndexes[index];
    int result = SQLITE_OK;
    // The same SQLite calls as Qt's driver makes for each kind of value, except that a
    // text goes in as UTF-8 (the same text stored, without a conversion at every run).
    if (IsNullValue(bound)) {
        result = sqlite3_bind_null(FStatement, parameter);
    } else {
        switch (bound.typeId()) {
        case QMetaType::QString: {
            QByteArray& text = FBoundUtf8[index];
            text = static_cast<const QString*>(bound.constData())->toUtf8();
            result = sqlite3_bind_text(FStatement, parameter, text.constData(), int(text.size()), SQLITE_STATIC);
            break;
        }
        case QMetaType::QByteArray: {
            const QByteArray& bytes = *static_cast<const QByteArray*>(bound.constData());
            result = sqlite3_bind_blob(FStatement, parameter, bytes.constData(), int(bytes.size()), SQLITE_STATIC);
            break;
        }
        case QMetaType::Int:
        case QMetaType::Bool:
            result = sqlite3_bind_int(FStatement, parameter, bound.toInt());
            break;
        case QMetaType::Double:
            result = sqlite3_bind_double(FStatement, parameter, bound.toDouble());
            break;
        case QMetaType::UInt:
        case QMetaType::LongLong:
            result = sqlite3_bind_int64(FStatement, parameter, bound.toLongLong());
            break;
        default:
            result = SQLITE_MISMATCH; // CanBind() has refused it above
            break;
        }
    }
    if (result != SQLITE_OK)
        Fail("Unable to bind parameters", true);
    FBoundKnown[index] = true;
    return true;
}

bool TSqliteStatement::Step(bool trimmed)
{
    const int result = sqlite3_step(FStatement);
    if (result == SQLITE_ROW)
        return true;
    if (result == SQLITE_DONE) {
        sqlite3_reset(FStatement);
        return false;
    }
    if (result == SQLITE_ERROR || result == SQLITE_CONSTRAINT) {
        // SQLite's specific message comes with the reset.
        sqlite3_reset(FStatement);
        Fail("Unable to fetch row", false, trimmed);
    }
    const QString databaseText(reinterpret_cast<const QChar*>(sqlite3_errmsg16(FDatabase)));
    sqlite3_reset(FStatement);
    const QString text = SqlErrorText(databaseText, QCoreApplication::translate("QSQLiteResult", "Unable to fetch row"));
    throw TError(trimmed ? text.trimmed() : text);
}

namespace {

// Resets a statement however a run ends, so that it holds no lock between uses.
struct TResetAtEnd {
    sqlite3_stmt* Statement;
    ~TResetAtEnd() { sqlite3_reset(Statement); }
};

} // namespace

int TSqliteStatement::Execute()
{
    // As Qt's driver runs a statement: a reset first, one step, and a reset at the end
    // also after a failure.
    if (sqlite3_reset(FStatement) != SQLITE_OK)
        Fail("Unable to reset statement", true);
    const TResetAtEnd reset{FStatement};
    Step(true);
    return sqlite3_changes(FDatabase);
}

QVariant TSqliteStatement::ColumnValue(int column) const
{
    switch (sqlite3_column_type(FStatement, column)) {
    case SQLITE_BLOB:
        return QByteArray(static_cast<const char*>(sqlite3_column_blob(FStatement, column)),
                          sqlite3_column_bytes(FStatement, column));
    case SQLITE_INTEGER:
        return qlonglong(sqlite3_column_int64(FStatement, column));
    case SQLITE_FLOAT:
        return sqlite3_column_double(FStatement, column);
    case SQLITE_NULL:
        return QVariant(QMetaType::fromType<QString>());
    default:
        // Read as stored (UTF-8), without SQLite's own conversion to UTF-16.
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(FStatement, column)),
                                 sqlite3_column_bytes(FStatement, column));
    }
}

bool TSqliteStatement::ReadRows(const std::function<std::optional<QList<int>>()>& chooseColumns,
                                QVector<QVector<QVariant>>* rows)
{
    if (sqlite3_reset(FStatement) != SQLITE_OK)
        Fail("Unable to reset statement", true);
    const TResetAtEnd reset{FStatement};
    rows->clear();
    bool row = Step(true);
    // The columns are known once the first step has run: a statement SQLite prepared
    // again after a change of the table has its new columns then.
    const std::optional<QList<int>> columns = chooseColumns();
    if (!columns)
        return false;
    while (row) {
        QVector<QVariant> values(columns->size());
        for (qsizetype i = 0; i < columns->size(); ++i)
            values[i] = ColumnValue(columns->at(i));
        rows->append(std::move(values));
        // A failure after the first row is reported as a data set reports a failed fetch.
        row = Step(false);
    }
    return true;
}

void TSqliteStatement::Read(QStringList* names, QVector<QVector<QVariant>>* rows)
{
    names->clear();
    ReadRows(
        [&]() -> std::optional<QList<int>> {
            QList<int> every;
            for (int i = 0; i < sqlite3_column_count(FStatement); ++i) {
                *names << ColumnName(i);
                every << i;
            }
            return every;
        },
        rows);
}

bool TSqliteStatement::ReadColumns(const QStringList& wanted, QVector<QVector<QVariant>>* rows)
{
    return ReadRows(
        [&]() -> std::optional<QList<int>> {
            const int columns = sqlite3_column_count(FStatement);
            QList<int> indexes;
            for (const QString& name : wanted) {
                int found = -1;
                for (int i = 0; i < columns && found < 0; ++i) {
                    if (ColumnName(i).compare(name, Qt::CaseInsensitive) == 0)
                        found = i;
                }
                if (found < 0)
                    return std::nullopt;
                indexes << found;
            }
            return indexes;
        },
        rows);
}

QString TSqliteStatement::ColumnName(int column) const
{
    return QString(reinterpret_cast<const QChar*>(sqlite3_column_name16(FStatement, column))).remove(QLatin1Char('"'));
}

void TSqliteStatement::Fail(const char* driverText, bool broken, bool trimmed)
{
    FBroken = FBroken || broken;
    const QString databaseText(reinterpret_cast<const QChar*>(sqlite3_errmsg16(FDatabase)));
    const QString text = SqlErrorText(databaseText, QCoreApplication::translate("QSQLiteResult", driverText));
    throw TError(trimmed ? text.trimmed() : text);
}
