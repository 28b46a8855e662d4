#include <filesystem>
#include "downloader/DownloadManagerFixture.h"
#include "library/LibraryManager.h"

using namespace Downloader;
using TestSupport::ReadRaw;
namespace fs = std::filesystem;

namespace
{
    class LibraryManagerTest : public DownloadManagerTest
    {
    protected:
        void SetUp() override
        {
            DownloadManagerTest::SetUp();
            Library::LibraryManager::PreInit();
            fs::create_directory(library);
            XGConfig::library.dir = library;
            XGConfig::library.filename_template = "{uploader}/{title} [{video_id}].{ext}";
        }
        void TearDown() override
        {
            DownloadManagerTest::TearDown();
            DownloadManager::SetFinishing(nullptr);
            XGConfig::library = {};
        }

        // Queues `url` and runs passes until its download is in the index.
        std::string Finished(const std::string& url, DOWNLOAD_MODE mode = AUDIO)
        {
            const std::string id = Queue(url, mode);
            EXPECT_TRUE(PassUntil([&] { return Status(id) == FINISHED && IndexFileIds().size() > 0; }));
            return id;
        }

        static bool Logged(const std::string& message)
        {
            const std::vector<std::string> messages = MessagesSinceStart();
            return std::find(messages.begin(), messages.end(), message) != messages.end();
        }

        static std::string LibraryPath(const std::string& id)
        {
            return DownloadManager::GetDownloadEntryByPelkoID(id).LibraryPath();
        }

        const std::string library = directory / "Media";
    };
}

TEST_F(LibraryManagerTest, AFinishedFileIsPlacedAndTheEntryKeepsWhere)
{
    const std::string id = Finished("http://127.0.0.1/v?fake_title=My%20Song&fake_uploader=The%20Band");
    EXPECT_EQ(LibraryPath(id), "The Band/My Song [fake].mp3");
    EXPECT_TRUE(fs::equivalent(library + "/The Band/My Song [fake].mp3", "dlcache/download/" + id + ".mp3"));
    EXPECT_TRUE(Logged("Placed download " + id + " in the library as \"The Band/My Song [fake].mp3\"."));

    const Ostrel::JsonBlock listed = DownloadManager::GetAlltimeCacheAsJson(-1, -1).At(0).GetJsonData();
    EXPECT_EQ(listed.Get("library_path").GetStringData(), "The Band/My Song [fake].mp3");
    Restart();
    EXPECT_EQ(LibraryPath(id), "The Band/My Song [fake].mp3");

    // The library's file is the user's: neither a removal nor a clear of the cache takes it.
    ASSERT_TRUE(DownloadManager::RemoveFromCacheByID(id));
    EXPECT_FALSE(fs::exists("dlcache/download/" + id + ".mp3"));
    EXPECT_EQ(ReadRaw(library + "/The Band/My Song [fake].mp3").empty(), false);
}

TEST_F(LibraryManagerTest, FieldsComeFromTheMetadataAndTheEntry)
{
    XGConfig::library.filename_template = "{year}/{upload_date} {title} ({pelko_id}, {mode}, {video_id}).{ext}";
    const std::string id = Finished("http://127.0.0.1/v?fake_title=Clip", VIDEO);
    EXPECT_EQ(LibraryPath(id), "2024/2024-01-31 Clip (" + id + ", video, fake).mp4");
}

TEST_F(LibraryManagerTest, TheSettingsOfTheStartCount)
{
    const std::string url = Held("late");
    const std::string id = Queue(url);
    DownloadManager::Update();
    ASSERT_EQ(Status(id), DOWNLOADING);
    XGConfig::library.dir = "";
    Release("late");
    ASSERT_TRUE(PassUntil([&] { return IndexFileIds().size() == 1; }));
    EXPECT_EQ(LibraryPath(id), "Fake Uploader/Fake video [fake].mp3");

    // Without a library folder nothing is placed.
    const std::string next = Finished("http://127.0.0.1/w?fake_title=Other");
    EXPECT_EQ(LibraryPath(next), "");
    EXPECT_FALSE(fs::exists(library + "/Fake Uploader/Other [fake].mp3"));
}

TEST_F(LibraryManagerTest, AFileThatCannotBePlacedStillFinishes)
{
    fs::remove(library);
    const std::string id = Finished("http://127.0.0.1/v");
    EXPECT_EQ(Status(id), FINISHED);
    EXPECT_EQ(LibraryPath(id), "");
    EXPECT_TRUE(Logged("Download " + id + " is not in the library: The library folder \"" + library +
                       "\" does not exist."));
}
