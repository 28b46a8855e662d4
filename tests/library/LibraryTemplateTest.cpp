#include <gtest/gtest.h>
#include "library/LibraryTemplate.h"

using namespace Library;

namespace
{
    const std::map<std::string, std::string> plainValues = {
        {"title", "Song"},        {"uploader", "Band"},  {"video_id", "abc123"}, {"pelko_id", "1x2y3z"},
        {"upload_date", "2024-01-31"}, {"year", "2024"}, {"playlist", "Best of"}, {"playlist_index", "7"},
        {"subscription", "Band's channel"}, {"mode", "audio"}, {"ext", "mp3"}};
}

TEST(LibraryTemplateTest, TellsTemplatesFromOtherTexts)
{
    const std::vector<std::pair<std::string, bool>> cases = {
        {"{uploader}/{title} [{video_id}].{ext}", true},
        {"{year}/{upload_date} {title} ({pelko_id}, {mode}).{ext}", true},
        {"Music/{subscription}/{playlist}/{playlist_index} - {title}.{ext}", true},
        {"{title}", true},
        {"", false},
        {"{uploader}/{titel}.{ext}", false},  // an unknown field
        {"{Title}.{ext}", false},             // fields are lower case
        {"{title.{ext}", false},
        {"title}.{ext}", false},
        {"{}.{ext}", false},
        {"/{title}.{ext}", false},
        {"{uploader}//{title}.{ext}", false},
        {"{uploader}/", false},
        {"../{title}.{ext}", false},
        {"{uploader}/./{title}.{ext}", false},
        {"{uploader}\\{title}.{ext}", false},
        {"{title}?.{ext}", false},
        {"{title} | {uploader}.{ext}", false},
        {"{title}\t.{ext}", false},
    };
    for (const auto& [text, valid] : cases)
        EXPECT_EQ(LibraryTemplate::IsValid(text), valid) << text;
}

TEST(LibraryTemplateTest, FillsEveryField)
{
    std::string text;
    for (const std::string& field : LibraryTemplate::Fields())
        text += (text.empty() ? "" : " ") + ("{" + field + "}");
    ASSERT_TRUE(LibraryTemplate::IsValid(text));
    EXPECT_EQ(LibraryTemplate::Expand(text, plainValues).Path(),
              "Song Band abc123 1x2y3z 2024-01-31 2024 Best of 7 Band's channel audio mp3");

    const LibraryName name = LibraryTemplate::Expand("{uploader}/{year}/{title} [{video_id}].{ext}", plainValues);
    EXPECT_EQ(name.folders, (std::vector<std::string>{"Band", "2024"}));
    EXPECT_EQ(name.stem, "Song [abc123]");
    EXPECT_EQ(name.extension, "mp3");
    EXPECT_EQ(name.Path(), "Band/2024/Song [abc123].mp3");
    EXPECT_EQ(name.Path(3), "Band/2024/Song [abc123] (3).mp3");
}

TEST(LibraryTemplateTest, EmptyValuesLeaveNoEmptyLevel)
{
    const LibraryName name = LibraryTemplate::Expand("{subscription}/{playlist}/{title}.{ext}", {{"ext", "mp4"}});
    EXPECT_EQ(name.Path(), "_/_/_.mp4");
}

TEST(LibraryTemplateTest, ALongNameIsCutBeforeItsExtensionAndNumber)
{
    std::map<std::string, std::string> values = plainValues;
    values["title"] = std::string(197, 'a') + "\xC3\xA4\xC3\xA4";          // "ää" across the limit
    const LibraryName name = LibraryTemplate::Expand("{title}.{ext}", values);
    // Room is kept for the extension and a number.
    EXPECT_EQ(name.FileName(), std::string(189, 'a') + ".mp3");
    EXPECT_EQ(name.FileName(12), std::string(189, 'a') + " (12).mp3");
    values["title"] = std::string(187, 'a') + "\xC3\xA4\xC3\xA4";
    EXPECT_EQ(LibraryTemplate::Expand("{title}.{ext}", values).FileName(), std::string(187, 'a') + "\xC3\xA4.mp3");
    // The longest value gives way; the template's text and the other fields stay.
    values["title"] = std::string(201, 'a');
    values["uploader"] = std::string(150, 'u');
    EXPECT_EQ(LibraryTemplate::Expand("{title} - {uploader} [{video_id}].{ext}", values).FileName(),
              std::string(88, 'a') + " - " + std::string(89, 'u') + " [abc123].mp3");
}
