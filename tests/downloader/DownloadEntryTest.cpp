#include <gtest/gtest.h>
#include "downloader/DownloadEntry.h"
#include "downloader/DownloadManager.h"
#include "json/Json.h"

using namespace Downloader;

namespace
{
    Ostrel::JsonBlock ParseBlock(const std::string& text)
    {
        Ostrel::JsonData document;
        document.Parse(text);
        return document.GetJsonData();
    }
}

TEST(DownloadEntry, DefaultEntryRendersEveryMemberWithItsDefault)
{
    const std::string record = R"("title": "", "description": "", "uploader": "", "duration": -1,
        "pelko_id": "", "webpage_url": "", "thumbnail_url": "", "download_progress": 0,
        "downloaded_filename": "", "download_url": "", "queued_timestamp": 0,
        "mode": "audio", "status": "queued", "video_url": "", "error_message": "", "quality": "best",
        "playlist_index": 0, "library_path": "", "audio_format": "mp3")";

    EXPECT_EQ(DownloadEntry().GetAsRecord(), ParseBlock("{" + record + "}"));
    EXPECT_EQ(DownloadEntry().GetAsJson(), ParseBlock("{" + record + R"(, "download_speed": 0, "download_eta": -1,
        "total_bytes": 0, "stage": "queued", "restored": false})"));
}

struct StageCase
{
    DOWNLOAD_STATUS status;
    bool converting;
    std::string stage;
};

class StageTest : public ::testing::TestWithParam<StageCase>
{
};

TEST_P(StageTest, FollowsTheStatusAndTheConversion)
{
    DownloadEntry entry;
    entry.status = GetParam().status;
    entry.converting = GetParam().converting;
    EXPECT_EQ(entry.Stage(), GetParam().stage);
    EXPECT_EQ(entry.GetAsJson().Get("stage").GetStringData(), GetParam().stage);
}

INSTANTIATE_TEST_SUITE_P(Stages, StageTest,
                         ::testing::Values(StageCase{QUEUED, false, "queued"}, StageCase{DOWNLOADING, false, "downloading"},
                                           StageCase{DOWNLOADING, true, "converting"},
                                           StageCase{FINISHED, false, "finished"}, StageCase{FAILED, false, "failed"}));

// The error shows only while the entry is failed, and a requeued entry starts clean.
TEST(DownloadEntry, ErrorBelongsToTheFailedState)
{
    DownloadEntry entry;
    entry.download_speed = 5000;
    entry.Fail("ERROR: HTTP Error 404: Not Found", -1);
    EXPECT_EQ(entry.GetAsRecord().Get("error_message").GetStringData(), "ERROR: HTTP Error 404: Not Found");
    EXPECT_EQ(entry.download_progress.load(), -1);

    const DownloadEntry copy = entry;
    EXPECT_EQ(copy.ErrorMessage(), "ERROR: HTTP Error 404: Not Found");

    entry.Requeue();
    EXPECT_EQ(entry.status.load(), QUEUED);
    EXPECT_EQ(entry.ErrorMessage(), "");
    EXPECT_EQ(entry.download_progress.load(), 0);
    EXPECT_EQ(entry.download_speed.load(), 0);
}

TEST(DownloadEntry, EnumerationValuesOutsideTheirRangeAreLeftOut)
{
    DownloadEntry entry;
    entry.mode = static_cast<DOWNLOAD_MODE>(7);
    entry.status = static_cast<DOWNLOAD_STATUS>(9);

    const Ostrel::JsonBlock json = entry.GetAsJson();

    EXPECT_FALSE(json.DoesExist("mode"));
    EXPECT_FALSE(json.DoesExist("status"));
    EXPECT_EQ(json.GetNumElements(), 22u);
}

