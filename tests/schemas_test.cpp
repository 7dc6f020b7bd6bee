#include "base/Error.h"
#include "data/Schemas.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>
#include <QUuid>
#include <gtest/gtest.h>

namespace {

struct TToolRun {
    int ExitCode = -1;
    QString Out;
    QString Err;
};

TToolRun RunTool(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(ZOVRANT_TOOLS_DIR "/zovrant-db"), arguments);
    TToolRun run;
    if (!process.waitForFinished(30000))
        return run;
    run.ExitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.Out = QString::fromUtf8(process.readAllStandardOutput());
    run.Err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

// Column names of every table of a SQLite file, read as the file's other users read it.
QMap<QString, QStringList> Columns(const QString& path, QString* journalMode)
{
    QMap<QString, QStringList> result;
    const QString name = QUuid::createUuid().toString();
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        database.setDatabaseName(path);
        if (database.open()) {
            for (const QString& table : database.tables())
                if (!table.startsWith(QStringLiteral("sqlite_"))) {
                    const QSqlRecord record = database.record(table);
                    QStringList names;
                    for (int i = 0; i < record.count(); ++i)
                        names << record.fieldName(i);
                    result.insert(table, names);
                }
            QSqlQuery query(database);
            if (journalMode && query.exec(QStringLiteral("PRAGMA journal_mode")) && query.next())
                *journalMode = query.value(0).toString();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return result;
}

TEST(SchemasTest, ToolCreatesTheAlertDatabaseInWalMode)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Alerts11.db"));
    const TToolRun run = RunTool({QStringLiteral("create-alerts"), path});
    ASSERT_EQ(run.ExitCode, 0) << run.Err.toStdString();
    QString journal;
    const auto columns = Columns(path, &journal);
    EXPECT_EQ(journal, QStringLiteral("wal"));
    EXPECT_EQ(columns.keys(), (QStringList{QStringLiteral("ActiveOrders"), QStringLiteral("CanceledOrders"),
                                           QStringLiteral("FilledOrders"), QStringLiteral("OpenPositions"),
                                           QStringLiteral("ZovrantChanges")}));
    EXPECT_EQ(columns.value(QStringLiteral("FilledOrders")).size(), 22);
    EXPECT_EQ(columns.value(QStringLiteral("ActiveOrders")).size(), 18);
    EXPECT_EQ(columns.value(QStringLiteral("CanceledOrders")).size(), 17);
    EXPECT_EQ(columns.value(QStringLiteral("OpenPositions")).size(), 22);
    for (const QString& table : {QStringLiteral("FilledOrders"), QStringLiteral("ActiveOrders"), QStringLiteral("CanceledOrders")}) {
        const QStringList names = columns.value(table);
        for (const char* column : {"ID", "Symbol", "Description", "OrderType", "Order", "System", "Workspace",
                                   "Signal", "Interval", "Order Number", "Time Placed", "Alert String"})
            EXPECT_TRUE(names.contains(QLatin1String(column))) << table.toStdString() << " " << column;
    }
    EXPECT_TRUE(columns.value(QStringLiteral("FilledOrders")).contains(QStringLiteral("Fill Price")));
    EXPECT_TRUE(columns.value(QStringLiteral("FilledOrders")).contains(QStringLiteral("Time Filled")));
    EXPECT_TRUE(columns.value(QStringLiteral("CanceledOrders")).contains(QStringLiteral("Canceled Number")));
    EXPECT_EQ(columns.value(QStringLiteral("OpenPositions")).first(), QStringLiteral("ID"));
}

// An alert database made without the change journal gets one; anything else is refused and
// left as it was.
TEST(SchemasTest, ToolAddsTheChangeJournalToAnAlertDatabaseOnce)
{
    QTemporaryDir dir;
    auto makeFile = [&dir](const QString& name, const QStringList& statements) {
        const QString path = dir.filePath(name);
        const QString connection = QUuid::createUuid().toString();
        {
            QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
            database.setDatabaseName(path);
            EXPECT_TRUE(database.open());
            QSqlQuery query(database);
            for (const QString& statement : statements)
                EXPECT_TRUE(query.exec(statement)) << statement.toStdString();
        }
        QSqlDatabase::removeDatabase(connection);
        return path;
    };
    const QString alerts = makeFile(QStringLiteral("old-alerts.db"), AlertSchema());
    TToolRun run = RunTool({QStringLiteral("add-journal"), alerts});
    ASSERT_EQ(run.ExitCode, 0) << run.Err.toStdString();
    EXPECT_TRUE(Columns(alerts, nullptr).contains(QStringLiteral("ZovrantChanges")));

    const QString partial = makeFile(QStringLiteral("partial.db"), AlertSchema().mid(0, 2));
    for (const QString& path : {alerts, partial}) {
        const QByteArray before = ReadWholeFile(path);
        run = RunTool({QStringLiteral("add-journal"), path});
        EXPECT_EQ(run.ExitCode, 1) << path.toStdString();
        EXPECT_TRUE(run.Err.contains(path)) << run.Err.toStdString();
        EXPECT_EQ(ReadWholeFile(path), before) << path.toStdString();
    }
    run = RunTool({QStringLiteral("add-journal"), dir.filePath(QStringLiteral("missing.db"))});
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("missing.db"))));
}

