#pragma once

#include "data/DataSet.h"

#include <QList>

class TSqliteStatement;

// A statement: a list of SQL lines joined with line breaks, with named parameters written
// after a colon (":ticker") and bound by name, never pasted into the text. Open() runs a
// statement that gives rows and reads them; ExecSQL() runs one that gives none.
// The text is changed while the statement is closed: Close(), change SQL, Open().
class TQuery : public TDataSet {
    Q_OBJECT
public:
    explicit TQuery(TConnection& connection) : TDataSet(connection) {}

    bool IsQuery() const override { return true; }

    QStringList SQL;
    void Clear() { SQL.clear(); }
    void Add(const QString& line) { SQL << line; }
    QString Text() const { return SQL.join(QLatin1Char('\n')); }

    // The value of a parameter; a null QVariant binds NULL. Parameter names ignore case.
    void SetParam(const QString& name, const QVariant& value);
    QVariant Param(const QString& name) const;
    void ClearParams() { FParams.clear(); }
    // The parameter names the text holds, in order of first appearance.
    QStringList ParamNames() const;

    // Executes a statement that returns no rows; the number of rows it changed.
    // Throws TError with the driver's message. On a SQLite file this and Open() run
    // through SQLite itself, to the same effect and with the same messages as through Qt.
    int ExecSQL();
    // The values of the named columns (without regard to letter case) of every row the
    // statement gives, read through SQLite itself on a SQLite file and left closed: a
    // caller that needs a few columns of many rows does not pay for a data set of them
    // all. False, with nothing read, where the connection or the text does not allow it
    // or a column is missing; the caller then opens the statement as usual.
    bool ReadColumns(const QStringList& names, QVector<QVector<QVariant>>* rows);

protected:
    void Fetch() override;

private:
    struct TParam {
        QString Name; // lower case
        QVariant Value;
    };
    // A text and its parameters as read from the lines of SQL. A statement runs with the
    // same lines many times in a row (once per account of a dispatch, the booking
    // statements taking turns), so the last few are kept and lines are read again only
    // when they are new.
    struct TParsedText {
        QStringList Lines;
        QString Text;
        QStringList Names;    // as written, in order of first appearance
        QStringList BindKeys; // ":name" as the driver takes it, per name
        QStringList Keys;     // lower case, per name
    };
    const TParsedText& Parsed() const;
    // The connection's prepared statement of the text with the parameters bound.
    QSqlQuery& Prepare() const;
    // The statement of the text prepared through SQLite itself, with the parameters
    // bound, where the connection, the text and the values allow it (TSqliteStatement);
    // none, with nothing done, where Qt's statement is to run it.
    TSqliteStatement* BindDirect() const;
    const QVariant* FindParam(const QString& lowerName) const;

    QList<TParam> FParams; // few: looked up one by one
    mutable QList<TParsedText> FParsed; // the most recently used first
};
