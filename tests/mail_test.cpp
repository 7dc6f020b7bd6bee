#include "base/CodePage.h"
#include "base/Error.h"
#include "base/OperationLog.h"
#include "data/Settings.h"
#include "mail/Mailer.h"
#include "mail/MailMessage.h"
#include "mail/SmtpClient.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/SmtpTestServer.h"
#include "tests/support/TestEnvironment.h"

#include <QJsonArray>
#include <QTcpServer>
#include <QTimeZone>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace {

const QString kPrefix = QStringLiteral("09.12.2008 9:05:03 ");
const QString kConnectFailure = QStringLiteral("Cann`t connect to server or failed authentication");
const QString kSendFailure = QStringLiteral("Failure: Произошла ошибка во время отправки сообщения: ");
const QString kText = QStringLiteral("Транзакция номер 7 успешно выполнена.");

class MailTest : public ::testing::Test {
protected:
    TTestEnvironment Env;
    QTemporaryDir Dir;
    TSettings Settings;
    TOperationLog Log{Env.Environment};
    TSmtpTestServer Server;
    std::unique_ptr<TMailer> Mailer;

    static inline TTestCertificate Certificate;
    static inline QString CertificateError;
    static inline std::unique_ptr<QTemporaryDir> CertificateDir;

    static void SetUpTestSuite()
    {
        CertificateDir = std::make_unique<QTemporaryDir>();
        CertificateError = MakeTestCertificate(CertificateDir->path(), &Certificate);
    }
    static void TearDownTestSuite() { CertificateDir.reset(); }

    void SetUp() override
    {
        Log.OpenFile(Dir.filePath(QStringLiteral("Zovrant.log")));
        Settings.edtSMTP = QStringLiteral("127.0.0.1");
        Settings.chAuten = true;
        Settings.edtUser = QStringLiteral("trader");
        Settings.edtPassword = QStringLiteral("secret");
        Settings.edtFromName = QStringLiteral("Торговый робот");
        Settings.edtFromAddress = QStringLiteral("robot@zovrant.test");
        Settings.edtEmail1 = QStringLiteral("trader@zovrant.test");
        Settings.edtEmail2 = QStringLiteral("70000000000@sms.zovrant.test");
        TSmtpOptions options;
        options.ConnectTimeoutMs = 2000;
        options.ReplyTimeoutMs = 2000;
        Mailer = std::make_unique<TMailer>(Settings, Log, Env.Environment, options);
    }

    void StartServer(TSmtpTestServer::TOptions options = {})
    {
        const QString error = Server.Start(options);
        ASSERT_TRUE(error.isEmpty()) << error.toStdString();
        Settings.edtPort = Server.PortText();
    }

    void StartTlsServer(const QString& tls)
    {
        ASSERT_TRUE(CertificateError.isEmpty()) << CertificateError.toStdString();
        TSmtpTestServer::TOptions options;
        options.Tls = tls;
        options.CertFile = Certificate.CertFile;
        options.KeyFile = Certificate.KeyFile;
        StartServer(options);
    }

    // The log lines with the date and time taken off the lines that carry them.
    QStringList LogLines() const
    {
        QStringList lines;
        for (int i = 0; i < Log.LineCount(); ++i) {
            QString line = Log.Line(i);
            if (line.startsWith(kPrefix))
                line.remove(0, kPrefix.size());
            lines << line;
        }
        return lines;
    }

    // Queues a notification and waits until the mail thread has sent it and its log
    // lines have reached the log.
    void Send(const QString& text)
    {
        Mailer->SendMail(text);
        ASSERT_TRUE(Mailer->WaitForQueue(30000));
    }

    QString SentLine(const QString& text) const
    {
        return QStringLiteral("Message: \"%1\" is sending to <%2>, <%3>")
            .arg(text, Settings.edtEmail1, Settings.edtEmail2);
    }
};