TEST(SchemasTest, ToolCreatesTheBridgeDatabase)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("QuikData.db"));
    const TToolRun run = RunTool({QStringLiteral("create-bridge"), path});
    ASSERT_EQ(run.ExitCode, 0) << run.Err.toStdString();
    const auto columns = Columns(path, nullptr);
    const QMap<QString, int> expected{
        {QStringLiteral("tParam"), 36}, {QStringLiteral("tPortfolio"), 15}, {QStringLiteral("tSecCode"), 13},
        {QStringLiteral("tWorkSpaces"), 2}, {QStringLiteral("tStrategy"), 2}, {QStringLiteral("tOrderNumber"), 9},
        {QStringLiteral("tclients"), 9}, {QStringLiteral("tClientOpenPositions"), 9},
        {QStringLiteral("tBridgeHolder"), 5}};
    EXPECT_EQ(columns.keys(), expected.keys());
    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        EXPECT_EQ(columns.value(it.key()).size(), it.value()) << it.key().toStdString();
    EXPECT_EQ(columns.value(QStringLiteral("tSecCode")),
              (QStringList{QStringLiteral("SecCode"), QStringLiteral("FixVol"), QStringLiteral("Part"),
                           QStringLiteral("Traded"), QStringLiteral("LotSize"), QStringLiteral("Class_Code"),
                           QStringLiteral("Ticker"), QStringLiteral("Slippage"), QStringLiteral("Digits"),
                           QStringLiteral("MaxLots"), QStringLiteral("MaxValue"), QStringLiteral("PriceBand"),
                           QStringLiteral("MaxPosition")}));
    EXPECT_EQ(columns.value(QStringLiteral("tclients")).mid(7),
              (QStringList{QStringLiteral("Multiplier"), QStringLiteral("MaxLoss")}));
}

TEST(SchemasTest, ToolRefusesAnExistingFileAndBadArguments)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("taken.db"));
    WriteWholeFile(path, "operator's data");
    for (const char* command : {"create-alerts", "create-bridge"}) {
        const TToolRun run = RunTool({QLatin1String(command), path});
        EXPECT_NE(run.ExitCode, 0);
        EXPECT_TRUE(run.Err.contains(path)) << run.Err.toStdString();
        EXPECT_EQ(ReadWholeFile(path), QByteArray("operator's data"));
    }
    const QStringList bad[] = {{}, {QStringLiteral("create-alerts")}, {QStringLiteral("drop"), dir.filePath(QStringLiteral("x.db"))},
                               {QStringLiteral("create-bridge"), QStringLiteral("a"), QStringLiteral("b")}};
    for (const QStringList& arguments : bad) {
        const TToolRun run = RunTool(arguments);
        EXPECT_EQ(run.ExitCode, 2) << arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(run.Err.contains(QStringLiteral("Usage: zovrant-db create-alerts PATH")));
    }
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("x.db"))));
}

