#include "library/Thumbnail.h"
#include <cstdlib>
#include <filesystem>
#include <unistd.h>
#include "app/FileSystem.h"
#include "app/HttpClient.h"
#include "config/XGConfig.h"
#include "downloader/ExternalProgram.h"
#include "library/FilePlacer.h"

using namespace Library;
namespace fs = std::filesystem;

namespace
{
    // Sites' largest thumbnails are well under a MiB.
    constexpr size_t pictureLimit = 16 * 1024 * 1024;

    bool IsWebAddress(const std::string& url)
    {
        return url.starts_with("https://") || url.starts_with("http://");
    }

    bool IsJpeg(const std::string& content)
    {
        return content.size() > 3 && content.compare(0, 3, "\xFF\xD8\xFF") == 0;
    }

    // A hidden name of its own in the folder of `path`, which a media server skips.
    std::string HiddenBeside(const std::string& path)
    {
        std::string name = (fs::path(path).parent_path() / ".pelko-thumb-XXXXXX").string();
        const int descriptor = mkstemp(name.data());
        if (descriptor < 0)
            return "";
        close(descriptor);
        return name;
    }
}

std::string Thumbnail::UrlOf(const Ostrel::JsonBlock& metadata)
{
    std::string url;
    if (XGConfig::IsJsonFieldValid(metadata, "thumbnail", Ostrel::STRING))
        url = metadata.Get("thumbnail").GetStringData();
    else if (XGConfig::IsJsonFieldValid(metadata, "thumbnails", Ostrel::ARRAY))
    {
        const Ostrel::JsonArray& thumbnails = metadata.Get("thumbnails").GetArrayData();
        for (size_t i = 0; i < thumbnails.Size(); i++)
            if (thumbnails.At(i).GetDataType() == Ostrel::JSON &&
                XGConfig::IsJsonFieldValid(thumbnails.At(i).GetJsonData(), "url", Ostrel::STRING))
                url = thumbnails.At(i).GetJsonData().Get("url").GetStringData();
    }
    return IsWebAddress(url) ? url : "";
}

std::string Thumbnail::SaveAsJpeg(const std::string& url, const std::string& path)
{
    HttpClient::Request request;
    request.url = url;
    request.limit = pictureLimit;
    request.timeoutSeconds = 60;
    request.connectTimeoutSeconds = 10;
    request.followRedirectsToHttps = true;
    const HttpClient::Response response = HttpClient::Perform(request);
    if (response.outcome != HttpClient::ANSWERED || response.status != 200)
        return "Could not download the thumbnail " + url + ": " +
               (response.outcome == HttpClient::ANSWERED ? "HTTP status " + std::to_string(response.status)
                : response.outcome == HttpClient::TOO_LARGE ? std::string("it is too large")
                                                            : response.error) + ".";

    const std::string fetched = HiddenBeside(path);
    if (fetched.empty() || !FileSystem::WriteFile(fetched, response.body))
    {
        std::error_code ignored;
        fs::remove(fetched, ignored);
        return "Could not write the thumbnail beside " + path + ".";
    }
    std::string jpeg = fetched;
    std::string problem;
    if (!IsJpeg(response.body))
    {
        jpeg = fetched + ".jpg";
        const Downloader::ExternalProgram::Outcome outcome = Downloader::ExternalProgram::Run(
            {"ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-i", fetched, "-frames:v", "1", "-c:v", "mjpeg",
             "-f", "image2", jpeg},
            "/dev/null", "/dev/null");
        if (outcome.exitStatus != 0)
            problem = "ffmpeg could not make a JPEG of the thumbnail " + url + ".";
    }
    if (problem.empty())
        problem = FilePlacer::PlaceBeside(jpeg, path);
    std::error_code ignored;
    fs::remove(fetched, ignored);
    fs::remove(fetched + ".jpg", ignored);
    return problem;
}
