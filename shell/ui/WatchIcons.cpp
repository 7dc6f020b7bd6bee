#include "shell/ui/WatchIcons.h"

#include "shell/ui/ProgramIcons.h"

std::array<QIcon, 4> MakeWatchIcons()
{
    std::array<QIcon, 4> icons;
    for (int frame = 0; frame < 4; ++frame)
        icons[frame] = ProgramIcon(QStringLiteral("watch-%1").arg(frame));
    return icons;
}
