#pragma once

#include "mail/MailQueue.h"
#include "mail/SmtpClient.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <memory>
#include <mutex>

class QThread;
struct TMailSettings;
class TOperationLog;
struct TEnvironment;

// E-mail notifications, sent off the order path. A notification is queued with a copy of
// the mail settings as they stand at that moment and sent by a mail thread of its own, in
// the order queued, so that a slow or silent mail server never holds back a transaction
// line, a result or a tick. The mail thread owns the one SMTP connection; what it logs
// reaches the operation log on the thread that created the mailer, in order, through that
// thread's event loop (or at once when that thread waits for the mail thread).
//
// At most QueueCapacity notices wait: a notice that finds the queue full is dropped,
// logged once per run of drops, and the number dropped is logged when the queue has run
// empty. At exit the queue has ExitDrainMs to drain; what is left is logged as not sent.
//
// The settings dialog's "Коннект" and "Дисконнект" act on the mail thread's connection
// too, ahead of the waiting notices, and wait for their outcome; its "Тест" is queued as
// any notification.
class TMailer {
public:
    static constexpr int QueueCapacity = 1000;
    static constexpr int ExitDrainMs = 5000;

    TMailer(const TMailSettings& settings, TOperationLog& log, TEnvironment& environment,
            TSmtpOptions options = {}, int queueCapacity = QueueCapacity);
    // Shutdown, if it has not been done.
    ~TMailer();
    TMailer(const TMailer&) = delete;
    TMailer& operator=(const TMailer&) = delete;

    // Queues one notification with the text as its only body line. Never waits for the
    // mail server; no failure leaves it.
    void SendMail(const QString& text) noexcept;
    // Makes sure a connection is open and, when the settings ask for it, authenticated.
    // True when a connection is open at the end. Waits for the mail thread to finish the
    // notification it may be sending, then acts before the waiting notices.
    bool MailConnect();
    // Closes the connection if one is open; waits like MailConnect.
    void MailDisconnect();

    // A connection is open (as of the mail thread's last step).
    bool Connected() const { return FConnected; }
    // Time limits and additional trusted certificates of the SMTP exchange: each
    // notification or command takes a copy when it is queued.
    TSmtpOptions& SmtpOptions() { return FOptions; }

    // Waits, at most the given time, until every queued notification has been sent, and
    // logs what the mail thread logged meanwhile. True when the queue is empty and idle.
    bool WaitForQueue(int timeoutMs);
    // At exit: waits at most drainMs for the queue to drain, then cuts short the exchange
    // still running, stops the mail thread and logs every notice left as not sent. Later
    // notices are logged as not sent at once.
    void Shutdown(int drainMs = ExitDrainMs) noexcept;

private:
    TMailJob Job(TMailJob::TKind kind, const QString& text = {}) const;
    bool RunCommand(TMailJob::TKind kind);
    // The mail thread.
    void Work();
    // From the mail thread: a line for the operation log.
    void PostLine(const QString& message);
    // On the mailer's own thread: what the mail thread logged goes into the log, which is
    // then saved.
    void FlushLines() noexcept;
    void LogNow(const QString& message) noexcept;

    const TMailSettings& FSettings;
    TOperationLog& FLog;
    TEnvironment& FEnvironment;
    TSmtpOptions FOptions;
    TMailQueue FQueue;
    std::atomic<bool> FCancel{false};
    std::atomic<bool> FConnected{false};
    std::mutex FLinesMutex;
    QStringList FLines;
    bool FFlushPosted = false;
    // Lives on the mailer's thread: the log lines are handed to it there.
    QObject FReceiver;
    std::unique_ptr<QThread> FThread;
};

// The log line of a notice that was not sent because the program was closing.
QString MailNotSentAtExitText(const QString& text);
// The log line of the first notice dropped by a full queue, and that of the count.
QString MailQueueFullText(int capacity);
QString MailDroppedCountText(int dropped);
