#include "downloader/RunFiles.h"
#include <filesystem>
#include <unistd.h>
#include "downloader/Cookies.h"

using namespace Downloader;
namespace fs = std::filesystem;

RunFiles::RunFiles(const DownloaderProgramInfo& programInUse, const FileLayout::Scratch& scratch)
    : program(programInUse)
{
    if (Cookies::CopyForRun(scratch.Cookies()))
        cookies = scratch.Cookies();

    if (!program.isOwnCopy)
        return;
    // The name ends like the program's own, as a downloader may look at the name it was started by.
    const std::string pinned = scratch.Program(fs::path(program.path).filename().string());
    std::error_code error;
    fs::remove(pinned, error);
    // The program is a Python archive whose parts are read while it runs, by its name: the
    // same file under a name of its own stays what it is when the programs folder gets a new one.
    if (link(program.path.c_str(), pinned.c_str()) != 0)
    {
        fs::copy_file(program.path, pinned, error);
        if (!error)
            fs::permissions(pinned, fs::perms::owner_all, error);
        if (error)
        {
            fs::remove(pinned, error);
            return;
        }
    }
    pinnedProgram = pinned;
    program.path = pinned;
}

RunFiles::~RunFiles()
{
    std::error_code ignored;
    if (!cookies.empty())
        fs::remove(cookies, ignored);
    if (!pinnedProgram.empty())
        fs::remove(pinnedProgram, ignored);
}
