#include <gtest/gtest.h>
#include <filesystem>
#include <sys/stat.h>
#include "downloader/Cookies.h"
#include "downloader/ExternalProgram.h"
#include "support/LocalHttpServer.h"
#include "support/TempDir.h"

using Downloader::Cookies;
using TestSupport::ReadRaw;
namespace fs = std::filesystem;

namespace
{
    const std::string header = "# Netscape HTTP Cookie File\n";
    // As browsers' export add-ons write it: comments, an HttpOnly cookie, a session
    // cookie (no expiry), a cookie without a value, CRLF line ends on one line.
    const std::string exported = header +
                                 "# https://curl.se/docs/http-cookies.html\n"
                                 "\n"
                                 ".example.com\tTRUE\t/\tTRUE\t1893456000\tSID\tabc123\n"
                                 "#HttpOnly_.example.com\tTRUE\t/\tTRUE\t1893456000\tHSID\tdef\r\n"
                                 "www.example.com\tFALSE\t/watch\tFALSE\t\tsession\tx=y\n"
                                 "example.org\tFALSE\t/\tFALSE\t0\tempty\t\n";

    mode_t ModeOf(const std::string& path)
    {
        struct stat info{};
        stat(path.c_str(), &info);
        return info.st_mode & 07777;
    }
}

struct CookieTextCase
{
    std::string text;
    std::string problem;  // empty: accepted
};

class CookieTextTest : public ::testing::TestWithParam<CookieTextCase>
{
};

TEST_P(CookieTextTest, AcceptsWhatTheDownloaderLoadsAndSaysWhyNot)
{
    EXPECT_EQ(Cookies::Check(GetParam().text), GetParam().problem);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, CookieTextTest,
    ::testing::Values(
        CookieTextCase{exported, ""},
        CookieTextCase{"# HTTP Cookie File\r\nexample.com\tFALSE\t/\tFALSE\t0\ta\tb", ""},
        CookieTextCase{"\xEF\xBB\xBF" + header + "example.com\tFALSE\t/\tFALSE\t0\ta\tb\n", ""},
        CookieTextCase{header + "# comment \xC3\xA4\n.example.com\tTRUE\t/\tFALSE\t0\ta\t\xE6\x97\xA5\n", ""},
        CookieTextCase{"", "The cookies text is empty."},
        CookieTextCase{header + std::string(Cookies::maxSize, '#'), "The cookies text is larger than 1 MiB."},
        CookieTextCase{header + "example.com\tFALSE\t/\tFALSE\t0\ta\t\xFF\n", "The cookies text is not UTF-8 text."},
        CookieTextCase{header + "example.com\tFALSE\t/\tFALSE\t0\ta\t\xC3\n", "The cookies text is not UTF-8 text."},
        CookieTextCase{header + std::string("example.com\tFALSE\t/\tFALSE\t0\ta\t\0\n", 32),
                       "The cookies text holds control characters other than tabs and line ends."},
        CookieTextCase{"[{\"domain\": \".example.com\", \"name\": \"SID\"}]",
                       "The cookies text is JSON; export the cookies as a Netscape cookies.txt instead."},
        CookieTextCase{"  {\"cookies\": []}", "The cookies text is JSON; export the cookies as a Netscape cookies.txt "
                                              "instead."},
        CookieTextCase{"example.com\tFALSE\t/\tFALSE\t0\ta\tb\n",
                       "The cookies text does not begin with the line \"# Netscape HTTP Cookie File\" that marks a "
                       "Netscape cookies.txt."},
        CookieTextCase{"SID=abc123; HSID=def", "The cookies text does not begin with the line \"# Netscape HTTP Cookie "
                                               "File\" that marks a Netscape cookies.txt."},
        CookieTextCase{header + "example.com FALSE / FALSE 0 a b\n",
                       "Line 2 of the cookies text has 1 field; a cookie line has 7, separated by tabs: domain, "
                       "subdomains, path, secure, expiry, name, value."},
        CookieTextCase{header + "\n.example.com\tTRUE\t/\tFALSE\t0\ta\tb\tc\n",
                       "Line 3 of the cookies text has 8 fields; a cookie line has 7, separated by tabs: domain, "
                       "subdomains, path, secure, expiry, name, value."},
        CookieTextCase{header + "\tFALSE\t/\tFALSE\t0\ta\tb\n", "Line 2 of the cookies text names no domain."},
        CookieTextCase{header + "www.example.com\tTRUE\t/\tFALSE\t0\ta\tb\n",
                       "Line 2 of the cookies text must have TRUE in its second field when the domain begins with a "
                       "dot, and FALSE otherwise."},
        CookieTextCase{header + ".example.com\tyes\t/\tFALSE\t0\ta\tb\n",
                       "Line 2 of the cookies text must have TRUE in its second field when the domain begins with a "
                       "dot, and FALSE otherwise."},
        CookieTextCase{header + ".example.com\tTRUE\t/\ttrue\t0\ta\tb\n",
                       "Line 2 of the cookies text must have TRUE or FALSE in its fourth field (secure)."},
        CookieTextCase{header + ".example.com\tTRUE\t/\tFALSE\t2030-01-01\ta\tb\n",
                       "Line 2 of the cookies text must have a whole number of seconds, or nothing, in its fifth "
                       "field (expiry)."},
        CookieTextCase{header + "# only comments\n\n", "The cookies text holds no cookie."}));

