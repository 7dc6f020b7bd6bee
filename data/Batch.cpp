#include "data/Batch.h"

#include "base/Error.h"
#include "data/Connection.h"

#include <QSqlDriver>
#include <QSqlError>

TBatch::TBatch(TConnection& connection)
{
    if (!connection.Connected())
        return;
    FDatabase = connection.Database();
    if (FDatabase.driver()->hasFeature(QSqlDriver::Transactions))
        FOpen = FDatabase.transaction();
}

TBatch::~TBatch()
{
    if (FOpen)
        FDatabase.rollback();
}

void TBatch::Commit()
{
    if (!FOpen)
        return;
    FOpen = false;
    if (!FDatabase.commit()) {
        const QString text = FDatabase.lastError().text();
        FDatabase.rollback();
        throw TError(text);
    }
}
