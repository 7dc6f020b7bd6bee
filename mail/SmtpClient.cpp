#include "mail/SmtpClient.h"

#include "base/Error.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QHostInfo>
#include <QRegularExpression>
#include <QSslConfiguration>
#include <QSslError>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <future>
#include <memory>
#include <thread>

namespace {

// A reply line longer than this means the peer is not an SMTP server.
constexpr qint64 kMaxReplyLine = 64 * 1024;
// The longest a wait goes on without looking at the cancel flag.
constexpr int kSliceMs = 50;

const QString kCancelled = QStringLiteral("Отправка прервана: программа завершает работу.");

int SliceOf(const QDeadlineTimer& deadline)
{
    const qint64 remaining = deadline.remainingTime();
    return int(remaining < 0 ? kSliceMs : std::min<qint64>(remaining, kSliceMs));
}

QString Seconds(int milliseconds)
{
    return QString::number((milliseconds + 999) / 1000);
}

// The name the client gives in EHLO/HELO: the host's name when it is a full domain name,
// otherwise the address literal of the local end of the connection.
QByteArray ClientDomain(const QHostAddress& localAddress)
{
    static const QRegularExpression domain(
        QStringLiteral("^[A-Za-z0-9](?:[A-Za-z0-9-]*[A-Za-z0-9])?(?:\\.[A-Za-z0-9](?:[A-Za-z0-9-]*[A-Za-z0-9])?)+$"));
    const QString name = QHostInfo::localHostName();
    if (domain.match(name).hasMatch())
        return name.toLatin1();
    QHostAddress address = localAddress;
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        bool isV4 = false;
        const quint32 v4 = address.toIPv4Address(&isV4);
        if (!isV4)
            return "[IPv6:" + address.toString().toLatin1() + "]";
        address = QHostAddress(v4);
    }
    if (address.isNull())
        return "[127.0.0.1]";
    return "[" + address.toString().toLatin1() + "]";
}

} // namespace

QString TSmtpClient::TReply::Text() const
{
    return QString::number(Code) + QLatin1Char(' ') + Lines.join(QLatin1Char(' '));
}

TSmtpClient::TSmtpClient(TSmtpOptions options)
    : FOptions(std::move(options))
{
}

TSmtpClient::~TSmtpClient()
{
    FSocket.abort();
}

bool TSmtpClient::IsConnected() const
{
    return FSocket.state() == QAbstractSocket::ConnectedState;
}

bool TSmtpClient::CheckAlive()
{
    if (IsConnected()) {
        FSocket.waitForReadyRead(0);
        if (IsConnected() && FSocket.bytesAvailable() == 0)
            return true;
    }
    Abort();
    return false;
}

void TSmtpClient::Abort()
{
    FSocket.abort();
    FExtensions.clear();
    FAuthenticated = false;
}

void TSmtpClient::FailConnection(const QString& text)
{
    Abort();
    throw TError(text);
}

bool TSmtpClient::Await(const QDeadlineTimer& deadline, const std::function<bool(int)>& wait)
{
    for (;;) {
        if (wait(SliceOf(deadline)))
            return true;
        if (deadline.hasExpired() || FSocket.state() != QAbstractSocket::ConnectedState)
            return false;
        if (Cancelled())
            FailConnection(kCancelled);
    }
}

bool TSmtpClient::WaitForConnected(const QDeadlineTimer& deadline)
{
    if (FSocket.state() != QAbstractSocket::ConnectedState) {
        QEventLoop loop;
        QTimer slice;
        slice.setInterval(kSliceMs);
        QObject::connect(&slice, &QTimer::timeout, &loop, [&] {
            if (deadline.hasExpired() || Cancelled())
                loop.quit();
        });
        QObject::connect(&FSocket, &QAbstractSocket::connected, &loop, &QEventLoop::quit);
        QObject::connect(&FSocket, &QAbstractSocket::errorOccurred, &loop, &QEventLoop::quit);
        slice.start();
        loop.exec();
    }
    if (FSocket.state() == QAbstractSocket::ConnectedState)
        return true;
    if (Cancelled())
        FailConnection(kCancelled);
    return false;
}