class CookieFileTest : public ::testing::Test
{
protected:
    TestSupport::TempDir directory{true};
};

// The file must never be readable by others: a lax umask and an old file of mode 0644
// change nothing.
TEST_F(CookieFileTest, SetKeepsTheTextForItsOwnerAlone)
{
    TestSupport::WriteRaw("cookies.txt", "old");
    chmod("cookies.txt", 0644);
    const mode_t previousMask = umask(0);
    const std::string problem = Cookies::Set("\xEF\xBB\xBF" + exported);
    umask(previousMask);

    EXPECT_EQ(problem, "");
    EXPECT_TRUE(Cookies::IsSet());
    EXPECT_EQ(ReadRaw("cookies.txt"), exported);  // without the byte order mark the downloader would refuse
    EXPECT_EQ(ModeOf("cookies.txt"), 0600u);
}

TEST_F(CookieFileTest, RefusedTextKeepsTheCookiesThereWere)
{
    ASSERT_EQ(Cookies::Set(exported), "");
    EXPECT_EQ(Cookies::Set("not cookies"), "The cookies text does not begin with the line \"# Netscape HTTP Cookie "
                                           "File\" that marks a Netscape cookies.txt.");
    EXPECT_EQ(ReadRaw("cookies.txt"), exported);

    ASSERT_TRUE(Cookies::Clear());
    EXPECT_NE(Cookies::Set(""), "");
    EXPECT_FALSE(Cookies::IsSet());
}

TEST_F(CookieFileTest, ClearRemovesTheFile)
{
    EXPECT_FALSE(Cookies::IsSet());
    EXPECT_FALSE(Cookies::Clear());
    ASSERT_EQ(Cookies::Set(exported), "");
    EXPECT_TRUE(Cookies::Clear());
    EXPECT_FALSE(Cookies::IsSet());
    EXPECT_FALSE(fs::exists("cookies.txt"));
    EXPECT_FALSE(Cookies::Clear());
}

TEST_F(CookieFileTest, EveryRunGetsAPrivateCopy)
{
    EXPECT_FALSE(Cookies::CopyForRun("run.cookies"));
    EXPECT_FALSE(fs::exists("run.cookies"));

    ASSERT_EQ(Cookies::Set(exported), "");
    ASSERT_TRUE(Cookies::CopyForRun("run.cookies"));
    EXPECT_EQ(ReadRaw("run.cookies"), exported);
    EXPECT_EQ(ModeOf("run.cookies"), 0600u);

    // What the downloader writes into its copy does not reach the kept cookies.
    TestSupport::WriteRaw("run.cookies", "# Netscape HTTP Cookie File\n");
    EXPECT_EQ(ReadRaw("cookies.txt"), exported);
    EXPECT_FALSE(Cookies::CopyForRun("missing-directory/run.cookies"));
}

// What Check lets through, the real yt-dlp loads and sends; and it rewrites the file it is
// given, which is why a run gets a copy.
TEST_F(CookieFileTest, TheRealDownloaderSendsThemFromItsCopy)
{
    const std::string ytDlp = Downloader::ExternalProgram::FindOnSearchPath("yt-dlp");
    ASSERT_FALSE(ytDlp.empty()) << "yt-dlp is missing (./pelko.sh test installs it)";
    TestSupport::LocalHttpServer site;
    TestSupport::DirectConnections direct;
    site.Serve("/video", {200, "<html><body>no video here</body></html>"});
    const std::string cookies = exported + "127.0.0.1\tFALSE\t/\tFALSE\t1893456000\tSID\tabc123\n"
                                           "#HttpOnly_127.0.0.1\tFALSE\t/\tFALSE\t\tHSID\tdef\n";
    ASSERT_EQ(Cookies::Set(cookies), "");
    ASSERT_TRUE(Cookies::CopyForRun("run.cookies"));

    Downloader::ExternalProgram::Run({ytDlp, "--cookies", "run.cookies", "--skip-download", "--no-warnings",
                                      "--socket-timeout", "5", "-J", "--", site.Url("/video")},
                                     "out.json");

    const std::vector<std::string> heads = site.RequestHeads();
    ASSERT_FALSE(heads.empty());
    const std::string& head = heads.front();
    const size_t cookieHeader = head.find("\r\nCookie: ");
    ASSERT_NE(cookieHeader, std::string::npos) << head;
    const std::string sent = head.substr(cookieHeader, head.find("\r\n", cookieHeader + 2) - cookieHeader);
    EXPECT_NE(sent.find("SID=abc123"), std::string::npos) << sent;
    EXPECT_NE(sent.find("HSID=def"), std::string::npos) << sent;
    EXPECT_EQ(sent.find("session"), std::string::npos) << sent;  // a cookie of another site
    EXPECT_NE(ReadRaw("run.cookies"), cookies);
    EXPECT_EQ(ReadRaw("cookies.txt"), cookies);
}
