#include "app/Framework.h"
#include <malloc.h>
#include "app/ConsoleManager.h"
#include "app/FileLayout.h"
#include "app/Idler.h"
#include "app/StopSignals.h"
#include "app/Updater.h"
#include "app/XGControl.h"
#include "config/XGConfig.h"
#include "downloader/DownloadManager.h"
#include "library/LibraryManager.h"
#include "logging/LogHistory.h"
#include "notifications/NotificationCenter.h"
#include "rest/ApiTokens.h"
#include "rest/HttpServer.h"
#include "rest/RestQueryHandler.h"
#include "subscriptions/SubscriptionManager.h"

Framework::Framework()
{
    // Listings build trees of tens of thousands of small nodes and free them whole. With
    // glibc's fast bins those frees pile up and the next large allocation sorts them all
    // at once; without, each free merges as it goes: a 50,000-message listing takes a third
    // less time.
    mallopt(M_MXFAST, 0);
    ConsoleManager::PrePreInit();
    PreInit();

    log = new Logging::Logger("Framework");
    log->stream << "Starting Pelko server...";
    log->Flush();

    Logging::LogHistory::Init();
    // The trees that the cache index and the JSON log were parsed into are gone: their
    // memory goes back to the system instead of staying with the process for good.
    malloc_trim(0);
    httpServer = new Rest::HttpServer();
    Idler::waitForRequests = [this](unsigned int milliseconds) { httpServer->Poll(milliseconds); };

    PostInit();

    XGControl::keepServerRunning = true;
    log->stream << "Started Pelko server successfully!";
    log->Flush();
}

Framework::~Framework()
{
    Idler::waitForRequests = nullptr;
    delete httpServer;
    httpServer = nullptr;
    delete log;
    log = nullptr;
}

void Framework::Run()
{
    while (XGControl::keepServerRunning)
    {
        Update();
        if (StopSignals::Received() && XGControl::keepServerRunning)
        {
            XGControl::keepServerRunning = false;
            log->stream << "Shutting down server upon a stop signal...";
            log->Flush();
        }
    }

    // Held requests are answered before the server stops; a fetch or an update they wait for
    // is cut short.
    Downloader::DownloadManager::StopFetches();
    Updater::Stop();
    // A signal stops the running downloads as well: they come back at the next start.
    if (StopSignals::Received())
        Downloader::DownloadManager::StopDownloads();
    OnExit();
    PostExit();
}

void Framework::PreInit()
{
    Logging::LogHistory::PreInit();
    XGConfig::PreInit();
    ConsoleManager::PreInit();
    Rest::RestQueryHandler::PreInit();
    Rest::ApiTokens::PreInit();
    Updater::PreInit();
    // The cache's files as the settings name them now; a change applies at the next start.
    Downloader::DownloadManager::PreInit(FileLayout(XGConfig::downloader.cachedir));
    Subscriptions::SubscriptionManager::PreInit();
    Library::LibraryManager::PreInit();
    Notifications::NotificationCenter::PreInit();
}

void Framework::PostInit()
{
    ConsoleManager::PostInit();
    httpServer->PostInit();
}

void Framework::Update()
{
    // What the download threads finished is committed first; the held requests are answered
    // right after, before anything starts, so that their replies show what the commit left.
    Downloader::DownloadManager::Commit();
    httpServer->Update();
    Downloader::DownloadManager::Advance();
    Subscriptions::SubscriptionManager::Update();
    Notifications::NotificationCenter::Update();
    Logging::LogHistory::Update();
    Idler::Update();
}

void Framework::OnExit()
{
    // Held requests are answered while the work they wait for goes on; the download manager
    // starts nothing new by now.
    while (httpServer->HasHeldRequests())
        Update();
    httpServer->OnExit();
    // A listing under way ends before the downloader's progress folder that it writes into goes.
    Subscriptions::SubscriptionManager::OnExit();
    Downloader::DownloadManager::OnExit();
    // After the downloads: what ended meanwhile is told, or kept for the next start.
    Notifications::NotificationCenter::OnExit();
}

void Framework::PostExit()
{
    XGConfig::PostExit();
    Rest::RestQueryHandler::PostExit();
    Rest::ApiTokens::PostExit();
    Subscriptions::SubscriptionManager::PostExit();
    Downloader::DownloadManager::PostExit();
    Notifications::NotificationCenter::PostExit();
    ConsoleManager::PostExit();
    Logging::LogHistory::PostExit();
}
