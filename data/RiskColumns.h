#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class TConnection;

// The columns of the pre-trade limits: in the securities table the lots, value, price
// band and position per security, in the clients table the quantity factor and the loss
// limit per client. Every one is optional: a bridge database without it works as before,
// and an empty value (or 0) sets no limit.
struct TRiskColumn {
    QString Table;
    QString Name;
    QString Type;
};
QList<TRiskColumn> RiskColumns();

// The statements that add them to a bridge file just made ("ALTER TABLE ... ADD COLUMN").
QStringList RiskColumnsSchema();

// Adds to a SQLite bridge file the columns it lacks (a file made before them), each on its
// own. A file that cannot take one (opened read-only, locked) keeps working without it.
// Nothing is done over ODBC: an Access file's columns are its owner's.
void AddMissingRiskColumns(TConnection& connection) noexcept;
