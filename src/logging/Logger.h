#pragma once
#include <sstream>
#include <string>
#include "logging/LogEntry.h"

namespace Logging
{
    // A named message composer. Callers write into `stream`, optionally marking the
    // message with Warn() or Err() in the same expression, and call Flush(), which
    // prints one time-stamped line and hands one LogEntry to the LogHistory:
    //     log->stream << log->Warn() << "Config file not found."; log->Flush();
    // A logger is used by one thread only; it is never copied.
    class Logger
    {
    public:
        explicit Logger(std::string identifier);
        Logger(const Logger&) = delete;
        Logger& operator=(const Logger&) = delete;

        void Clear();                 // empties the buffer, type back to LOG
        void Set(std::string text);   // replaces the buffer with `text`, type LOG
        std::string Type(LOG_TYPE t); // marks the message; returns ""
        std::string Warn();           // Type(WARN)
        std::string Err();            // Type(ERR)
        std::string Flush();          // prints and records the message, then clears; returns ""

        // Shown after the identifier on every later line (the REST logger keeps the client there).
        void SetAdditionalInformation(std::string info);

        static std::string TypeToPrefix(LOG_TYPE t); // " [WARN]", " [ERROR]" or ""
        static std::string TypeToColor(LOG_TYPE t);  // no colours are written: always ""

        bool IsInitializedSanityCheck();

        std::stringstream stream;

    private:
        std::string identifier;
        std::string additionalInformation;
        LOG_TYPE type = LOG;

    protected:
        // Only a logger that was never constructed properly has this cleared; the
        // operations then report the misuse instead of touching the buffer.
        bool isInitialized = false;
    };
}
