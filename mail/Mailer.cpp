#include "mail/Mailer.h"

#include "base/Environment.h"
#include "base/Error.h"
#include "base/MailSettings.h"
#include "base/OperationLog.h"

#include <QRegularExpression>

namespace {

const QString kSubject = QStringLiteral("Zovrant");

// The port field as a port number; anything else is refused before a connection is tried.
quint16 PortNumber(const QString& text)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,5}$"));
    const QString trimmed = text.trimmed();
    const int port = digits.match(trimmed).hasMatch() ? trimmed.toInt() : 0;
    if (port < 1 || port > 65535)
        throw TError(QStringLiteral("Порт \"%1\" не является числом от 1 до 65535.").arg(text));
    return quint16(port);
}

} // namespace

TMailer::TMailer(const TMailSettings& settings, TOperationLog& log, TEnvironment& environment,
                 TSmtpOptions options)
    : FSettings(settings)
    , FLog(log)
    , FEnvironment(environment)
    , NMSMTP1(std::move(options))
{
}

void TMailer::SendMail(const QString& text) noexcept
{
    try {
        const bool connected = Connect();
        FLog.SaveLogQuietly();
        if (!connected) {
            // A failed authentication leaves the connection open; a notification never
            // does. Its failure line has been logged, so the close goes unreported.
            CloseQuietly();
            return;
        }
        const QString recipients = QStringLiteral("<") + FSettings.edtEmail1 + QStringLiteral(">, <")
            + FSettings.edtEmail2 + QStringLiteral(">");
        Send(FSettings.edtFromAddress, FSettings.edtFromName, kSubject, recipients, QStringList{text});
        FLog.SaveLogQuietly();
        Disconnect();
        FLog.SaveLogQuietly();
    } catch (...) {
        // Only an out-of-memory condition gets here; the connection must not stay open.
        NMSMTP1.Abort();
    }
}

bool TMailer::MailConnect()
{
    const bool result = Connect();
    FLog.SaveLog();
    return result;
}

void TMailer::MailDisconnect()
{
    Disconnect();
    FLog.SaveLog();
}

void TMailer::MailSend(const QString& fromAddress, const QString& fromName, const QString& subject,
                       const QString& recipients, const QStringList& body)
{
    Send(fromAddress, fromName, subject, recipients, body);
    FLog.SaveLog();
}

bool TMailer::Connect()
{
    // A connection the server has dropped in the meantime is not open: connect anew.
    if (NMSMTP1.CheckAlive())
        return true;
    try {
        NMSMTP1.Connect(FSettings.edtSMTP, PortNumber(FSettings.edtPort));
        FLoginAuthentication = false;
        if (FSettings.chAuten) {
            FLoginAuthentication = true;
            NMSMTP1.Authenticate(FSettings.edtUser, FSettings.edtPassword);
        }
        return true;
    } catch (const std::exception& error) {
        // The reason goes on the next line: the operator has to tell a wrong password from
        // an unreachable server or an untrusted certificate.
        FLog.AddToLog(QStringLiteral("Cann`t connect to server or failed authentication\r\n")
                      + ErrorText(error));
        return false;
    }
}

void TMailer::Disconnect()
{
    // A connection the server has already dropped leaves nothing to close.
    if (!NMSMTP1.CheckAlive())
        return;
    try {
        NMSMTP1.Quit();
    } catch (const std::exception&) {
        FLog.AddToLog(QStringLiteral("Cann`t disconnect to server"));
    }
}

void TMailer::Send(const QString& fromAddress, const QString& fromName, const QString& subject,
                   const QString& recipients, const QStringList& body)
{
    try {
        IdMessage1.Clear();
        FLog.AddToLog(QStringLiteral("Message: \"") + body.join(QStringLiteral("\r\n"))
                      + QStringLiteral("\" is sending to ") + recipients);
        IdMessage1.Recipients = ParseAddressList(recipients);
        IdMessage1.Sender = {fromName, fromAddress};
        IdMessage1.From = {fromName, fromAddress};
        IdMessage1.Subject = subject;
        IdMessage1.Body = body;
        IdMessage1.ContentType = QStringLiteral("text/plain");
        IdMessage1.CharSet = QStringLiteral("Windows-1251");

        QStringList addresses;
        for (const TMailAddress& recipient : IdMessage1.Recipients)
            addresses << recipient.Address;
        const QByteArray content = IdMessage1.Compose(FEnvironment.Now());

        NMSMTP1.Reset();
        if (FLoginAuthentication && !NMSMTP1.IsAuthenticated())
            NMSMTP1.Authenticate(FSettings.edtUser, FSettings.edtPassword);
        NMSMTP1.SendMessage(IdMessage1.From.Address, addresses, content);
        FLog.AddToLog(QStringLiteral("Success"));
    } catch (const std::exception& error) {
        FLog.AddToLog(QStringLiteral("Failure: Произошла ошибка во время отправки сообщения: \r\n")
                      + ErrorText(error));
    }
}

void TMailer::CloseQuietly() noexcept
{
    try {
        NMSMTP1.Quit();
    } catch (...) {
        NMSMTP1.Abort();
    }
}
