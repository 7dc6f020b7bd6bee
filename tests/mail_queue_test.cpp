// Notifications go out on their own thread, behind the orders: a slow mail server delays
// no transaction line, the mails still arrive in order with their usual log lines.

#include "base/CodePage.h"
#include "base/MailSettings.h"
#include "mail/Mailer.h"
#include "shell/MainCore.h"
#include "tests/support/SmtpTestServer.h"
#include "tests/support/TestDatabases.h"
#include "tests/support/TestEnvironment.h"
#include "tools/seed/DemoSeed.h"

#include <QDir>
#include <gtest/gtest.h>

namespace {

const QString kSent = QStringLiteral(" отправлена в Quik.");
const QString kPrefix = QStringLiteral("09.12.2008 9:05:03 ");

// The log's lines with the test clock's date and time taken off the lines that carry them.
QStringList LogMessagesOf(const TOperationLog& log)
{
    QStringList lines;
    for (int i = 0; i < log.LineCount(); ++i) {
        QString line = log.Line(i);
        if (line.startsWith(kPrefix))
            line.remove(0, kPrefix.size());
        lines << line;
    }
    return lines;
}

// The program's core over the test databases with the demo's security and three active
// clients, watching filled orders in group mode, transaction mail on.
class MailOffOrderPathTest : public ::testing::Test {
protected:
    TTestEnvironment Env;
    TTestDatabases Bases;
    QTemporaryDir ProgramDir;
    TOperationLog Log{Env.Environment};
    std::unique_ptr<TMainCore> Core;
    TSmtpTestServer Server;

    void SetUp() override
    {
        QDir(Bases.Folder()).mkdir(QStringLiteral("quik"));
        Log.OpenFile(Bases.FilePath(QStringLiteral("Zovrant.log")));
        WriteWholeFile(QDir(ProgramDir.path()).filePath(QStringLiteral("Zovrant.ini")),
                       "[Quik]\r\nQuikConnectTimeOut=0\r\n");
        Core = std::make_unique<TMainCore>(Env.Environment, Log, ProgramDir.path() + QLatin1Char('/'));
        TSettings& s = Core->Settings();
        PointAtTestFiles(s, Bases);
        s.edtTime1 = QStringLiteral("00:00:00");
        s.edtTime2 = QStringLiteral("23:59:59");
        s.rgpPositionSize = 0;
        s.rgpFilled = 1;
        s.rgpSingleMulti = 1;
        s.edtSMTP = QStringLiteral("127.0.0.1");
        s.chAuten = true;
        s.edtUser = QStringLiteral("trader");
        s.edtPassword = QStringLiteral("secret");
        s.edtFromAddress = QStringLiteral("robot@zovrant.test");
        s.edtEmail1 = QStringLiteral("trader@zovrant.test");
        s.edtEmail2.clear();
        s.chSendTrans_Id = true;
        SeedDemoBridge(Bases.BridgePath(), 3);
    }

    void StartServer(const TSmtpTestServer::TOptions& options)
    {
        const QString error = Server.Start(options);
        ASSERT_TRUE(error.isEmpty()) << error.toStdString();
        Core->Settings().edtPort = Server.PortText();
    }

    void StartWatching()
    {
        Core->Watch().StartUp();
        Core->Watch().actConnectToBaseExecute();
        ASSERT_TRUE(Core->DatMod().conOmega().Connected());
        Core->Watch().actStartWatchExecute();
        ASSERT_TRUE(Core->Watch().Watching());
    }

    // The strategy platform fills a market buy.
    void AddFilledOrder()
    {
        Bases.Insert(Bases.AlertsPath(), QStringLiteral("FilledOrders"),
                     {{QStringLiteral("Symbol"), QStringLiteral("SBER")},
                      {QStringLiteral("OrderType"), QStringLiteral("LE")},
                      {QStringLiteral("Order"), QStringLiteral("Buy 20 at 251.00 Market")},
                      {QStringLiteral("Fill Price"), 251.0},
                      {QStringLiteral("System"), QStringLiteral("Trend(5,10)")},
                      {QStringLiteral("Signal"), QStringLiteral("Entry")},
                      {QStringLiteral("Workspace"), QStringLiteral("C:\\Omega\\Demo.wsp")},
                      {QStringLiteral("Interval"), QStringLiteral("5 min")}});
    }

