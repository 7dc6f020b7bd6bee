#pragma once

#include <QString>

// Which booked position of a client an exit refers to: the key of the client's rows in
// the open-positions table.
struct TPositionKey {
    QString Code;       // client code
    QString Symbol;     // the platform's ticker
    QString System;     // the strategy
    QString Workspace;  // file-name part of the workspace path
    QString Interval;
    QString Position;   // "Long" or "Short"
};
