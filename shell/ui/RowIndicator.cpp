#include "shell/ui/RowIndicator.h"

QSize TRowIndicator::sizeHint() const
{
    const int rows = count();
    if (rows == 0)
        return QHeaderView::sizeHint(); // Qt's size of an empty header
    return sectionSizeFromContents(0).expandedTo(sectionSizeFromContents(rows - 1));
}
