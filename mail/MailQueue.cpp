#include "mail/MailQueue.h"

#include <chrono>

TMailQueue::TMailQueue(int capacity)
    : FCapacity(capacity)
{
}

TMailQueue::TPushResult TMailQueue::Push(TMailJob job)
{
    {
        std::lock_guard lock(FMutex);
        if (FClosed)
            return TPushResult::Closed;
        if (FNotices >= FCapacity)
            return ++FDropped == 1 ? TPushResult::FirstDropped : TPushResult::Dropped;
        FJobs.push_back(std::move(job));
        ++FNotices;
    }
    FChanged.notify_all();
    return TPushResult::Queued;
}

bool TMailQueue::PushFront(TMailJob job)
{
    {
        std::lock_guard lock(FMutex);
        if (FClosed)
            return false;
        FJobs.push_front(std::move(job));
    }
    FChanged.notify_all();
    return true;
}

std::optional<TMailJob> TMailQueue::Take()
{
    std::unique_lock lock(FMutex);
    FChanged.wait(lock, [this] { return FClosed || !FJobs.empty(); });
    if (FClosed)
        return std::nullopt;
    TMailJob job = std::move(FJobs.front());
    FJobs.pop_front();
    if (job.Kind == TMailJob::TKind::Notice)
        --FNotices;
    FBusy = true;
    return job;
}

int TMailQueue::TakeDroppedCount()
{
    std::lock_guard lock(FMutex);
    if (!FJobs.empty())
        return 0;
    const int dropped = FDropped;
    FDropped = 0;
    return dropped;
}

void TMailQueue::Finished()
{
    {
        std::lock_guard lock(FMutex);
        FBusy = false;
    }
    FChanged.notify_all();
}

bool TMailQueue::WaitIdle(int timeoutMs)
{
    std::unique_lock lock(FMutex);
    return FChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [this] { return FClosed || (FJobs.empty() && !FBusy); });
}

std::deque<TMailJob> TMailQueue::Close(int* dropped)
{
    std::deque<TMailJob> left;
    {
        std::lock_guard lock(FMutex);
        FClosed = true;
        left.swap(FJobs);
        FNotices = 0;
        *dropped = FDropped;
        FDropped = 0;
    }
    FChanged.notify_all();
    return left;
}
