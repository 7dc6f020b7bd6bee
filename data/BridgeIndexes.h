#pragma once

#include <QStringList>

class TConnection;

// The indexes of the bridge database on the columns the data module looks rows up by:
// the portfolio by client (per account of a dispatch), the transaction report by
// transaction number (per result line) and by strategy order, filled mark and client (per
// withdrawal, in the order of the transactions), the open positions by their whole key
// (per exit). Without them every lookup reads the whole table, and the report grows by a
// row per account of every dispatch.
//
// The text columns keep their "COLLATE NOCASE", so the indexes serve the lookups' "="; on
// the order of such an index see UnicodeNoCase.h.

// The statements that make them ("CREATE INDEX IF NOT EXISTS"), for a SQLite file.
QStringList BridgeIndexSchema();

// Adds to a SQLite bridge file the indexes it lacks (a file made before them), each on its
// own. A file that cannot take one (opened read-only, a table missing, locked beyond the
// wait) keeps working without it; nothing is reported, as the lookups give the same rows
// either way. Nothing is done over ODBC: an Access file's indexes are its owner's.
void AddMissingBridgeIndexes(TConnection& connection) noexcept;
