#include <gtest/gtest.h>
#include <algorithm>
#include <filesystem>
#include <pugixml.hpp>
#include "downloader/ExternalProgram.h"
#include "json/Json.h"
#include "library/MediaServerFiles.h"
#include "support/LocalHttpServer.h"
#include "support/TempDir.h"

using Library::MediaServerFiles;
using TestSupport::ReadRaw;
namespace fs = std::filesystem;

namespace
{
    Downloader::DownloadEntry Entry(const std::string& title, const std::string& uploader)
    {
        Downloader::DownloadEntry entry;
        entry.title = title;
        entry.uploader = uploader;
        return entry;
    }

    Ostrel::JsonBlock Metadata(const std::string& description, const std::string& thumbnail = "")
    {
        Ostrel::JsonBlock metadata;
        metadata.Set("id") = "dQw4w9WgXcQ";
        metadata.Set("extractor_key") = "Youtube";
        metadata.Set("channel_id") = "UCuAXFkgsw1L7xaCfnd5JJOw";
        metadata.Set("upload_date") = "20091025";
        metadata.Set("description") = description;
        if (!thumbnail.empty())
            metadata.Set("thumbnail") = thumbnail;
        return metadata;
    }

    bool IsJpeg(const std::string& content)
    {
        return content.size() > 3 && content.compare(0, 3, "\xFF\xD8\xFF") == 0;
    }
}

struct HostileCase
{
    std::string name;
    std::string text;  // as title, uploader and description
    std::string read;  // what an XML parser reads back
};

class EpisodeDocumentTest : public ::testing::TestWithParam<HostileCase>
{
};

// Whatever the site's texts hold, the document parses and gives them back; only the control
// characters that XML cannot hold at all are left out.
TEST_P(EpisodeDocumentTest, ParsesAndCarriesTheFields)
{
    const HostileCase& c = GetParam();
    const std::string text = MediaServerFiles::EpisodeDocument(Entry(c.text, c.text), Metadata(c.text));

    pugi::xml_document document;
    ASSERT_TRUE(document.load_string(text.c_str(), pugi::parse_default | pugi::parse_declaration)) << text;
    const pugi::xml_node episode = document.child("episodedetails");
    ASSERT_TRUE(episode) << text;
    EXPECT_EQ(std::string(episode.child_value("title")), c.read);
    EXPECT_EQ(std::string(episode.child_value("plot")), c.read);
    EXPECT_EQ(std::string(episode.child_value("studio")), c.read);
    EXPECT_EQ(std::string(episode.child_value("aired")), "2009-10-25");
    EXPECT_EQ(std::string(episode.child_value("uniqueid")), "dQw4w9WgXcQ");
    EXPECT_EQ(std::string(episode.child("uniqueid").attribute("type").value()), "youtube");
    // Nothing of the texts became markup.
    EXPECT_EQ(std::distance(episode.children().begin(), episode.children().end()), 5);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, EpisodeDocumentTest,
    ::testing::Values(HostileCase{"Markup", "<b>Live</b> & \"loud\" 'n' </episodedetails><x>", "<b>Live</b> & \"loud\" 'n' </episodedetails><x>"},
                      HostileCase{"CdataEnd", "a ]]> b <![CDATA[ c", "a ]]> b <![CDATA[ c"},
                      HostileCase{"Entities", "&amp; &#0; &lt;", "&amp; &#0; &lt;"},
                      HostileCase{"ControlCharacters", std::string("bell\x07, nul\x01, esc\x1b end"), "bell, nul, esc end"},
                      HostileCase{"LinesAndEmoji", "Line one\nLine two\t\xF0\x9F\x8E\xB5", "Line one\nLine two\t\xF0\x9F\x8E\xB5"}),
    [](const ::testing::TestParamInfo<HostileCase>& info) { return info.param.name; });

class MediaServerFilesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fs::create_directories("Media/The Band");
        TestSupport::WriteRaw("Media/The Band/Song [a].mp3", "sound");
        TestSupport::WriteRaw("Media/The Band/Other [b].mp3", "sound");
    }

    TestSupport::TempDir directory{true};
    TestSupport::LocalHttpServer host;
    TestSupport::DirectConnections direct;
};

// The episode's files beside each file, the show's once in the uploader's folder; a picture in
// another format becomes a JPEG.
TEST_F(MediaServerFilesTest, EpisodeFilesBesideEachFileAndTheShowsOnce)
{
    Downloader::ExternalProgram::Run({"ffmpeg", "-nostdin", "-loglevel", "error", "-f", "lavfi", "-i",
                                      "color=red:s=32x18", "-frames:v", "1", "picture.png"},
                                     "/dev/null", "/dev/null");
    const std::string png = ReadRaw("picture.png");
    ASSERT_EQ(png.substr(1, 3), "PNG");
    host.Serve("/a.png", {200, png});
    host.Serve("/b.jpg", {200, "\xFF\xD8\xFF\xE0 not much of a picture"});

    EXPECT_EQ(MediaServerFiles::Write("Media", "The Band/Song [a].mp3", Entry("Song", "The Band"),
                                      Metadata("First", host.Url("/a.png")), true),
              "");
    EXPECT_TRUE(IsJpeg(ReadRaw("Media/The Band/Song [a]-thumb.jpg")));
    EXPECT_NE(ReadRaw("Media/The Band/Song [a].nfo").find("<plot>First</plot>"), std::string::npos);
    const std::string show = ReadRaw("Media/The Band/tvshow.nfo");
    EXPECT_NE(show.find("<tvshow>"), std::string::npos);
    EXPECT_NE(show.find("<title>The Band</title>"), std::string::npos);
    EXPECT_EQ(ReadRaw("Media/The Band/poster.jpg"), ReadRaw("Media/The Band/Song [a]-thumb.jpg"));

    // The show's files stay as the first download made them (or as the user changed them).
    TestSupport::WriteRaw("Media/The Band/tvshow.nfo", "edited");
    EXPECT_EQ(MediaServerFiles::Write("Media", "The Band/Other [b].mp3", Entry("Other", "The Band"),
                                      Metadata("Second", host.Url("/b.jpg")), true),
              "");
    EXPECT_EQ(ReadRaw("Media/The Band/Other [b]-thumb.jpg"), "\xFF\xD8\xFF\xE0 not much of a picture");
    EXPECT_EQ(ReadRaw("Media/The Band/tvshow.nfo"), "edited");
    EXPECT_TRUE(IsJpeg(ReadRaw("Media/The Band/poster.jpg")));
    EXPECT_NE(ReadRaw("Media/The Band/poster.jpg"), ReadRaw("Media/The Band/Other [b]-thumb.jpg"));

    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator("Media/The Band"))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Other [b]-thumb.jpg", "Other [b].mp3", "Other [b].nfo", "Song [a]-thumb.jpg",
                                               "Song [a].mp3", "Song [a].nfo", "poster.jpg", "tvshow.nfo"}));
}

// Without an uploader's folder there is no show; a picture that cannot be had is said, and the
// rest is written all the same.
TEST_F(MediaServerFilesTest, NoShowOutsideAnUploadersFolderAndAMissingPictureIsSaid)
{
    host.Serve("/gone.jpg", {404, "no"});
    EXPECT_EQ(MediaServerFiles::Write("Media", "The Band/Song [a].mp3", Entry("Song", "The Band"),
                                      Metadata("First", host.Url("/gone.jpg")), false),
              "Could not download the thumbnail " + host.Url("/gone.jpg") + ": HTTP status 404.");
    EXPECT_TRUE(fs::exists("Media/The Band/Song [a].nfo"));
    EXPECT_FALSE(fs::exists("Media/The Band/Song [a]-thumb.jpg"));
    EXPECT_FALSE(fs::exists("Media/The Band/tvshow.nfo"));
    EXPECT_FALSE(fs::exists("Media/The Band/poster.jpg"));
}
