#include "data/DatabaseFiles.h"

#include "data/Connection.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// How the file system compares names where a path cannot be resolved.
#if defined(Q_OS_WIN) || defined(Q_OS_DARWIN)
constexpr Qt::CaseSensitivity PathCase = Qt::CaseInsensitive;
#else
constexpr Qt::CaseSensitivity PathCase = Qt::CaseSensitive;
#endif

} // namespace

QStringList DatabaseFilesOf(const QString& source)
{
    const QString path = source.trimmed();
    if (path.isEmpty() || TConnection::IsConnectionText(path))
        return {};
    if (TConnection::EngineOf(path) != TConnection::TEngine::Sqlite)
        return {path};
    return {path, path + QStringLiteral("-wal"), path + QStringLiteral("-shm"), path + QStringLiteral("-journal")};
}

bool SameFile(const QString& first, const QString& second)
{
    if (first.trimmed().isEmpty() || second.trimmed().isEmpty())
        return false;
    const QFileInfo one(first);
    const QFileInfo other(second);
    // Qt takes two missing files for the same one (both without a canonical path).
    if (one.exists() && other.exists())
        return one == other;
    return QDir::cleanPath(one.absoluteFilePath()).compare(QDir::cleanPath(other.absoluteFilePath()), PathCase) == 0;
}

bool HoldsDatabase(const QString& path)
{
    // Only a regular file is read: opening a pipe or a device could block or consume it.
    QFile file(path);
    if (path.trimmed().isEmpty() || !QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(20);
    static const QByteArray sqlite("SQLite format 3", 16); // with its closing zero byte
    if (head.startsWith(sqlite))
        return true;
    const QByteArray access = head.mid(4, 15);
    return access == "Standard Jet DB" || access == "Standard ACE DB";
}

QString DatabaseFileReason(const QString& file, const QStringList& sources)
{
    for (const QString& source : sources) {
        for (const QString& databaseFile : DatabaseFilesOf(source)) {
            if (SameFile(file, databaseFile))
                return QStringLiteral("является файлом базы данных %1").arg(source.trimmed());
        }
    }
    if (HoldsDatabase(file))
        return QStringLiteral("содержит базу данных");
    return {};
}