TEST_F(MailTest, NotificationArrivesWithSenderRecipientsSubjectAndCyrillicBody)
{
    StartServer();
    Send(kText);

    EXPECT_EQ(LogLines(), QStringList({SentLine(kText), QStringLiteral("Success")}));
    EXPECT_EQ(Log.LoggedLineCount(), Log.LineCount()); // the log reached its file
    EXPECT_FALSE(Mailer->Connected());

    const QList<TReceivedMail> mails = Server.Messages();
    ASSERT_EQ(mails.size(), 1);
    const TReceivedMail& mail = mails[0];
    EXPECT_EQ(mail.Field("mail_from"), QStringLiteral("robot@zovrant.test"));
    EXPECT_EQ(mail.Recipients(), QStringList({QStringLiteral("trader@zovrant.test"),
                                              QStringLiteral("70000000000@sms.zovrant.test")}));
    EXPECT_EQ(mail.Field("from"), QStringLiteral("Торговый робот <robot@zovrant.test>"));
    EXPECT_EQ(mail.Field("sender"), QStringLiteral("Торговый робот <robot@zovrant.test>"));
    EXPECT_EQ(mail.Field("to"), QStringLiteral("trader@zovrant.test, 70000000000@sms.zovrant.test"));
    EXPECT_EQ(mail.Field("subject"), QStringLiteral("Zovrant"));
    EXPECT_EQ(mail.Field("content_type"), QStringLiteral("text/plain"));
    EXPECT_EQ(mail.Field("charset"), QStringLiteral("windows-1251"));
    EXPECT_EQ(mail.Field("body").trimmed(), kText);
    EXPECT_TRUE(mail.Field("date").contains(QStringLiteral("9 Dec 2008 09:05:03"))) << mail.Field("date").toStdString();
    EXPECT_TRUE(mail.Field("message_id").endsWith(QStringLiteral("@zovrant.test>")));
    EXPECT_TRUE(mail.Fields.value(QLatin1String("defects")).toArray().isEmpty());
    EXPECT_TRUE(mail.Fields.value(QLatin1String("authenticated")).toBool());
    // The body's bytes are Windows-1251, one line ending in CR LF.
    const qsizetype bodyStart = mail.Raw.indexOf("\r\n\r\n") + 4;
    EXPECT_EQ(QByteArray::fromBase64(mail.Raw.mid(bodyStart)), ToCp1251(kText) + "\r\n");
    EXPECT_EQ(Server.EventsStartingWith(QStringLiteral("AUTH")),
              QStringList({QStringLiteral("AUTH LOGIN trader ok tls=0")}));
}

