#include "data/AlertsWake.h"

#include <QFileInfo>

TAlertsWake::TAlertsWake()
{
    QObject::connect(&FWatcher, &QFileSystemWatcher::fileChanged, &FWatcher, [this](const QString&) {
        // A file removed or renamed over is no longer followed: its successor is taken up.
        FollowNewFiles();
        FLooksLeft = LooksAgain;
        FAgain.start(LookAgainMs);
        Wake();
    });
    FAgain.setSingleShot(true);
    FAgain.setInterval(LookAgainMs);
    QObject::connect(&FAgain, &QTimer::timeout, &FAgain, [this] {
        if (--FLooksLeft > 0)
            FAgain.start(FAgain.interval() * 2);
        Wake();
    });
}

void TAlertsWake::Wake()
{
    if (Woken)
        Woken();
}

QStringList TAlertsWake::Wanted() const
{
    if (FPath.isEmpty())
        return {};
    return {FPath, FPath + QStringLiteral("-wal"), FPath + QStringLiteral("-journal")};
}

void TAlertsWake::Follow(const QString& path)
{
    const QStringList followed = FWatcher.files();
    if (!followed.isEmpty())
        FWatcher.removePaths(followed);
    FAgain.stop();
    FPath = path.isEmpty() ? QString() : QFileInfo(path).absoluteFilePath();
    FollowNewFiles();
}

void TAlertsWake::FollowNewFiles()
{
    const QStringList followed = FWatcher.files();
    QStringList added;
    for (const QString& file : Wanted()) {
        if (!followed.contains(file) && QFileInfo::exists(file))
            added << file;
    }
    if (!added.isEmpty())
        FWatcher.addPaths(added);
}
