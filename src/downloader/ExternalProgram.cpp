#include "downloader/ExternalProgram.h"
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace Downloader;

namespace
{
    // Owns the spawn attributes so every return path releases them.
    struct SpawnSetup
    {
        posix_spawn_file_actions_t actions;
        posix_spawnattr_t attributes;

        explicit SpawnSetup(int standardOutput)
        {
            posix_spawn_file_actions_init(&actions);
            posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
            posix_spawn_file_actions_adddup2(&actions, standardOutput, STDOUT_FILENO);
            // Listening sockets and other downloads' files are none of the child's business.
            posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);

            // The child starts with default signal handling and nothing blocked, whatever the
            // server or its HTTP library changed for itself.
            posix_spawnattr_init(&attributes);
            sigset_t all;
            sigset_t none;
            sigfillset(&all);
            sigemptyset(&none);
            posix_spawnattr_setsigdefault(&attributes, &all);
            posix_spawnattr_setsigmask(&attributes, &none);
            posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
        }
        ~SpawnSetup()
        {
            posix_spawnattr_destroy(&attributes);
            posix_spawn_file_actions_destroy(&actions);
        }
        SpawnSetup(const SpawnSetup&) = delete;
        SpawnSetup& operator=(const SpawnSetup&) = delete;
    };

    int WaitForExit(pid_t child)
    {
        int status = 0;
        while (waitpid(child, &status, 0) < 0)
        {
            if (errno != EINTR)
                return -1;
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
}

int ExternalProgram::Run(const std::vector<std::string>& arguments, const std::string& standardOutputPath)
{
    if (arguments.empty())
        return -1;

    // Created here rather than in the child, so that the file exists (empty) even when the
    // program cannot be started, just as a shell redirection leaves it.
    const int output = open(standardOutputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (output < 0)
        return -1;

    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    pid_t child = 0;
    int spawnError = 0;
    {
        SpawnSetup setup(output);
        spawnError = posix_spawnp(&child, argv[0], &setup.actions, &setup.attributes, argv.data(), environ);
    }
    close(output);
    if (spawnError != 0)
        return -1;
    return WaitForExit(child);
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
