// The demo without a display: runs Zovrant's core and main window offscreen on a demo
// folder prepared by scripts/run-demo, starts the terminal simulator and the strategy
// platform simulator, watches for a short scripted session, then prints what happened
// (transaction lines, results, bookings, log lines), shows the kill switch withdrawing a
// resting order, writes a picture of the main window after it and one of each tab, of the
// About window, of the clients dialog, of the open "Файл" menu beside it, of each page of
// the settings dialog and of the order ticket of a manual command (cancelled, so nothing
// is sent), and exits.
//   zovrant-demo --folder DIR --script FILE [--seconds N] [--picture FILE]
// DIR holds Zovrant.ini, both databases and the terminal's files; Zovrant.log is written
// in the working directory, as the program does. Each simulator is waited for until it
// prints its ready line (SimulatorReady.h) before the session goes on; what they print
// afterwards is passed on.

#include "base/CodePage.h"
#include "base/Error.h"
#include "base/OperationLog.h"
#include "data/RestingOrders.h"
#include "shell/MainCore.h"
#include "shell/ui/About.h"
#include "shell/ui/Clients.h"
#include "shell/ui/DataGrid.h"
#include "shell/ui/MainWindow.h"
#include "shell/ui/OptionsDialog.h"
#include "shell/ui/TicketDialog.h"
#include "tools/SimulatorReady.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>
#include <functional>