TEST(DownloadEntry, IndexRecordRoundTripsAsAFinishedEntry)
{
    DownloadEntry entry;
    entry.title = "A \"quoted\" title";
    entry.description = "line one\nline two";
    entry.uploader = "Someone";
    entry.duration = 213;
    entry.pelko_id = "1LGxWa";
    entry.webpage_url = "https://example.com/watch?v=1";
    entry.video_url = "https://example.com/watch?v=1&list=2";
    entry.thumbnail_url = "https://example.com/b.jpg";
    entry.downloaded_filename = "dlcache/download/1LGxWa.mp4";
    entry.download_url = "/download/1LGxWa";
    entry.mode = VIDEO;
    entry.status = FINISHED;
    entry.download_progress = 100;
    entry.queued_timestamp = 5000000000;  // beyond 32 bits
    entry.quality = "720";
    entry.audio_format = "opus";
    entry.playlist_index = 2;

    const DownloadEntry rebuilt = DownloadEntry::FromIndexRecord(entry.GetAsRecord());

    EXPECT_EQ(rebuilt.GetAsJson(), entry.GetAsJson());
}

struct QueueRecordCase
{
    std::string status;
    DOWNLOAD_STATUS restored;
    int32_t progress;
    std::string error;
};

class QueueRecordTest : public ::testing::TestWithParam<QueueRecordCase>
{
};

// What was waiting or running starts again from the beginning; a failure stays, with its reason.
TEST_P(QueueRecordTest, RestoresWaitingRunningAndFailedEntries)
{
    DownloadEntry entry;
    entry.pelko_id = "1LGxWa";
    entry.title = "Song";
    entry.video_url = "https://example.com/v";
    entry.download_progress = 57;
    entry.status = DOWNLOADING;
    Ostrel::JsonBlock record = entry.GetAsRecord();
    record.Set("status") = GetParam().status;
    record.Set("error_message") = "ERROR: gone";

    const DownloadEntry rebuilt = DownloadEntry::FromQueueRecord(record);

    EXPECT_EQ(rebuilt.status.load(), GetParam().restored);
    EXPECT_EQ(rebuilt.download_progress.load(), GetParam().progress);
    EXPECT_EQ(rebuilt.ErrorMessage(), GetParam().error);
    EXPECT_EQ(rebuilt.title, "Song");
    EXPECT_EQ(rebuilt.video_url, "https://example.com/v");
}

INSTANTIATE_TEST_SUITE_P(Statuses, QueueRecordTest,
                         ::testing::Values(QueueRecordCase{"queued", QUEUED, 0, ""},
                                           QueueRecordCase{"downloading", QUEUED, 0, ""},
                                           QueueRecordCase{"failed", FAILED, 57, "ERROR: gone"},
                                           QueueRecordCase{"nonsense", QUEUED, 0, ""}));

struct IndexRecordCase
{
    std::string record;
    DOWNLOAD_MODE mode;
    int32_t duration;
    std::string title;
};

class IndexRecordTest : public ::testing::TestWithParam<IndexRecordCase>
{
};

// Every index record is a finished download, whatever it says; members count only with
// their exact JSON type.
TEST_P(IndexRecordTest, RebuildsWithTheTolerantRules)
{
    const DownloadEntry entry = DownloadEntry::FromIndexRecord(ParseBlock(GetParam().record));

    EXPECT_EQ(entry.status, FINISHED);
    EXPECT_EQ(entry.download_progress, 100);
    EXPECT_EQ(entry.mode, GetParam().mode);
    EXPECT_EQ(entry.duration, GetParam().duration);
    EXPECT_EQ(entry.title, GetParam().title);
}

INSTANTIATE_TEST_SUITE_P(
    Records, IndexRecordTest,
    ::testing::Values(IndexRecordCase{"{}", AUDIO, -1, ""},
                      IndexRecordCase{R"({"status": "failed", "download_progress": 3})", AUDIO, -1, ""},
                      IndexRecordCase{R"({"mode": "video"})", VIDEO, -1, ""},
                      IndexRecordCase{R"({"mode": "Audio"})", VIDEO, -1, ""},
                      IndexRecordCase{R"({"mode": 1})", AUDIO, -1, ""},
                      IndexRecordCase{R"({"duration": "12", "title": 5})", AUDIO, -1, ""},
                      IndexRecordCase{R"({"duration": 12, "title": "T"})", AUDIO, 12, "T"}));

struct RequestRecordCase
{
    std::string record;
    std::string quality;
    int32_t playlistIndex;
    std::string audioFormat = "mp3";
};

class RequestRecordTest : public ::testing::TestWithParam<RequestRecordCase>
{
};

