#include <gtest/gtest.h>
#include <filesystem>
#include <sys/stat.h>
#include "json/UTF8.h"
#include "library/FilePlacer.h"
#include "library/LibraryTemplate.h"
#include "support/TempDir.h"

using namespace Library;
using TestSupport::ReadRaw;
using TestSupport::WriteRaw;
namespace fs = std::filesystem;

namespace
{
    const std::string defaultTemplate = "{uploader}/{title} [{video_id}].{ext}";

    LibraryName NameOf(const std::string& title, const std::string& uploader)
    {
        return LibraryTemplate::Expand(defaultTemplate,
                                       {{"title", title}, {"uploader", uploader}, {"video_id", "vid42"}, {"ext", "mp4"}});
    }

    std::vector<std::string> FilesBelow(const std::string& folder)
    {
        std::vector<std::string> files;
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder))
            if (!entry.is_directory())
                files.push_back(fs::relative(entry.path(), folder).string());
        return files;
    }

    // What any file system and a Windows share take as a name.
    void ExpectSafeName(const std::string& name, const std::string& what)
    {
        SCOPED_TRACE(what + ": " + name);
        EXPECT_FALSE(name.empty());
        EXPECT_LE(name.size(), 200u);
        EXPECT_NE(name.front(), '.');
        EXPECT_NE(name.front(), ' ');
        EXPECT_NE(name.back(), '.');
        EXPECT_NE(name.back(), ' ');
        EXPECT_EQ(name.find_first_of("<>:\"/\\|?*"), std::string::npos);
        for (size_t i = 0; i < name.size();)
        {
            const size_t start = i;
            const char32_t c = Ostrel::UTF8::Next(name, i);
            EXPECT_FALSE(c < 0x20 || c == 0x7F) << "control character at " << start;
            EXPECT_FALSE(c == Ostrel::UTF8::replacementCharacter) << "not UTF-8 at " << start;
        }
        std::string base = name.substr(0, name.find('.'));
        for (char& c : base)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        for (const std::string reserved : {"CON", "PRN", "AUX", "NUL", "COM1", "COM9", "LPT1", "LPT9"})
            EXPECT_NE(base, reserved);
    }

    class FilePlacerTest : public ::testing::Test
    {
    protected:
        void SetUp() override
        {
            WriteRaw(source, "the video's bytes");
            fs::create_directory(library);
        }

        bool Place(const LibraryName& name)
        {
            placed.clear();
            problem.clear();
            return FilePlacer::Place(source, library, name, placed, problem);
        }

        TestSupport::TempDir directory;
        const std::string source = directory / "cached.mp4";
        const std::string library = directory / "library";
        std::string placed;
        std::string problem;
    };
}

TEST_F(FilePlacerTest, HostileMetadataGivesOneSafeFileInsideTheLibrary)
{
    struct Case
    {
        std::string what, title, uploader;
    };
    const std::vector<Case> cases = {
        {"slashes", "AC/DC: Back\\in/Black", "a/b\\c"},
        {"climbing out", "../../../etc/passwd", ".."},
        {"the library's own level", "x", "."},
        {"hidden file", ".bashrc", ".config"},
        {"control characters", "line\none\ttab\x1b[31mred\x7f", "\r\n"},
        {"300 bytes", std::string(300, 'x'), std::string(300, 'y')},
        {"300 bytes of emoji", [] { std::string s; for (int i = 0; i < 75; i++) s += "\xF0\x9F\x8E\xB5"; return s; }(),
         "\xF0\x9F\x98\x80 Smiles"},
        {"Windows devices", "CON", "lpt1"},
        {"Windows device with extension", "nul.tar", "Aux.txt"},
        {"Windows refused characters", "What? <Now> | \"quoted\" * star", "C:"},
        {"trailing dots and spaces", "title. . .", "uploader   "},
        {"not UTF-8", "bad\xC3\x28 bytes\xFF", "\xE2\x82"},
        {"empty", "", ""},
        {"only dots", "...", "...."},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        fs::remove_all(library);
        fs::create_directory(library);
        ASSERT_TRUE(Place(NameOf(c.title, c.uploader))) << problem;

        const std::vector<std::string> files = FilesBelow(library);
        ASSERT_EQ(files, std::vector<std::string>{placed});
        const std::string real = fs::canonical(library + "/" + placed).string();
        EXPECT_EQ(real.rfind(fs::canonical(library).string() + "/", 0), 0u) << real;
        const std::vector<std::string> levels = [&] {
            std::vector<std::string> parts;
            for (const fs::path& part : fs::path(placed))
                parts.push_back(part.string());
            return parts;
        }();
        ASSERT_EQ(levels.size(), 2u) << placed;  // no value adds a level
        for (const std::string& level : levels)
            ExpectSafeName(level, c.what);
        EXPECT_TRUE(levels.back().ends_with("[vid42].mp4")) << levels.back();
        EXPECT_EQ(ReadRaw(library + "/" + placed), "the video's bytes");
    }
}