namespace {

void Print(const QString& text)
{
    std::fputs(text.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void PrintFile(const QString& title, const QString& path)
{
    Print(QStringLiteral("--- %1 (%2)").arg(title, path));
    QFile file(path);
    if (file.open(QIODevice::ReadOnly))
        Print(FromCp1251(file.readAll()).trimmed());
}

void PrintTable(const QString& title, const QString& path, const QString& statement)
{
    Print(QStringLiteral("--- %1").arg(title));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("demo-print"));
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery query(db);
            query.exec(statement);
            const QSqlRecord record = query.record();
            QStringList header;
            for (int i = 0; i < record.count(); ++i)
                header << record.fieldName(i);
            Print(header.join(QStringLiteral(" | ")));
            while (query.next()) {
                QStringList row;
                for (int i = 0; i < record.count(); ++i)
                    row << query.value(i).toString();
                Print(row.join(QStringLiteral(" | ")));
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("demo-print"));
}

// Prints the complete lines a simulator has written on its standard output.
void PassOnLines(QProcess& process)
{
    while (process.canReadLine())
        Print(QString::fromUtf8(process.readLine()).trimmed());
}

// Starts a simulator and waits for its ready line; then passes on what it prints. False,
// with the reason printed, when it does not get ready.
bool StartSimulator(QProcess& process, const QString& program, const QStringList& arguments)
{
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    const QString error = WaitForReadyLine(process);
    if (!error.isEmpty()) {
        Print(QStringLiteral("ERROR: ") + error);
        return false;
    }
    QObject::connect(&process, &QProcess::readyReadStandardOutput, [&process] { PassOnLines(process); });
    PassOnLines(process);
    return true;
}

// The clients dialog as the clients command shows it, drawn without waiting on it.
QString SaveClientsPicture(TfmMain& window, const QString& stem)
{
    const QString path = stem + QStringLiteral("-clients.png");
    window.fmClients->show();
    window.fmClients->grab().save(path);
    window.fmClients->hide();
    return path;
}

// Beside PICTURE.png: PICTURE-tab1.png to -tab8.png, PICTURE-about.png, PICTURE-clients.png,
// PICTURE-menu.png, PICTURE-options1.png to -options6.png (the last the risk controls),
// PICTURE-ticket.png.
void SavePictures(TfmMain& window, const QString& picture)
{
    const QFileInfo info(picture);
    const QString stem = info.absoluteDir().filePath(info.completeBaseName());
    const int shown = window.PageControl1->currentIndex();
    QStringList saved;
    for (int i = 0; i < window.PageControl1->count(); ++i) {
        window.PageControl1->setCurrentIndex(i);
        saved << QStringLiteral("%1-tab%2.png").arg(stem).arg(i + 1);
        window.grab().save(saved.last());
    }
    window.PageControl1->setCurrentIndex(shown);

    window.actAbout->trigger();
    saved << stem + QStringLiteral("-about.png");
    window.fmAbout->grab().save(saved.last());
    window.fmAbout->hide();
    saved << SaveClientsPicture(window, stem);

    // A menu opens as a window of its own: it is drawn onto the main window under its title.
    if (auto* menu = window.findChild<QMenu*>(QStringLiteral("mnFile"))) {
        QPixmap shot = window.grab();
        menu->adjustSize();
        QMenuBar* bar = window.menuBar();
        const QPoint at = bar->mapTo(&window, bar->actionGeometry(menu->menuAction()).bottomLeft());
        QPainter painter(&shot);
        painter.drawPixmap(at, menu->grab());
        painter.end();
        saved << stem + QStringLiteral("-menu.png");
        shot.save(saved.last());
    }
    // The settings dialog as the settings command shows it, one picture per page. It is
    // hidden afterwards without closing, so that its cycle neither saves nor reloads.
    TfmOpt* options = window.fmOpt;
    const int optionsPage = options->PageControl1->currentIndex();
    options->Execute();
    for (int i = 0; i < options->PageControl1->count(); ++i) {
        options->PageControl1->setCurrentIndex(i);
        saved << QStringLiteral("%1-options%2.png").arg(stem).arg(i + 1);
        options->grab().save(saved.last());
    }
    options->PageControl1->setCurrentIndex(optionsPage);
    options->hide();

    // The ticket of "Выставить ордер вручную" for the first filled order, then cancelled:
    // the log shows that nothing was sent.
    window.PageControl1->setCurrentWidget(window.RxDBGrid4);
    if (window.RxDBGrid4->model()->rowCount() > 0) {
        window.RxDBGrid4->selectRow(0);
        window.actSendNewOrderManual->trigger();
        if (window.fmTicket->isVisible()) {
            saved << stem + QStringLiteral("-ticket.png");
            window.fmTicket->grab().save(saved.last());
            window.fmTicket->reject();
        }
    }
    window.PageControl1->setCurrentIndex(shown);

    for (const QString& path : saved)
        Print(QStringLiteral("--- picture: ") + path);
}

// Runs the table tick and the event loop until the condition holds or 15 s have passed.
bool TickUntil(TMainCore& core, const std::function<bool()>& condition)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 15000) {
        core.RunGuarded([&core] { core.Watch().timTable(); });
        if (condition())
            return true;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return condition();
}

// How many orders of the transaction report rest as far as the report tells.
qsizetype RestingCount(TMainCore& core)
{
    qsizetype count = 0;
    core.RunGuarded([&] { count = RestingOrders(ReadTransactionReport(core.DatMod())).size(); });
    return count;
}

// The kill switch at the end of the session: the strategy places a limit order below the
// market, which rests at the terminal; "Аварийная остановка" withdraws it and blocks new
// orders. PICTURE-kill-switch.png shows the window after the withdrawal was answered, on
// the transaction report.
void ShowKillSwitch(TMainCore& core, TfmMain& window, const QString& tools, const QDir& folder, const QString& picture)
{
    Print(QStringLiteral("--- kill switch"));
    const QString script = folder.filePath(QStringLiteral("kill-switch.txt"));
    QFile file(script);
    if (!file.open(QIODevice::WriteOnly)
        || file.write("set | symbol | SBER\nset | system | Trend(5,10)\nset | workspace | C:\\Omega\\MyWork\\Demo.wsp\n"
                      "active | k1 | LE | Buy 10 at 240.00 Limit\n") < 0) {
        Print(QStringLiteral("ERROR: cannot write ") + script);
        return;
    }
    file.close();
    QProcess platform;
    if (!StartSimulator(platform, tools + QStringLiteral("/zovrant-platform-sim"),
                        {QStringLiteral("--db"), core.Settings().edtAlerts, QStringLiteral("--script"), script}))
        return;
    // The session's market orders were filled at once, but the report cannot tell: the
    // kill switch tries them too, and the terminal refuses those withdrawals.
    const qsizetype before = RestingCount(core);
    platform.waitForFinished(15000);
    if (!TickUntil(core, [&] { return RestingCount(core) > before; }))
        Print(QStringLiteral("ERROR: no order rests at the terminal"));
    core.actKillSwitchExecute();
    if (!TickUntil(core, [&core] { return RestingCount(core) == 0; }))
        Print(QStringLiteral("ERROR: the withdrawal was not answered"));
    const QFileInfo info(picture);
    const QString path = info.absoluteDir().filePath(info.completeBaseName() + QStringLiteral("-kill-switch.png"));
    const int shown = window.PageControl1->currentIndex();
    window.PageControl1->setCurrentWidget(window.DBGrid1);
    window.grab().save(path);
    window.PageControl1->setCurrentIndex(shown);
    Print(QStringLiteral("--- picture: ") + path);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption folderOption(QStringLiteral("folder"), QStringLiteral("Demo folder."), QStringLiteral("dir"));
    const QCommandLineOption scriptOption(QStringLiteral("script"), QStringLiteral("Platform simulator script."), QStringLiteral("file"));
    const QCommandLineOption secondsOption(QStringLiteral("seconds"), QStringLiteral("Length of the session (default 8)."), QStringLiteral("n"), QStringLiteral("8"));
    const QCommandLineOption pictureOption(QStringLiteral("picture"), QStringLiteral("PNG of the main window."), QStringLiteral("file"), QStringLiteral("zovrant-window.png"));
    parser.addOptions({folderOption, scriptOption, secondsOption, pictureOption});
    parser.process(application);
    bool secondsOk = false;
    const int seconds = parser.value(secondsOption).toInt(&secondsOk);
    if (!parser.isSet(folderOption) || !parser.isSet(scriptOption) || !secondsOk || seconds < 1) {
        std::fprintf(stderr, "zovrant-demo: give --folder DIR --script FILE [--seconds N]\n");
        return 2;
    }
    const QDir folder(parser.value(folderOption));
    const QString tools = QCoreApplication::applicationDirPath();

    TEnvironment environment;
    environment.ReportError = [](const QString& text) { Print(QStringLiteral("ERROR: ") + text); };
    environment.ShowMessage = [](const QString& text) { Print(QStringLiteral("MESSAGE: ") + text); };
    TOperationLog log(environment);
    try {
        log.OpenFile(QDir::current().filePath(QStringLiteral("Zovrant.log")));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "zovrant-demo: %s\n", qPrintable(ErrorText(error)));
        return 1;
    }

