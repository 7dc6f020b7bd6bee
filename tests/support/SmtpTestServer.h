#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QSslCertificate>
#include <QStringList>
#include <QTemporaryDir>

// One message as the test SMTP server received it: the envelope, the headers and the body
// as Python's e-mail parser read them, and the raw bytes after DATA.
struct TReceivedMail {
    QJsonObject Fields;
    QByteArray Raw;
    QString Field(const char* name) const { return Fields.value(QLatin1String(name)).toString(); }
    QStringList Recipients() const;
};

// A real SMTP server (aiosmtpd under the system's Python) on 127.0.0.1 for the life of the
// object. It records every EHLO, HELO and AUTH attempt and every message into a folder of
// its own that the test reads.
class TSmtpTestServer {
public:
    struct TOptions {
        QString Auth = QStringLiteral("required"); // "required" or "optional"
        QString Tls = QStringLiteral("none");      // "none", "starttls" or "implicit"
        QString Ehlo = QStringLiteral("accept");   // "accept" or "refuse" (HELO is accepted)
        QString Quit = QStringLiteral("answer");   // "answer" or "silent"
        double IdleTimeoutSeconds = 300; // then the server says "421" and hangs up
        // A slow server: each message is held this long after DATA before it is taken in
        // and answered, unless Release() is called first.
        int DelayMs = 0;
        QString CertFile;
        QString KeyFile;
        QString User = QStringLiteral("trader");
        QString Password = QStringLiteral("secret");
    };

    TSmtpTestServer() = default;
    ~TSmtpTestServer();
    TSmtpTestServer(const TSmtpTestServer&) = delete;
    TSmtpTestServer& operator=(const TSmtpTestServer&) = delete;

    // Starts the server on a free port; empty on success, otherwise the reason.
    QString Start(const TOptions& options);
    quint16 Port() const { return FPort; }
    QString PortText() const { return QString::number(FPort); }

    // Ends the holding of messages by a slow server: the one held now and every later one
    // are taken in at once.
    void Release();

    QList<TReceivedMail> Messages() const;
    // Lines such as "EHLO host tls=0" or "AUTH LOGIN trader ok tls=1", in order.
    QStringList Events() const;
    QStringList EventsStartingWith(const QString& prefix) const;

private:
    QTemporaryDir FFolder;
    QProcess FProcess;
    quint16 FPort = 0;
};

// A port on 127.0.0.1 that nobody listens on at the moment of the call.
quint16 FreeLocalPort();

// A self-signed certificate for 127.0.0.1 and localhost made with the openssl program.
struct TTestCertificate {
    QString CertFile;
    QString KeyFile;
    QSslCertificate Certificate;
};
// Empty on success, otherwise the reason.
QString MakeTestCertificate(const QString& folder, TTestCertificate* certificate);
