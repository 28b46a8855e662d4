#pragma once
#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace Downloader
{
    // The one way the server starts another program: directly, from an argument vector,
    // never through a shell, so no argument is ever interpreted. Safe to use from any thread.
    class ExternalProgram
    {
    public:
        // How long a program may take to end after SIGTERM before its group gets SIGKILL.
        static constexpr int stopGraceSeconds = 5;

        struct Outcome
        {
            bool started = false;  // false: an output file could not be created, or the program not started
            int exitStatus = -1;   // when it ended by itself; -1 otherwise
            int signal = 0;        // the signal that ended it, 0 when it exited
            bool stopped = false;  // it was told to stop before it ended
        };

        // Runs `arguments` (the first is the program, looked up on the search path) to its end,
        // in a process group of its own, with standard input from /dev/null. Standard output goes
        // into the file at `standardOutputPath` and, unless the path is empty, standard error
        // into `standardErrorPath`; both files are created or emptied before the program starts.
        // While it runs, `whileRunning` is called about every 100 ms. Once `*stop` turns true the
        // whole group gets SIGTERM and, stopGraceSeconds later, SIGKILL. When Run returns, no
        // process of the group is left, whatever the program left behind.
        static Outcome Run(const std::vector<std::string>& arguments, const std::string& standardOutputPath,
                           const std::string& standardErrorPath = "", const std::atomic<bool>* stop = nullptr,
                           const std::function<void()>& whileRunning = nullptr);

        // Full path of the executable `name` in the first directory of PATH that has one;
        // empty when none has.
        static std::string FindOnSearchPath(const std::string& name);
    };
}
