#pragma once
#include <string>
#include <vector>

namespace Downloader
{
    // The one way the server starts another program: directly, from an argument vector,
    // never through a shell, so no argument is ever interpreted. Safe to use from any thread.
    class ExternalProgram
    {
    public:
        // Runs `arguments` (the first is the program, looked up on the search path) to its
        // end, with standard input from /dev/null and standard output written into the file
        // at `standardOutputPath`, which is created or emptied before the program starts.
        // Standard error stays the server's. Returns the exit status; -1 when the output
        // file cannot be created (nothing is started then), the program cannot be started,
        // or it ended through a signal.
        static int Run(const std::vector<std::string>& arguments, const std::string& standardOutputPath);

        // Full path of the executable `name` in the first directory of PATH that has one;
        // empty when none has.
        static std::string FindOnSearchPath(const std::string& name);
    };
}