// Records of earlier versions have none of the members; what no download could use counts as the
// default (sound was always MP3).
TEST_P(RequestRecordTest, TakesOnlyAQualityAndAnAudioFormatOnOfferAndAPlaceFromOne)
{
    for (const DownloadEntry& entry : {DownloadEntry::FromIndexRecord(ParseBlock(GetParam().record)),
                                       DownloadEntry::FromQueueRecord(ParseBlock(GetParam().record))})
    {
        EXPECT_EQ(entry.quality, GetParam().quality);
        EXPECT_EQ(entry.playlist_index, GetParam().playlistIndex);
        EXPECT_EQ(entry.audio_format, GetParam().audioFormat);
    }
}

INSTANTIATE_TEST_SUITE_P(Records, RequestRecordTest,
                         ::testing::Values(RequestRecordCase{"{}", "best", 0},
                                           RequestRecordCase{R"({"quality": "360", "playlist_index": 4})", "360", 4},
                                           RequestRecordCase{R"({"quality": "360p", "playlist_index": -4})", "best", 0},
                                           RequestRecordCase{R"({"quality": 360, "playlist_index": "4"})", "best", 0},
                                           RequestRecordCase{R"({"audio_format": "m4a"})", "best", 0, "m4a"},
                                           RequestRecordCase{R"({"audio_format": "flac"})", "best", 0, "flac"},
                                           RequestRecordCase{R"({"audio_format": "ogg"})", "best", 0, "mp3"},
                                           RequestRecordCase{R"({"audio_format": "OPUS"})", "best", 0, "mp3"},
                                           RequestRecordCase{R"({"audio_format": 1})", "best", 0, "mp3"}));

struct MetadataCase
{
    std::string document;
    std::string thumbnail_url;
    int32_t duration;
};

class MetadataTest : public ::testing::TestWithParam<MetadataCase>
{
};

TEST_P(MetadataTest, TakesTheThumbnailAndTheIntegerDuration)
{
    DownloadEntry entry;
    entry.TakeMetadata(ParseBlock(GetParam().document));
    EXPECT_EQ(entry.thumbnail_url, GetParam().thumbnail_url);
    EXPECT_EQ(entry.duration, GetParam().duration);
}

INSTANTIATE_TEST_SUITE_P(
    Documents, MetadataTest,
    ::testing::Values(
        MetadataCase{R"({"thumbnails": [{"url": "A"}, {"url": "B"}, {"url": "C"}], "duration": 12})", "B", 12},
        MetadataCase{R"({"thumbnails": [{"url": "A"}]})", "A", -1},
        MetadataCase{R"({"thumbnails": []})", "", -1},
        MetadataCase{R"({"duration": 12.5})", "", -1},
        // A chosen thumbnail that is unusable is skipped, never fatal.
        MetadataCase{R"({"thumbnails": [{"url": "A"}, {"id": "no url"}, {"url": "C"}]})", "", -1},
        MetadataCase{R"({"thumbnails": [{"url": 5}]})", "", -1},
        MetadataCase{R"({"thumbnails": ["A", "B"]})", "", -1}));

TEST(DownloadEntry, MetadataFillsTheDescriptiveFieldsOnly)
{
    DownloadEntry entry;
    entry.pelko_id = "keep";
    entry.TakeMetadata(ParseBlock(R"({"title": "T", "description": "D", "uploader": "U",
        "webpage_url": "https://example.com/v", "pelko_id": "other", "status": "failed"})"));

    EXPECT_EQ(entry.title, "T");
    EXPECT_EQ(entry.description, "D");
    EXPECT_EQ(entry.uploader, "U");
    EXPECT_EQ(entry.webpage_url, "https://example.com/v");
    EXPECT_EQ(entry.pelko_id, "keep");
    EXPECT_EQ(entry.status, QUEUED);
}

TEST(DownloadEntry, ParseJsonArrayToEntriesSkipsElementsThatAreNotObjects)
{
    Ostrel::JsonData document;
    document.Parse(R"([{"pelko_id": "a"}, 1, "x", null, [], {"pelko_id": "b"}])");

    const std::list<DownloadEntry> entries = DownloadManager::ParseJsonArrayToEntries(document.GetArrayData());

    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries.front().pelko_id, "a");
    EXPECT_EQ(entries.back().pelko_id, "b");
}
