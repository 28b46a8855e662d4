#include "app/Framework.h"
#include "app/ConsoleManager.h"
#include "app/Idler.h"
#include "app/XGControl.h"
#include "config/XGConfig.h"
#include "downloader/DownloadManager.h"
#include "logging/LogHistory.h"

Framework::Framework()
{
    ConsoleManager::PrePreInit();
    PreInit();

    log = new Logging::Logger("Framework");
    log->stream << "Starting Pelko server...";
    log->Flush();

    Logging::LogHistory::Init();

    PostInit();

    XGControl::keepServerRunning = true;
    log->stream << "Started Pelko server successfully!";
    log->Flush();
}

Framework::~Framework()
{
    delete log;
    log = nullptr;
}

void Framework::Run()
{
    while (XGControl::keepServerRunning)
        Update();

    OnExit();
    PostExit();
}

void Framework::PreInit()
{
    Logging::LogHistory::PreInit();
    XGConfig::PreInit();
    ConsoleManager::PreInit();
    Downloader::DownloadManager::PreInit();
}

void Framework::PostInit()
{
    ConsoleManager::PostInit();
}

void Framework::Update()
{
    Downloader::DownloadManager::Update();
    Logging::LogHistory::Update();
    Idler::Update();
}

void Framework::OnExit()
{
    Downloader::DownloadManager::OnExit();
}

void Framework::PostExit()
{
    XGConfig::PostExit();
    Downloader::DownloadManager::PostExit();
    ConsoleManager::PostExit();
    Logging::LogHistory::PostExit();
}
