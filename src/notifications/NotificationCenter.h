#pragma once
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>
#include "json/Json.h"
#include "notifications/DeliveryQueue.h"
#include "notifications/NotificationTarget.h"

namespace Logging
{
    class Logger;
}

namespace Notifications
{
    // Tells the targets of the settings (notifications.webhooks, notifications.apprise_urls) of
    // what becomes of downloads and subscriptions, through a DeliveryQueue whose undelivered
    // notifications wait in notifications.json. Driven by the frame's phases on the main thread.
    class NotificationCenter
    {
    public:
        // After the download and subscription managers' PreInit: listens to their events, restores
        // what waits.
        static void PreInit();
        // Hands the queue the targets of changed settings; logs what the deliveries reported.
        static void Update();
        // Stops the deliveries and a test under way; what is undelivered stays in the file.
        static void OnExit();
        static void PostExit();

        // For subscriptions: `name` could not be checked, `reason` says why.
        static void ReportSubscriptionError(const std::string& name, const std::string& reason);

        // A test notification sent to every target once, on a thread of its own.
        struct TestRun
        {
            std::atomic<bool> ended = false;
            // Written before `ended` turns true, read after.
            std::vector<NotificationTarget> targets;
            std::vector<NotificationTarget::Attempt> attempts;
        };
        static std::shared_ptr<const TestRun> StartTest();

        // Each target of the settings as clients may see it: "target" (its shown name), "kind",
        // "events", and "last_outcome", "last_delivered", "last_attempt" once one was made.
        static Ostrel::JsonArray DescribeTargets();
        static bool IsAppriseInstalled();

    private:
        static void Notify(const Notification& notification);
        static void LogReport(const DeliveryQueue::Report& report);

        static std::unique_ptr<DeliveryQueue> queue;
        static std::vector<NotificationTarget> targets;  // as last handed to the queue
        static std::shared_ptr<TestRun> test;
        static std::thread testThread;
        static std::atomic<bool> stopTest;
        static Logging::Logger* log;
    };
}
