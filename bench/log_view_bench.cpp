// The log tab's view of the on-screen log while it is shown and follows the end: the cost of
// one new log line, from the log's AddToLog until the event loop has shown it (the line
// announced to the view, the view scrolled to it and painted), with 1,000,000 lines held
// against the same with 1,000 held. A new line should cost the same whatever the log
// holds: goal <= 2x, in CPU time (painting on a shared machine swings the wall time).

#include "base/Environment.h"
#include "base/OperationLog.h"
#include "bench/BenchReport.h"
#include "shell/ui/LogView.h"

#include <QApplication>
#include <QScrollBar>

namespace {

QString Message(int number)
{
    return QStringLiteral("Транзакция номер %1 [B 3 SBER at 250.50]  по счету C1 отправлена в Quik.").arg(number);
}

void NewLineWhileFollowing(benchmark::State& state)
{
    const int held = int(state.range(0));
    TEnvironment environment;
    environment.Regional = TRegional::Russian();
    TOperationLog log(environment);
    for (int i = 0; i < held; ++i)
        log.AddToLog(Message(i));
    TLogView view(log.Lines());
    view.resize(900, 400);
    view.show();
    QApplication::processEvents();
    view.scrollToBottom();
    QApplication::processEvents();

    int number = held;
    for (auto _ : state) {
        log.AddToLog(Message(number++));
        QApplication::processEvents();
    }

    const QScrollBar* bar = view.verticalScrollBar();
    if (view.model()->rowCount() != log.LineCount() || bar->maximum() <= 0 || bar->value() != bar->maximum())
        state.SkipWithError("the view did not show every line or did not follow the end");
}
BENCHMARK(NewLineWhileFollowing)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMicrosecond)->MinTime(1);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    TRecordingReporter reporter;
    RunRecorded(argc, argv, reporter);
    ReportRatio("log view, CPU time of a new line with 1,000,000 lines held against 1,000",
                reporter.Cpu("NewLineWhileFollowing/1000000"), reporter.Cpu("NewLineWhileFollowing/1000"), 2.0);
    return 0;
}