TEST_F(FilePlacerTest, HardLinksOnTheSameFileSystem)
{
    ASSERT_TRUE(Place(NameOf("Song", "Band"))) << problem;
    EXPECT_EQ(placed, "Band/Song [vid42].mp4");
    EXPECT_TRUE(fs::equivalent(source, library + "/" + placed));
    // The library's file is the user's: the cache's name going leaves it.
    fs::remove(source);
    EXPECT_EQ(ReadRaw(library + "/" + placed), "the video's bytes");
}

TEST_F(FilePlacerTest, ATakenNameGetsANumberAndNothingIsReplaced)
{
    fs::create_directory(library + "/Band");
    WriteRaw(library + "/Band/Song [vid42].mp4", "the user's own file");
    ASSERT_TRUE(Place(NameOf("Song", "Band"))) << problem;
    EXPECT_EQ(placed, "Band/Song [vid42] (2).mp4");
    ASSERT_TRUE(Place(NameOf("Song", "Band"))) << problem;
    EXPECT_EQ(placed, "Band/Song [vid42] (3).mp4");
    EXPECT_EQ(ReadRaw(library + "/Band/Song [vid42].mp4"), "the user's own file");
    EXPECT_EQ(FilesBelow(library).size(), 3u);
}

TEST_F(FilePlacerTest, CopiesUnderATemporaryNameAcrossFileSystems)
{
    // /dev/shm is a file system of its own on most machines; a hard link cannot reach it.
    struct stat here{}, there{};
    if (stat("/dev/shm", &there) != 0 || stat(directory.Path().c_str(), &here) != 0 || here.st_dev == there.st_dev)
        GTEST_SKIP() << "no second file system at /dev/shm";
    char pattern[] = "/dev/shm/pelko-library-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string other = pattern;
    chmod(source.c_str(), 0644);
    WriteRaw(other + "/Song [vid42].mp4", "taken");

    placed.clear();
    const bool done = FilePlacer::Place(source, other, LibraryTemplate::Expand("{title} [{video_id}].{ext}",
                                                                                {{"title", "Song"}, {"video_id", "vid42"}, {"ext", "mp4"}}),
                                        placed, problem);
    EXPECT_TRUE(done) << problem;
    EXPECT_EQ(placed, "Song [vid42] (2).mp4");
    EXPECT_EQ(ReadRaw(other + "/" + placed), "the video's bytes");
    EXPECT_FALSE(fs::equivalent(source, other + "/" + placed));
    EXPECT_EQ(fs::status(other + "/" + placed).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
    // The temporary name is gone: only the user's file and the copy are there.
    EXPECT_EQ(FilesBelow(other).size(), 2u);
    EXPECT_EQ(ReadRaw(other + "/Song [vid42].mp4"), "taken");
    fs::remove_all(other);
}

TEST_F(FilePlacerTest, SaysWhyNothingWasPlaced)
{
    EXPECT_FALSE(FilePlacer::Place(source, directory / "gone", NameOf("Song", "Band"), placed, problem));
    EXPECT_EQ(problem, "The library folder \"" + (directory / "gone") + "\" does not exist.");

    WriteRaw(library + "/Band", "a file where the folder would go");
    EXPECT_FALSE(Place(NameOf("Song", "Band")));
    EXPECT_EQ(problem.rfind("Cannot make the folder \"" + library + "/Band\": ", 0), 0u) << problem;

    EXPECT_FALSE(FilePlacer::Place(directory / "missing.mp4", library, NameOf("Song", "Other"), placed, problem));
    EXPECT_EQ(problem.rfind("Cannot copy \"" + (directory / "missing.mp4") + "\" into the library: ", 0), 0u)
        << problem;
    EXPECT_EQ(FilesBelow(library), std::vector<std::string>{"Band"});
}
