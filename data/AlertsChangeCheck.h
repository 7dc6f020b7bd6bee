#pragma once

#include <QtGlobal>
#include <optional>

struct sqlite3;
struct sqlite3_stmt;
class TConnection;

// A cheap look at whether the alert database has changed since the last look: SQLite's
// data version, read on a connection of its own (which only reads), so that every commit
// of any other connection counts, the program's own connection included. A strategy
// platform's new row is thus seen within a look's period instead of at the next table
// tick. Only a SQLite file offers such a look; over ODBC there is none.
class TAlertsChangeCheck {
public:
    TAlertsChangeCheck() = default;
    ~TAlertsChangeCheck();
    TAlertsChangeCheck(const TAlertsChangeCheck&) = delete;
    TAlertsChangeCheck& operator=(const TAlertsChangeCheck&) = delete;

    // Whether the database the connection is open on has changed since the last call.
    // The first call for an opening of the connection opens the look's own connection and
    // answers false: what was there before it is the table tick's. False as well where
    // there is no cheap look (not connected, not a SQLite file) or the look fails; a look
    // that failed is opened afresh at the next call.
    bool Changed(const TConnection& alerts) noexcept;
    // Closes the look's own connection; the next call opens it afresh. Done before the
    // alert connection opens again: a file replaced under the two must be let go by both,
    // or its journal files, left beside the new file's name, would be taken for the new
    // file's own.
    void Release() noexcept { Close(); }

private:
    bool Open(const TConnection& alerts) noexcept;
    void Close() noexcept;
    std::optional<qint64> DataVersion() noexcept;

    sqlite3* FDatabase = nullptr;
    sqlite3_stmt* FVersion = nullptr;
    quint64 FSession = 0;
    qint64 FLastVersion = 0;
};
