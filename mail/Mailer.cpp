#include "mail/Mailer.h"

#include "base/Environment.h"
#include "base/MailSettings.h"
#include "base/OperationLog.h"
#include "mail/MailSession.h"

#include <QMetaObject>
#include <QThread>

QString MailNotSentAtExitText(const QString& text)
{
    return QStringLiteral("Почтовое уведомление не отправлено: программа завершает работу. Message: \"%1\"").arg(text);
}

QString MailQueueFullText(int capacity)
{
    return QStringLiteral("Очередь почтовых уведомлений переполнена (%1): новые уведомления не отправляются, "
                          "пока она не разгрузится.")
        .arg(capacity);
}

QString MailDroppedCountText(int dropped)
{
    return QStringLiteral("Из-за переполнения очереди не отправлено почтовых уведомлений: %1.").arg(dropped);
}

TMailer::TMailer(const TMailSettings& settings, TOperationLog& log, TEnvironment& environment,
                 TSmtpOptions options, int queueCapacity)
    : FSettings(settings)
    , FLog(log)
    , FEnvironment(environment)
    , FOptions(std::move(options))
    , FQueue(queueCapacity)
{
    FThread.reset(QThread::create([this] { Work(); }));
    FThread->setObjectName(QStringLiteral("mail"));
    FThread->start();
}

TMailer::~TMailer()
{
    Shutdown();
}

TMailJob TMailer::Job(TMailJob::TKind kind, const QString& text) const
{
    TMailJob job;
    job.Kind = kind;
    job.Text = text;
    job.Settings = FSettings;
    job.Options = FOptions;
    job.Time = FEnvironment.Now();
    return job;
}

void TMailer::SendMail(const QString& text) noexcept
{
    try {
        switch (FQueue.Push(Job(TMailJob::TKind::Notice, text))) {
        case TMailQueue::TPushResult::Queued:
        case TMailQueue::TPushResult::Dropped:
            break;
        case TMailQueue::TPushResult::FirstDropped:
            LogNow(MailQueueFullText(FQueue.Capacity()));
            break;
        case TMailQueue::TPushResult::Closed:
            LogNow(MailNotSentAtExitText(text));
            break;
        }
    } catch (...) {
        // Only an out-of-memory condition gets here: the notice is lost, the order goes on.
    }
}

bool TMailer::MailConnect()
{
    const bool connected = RunCommand(TMailJob::TKind::Connect);
    FLog.SaveLog();
    return connected;
}

void TMailer::MailDisconnect()
{
    RunCommand(TMailJob::TKind::Disconnect);
    FLog.SaveLog();
}

bool TMailer::RunCommand(TMailJob::TKind kind)
{
    TMailJob job = Job(kind);
    job.Outcome = std::make_shared<std::promise<bool>>();
    std::future<bool> outcome = job.Outcome->get_future();
    if (!FQueue.PushFront(std::move(job)))
        return false;
    const bool result = outcome.get();
    FlushLines();
    return result;
}

bool TMailer::WaitForQueue(int timeoutMs)
{
    const bool idle = FQueue.WaitIdle(timeoutMs);
    FlushLines();
    return idle;
}

void TMailer::Shutdown(int drainMs) noexcept
{
    if (!FThread)
        return;
    FQueue.WaitIdle(drainMs);
    // The exchange still running ends within a moment and logs its failure.
    FCancel = true;
    int dropped = 0;
    const std::deque<TMailJob> left = FQueue.Close(&dropped);
    FThread->wait();
    FThread.reset();
    FlushLines();
    if (dropped > 0)
        LogNow(MailDroppedCountText(dropped));
    for (const TMailJob& job : left) {
        if (job.Kind == TMailJob::TKind::Notice)
            LogNow(MailNotSentAtExitText(job.Text));
        else if (job.Outcome)
            job.Outcome->set_value(false);
    }
}

void TMailer::Work()
{
    TMailSession session([this](const QString& message) { PostLine(message); }, &FCancel);
    while (std::optional<TMailJob> job = FQueue.Take()) {
        bool outcome = false;
        try {
            session.SetOptions(job->Options);
            switch (job->Kind) {
            case TMailJob::TKind::Notice:
                session.SendMail(job->Settings, job->Text, job->Time);
                break;
            case TMailJob::TKind::Connect:
                outcome = session.MailConnect(job->Settings);
                break;
            case TMailJob::TKind::Disconnect:
                session.MailDisconnect();
                break;
            }
        } catch (...) {
            // Only an out-of-memory condition gets here; the connection must not stay open.
            session.CloseQuietly();
        }
        FConnected = session.Connected();
        if (job->Outcome)
            job->Outcome->set_value(outcome);
        if (const int dropped = FQueue.TakeDroppedCount(); dropped > 0)
            PostLine(MailDroppedCountText(dropped));
        FQueue.Finished();
    }
    // A connection left open by "Коннект" is closed when the program ends.
    session.CloseQuietly();
    FConnected = false;
}

void TMailer::PostLine(const QString& message)
{
    std::lock_guard lock(FLinesMutex);
    FLines << message;
    if (FFlushPosted)
        return;
    FFlushPosted = true;
    QMetaObject::invokeMethod(&FReceiver, [this] { FlushLines(); }, Qt::QueuedConnection);
}

void TMailer::FlushLines() noexcept
{
    QStringList lines;
    {
        std::lock_guard lock(FLinesMutex);
        lines.swap(FLines);
        FFlushPosted = false;
    }
    if (lines.isEmpty())
        return;
    try {
        for (const QString& line : lines)
            FLog.AddToLog(line);
    } catch (...) {
    }
    FLog.SaveLogQuietly();
}

void TMailer::LogNow(const QString& message) noexcept
{
    // What the mail thread logged before comes first.
    FlushLines();
    try {
        FLog.AddToLog(message);
    } catch (...) {
    }
    FLog.SaveLogQuietly();
}