TEST(SchemasTest, CreationLeavesNoFileWhenTheFolderIsMissing)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("no/such/folder/QuikData.db"));
    EXPECT_THROW(CreateBridgeDatabase(path), TError);
    EXPECT_FALSE(QFile::exists(path));
}

// Runs statements on a SQLite file from this process, with Zovrant's text comparison; the
// first column of the last statement's rows, one per line.
QString RunHere(const QString& path, const QStringList& statements)
{
    QStringList values;
    const QString name = QUuid::createUuid().toString();
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        database.setDatabaseName(path);
        EXPECT_TRUE(database.open());
        QSqlQuery query(database);
        for (const QString& statement : statements) {
            values.clear();
            EXPECT_TRUE(query.exec(statement)) << statement.toStdString();
            while (query.next())
                values << query.value(0).toString();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return values.join(QLatin1Char('\n'));
}

QString RunShell(const QString& path, const QString& statements)
{
    QProcess shell;
    shell.start(QStringLiteral("sqlite3"), {path, statements});
    EXPECT_TRUE(shell.waitForFinished(30000));
    EXPECT_EQ(shell.exitCode(), 0) << shell.readAllStandardError().toStdString();
    return QString::fromUtf8(shell.readAllStandardOutput().trimmed());
}

TEST(SchemasTest, OtherProgramsReadAndCompareTheFilesWithoutZovrant)
{
    // The text columns' comparison is one every SQLite program knows.
    if (QStandardPaths::findExecutable(QStringLiteral("sqlite3")).isEmpty())
        GTEST_SKIP() << "the sqlite3 shell is not installed";
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("QuikData.db"));
    CreateBridgeDatabase(path);
    EXPECT_EQ(RunShell(path, QStringLiteral("INSERT INTO tSecCode (SecCode, Ticker) VALUES ('SBER', 'Sber');"
                                            "SELECT COUNT(*) FROM tSecCode WHERE Ticker = 'SBER';")),
              QStringLiteral("1"));

    // An index on client codes written by both, Zovrant and a program without its
    // comparison (the terminal's export): on codes of ASCII characters both keep one order,
    // so either finds the other's rows through it and finds the index in order. Letters,
    // digits and the signs between the upper- and the lower-case letters.
    RunHere(path, {QStringLiteral("INSERT INTO tPortfolio (id_client, curallassets) VALUES "
                                  "('C_7', 1), ('c[2', 2), ('AB', 3), ('ab_', 4), ('Z^', 5), ('z`9', 6)")});
    EXPECT_EQ(RunShell(path, QStringLiteral("INSERT INTO tPortfolio (id_client, curallassets) VALUES "
                                            "('c_8', 7), ('C]1', 8), ('aB', 9), ('zZ', 10);"
                                            "PRAGMA integrity_check;"
                                            "SELECT curallassets FROM tPortfolio WHERE id_client = 'c_7';")),
              QStringLiteral("ok\n1.0"));
    EXPECT_EQ(RunHere(path, {QStringLiteral("PRAGMA integrity_check")}), QStringLiteral("ok"));
    EXPECT_EQ(RunHere(path, {QStringLiteral("SELECT curallassets FROM tPortfolio WHERE id_client = 'c]1'")}),
              QStringLiteral("8"));
    EXPECT_EQ(RunHere(path, {QStringLiteral("SELECT curallassets FROM tPortfolio WHERE id_client = 'AB' "
                                            "ORDER BY curallassets")}),
              QStringLiteral("3\n9"));
}

} // namespace
