#pragma once

#include "mail/MailMessage.h"
#include "mail/SmtpClient.h"

#include <QString>
#include <QStringList>

struct TMailSettings;
class TOperationLog;
struct TEnvironment;

// E-mail notifications: one SMTP client and one message, reused for every notification.
// The mail settings are read from the in-memory settings at the moment of use, so the
// settings dialog's buttons work with what the operator has typed, saved or not. Every
// step and its outcome go to the operation log.
//
// Connection: closed, or open and possibly authenticated. A connection opened by
// MailConnect (the dialog's "Коннект") stays open until MailDisconnect ("Дисконнект") or the
// next notification, which uses it and closes it afterwards.
class TMailer {
public:
    TMailer(const TMailSettings& settings, TOperationLog& log, TEnvironment& environment,
            TSmtpOptions options = {});

    // Sends one notification with the text as its only body line, over a connection opened
    // for it (or the one already open) and closed afterwards. No failure leaves it: the
    // operation that asked for the notification always goes on.
    void SendMail(const QString& text) noexcept;
    // Makes sure a connection is open and, when the settings ask for it, authenticated.
    // True when a connection is open at the end. A failed authentication leaves the
    // connection open; the next message authenticates again before it is sent.
    bool MailConnect();
    // Closes the connection if one is open.
    void MailDisconnect();
    // Composes the message and sends it over the open connection.
    void MailSend(const QString& fromAddress, const QString& fromName, const QString& subject,
                  const QString& recipients, const QStringList& body);

    bool Connected() const { return NMSMTP1.IsConnected(); }
    // Time limits and additional trusted certificates of the SMTP exchange.
    TSmtpOptions& SmtpOptions() { return NMSMTP1.Options(); }

private:
    // The operations without their final SaveLog.
    bool Connect();
    void Disconnect();
    void Send(const QString& fromAddress, const QString& fromName, const QString& subject,
              const QString& recipients, const QStringList& body);
    // Ends a connection without a log line (QUIT, or a plain close when that fails).
    void CloseQuietly() noexcept;

    const TMailSettings& FSettings;
    TOperationLog& FLog;
    TEnvironment& FEnvironment;
    TSmtpClient NMSMTP1;
    TMailMessage IdMessage1;
    // Authentication is set to LOGIN by the last connect (the settings asked for it then).
    bool FLoginAuthentication = false;
};
