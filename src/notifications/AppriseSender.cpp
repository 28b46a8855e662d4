#include "notifications/AppriseSender.h"
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>
#include "app/FileSystem.h"
#include "config/SettingsTable.h"
#include "downloader/ExternalProgram.h"

using namespace Notifications;

namespace
{
    constexpr const char* programName = "apprise";

    std::string NotificationType(const std::string& event)
    {
        if (event == "finished")
            return "success";
        if (event == "failed" || event == "subscription_error")
            return "failure";
        return "info";
    }

    // The program's last warning or error ("... - WARNING - A Connection error occurred ..."),
    // with the address masked wherever the program repeats it.
    std::string LastComplaint(const std::string& output, const std::string& url)
    {
        std::string complaint;
        size_t begin = 0;
        while (begin < output.size())
        {
            size_t end = output.find('\n', begin);
            if (end == std::string::npos)
                end = output.size();
            const std::string line = output.substr(begin, end - begin);
            begin = end + 1;
            for (const char* level : {" - ERROR - ", " - WARNING - "})
                if (const size_t at = line.find(level); at != std::string::npos)
                    complaint = line.substr(at + std::char_traits<char>::length(level));
        }
        for (const std::string& secret : {url, url.substr(url.find("://") == std::string::npos ? 0 : url.find("://") + 3)})
            for (size_t at; !secret.empty() && (at = complaint.find(secret)) != std::string::npos;)
                complaint.replace(at, secret.size(), SettingsTable::maskedText);
        return complaint;
    }

    // Line ends kept: the complaint is the last line that has one.
    std::string ReadAll(const std::string& path)
    {
        std::ifstream file(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
}

bool AppriseSender::IsInstalled()
{
    return !Downloader::ExternalProgram::FindOnSearchPath(programName).empty();
}

NotificationTarget::Attempt AppriseSender::Send(const std::string& url, const Notification& notification,
                                                const std::atomic<bool>* stop)
{
    NotificationTarget::Attempt attempt;
    if (!IsInstalled())
    {
        attempt.outcome = "not sent: the apprise program is not installed";
        return attempt;
    }
    static std::atomic<unsigned long> counter{0};
    const std::filesystem::path base = std::filesystem::temp_directory_path() /
                                       ("pelko-apprise-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
    const std::string configuration = base.string() + ".txt";
    const std::string output = base.string() + ".out";
    const std::string errors = base.string() + ".err";
    if (!FileSystem::WriteFile(configuration, url + "\n", 0600))
    {
        attempt.outcome = "not sent: the address could not be handed to apprise";
        return attempt;
    }

    // Stopped when the server stops or the program takes too long.
    std::atomic<bool> ending = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    const Downloader::ExternalProgram::Outcome run = Downloader::ExternalProgram::Run(
        {programName, "-v", "-n", NotificationType(notification.Event()), "-t", notification.Title(), "-b",
         notification.Text(), "--config=" + configuration},
        output, errors, &ending, [&] {
            if ((stop != nullptr && *stop) || std::chrono::steady_clock::now() > deadline)
                ending = true;
        });
    const std::string complaint = LastComplaint(ReadAll(errors) + "\n" + ReadAll(output), url);
    for (const std::string& file : {configuration, output, errors})
        FileSystem::Delete(file);

    attempt.delivered = run.started && run.exitStatus == 0;
    if (!run.started)
        attempt.outcome = "not sent: apprise could not be started";
    else if (run.stopped)
        attempt.outcome = stop != nullptr && *stop ? "not sent: the server is shutting down"
                                                   : "no answer within " + std::to_string(timeoutSeconds) + " s";
    else
        attempt.outcome = "exit status " + std::to_string(run.exitStatus) + (complaint.empty() ? "" : ": " + complaint);
    return attempt;
}
