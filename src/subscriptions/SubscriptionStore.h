#pragma once
#include <list>
#include <map>
#include <string>
#include "subscriptions/SeenArchive.h"
#include "subscriptions/Subscription.h"

namespace Subscriptions
{
    // The files of the subscriptions in the working directory (FileLayout): one record each in
    // the subscriptions file, and an archive of each, the videos it has seen.
    class SubscriptionStore
    {
    public:
        struct Contents
        {
            std::list<Subscription> subscriptions;  // in the file's order, with videos_seen from their archives
            std::map<std::string, SeenArchive> archives;  // by subscription id
            bool unreadable = false;  // the file exists but holds no list of records
        };
        // Both files as the last run left them; records without an id or address, and a second
        // record of the same id, are skipped. Creates the archive folder when it is missing.
        static Contents Load();
        // Replaces subscriptions.json atomically; false when it cannot be written.
        static bool Save(const std::list<Subscription>& subscriptions);

        static std::string ArchivePath(const std::string& id);
        // An id that no subscription in `subscriptions` and no archive file has.
        static std::string NewId(const std::list<Subscription>& subscriptions);
    };
}
