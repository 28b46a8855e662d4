"""Byte ranges of a finished download: "/download/<id>" answers one range with 206 and
Content-Range, a range that starts past the end with 416, and several ranges (or a
conditional If-Range it cannot check) with the whole file. "?inline=1" answers the same with
the file's media type and an inline Content-Disposition, for the page's player."""

import json
import unittest

from pelko_harness import SharedServerTest

DATA = bytes(range(256)) * 4 + b"the end"  # 1031 bytes, every offset tells itself apart
SIZE = len(DATA)
RECORD = {"title": "Ranged", "description": "", "uploader": "", "duration": 1, "pelko_id": "ranged",
          "webpage_url": "https://videos.example/ranged", "thumbnail_url": "", "download_progress": 100,
          "downloaded_filename": "dlcache/download/ranged.mp4", "download_url": "/download/ranged",
          "queued_timestamp": 1600000000, "mode": "video", "status": "finished"}
SONG = {**RECORD, "title": "Sung", "pelko_id": "sung", "downloaded_filename": "dlcache/download/sung.mp3",
        "download_url": "/download/sung", "mode": "audio"}


class DownloadRangesTest(SharedServerTest):
    server_options = {"files": {"dlcache/index.json": json.dumps([RECORD, SONG]), "dlcache/download/ranged.mp4": DATA,
                                "dlcache/download/sung.mp3": DATA, "frontend/page.txt": "0123456789"}}

    def get(self, range_header=None, method="GET", path="/download/ranged", **headers):
        if range_header is not None:
            headers["Range"] = range_header
        return self.server.request(path, method=method, headers=headers)

    def test_one_range_gets_that_part(self):
        cases = [("bytes=0-9", 0, 10), ("bytes=500-599", 500, 600), ("bytes=-7", SIZE - 7, SIZE),
                 ("bytes=1000-", 1000, SIZE), ("bytes=1025-99999", 1025, SIZE)]
        for header, first, end in cases:
            with self.subTest(header=header):
                reply = self.get(header)
                self.assertEqual(reply.status, 206)
                self.assertEqual(reply.body, DATA[first:end])
                self.assertEqual(reply.header("Content-Range"), "bytes %d-%d/%d" % (first, end - 1, SIZE))
                self.assertEqual(reply.header("Content-Length"), str(end - first))
                self.assertEqual(reply.header("Content-Type"), "application/octet-stream")
                self.assertEqual(reply.header("Content-Disposition"),
                                 "attachment; filename=\"Ranged.mp4\"; filename*=UTF-8''Ranged.mp4")
                self.assertEqual(reply.header("Accept-Ranges"), "bytes")

    def test_inline_gets_the_media_type_and_is_shown_not_saved(self):
        cases = [("/download/ranged?inline=1", "video/mp4", "inline; filename=\"Ranged.mp4\"; filename*=UTF-8''Ranged.mp4"),
                 ("/download/sung?inline=1", "audio/mpeg", "inline; filename=\"Sung.mp3\"; filename*=UTF-8''Sung.mp3"),
                 ("/download/sung?inline=0", "application/octet-stream",
                  "attachment; filename=\"Sung.mp3\"; filename*=UTF-8''Sung.mp3")]
        for path, media_type, disposition in cases:
            with self.subTest(path):
                whole, part = self.get(path=path), self.get("bytes=1000-", path=path)
                self.assertEqual((whole.status, whole.body, part.status, part.body), (200, DATA, 206, DATA[1000:]))
                for reply in (whole, part):
                    self.assertEqual((reply.header("Content-Type"), reply.header("Content-Disposition")),
                                     (media_type, disposition))
                self.assertEqual(part.header("Content-Range"), "bytes 1000-%d/%d" % (SIZE - 1, SIZE))
        self.assertEqual(self.get(path="/download/nothing?inline=1").json()["message"], "Invalid pelko id!")

    def test_a_range_past_the_end_is_unsatisfiable(self):
        for header in ["bytes=%d-" % SIZE, "bytes=5000-6000", "bytes=-0"]:
            with self.subTest(header=header):
                reply = self.get(header)
                self.assertEqual((reply.status, reply.body), (416, b""))
                self.assertEqual(reply.header("Content-Range"), "bytes */%d" % SIZE)

    def test_several_ranges_or_an_unknown_version_get_the_whole_file(self):
        for reply in [self.get("bytes=0-1,5-6"), self.get("bytes=0-9", **{"If-Range": "\"some-etag\""}),
                      self.get("lines=1-2"), self.get()]:
            self.assertEqual((reply.status, reply.body), (200, DATA))
            self.assertIsNone(reply.header("Content-Range"))
            self.assertEqual(reply.header("Accept-Ranges"), "bytes")

    def test_head_ignores_the_range_and_tells_the_whole_size(self):
        # Ranges are defined for GET alone.
        reply = self.get("bytes=10-19", method="HEAD")
        self.assertEqual((reply.status, reply.body), (200, b""))
        self.assertIsNone(reply.header("Content-Range"))
        self.assertEqual(reply.header("Content-Length"), str(SIZE))

    def test_front_end_files_are_served_whole(self):
        reply = self.get("bytes=0-1", path="/page.txt")
        self.assertEqual((reply.status, reply.body), (200, b"0123456789"))
        self.assertIsNone(reply.header("Accept-Ranges"))


if __name__ == "__main__":
    unittest.main()
