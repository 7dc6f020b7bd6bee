#include "base/Error.h"
#include "base/OperationLog.h"
#include "shell/MainCore.h"
#include "shell/ui/ErrorBox.h"
#include "shell/ui/MainWindow.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zovrant"));
    QApplication::setQuitOnLastWindowClosed(true);

    TEnvironment environment;
    environment.ShowMessage = [](const QString& text) {
        QMessageBox::information(QApplication::activeWindow(), QStringLiteral("Zovrant v 2.1"), text);
    };
    environment.Confirm = [](const QString& text) {
        return QMessageBox::question(QApplication::activeWindow(), QStringLiteral("Zovrant v 2.1"), text)
               == QMessageBox::Yes;
    };
    environment.Beep = [] { QApplication::beep(); };
    TErrorBox errorBox;
    environment.ReportError = [&errorBox](const QString& text) { errorBox.Show(text); };

    // The log file is opened before any window and closed after the last one: it lives
    // in the working directory, and a second instance started there must not run.
    TOperationLog log(environment);
    try {
        log.OpenFile(QDir::current().filePath(QStringLiteral("Zovrant.log")));
    } catch (const std::exception& error) {
        TErrorBox::ShowAndWait(ErrorText(error) + QStringLiteral("\nZovrant не запущен."));
        return 1;
    }

    errorBox.SetLog(&log);
    int result = 0;
    {
        TMainCore core(environment, log, QApplication::applicationDirPath() + QLatin1Char('/'));
        TfmMain window(core);
        core.RunGuarded([&core] { core.Watch().StartUp(); });
        window.showMaximized();
        result = QApplication::exec();
        // The notifications still queued get a few seconds to go out; what is left is
        // logged as not sent while the log file is still open.
        core.Mailer().Shutdown();
    }
    errorBox.SetLog(nullptr);
    log.CloseFile();
    return result;
}
