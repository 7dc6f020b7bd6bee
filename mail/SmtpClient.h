#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QSslCertificate>
#include <QSslSocket>
#include <QString>
#include <QStringList>

// How long the mail exchange may hold the program, and whom it trusts. The exchange runs
// on the user-interface thread, so every wait has a limit.
struct TSmtpOptions {
    int ConnectTimeoutMs = 10000; // host lookup and TCP connect
    int ReplyTimeoutMs = 30000;   // each reply of the server, TLS handshakes included
    // The port on which the server expects TLS from the first byte (SMTPS).
    quint16 ImplicitTlsPort = 465;
    // Certificates trusted besides the system's certificate authorities.
    QList<QSslCertificate> ExtraCaCertificates;
};

// A synchronous SMTP client on one socket: every call blocks until the server has answered
// or a time limit has passed. Failures are TError exceptions carrying a text for the log.
// A failure of the connection itself (time limit, connection lost, TLS refused) closes the
// socket; a refusal by the server (a 4xx or 5xx reply) leaves it open.
class TSmtpClient {
public:
    explicit TSmtpClient(TSmtpOptions options = {});
    ~TSmtpClient();
    TSmtpClient(const TSmtpClient&) = delete;
    TSmtpClient& operator=(const TSmtpClient&) = delete;

    TSmtpOptions& Options() { return FOptions; }

    // Connects, reads the greeting, introduces itself (EHLO, HELO when EHLO is refused) and
    // switches to TLS when the server offers STARTTLS (or from the start on the implicit
    // TLS port), introducing itself again over TLS. Any failure closes the socket.
    void Connect(const QString& host, quint16 port);
    // True while the socket is connected.
    bool IsConnected() const;
    // True when the connection is still usable: takes in what arrived since the last
    // exchange and closes the socket when the server has hung up or spoken unasked (an
    // idle server says "421" and closes).
    bool CheckAlive();
    bool IsAuthenticated() const { return FAuthenticated; }

    // AUTH LOGIN with the user name and password, each in Base64.
    void Authenticate(const QString& user, const QString& password);
    // RSET: ends any mail transaction the server has begun.
    void Reset();
    // MAIL FROM, one RCPT TO per recipient, DATA with the message. The message is sent
    // with CR LF line ends and its lines starting with a dot doubled.
    void SendMessage(const QString& fromAddress, const QStringList& recipients,
                     const QByteArray& message);
    // QUIT, then closes the socket whatever the answer; throws when the server did not
    // confirm.
    void Quit();
    // Closes the socket without a word to the server.
    void Abort();

private:
    struct TReply {
        int Code = 0;
        QStringList Lines; // the text after the code, one entry per reply line
        QString Text() const;
    };

    void OpenSocket(const QString& host, quint16 port);
    QList<QHostAddress> Resolve(const QString& host, const class QDeadlineTimer& deadline);
    void StartTls(const QString& host);
    void WaitForEncrypted();
    void Introduce();
    void SendCommand(const QByteArray& command);
    TReply ReadReply();
    QByteArray ReadLine(const class QDeadlineTimer& deadline);
    TReply Expect(const QByteArray& command, int expectedCode, const QString& what);
    [[noreturn]] void FailConnection(const QString& text);
    static QByteArray Envelope(const QString& address);
    static QByteArray DotStuffed(const QByteArray& message);

    TSmtpOptions FOptions;
    QSslSocket FSocket;
    QStringList FExtensions; // the EHLO keywords of the current session, upper case
    bool FAuthenticated = false;
};
