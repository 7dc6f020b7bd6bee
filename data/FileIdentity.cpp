#include "data/FileIdentity.h"

#include <QFile>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

std::optional<TFileIdentity> FileIdentityOf(const QString& path)
{
#ifdef Q_OS_UNIX
    struct stat status {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &status) != 0)
        return std::nullopt;
    return TFileIdentity{static_cast<quint64>(status.st_dev), static_cast<quint64>(status.st_ino)};
#else
    Q_UNUSED(path);
    return std::nullopt;
#endif
}
