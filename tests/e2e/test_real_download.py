"""The whole road of a download with the real programs: a clip made by ffmpeg is served
on 127.0.0.1, queued through the command interface, fetched by the system's youtube-dl
(or yt-dlp), converted by ffmpeg, downloaded from /download/<id> and still there after
a restart."""

import os
import shutil
import time
import unittest

from media_fixtures import MediaSite, make_clip, offline_variables, probe
from pelko_harness import PelkoServer

TITLE = "\u00dcn\u00efc\u00f6d\u00e9 \u65e5\u672c"
DISPOSITION = ("attachment; filename=\"_n_c_d_ __.{0}\"; "
               "filename*=UTF-8''%C3%9Cn%C3%AFc%C3%B6d%C3%A9%20%E6%97%A5%E6%9C%AC.{0}")
DOWNLOAD_TIMEOUT = 300


class RealDownloadTest(unittest.TestCase):
    def setUp(self):
        for program in ("ffmpeg", "ffprobe"):
            self.assertIsNotNone(shutil.which(program), program + " is missing (./pelko.sh test installs it)")
        self.assertTrue(shutil.which("youtube-dl") or shutil.which("yt-dlp"),
                        "neither youtube-dl nor yt-dlp is installed (./pelko.sh test installs yt-dlp)")

        self.site = MediaSite()
        self.addCleanup(self.site.close)
        self.media = self.site.directory
        # WebM (VP8 and Vorbis), so that both modes have to convert.
        make_clip(os.path.join(self.media, TITLE + ".webm"))
        self.clip_url = self.site.url(TITLE + ".webm")

    def wait_until_finished(self, server, ids):
        deadline = time.monotonic() + DOWNLOAD_TIMEOUT
        while True:
            cache = server.command("fetch_session_cache").json()["cache"]
            states = {entry["pelko_id"]: entry["status"] for entry in cache}
            if all(states.get(pelko_id) == "finished" for pelko_id in ids):
                return
            self.assertNotIn("failed", states.values(), server.output)
            self.assertLess(time.monotonic(), deadline, "downloads did not finish: %r\n%s" % (states, server.output))
            time.sleep(0.5)

    def fetch(self, server, pelko_id, extension):
        reply = server.request("/download/" + pelko_id, timeout=60)
        self.assertEqual(reply.status, 200, reply.body[:200])
        self.assertEqual(reply.header("Content-Type"), "application/octet-stream")
        self.assertEqual(reply.header("Content-Disposition"), DISPOSITION.format(extension))
        return reply.body

    def test_queue_download_convert_fetch_and_keep_across_a_restart(self):
        # The test never depends on the network, whatever the downloader may try.
        with PelkoServer(environment=offline_variables()) as server:
            modes = {"audio": "mp3", "video": "mp4"}
            ids = {}
            for mode in modes:
                reply = server.command("queue_download", video_url=self.clip_url, mode=mode, timeout=120)
                self.assertEqual(reply.status, 200, reply.body)
                ids[mode] = reply.json()["pelko_id"]
                queued = next(entry for entry in reply.json()["cache"] if entry["pelko_id"] == ids[mode])
                self.assertEqual((queued["title"], queued["mode"]), (TITLE, mode), server.output)
            self.wait_until_finished(server, ids.values())

            files = {}
            for mode, extension in modes.items():
                files[mode] = self.fetch(server, ids[mode], extension)
                path = os.path.join(self.media, "fetched." + extension)
                with open(path, "wb") as out:
                    out.write(files[mode])
                info = probe(path)
                if mode == "audio":
                    self.assertEqual((info["container"], info["kinds"]), ("mp3", ["audio"]))
                else:
                    self.assertIn("mp4", info["container"].split(","))
                    self.assertEqual(info["kinds"], ["audio", "video"])

            server.restart()
            cache = server.command("fetch_alltime_cache").json()["cache"]
            kept = {entry["pelko_id"]: (entry["status"], entry["download_progress"]) for entry in cache}
            self.assertEqual(kept, {ids["audio"]: ("finished", 100), ids["video"]: ("finished", 100)})
            for mode, extension in modes.items():
                self.assertEqual(self.fetch(server, ids[mode], extension), files[mode])


if __name__ == "__main__":
    unittest.main()