    QStringList TriLines() const
    {
        return FromCp1251(ReadWholeFile(Core->Settings().edtTRI)).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    }
    QStringList LogMessages() const { return LogMessagesOf(Log); }
    QStringList LogMessagesStartingWith(const QString& prefix) const
    {
        QStringList lines;
        for (const QString& line : LogMessages())
            if (line.startsWith(prefix))
                lines << line;
        return lines;
    }
};

TEST_F(MailOffOrderPathTest, SlowMailServerDelaysNoLineAndTheMailsFollowInOrder)
{
    TSmtpTestServer::TOptions slow;
    slow.DelayMs = 20000; // until released
    ASSERT_NO_FATAL_FAILURE(StartServer(slow));
    ASSERT_NO_FATAL_FAILURE(StartWatching());
    AddFilledOrder();

    Core->RunGuarded([this] { Core->Watch().actWatchingExecute(); });

    // The dispatch is over: every account's line is in the import file while the server
    // has not taken in a single mail.
    ASSERT_EQ(TriLines().size(), 3);
    EXPECT_TRUE(Server.Messages().isEmpty());
    EXPECT_TRUE(Env.Errors.isEmpty()) << Env.Errors.join(QLatin1Char('|')).toStdString();

    Server.Release();
    ASSERT_TRUE(WaitUntil([this] { return LogMessagesStartingWith(QStringLiteral("Success")).size() == 3; }));

    // The mails arrive in the order of the transactions, each logged as before: the line
    // that it is being sent, then its outcome.
    const QStringList sent = LogMessagesStartingWith(QStringLiteral("Транзакция номер "));
    ASSERT_EQ(sent.size(), 3);
    QStringList texts, expectedMailLines;
    for (int i = 0; i < 3; ++i) {
        // "Транзакция номер {n}{note} по счету {code} отправлена в Quik." without the account.
        const QString text = sent[i].section(QStringLiteral(" по счету "), 0, 0) + kSent;
        EXPECT_TRUE(text.startsWith(QStringLiteral("Транзакция номер %1 ").arg(i))) << text.toStdString();
        texts << text;
        expectedMailLines << QStringLiteral("Message: \"%1\" is sending to <trader@zovrant.test>, <>").arg(text)
                          << QStringLiteral("Success");
    }
    QStringList bodies;
    for (const TReceivedMail& mail : Server.Messages())
        bodies << mail.Field("body").trimmed();
    EXPECT_EQ(bodies, texts);
    const QStringList log = LogMessages();
    const qsizetype firstMailLine = log.indexOf(expectedMailLines.first());
    ASSERT_GE(firstMailLine, 0);
    EXPECT_EQ(log.mid(firstMailLine, 6), expectedMailLines);
    EXPECT_EQ(Log.LoggedLineCount(), Log.LineCount()); // and reached the log file
}

// The mailer alone over a slow test server: a log of its own, mail settings of its own.
class MailQueueTest : public ::testing::Test {
protected:
    TTestEnvironment Env;
    QTemporaryDir Dir;
    TMailSettings Settings;
    TOperationLog Log{Env.Environment};
    TSmtpTestServer Server;

    void SetUp() override
    {
        Log.OpenFile(Dir.filePath(QStringLiteral("Zovrant.log")));
        Settings.edtSMTP = QStringLiteral("127.0.0.1");
        Settings.chAuten = false;
        Settings.edtFromAddress = QStringLiteral("robot@zovrant.test");
        Settings.edtEmail1 = QStringLiteral("trader@zovrant.test");
        Settings.edtEmail2.clear();
    }

    void StartServer(int delayMs)
    {
        TSmtpTestServer::TOptions options;
        options.Auth = QStringLiteral("optional");
        options.DelayMs = delayMs;
        const QString error = Server.Start(options);
        ASSERT_TRUE(error.isEmpty()) << error.toStdString();
        Settings.edtPort = Server.PortText();
    }

