#include "rest/RestQueryHandler.h"
#include "app/Clock.h"
#include "app/XGControl.h"
#include "rest/RestResponseTemplates.h"

using namespace Rest;

Logging::Logger* RestQueryHandler::log = nullptr;
std::string RestQueryHandler::requester;

const RestQueryHandler::CommandEntry RestQueryHandler::commands[] = {
    {"kill_yourself", &KillYourself},
    {"queue_download", &QueueDownload},
    {"fetch_session_cache", &FetchSessionCache},
    {"fetch_alltime_cache", &FetchAlltimeCache},
    {"get_disk_usage", &GetDiskUsage},
    {"clear_download_cache", &ClearDownloadCache},
    {"clear_logs", &ClearLogs},
    {"foo", &Example_Foo},
    {"show_console", &ShowConsole},
    {"hide_console", &HideConsole},
    {"get_os_name", &GetOSName},
    {"fetch_session_logs", &FetchSessionLogs},
    {"fetch_alltime_logs", &FetchAlltimeLogs},
    {"update_dep_youtubedl", &UpdateYoutubeDL},
    {"remove_download_entry", &RemoveDownloadEntry},
    {"update_config", &UpdateConfig},
    {"reset_config_to_default_values", &ResetConfigDefaults},
    {"get_server_version", &GetServerVersion},
    {"cancel_download", &CancelDownload},
    {"retry_download", &RetryDownload},
    {"retry_downloads", &RetryDownloads},
    {"remove_download_entries", &RemoveDownloadEntries},
    {"fetch_settings_info", &FetchSettingsInfo},
    {"set_password", &SetPassword},
    {"set_cookies", &SetCookies},
    {"clear_cookies", &ClearCookies},
    {"get_downloader_info", &GetDownloaderInfo},
    {"add_subscription", &AddSubscription},
    {"fetch_subscriptions", &FetchSubscriptions},
    {"update_subscription", &UpdateSubscription},
    {"remove_subscription", &RemoveSubscription},
    {"check_subscription", &CheckSubscription},
    {"fetch_history", &FetchHistory},
    {"fetch_logs", &FetchLogs},
    {"test_notification", &TestNotification},
    {"create_api_token", &CreateApiToken},
    {"fetch_api_tokens", &FetchApiTokens},
    {"revoke_api_token", &RevokeApiToken},
};

void RestQueryHandler::PreInit()
{
    log = new Logging::Logger("RestQueryHandler");
}

void RestQueryHandler::PostExit()
{
    delete log;
    log = nullptr;
}

Reply RestQueryHandler::ProcessQuery(std::string requesterAddress, const Ostrel::JsonData& request)
{
    log->SetAdditionalInformation("@" + requesterAddress);
    requester = std::move(requesterAddress);

    Ostrel::JsonBlock refusal;
    if (!ValidateField("request", Ostrel::STRING, request, refusal))
        return {BAD_REQUEST, std::move(refusal)};
    const Ostrel::JsonBlock& requestObject = request.GetJsonData();
    const std::string name = requestObject.Get("request").GetStringData();

    for (const CommandEntry& command : commands)
        if (name == command.name)
            return command.handler(requestObject);
    return {NOT_FOUND, RestResponseTemplates::GetByCode(NOT_FOUND, "The requested request was not found.")};
}

bool RestQueryHandler::ValidateField(std::string name, Ostrel::JSON_DATA_TYPE type, const Ostrel::JsonData& request,
                                     Ostrel::JsonBlock& responseBody)
{
    if (request.GetDataType() != Ostrel::JSON)
    {
        responseBody.CloneFrom(RestResponseTemplates::GetByCode(
            BAD_REQUEST, "The request body must be a json struct! No json array or similar..."));
        return false;
    }
    return ValidateField(name, type, request.GetJsonData(), responseBody);
}

bool RestQueryHandler::ValidateField(const std::string& name, Ostrel::JSON_DATA_TYPE type,
                                     const Ostrel::JsonBlock& object, Ostrel::JsonBlock& responseBody)
{
    if (!object.DoesShorthandExist(name, '.'))
    {
        responseBody.CloneFrom(RestResponseTemplates::GetByCode(BAD_REQUEST, "Missing mandatory value '" + name + "'"));
        return false;
    }

    const Ostrel::JsonData& value = object.ShorthandGet(name, '.');
    const bool numberForNumber = value.IsOfNumericType() && (type == Ostrel::INT || type == Ostrel::FLOAT);
    if (value.GetDataType() == type || numberForNumber)
        return true;

    responseBody.CloneFrom(RestResponseTemplates::GetByCode(
        BAD_REQUEST, "Mandatory value \"" + name + "\" is of wrong type (" +
                         Ostrel::JsonDataType2String(value.GetDataType()) + ")\nShould be of type " +
                         Ostrel::JsonDataType2String(type) + "! (Integers can be casted to floats)"));
    return false;
}

Refusal RestQueryHandler::RequireField(const std::string& name, Ostrel::JSON_DATA_TYPE type,
                                       const Ostrel::JsonBlock& request)
{
    Ostrel::JsonBlock refusal;
    if (ValidateField(name, type, request, refusal))
        return std::nullopt;
    return Reply{BAD_REQUEST, std::move(refusal)};
}

Reply RestQueryHandler::Refuse(const std::string& message)
{
    return Reply::WithMessage(BAD_REQUEST, message);
}

bool RestQueryHandler::HasOptionalField(const std::string& name, Ostrel::JSON_DATA_TYPE type,
                                        const Ostrel::JsonBlock& request)
{
    Ostrel::JsonBlock scratch;
    return ValidateField(name, type, request, scratch);
}

int64_t RestQueryHandler::SecondsSinceBoot()
{
    return static_cast<int64_t>(Clock::now() - XGControl::boot_time);
}
