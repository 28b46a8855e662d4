"""The static front end: files of httpServer.rootdir and nothing else."""

import os
import unittest

from pelko_harness import PelkoServer, SharedServerTest

INDEX = "<!doctype html><h1>Pelko</h1>"
BIG = bytes(range(256)) * (5 * 4096)  # 5 MiB, every byte value


class StaticFrontEndTest(SharedServerTest):
    @classmethod
    def setUpClass(cls):
        cls.server = PelkoServer(
            config={"httpServer": {"rootdir": "web"}},
            files={
                "web/index.html": INDEX,
                "web/css/site.css": "body { color: red; }",
                "web/app.mjs": "export {};",
                "web/media/clip.mp4": BIG,
                "web/data.bin": b"\x00\x01",
                "web/empty/.keep": "",
                "web/docs/index.html": "docs",
                "secret.txt": "not for clients",
            })
        os.symlink("../secret.txt", cls.server.path("web/escape.txt"))
        cls.server.start()

    def get(self, path):
        return self.server.raw(b"GET " + path + b" HTTP/1.0\r\n\r\n")

    def test_files_with_their_content_type(self):
        cases = [
            (b"/", "text/html; charset=utf-8", INDEX.encode()),
            (b"/index.html", "text/html; charset=utf-8", INDEX.encode()),
            (b"/docs/", "text/html; charset=utf-8", b"docs"),
            (b"/css/site.css", "text/css; charset=utf-8", b"body { color: red; }"),
            (b"/app.mjs", "text/javascript; charset=utf-8", b"export {};"),
            (b"/data.bin", "application/octet-stream", b"\x00\x01"),
            (b"/css/%73ite.css?v=3", "text/css; charset=utf-8", b"body { color: red; }"),
        ]
        for path, content_type, body in cases:
            with self.subTest(path=path):
                reply = self.get(path)
                self.assertEqual(reply.status, 200)
                self.assertEqual(reply.header("Content-Type"), content_type)
                self.assertEqual(reply.body, body)

    def test_large_file_arrives_whole(self):
        reply = self.server.request("/media/clip.mp4")
        self.assertEqual(reply.status, 200)
        self.assertEqual(reply.header("Content-Type"), "video/mp4")
        self.assertEqual(reply.body, BIG)

    def test_head_answers_headers_only(self):
        reply = self.server.raw(b"HEAD /media/clip.mp4 HTTP/1.0\r\n\r\n")
        self.assertEqual(reply.status, 200)
        self.assertEqual(int(reply.header("Content-Length")), len(BIG))
        self.assertEqual(reply.body, b"")

    def test_nothing_outside_the_root_is_reachable(self):
        for path in [b"/../config.json", b"/%2e%2e/config.json", b"/%2E%2E/secret.txt", b"/..%2fsecret.txt",
                     b"/css/../../secret.txt", b"/./index.html", b"/a/%00", b"/index.html%00.txt",
                     b"/..\\secret.txt", b"/%5c..%5csecret.txt", b"/escape.txt", b"/%zz",
                     b"/missing.html"]:
            with self.subTest(path=path):
                reply = self.get(path)
                self.assertEqual(reply.status, 404)
                self.assertNotIn(b"not for clients", reply.body)
                self.assertNotIn(b"httpServer", reply.body)

    def test_directories_are_never_listed(self):
        self.assertEqual(self.get(b"/empty/").status, 403)
        # The redirect names a path of this site: "//docs/" would be another host.
        for path in [b"/docs", b"//docs", b"///docs"]:
            with self.subTest(path=path):
                reply = self.get(path)
                self.assertEqual(reply.status, 301)
                self.assertEqual(reply.header("Location"), "/docs/")

    def test_paths_that_only_resemble_the_api_are_files(self):
        for path in [b"/API", b"/api/", b"/api/x", b"/apix"]:
            with self.subTest(path=path):
                self.assertEqual(self.get(path).status, 404)

    def test_only_download_paths_are_routed_to_the_downloads(self):
        reply = self.get(b"/download/abc")
        self.assertEqual((reply.status, reply.json()["message"]), (400, "Invalid pelko id!"))
        # Names that merely begin like the route are the front end's.
        for path in [b"/downloads", b"/downloadfoo/index.html"]:
            with self.subTest(path=path):
                self.assertEqual(self.get(path).status, 404)


class MissingFrontEndTest(unittest.TestCase):
    def test_without_the_directory_every_file_is_missing(self):
        with PelkoServer() as server:
            self.assertEqual(server.request("/").status, 404)
            self.assertEqual(server.command("get_server_version").status, 200)


if __name__ == "__main__":
    unittest.main()


class SecretFilesTest(unittest.TestCase):
    def test_a_front_end_set_by_hand_to_the_working_directory_serves_no_secret(self):
        files = {"index.html": INDEX, "cookies.txt": "# Netscape HTTP Cookie File\n", "config.json___": "{}",
                 "tokens.json": '{"tokens": []}'}
        with PelkoServer(config={"httpServer": {"rootdir": "."}}, files=files) as server:
            self.assertEqual(server.request("/index.html").status, 200)
            for path in ("/config.json", "/config.json___", "/cookies.txt", "/tokens.json", "/./config.json"):
                with self.subTest(path=path):
                    self.assertEqual(server.request(path).status, 404)