// What one notification logs and sends, for the settings an operator may get wrong.
TEST_F(MailTest, NotificationOutcomesFollowTheSettings)
{
    StartServer();
    const quint16 nobodyListens = FreeLocalPort();
    struct Case {
        const char* name;
        std::function<void(TSettings&)> change;
        std::function<QStringList(const TSettings&)> expectedLines; // the last may be a prefix
        QStringList recipients; // of the message received; empty: nothing received
        bool authAttempted;
    };
    const Case cases[] = {
        {"second recipient empty", [](TSettings& s) { s.edtEmail2.clear(); },
         [](const TSettings&) {
             return QStringList{QStringLiteral("Message: \"%1\" is sending to <trader@zovrant.test>, <>").arg(kText),
                                QStringLiteral("Success")};
         },
         {QStringLiteral("trader@zovrant.test")}, true},
        {"both recipients empty", [](TSettings& s) { s.edtEmail1.clear(); s.edtEmail2.clear(); },
         [](const TSettings&) {
             return QStringList{QStringLiteral("Message: \"%1\" is sending to <>, <>").arg(kText), kSendFailure,
                                QStringLiteral("У сообщения нет получателей.")};
         },
         {}, true},
        {"wrong password", [](TSettings& s) { s.edtPassword = QStringLiteral("wrong"); },
         [](const TSettings&) {
             return QStringList{kConnectFailure,
                                QStringLiteral("Сервер отклонил имя пользователя или пароль: 535")};
         },
         {}, true},
        {"port not a number", [](TSettings& s) { s.edtPort = QStringLiteral("25a"); },
         [](const TSettings&) {
             return QStringList{kConnectFailure, QStringLiteral("Порт \"25a\" не является числом от 1 до 65535.")};
         },
         {}, false},
        {"nobody listens", [&](TSettings& s) { s.edtPort = QString::number(nobodyListens); },
         [&](const TSettings&) {
             return QStringList{kConnectFailure,
                                QStringLiteral("Не удалось подключиться к 127.0.0.1:%1: Connection refused").arg(nobodyListens)};
         },
         {}, false},
        {"unknown server", [](TSettings& s) { s.edtSMTP = QStringLiteral("no-such-host.invalid"); },
         [](const TSettings&) {
             return QStringList{kConnectFailure, QStringLiteral("Сервер no-such-host.invalid не найден: ")};
         },
         {}, false},
        {"authentication off on a server that requires it", [](TSettings& s) { s.chAuten = false; },
         [](const TSettings& s) {
             return QStringList{QStringLiteral("Message: \"%1\" is sending to <%2>, <%3>").arg(kText, s.edtEmail1, s.edtEmail2),
                                kSendFailure, QStringLiteral("Сервер отклонил отправителя <robot@zovrant.test>: 530")};
         },
         {}, false},
        {"a line break smuggled into a recipient",
         [](TSettings& s) { s.edtEmail1 = QStringLiteral("trader@zovrant.test\r\nBcc: thief@zovrant.test"); },
         [](const TSettings& s) {
             return QStringList{QStringLiteral("Message: \"%1\" is sending to <trader@zovrant.test").arg(kText),
                                QStringLiteral("Bcc: thief@zovrant.test>, <%1>").arg(s.edtEmail2), kSendFailure,
                                QStringLiteral("Адрес \"trader@zovrant.testBcc: thief@zovrant.test\" не является простым адресом электронной почты.")};
         },
         {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TSettings saved = Settings;
        const qsizetype mailsBefore = Server.Messages().size();
        const qsizetype authBefore = Server.EventsStartingWith(QStringLiteral("AUTH")).size();
        const int linesBefore = Log.LineCount();
        c.change(Settings);

        Send(kText);

        const QStringList lines = LogLines().mid(linesBefore);
        const QStringList expected = c.expectedLines(Settings);
        ASSERT_EQ(lines.size(), expected.size()) << lines.join(QLatin1Char('|')).toStdString();
        for (qsizetype i = 0; i + 1 < expected.size(); ++i)
            EXPECT_EQ(lines[i], expected[i]);
        EXPECT_TRUE(lines.last().startsWith(expected.last())) << lines.last().toStdString();
        EXPECT_FALSE(Mailer->Connected()); // a notification never leaves a connection open
        const QList<TReceivedMail> mails = Server.Messages();
        EXPECT_EQ(mails.size(), mailsBefore + (c.recipients.isEmpty() ? 0 : 1));
        if (!c.recipients.isEmpty() && !mails.isEmpty()) {
            EXPECT_EQ(mails.last().Recipients(), c.recipients);
        }
        EXPECT_EQ(Server.EventsStartingWith(QStringLiteral("AUTH")).size() > authBefore, c.authAttempted);
        Settings = saved;
    }
}

TEST_F(MailTest, AuthenticationOffSendsNoAuthEvenWithUserAndPasswordFilled)
{
    TSmtpTestServer::TOptions options;
    options.Auth = QStringLiteral("optional");
    StartServer(options);
    Settings.chAuten = false;

    Send(kText);

    EXPECT_EQ(LogLines(), QStringList({SentLine(kText), QStringLiteral("Success")}));
    ASSERT_EQ(Server.Messages().size(), 1);
    EXPECT_FALSE(Server.Messages()[0].Fields.value(QLatin1String("authenticated")).toBool());
    EXPECT_TRUE(Server.EventsStartingWith(QStringLiteral("AUTH")).isEmpty());
}

TEST_F(MailTest, ServerThatRefusesEhloIsGreetedWithHelo)
{
    TSmtpTestServer::TOptions options;
    options.Auth = QStringLiteral("optional");
    options.Ehlo = QStringLiteral("refuse");
    StartServer(options);
    Settings.chAuten = false;

    Send(kText);

    EXPECT_EQ(LogLines(), QStringList({SentLine(kText), QStringLiteral("Success")}));
    EXPECT_EQ(Server.EventsStartingWith(QStringLiteral("HELO")).size(), 1);
    ASSERT_EQ(Server.Messages().size(), 1);
    EXPECT_EQ(Server.Messages()[0].Field("body").trimmed(), kText);
}

TEST_F(MailTest, UnansweredQuitIsLoggedAfterTheSuccessAndTheConnectionIsClosed)
{
    TSmtpTestServer::TOptions options;
    options.Quit = QStringLiteral("silent");
    StartServer(options);
    Mailer->SmtpOptions().ReplyTimeoutMs = 1000;

    Send(kText);

    EXPECT_EQ(LogLines(), QStringList({SentLine(kText), QStringLiteral("Success"),
                                       QStringLiteral("Cann`t disconnect to server")}));
    EXPECT_EQ(Server.EventsStartingWith(QStringLiteral("QUIT")).size(), 1);
    EXPECT_EQ(Server.Messages().size(), 1);
    EXPECT_FALSE(Mailer->Connected());
}

TEST_F(MailTest, ConnectTwiceKeepsOneConnectionThatTheNextNotificationUsesAndCloses)
{
    StartServer();
    EXPECT_TRUE(Mailer->MailConnect());
    EXPECT_TRUE(Mailer->MailConnect());
    EXPECT_TRUE(Mailer->Connected());
    EXPECT_EQ(Server.EventsStartingWith(QStringLiteral("EHLO")).size(), 1);
    EXPECT_EQ(Server.EventsStartingWith(QStringLiteral("AUTH")).size(), 1);
    EXPECT_TRUE(LogLines().isEmpty());

    Send(kText);
    EXPECT_EQ(LogLines(), QStringList({SentLine(kText), QStringLiteral("Success")}));
    EXPECT_EQ(Server.EventsStartingWith(QStringLiteral("EHLO")).size(), 1);
    EXPECT_EQ(Server.Messages().size(), 1);
    EXPECT_FALSE(Mailer->Connected());
}

TEST_F(MailTest, ConnectionTheServerDroppedIsOpenedAnewForTheNotification)
{
    TSmtpTestServer::TOptions options;
    options.IdleTimeoutSeconds = 0.2;
    StartServer(options);
    ASSERT_TRUE(Mailer->MailConnect());
    // The server gives up on the idle connection and hangs up.
    ASSERT_TRUE(WaitUntil([this] { return Server.EventsStartingWith(QStringLiteral("TIMEOUT")).size() == 1; }));

    Send(kText);

    EXPECT_EQ(LogLines(), QStringList({SentLine(kText), QStringLiteral("Success")}));
    EXPECT_EQ(Server.EventsStartingWith(QStringLiteral("EHLO")).size(), 2);
    EXPECT_EQ(Server.Messages().size(), 1);

    // "Дисконнект" after the server dropped a connection finds nothing to close.
    ASSERT_TRUE(Mailer->MailConnect());
    ASSERT_TRUE(WaitUntil([this] { return Server.EventsStartingWith(QStringLiteral("TIMEOUT")).size() == 2; }));
    Mailer->MailDisconnect();
    EXPECT_EQ(LogLines().size(), 2);
    EXPECT_FALSE(Mailer->Connected());
}

TEST_F(MailTest, DisconnectClosesTheConnectionAndWithNoneOpenOnlySavesTheLog)
{
    StartServer();
    ASSERT_TRUE(Mailer->MailConnect());
    Mailer->MailDisconnect();
    EXPECT_FALSE(Mailer->Connected());
    EXPECT_TRUE(LogLines().isEmpty());

    Log.AddToLog(QStringLiteral("Соединение разорвано"));
    Mailer->MailDisconnect();
    EXPECT_EQ(LogLines(), QStringList({QStringLiteral("Соединение разорвано")}));
    EXPECT_EQ(FromCp1251(ReadWholeFile(Dir.filePath(QStringLiteral("Zovrant.log")))),
              kPrefix + QStringLiteral("Соединение разорвано\r\n"));
}

TEST_F(MailTest, FailedAuthenticationKeepsTheConnectionAndTheSendAuthenticatesAgain)
{
    StartServer();
    Settings.edtPassword = QStringLiteral("wrong");
    EXPECT_FALSE(Mailer->MailConnect());
    EXPECT_TRUE(Mailer->Connected());
    ASSERT_EQ(LogLines().size(), 2);
    EXPECT_EQ(LogLines()[0], kConnectFailure);

    // The operator corrects the password in the open dialog and sends a test message.
    Settings.edtPassword = QStringLiteral("secret");
    Send(QStringLiteral("Test."));

    EXPECT_EQ(LogLines().mid(2), QStringList({SentLine(QStringLiteral("Test.")), QStringLiteral("Success")}));
    EXPECT_EQ(Server.EventsStartingWith(QStringLiteral("EHLO")).size(), 1);
    EXPECT_EQ(Server.EventsStartingWith(QStringLiteral("AUTH")),
              QStringList({QStringLiteral("AUTH LOGIN trader fail tls=0"), QStringLiteral("AUTH LOGIN trader ok tls=0")}));
    EXPECT_EQ(Server.Messages().size(), 1);
    EXPECT_FALSE(Mailer->Connected());
}

TEST_F(MailTest, SilentServerRunsIntoTheReplyTimeLimit)
{
    QTcpServer silent; // accepts connections (the system does) and never says a word
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
    Settings.edtPort = QString::number(silent.serverPort());
    Mailer->SmtpOptions().ReplyTimeoutMs = 1000;

    Send(kText);

    EXPECT_EQ(LogLines(), QStringList({kConnectFailure, QStringLiteral("Сервер не ответил в течение 1 сек.")}));
    EXPECT_FALSE(Mailer->Connected());
}

TEST_F(MailTest, StartTlsProtectsTheLoginWhenTheCertificateIsTrusted)
{
    StartTlsServer(QStringLiteral("starttls"));
    Mailer->SmtpOptions().ExtraCaCertificates = {Certificate.Certificate};
    // "Коннект" twice over TLS: whatever the server sent after the handshake does not
    // make the open connection look dropped.
    ASSERT_TRUE(Mailer->MailConnect());
    EXPECT_TRUE(Mailer->MailConnect());

    Send(kText);

    EXPECT_EQ(LogLines(), QStringList({SentLine(kText), QStringLiteral("Success")}));
    ASSERT_EQ(Server.Messages().size(), 1);
    EXPECT_TRUE(Server.Messages()[0].Fields.value(QLatin1String("tls")).toBool());
    EXPECT_EQ(Server.Messages()[0].Field("body").trimmed(), kText);
    EXPECT_EQ(Server.EventsStartingWith(QStringLiteral("EHLO")).size(), 2); // before and after STARTTLS
    EXPECT_EQ(Server.EventsStartingWith(QStringLiteral("AUTH")),
              QStringList({QStringLiteral("AUTH LOGIN trader ok tls=1")}));
}

TEST_F(MailTest, UntrustedCertificateIsAConnectFailureAndThePasswordStaysHome)
{
    StartTlsServer(QStringLiteral("starttls"));

    Send(kText);

    const QStringList lines = LogLines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], kConnectFailure);
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("Сертификат сервера не прошёл проверку: ")))
        << lines[1].toStdString();
    EXPECT_TRUE(Server.EventsStartingWith(QStringLiteral("AUTH")).isEmpty());
    EXPECT_TRUE(Server.Messages().isEmpty());
    EXPECT_FALSE(Mailer->Connected());
}

