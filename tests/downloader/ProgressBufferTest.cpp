#include <gtest/gtest.h>
#include <fstream>
#include "downloader/ProgressBuffer.h"
#include "support/TempDir.h"

using Downloader::ProgressBuffer;
using Downloader::ProgressReport;

struct ProgressLineCase
{
    std::string line;
    std::optional<int32_t> percentage;
    int64_t totalBytes = 0;
    int64_t bytesPerSecond = 0;
    int64_t secondsLeft = -1;
    bool converting = false;
};

class ProgressLineTest : public ::testing::TestWithParam<ProgressLineCase>
{
};

TEST_P(ProgressLineTest, ReadsPercentSizeSpeedTimeLeftAndConversion)
{
    ProgressReport report;
    ProgressBuffer::TakeLine(GetParam().line, report);
    EXPECT_EQ(report.percentage, GetParam().percentage);
    EXPECT_EQ(report.totalBytes, GetParam().totalBytes);
    EXPECT_EQ(report.bytesPerSecond, GetParam().bytesPerSecond);
    EXPECT_EQ(report.secondsLeft, GetParam().secondsLeft);
    EXPECT_EQ(report.converting, GetParam().converting);
}

constexpr int64_t KiB = 1024;
constexpr int64_t MiB = 1024 * KiB;

INSTANTIATE_TEST_SUITE_P(
    Lines, ProgressLineTest,
    ::testing::Values(
        ProgressLineCase{"[download]  45.3% of 10.00MiB at 1.00MiB/s ETA 00:05", 45, 10 * MiB, MiB, 5},
        ProgressLineCase{"[download]   7.5% of 3.00MiB at 500.00KiB/s ETA 01:02:03", 7, 3 * MiB, 500 * KiB, 3723},
        ProgressLineCase{"[download]  12.0% of  258.55KiB at  Unknown B/s ETA Unknown", 12, 264755, 0, -1},
        ProgressLineCase{"[download]  12.5% of ~  3.00MiB at  2.00KiB/s ETA 00:10 (frag 1/8)", 12, 3 * MiB, 2 * KiB,
                         10},
        ProgressLineCase{"[download] 100% of 10.00MiB in 00:09", 100, 10 * MiB, 0, 0},
        ProgressLineCase{"[download] 100% of  258.55KiB in 00:00:00 at 298.96KiB/s", 100, 264755, 306135, 0},
        ProgressLineCase{"[download] Destination: dlcache/download/abc.webm", std::nullopt},
        ProgressLineCase{"[download] 5%", std::nullopt},  // shorter than 15 characters
        ProgressLineCase{"[download]  45.", 45},          // exactly 15 characters
        ProgressLineCase{" [download]  45.3% of 10.00MiB", std::nullopt},
        ProgressLineCase{"[ExtractAudio] Destination: dlcache/download/abc.mp3", std::nullopt, 0, 0, -1, true},
        ProgressLineCase{"[Merger] Merging formats into \"abc.mp4\"", std::nullopt, 0, 0, -1, true},
        ProgressLineCase{"[VideoConvertor] Converting video from webm to mp4", std::nullopt, 0, 0, -1, true},
        ProgressLineCase{"[ffmpeg] Destination: dlcache/download/abc.mp3", std::nullopt, 0, 0, -1, true},
        ProgressLineCase{"Deleting original file abc.webm (pass -k to keep)", std::nullopt, 0, 0, -1, true},
        ProgressLineCase{"[info] abc: Downloading 1 format(s): 22", std::nullopt}));

class ProgressBufferFile : public ::testing::Test
{
protected:
    void Append(const std::string& text)
    {
        std::ofstream(path, std::ios::app | std::ios::binary) << text;
    }

    TestSupport::TempDir directory;
    std::string path = directory / "abc.buf";
    ProgressBuffer buffer{path};
    ProgressReport report;
};

// Each read takes only what was added; a line still being written waits for its end.
TEST_F(ProgressBufferFile, FollowsTheFileAsItGrows)
{
    EXPECT_FALSE(buffer.ReadNew(report));

    Append("[download] Destination: x.webm\n[download]  12.0% of 1.00MiB at 1.00MiB/s ETA 00:01\n[download]  4");
    ASSERT_TRUE(buffer.ReadNew(report));
    EXPECT_EQ(report.percentage, 12);

    Append("5.3% of 1.00MiB at 2.00MiB/s ETA 00:01\n");
    ASSERT_TRUE(buffer.ReadNew(report));
    EXPECT_EQ(report.percentage, 45);
    EXPECT_EQ(report.bytesPerSecond, 2 * MiB);

    Append("[ExtractAudio] Destination: x.mp3\n");
    buffer.ReadNew(report);
    EXPECT_TRUE(report.converting);
    EXPECT_EQ(report.percentage, 45);

    // A second stream begins: downloading again.
    Append("[download] Destination: y.m4a\n[download]   3.0% of 1.00MiB at 1.00MiB/s ETA 00:01\n");
    buffer.ReadNew(report);
    EXPECT_FALSE(report.converting);
    EXPECT_EQ(report.percentage, 3);
}
