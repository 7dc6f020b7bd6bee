#pragma once

#include <QString>
#include <QStringList>

// The two databases as SQLite files. Text columns are declared "COLLATE NOCASE" so that
// "=" ignores letter case as the Access engine does; inside Zovrant every connection
// folds Cyrillic letters too (see UnicodeNoCase.h). The alert tables have no index but
// their keys; the bridge tables have the indexes of BridgeIndexes.h.

// The strategy platform's alert database: FilledOrders, ActiveOrders, CanceledOrders,
// OpenPositions, with every column the platform writes.
QStringList AlertSchema();
// Their names: FilledOrders, ActiveOrders, CanceledOrders, OpenPositions.
QStringList AlertTables();
// Zovrant's bridge database: tParam, tPortfolio, tSecCode, tWorkSpaces, tStrategy,
// tOrderNumber, tclients, tClientOpenPositions (their indexes: BridgeIndexSchema()).
QStringList BridgeSchema();

// Creates a new SQLite file holding the given tables. Refuses an existing file (TError
// naming it) and leaves no half-made file behind on failure. The alert database is
// written in WAL mode so that the platform can add rows while Zovrant reads, with the change
// journal of its tables (ChangeJournal.h).
void CreateAlertDatabase(const QString& path);
// Adds the change journal of the alert tables to an existing SQLite alert database, in one
// transaction. Throws TError naming the file when it cannot be opened, already has a
// journal or lacks an alert table; the file is then unchanged.
void AddChangeJournal(const QString& path);
// The bridge database with its indexes and the table of the program holding it
// (BridgeHolder.h).
void CreateBridgeDatabase(const QString& path);
