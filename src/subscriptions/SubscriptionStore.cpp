#include "subscriptions/SubscriptionStore.h"
#include <algorithm>
#include <random>
#include "app/FileLayout.h"
#include "app/FileSystem.h"
#include "json/Json.h"

using namespace Subscriptions;

namespace
{
    bool HasId(const std::list<Subscription>& subscriptions, const std::string& id)
    {
        return std::any_of(subscriptions.begin(), subscriptions.end(),
                           [&id](const Subscription& subscription) { return subscription.id == id; });
    }
}

SubscriptionStore::Contents SubscriptionStore::Load()
{
    FileSystem::CreateDirectoryIfNotExists(FileLayout::subscriptionArchives);
    Contents contents;
    if (!FileSystem::Exists(FileLayout::subscriptionsFile))
        return contents;
    const std::string text = FileSystem::ReadFile(FileLayout::subscriptionsFile);
    Ostrel::JsonData document;
    if (Ostrel::IsJsonValid(text))
        document.Parse(text);
    if (document.GetDataType() != Ostrel::ARRAY)
    {
        contents.unreadable = true;
        return contents;
    }
    const Ostrel::JsonArray& records = document.GetArrayData();
    for (size_t i = 0; i < records.Size(); i++)
    {
        Subscription subscription;
        if (records.At(i).GetDataType() != Ostrel::JSON ||
            !Subscription::FromRecord(records.At(i).GetJsonData(), subscription) ||
            HasId(contents.subscriptions, subscription.id))
            continue;
        SeenArchive archive(ArchivePath(subscription.id));
        archive.Load();
        subscription.videos_seen = static_cast<int64_t>(archive.Size());
        contents.archives.emplace(subscription.id, std::move(archive));
        contents.subscriptions.push_back(std::move(subscription));
    }
    return contents;
}

bool SubscriptionStore::Save(const std::list<Subscription>& subscriptions)
{
    Ostrel::JsonArray records;
    for (const Subscription& subscription : subscriptions)
        records.Add(subscription.GetAsRecord());
    return FileSystem::WriteFile(FileLayout::subscriptionsFile, records.Render(0, false));
}

std::string SubscriptionStore::ArchivePath(const std::string& id)
{
    return FileLayout::SubscriptionArchive(id);
}

std::string SubscriptionStore::NewId(const std::list<Subscription>& subscriptions)
{
    static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    static std::mt19937 random{std::random_device{}()};
    std::string id;
    do
    {
        id.clear();
        for (int i = 0; i < 10; i++)
            id += digits[random() % (sizeof(digits) - 1)];
    } while (HasId(subscriptions, id) || FileSystem::Exists(ArchivePath(id)));
    return id;
}
