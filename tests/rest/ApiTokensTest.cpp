#include <gtest/gtest.h>
#include <regex>
#include <sys/stat.h>
#include "app/FileLayout.h"
#include "app/Sha256.h"
#include "rest/ApiTokens.h"
#include "support/TempDir.h"

using Rest::ApiTokens;

// Each test in a working directory of its own, with the tokens that its file holds.
class ApiTokensTest : public ::testing::Test
{
protected:
    void SetUp() override { ApiTokens::PreInit(); }
    void TearDown() override { ApiTokens::PostExit(); }
    // As a restart does it.
    void Restart()
    {
        ApiTokens::PostExit();
        ApiTokens::PreInit();
    }
    std::string Create(const std::string& name, ApiTokens::SCOPE scope, time_t now = 1000)
    {
        std::string token;
        const ApiTokens::Refusal refusal = ApiTokens::Create(name, scope, now, token);
        EXPECT_EQ(refusal.problem, "");
        return token;
    }

    TestSupport::TempDir workdir{true};
};

TEST_F(ApiTokensTest, KeepsOnlyTheSumsOfTokensShownOnce)
{
    const std::string full = Create("laptop script", ApiTokens::FULL);
    const std::string feeds = Create("podcast app", ApiTokens::FEEDS);
    const std::regex form("pelko_[A-Za-z0-9_-]{43}");  // 32 bytes in base64url, unpadded
    EXPECT_TRUE(std::regex_match(full, form)) << full;
    EXPECT_NE(full, feeds);

    const std::string file = TestSupport::ReadRaw(FileLayout::tokensFile);
    EXPECT_EQ(file.find(full), std::string::npos);
    EXPECT_EQ(file.find(full.substr(6)), std::string::npos);
    EXPECT_NE(file.find(Sha256::Hex(full)), std::string::npos) << file;
    struct stat status{};
    ASSERT_EQ(stat(FileLayout::tokensFile, &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);

    Restart();
    EXPECT_EQ(ApiTokens::Check(full, 2000), ApiTokens::FULL);
    EXPECT_EQ(ApiTokens::Check(feeds, 2000), ApiTokens::FEEDS);
    const auto list = ApiTokens::List();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ((std::tuple{list[0].name, list[0].scope, list[0].created, list[0].last_used}),
              (std::tuple{std::string("laptop script"), ApiTokens::FULL, time_t{1000}, time_t{2000}}));
    EXPECT_EQ(list[1].name, "podcast app");
}

TEST_F(ApiTokensTest, RefusesWhatIsNoToken)
{
    const std::string token = Create("phone", ApiTokens::FULL);
    std::string changed = token;
    changed.back() = changed.back() == 'A' ? 'B' : 'A';
    for (const std::string& text : {std::string(), std::string("pelko_"), changed, token.substr(6), token + "x",
                                    Sha256::Hex(token), " " + token})
        EXPECT_EQ(ApiTokens::Check(text, 2000), std::nullopt) << text;
}

TEST_F(ApiTokensTest, RefusesNamesAndRevokes)
{
    const std::string token = Create("phone", ApiTokens::FEEDS);
    const struct
    {
        std::string name;
        std::string problem;
    } refused[] = {
        {"", "An app token needs a name."},
        {std::string(101, 'n'), "The name of an app token may be at most 100 bytes long."},
        {"phone", "An app token named \"phone\" exists already."},
    };
    for (const auto& item : refused)
    {
        std::string given;
        EXPECT_EQ(ApiTokens::Create(item.name, ApiTokens::FULL, 1000, given).problem, item.problem);
        EXPECT_EQ(given, "");
    }
    EXPECT_EQ(ApiTokens::Revoke("tablet").problem, "No app token is named \"tablet\".");
    EXPECT_EQ(ApiTokens::Revoke("phone").problem, "");
    EXPECT_EQ(ApiTokens::Check(token, 2000), std::nullopt);
    Restart();
    EXPECT_EQ(ApiTokens::Check(token, 2000), std::nullopt);
    EXPECT_TRUE(ApiTokens::List().empty());
}

TEST_F(ApiTokensTest, AFileThatCannotBeWrittenChangesNothing)
{
    const std::string token = Create("phone", ApiTokens::FULL);
    // A directory where the new file would be renamed to: the save fails.
    ASSERT_EQ(std::remove(FileLayout::tokensFile), 0);
    ASSERT_EQ(mkdir(FileLayout::tokensFile, 0700), 0);
    std::string given;
    const ApiTokens::Refusal refusal = ApiTokens::Create("tablet", ApiTokens::FULL, 1000, given);
    EXPECT_TRUE(refusal.notSaved);
    EXPECT_EQ(refusal.problem.rfind("The app tokens could not be saved: \"tokens.json\" could not be written (", 0), 0u)
        << refusal.problem;
    EXPECT_EQ(given, "");
    EXPECT_TRUE(ApiTokens::Revoke("phone").notSaved);
    EXPECT_EQ(ApiTokens::List().size(), 1u);
    EXPECT_EQ(ApiTokens::Check(token, 1001), ApiTokens::FULL);
    rmdir(FileLayout::tokensFile);
}

TEST_F(ApiTokensTest, AnUnreadableFileAdmitsNoOne)
{
    TestSupport::WriteRaw(FileLayout::tokensFile, "{\"tokens\": [{\"name\": \"x\", \"scope\": \"everything\", "
                                                "\"sha256\": \"00\"}], \"broken");
    Restart();
    EXPECT_TRUE(ApiTokens::List().empty());
}
