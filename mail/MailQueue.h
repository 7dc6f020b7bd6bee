#pragma once

#include "base/MailSettings.h"
#include "mail/SmtpClient.h"

#include <QDateTime>
#include <QString>
#include <condition_variable>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <optional>

// One piece of work for the mail thread, with everything it needs copied when it is
// queued: the mail settings and the time limits as they stood then, and the time of the
// event, which becomes the message's date.
struct TMailJob {
    enum class TKind { Notice, Connect, Disconnect };
    TKind Kind = TKind::Notice;
    QString Text; // a notice's body line
    TMailSettings Settings;
    TSmtpOptions Options;
    QDateTime Time;
    // Set for a command whose caller waits for its outcome.
    std::shared_ptr<std::promise<bool>> Outcome;
};

// The work waiting for the mail thread, oldest first. Notices are bounded: one that finds
// Capacity notices waiting is dropped and counted, and the count is handed to the mail
// thread once the queue has run empty. The commands of the settings dialog go ahead of
// the notices and are never dropped. Safe to use from any thread.
class TMailQueue {
public:
    explicit TMailQueue(int capacity);
    int Capacity() const { return FCapacity; }

    enum class TPushResult { Queued, FirstDropped, Dropped, Closed };
    // Queues a notice at the end. FirstDropped: the first notice dropped since the last
    // count was handed over.
    TPushResult Push(TMailJob job);
    // Queues a command ahead of every notice; false once the queue is closed.
    bool PushFront(TMailJob job);

    // For the mail thread: waits for the next job; none once the queue is closed.
    std::optional<TMailJob> Take();
    // For the mail thread, after a job: the notices dropped since the last count when
    // nothing is waiting any more (0 otherwise); the count starts again from 0.
    int TakeDroppedCount();
    // For the mail thread: the job it took is done.
    void Finished();

    // Waits until nothing is waiting or being done, at most the given time; true then.
    bool WaitIdle(int timeoutMs);
    // Closes the queue (Take gives no more jobs) and hands over what was still waiting
    // and the count of dropped notices not handed over yet.
    std::deque<TMailJob> Close(int* dropped);

private:
    const int FCapacity;
    std::mutex FMutex;
    std::condition_variable FChanged;
    std::deque<TMailJob> FJobs;
    int FNotices = 0; // the notices among FJobs
    int FDropped = 0;
    bool FBusy = false;
    bool FClosed = false;
};
