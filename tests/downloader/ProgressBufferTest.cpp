#include <gtest/gtest.h>
#include "downloader/ProgressBuffer.h"
#include "support/TempDir.h"

using Downloader::ProgressBuffer;
using Downloader::ProgressReport;

struct ProgressLineCase
{
    std::string line;
    std::optional<int32_t> percentage;
    bool postProcessingEnded;
};

class ProgressLineTest : public ::testing::TestWithParam<ProgressLineCase>
{
};

TEST_P(ProgressLineTest, ReadsThePercentColumnsAndTheConversionEnd)
{
    ProgressReport report;
    ProgressBuffer::TakeLine(GetParam().line, report);
    EXPECT_EQ(report.percentage, GetParam().percentage);
    EXPECT_EQ(report.postProcessingEnded, GetParam().postProcessingEnded);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ProgressLineTest,
    ::testing::Values(
        ProgressLineCase{"[download]  45.3% of 10.00MiB at 1.00MiB/s ETA 00:05", 45, false},
        ProgressLineCase{"[download]   7.5% of 3.00MiB at 500.00KiB/s ETA 00:05", 7, false},
        ProgressLineCase{"[download]   0.0% of 3.00MiB at 500.00KiB/s ETA 00:05", 0, false},
        ProgressLineCase{"[download] 100% of 10.00MiB in 00:09", 100, false},
        ProgressLineCase{"[download] Destination: dlcache/download/abc.webm", std::nullopt, false},
        ProgressLineCase{"[download] 5%", std::nullopt, false},    // shorter than 15 characters
        ProgressLineCase{"[download]  45.", 45, false},           // exactly 15 characters
        ProgressLineCase{" [download]  45.3% of 10.00MiB", std::nullopt, false},
        ProgressLineCase{"Deleting original file dlcache/download/abc.webm (pass -k to keep)", std::nullopt, true},
        ProgressLineCase{"[ffmpeg] Not converting audio abc.mp3; already in mp3", std::nullopt, true},
        ProgressLineCase{"[ffmpeg] Destination: dlcache/download/abc.mp3", std::nullopt, false},
        ProgressLineCase{"Deleting original", std::nullopt, false}));

TEST(ProgressBufferFile, LastPercentWinsAndTheEndLineSticks)
{
    TestSupport::TempDir directory;
    const std::string path = directory / "abc.buf";
    TestSupport::WriteRaw(path, "[download] Destination: x.webm\n"
                                "[download]  12.0% of 1.00MiB at 1.00MiB/s ETA 00:01\n"
                                "Deleting original file x.webm (pass -k to keep)\n"
                                "[download]  45.3% of 1.00MiB at 1.00MiB/s ETA 00:01\n"
                                "[download] Destination: y.webm\n");

    const std::optional<ProgressReport> report = ProgressBuffer::Read(path);

    ASSERT_TRUE(report.has_value());
    EXPECT_EQ(report->percentage, 45);
    EXPECT_TRUE(report->postProcessingEnded);
}

TEST(ProgressBufferFile, MissingFileTellsNothing)
{
    TestSupport::TempDir directory;
    EXPECT_FALSE(ProgressBuffer::Read(directory / "missing.buf").has_value());
}
