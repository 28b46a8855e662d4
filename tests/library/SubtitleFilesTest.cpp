#include <gtest/gtest.h>
#include <algorithm>
#include <filesystem>
#include <sys/stat.h>
#include "library/SubtitleFiles.h"
#include "support/TempDir.h"

using Library::SubtitleFiles;
using TestSupport::ReadRaw;
using TestSupport::WriteRaw;
namespace fs = std::filesystem;

namespace
{
    std::vector<std::string> NamesIn(const std::string& folder)
    {
        std::vector<std::string> names;
        for (const fs::directory_entry& entry : fs::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
}

// The download's own .srt files, and only those, go beside the library's file under its name:
// linked on the same file system, copied onto another, and a file the user put there stays.
TEST(SubtitleFiles, TheDownloadsSubtitlesGoBesideTheLibraryFile)
{
    TestSupport::TempDir directory;
    const std::string cache = directory / "download";
    fs::create_directory(cache);
    for (const std::string name : {"abc.mp4", "abc.en.srt", "abc.pt-BR.srt", "abc.en.vtt", "abcd.de.srt", "other.de.srt"})
        WriteRaw(cache + "/" + name, name);

    std::vector<std::string> libraries = {directory / "library"};
    // /dev/shm is a file system of its own on most machines; a hard link cannot reach it.
    struct stat here{}, there{};
    char pattern[] = "/dev/shm/pelko-library-XXXXXX";
    if (stat("/dev/shm", &there) == 0 && stat(directory.Path().c_str(), &here) == 0 && here.st_dev != there.st_dev &&
        mkdtemp(pattern) != nullptr)
        libraries.push_back(pattern);

    for (const std::string& library : libraries)
    {
        SCOPED_TRACE(library);
        fs::create_directories(library + "/Band");
        WriteRaw(library + "/Band/Song [abc].mp4", "video");
        WriteRaw(library + "/Band/Song [abc].pt-BR.srt", "the user's own");

        EXPECT_EQ(SubtitleFiles::PlaceBeside(cache + "/abc.mp4", library + "/Band/Song [abc].mp4"), "");
        EXPECT_EQ(NamesIn(library + "/Band"),
                  (std::vector<std::string>{"Song [abc].en.srt", "Song [abc].mp4", "Song [abc].pt-BR.srt"}));
        EXPECT_EQ(ReadRaw(library + "/Band/Song [abc].en.srt"), "abc.en.srt");
        EXPECT_EQ(ReadRaw(library + "/Band/Song [abc].pt-BR.srt"), "the user's own");
        EXPECT_EQ(fs::equivalent(cache + "/abc.en.srt", library + "/Band/Song [abc].en.srt"),
                  library == libraries.front());
    }
    if (libraries.size() > 1)
        fs::remove_all(libraries.back());
}
