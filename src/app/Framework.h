#pragma once
#include "logging/Logger.h"

namespace Rest
{
    class HttpServer;
}

// Runs the life of the process: the constructor performs the whole start-up, Run()
// loops over update passes until the run flag is cleared and then shuts down.
// Each phase is a fixed list of subsystem calls whose order carries the design: the
// log history exists before anyone logs, the settings are loaded before anyone reads
// them, and the log history shuts down last so every shut-down message is kept.
class Framework
{
public:
    Framework();
    ~Framework();
    Framework(const Framework&) = delete;
    Framework& operator=(const Framework&) = delete;

    void Run();

    void PreInit();
    void PostInit();
    void Update();   // one pass of the main loop
    void OnExit();
    void PostExit();

private:
    Rest::HttpServer* httpServer = nullptr;
    Logging::Logger* log = nullptr;
};
