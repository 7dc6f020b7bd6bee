// The cost of a result-file pass that finds one new line, for result files of different
// lengths: a pass reads what is new, so the cost should not grow with the file.
#include "data/Settings.h"
#include "shell/CodePage.h"
#include "shell/Environment.h"
#include "shell/OperationLog.h"
#include "trade/ResultReader.h"

#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

// Bookings that cost nothing, so the benchmark measures the reading.
class TNoBookings : public TResultBookings {
public:
    std::optional<TTroLookup> LookUp(int) override { return std::nullopt; }
    void UpdateOrderNumber(bool, int) override {}
    void BookResult(const TResultLine&) override {}
};

void AppendLine(QFile& file, int transId)
{
    // Status 2 is booked without a log line.
    file.write(ToCp1251(QStringLiteral("TRANS_ID=%1;STATUS=2;TRANS_NAME=\"Ввод заявки\";DESCRIPTION=\"Отвергнута\";ORDER_NUMBER=0;\r\n")
                            .arg(transId)));
    file.flush();
}

void PassWithOneNewLine(benchmark::State& state)
{
    QTemporaryDir dir;
    TEnvironment environment;
    TSettings settings;
    settings.edtTRO = dir.filePath(QStringLiteral("trans.tro"));
    TOperationLog log(environment);
    TNoBookings bookings;
    TResultReader reader(settings, log, bookings);

    QFile file(settings.edtTRO);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        state.SkipWithError("cannot create the result file");
        return;
    }
    const int existing = static_cast<int>(state.range(0));
    for (int i = 1; i <= existing; ++i)
        AppendLine(file, i);
    reader.actCheckTROExecute();

    int transId = existing;
    for (auto _ : state) {
        AppendLine(file, ++transId);
        reader.actCheckTROExecute();
    }
    state.counters["lines"] = reader.TroLineCount();
}

} // namespace

BENCHMARK(PassWithOneNewLine)->Arg(1000)->Arg(100000);

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
