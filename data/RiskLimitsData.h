#pragma once

#include <QString>
#include <QVariant>
#include <optional>

// The bridge database's side of the pre-trade limits, beside the data module.

// The table of refused lines and the columns it is made with on a SQLite file; its column
// newest_first (minus the time in milliseconds) is the order the window shows it in.
QString RiskRefusalsTable();
QString RiskRefusalsColumns();

// A limit's value as a column gives it: none when empty; NaN when it does not read as a
// number (a text typed into a numeric column), which the checks refuse to work with.
std::optional<double> OptionalNumber(const QVariant& value);
