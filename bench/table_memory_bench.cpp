// Resident memory of the program with 1,000,000 rows in each of the four alert tables and
// the main window shown (offscreen) with every tab visited, so that each grid has painted
// its rows: connected, watching, after a few table ticks. Goal <= 300 MB. Measured with both
// databases opened as SQLite files, then through ODBC as Access files are: the program runs
// itself again for the second (each figure the resident memory of its own process).
// ZOVRANT_BENCH_ALERT_ROWS sets another number of rows per table for a quick run (the
// goal is then scaled by nothing: the figure is printed with the rows it was measured at).

#include "bench/BenchCore.h"
#include "bench/BenchReport.h"
#include "shell/ui/DataGrid.h"
#include "shell/ui/MainWindow.h"

#include <QApplication>
#include <QProcess>
#include <QElapsedTimer>
#include <QFile>
#include <QTabWidget>
#include <cstdio>

namespace {

// The rows of every alert table made by SQLite itself in one statement per table, in one
// transaction: a million rows a table in seconds.
void FillAlerts(const QString& path, int rows)
{
    TBenchConnection alerts(path);
    const QString numbers = QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) ").arg(rows);
    QSqlDatabase database = alerts.Database();
    database.transaction();
    for (const QString& insert : {FilledInsert(), ActiveInsert(), CanceledInsert(), OpenPositionInsert()}) {
        // "INSERT INTO T (columns) VALUES (values)" becomes "... INSERT INTO T (columns) SELECT values FROM n".
        QString statement = insert;
        const qsizetype values = statement.indexOf(QStringLiteral("VALUES ("));
        statement = statement.left(values) + QStringLiteral("SELECT ") + statement.mid(values + 8);
        statement.chop(1);
        statement = numbers + statement + QStringLiteral(" FROM n");
        QSqlQuery query(database);
        if (!query.exec(statement))
            throw std::runtime_error(query.lastError().text().toStdString());
    }
    if (!database.commit())
        throw std::runtime_error(database.lastError().text().toStdString());
}

// A line of /proc/self/status in megabytes: VmRSS now, VmHWM the most held at any time.
double StatusMegabytes(const QByteArray& key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key + ':'))
            return line.mid(key.size() + 1).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return 0;
}

QString OdbcSource(const QString& path)
{
    return QStringLiteral("Driver=SQLite3;Database=%1;NoCreat=1;Timeout=5000;").arg(path);
}

const char* const OdbcArgument = "--odbc";

// The same measure through ODBC, in a process of its own; its output is passed on.
void MeasureOdbcInAnotherProcess()
{
    std::fflush(stdout); // this process's lines first
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(OdbcArgument)});
    if (!child.waitForFinished(-1) || child.exitCode() != 0)
        std::printf("resident memory through ODBC: the measuring process failed: MISSED\n");
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const bool odbc = argc > 1 && qstrcmp(argv[1], OdbcArgument) == 0;
    bool ok = false;
    int rows = qEnvironmentVariableIntValue("ZOVRANT_BENCH_ALERT_ROWS", &ok);
    if (!ok || rows <= 0)
        rows = 1000000;

    QElapsedTimer filling;
    filling.start();
    TBenchCore bench(3);
    FillAlerts(bench.AlertsPath, rows);
    std::printf("%d rows per alert table made in %.1f s\n", rows, filling.elapsed() / 1000.0);

    if (odbc) {
        bench.Core->Settings().edtAlerts = OdbcSource(bench.AlertsPath);
        bench.Core->Settings().edtQuikData = OdbcSource(bench.BridgePath);
    }
    const char* const engine = odbc ? " through ODBC" : "";

    const double before = StatusMegabytes("VmRSS");
    QElapsedTimer opening;
    opening.start();
    TfmMain window(*bench.Core);
    window.resize(992, 712);
    window.show();
    bench.StartWatching();
    QApplication::processEvents();
    std::printf("connected%s and shown in %.1f s\n", engine, opening.elapsed() / 1000.0);
    for (int i = 0; i < window.PageControl1->count(); ++i) {
        window.PageControl1->setCurrentIndex(i);
        QApplication::processEvents();
        bench.Core->Watch().timTable();
        QApplication::processEvents();
    }
    // The operator scrolls the filled orders' grid to its end, then to its middle: each a
    // page of rows read and painted.
    for (int i = 0; i < window.PageControl1->count(); ++i) {
        if (window.PageControl1->widget(i)->isAncestorOf(window.RxDBGrid4))
            window.PageControl1->setCurrentIndex(i);
    }
    QApplication::processEvents();
    QElapsedTimer scrolling;
    scrolling.start();
    window.RxDBGrid4->scrollToBottom();
    QApplication::processEvents();
    const qint64 toEnd = scrolling.nsecsElapsed();
    scrolling.restart();
    window.RxDBGrid4->scrollTo(window.RxDBGrid4->model()->index(rows / 2, 0));
    QApplication::processEvents();
    std::printf("filled orders' grid%s scrolled to its end in %.1f ms, to its middle in %.1f ms\n", engine, toEnd / 1e6,
                scrolling.nsecsElapsed() / 1e6);
    const double figure = StatusMegabytes("VmRSS");
    const int filled = bench.Core->DatMod().tFilledOrders().RecordCount();
    if (filled != rows) {
        std::printf("resident memory%s with the grids attached: the filled orders' grid shows %d rows of %d: MISSED\n",
                    engine, filled, rows);
    } else {
        const double goal = 300;
        std::printf("resident memory%s, %d rows per alert table, grids attached: figure %.1f MB (%.1f MB before "
                    "connecting, at most %.1f MB meanwhile), %.0f bytes per alert row over that (goal <= %.0f MB): %s\n",
                    engine, rows, figure, before, StatusMegabytes("VmHWM"), (figure - before) * 1024 * 1024 / (4.0 * rows), goal,
                    figure <= goal ? "met" : "MISSED");
    }
    if (!odbc)
        MeasureOdbcInAnotherProcess();
    return 0;
}
