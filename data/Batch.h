#pragma once

#include <QSqlDatabase>

class TConnection;

// Groups the statements of one piece of work into one database transaction, so that a
// dispatch to many accounts pays for one commit instead of one per booking. Where the
// connection is closed or its driver has no transactions, the statements simply run one
// by one. The work ends with Commit(), also after a failure part-way: what was booked
// belongs to lines that are sent all the same. Without Commit() the batch rolls back.
class TBatch {
public:
    explicit TBatch(TConnection& connection);
    ~TBatch();
    TBatch(const TBatch&) = delete;
    TBatch& operator=(const TBatch&) = delete;

    // Throws TError when the commit fails; the statements are then rolled back. A file
    // moved, or a write-ahead journal removed or replaced, since the connection opened
    // fails the commit too: its changes would be seen by nobody and lost with the
    // connection.
    void Commit();

private:
    TConnection* FConnection = nullptr;
    QSqlDatabase FDatabase;
    bool FOpen = false;
};
