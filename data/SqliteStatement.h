#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <functional>
#include <memory>
#include <optional>

struct sqlite3;
struct sqlite3_stmt;

// A statement run on a SQLite file through SQLite itself instead of through Qt's driver.
// Qt's driver binds every value again at every run, finds each binding by name in a hash
// and builds a field description of every column at every run; a dispatch runs the same
// few statements for each account with mostly the same values, and that work cost more
// than the statements themselves. The statement does what Qt's driver does with it: the
// same values reach the same columns, the same rows change, rows read come as Qt hands
// them over, and a failure reads as Qt words it ("<SQLite's message> Unable to fetch
// row"). It takes only what it can do exactly so; for anything else the caller goes
// through Qt.
class TSqliteStatement {
public:
    // The text prepared on the connection; none when SQLite does not prepare it, or it
    // holds more than one statement or a "?" placeholder: Qt then reports or handles it
    // in its own way.
    static std::unique_ptr<TSqliteStatement> Prepare(sqlite3* database, const QString& text);
    ~TSqliteStatement();
    TSqliteStatement(const TSqliteStatement&) = delete;
    TSqliteStatement& operator=(const TSqliteStatement&) = delete;

    // True when the placeholders (":name", as the text writes them, each once) are
    // exactly the statement's parameters, each a name of ASCII letters, digits and "_" as
    // Qt reads placeholders. Bind() then numbers them in this order.
    bool TakesPlaceholders(const QStringList& placeholders);
    // True for the values bound as Qt's driver binds them: NULL, text, bytes, integers,
    // booleans and numbers with a fraction.
    static bool CanBind(const QVariant& value);
    // Binds the value to the index-th placeholder, unless the very same value is bound
    // there already (SQLite keeps bindings from one run to the next); false, with nothing
    // bound, for a value CanBind() refuses. Throws TError as Qt words a failed binding;
    // the statement is then Broken().
    bool Bind(int index, const QVariant& value);
    // Runs the statement to its end and resets it; the number of rows it changed.
    // Throws TError with Qt's wording of the failure.
    int Execute();
    // Runs the statement and reads its rows as Qt's driver hands them to a QSqlQuery:
    // the column names (without double quotes), and per row integers as qlonglong,
    // numbers with a fraction as double, texts as QString, bytes as QByteArray and NULL
    // as a null QString. Throws TError as a data set reading the rows through Qt
    // reports it: trimmed when the run fails at once, as is when it fails part-way.
    void Read(QStringList* names, QVector<QVector<QVariant>>* rows);
    // Like Read(), the values of only the named columns (matched without regard to letter
    // case, the first of a name), in the order named: a caller that needs three columns
    // of a "SELECT *" does not pay for the others. False, with nothing read, when a named
    // column is not in the result.
    bool ReadColumns(const QStringList& wanted, QVector<QVector<QVariant>>* rows);
    // A binding or reset failed: the statement is not to be used again.
    bool Broken() const { return FBroken; }

private:
    TSqliteStatement(sqlite3* database, sqlite3_stmt* statement);
    [[noreturn]] void Fail(const char* driverText, bool broken, bool trimmed = true);
    // One step; true for a row, false at the end. Throws as Qt words a failed step.
    bool Step(bool trimmed);
    // Runs the statement and reads the columns chooseColumns() names (asked once the
    // first step has run) of every row; false, with nothing read, when it names none.
    bool ReadRows(const std::function<std::optional<QList<int>>()>& chooseColumns,
                  QVector<QVector<QVariant>>* rows);
    // The value of a column of the current row, as Read() gives it.
    QVariant ColumnValue(int column) const;
    // A column's name as Qt's driver gives it (without double quotes).
    QString ColumnName(int column) const;

    sqlite3* FDatabase;
    sqlite3_stmt* FStatement;
    bool FBroken = false;
    bool FPlaceholdersRead = false;
    QStringList FPlaceholders; // as last given to TakesPlaceholders
    bool FTakesPlaceholders = false;
    QList<int> FIndexes;       // SQLite's parameter number per placeholder
    QList<QVariant> FBound;    // per placeholder, valid where FBoundKnown
    // Per placeholder, the UTF-8 form of a text bound there: SQLite stores UTF-8, and a
    // text bound in Qt's UTF-16 would be converted (and allocated) again at every run.
    QList<QByteArray> FBoundUtf8;
    QList<bool> FBoundKnown;
};

// The text of a QSqlError with these texts, as QSqlError::text() joins them.
QString SqlErrorText(const QString& databaseText, const QString& driverText);
