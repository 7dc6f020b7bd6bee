// The program's core against the terminal simulator and the strategy platform simulator
// on SQLite files: an order row travels to a transaction line and its results come back.
// Each simulator is waited for until it prints its ready line; every later step waits for
// a condition (a line printed, a file grown, a row booked), never for a stretch of time.

#include "base/CodePage.h"
#include "shell/MainCore.h"
#include "tests/support/SmtpTestServer.h"
#include "tests/support/TestDatabases.h"
#include "tests/support/TestEnvironment.h"
#include "tools/seed/DemoSeed.h"
#include "tools/SimulatorReady.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <gtest/gtest.h>

namespace {

const QString kTools = QStringLiteral(ZOVRANT_TOOLS_DIR);

class EndToEndTest : public ::testing::Test {
protected:
    TTestEnvironment Env;
    TTestDatabases Bases;
    QTemporaryDir ProgramDir;
    TOperationLog Log{Env.Environment};
    std::unique_ptr<TMainCore> Core;
    QProcess Terminal;

    QString Quik(const QString& name) const { return Bases.FilePath(QStringLiteral("quik/") + name); }

    void SetUp() override
    {
        QDir(Bases.Folder()).mkdir(QStringLiteral("quik"));
        Log.OpenFile(Bases.FilePath(QStringLiteral("Zovrant.log")));
        // The link checks are the tests' own: a period of 0 keeps the link timer still.
        WriteWholeFile(QDir(ProgramDir.path()).filePath(QStringLiteral("Zovrant.ini")),
                       "[Quik]\r\nQuikConnectTimeOut=0\r\n");
        Core = std::make_unique<TMainCore>(Env.Environment, Log, ProgramDir.path() + QLatin1Char('/'));
        TSettings& s = Core->Settings();
        PointAtTestFiles(s, Bases);
        s.edtTime1 = QStringLiteral("00:00:00");
        s.edtTime2 = QStringLiteral("23:59:59");
        s.rgpPositionSize = 0;
        s.edtCode = QStringLiteral("C0");
        s.chQuikConnect = true;
        ASSERT_FALSE(Core->timInfoLog().Running());

        // The demo's security, workspace, strategy and three active clients.
        SeedDemoBridge(Bases.BridgePath(), 3);
    }

    void TearDown() override
    {
        Terminal.kill();
        Terminal.waitForFinished();
    }

    // Start-up, the terminal simulator on the emptied files, the connection and watching.
    void StartWatching()
    {
        Core->Watch().StartUp();
        Terminal.start(kTools + QStringLiteral("/zovrant-terminal-sim"),
                       {QStringLiteral("--tri"), Core->Settings().edtTRI, QStringLiteral("--tro"), Core->Settings().edtTRO,
                        QStringLiteral("--info-log"), Core->Settings().edtInfoLog, QStringLiteral("--control"),
                        Quik(QStringLiteral("control")), QStringLiteral("--delay-ms"), QStringLiteral("100"),
                        QStringLiteral("--poll-ms"), QStringLiteral("20"), QStringLiteral("--info-interval-ms"),
                        QStringLiteral("50")});
        // It answers only the lines written after it is ready.
        const QString error = WaitForReadyLine(Terminal);
        ASSERT_TRUE(error.isEmpty()) << error.toStdString();
        Core->Watch().actConnectToBaseExecute();
        ASSERT_TRUE(Core->DatMod().conOmega().Connected());
        Core->Watch().actStartWatchExecute();
        ASSERT_TRUE(Core->Watch().Watching());
    }

    // Starts the strategy platform on a script against the alert database and waits for
    // its ready line.
    void StartPlatform(QProcess& platform, const QString& script)
    {
        const QString path = Bases.FilePath(QStringLiteral("script.txt"));
        WriteWholeFile(path, (QStringLiteral("set | workspace | C:\\Omega\\Demo.wsp\nset | system | Trend(5,10)\n") + script).toUtf8());
        platform.start(kTools + QStringLiteral("/zovrant-platform-sim"),
                       {QStringLiteral("--db"), Bases.AlertsPath(), QStringLiteral("--script"), path});
        const QString error = WaitForReadyLine(platform);
        ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    }

