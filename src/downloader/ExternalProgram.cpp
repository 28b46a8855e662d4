#include "downloader/ExternalProgram.h"
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <mutex>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

extern char** environ;

using namespace Downloader;

namespace
{
    constexpr int pollMilliseconds = 100;
    constexpr int leftoverWaitMilliseconds = 2000;

    // Owns the spawn attributes so every return path releases them.
    struct SpawnSetup
    {
        posix_spawn_file_actions_t actions;
        posix_spawnattr_t attributes;

        SpawnSetup(int standardOutput, int standardError)
        {
            posix_spawn_file_actions_init(&actions);
            posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
            posix_spawn_file_actions_adddup2(&actions, standardOutput, STDOUT_FILENO);
            if (standardError >= 0)
                posix_spawn_file_actions_adddup2(&actions, standardError, STDERR_FILENO);
            // Listening sockets and other downloads' files are none of the child's business.
            posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);

            // The child starts with default signal handling and nothing blocked, whatever the
            // server or its HTTP library changed for itself, and leads a process group of its
            // own, so that stopping it reaches everything it starts (ffmpeg above all).
            posix_spawnattr_init(&attributes);
            sigset_t all;
            sigset_t none;
            sigfillset(&all);
            sigemptyset(&none);
            posix_spawnattr_setsigdefault(&attributes, &all);
            posix_spawnattr_setsigmask(&attributes, &none);
            posix_spawnattr_setpgroup(&attributes, 0);
            posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);
        }
        ~SpawnSetup()
        {
            posix_spawnattr_destroy(&attributes);
            posix_spawn_file_actions_destroy(&actions);
        }
        SpawnSetup(const SpawnSetup&) = delete;
        SpawnSetup& operator=(const SpawnSetup&) = delete;
    };

    // Created here rather than in the child, so that the file exists (empty) even when the
    // program cannot be started, just as a shell redirection leaves it.
    int OpenOutput(const std::string& path)
    {
        return open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    }

    // Sleeps until the child ends or `milliseconds` pass; with a pidfd the end wakes it at once.
    void AwaitChild(int pidfd, int milliseconds)
    {
        if (pidfd >= 0)
        {
            pollfd waiting{pidfd, POLLIN, 0};
            poll(&waiting, 1, milliseconds);
        }
        else
        {
            usleep(static_cast<useconds_t>(milliseconds) * 1000);
        }
    }

    // Processes that the programs leave behind are handed to this process rather than to the
    // first process of the system, which may never reap them: so EndLeftovers can.
    void AdoptOrphans()
    {
        static std::once_flag once;
        std::call_once(once, [] { prctl(PR_SET_CHILD_SUBREAPER, 1); });
    }

    // The group may outlive its leader (a converter the downloader started); nothing of it
    // may stay behind. Its id cannot be given to another group while any member lives.
    void EndLeftovers(pid_t group)
    {
        for (int waited = 0; waited < leftoverWaitMilliseconds; waited += 10)
        {
            if (kill(-group, SIGKILL) != 0 && errno == ESRCH)
                return;
            while (waitpid(-group, nullptr, WNOHANG) > 0)
            {
            }
            usleep(10 * 1000);
        }
    }
}

ExternalProgram::Outcome ExternalProgram::Run(const std::vector<std::string>& arguments,
                                              const std::string& standardOutputPath,
                                              const std::string& standardErrorPath, const std::atomic<bool>* stop,
                                              const std::function<void()>& whileRunning)
{
    Outcome outcome;
    if (arguments.empty())
        return outcome;
    AdoptOrphans();

    const int output = OpenOutput(standardOutputPath);
    if (output < 0)
        return outcome;
    const int error = standardErrorPath.empty() ? -1 : OpenOutput(standardErrorPath);
    if (!standardErrorPath.empty() && error < 0)
    {
        close(output);
        return outcome;
    }

    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    pid_t child = 0;
    int spawnError = 0;
    {
        SpawnSetup setup(output, error);
        spawnError = posix_spawnp(&child, argv[0], &setup.actions, &setup.attributes, argv.data(), environ);
    }
    close(output);
    if (error >= 0)
        close(error);
    if (spawnError != 0)
        return outcome;
    outcome.started = true;

    // glibc declares pidfd_open without C linkage for C++; the system call is the same.
    const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, child, 0));
    int status = 0;
    std::chrono::steady_clock::time_point killAt{};
    for (;;)
    {
        const pid_t ended = waitpid(child, &status, WNOHANG);
        if (ended == child || (ended < 0 && errno != EINTR))
            break;
        if (stop != nullptr && *stop)
        {
            const auto now = std::chrono::steady_clock::now();
            if (!outcome.stopped)
            {
                outcome.stopped = true;
                killAt = now + std::chrono::seconds(stopGraceSeconds);
                kill(-child, SIGTERM);
            }
            else if (now >= killAt)
            {
                kill(-child, SIGKILL);
            }
        }
        if (whileRunning)
            whileRunning();
        AwaitChild(pidfd, pollMilliseconds);
    }
    if (pidfd >= 0)
        close(pidfd);
    EndLeftovers(child);

    if (WIFEXITED(status))
        outcome.exitStatus = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        outcome.signal = WTERMSIG(status);
    return outcome;
}

std::string ExternalProgram::FindOnSearchPath(const std::string& name)
{
    const char* searchPath = getenv("PATH");
    if (searchPath == nullptr || name.empty() || name.find('/') != std::string::npos)
        return "";

    const std::string directories = searchPath;
    size_t begin = 0;
    while (begin <= directories.size())
    {
        size_t end = directories.find(':', begin);
        if (end == std::string::npos)
            end = directories.size();
        std::string directory = directories.substr(begin, end - begin);
        if (directory.empty())
            directory = ".";

        const std::string candidate = directory + "/" + name;
        struct stat info{};
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(candidate.c_str(), X_OK) == 0)
            return candidate;
        begin = end + 1;
    }
    return "";
}
