#include "notifications/NotificationCenter.h"
#include <sodium.h>
#include "app/Clock.h"
#include "app/FileLayout.h"
#include "downloader/DownloadManager.h"
#include "logging/Logger.h"
#include "notifications/AppriseSender.h"
#include "subscriptions/SubscriptionManager.h"

using namespace Notifications;

std::unique_ptr<DeliveryQueue> NotificationCenter::queue;
std::vector<NotificationTarget> NotificationCenter::targets;
std::shared_ptr<NotificationCenter::TestRun> NotificationCenter::test;
std::thread NotificationCenter::testThread;
std::atomic<bool> NotificationCenter::stopTest = false;
Logging::Logger* NotificationCenter::log = nullptr;

namespace
{
    const std::vector<DeliveryQueue::Clock::duration> retryDelays = {
        std::chrono::seconds(10), std::chrono::minutes(1), std::chrono::minutes(10), std::chrono::hours(1)};

    // The name a notification gives the event; null for those that are told to no one.
    const char* EventName(Downloader::DOWNLOAD_EVENT event)
    {
        switch (event)
        {
        case Downloader::DOWNLOAD_EVENT::QUEUED:
            return "queued";
        case Downloader::DOWNLOAD_EVENT::FINISHED:
            return "finished";
        case Downloader::DOWNLOAD_EVENT::FAILED:
            return "failed";
        default:
            return nullptr;
        }
    }

    std::string Describe(DeliveryQueue::Clock::duration delay)
    {
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(delay).count();
        if (seconds >= 3600 && seconds % 3600 == 0)
            return std::to_string(seconds / 3600) + " h";
        if (seconds >= 60 && seconds % 60 == 0)
            return std::to_string(seconds / 60) + " min";
        return std::to_string(seconds) + " s";
    }
}

void NotificationCenter::PreInit()
{
    log = new Logging::Logger("Notifications");
    // Signatures and target keys use it from the delivery thread; it starts once, here.
    if (sodium_init() < 0)
    {
        log->stream << log->Err() << "libsodium could not start: webhook signatures cannot be made.";
        log->Flush();
    }
    std::string problem;
    std::vector<DeliveryQueue::Pending> restored = DeliveryQueue::Load(FileLayout::notificationsFile, problem);
    if (!problem.empty())
    {
        log->stream << log->Err() << "Unable to read the undelivered notifications: " << problem << ".";
        log->Flush();
    }
    else if (!restored.empty())
    {
        log->stream << "Restored " << restored.size() << " undelivered notification"
                    << (restored.size() == 1 ? "" : "s") << ".";
        log->Flush();
    }
    targets = NotificationTarget::FromSettings();
    queue = std::make_unique<DeliveryQueue>(FileLayout::notificationsFile, retryDelays, std::move(restored), targets);
    stopTest = false;

    Downloader::DownloadManager::AddEventListener(
        [](Downloader::DOWNLOAD_EVENT event, const Downloader::DownloadEntry& entry) {
            if (const char* name = EventName(event))
                Notify(Notification(name, Clock::now(), Ostrel::JsonData(entry.GetAsJson()), ""));
        });
    // Told once when checks start failing or fail for another reason, not at every failed check.
    Subscriptions::SubscriptionManager::AddObserver(
        [](Subscriptions::CHANGE change, const Subscriptions::Subscription& subscription) {
            if (change == Subscriptions::CHANGE::FAILED)
                ReportSubscriptionError(subscription.name, subscription.last_error);
        });
}

void NotificationCenter::Update()
{
    std::vector<NotificationTarget> current = NotificationTarget::FromSettings();
    if (current != targets)
    {
        targets = current;
        queue->SetTargets(std::move(current));
    }
    for (const DeliveryQueue::Report& report : queue->TakeReports())
        LogReport(report);
    if (const std::string problem = queue->TakeSaveProblem(); !problem.empty())
    {
        log->stream << log->Err() << "Unable to save the undelivered notifications: " << problem << ".";
        log->Flush();
    }
}

void NotificationCenter::LogReport(const DeliveryQueue::Report& report)
{
    if (!report.attempt.delivered)
        log->stream << log->Warn();
    log->stream << "Notification \"" << report.event << "\" to " << report.shownTarget << ": ";
    if (report.attempt.delivered)
        log->stream << "delivered (" << report.attempt.outcome << ").";
    else if (report.gaveUp)
        log->stream << report.attempt.outcome << "; given up after " << report.attempts << " attempts.";
    else
        log->stream << report.attempt.outcome << "; next attempt in " << Describe(report.retryIn) << ".";
    log->Flush();
}

void NotificationCenter::OnExit()
{
    stopTest = true;
    if (testThread.joinable())
        testThread.join();
    queue.reset();
}

void NotificationCenter::PostExit()
{
    delete log;
    log = nullptr;
}

void NotificationCenter::Notify(const Notification& notification)
{
    if (queue)
        queue->Add(notification);
}

void NotificationCenter::ReportSubscriptionError(const std::string& name, const std::string& reason)
{
    Notify(Notification("subscription_error", Clock::now(), Ostrel::JsonData(), name, reason));
}

std::shared_ptr<const NotificationCenter::TestRun> NotificationCenter::StartTest()
{
    if (test && !test->ended)
        return test;
    if (testThread.joinable())
        testThread.join();
    test = std::make_shared<TestRun>();
    test->targets = NotificationTarget::FromSettings();
    testThread = std::thread([run = test] {
        const Notification notification("test", Clock::now(), Ostrel::JsonData(), "");
        for (const NotificationTarget& target : run->targets)
            run->attempts.push_back(target.Send(notification, &stopTest));
        run->ended = true;
    });
    return test;
}

Ostrel::JsonArray NotificationCenter::DescribeTargets()
{
    const std::map<std::string, DeliveryQueue::LastOutcome> outcomes = queue->LastOutcomes();
    Ostrel::JsonArray described;
    // The settings of this moment: a change made in this pass reaches the queue only at Update.
    for (const NotificationTarget& target : NotificationTarget::FromSettings())
    {
        Ostrel::JsonBlock item;
        item.Set("target") = target.shownName;
        item.Set("kind") = target.kind == NotificationTarget::WEBHOOK ? "webhook" : "apprise";
        Ostrel::JsonArray events;
        for (const std::string& event : target.events)
            events.Add(event);
        item.Set("events") = events;
        if (const auto outcome = outcomes.find(target.key); outcome != outcomes.end())
        {
            item.Set("last_outcome") = outcome->second.attempt.outcome;
            item.Set("last_delivered") = outcome->second.attempt.delivered;
            item.Set("last_attempt") = static_cast<long long>(outcome->second.time);
        }
        described.Add(item);
    }
    return described;
}

bool NotificationCenter::IsAppriseInstalled()
{
    return AppriseSender::IsInstalled();
}