    QStringList LogMessages() const { return LogMessagesOf(Log); }
    QStringList Bodies() const
    {
        QStringList bodies;
        for (const TReceivedMail& mail : Server.Messages())
            bodies << mail.Field("body").trimmed();
        return bodies;
    }
    static QString Sending(const QString& text, const QString& recipients = QStringLiteral("<trader@zovrant.test>, <>"))
    {
        return QStringLiteral("Message: \"%1\" is sending to %2").arg(text, recipients);
    }
};

TEST_F(MailQueueTest, FullQueueDropsNewNoticesWithOneLineAndCountsThemWhenItHasDrained)
{
    ASSERT_NO_FATAL_FAILURE(StartServer(20000)); // holds every message until released
    TMailer mailer(Settings, Log, Env.Environment, {}, 2);

    mailer.SendMail(QStringLiteral("1"));
    // The mail thread has taken the first notice: it is being sent, two may wait.
    ASSERT_TRUE(WaitUntil([this] { return LogMessages().contains(Sending(QStringLiteral("1"))); }));
    // What a notice carries is copied when it is queued: a recipient typed later does not
    // change it.
    Settings.edtEmail2 = QStringLiteral("sms@zovrant.test");
    mailer.SendMail(QStringLiteral("2"));
    Settings.edtEmail2.clear();
    for (const char* text : {"3", "4", "5", "6"})
        mailer.SendMail(QString::fromLatin1(text));
    EXPECT_EQ(LogMessages(), (QStringList{Sending(QStringLiteral("1")), MailQueueFullText(2)}));

    Server.Release();
    ASSERT_TRUE(mailer.WaitForQueue(30000));

    EXPECT_EQ(Bodies(), (QStringList{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")}));
    ASSERT_EQ(Server.Messages().size(), 3);
    EXPECT_EQ(Server.Messages()[1].Recipients(),
              (QStringList{QStringLiteral("trader@zovrant.test"), QStringLiteral("sms@zovrant.test")}));
    EXPECT_EQ(LogMessages(),
              (QStringList{Sending(QStringLiteral("1")), MailQueueFullText(2), QStringLiteral("Success"),
                           Sending(QStringLiteral("2"), QStringLiteral("<trader@zovrant.test>, <sms@zovrant.test>")),
                           QStringLiteral("Success"), Sending(QStringLiteral("3")), QStringLiteral("Success"),
                           MailDroppedCountText(3)}));
    EXPECT_EQ(Log.LoggedLineCount(), Log.LineCount());

    // Once drained the queue takes notices again, and a new run of drops is counted anew.
    mailer.SendMail(QStringLiteral("7"));
    ASSERT_TRUE(mailer.WaitForQueue(30000));
    EXPECT_EQ(Bodies().size(), 4);
    EXPECT_EQ(LogMessages().mid(8), (QStringList{Sending(QStringLiteral("7")), QStringLiteral("Success")}));
}

// A server that answers: the exit waits for every queued notice to go out.
TEST_F(MailQueueTest, ExitSendsWhatIsQueuedWhenTheServerAnswers)
{
    ASSERT_NO_FATAL_FAILURE(StartServer(0));
    TMailer mailer(Settings, Log, Env.Environment);
    for (const char* text : {"1", "2", "3"})
        mailer.SendMail(QString::fromLatin1(text));

    mailer.Shutdown();

    EXPECT_EQ(Bodies(), (QStringList{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")}));
    EXPECT_EQ(LogMessages(), (QStringList{Sending(QStringLiteral("1")), QStringLiteral("Success"),
                                          Sending(QStringLiteral("2")), QStringLiteral("Success"),
                                          Sending(QStringLiteral("3")), QStringLiteral("Success")}));
    EXPECT_EQ(Log.LoggedLineCount(), Log.LineCount());
}

TEST_F(MailQueueTest, ExitCutsShortTheSendingToASilentServerAndLogsTheRestAsNotSent)
{
    ASSERT_NO_FATAL_FAILURE(StartServer(60000)); // never takes a message in during the test
    TMailer mailer(Settings, Log, Env.Environment);
    for (const char* text : {"1", "2", "3"})
        mailer.SendMail(QString::fromLatin1(text));
    ASSERT_TRUE(WaitUntil([this] { return LogMessages().contains(Sending(QStringLiteral("1"))); }));

    mailer.Shutdown(200);
    mailer.SendMail(QStringLiteral("4")); // after the exit: not sent, said at once

    // The first notice was cut short while the server held it, the other two never left.
    EXPECT_TRUE(Server.Messages().isEmpty());
    const QStringList lines = LogMessages();
    ASSERT_EQ(lines.size(), 6) << lines.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(lines[0], Sending(QStringLiteral("1")));
    EXPECT_EQ(lines[1], QStringLiteral("Failure: Произошла ошибка во время отправки сообщения: "));
    EXPECT_EQ(lines[2], QStringLiteral("Отправка прервана: программа завершает работу."));
    EXPECT_EQ(lines.mid(3), (QStringList{MailNotSentAtExitText(QStringLiteral("2")),
                                         MailNotSentAtExitText(QStringLiteral("3")),
                                         MailNotSentAtExitText(QStringLiteral("4"))}));
    EXPECT_FALSE(mailer.Connected());
}

} // namespace