    int result = 0;
    {
        TMainCore core(environment, log, folder.absolutePath() + QLatin1Char('/'));
        TfmMain window(core);
        window.resize(1200, 700);
        core.RunGuarded([&core] { core.Watch().StartUp(); });
        window.show();

        // The terminal follows the emptied import file before anything can be written to it.
        QProcess terminal;
        QProcess platform;
        bool started = StartSimulator(terminal, tools + QStringLiteral("/zovrant-terminal-sim"),
                                      {QStringLiteral("--tri"), core.Settings().edtTRI, QStringLiteral("--tro"),
                                       core.Settings().edtTRO, QStringLiteral("--info-log"), core.Settings().edtInfoLog,
                                       QStringLiteral("--delay-ms"), QStringLiteral("500")});
        if (started) {
            core.RunGuarded([&core] {
                if (!core.DatMod().conOmega().Connected())
                    core.Watch().actConnectToBaseExecute();
                core.Watch().actStartWatchExecute();
            });
            started = StartSimulator(platform, tools + QStringLiteral("/zovrant-platform-sim"),
                                     {QStringLiteral("--db"), core.Settings().edtAlerts, QStringLiteral("--script"),
                                      parser.value(scriptOption)});
        }

        // Without both simulators the session ends at once, with status 1.
        QTimer::singleShot(started ? seconds * 1000 : 0, &application, [&] {
            if (!started) {
                terminal.kill();
                terminal.waitForFinished();
                platform.kill();
                platform.waitForFinished();
                application.exit(1);
                return;
            }
            ShowKillSwitch(core, window, tools, folder, parser.value(pictureOption));
            // Trading resumes, so that the pictures after it (the order ticket among them)
            // show the desk as it works.
            core.actResumeTradingExecute();
            if (core.Watch().Watching())
                core.RunGuarded([&core] { core.Watch().actStopWatchExecute(); });
            window.PageControl1->setCurrentIndex(window.PageControl1->count() - 1);
            // The log's view hears of new lines when the event loop next runs; the picture
            // is taken before that, and is to show the lines just logged too.
            core.Log().Lines().AnnouncePending();
            const QString picture = parser.value(pictureOption);
            window.grab().save(picture);
            SavePictures(window, picture);
            terminal.kill();
            terminal.waitForFinished();
            platform.waitForFinished(2000);
            PassOnLines(platform);
            PrintFile(QStringLiteral("transaction import file"), core.Settings().edtTRI);
            PrintFile(QStringLiteral("transaction result file"), core.Settings().edtTRO);
            PrintTable(QStringLiteral("tOrderNumber (bookings)"), core.Settings().edtQuikData,
                       QStringLiteral("SELECT trans_id, id_order, filled, code, status, order_number, trans_name FROM tOrderNumber ORDER BY trans_id"));
            PrintTable(QStringLiteral("tClientOpenPositions"), core.Settings().edtQuikData,
                       QStringLiteral("SELECT code, symbol, Position, quantity, System FROM tClientOpenPositions"));
            PrintTable(QStringLiteral("alert orders and their Order Number"), core.Settings().edtAlerts,
                       QStringLiteral("SELECT 'Active' AS kind, ID, [Order], [Order Number] FROM ActiveOrders UNION ALL "
                                      "SELECT 'Filled', ID, [Order], [Order Number] FROM FilledOrders UNION ALL "
                                      "SELECT 'Canceled', ID, [Order], [Order Number] FROM CanceledOrders"));
            Print(QStringLiteral("--- operation log"));
            for (int i = 0; i < log.LineCount(); ++i)
                Print(log.Line(i));
            Print(QStringLiteral("--- picture of the main window: ") + QFileInfo(picture).absoluteFilePath());
            application.quit();
        });
        result = QApplication::exec();
    }
    log.CloseFile();
    return result;
}
