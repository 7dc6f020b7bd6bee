#pragma once

#include "intake/WatchState.h"

#include <QString>
#include <functional>

class TDatMod;
class TOperationLog;
class TSettings;

// What the watch loop calls in the other subsystems and in the window. Each hook is
// wired by the object that owns the operation; an unset hook is skipped.
struct TWatchHooks {
    // The database connect procedure; true when both databases are open.
    std::function<bool()> ConnectToBases;
    // Alert-table readers of the watch cycle.
    std::function<void()> LoadCanceledOrders;
    std::function<void(bool allRows)> LoadFilledOrders;
    std::function<void()> LoadActiveOrders;
    // Appends pending transaction lines to the import file.
    std::function<void()> WriteTransFile;
    // The result file reader, run on every table tick.
    std::function<void()> CheckTRO;
    // Size of the terminal's info.log, the starting point of the link check.
    std::function<void()> ReadInfoLogAtStart;
    // Window: totals under the portfolio grid, the watch icon frame, the commands.
    std::function<void()> UpdatePortfolioSum;
    std::function<void(int frame)> ShowWatchIcon;
    std::function<void()> CommandsChanged;
    // Arms the table timer after a successful connection.
    std::function<void()> ArmTableTimer;
};

// The spine of the program: the start-up sequence, the connect command, the commands that
// start and stop watching, the table tick and the watch cycle.
class TWatchLoop {
public:
    TWatchLoop(TSettings& settings, TDatMod& datMod, TOperationLog& log, TWatchHooks hooks);

    TWatchState State;
    // Enabled states of the two watch commands; both disabled until the first connection.
    bool actStartWatchEnabled = false;
    bool actStopWatchEnabled = false;

    // Start-up steps after the windows and the data module exist: the terminal's files
    // are reset, the databases connected when the settings say so, the first info.log
    // size taken, the log saved.
    void StartUp();
    void actConnectToBaseExecute();
    void actStartWatchExecute();
    void actStopWatchExecute();
    void timTable();
    void actWatchingExecute();

    TWatchHooks& Hooks() { return FHooks; }

private:
    void ResetTerminalFiles();

    TSettings& FSettings;
    TDatMod& FDatMod;
    TOperationLog& FLog;
    TWatchHooks FHooks;
};

// The result file's companion: its path with the extension replaced by ".TRR".
QString CompanionTrrPath(const QString& resultPath);
