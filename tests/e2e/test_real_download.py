"""The whole road of a download with the real programs: media made by ffmpeg is served on
127.0.0.1, queued through the command interface, fetched by the system's youtube-dl (or
yt-dlp), converted by ffmpeg where it must be, downloaded from /download/<id> and still there
after a restart; a quality picks the rendition, MP4 streams are kept as they are, and a page
with two videos is a playlist."""

import os
import shutil
import time
import unittest

import media_fixtures
from media_fixtures import H264_PROFILE, MediaSite, make_clip, offline_variables, probe
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


class FormatsAndPlaylistsTest(unittest.TestCase):
    """One server for all, with the media made once."""

    @classmethod
    def setUpClass(cls):
        cls.site = MediaSite()
        cls.hls = media_fixtures.make_hls_master(cls.site.directory)
        cls.vp9 = media_fixtures.make_dash(cls.site.directory, "vp9", video=("vp9",), audio=("opus",), size="640x360")
        cls.page, cls.clips = media_fixtures.make_two_video_page(cls.site.directory)
        cls.server = PelkoServer(environment=offline_variables(), config={"downloader": {"num_threads": 2}}).start()

    @classmethod
    def tearDownClass(cls):
        cls.server.close()
        cls.site.close()

    def queue(self, path, **options):
        reply = self.server.command("queue_download", video_url=self.site.url(path), timeout=120, **options)
        self.assertEqual(reply.status, 200, reply.body)
        return reply.json()

    def finished_file(self, pelko_id):
        entry = self.server.wait_for_download(pelko_id, "finished", timeout=DOWNLOAD_TIMEOUT)
        return self.server.path(entry["downloaded_filename"])

    def test_the_quality_picks_the_rendition_and_neither_is_re_encoded(self):
        ids = {quality: self.queue(self.hls, mode="video", quality=quality)["pelko_id"] for quality in ("360", "best")}
        for quality, height in (("360", 360), ("best", 720)):
            with self.subTest(quality=quality):
                info = probe(self.finished_file(ids[quality]))
                # The profile that ffmpeg gave the renditions: a re-encode would have changed it.
                self.assertEqual(info, {"container": "mov,mp4,m4a,3gp,3g2,mj2", "video": "h264", "profile": H264_PROFILE,
                                        "height": height, "audio": "aac", "kinds": ["audio", "video"]})

    def test_vp9_and_opus_become_a_playable_mp4(self):
        path = self.finished_file(self.queue(self.vp9, mode="video")["pelko_id"])
        info = probe(path)
        self.assertEqual((info["container"], info["video"], info["audio"]), ("mov,mp4,m4a,3gp,3g2,mj2", "vp9", "opus"))
        self.assertTrue(media_fixtures.decodes(path))

    def test_a_page_with_two_videos_is_queued_as_a_playlist_and_not_as_one_video(self):
        reply = self.queue(self.page, mode="video", playlist=True)
        self.assertEqual((reply["message"], reply["playlist_size"]), ("Playlist queued!", 2))
        deadline = time.monotonic() + DOWNLOAD_TIMEOUT
        while True:
            cache = self.server.command("fetch_session_cache").json()["cache"]
            videos = sorted((entry for entry in cache if entry["video_url"] == self.site.url(self.page)),
                            key=lambda entry: entry["queued_timestamp"])
            if len(videos) == 2 and all(entry["status"] == "finished" for entry in videos):
                break
            self.assertNotIn("failed", [entry["status"] for entry in videos], videos)
            self.assertLess(time.monotonic(), deadline, videos)
            time.sleep(0.5)
        self.assertEqual(videos[0]["pelko_id"], reply["pelko_id"])
        # Each video's streams as they are; the files gain the videos' details as tags.
        for entry, clip in zip(videos, self.clips):
            self.assertEqual(media_fixtures.stream_packets(self.server.path(entry["downloaded_filename"]), "V", "a"),
                             media_fixtures.stream_packets(os.path.join(self.site.directory, clip), "V", "a"), entry)

        single = self.queue(self.page, mode="video")
        failed = self.server.wait_for_download(single["pelko_id"], "failed", timeout=120)
        self.assertEqual(failed["error_message"], "The address is a playlist, not a single video: queue it as a "
                                                  "playlist to download its videos.")


if __name__ == "__main__":
    unittest.main()