void TSmtpClient::Connect(const QString& host, quint16 port)
{
    Abort();
    if (host.trimmed().isEmpty())
        throw TError(QStringLiteral("Не указан сервер исходящей почты."));
    OpenSocket(host.trimmed(), port);

    const TReply greeting = ReadReply();
    if (greeting.Code != 220)
        FailConnection(QStringLiteral("Сервер отказал в подключении: %1").arg(greeting.Text()));
    Introduce();

    if (!FSocket.isEncrypted() && FExtensions.contains(QStringLiteral("STARTTLS"))) {
        StartTls(host.trimmed());
        Introduce();
    }
}

void TSmtpClient::OpenSocket(const QString& host, quint16 port)
{
    const bool implicitTls = port == FOptions.ImplicitTlsPort;
    if (implicitTls && !QSslSocket::supportsSsl())
        FailConnection(QStringLiteral("TLS на этом компьютере недоступен."));
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
    if (!FOptions.ExtraCaCertificates.isEmpty())
        configuration.setCaCertificates(QSslConfiguration::systemCaCertificates()
                                        + FOptions.ExtraCaCertificates);
    FSocket.setSslConfiguration(configuration);

    // The name lookup counts against the connect time limit like the connect itself.
    const QDeadlineTimer deadline(FOptions.ConnectTimeoutMs);
    const QList<QHostAddress> addresses = Resolve(host, deadline);
    QString reason;
    for (const QHostAddress& address : addresses) {
        if (deadline.hasExpired())
            break;
        if (implicitTls)
            FSocket.connectToHostEncrypted(address.toString(), port, host);
        else
            FSocket.connectToHost(address, port);
        if (WaitForConnected(deadline)) {
            FSocket.setPeerVerifyName(host);
            if (implicitTls)
                WaitForEncrypted();
            return;
        }
        reason = FSocket.errorString();
        FSocket.abort();
    }
    if (deadline.hasExpired())
        reason = QStringLiteral("нет соединения в течение %1 сек.").arg(Seconds(FOptions.ConnectTimeoutMs));
    FailConnection(QStringLiteral("Не удалось подключиться к %1:%2: %3").arg(host).arg(port).arg(reason));
}