    // Waits for a started platform to end its script with status 0.
    static void ExpectPlatformDone(QProcess& platform)
    {
        ASSERT_TRUE(platform.waitForFinished(30000));
        EXPECT_EQ(platform.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(platform.exitCode(), 0) << platform.readAllStandardError().toStdString();
    }

    // The strategy platform plays a script to its end.
    void Platform(const QString& script)
    {
        QProcess platform;
        ASSERT_NO_FATAL_FAILURE(StartPlatform(platform, script));
        ExpectPlatformDone(platform);
    }

    // Runs table ticks, as the table timer does, until the condition holds (or 30 s).
    bool TickUntil(const std::function<bool()>& condition)
    {
        return WaitUntil([&] {
            Core->RunGuarded([this] { Core->Watch().timTable(); });
            return condition();
        });
    }

    // Puts a word in the terminal simulator's control file and waits for the simulator to
    // print it: from then on the change holds.
    void Control(const QByteArray& word)
    {
        WriteWholeFile(Quik(QStringLiteral("control")), word + '\n');
        const QString error = WaitForLine(Terminal, word, 30000);
        ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    }

    // True once the terminal's info.log has a size other than the one the link monitor
    // saw at its last check: the terminal wrote to it since.
    bool InfoLogGrewSinceLastCheck() const
    {
        const auto size = static_cast<quint32>(static_cast<quint64>(QFileInfo(Core->Settings().edtInfoLog).size()) & 0xFFFFFFFFu);
        return size != Core->LinkMonitor().InfoLogSize();
    }

    // A link check once the terminal has written to info.log since the last one.
    void CheckAfterGrowth()
    {
        ASSERT_TRUE(WaitUntil([this] { return InfoLogGrewSinceLastCheck(); }));
        Core->LinkMonitor().timInfoLogTimer();
    }

    // Link checks once the terminal has stopped writing info.log: the first may still see
    // what it wrote before it stopped, the second sees no growth.
    void ChecksAfterLinkDown()
    {
        ASSERT_NO_FATAL_FAILURE(Control("link down"));
        Core->LinkMonitor().timInfoLogTimer();
        Core->LinkMonitor().timInfoLogTimer();
    }

    QStringList TriLines() const
    {
        return FromCp1251(ReadWholeFile(Core->Settings().edtTRI)).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    }
    QVariant Bridge(const QString& statement) { return Bases.Scalar(Bases.BridgePath(), statement); }
    QVariant Alerts(const QString& statement) { return Bases.Scalar(Bases.AlertsPath(), statement); }
    bool LogHas(const QString& text) const
    {
        for (int i = 0; i < Log.LineCount(); ++i)
            if (Log.Line(i).endsWith(text))
                return true;
        return false;
    }
};

TEST_F(EndToEndTest, EntryGoesOutResultsComeBackAndTheCancelWithdrawsIt)
{
    Core->Settings().rgpFilled = 0; // orders placed in advance
    StartWatching();
    Platform(QStringLiteral("active | e1 | LE | Buy 10 at 250.50 Limit\n"));

    ASSERT_TRUE(TickUntil([this] { return TriLines().size() == 1; }));
    EXPECT_EQ(TriLines()[0], QStringLiteral("TRANS_ID =0;ACTION=NEW_ORDER;ACCOUNT=L01-00000F00;SECCODE=SBER;"
                                            "CLASSCODE=TQBR;CLIENT_CODE=C0;OPERATION=B;PRICE=250.50;STOPPRICE=250.75;"
                                            "Order_key=;Stop_Order_key=;QUANTITY=1"));
    // The execution report links the alert row to the exchange order.
    ASSERT_TRUE(TickUntil([this] {
        return Alerts(QStringLiteral("SELECT [Order Number] FROM ActiveOrders WHERE ID = 1")).toString() == QLatin1String("1");
    }));
    EXPECT_EQ(Bridge(QStringLiteral("SELECT order_number FROM tOrderNumber WHERE trans_id = 0")).toLongLong(), 100001);
    EXPECT_EQ(Bridge(QStringLiteral("SELECT status FROM tOrderNumber WHERE trans_id = 0")).toInt(), 3);
    EXPECT_TRUE(LogHas(QStringLiteral("Транзакция номер 0 успешно выполнена.")));

    // The strategy cancels: the withdrawal names the exchange order.
    Platform(QStringLiteral("cancel-id | 1\n"));
    ASSERT_TRUE(TickUntil([this] { return TriLines().size() == 2; }));
    EXPECT_TRUE(TriLines()[1].startsWith(QStringLiteral("TRANS_ID =1;ACTION=KILL_ORDER;")));
    EXPECT_TRUE(TriLines()[1].contains(QStringLiteral(";Order_key=100001;Stop_Order_key=;")));
    ASSERT_TRUE(TickUntil([this] {
        return Bridge(QStringLiteral("SELECT status FROM tOrderNumber WHERE trans_id = 1")).toInt() == 3;
    }));
    EXPECT_EQ(Core->StatusBarTexts().Transactions, QStringLiteral("Отправлено транзакций: 2/2/2"));
}

TEST_F(EndToEndTest, GroupModeSendsOneLinePerActiveClient)
{
    Core->Settings().rgpFilled = 1; // market orders from FilledOrders
    Core->Settings().rgpSingleMulti = 1;
    StartWatching();
    Platform(QStringLiteral("filled | LE | Buy 20 at 251.00 Market | 251.00\n"));

    ASSERT_TRUE(TickUntil([this] { return TriLines().size() == 3; }));
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(TriLines()[i].startsWith(QStringLiteral("TRANS_ID =%1;ACTION=NEW_ORDER;ACCOUNT=L01-00000F0%2;").arg(i).arg(i + 1)));
        EXPECT_TRUE(TriLines()[i].contains(QStringLiteral("CLIENT_CODE=C%1;OPERATION=B;PRICE=251.25;").arg(i + 1)));
        EXPECT_TRUE(TriLines()[i].endsWith(QStringLiteral("QUANTITY=2")));
    }
    ASSERT_TRUE(TickUntil([this] {
        return Bridge(QStringLiteral("SELECT COUNT(*) FROM tOrderNumber WHERE status = 3")).toInt() == 3;
    }));
    EXPECT_EQ(Alerts(QStringLiteral("SELECT [Order Number] FROM FilledOrders WHERE ID = 1")).toString(), QStringLiteral("1"));
    EXPECT_EQ(Bridge(QStringLiteral("SELECT COUNT(*) FROM tClientOpenPositions WHERE Position = 'Long'")).toInt(), 3);
}

// The terminal's flood control refuses the lines above 10 a second. A market order for
// twelve clients at once: written in one go, some of its lines are refused; paced well
// under that rate (the terminal counts a line when it reads it, which may be a poll late),
// none is.
class FloodControlTest : public EndToEndTest {
protected:
    int RejectsOfABurst(int perSecond, int burst)
    {
        for (int number = 4; number <= 12; ++number)
            Bases.Insert(Bases.BridgePath(), QStringLiteral("tclients"),
                         {{QStringLiteral("Code"), DemoClientCode(number)},
                          {QStringLiteral("client"), DemoClientName(number)},
                          {QStringLiteral("AccountMicex"), DemoAccountMicex(number)},
                          {QStringLiteral("AccountFORTS"), DemoAccountForts(number)},
                          {QStringLiteral("Active"), true}});
        TSettings& s = Core->Settings();
        s.rgpFilled = 1;
        s.rgpSingleMulti = 1;
        s.TxPerSecond = perSecond;
        s.TxBurst = burst;
        StartWatching();
        Control("max rate 10");
        if (HasFatalFailure())
            return -1;
        Platform(QStringLiteral("filled | LE | Buy 20 at 251.00 Market | 251.00\n"));
        // How many were refused once every line has its last result.
        const QString answered = QStringLiteral("SELECT COUNT(*) FROM tOrderNumber WHERE status IN (3, 4)");
        EXPECT_TRUE(TickUntil([&] { return Bridge(answered).toInt() == 12; })) << Bridge(answered).toInt();
        return Bridge(QStringLiteral("SELECT COUNT(*) FROM tOrderNumber WHERE status = 4")).toInt();
    }
};

TEST_F(FloodControlTest, UnpacedBurstIsPartlyRefused)
{
    EXPECT_GT(RejectsOfABurst(0, 0), 0);
}

TEST_F(FloodControlTest, PacedBurstIsNeverRefused)
{
    EXPECT_EQ(RejectsOfABurst(4, 1), 0);
    EXPECT_EQ(Bridge(QStringLiteral("SELECT COUNT(*) FROM tOrderNumber WHERE status = 3")).toInt(), 12);
    EXPECT_TRUE(Core->StatusBarTexts().Queue.isEmpty());
}

TEST_F(EndToEndTest, LinkMonitorReportsTheTerminalDroppingItsLink)
{
    StartWatching();
    CheckAfterGrowth();
    EXPECT_EQ(Core->LinkMonitor().QuikServerState(), 1); // growing: established
    ChecksAfterLinkDown();
    EXPECT_EQ(Core->LinkMonitor().QuikServerState(), 0);
    EXPECT_TRUE(LogHas(QStringLiteral("Соединение разорвано")));
    ASSERT_NO_FATAL_FAILURE(Control("link up"));
    CheckAfterGrowth();
    EXPECT_EQ(Core->LinkMonitor().QuikServerState(), 1);
    EXPECT_TRUE(LogHas(QStringLiteral("Соединение установлено")));
}

TEST_F(EndToEndTest, NotificationsOfTheCoreReachTheMailServer)
{
    TSmtpTestServer server;
    const QString error = server.Start({});
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    TSettings& s = Core->Settings();
    s.edtSMTP = QStringLiteral("127.0.0.1");
    s.edtPort = server.PortText();
    s.chAuten = true;
    s.edtUser = QStringLiteral("trader");
    s.edtPassword = QStringLiteral("secret");
    s.edtFromAddress = QStringLiteral("robot@zovrant.test");
    s.edtEmail1 = QStringLiteral("trader@zovrant.test");
    s.edtEmail2.clear();
    s.chSendTrans_Id = true;
    s.chSendTrans_done = true;
    s.chSendQuikConnect = true;
    s.rgpFilled = 1;
    StartWatching();
    Platform(QStringLiteral("filled | LE | Buy 10 at 251.00 Market | 251.00\n"));
    ASSERT_TRUE(TickUntil([this] {
        return Bridge(QStringLiteral("SELECT status FROM tOrderNumber WHERE trans_id = 0")).toInt() == 3;
    }));
    // The link: established, then lost when the terminal stops writing its log.
    CheckAfterGrowth();
    ChecksAfterLinkDown();
    // The notifications go out on the mail thread: the last one may still be on its way.
    ASSERT_TRUE(Core->Mailer().WaitForQueue(30000));

    QStringList bodies;
    for (const TReceivedMail& mail : server.Messages())
        bodies << mail.Field("body").trimmed();
    EXPECT_EQ(bodies, (QStringList{QStringLiteral("Транзакция номер 0 [B 1 SBER at 251.25]  отправлена в Quik."),
                                   QStringLiteral("Транзакция номер 0 успешно выполнена."),
                                   QStringLiteral("Соединение разорвано")}));
}

// The terminal simulator takes the end of the import file as its starting position: a
// line already there stays unanswered, one written once it is ready is answered. Its
// ready file is in place when the ready line comes.
TEST_F(EndToEndTest, TerminalSimulatorAnswersTheLinesWrittenOnceItIsReady)
{
    const QString tri = Quik(QStringLiteral("trans.tri"));
    const QString tro = Quik(QStringLiteral("trans.tro"));
    const QString readyFile = Quik(QStringLiteral("terminal.ready"));
    WriteWholeFile(tri, "TRANS_ID =1;ACTION=NEW_ORDER;SECCODE=SBER;QUANTITY=1\r\n");
    Terminal.start(kTools + QStringLiteral("/zovrant-terminal-sim"),
                   {QStringLiteral("--tri"), tri, QStringLiteral("--tro"), tro, QStringLiteral("--info-log"),
                    Quik(QStringLiteral("info.log")), QStringLiteral("--delay-ms"), QStringLiteral("0"),
                    QStringLiteral("--poll-ms"), QStringLiteral("20"), QStringLiteral("--ready-file"), readyFile});
    const QString error = WaitForReadyLine(Terminal);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_EQ(ReadWholeFile(readyFile), QByteArray("ready\n"));

    QFile file(tri);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Append));
    file.write("TRANS_ID =2;ACTION=NEW_ORDER;SECCODE=SBER;QUANTITY=1\r\n");
    file.close();
    ASSERT_TRUE(WaitUntil([&] { return ReadWholeFile(tro).contains("TRANS_ID=2;STATUS=3;"); }));
    const QList<QByteArray> answers = ReadWholeFile(tro).split('\n');
    EXPECT_EQ(answers.size(), 3); // two lines for transaction 2 and the end of the last
    for (const QByteArray& answer : answers)
        EXPECT_FALSE(answer.startsWith("TRANS_ID=1;")) << answer.toStdString();
}

