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
    const QString journal = FConnection->JournalMoved();
    if (!journal.isEmpty()) {
        FDatabase.rollback();
        // What earlier batches committed lives only in the journal this connection still
        // holds open: it goes into the file now, or a crash would take it along, and with
        // it the highest transaction number handed out.
        const bool kept = FConnection->CopyJournalIntoFile();
        throw TError(QStringLiteral("Журнал %1 файла базы данных %2 удален или заменен после подключения: "
                                    "изменения не сохранены. ")
                         .arg(QDir::toNativeSeparators(journal), QDir::toNativeSeparators(FConnection->Source()))
                     + (kept ? QStringLiteral("Сохраненные ранее записи перенесены в файл базы данных.")
                             : QStringLiteral("Сохраненные ранее записи не удалось перенести в файл базы данных: "
                                              "они будут потеряны, если программа завершится аварийно.")));
    }
    if (!FDatabase.commit()) {
        const QString text = FDatabase.lastError().text();
        FDatabase.rollback();
        throw TError(text);
    }
}
