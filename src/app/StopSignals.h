#pragma once

// SIGTERM and SIGINT (how systemd, container engines and Ctrl-C stop a server) ask for the
// orderly shut-down; a second one while it runs ends the process at once.
namespace StopSignals
{
    // Installs the handlers; once, at the start of the process.
    void Install();
    // True once a stop signal has arrived. Safe from any thread.
    bool Received();
}
