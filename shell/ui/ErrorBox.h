#pragma once

#include <QPointer>
#include <QString>

class QMessageBox;
class TOperationLog;

// The standard error box for failures nobody caught. Show() opens the box and returns at
// once: the box mostly opens inside a timer's tick, and Qt does not deliver a timer's
// next tick while its previous one is still running, so a box that waited for OK there
// would hold up every later table tick (orders and results alike) until someone pressed
// it. The box still keeps the operator from the window behind it until OK is pressed.
// One box at a time: while it is open, further failures (a fault that repeats every
// tick, say) go to the operation log instead, and the operator sees them there.
class TErrorBox {
public:
    TErrorBox() = default;
    TErrorBox(const TErrorBox&) = delete;
    TErrorBox& operator=(const TErrorBox&) = delete;
    ~TErrorBox();

    void Show(const QString& text);
    // The box for a failure after which the program ends: nothing is left running that
    // it could hold up, so it waits until the operator has read it.
    static void ShowAndWait(const QString& text);
    void SetLog(TOperationLog* log) { FLog = log; }

private:
    TOperationLog* FLog = nullptr;
    QPointer<QMessageBox> FBox; // the open box; none once the operator has closed it
};
