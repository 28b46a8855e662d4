#include "library/FilePlacer.h"
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

using namespace Library;
namespace fs = std::filesystem;

namespace
{
    // Enough for any real collection of equal titles; past it something is wrong.
    constexpr int maxNumber = 1000;

    std::string Sentence(const std::string& what, int error)
    {
        return what + ": " + std::strerror(error) + ".";
    }

    // Renames without ever replacing a file; false with errno EEXIST when the name is taken.
    bool RenameToFree(const std::string& from, const std::string& to)
    {
        if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
            return true;
        if (errno != EINVAL && errno != ENOSYS)
            return false;
        // File systems that cannot rename without replacing: the test and the rename are apart.
        std::error_code error;
        if (fs::exists(to, error) || fs::is_symlink(to, error))
        {
            errno = EEXIST;
            return false;
        }
        return std::rename(from.c_str(), to.c_str()) == 0;
    }

    // A copy of `source` in `folder` under a hidden name of its own, which a media server
    // skips; empty with `problem` when it could not be written.
    std::string HiddenCopy(const std::string& source, const std::string& folder, std::string& problem)
    {
        std::string temporary = folder + "/.pelko-XXXXXX";
        const int descriptor = mkstemp(temporary.data());
        if (descriptor < 0)
        {
            problem = Sentence("Cannot write into \"" + folder + "\"", errno);
            return "";
        }
        close(descriptor);
        std::error_code error;
        fs::copy_file(source, temporary, fs::copy_options::overwrite_existing, error);
        if (!error)
            return temporary;
        problem = "Cannot copy \"" + source + "\" into the library: " + error.message() + ".";
        std::remove(temporary.c_str());
        return "";
    }

    // Tries the names of `name` from " (1)" on with `attempt`, which is false with errno set
    // when it failed; EEXIST goes on to the next number, anything else ends the tries.
    template <typename Attempt>
    bool UnderFreeName(const std::string& folder, const LibraryName& name, std::string& placed, Attempt attempt)
    {
        for (int number = 1; number <= maxNumber; number++)
        {
            if (attempt(folder + "/" + name.FileName(number)))
            {
                placed = name.Path(number);
                return true;
            }
            if (errno != EEXIST)
                return false;
        }
        errno = EEXIST;
        return false;
    }
}

bool FilePlacer::Place(const std::string& source, const std::string& libraryDir, const LibraryName& name,
                       std::string& placed, std::string& problem)
{
    std::error_code error;
    if (!fs::is_directory(libraryDir, error))
    {
        problem = "The library folder \"" + libraryDir + "\" does not exist.";
        return false;
    }
    std::string folder = libraryDir;
    for (const std::string& level : name.folders)
        folder += "/" + level;
    fs::create_directories(folder, error);
    if (error)
    {
        problem = "Cannot make the folder \"" + folder + "\": " + error.message() + ".";
        return false;
    }

    int linkError = 0;
    const bool linked = UnderFreeName(folder, name, placed, [&](const std::string& target) {
        if (link(source.c_str(), target.c_str()) == 0)
            return true;
        linkError = errno;
        return false;
    });
    if (linked)
        return true;
    if (linkError == EEXIST)
    {
        problem = "Every name up to \"" + name.FileName(maxNumber) + "\" is taken.";
        return false;
    }

    // Another file system, or one without hard links: a copy, whole before it gets its name.
    const std::string temporary = HiddenCopy(source, folder, problem);
    if (temporary.empty())
        return false;
    if (UnderFreeName(folder, name, placed,
                      [&temporary](const std::string& target) { return RenameToFree(temporary, target); }))
        return true;
    problem = Sentence("Cannot name the copy in \"" + folder + "\"", errno);
    std::remove(temporary.c_str());
    return false;
}

std::string FilePlacer::PlaceBeside(const std::string& source, const std::string& target)
{
    if (link(source.c_str(), target.c_str()) == 0 || errno == EEXIST)
        return "";
    const std::string folder = fs::path(target).parent_path().string();
    std::string problem;
    const std::string temporary = HiddenCopy(source, folder, problem);
    if (temporary.empty())
        return problem;
    if (!RenameToFree(temporary, target) && errno != EEXIST)
        problem = Sentence("Cannot name the copy \"" + target + "\"", errno);
    std::remove(temporary.c_str());
    return problem;
}
