#include <gtest/gtest.h>
#include <filesystem>
#include "rest/StaticFileServer.h"
#include "support/TempDir.h"

using Rest::StaticFileServer;
using TestSupport::TempDir;
using TestSupport::WriteRaw;
namespace fs = std::filesystem;

struct ResolveCase
{
    std::string rawPath;
    unsigned int status;
    std::string file;  // relative to the root, for 200
    std::string location = "";
};

void PrintTo(const ResolveCase& c, std::ostream* os)
{
    *os << '"' << c.rawPath << '"';
}

// A front end with a secret beside it, reachable only by escaping the root.
class StaticFileServerResolve : public ::testing::TestWithParam<ResolveCase>
{
protected:
    static void SetUpTestSuite()
    {
        dir = new TempDir();
        const std::string root = *dir / "frontend";
        fs::create_directories(root + "/sub");
        fs::create_directories(root + "/docs");
        fs::create_directories(root + "/%2e%2e");
        fs::create_directories(root + "/trap");
        WriteRaw(*dir / "secret.txt", "secret");
        WriteRaw(root + "/index.html", "<h1>home</h1>");
        WriteRaw(root + "/style.css", "body{}");
        WriteRaw(root + "/space name.txt", "x");
        WriteRaw(root + "/sub/a.txt", "a");
        WriteRaw(root + "/docs/index.html", "docs");
        WriteRaw(root + "/%2e%2e/secret.txt", "decoded only once");
        fs::create_symlink("../secret.txt", root + "/link-out");
        fs::create_symlink("style.css", root + "/link-in");
        fs::create_symlink("..", root + "/dirlink-out");
        fs::create_directory_symlink("sub", root + "/dirlink-in");
        fs::create_symlink("../../secret.txt", root + "/trap/index.html");
        // The run script links the front end into the working directory the same way.
        fs::create_directory_symlink(root, *dir / "linked-frontend");
    }
    static void TearDownTestSuite()
    {
        delete dir;
        dir = nullptr;
    }

    static TempDir* dir;
};

TempDir* StaticFileServerResolve::dir = nullptr;

TEST_P(StaticFileServerResolve, ServesOnlyFilesInsideTheRoot)
{
    for (const std::string& root : {*dir / "frontend", *dir / "linked-frontend"})
    {
        const StaticFileServer::Resolution resolution = StaticFileServer(root).Resolve(GetParam().rawPath);
        EXPECT_EQ(resolution.status, GetParam().status) << "root " << root;
        if (GetParam().status == 200)
        {
            EXPECT_EQ(resolution.file, fs::canonical(*dir / ("frontend/" + GetParam().file)).string());
        }
        EXPECT_EQ(resolution.location, GetParam().location);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Paths, StaticFileServerResolve,
    ::testing::Values(
        ResolveCase{"/", 200, "index.html"}, ResolveCase{"/index.html", 200, "index.html"},
        ResolveCase{"//index.html", 200, "index.html"}, ResolveCase{"/%73tyle.css", 200, "style.css"},
        ResolveCase{"/space%20name.txt", 200, "space name.txt"}, ResolveCase{"/docs/", 200, "docs/index.html"},
        ResolveCase{"/link-in", 200, "style.css"}, ResolveCase{"//dirlink-in/a.txt", 200, "sub/a.txt"},
        ResolveCase{"/link-in/", 404, ""},
        ResolveCase{"/%252e%252e/secret.txt", 200, "%2e%2e/secret.txt"},
        // Directories: the index, else refused, never listed.
        ResolveCase{"/sub/", 403, ""}, ResolveCase{"/sub", 301, "", "/sub/"}, ResolveCase{"/docs", 301, "", "/docs/"},
        // A redirect stays on this site: "//sub/" would name the host "sub".
        ResolveCase{"//sub", 301, "", "/sub/"}, ResolveCase{"///sub", 301, "", "/sub/"},
        // Missing, malformed or escaping paths name nothing.
        ResolveCase{"/missing.html", 404, ""}, ResolveCase{"/index.html/", 404, ""},
        ResolveCase{"/../secret.txt", 404, ""}, ResolveCase{"/%2e%2e/secret.txt", 404, ""},
        ResolveCase{"/%2E%2E/secret.txt", 404, ""}, ResolveCase{"/..%2fsecret.txt", 404, ""},
        ResolveCase{"/sub/../index.html", 404, ""}, ResolveCase{"/./index.html", 404, ""},
        ResolveCase{"/sub/.", 404, ""}, ResolveCase{"/a/%00", 404, ""}, ResolveCase{"/index.html%00.png", 404, ""},
        ResolveCase{"/sub\\..\\..\\secret.txt", 404, ""}, ResolveCase{"/%5c..%5csecret.txt", 404, ""},
        ResolveCase{"/link-out", 404, ""}, ResolveCase{"/dirlink-out/secret.txt", 404, ""},
        ResolveCase{"/trap/", 404, ""}, ResolveCase{"/%zz", 404, ""}, ResolveCase{"/%4", 404, ""},
        ResolveCase{"index.html", 404, ""}, ResolveCase{"", 404, ""}));

TEST(StaticFileServer, MissingRootServesNothing)
{
    TempDir dir;
    EXPECT_EQ(StaticFileServer(dir / "nope").Resolve("/").status, 404u);
    EXPECT_EQ(StaticFileServer("").Resolve("/").status, 404u);
}

// A root set to the working directory by hand still never hands out the cookies, under any name.
TEST(StaticFileServer, PrivateFilesAreNeverServed)
{
    TempDir dir;
    TestSupport::WriteRaw(dir / "cookies.txt", "secret");
    TestSupport::WriteRaw(dir / "page.html", "page");
    std::filesystem::create_symlink(dir / "cookies.txt", dir / "alias.txt");
    const StaticFileServer server(dir.Path(), {dir / "cookies.txt"});

    EXPECT_EQ(server.Resolve("/page.html").status, 200u);
    EXPECT_EQ(server.Resolve("/cookies.txt").status, 404u);
    EXPECT_EQ(server.Resolve("/alias.txt").status, 404u);
    EXPECT_EQ(StaticFileServer(dir.Path(), {dir / "missing.txt"}).Resolve("/page.html").status, 200u);
}

TEST(StaticFileServer, ContentTypeByExtension)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"/r/index.html", "text/html; charset=utf-8"},
        {"/r/a.css", "text/css; charset=utf-8"},
        {"/r/a.js", "text/javascript; charset=utf-8"},
        {"/r/a.mjs", "text/javascript; charset=utf-8"},
        {"/r/a.json", "application/json"},
        {"/r/a.svg", "image/svg+xml"},
        {"/r/A.PNG", "image/png"},
        {"/r/a.jpg", "image/jpeg"},
        {"/r/a.jpeg", "image/jpeg"},
        {"/r/a.gif", "image/gif"},
        {"/r/a.webp", "image/webp"},
        {"/r/favicon.ico", "image/x-icon"},
        {"/r/f.woff", "font/woff"},
        {"/r/f.woff2", "font/woff2"},
        {"/r/a.txt", "text/plain; charset=utf-8"},
        {"/r/song.mp3", "audio/mpeg"},
        {"/r/clip.mp4", "video/mp4"},
        {"/r/archive.tar.gz", "application/octet-stream"},
        {"/r/README", "application/octet-stream"},
        {"/r.html/README", "application/octet-stream"},
    };
    for (const auto& [path, type] : cases)
        EXPECT_EQ(StaticFileServer::ContentTypeOf(path), type) << path;
}