TEST_F(MailTest, ImplicitTlsPortSpeaksTlsFromTheFirstByte)
{
    StartTlsServer(QStringLiteral("implicit"));
    Mailer->SmtpOptions().ExtraCaCertificates = {Certificate.Certificate};
    Mailer->SmtpOptions().ImplicitTlsPort = Server.Port();

    Send(kText);

    EXPECT_EQ(LogLines(), QStringList({SentLine(kText), QStringLiteral("Success")}));
    ASSERT_EQ(Server.Messages().size(), 1);
    EXPECT_TRUE(Server.Messages()[0].Fields.value(QLatin1String("tls")).toBool());
    EXPECT_EQ(Server.EventsStartingWith(QStringLiteral("AUTH")),
              QStringList({QStringLiteral("AUTH LOGIN trader ok tls=1")}));
}

// The SMTP client on its own: lines of the message that begin with a dot survive the
// transfer, and bare line feeds go out as CR LF.
TEST_F(MailTest, ClientDotStuffsTheMessageAndSendsCrLf)
{
    StartServer();
    TSmtpOptions options;
    options.ReplyTimeoutMs = 2000;
    TSmtpClient client(options);
    client.Connect(QStringLiteral("127.0.0.1"), Server.Port());
    client.Authenticate(QStringLiteral("trader"), QStringLiteral("secret"));
    const QByteArray message = "Subject: dots\r\n\r\n.\r\n..two\nlast";
    client.SendMessage(QStringLiteral("robot@zovrant.test"), {QStringLiteral("trader@zovrant.test")}, message);
    client.Quit();
    EXPECT_FALSE(client.IsConnected());
    ASSERT_EQ(Server.Messages().size(), 1);
    EXPECT_EQ(Server.Messages()[0].Raw, QByteArray("Subject: dots\r\n\r\n.\r\n..two\r\nlast\r\n"));
}

