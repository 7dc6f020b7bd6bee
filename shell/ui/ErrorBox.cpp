#include "shell/ui/ErrorBox.h"

#include "base/OperationLog.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>

void TErrorBox::Show(const QString& text)
{
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    if (FShowing) {
        if (FLog) {
            FLog->AddToLog(text);
            FLog->SaveLogQuietly(); // the lines stay for the next save
        }
        return;
    }
    FShowing = true;
    QMessageBox::critical(QApplication::activeWindow(), QStringLiteral("Zovrant v 2.1"), text);
    FShowing = false;
}
