#pragma once

#include <QDateTime>
#include <QString>
#include <QtGlobal>

// One strategy order as read from a table of the strategy platform's alert database.
// A plain value: it owns its texts and is copied when handed on.
struct TOmegaOrder {
    qint64 Id = 0;          // the row's id (SQLite ids run to 64 bits); for a cancelled row the id of the order it cancels
    QString Symbol;         // the platform's ticker
    QString Description;
    QString OrderType;      // "LE", "SE", "LX", "SX"
    QString Order;          // the order's wording, e.g. "Buy 10 at 25.5 Limit"
    QString System;         // strategy name, possibly followed by its parameters in brackets
    QString Workspace;      // full path of the platform's workspace file
    QString Signal;
    QString Interval;
    double FillPrice = 0;   // filled-orders rows only
    QDateTime TimeFilled;   // filled-orders rows only
    bool Filled = false;    // the row came from the filled-orders table
    QString OrderNumber;    // the row's "Order Number" column
};

// Empties the record: id 0, every text empty, fill price 0, no fill time, not filled.
void ClearOmegaOrder(TOmegaOrder& order);

// The file-name part of a workspace path: the text after its last "\" or ":" (the
// extension kept), or the whole text when it has neither. Open positions are booked and
// looked up under this name.
QString WorkspaceFileName(const QString& workspace);
