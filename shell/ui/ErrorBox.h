#pragma once

#include <QString>

class TOperationLog;

// The standard error box for failures nobody caught. Timer ticks go on while the box is
// open, so a failure that repeats every tick (an import file that cannot be written, say)
// would open box upon box inside each other until the stack runs out. While one box is
// open, further failures go to the operation log instead, and the operator sees them there.
class TErrorBox {
public:
    void Show(const QString& text);
    void SetLog(TOperationLog* log) { FLog = log; }

private:
    TOperationLog* FLog = nullptr;
    bool FShowing = false;
};
