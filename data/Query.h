#pragma once

#include "data/DataSet.h"

#include <QMap>

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
    // Throws TError with the driver's message.
    int ExecSQL();

protected:
    void Fetch() override;

private:
    // The connection's prepared statement of the text with the parameters bound.
    QSqlQuery& Prepare() const;
    QMap<QString, QVariant> FParams; // by lower-case name
};