// Another program holds a write transaction on the alert database when the platform
// simulator starts writing: the simulator waits for it to end, then adds every row of its
// script after the other program's row, and ends with status 0.
TEST_F(EndToEndTest, PlatformSimulatorWaitsForAnotherProgramsWriteToEnd)
{
    const QString connection = QStringLiteral("other-writer");
    {
        QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        other.setDatabaseName(Bases.AlertsPath());
        other.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
        ASSERT_TRUE(other.open()) << other.lastError().text().toStdString();
        QSqlQuery query(other);
        ASSERT_TRUE(query.exec(QStringLiteral("BEGIN IMMEDIATE"))) << query.lastError().text().toStdString();
        ASSERT_TRUE(query.exec(QStringLiteral("INSERT INTO FilledOrders (ID, Symbol, [Order]) VALUES (7, 'GAZP', 'Buy 1 at 160.00 Market')")))
            << query.lastError().text().toStdString();

        QProcess platform;
        ASSERT_NO_FATAL_FAILURE(StartPlatform(platform, QStringLiteral("filled | LE | Buy 20 at 251.00 Market | 251.00\n"
                                                                       "active | e1 | SE | Sell 10 at 260.00 Limit\n"
                                                                       "cancel | e1\n"
                                                                       "filled | LX | Sell 20 at 252.00 Market | 252.00\n")));
        // The simulator meets the lock on its first write and says it waits.
        const QString waiting = WaitForLine(platform, "platform-sim: the alert database is locked by another program, waiting", 30000);
        ASSERT_TRUE(waiting.isEmpty()) << waiting.toStdString();
        EXPECT_EQ(platform.state(), QProcess::Running);
        ASSERT_TRUE(query.exec(QStringLiteral("COMMIT"))) << query.lastError().text().toStdString();
        ExpectPlatformDone(platform);
    }
    QSqlDatabase::removeDatabase(connection);

    EXPECT_EQ(Alerts(QStringLiteral("SELECT group_concat(ID || ' ' || [Order], '; ') FROM (SELECT * FROM FilledOrders ORDER BY ID)")).toString(),
              QStringLiteral("7 Buy 1 at 160.00 Market; 8 Buy 20 at 251.00 Market; 9 Sell 20 at 252.00 Market"));
    EXPECT_EQ(Alerts(QStringLiteral("SELECT group_concat(ID || ' ' || [Order], '; ') FROM CanceledOrders")).toString(),
              QStringLiteral("1 Sell 10 at 260.00 Limit"));
    EXPECT_EQ(Alerts(QStringLiteral("SELECT COUNT(*) FROM ActiveOrders")).toInt(), 0);
}

} // namespace
