#include "data/Batch.h"

#include "base/Error.h"
#include "data/Connection.h"

#include <QDir>
#include <QSqlDriver>
#include <QSqlError>

TBatch::TBatch(TConnection& connection)
{
    if (!connection.Connected())
        return;
    FConnection = &connection;
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
    if (FConnection->FileMoved()) {
        FDatabase.rollback();
        throw TError(QStringLiteral("Файл базы данных %1 удален или перемещен после подключения: изменения не сохранены.")
                         .arg(QDir::toNativeSeparators(FConnection->Source())));
    }
    if (!FDatabase.commit()) {
        const QString text = FDatabase.lastError().text();
        FDatabase.rollback();
        throw TError(text);
    }
}
