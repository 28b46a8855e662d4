#include "notifications/DeliveryQueue.h"
#include <algorithm>
#include <cerrno>
#include <cstring>
#include "app/FileSystem.h"

using namespace Notifications;

namespace
{
    time_t Seconds(DeliveryQueue::Clock::time_point point)
    {
        return DeliveryQueue::Clock::to_time_t(point);
    }
}

DeliveryQueue::DeliveryQueue(std::string file, std::vector<Clock::duration> retryDelays,
                             std::vector<Pending> restored, std::vector<NotificationTarget> targets)
    : file(std::move(file)), retryDelays(std::move(retryDelays)), targets(std::move(targets))
{
    for (Pending& item : restored)
    {
        item.serial = nextSerial++;
        pending.push_back(std::move(item));
    }
    thread = std::thread(&DeliveryQueue::Run, this);
}

DeliveryQueue::~DeliveryQueue()
{
    {
        MutexLock lock(mutex);
        stop = true;
    }
    changed.notify_all();
    thread.join();
}

std::vector<DeliveryQueue::Pending> DeliveryQueue::Load(const std::string& file, std::string& problem)
{
    std::vector<Pending> restored;
    if (!FileSystem::Exists(file))
        return restored;
    Ostrel::JsonData document;
    if (!document.TryParse(FileSystem::ReadFile(file)) || document.GetDataType() != Ostrel::ARRAY)
    {
        problem = "\"" + file + "\" holds no list of notifications";
        return restored;
    }
    const Ostrel::JsonArray& items = document.GetArrayData();
    for (size_t i = 0; i < items.Size(); i++)
    {
        if (items.At(i).GetDataType() != Ostrel::JSON)
            continue;
        const Ostrel::JsonBlock& item = items.At(i).GetJsonData();
        auto has = [&item](const char* name, Ostrel::JSON_DATA_TYPE type) {
            return item.DoesExist(name) && item.Get(name).GetDataType() == type;
        };
        Pending restoredItem;
        if (!has("target", Ostrel::STRING) || !has("attempts", Ostrel::INT) || !has("due", Ostrel::INT) ||
            !has("notification", Ostrel::JSON) ||
            !Notification::FromDocument(item.Get("notification").GetJsonData(), restoredItem.notification))
            continue;
        restoredItem.target = item.Get("target").GetStringData();
        restoredItem.attempts = static_cast<int>(item.Get("attempts").GetIntData());
        restoredItem.due = Clock::from_time_t(static_cast<time_t>(item.Get("due").GetIntData()));
        restored.push_back(std::move(restoredItem));
    }
    return restored;
}

void DeliveryQueue::Add(const Notification& notification)
{
    {
        MutexLock lock(mutex);
        const std::string event = notification.Event();
        for (const NotificationTarget& target : targets)
            if (target.Wants(event))
            {
                pending.push_back({target.key, notification, 0, Clock::now(), nextSerial++});
                dirty = true;
            }
    }
    changed.notify_all();
}

void DeliveryQueue::SetTargets(std::vector<NotificationTarget> newTargets)
{
    {
        MutexLock lock(mutex);
        // The keys are looked up before the targets move in: the analysis cannot follow the
        // guarded list into a predicate.
        const size_t before = pending.size();
        pending.remove_if([&newTargets](const Pending& item) {
            return std::none_of(newTargets.begin(), newTargets.end(),
                                [&item](const NotificationTarget& target) { return target.key == item.target; });
        });
        targets = std::move(newTargets);
        dirty = dirty || pending.size() != before;
    }
    changed.notify_all();
}

std::vector<DeliveryQueue::Report> DeliveryQueue::TakeReports()
{
    MutexLock lock(mutex);
    return std::exchange(reports, {});
}

std::string DeliveryQueue::TakeSaveProblem()
{
    MutexLock lock(mutex);
    return std::exchange(saveProblem, "");
}

std::map<std::string, DeliveryQueue::LastOutcome> DeliveryQueue::LastOutcomes() const
{
    MutexLock lock(mutex);
    return lastOutcomes;
}

size_t DeliveryQueue::PendingCount() const
{
    MutexLock lock(mutex);
    return pending.size();
}

std::string DeliveryQueue::Render() const
{
    Ostrel::JsonArray items;
    for (const Pending& item : pending)
    {
        Ostrel::JsonBlock record;
        record.Set("target") = item.target;
        record.Set("attempts") = item.attempts;
        record.Set("due") = static_cast<long long>(Seconds(item.due));
        record.Set("notification") = item.notification.Document();
        items.Add(record);
    }
    return Ostrel::JsonData(items).Render(false);
}

void DeliveryQueue::TakeAttempt(const Pending& sent, const NotificationTarget& target,
                                const NotificationTarget::Attempt& attempt)
{
    lastOutcomes[target.key] = {attempt, Seconds(Clock::now())};
    Report report;
    report.shownTarget = target.shownName;
    report.event = sent.notification.Event();
    report.attempt = attempt;
    report.attempts = sent.attempts + 1;

    const auto item = std::find_if(pending.begin(), pending.end(),
                                   [&sent](const Pending& other) { return other.serial == sent.serial; });
    // Dropped meanwhile, with its target.
    if (item != pending.end())
    {
        item->attempts++;
        const size_t retries = static_cast<size_t>(item->attempts - 1);
        if (attempt.delivered || retries >= retryDelays.size())
        {
            report.gaveUp = !attempt.delivered;
            pending.erase(item);
        }
        else
        {
            report.retryIn = retryDelays[retries];
            item->due = Clock::now() + retryDelays[retries];
        }
        dirty = true;
    }
    reports.push_back(report);
}

void DeliveryQueue::Run()
{
    MutexLock lock(mutex);
    while (true)
    {
        if (dirty)
        {
            // Written outside the lock: an event of the main thread never waits for the disk.
            dirty = false;
            const std::string text = Render();
            mutex.Unlock();
            const bool saved = FileSystem::WriteFile(file, text);
            const int reason = errno;
            mutex.Lock();
            if (!saved)
                saveProblem = "\"" + file + "\" could not be written (" + std::strerror(reason) + ")";
            continue;
        }
        if (stop)
            break;

        const auto next = std::min_element(pending.begin(), pending.end(),
                                           [](const Pending& a, const Pending& b) { return a.due < b.due; });
        if (next == pending.end())
        {
            mutex.Wait(changed);
            continue;
        }
        if (next->due > Clock::now())
        {
            mutex.WaitUntil(changed, next->due);
            continue;
        }
        const auto target = std::find_if(targets.begin(), targets.end(),
                                         [&next](const NotificationTarget& t) { return t.key == next->target; });
        if (target == targets.end())
        {
            pending.erase(next);
            dirty = true;
            continue;
        }

        const Pending sent = *next;
        const NotificationTarget receiver = *target;
        mutex.Unlock();
        const NotificationTarget::Attempt attempt = receiver.Send(sent.notification, &stop);
        mutex.Lock();
        // An attempt cut short by the stop is no attempt: it is made again after the restart.
        if (stop && !attempt.delivered)
            continue;
        TakeAttempt(sent, receiver, attempt);
    }
}