QList<QHostAddress> TSmtpClient::Resolve(const QString& host, const QDeadlineTimer& deadline)
{
    const QHostAddress literal(host);
    if (!literal.isNull())
        return {literal};
    // The system's lookup has no time limit of its own, so it runs on a thread of its own;
    // one that outlives the limit finishes unobserved.
    auto lookup = std::make_shared<std::promise<QHostInfo>>();
    std::future<QHostInfo> result = lookup->get_future();
    std::thread([lookup, host] { lookup->set_value(QHostInfo::fromName(host)); }).detach();
    while (result.wait_for(std::chrono::milliseconds(SliceOf(deadline))) != std::future_status::ready) {
        if (Cancelled())
            FailConnection(kCancelled);
        if (deadline.hasExpired())
            break;
    }
    if (result.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
        FailConnection(QStringLiteral("Не удалось определить адрес сервера %1 за %2 сек.")
                           .arg(host, Seconds(FOptions.ConnectTimeoutMs)));
    const QHostInfo info = result.get();
    if (info.error() != QHostInfo::NoError || info.addresses().isEmpty())
        FailConnection(QStringLiteral("Сервер %1 не найден: %2").arg(host, info.errorString()));
    return info.addresses();
}

void TSmtpClient::StartTls(const QString& host)
{
    if (!QSslSocket::supportsSsl())
        FailConnection(QStringLiteral("Сервер предлагает TLS, но TLS на этом компьютере недоступен."));
    SendCommand("STARTTLS");
    const TReply reply = ReadReply();
    if (reply.Code != 220)
        FailConnection(QStringLiteral("Сервер отклонил STARTTLS: %1").arg(reply.Text()));
    // Anything the server sent after its go-ahead would be taken for protected data.
    if (FSocket.bytesAvailable() > 0)
        FailConnection(QStringLiteral("Сервер прислал данные до установления TLS-соединения."));
    FSocket.setPeerVerifyName(host);
    FSocket.startClientEncryption();
    WaitForEncrypted();
}

void TSmtpClient::WaitForEncrypted()
{
    const QDeadlineTimer deadline(FOptions.ReplyTimeoutMs);
    if (Await(deadline, [this](int ms) { return FSocket.waitForEncrypted(ms) || FSocket.isEncrypted(); }))
        return;
    const QList<QSslError> errors = FSocket.sslHandshakeErrors();
    if (!errors.isEmpty()) {
        QStringList texts;
        for (const QSslError& error : errors)
            texts << error.errorString();
        FailConnection(QStringLiteral("Сертификат сервера не прошёл проверку: %1")
                           .arg(texts.join(QStringLiteral("; "))));
    }
    const QString reason = FSocket.error() == QAbstractSocket::SocketTimeoutError
        ? QStringLiteral("нет ответа в течение %1 сек.").arg(Seconds(FOptions.ReplyTimeoutMs))
        : FSocket.errorString();
    FailConnection(QStringLiteral("Не удалось установить TLS-соединение с сервером: %1").arg(reason));
}

void TSmtpClient::Introduce()
{
    const QByteArray domain = ClientDomain(FSocket.localAddress());
    FExtensions.clear();
    SendCommand("EHLO " + domain);
    TReply reply = ReadReply();
    if (reply.Code == 250) {
        // The first line greets; each further line names one extension and its arguments.
        for (qsizetype i = 1; i < reply.Lines.size(); ++i)
            FExtensions << reply.Lines[i].section(QLatin1Char(' '), 0, 0).toUpper();
        return;
    }
    SendCommand("HELO " + domain);
    reply = ReadReply();
    if (reply.Code != 250)
        FailConnection(QStringLiteral("Сервер отклонил приветствие HELO: %1").arg(reply.Text()));
}

void TSmtpClient::SendCommand(const QByteArray& command)
{
    if (!IsConnected())
        FailConnection(QStringLiteral("Соединение с сервером закрыто."));
    FSocket.write(command + "\r\n");
    const QDeadlineTimer deadline(FOptions.ReplyTimeoutMs);
    while (FSocket.bytesToWrite() > 0) {
        if (!Await(deadline, [this](int ms) { return FSocket.waitForBytesWritten(ms) || FSocket.bytesToWrite() == 0; })) {
            if (deadline.hasExpired())
                FailConnection(QStringLiteral("Сервер не принял данные в течение %1 сек.")
                                   .arg(Seconds(FOptions.ReplyTimeoutMs)));
            if (FSocket.error() == QAbstractSocket::RemoteHostClosedError)
                FailConnection(QStringLiteral("Сервер закрыл соединение."));
            FailConnection(QStringLiteral("Соединение с сервером потеряно: %1")
                               .arg(FSocket.errorString()));
        }
    }
}

QByteArray TSmtpClient::ReadLine(const QDeadlineTimer& deadline)
{
    for (;;) {
        if (FSocket.canReadLine()) {
            QByteArray line = FSocket.readLine(kMaxReplyLine);
            while (line.endsWith('\n') || line.endsWith('\r'))
                line.chop(1);
            return line;
        }
        if (FSocket.bytesAvailable() >= kMaxReplyLine)
            FailConnection(QStringLiteral("Ответ сервера не похож на SMTP: строка длиннее %1 байт.")
                               .arg(kMaxReplyLine));
        if (FSocket.state() != QAbstractSocket::ConnectedState)
            FailConnection(QStringLiteral("Сервер закрыл соединение."));
        if (!Await(deadline, [this](int ms) { return FSocket.waitForReadyRead(ms); })) {
            if (FSocket.canReadLine())
                continue;
            if (deadline.hasExpired())
                FailConnection(QStringLiteral("Сервер не ответил в течение %1 сек.")
                                   .arg(Seconds(FOptions.ReplyTimeoutMs)));
            if (FSocket.error() == QAbstractSocket::RemoteHostClosedError)
                FailConnection(QStringLiteral("Сервер закрыл соединение."));
            FailConnection(QStringLiteral("Соединение с сервером потеряно: %1")
                               .arg(FSocket.errorString()));
        }
    }
}

TSmtpClient::TReply TSmtpClient::ReadReply()
{
    // A reply is one or more lines "code-text", the last one "code text" (or the bare code).
    static const QRegularExpression replyLine(QStringLiteral("^([2-5][0-9][0-9])([ -]|$)(.*)$"));
    const QDeadlineTimer deadline(FOptions.ReplyTimeoutMs);
    TReply reply;
    for (;;) {
        const QString line = QString::fromUtf8(ReadLine(deadline));
        const QRegularExpressionMatch match = replyLine.match(line);
        if (!match.hasMatch())
            FailConnection(QStringLiteral("Ответ сервера не похож на SMTP: %1").arg(line.left(200)));
        const int code = match.captured(1).toInt();
        if (reply.Code != 0 && code != reply.Code)
            FailConnection(QStringLiteral("Ответ сервера не похож на SMTP: %1").arg(line.left(200)));
        reply.Code = code;
        reply.Lines << match.captured(3).trimmed();
        if (match.captured(2) != QLatin1String("-"))
            return reply;
    }
}

TSmtpClient::TReply TSmtpClient::Expect(const QByteArray& command, int expectedCode, const QString& what)
{
    SendCommand(command);
    const TReply reply = ReadReply();
    if (reply.Code / 100 != expectedCode / 100)
        throw TError(QStringLiteral("%1: %2").arg(what, reply.Text()));
    return reply;
}

void TSmtpClient::Authenticate(const QString& user, const QString& password)
{
    FAuthenticated = false;
    Expect("AUTH LOGIN", 334, QStringLiteral("Сервер отклонил AUTH LOGIN"));
    Expect(user.toUtf8().toBase64(), 334, QStringLiteral("Сервер отклонил имя пользователя"));
    Expect(password.toUtf8().toBase64(), 235,
           QStringLiteral("Сервер отклонил имя пользователя или пароль"));
    FAuthenticated = true;
}

void TSmtpClient::Reset()
{
    Expect("RSET", 250, QStringLiteral("Сервер отклонил RSET"));
}

QByteArray TSmtpClient::Envelope(const QString& address)
{
    // Only a plain address may stand between the angle brackets: anything else would
    // change the command (a line break would even start a new one).
    static const QRegularExpression plain(QStringLiteral("^[!-~]*$"));
    const QString trimmed = address.trimmed();
    if (!plain.match(trimmed).hasMatch() || trimmed.contains(QLatin1Char('<'))
        || trimmed.contains(QLatin1Char('>')))
        throw TError(QStringLiteral("Адрес \"%1\" не является простым адресом электронной почты.")
                         .arg(QString(trimmed).replace(QLatin1Char('\r'), QLatin1Char(' '))
                                  .replace(QLatin1Char('\n'), QLatin1Char(' '))));
    return "<" + trimmed.toLatin1() + ">";
}

QByteArray TSmtpClient::DotStuffed(const QByteArray& message)
{
    QByteArray normalized = message;
    normalized.replace("\r\n", "\n").replace('\r', '\n');
    if (!normalized.endsWith('\n'))
        normalized.append('\n');
    QByteArray result;
    result.reserve(normalized.size() + normalized.size() / 32 + 8);
    qsizetype start = 0;
    while (start < normalized.size()) {
        const qsizetype end = normalized.indexOf('\n', start);
        const QByteArray line = normalized.mid(start, end - start);
        if (line.startsWith('.'))
            result.append('.');
        result.append(line).append("\r\n");
        start = end + 1;
    }
    return result;
}

void TSmtpClient::SendMessage(const QString& fromAddress, const QStringList& recipients,
                              const QByteArray& message)
{
    if (recipients.isEmpty())
        throw TError(QStringLiteral("У сообщения нет получателей."));
    const QByteArray from = Envelope(fromAddress);
    QList<QByteArray> to;
    for (const QString& recipient : recipients)
        to << Envelope(recipient);

    Expect("MAIL FROM:" + from, 250, QStringLiteral("Сервер отклонил отправителя %1")
                                         .arg(QString::fromLatin1(from)));
    for (const QByteArray& recipient : to)
        Expect("RCPT TO:" + recipient, 250, QStringLiteral("Сервер отклонил получателя %1")
                                                .arg(QString::fromLatin1(recipient)));
    Expect("DATA", 354, QStringLiteral("Сервер отклонил DATA"));
    Expect(DotStuffed(message) + ".", 250, QStringLiteral("Сервер отклонил сообщение"));
}

void TSmtpClient::Quit()
{
    if (!IsConnected()) {
        Abort();
        return;
    }
    SendCommand("QUIT");
    const TReply reply = ReadReply();
    FSocket.disconnectFromHost();
    const QDeadlineTimer deadline(FOptions.ReplyTimeoutMs);
    while (FSocket.state() != QAbstractSocket::UnconnectedState && !deadline.hasExpired() && !Cancelled()) {
        // A slice that ends for another reason than its time ends the wait.
        if (!FSocket.waitForDisconnected(SliceOf(deadline)) && FSocket.error() != QAbstractSocket::SocketTimeoutError)
            break;
    }
    FSocket.abort();
    Abort();
    if (reply.Code != 221)
        throw TError(QStringLiteral("Сервер не подтвердил QUIT: %1").arg(reply.Text()));
}
