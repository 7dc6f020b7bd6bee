#include "shell/ui/ProgramIcons.h"

#include <QFile>

// The resources sit in a static library: nothing in it would otherwise make the linker
// keep them, so the first picture asked for registers them. (Qt's macro must not be used
// inside a namespace.)
static void RegisterIconResources()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(icons);
        return true;
    }();
    (void)registered;
}

QString ProgramIconPath(const QString& name)
{
    return QStringLiteral(":/icons/%1.svg").arg(name);
}

QIcon ProgramIcon(const QString& name)
{
    RegisterIconResources();
    const QString path = ProgramIconPath(name);
    if (!QFile::exists(path))
        return QIcon();
    return QIcon(path);
}

QIcon ApplicationIcon()
{
    return ProgramIcon(QStringLiteral("zovrant"));
}
