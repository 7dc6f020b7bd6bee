#include "shell/ui/WatchIcons.h"

#include <QPainter>
#include <QPixmap>

std::array<QIcon, 4> MakeWatchIcons()
{
    std::array<QIcon, 4> icons;
    const int angles[4] = {90, 45, 0, -45};
    for (int frame = 0; frame < 4; ++frame) {
        QPixmap pixmap(32, 32);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(QColor(200, 0, 0), 3));
        painter.setBrush(QColor(0, 70, 200));
        painter.drawRect(2, 2, 28, 28);
        painter.translate(16, 16);
        painter.rotate(-angles[frame]);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(255, 220, 0));
        painter.drawRect(-11, -2, 22, 4);
        painter.end();
        icons[frame] = QIcon(pixmap);
    }
    return icons;
}
