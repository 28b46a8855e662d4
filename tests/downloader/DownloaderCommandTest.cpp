#include <gtest/gtest.h>
#include <algorithm>
#include "downloader/DownloaderCommand.h"

using namespace Downloader;

struct RuntimeArgumentCase
{
    std::string name;
    bool isOwnCopy;
    std::string jsRuntime;
    bool told;  // the command lines carry --js-runtimes deno:<jsRuntime>
};

class RuntimeArgumentTest : public ::testing::TestWithParam<RuntimeArgumentCase>
{
};

// Only Pelko's own yt-dlp is told of Pelko's own deno: a system's program may be older than the
// option and would refuse every run.
TEST_P(RuntimeArgumentTest, EveryRunOfTheOwnCopyIsToldWhereDenoIs)
{
    const RuntimeArgumentCase& c = GetParam();
    DownloaderProgramInfo program;
    program.path = "/srv/pelko/bin/yt-dlp";
    program.takesYtDlpOptions = true;
    program.isOwnCopy = c.isOwnCopy;
    program.jsRuntime = c.jsRuntime;
    const VideoRequest video{"https://videos.example/watch?v=1", VIDEO, "best", 0};

    for (const std::vector<std::string>& command :
         {DownloaderCommand::Metadata(program, video, ""), DownloaderCommand::Playlist(program, video.url, 5, ""),
          DownloaderCommand::Download(program, video, {}, "100M", "out.%(ext)s", "")})
    {
        const auto option = std::find(command.begin(), command.end(), "--js-runtimes");
        ASSERT_EQ(option != command.end(), c.told) << command.size();
        if (c.told)
        {
            ASSERT_NE(option + 1, command.end());
            EXPECT_EQ(*(option + 1), "deno:" + c.jsRuntime);
            // An option, not the address: it comes before "--".
            EXPECT_LT(option, std::find(command.begin(), command.end(), "--"));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Programs, RuntimeArgumentTest,
    ::testing::Values(RuntimeArgumentCase{"OwnCopyWithDeno", true, "/srv/pelko/bin/deno", true},
                      RuntimeArgumentCase{"OwnCopyWithoutDeno", true, "", false},
                      RuntimeArgumentCase{"SystemProgramBesideDeno", false, "/srv/pelko/bin/deno", false}),
    [](const ::testing::TestParamInfo<RuntimeArgumentCase>& info) { return info.param.name; });
