#pragma once

#include "mail/MailMessage.h"
#include "mail/SmtpClient.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>

struct TMailSettings;

// The SMTP exchange of the notifications on the thread that owns the object: one SMTP
// client and one message, reused for every notification, with the mail settings each
// operation is given. Every step and its outcome are reported as log lines through the
// given function, in the order they happen.
//
// Connection: closed, or open and possibly authenticated. A connection opened by
// MailConnect (the dialog's "Коннект") stays open until MailDisconnect ("Дисконнект") or the
// next notification, which uses it and closes it afterwards.
class TMailSession {
public:
    using TLogLine = std::function<void(const QString& message)>;

    // A set cancel flag ends a running exchange within a moment, as a lost connection.
    TMailSession(TLogLine logLine, const std::atomic<bool>* cancel);

    // The time limits and trusted certificates of the exchanges from now on.
    void SetOptions(const TSmtpOptions& options) { NMSMTP1.Options() = options; }

    // Sends one notification with the text as its only body line and the date as its
    // Date, over a connection opened for it (or the one already open) and closed
    // afterwards. No failure leaves it.
    void SendMail(const TMailSettings& settings, const QString& text, const QDateTime& date) noexcept;
    // Makes sure a connection is open and, when the settings ask for it, authenticated.
    // True when a connection is open at the end. A failed authentication leaves the
    // connection open; the next message authenticates again before it is sent.
    bool MailConnect(const TMailSettings& settings);
    // Closes the connection if one is open.
    void MailDisconnect();
    // Composes the message and sends it over the open connection.
    void MailSend(const TMailSettings& settings, const QString& fromAddress, const QString& fromName,
                  const QString& subject, const QString& recipients, const QStringList& body,
                  const QDateTime& date);

    bool Connected() const { return NMSMTP1.IsConnected(); }
    // Ends a connection without a log line (QUIT, or a plain close when that fails).
    void CloseQuietly() noexcept;

private:
    TLogLine FLogLine;
    TSmtpClient NMSMTP1;
    TMailMessage IdMessage1;
    // Authentication is set to LOGIN by the last connect (the settings asked for it then).
    bool FLoginAuthentication = false;
};
