#include "tests/support/SmtpTestServer.h"

#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTcpServer>

namespace {
constexpr int kStartTimeoutMs = 15000;
}

QStringList TReceivedMail::Recipients() const
{
    QStringList result;
    for (const QJsonValue& value : Fields.value(QLatin1String("rcpt_tos")).toArray())
        result << value.toString();
    return result;
}

TSmtpTestServer::~TSmtpTestServer()
{
    if (FProcess.state() == QProcess::NotRunning)
        return;
    FProcess.closeWriteChannel(); // the server stops when its input closes
    if (!FProcess.waitForFinished(5000)) {
        FProcess.kill();
        FProcess.waitForFinished(5000);
    }
}

QString TSmtpTestServer::Start(const TOptions& options)
{
    if (!FFolder.isValid())
        return QStringLiteral("no temporary folder");
    FPort = FreeLocalPort();
    if (FPort == 0)
        return QStringLiteral("no free port on 127.0.0.1");
    QStringList arguments{
        QStringLiteral(ZOVRANT_SOURCE_DIR "/tests/support/smtp_test_server.py"),
        QStringLiteral("--port"), QString::number(FPort),
        QStringLiteral("--out"), FFolder.path(),
        QStringLiteral("--user"), options.User,
        QStringLiteral("--password"), options.Password,
        QStringLiteral("--auth"), options.Auth,
        QStringLiteral("--tls"), options.Tls,
        QStringLiteral("--ehlo"), options.Ehlo,
        QStringLiteral("--quit"), options.Quit,
        QStringLiteral("--idle-timeout"), QString::number(options.IdleTimeoutSeconds),
        QStringLiteral("--delay-ms"), QString::number(options.DelayMs),
    };
    if (!options.CertFile.isEmpty())
        arguments << QStringLiteral("--cert") << options.CertFile << QStringLiteral("--key") << options.KeyFile;
    FProcess.start(QStringLiteral("/usr/bin/python3"), arguments);
    if (!FProcess.waitForStarted(kStartTimeoutMs))
        return QStringLiteral("cannot start /usr/bin/python3: ") + FProcess.errorString();
    QByteArray output;
    while (!output.contains("ready\n")) {
        if (!FProcess.waitForReadyRead(kStartTimeoutMs))
            return QStringLiteral("the SMTP test server did not start: ")
                + QString::fromUtf8(FProcess.readAllStandardError());
        output += FProcess.readAllStandardOutput();
    }
    return {};
}

void TSmtpTestServer::Release()
{
    WriteWholeFile(QDir(FFolder.path()).filePath(QStringLiteral("release")), "release\n");
}

QList<TReceivedMail> TSmtpTestServer::Messages() const
{
    QList<TReceivedMail> result;
    const QDir folder(FFolder.path());
    const QStringList names = folder.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name);
    for (const QString& name : names) {
        TReceivedMail mail;
        mail.Fields = QJsonDocument::fromJson(ReadWholeFile(folder.filePath(name))).object();
        QString raw = name;
        raw.replace(QLatin1String(".json"), QLatin1String(".eml"));
        mail.Raw = ReadWholeFile(folder.filePath(raw));
        result << mail;
    }
    return result;
}

QStringList TSmtpTestServer::Events() const
{
    const QString text = QString::fromUtf8(ReadWholeFile(QDir(FFolder.path()).filePath(QStringLiteral("events.log"))));
    return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QStringList TSmtpTestServer::EventsStartingWith(const QString& prefix) const
{
    QStringList result;
    for (const QString& event : Events())
        if (event.startsWith(prefix))
            result << event;
    return result;
}

quint16 FreeLocalPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

QString MakeTestCertificate(const QString& folder, TTestCertificate* certificate)
{
    certificate->CertFile = QDir(folder).filePath(QStringLiteral("server.crt"));
    certificate->KeyFile = QDir(folder).filePath(QStringLiteral("server.key"));
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("ec"),
                   QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"),
                   QStringLiteral("-nodes"), QStringLiteral("-days"), QStringLiteral("2"),
                   QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"),
                   QStringLiteral("-addext"), QStringLiteral("subjectAltName=IP:127.0.0.1,DNS:localhost"),
                   QStringLiteral("-keyout"), certificate->KeyFile,
                   QStringLiteral("-out"), certificate->CertFile});
    if (!openssl.waitForStarted(10000))
        return QStringLiteral("cannot start openssl: ") + openssl.errorString();
    if (!openssl.waitForFinished(30000) || openssl.exitStatus() != QProcess::NormalExit
        || openssl.exitCode() != 0)
        return QStringLiteral("openssl failed: ") + QString::fromUtf8(openssl.readAllStandardError());
    const QList<QSslCertificate> loaded = QSslCertificate::fromPath(certificate->CertFile);
    if (loaded.isEmpty())
        return QStringLiteral("the certificate made by openssl does not load");
    certificate->Certificate = loaded.first();
    return {};
}
