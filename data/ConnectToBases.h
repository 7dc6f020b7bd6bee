#pragma once

#include <functional>

class TDatMod;
class TOperationLog;
class TSettings;

// What the connect procedure calls in the windows; an empty function is skipped.
struct TConnectHooks {
    std::function<void()> UpdateStatusBar;    // shows both connection states
    std::function<void()> TableTick;          // the table tick, run once after connecting
    std::function<void()> UpdateSumList;      // footer sums of the securities grid
    std::function<void()> UpdatePortfolioSum; // footer sums of the portfolio grid
};

// Opens the alert database (settings.edtAlerts) and the bridge database
// (settings.edtQuikData), logging one line for each; true when both are open. Then runs
// the table tick once and opens the bridge tables the windows work with. The log is
// saved in every case; an error after both connections opened is thrown after saving.
bool ConnectToBases(TSettings& settings, TDatMod& datMod, TOperationLog& log, const TConnectHooks& hooks);
