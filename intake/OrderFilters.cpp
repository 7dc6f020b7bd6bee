#include "intake/OrderFilters.h"

#include "base/Environment.h"
#include "base/Error.h"
#include "data/DatMod.h"
#include "data/SessionTime.h"
#include "data/Settings.h"

const QString TOrderFilters::WorkspaceFailed = QStringLiteral("Фильтр рабочей области не пройден. ");
const QString TOrderFilters::StrategyFailed = QStringLiteral("Фильтр стратегии не пройден. ");
const QString TOrderFilters::TimeFailed = QStringLiteral("Фильтр времени торговой сессии не пройден.");

namespace {

// Finds the row whose column equals the name as a whole, without regard to case; the
// found row becomes the table's current row. A closed list would accept nothing, which
// is not the operator's choice, so it is a failure.
bool Listed(TTable& table, const QString& column, const QString& name)
{
    if (!table.Active())
        throw TError(QStringLiteral("Таблица %1 закрыта.").arg(table.TableName()));
    return table.Locate(column, name);
}

} // namespace

QString StrategyName(const QString& system)
{
    const QString name = system.section(QLatin1Char('('), 0, 0);
    return name.isEmpty() ? system : name;
}

TOrderFilters::TOrderFilters(TDatMod& datMod, const TSettings& settings, const TEnvironment& environment)
    : FDatMod(datMod), FSettings(settings), FEnvironment(environment)
{
}

bool TOrderFilters::WorkspaceAccepted(const TOmegaOrder& order)
{
    return Listed(FDatMod.tWorkSpaces(), QStringLiteral("workspace"), WorkspaceFileName(order.Workspace));
}

bool TOrderFilters::StrategyAccepted(const TOmegaOrder& order)
{
    return Listed(FDatMod.tStrategy(), QStringLiteral("strategy"), StrategyName(order.System));
}

bool TOrderFilters::InTradingSession()
{
    // Both ends belong to the session. The end is read only when the start has passed.
    if (FEnvironment.Now().time() < SessionTime(FSettings.edtTime1))
        return false;
    return !(FEnvironment.Now().time() > SessionTime(FSettings.edtTime2));
}

bool TOrderFilters::CheckFilters(const TOmegaOrder& order, QString& reason)
{
    bool passed = true;
    if (!WorkspaceAccepted(order)) {
        reason = WorkspaceFailed;
        passed = false;
    }
    if (!StrategyAccepted(order)) {
        reason += StrategyFailed;
        passed = false;
    }
    if (!InTradingSession()) {
        reason += TimeFailed;
        passed = false;
    }
    return passed;
}
