#pragma once

#include <QIcon>
#include <QString>

// The pictures drawn for this program (shell/ui/icons/, compiled into the program as the
// resource file icons.qrc): SVG drawings on a 32 x 32 grid, which Qt's SVG icon engine
// draws afresh for every size and screen density asked of it, so they stay sharp on the
// tool bar, in menus, in the tray and on high-DPI screens.

// The resource path of a picture by its name: ":/icons/<name>.svg".
QString ProgramIconPath(const QString& name);

// The picture by its name (for example "start-watch"); a null icon when the resources hold
// no picture of that name.
QIcon ProgramIcon(const QString& name);

// The program's own icon: the window's, the task bar's and the tray's at start.
QIcon ApplicationIcon();
