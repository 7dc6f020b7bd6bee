#include "mail/MailSession.h"

#include "base/Error.h"
#include "base/MailSettings.h"

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

TMailSession::TMailSession(TLogLine logLine, const std::atomic<bool>* cancel)
    : FLogLine(std::move(logLine))
{
    NMSMTP1.SetCancelFlag(cancel);
}

void TMailSession::SendMail(const TMailSettings& settings, const QString& text, const QDateTime& date) noexcept
{
    try {
        if (!MailConnect(settings)) {
            // A failed authentication leaves the connection open; a notification never
            // does. Its failure line has been logged, so the close goes unreported.
            CloseQuietly();
            return;
        }
        const QString recipients = QStringLiteral("<") + settings.edtEmail1 + QStringLiteral(">, <")
            + settings.edtEmail2 + QStringLiteral(">");
        MailSend(settings, settings.edtFromAddress, settings.edtFromName, kSubject, recipients,
                 QStringList{text}, date);
        MailDisconnect();
    } catch (...) {
        // Only an out-of-memory condition gets here; the connection must not stay open.
        NMSMTP1.Abort();
    }
}

bool TMailSession::MailConnect(const TMailSettings& settings)
{
    // A connection the server has dropped in the meantime is not open: connect anew.
    if (NMSMTP1.CheckAlive())
        return true;
    try {
        NMSMTP1.Connect(settings.edtSMTP, PortNumber(settings.edtPort));
        FLoginAuthentication = false;
        if (settings.chAuten) {
            FLoginAuthentication = true;
            NMSMTP1.Authenticate(settings.edtUser, settings.edtPassword);
        }
        return true;
    } catch (const std::exception& error) {
        // The reason goes on the next line: the operator has to tell a wrong password from
        // an unreachable server or an untrusted certificate.
        FLogLine(QStringLiteral("Cann`t connect to server or failed authentication\r\n") + ErrorText(error));
        return false;
    }
}

void TMailSession::MailDisconnect()
{
    // A connection the server has already dropped leaves nothing to close.
    if (!NMSMTP1.CheckAlive())
        return;
    try {
        NMSMTP1.Quit();
    } catch (const std::exception&) {
        FLogLine(QStringLiteral("Cann`t disconnect to server"));
    }
}

void TMailSession::MailSend(const TMailSettings& settings, const QString& fromAddress, const QString& fromName,
                            const QString& subject, const QString& recipients, const QStringList& body,
                            const QDateTime& date)
{
    try {
        IdMessage1.Clear();
        FLogLine(QStringLiteral("Message: \"") + body.join(QStringLiteral("\r\n"))
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
        const QByteArray content = IdMessage1.Compose(date);

        NMSMTP1.Reset();
        if (FLoginAuthentication && !NMSMTP1.IsAuthenticated())
            NMSMTP1.Authenticate(settings.edtUser, settings.edtPassword);
        NMSMTP1.SendMessage(IdMessage1.From.Address, addresses, content);
        FLogLine(QStringLiteral("Success"));
    } catch (const std::exception& error) {
        FLogLine(QStringLiteral("Failure: Произошла ошибка во время отправки сообщения: \r\n") + ErrorText(error));
    }
}

void TMailSession::CloseQuietly() noexcept
{
    try {
        NMSMTP1.Quit();
    } catch (...) {
        NMSMTP1.Abort();
    }
}
