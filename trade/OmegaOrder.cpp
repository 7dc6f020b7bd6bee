#include "trade/OmegaOrder.h"

#include <algorithm>

void ClearOmegaOrder(TOmegaOrder& order)
{
    // A fresh record is exactly the cleared state.
    order = TOmegaOrder();
}

QString WorkspaceFileName(const QString& workspace)
{
    const qsizetype cut = std::max(workspace.lastIndexOf(QLatin1Char('\\')),
                                   workspace.lastIndexOf(QLatin1Char(':')));
    return workspace.mid(cut + 1);
}
