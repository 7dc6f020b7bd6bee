#pragma once

#include "trade/OmegaOrder.h"

#include <QString>

class TDatMod;
class TSettings;
class TTable;
struct TEnvironment;

// The three filters every strategy order read by the intake passes before it is sent:
// its workspace and its strategy must be listed in the bridge database, and the time of
// day must lie in the trading session of the settings. Reads the lists and the settings
// at the moment of the check.
class TOrderFilters {
public:
    TOrderFilters(TDatMod& datMod, const TSettings& settings, const TEnvironment& environment);

    // True when all three filters pass. All three are always checked, in the order
    // workspace, strategy, time; the texts of the failed ones are left in reason (the
    // workspace text replaces what reason held, the others are appended). Throws TError
    // when a list table is closed or a session time setting is not a time of day.
    bool CheckFilters(const TOmegaOrder& order, QString& reason);

    static const QString WorkspaceFailed;
    static const QString StrategyFailed;
    static const QString TimeFailed;

private:
    bool WorkspaceAccepted(const TOmegaOrder& order);
    bool StrategyAccepted(const TOmegaOrder& order);
    bool InTradingSession();

    TDatMod& FDatMod;
    const TSettings& FSettings;
    const TEnvironment& FEnvironment;
};

// The name a strategy is listed under: the System text before its first "(", or the
// whole text when that part is empty. Nothing is trimmed.
QString StrategyName(const QString& system);
