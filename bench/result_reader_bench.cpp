// One pass of the result reader that finds 10 new lines (10 executed transactions, booked
// through the data module in the SQLite bridge file and linked back in the alert file)
// after 100,000 lines read by earlier passes, against the same after 100 old lines.
// A pass reads what is new, so the old lines should cost next to nothing: goal <= 1.5x.
// The same pass again with the transaction report holding 50,000 rows of earlier
// transactions, against the same with 500: each line is looked up and booked by its
// transaction number, which should cost next to nothing more in a bigger report: goal
// <= 1.5x, in CPU time (the bookings' disk syncs swing the wall time).

#include "base/CodePage.h"
#include "bench/BenchCore.h"
#include "bench/BenchReport.h"
#include "trade/DatModResultBookings.h"
#include "trade/ResultReader.h"

#include <QCoreApplication>
#include <optional>

namespace {

const int NewLines = 10;

// The data module's bookings, switched off while the old lines are read in the setup:
// those lines were booked by passes before the one measured.
class TSwitchedBookings : public TResultBookings {
public:
    explicit TSwitchedBookings(TResultBookings& bookings) : FBookings(bookings) {}
    bool On = false;
    std::optional<TTransactionRow> LookUp(int transId) override
    {
        // The old lines name transactions of this bridge too.
        return On ? FBookings.LookUp(transId) : std::optional<TTransactionRow>(TTransactionRow{});
    }
    void UpdateOrderNumber(bool filled, qint64 idOrder) override
    {
        if (On)
            FBookings.UpdateOrderNumber(filled, idOrder);
    }
    void BookResult(const TResultLine& result) override
    {
        if (On)
            FBookings.BookResult(result);
    }

private:
    TResultBookings& FBookings;
};

QByteArray ResultLine(int transId, int status)
{
    return ToCp1251(QStringLiteral("TRANS_ID=%1;STATUS=%2;TRANS_NAME=\"Ввод заявки\";DESCRIPTION=\"Заявка исполнена\";"
                                   "ORDER_NUMBER=%3;\r\n")
                        .arg(transId)
                        .arg(status)
                        .arg(100000 + transId));
}

// Transaction numbers of the report rows of earlier transactions: far above the numbers
// of the new lines.
const int EarlierTransactions = 1000000000;

// Passes over a result file of oldLines lines read before, the transaction report holding
// reportRows rows of earlier transactions besides the 10 of the new lines.
void PassesWithTenNewLines(benchmark::State& state, int oldLines, int reportRows)
{
    TBenchCore bench(0);
    bench.StartWatching();
    TMainCore& core = *bench.Core;
    TBenchConnection alerts(bench.AlertsPath);
    TBenchConnection bridge(bench.BridgePath);
    // The strategy orders the transactions came from.
    alerts.Rows(FilledInsert(), QList<QVariantList>(NewLines));
    QList<QVariantList> report;
    for (int i = 0; i < reportRows; ++i)
        report << QVariantList{EarlierTransactions + i, 1000 + i / 100, QStringLiteral("C%1").arg(1 + i % 100),
                               200000 + i};
    if (!report.isEmpty())
        bridge.Rows(QStringLiteral("INSERT INTO tOrderNumber (trans_id, id_order, filled, code, status, order_number) "
                                   "VALUES (?, ?, 1, ?, 3, ?)"),
                    report);

    QByteArray old;
    for (int i = 0; i < oldLines; ++i)
        old += ResultLine(1000000 + i, 2);

    // One pass's reader and bookings, kept until the next pass's setup.
    struct TPass {
        explicit TPass(TMainCore& core)
            : BridgeBookings(core.DatMod()), Bookings(BridgeBookings),
              Reader(core.Settings(), core.Log(), Bookings, Events)
        {
        }
        TDatModResultBookings BridgeBookings;
        TSwitchedBookings Bookings;
        TNullEvents Events;
        TResultReader Reader;
    };
    std::optional<TPass> pass;
    int transId = 0;
    for (auto _ : state) {
        state.PauseTiming();
        {
            QFile file(core.Settings().edtTRO);
            if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(old) != old.size()) {
                state.SkipWithError("cannot write the result file");
                break;
            }
        }
        // The previous pass's reader goes here, while the clock is paused: forgetting
        // 100,000 lines read is no part of a pass.
        pass.reset();
        TPass& current = pass.emplace(core);
        TSwitchedBookings& bookings = current.Bookings;
        TResultReader& reader = current.Reader;
        reader.actCheckTROExecute(); // the old lines, read by earlier passes
        // A long pass goes on from the event loop, slice by slice: served to its end.
        while (reader.Continuing())
            QCoreApplication::processEvents();
        bookings.On = true;
        QList<QVariantList> rows;
        QByteArray fresh;
        for (int i = 0; i < NewLines; ++i, ++transId) {
            rows << QVariantList{transId, i + 1, QStringLiteral("C1")};
            fresh += ResultLine(transId, 3);
        }
        bridge.Exec(QStringLiteral("DELETE FROM tOrderNumber WHERE trans_id < ?"), {EarlierTransactions});
        bridge.Rows(QStringLiteral("INSERT INTO tOrderNumber (trans_id, id_order, filled, code) VALUES (?, ?, 1, ?)"), rows);
        {
            QFile file(core.Settings().edtTRO);
            if (!file.open(QIODevice::WriteOnly | QIODevice::Append) || file.write(fresh) != fresh.size()) {
                state.SkipWithError("cannot append to the result file");
                break;
            }
        }
        state.ResumeTiming();

        reader.actCheckTROExecute();

        state.PauseTiming();
        const bool booked = reader.TroLineCount() == oldLines + NewLines && reader.TransDoneCount() == NewLines
            && bridge.Scalar(QStringLiteral("SELECT COUNT(*) FROM tOrderNumber WHERE status = 3")).toInt()
                == NewLines + reportRows;
        state.ResumeTiming();
        if (!booked) {
            state.SkipWithError("the new lines were not all booked");
            break;
        }
    }
}

void PassWithTenNewLines(benchmark::State& state)
{
    PassesWithTenNewLines(state, int(state.range(0)), 0);
}
BENCHMARK(PassWithTenNewLines)->Arg(100)->Arg(100000)->Iterations(40)->Unit(benchmark::kMillisecond)->UseRealTime();

void PassOverReport(benchmark::State& state)
{
    PassesWithTenNewLines(state, 100, int(state.range(0)));
}
BENCHMARK(PassOverReport)->Arg(500)->Arg(50000)->Iterations(40)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    TRecordingReporter reporter;
    RunRecorded(argc, argv, reporter);
    ReportRatio("result file pass, 10 new lines after 100,000 old against after 100",
                reporter.Time("PassWithTenNewLines/100000"), reporter.Time("PassWithTenNewLines/100"), 1.5);
    ReportRatio("result file pass, 10 new lines, report of 50,000 rows against 500, CPU time",
                reporter.Cpu("PassOverReport/50000"), reporter.Cpu("PassOverReport/500"), 1.5);
    return 0;
}
