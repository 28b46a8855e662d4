#include "rest/MetricsPage.h"
#include <fstream>
#include <microhttpd.h>
#include <unistd.h>
#include "app/FileLayout.h"
#include "app/FileSystem.h"
#include "app/Metrics.h"
#include "downloader/DownloadManager.h"
#include "rest/HttpServer.h"

using namespace Rest;

namespace
{
    // From /proc: the second number of statm is the resident size in pages.
    double ResidentBytes()
    {
        std::ifstream statm("/proc/self/statm");
        long long size = 0, resident = 0;
        if (!(statm >> size >> resident))
            return 0;
        return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE));
    }
}

void MetricsPage::Serve(MHD_Connection* connection, unsigned int openConnections)
{
    using Downloader::DownloadManager;
    Metrics::Set("pelko_queue_length", static_cast<double>(DownloadManager::GetQueueLength()));
    Metrics::Set("pelko_running_downloads", static_cast<double>(DownloadManager::GetNumActiveDownloads()));
    // The cache in use: a changed downloader.cachedir takes effect only at the next start.
    const std::string cache = DownloadManager::Files().CacheDirectory();
    Metrics::Set("pelko_cache_bytes",
                 FileSystem::ExistsDirectory(cache) ? static_cast<double>(FileSystem::CalculateSize(cache, true)) : 0);
    Metrics::Set("process_resident_memory_bytes", ResidentBytes());
    Metrics::Set("pelko_open_connections", openConnections);

    const std::string text = Metrics::Render();
    MHD_Response* response =
        MHD_create_response_from_buffer(text.size(), const_cast<char*>(text.data()), MHD_RESPMEM_MUST_COPY);
    if (response == nullptr)
        return;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, "text/plain; version=0.0.4; charset=utf-8");
    MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
    MHD_queue_response(connection, MHD_HTTP_OK, response);
    MHD_destroy_response(response);
}

std::string MetricsPage::RouteName(const std::string& uri)
{
    if (uri == "/api")
        return "api";
    if (uri == HttpServer::eventsRoute)
        return "events";
    if (uri == HttpServer::metricsRoute)
        return "metrics";
    if (FileLayout::IsDownloadRoute(uri))
        return "download";
    if (uri.starts_with(HttpServer::feedsPrefix))
        return "feeds";
    if (uri == "/login" || uri == "/logout")
        return uri.substr(1);
    return "page";
}

std::string MetricsPage::StatusClass(unsigned int status)
{
    return std::to_string(status / 100) + "xx";
}