TEST(MailMessageTest, AddressListDropsEmptyEntries)
{
    struct Case { QString text; QStringList addresses; QStringList names; };
    const Case cases[] = {
        {QStringLiteral("<a@b.ru>, <c@d.ru>"), {QStringLiteral("a@b.ru"), QStringLiteral("c@d.ru")}, {QString(), QString()}},
        {QStringLiteral("<a@b.ru>, <>"), {QStringLiteral("a@b.ru")}, {QString()}},
        {QStringLiteral("<>, <>"), {}, {}},
        {QStringLiteral("\"Петров, Иван\" <p@b.ru>, x@y.ru"), {QStringLiteral("p@b.ru"), QStringLiteral("x@y.ru")},
         {QStringLiteral("Петров, Иван"), QString()}},
        {QStringLiteral("< a@b.ru >,,"), {QStringLiteral("a@b.ru")}, {QString()}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        const QList<TMailAddress> parsed = ParseAddressList(c.text);
        QStringList addresses, names;
        for (const TMailAddress& a : parsed) {
            addresses << a.Address;
            names << a.Name;
        }
        EXPECT_EQ(addresses, c.addresses);
        EXPECT_EQ(names, c.names);
    }
}

TEST(MailMessageTest, DisplayNamesAreBareQuotedOrEncodedWords)
{
    EXPECT_EQ(EncodeDisplayName(QStringLiteral("Trading Robot")), QByteArray("Trading Robot"));
    EXPECT_EQ(EncodeDisplayName(QStringLiteral("Robot, \"Desk\"")), QByteArray("\"Robot, \\\"Desk\\\"\""));
    EXPECT_EQ(EncodeDisplayName(QStringLiteral("Робот")),
              "=?windows-1251?B?" + ToCp1251(QStringLiteral("Робот")).toBase64() + "?=");
    // A character Windows-1251 lacks: the name goes as UTF-8 rather than lose it.
    EXPECT_EQ(EncodeDisplayName(QStringLiteral("Robot ✓")),
              "=?UTF-8?B?" + QStringLiteral("Robot ✓").toUtf8().toBase64() + "?=");
    // A long name becomes several words, none longer than 75 characters.
    const QByteArray longName = EncodeDisplayName(QString(60, QChar(0x0416)));
    const QList<QByteArray> words = longName.split(' ');
    EXPECT_GT(words.size(), 1);
    QByteArray decoded;
    for (const QByteArray& word : words) {
        EXPECT_LE(word.size(), 75);
        decoded += QByteArray::fromBase64(word.mid(17, word.size() - 19));
    }
    EXPECT_EQ(FromCp1251(decoded), QString(60, QChar(0x0416)));
}

TEST(MailMessageTest, HeaderValuesLoseTheirLineBreaks)
{
    TMailMessage message;
    message.From = {QStringLiteral("Robot\r\nBcc: thief@x.ru"), QStringLiteral("robot@x.ru")};
    message.Sender = message.From;
    message.Recipients = {{QString(), QStringLiteral("a@x.ru")}};
    message.Subject = QStringLiteral("Zov\nrant");
    message.Body = {QStringLiteral("one")};
    const QByteArray composed = message.Compose(QDateTime(QDate(2008, 12, 9), QTime(9, 5, 3), QTimeZone(3 * 3600)));
    EXPECT_FALSE(composed.contains("\r\nBcc:"));
    EXPECT_TRUE(composed.contains("\r\nFrom: \"RobotBcc: thief@x.ru\" <robot@x.ru>\r\n")) << composed.toStdString();
    EXPECT_TRUE(composed.contains("\r\nSubject: Zovrant\r\n"));
    EXPECT_TRUE(composed.startsWith("Date: Tue, 9 Dec 2008 09:05:03 +0300\r\n"));

    message.Clear();
    EXPECT_TRUE(message.Recipients.isEmpty());
    EXPECT_TRUE(message.Body.isEmpty());
    EXPECT_TRUE(message.From.Address.isEmpty());
}

} // namespace
