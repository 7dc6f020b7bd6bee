#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QSslCertificate>
#include <QSslSocket>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>

// How long the mail exchange may wait for the server, and whom it trusts. The exchange
// runs on the mail thread; every wait has a limit all the same, so that one silent server
// does not hold back the notifications queued behind it for long.
struct TSmtpOptions {
    int ConnectTimeoutMs = 10000; // host lookup and TCP connect
    int ReplyTimeoutMs = 30000;   // each reply of the server, TLS handshakes included
    // The port on which the server expects TLS from the first byte (SMTPS).
    quint16 ImplicitTlsPort = 465;
    // Certificates trusted besides the system's certificate authorities.
    QList<QSslCertificate> ExtraCaCertificates;
};

// A synchronous SMTP client on one socket: every call blocks until the server has answered
// or a time limit has passed, or until the owner sets its cancel flag, which every wait
// looks at within a short slice. Failures are TError exceptions carrying a text for the
// log.
// A failure of the connection itself (time limit, connection lost, TLS refused) closes the
// socket; a refusal by the server (a 4xx or 5xx reply) leaves it open.
class TSmtpClient {
public:
    explicit TSmtpClient(TSmtpOptions options = {});
    ~TSmtpClient();
    TSmtpClient(const TSmtpClient&) = delete;
    TSmtpClient& operator=(const TSmtpClient&) = delete;

    TSmtpOptions& Options() { return FOptions; }
    // A flag that, once set (from any thread), ends the exchange under way as a failure
    // of the connection. Null: nothing cancels.
    void SetCancelFlag(const std::atomic<bool>* cancel) { FCancel = cancel; }

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
    // Runs a blocking wait of the socket in short slices until it succeeds, the deadline
    // passes or the socket is no longer connected; throws once the exchange is cancelled.
    bool Await(const class QDeadlineTimer& deadline, const std::function<bool(int)>& wait);
    // Waits for the connect of the socket, serving this thread's events meanwhile: a plain
    // blocking wait for a connect cannot be cut short.
    bool WaitForConnected(const class QDeadlineTimer& deadline);
    bool Cancelled() const { return FCancel && FCancel->load(); }
    static QByteArray Envelope(const QString& address);
    static QByteArray DotStuffed(const QByteArray& message);

    TSmtpOptions FOptions;
    QSslSocket FSocket;
    QStringList FExtensions; // the EHLO keywords of the current session, upper case
    bool FAuthenticated = false;
    const std::atomic<bool>* FCancel = nullptr;
};
