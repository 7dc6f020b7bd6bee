// The table tick re-reads every alert table; its cost should grow with the rows, no faster.

#include "data/DatMod.h"
#include "data/Schemas.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

void FillAlerts(const QString& path, int rows)
{
    const QString name = QStringLiteral("bench-fill");
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        database.setDatabaseName(path);
        database.open();
        database.transaction();
        QSqlQuery query(database);
        query.prepare(QStringLiteral("INSERT INTO FilledOrders (Symbol, Description, OrderType, [Order], [Fill Price], "
                                     "[Time Filled], System, Workspace, Interval) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        for (int i = 0; i < rows; ++i) {
            query.addBindValue(QStringLiteral("SBER"));
            query.addBindValue(QStringLiteral("Сбербанк"));
            query.addBindValue(QStringLiteral("LE"));
            query.addBindValue(QStringLiteral("Buy 10 at 25.5 Limit"));
            query.addBindValue(25.5 + i);
            query.addBindValue(QStringLiteral("2008-12-09 10:30:05"));
            query.addBindValue(QStringLiteral("Channel(10)"));
            query.addBindValue(QStringLiteral("C:\\Omega\\Work.wsp"));
            query.addBindValue(QStringLiteral("5 min"));
            query.exec();
        }
        database.commit();
    }
    QSqlDatabase::removeDatabase(name);
}

void BM_RefreshAlertTable(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Alerts.db"));
    CreateAlertDatabase(path);
    FillAlerts(path, int(state.range(0)));
    TEnvironment environment;
    TDatMod datMod(environment);
    datMod.conOmega.Open(path);
    datMod.tFilledOrders.Open();
    datMod.tFilledOrders.Last();
    for (auto _ : state) {
        RefreshTable(datMod.tFilledOrders);
        benchmark::DoNotOptimize(datMod.tFilledOrders.RecNo());
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_RefreshAlertTable)->RangeMultiplier(10)->Range(100, 100000)->Unit(benchmark::kMillisecond)->Complexity();

void BM_GetLastId(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Alerts.db"));
    CreateAlertDatabase(path);
    FillAlerts(path, int(state.range(0)));
    TEnvironment environment;
    TDatMod datMod(environment);
    datMod.conOmega.Open(path);
    datMod.tFilledOrders.Open();
    for (auto _ : state)
        benchmark::DoNotOptimize(datMod.GetLastId(datMod.tFilledOrders));
}
BENCHMARK(BM_GetLastId)->Arg(100000)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
