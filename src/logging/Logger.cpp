#include "logging/Logger.h"
#include <ctime>
#include <iostream>
#include "app/Clock.h"
#include "logging/LogHistory.h"

using namespace Logging;

Logger::Logger(std::string identifier)
    : identifier(std::move(identifier)), isInitialized(true)
{
}

void Logger::Clear()
{
    if (!IsInitializedSanityCheck())
        return;
    stream.str("");
    stream.clear();
    type = LOG;
}

void Logger::Set(std::string text)
{
    if (!IsInitializedSanityCheck())
        return;
    Clear();
    stream << text;
}

std::string Logger::Type(LOG_TYPE t)
{
    if (IsInitializedSanityCheck())
        type = t;
    return "";
}

std::string Logger::Warn()
{
    return Type(WARN);
}

std::string Logger::Err()
{
    return Type(ERR);
}

std::string Logger::Flush()
{
    if (!IsInitializedSanityCheck())
        return "";

    const time_t now = Clock::now();
    struct tm local{};
    localtime_r(&now, &local);
    char timeText[100];
    strftime(timeText, sizeof(timeText), "%d.%m.%Y - %T", &local);

    const std::string bareMessage = stream.str();
    std::stringstream line;
    line << "<" << timeText << "> [" << identifier << "]" << TypeToPrefix(type);
    if (!additionalInformation.empty())
        line << " " << additionalInformation;
    line << ": " << bareMessage;

    LogEntry* entry = new LogEntry();
    entry->message = bareMessage;
    entry->compiledMessage = line.str();
    entry->identifier = identifier;
    entry->additional_information = additionalInformation;
    entry->timestamp = now;
    entry->type = type;
    LogHistory::AddLogToHistory(entry);

    std::cout << line.str() << std::endl;

    Clear();
    return "";
}

void Logger::SetAdditionalInformation(std::string info)
{
    additionalInformation = std::move(info);
}

std::string Logger::TypeToPrefix(LOG_TYPE t)
{
    switch (t)
    {
    case WARN:
        return " [WARN]";
    case ERR:
        return " [ERROR]";
    default:
        return "";
    }
}

std::string Logger::TypeToColor(LOG_TYPE)
{
    return "";
}

bool Logger::IsInitializedSanityCheck()
{
    if (isInitialized)
        return true;

    Logger complaint("Logger");
    complaint.stream << complaint.Err() << "Attempted to use logger object without being initialized!";
    complaint.Flush();
    return false;
}
