"""What the HTTP layer answers to requests a careless or hostile client writes: host headers,
paths and methods that a route does not take, HEAD with a range; and the modes of the files
that hold the password's hash."""

import json
import os
import stat
import unittest

from pelko_harness import PelkoServer, SharedServerTest

DATA = b"0123456789" * 10
RECORD = {"title": "Kept", "description": "", "uploader": "", "duration": 1, "pelko_id": "kept",
          "webpage_url": "https://videos.example/kept", "thumbnail_url": "", "download_progress": 100,
          "downloaded_filename": "dlcache/download/kept.mp4", "download_url": "/download/kept",
          "queued_timestamp": 1600000000, "mode": "video", "status": "finished"}


class RequestRulesTest(SharedServerTest):
    server_options = {"files": {"dlcache/index.json": json.dumps([RECORD]), "dlcache/download/kept.mp4": DATA,
                                "frontend/index.html": "<p>page</p>"}}

    def raw(self, head):
        return self.server.raw(head.encode() + b"\r\n\r\n")

    def test_host_headers(self):
        port = self.server.port
        cases = [
            ("GET / HTTP/1.1\r\nConnection: close", 400),
            ("GET / HTTP/1.1\r\nHost: localhost\r\nHost: evil.example\r\nConnection: close", 400),
            ("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nHost: 127.0.0.1\r\nConnection: close", 400),
            ("GET / HTTP/1.0", 200),  # HTTP/1.0 had no Host
            ("GET / HTTP/1.1\r\nHost: localhost.:%d\r\nConnection: close" % port, 200),
            ("GET / HTTP/1.1\r\nHost: evil.example\r\nConnection: close", 421),
        ]
        for head, status in cases:
            with self.subTest(head):
                self.assertEqual(self.raw(head).status, status)

    def test_paths_and_methods(self):
        cases = [
            ("GET", "/download/kept", 200, None),
            ("HEAD", "/download/kept", 200, None),
            ("GET", "/download", 404, None),
            ("GET", "/downloadXkept", 404, None),
            ("GET", "/download/kept/", 400, None),
            ("GET", "/download/", 400, None),
            ("POST", "/download/kept", 405, "GET, HEAD"),
            ("DELETE", "/download/kept", 405, "GET, HEAD"),
            ("TRACE", "/", 405, "GET, HEAD"),
            ("DELETE", "/", 405, "GET, HEAD"),
            ("POST", "/", 405, "GET, HEAD"),
            ("GET", "/", 200, None),
        ]
        for method, path, status, allow in cases:
            with self.subTest(method=method, path=path):
                reply = self.server.request(path, method=method)
                self.assertEqual(reply.status, status)
                self.assertEqual(reply.header("Allow"), allow)
                if status == 200 and path.startswith("/download"):
                    self.assertEqual(reply.body, DATA if method == "GET" else b"")

    def test_ranges_read_alike_however_large_their_numbers(self):
        for header, status, body in [("bytes=10-18446744073709551615", 206, DATA[10:]),
                                     ("bytes=10-99999999999999999999999", 206, DATA[10:]),
                                     ("bytes=18446744073709551615-", 416, None),
                                     ("bytes=99999999999999999999999-", 416, None)]:
            with self.subTest(header):
                reply = self.server.request("/download/kept", headers={"Range": header})
                self.assertEqual(reply.status, status)
                if body is not None:
                    self.assertEqual(reply.body, body)

    def test_head_with_a_range_is_answered_whole(self):
        reply = self.server.request("/download/kept", method="HEAD", headers={"Range": "bytes=0-1"})
        self.assertEqual((reply.status, reply.header("Content-Length"), reply.header("Content-Range")),
                         (200, str(len(DATA)), None))


class PrivateFilesTest(unittest.TestCase):
    def test_settings_and_their_backup_are_for_the_owner_alone(self):
        with PelkoServer() as server:
            self.assertEqual(server.command("set_password", password="secret words").status, 200)
            mode = stat.S_IMODE(os.stat(server.path("config.json")).st_mode)
            self.assertEqual(mode, 0o600)
            self.assertFalse(os.path.exists(server.path("config.json___")))

    def test_disk_usage_follows_a_linked_cache_directory(self):
        server = PelkoServer(files={"elsewhere/download/big.mp4": b"x" * 100000})
        os.symlink(server.path("elsewhere"), server.path("dlcache"))
        with server:
            usage = server.command("get_disk_usage").json()["disk_usage"]
            self.assertGreater(usage["dlcache"], 100000)


if __name__ == "__main__":
    unittest.main()
