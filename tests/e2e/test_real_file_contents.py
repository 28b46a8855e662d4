"""What a finished file holds and what lies beside it in the library, with the real yt-dlp and
ffmpeg against pages served on 127.0.0.1: the video's details as tags, its thumbnail as cover,
its chapters, its subtitles as a track and as an .srt file, and the media servers' files."""

import os
import shutil
import tempfile
import time
import unittest
import xml.etree.ElementTree

from media_fixtures import MediaSite, contents, make_described_page, make_subtitled_page, offline_variables
from pelko_harness import PelkoServer

DOWNLOAD_TIMEOUT = 300


class FileContentsTest(unittest.TestCase):
    def setUp(self):
        for program in ("yt-dlp", "ffmpeg", "ffprobe"):
            self.assertIsNotNone(shutil.which(program), program + " is missing (./pelko.sh test installs it)")
        self.site = MediaSite()
        self.addCleanup(self.site.close)
        self.library = tempfile.mkdtemp(prefix="pelko-library-")
        self.addCleanup(shutil.rmtree, self.library, True)

    def wait_until_finished(self, server, ids):
        deadline = time.monotonic() + DOWNLOAD_TIMEOUT
        while True:
            entries = {entry["pelko_id"]: entry for entry in server.command("fetch_session_cache").json()["cache"]}
            if all(entries.get(pelko_id, {}).get("status") == "finished" for pelko_id in ids):
                return [entries[pelko_id] for pelko_id in ids]
            self.assertNotIn("failed", [entry["status"] for entry in entries.values()], server.output)
            self.assertLess(time.monotonic(), deadline, "downloads did not finish:\n" + server.output)
            time.sleep(0.5)

    def test_tags_cover_chapters_subtitles_and_media_server_files(self):
        described, details = make_described_page(self.site)
        subtitled, subtitle_text = make_subtitled_page(self.site.directory)
        # The same video with subtitles that cannot be had: the video is had all the same.
        missing = subtitled.replace("page.html", "missing.html")
        with open(os.path.join(self.site.directory, subtitled)) as page, \
                open(os.path.join(self.site.directory, missing), "w") as without:
            without.write(page.read().replace("en.vtt", "gone.vtt"))
        # yt-dlp finds a runtime of its own where it needs one; the system's program is used here.
        with PelkoServer(environment=offline_variables(),
                         config={"downloader": {"num_threads": 4},
                                 "library": {"dir": self.library, "subtitles": "en"}}) as server:
            requests = [(described, "video", {}), (described, "audio", {"audio_format": "m4a"}),
                        (described, "audio", {"audio_format": "opus"}), (subtitled, "video", {}),
                        (missing, "video", {})]
            ids = []
            for page, mode, options in requests:
                reply = server.command("queue_download", video_url=self.site.url(page), mode=mode, timeout=120,
                                       **options)
                self.assertEqual(reply.status, 200, reply.body)
                ids.append(reply.json()["pelko_id"])
            video, m4a, opus, with_subtitles, without_subtitles = self.wait_until_finished(server, ids)

            # Title, uploader as artist, date, description and the page's address; cover and chapters
            # in every format (Opus has the description as "synopsis" only).
            for entry, kinds in ((video, ["audio", "data", "video"]), (m4a, ["audio", "data"]), (opus, ["audio"])):
                with self.subTest(file=entry["downloaded_filename"]):
                    held = contents(server.path(entry["downloaded_filename"]))
                    description = held["tags"].get("description", held["tags"].get("synopsis"))
                    self.assertEqual((held["tags"]["title"], held["tags"]["artist"], description),
                                     (details["title"], details["uploader"], details["description"]))
                    self.assertTrue(held["tags"]["date"].startswith("2024"), held["tags"])
                    self.assertEqual(held["tags"]["comment"], self.site.url(described))
                    self.assertEqual(held["covers"], 1)
                    self.assertEqual(held["chapters"], details["chapters"])
                    self.assertEqual(held["kinds"], kinds)

            # The subtitles: a track in the MP4, and an .srt file beside the library's copy.
            held = contents(server.path(with_subtitles["downloaded_filename"]))
            self.assertEqual(held["kinds"], ["audio", "subtitle", "video"])
            stem = os.path.join(self.library, os.path.splitext(with_subtitles["library_path"])[0])
            with open(stem + ".en.srt") as subtitles:
                self.assertIn(subtitle_text, subtitles.read())
            self.assertEqual(contents(server.path(without_subtitles["downloaded_filename"]))["kinds"],
                             ["audio", "video"])
            stem = os.path.join(self.library, os.path.splitext(without_subtitles["library_path"])[0])
            self.assertFalse(os.path.exists(stem + ".en.srt"))

            # Media servers: the episode's .nfo and picture, and the uploader's show files.
            self.assertEqual(video["library_path"], "Local Uploader/Described clip & _more_ [page].mp4")
            stem = os.path.join(self.library, os.path.splitext(video["library_path"])[0])
            episode = xml.etree.ElementTree.parse(stem + ".nfo").getroot()
            self.assertEqual([episode.findtext(name) for name in ("title", "plot", "aired", "studio")],
                             [details["title"], details["description"], "2024-03-05", details["uploader"]])
            with open(stem + "-thumb.jpg", "rb") as picture:
                self.assertEqual(picture.read(3), b"\xff\xd8\xff")
            show = os.path.join(self.library, "Local Uploader")
            self.assertEqual(xml.etree.ElementTree.parse(os.path.join(show, "tvshow.nfo")).getroot().findtext("title"),
                             details["uploader"])
            self.assertTrue(os.path.isfile(os.path.join(show, "poster.jpg")))


if __name__ == "__main__":
    unittest.main()
