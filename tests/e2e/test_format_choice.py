"""The real yt-dlp and ffmpeg with the arguments that Downloader::FormatChoice builds (printed
by the test tool PELKO_FORMAT_ARGUMENTS), against media served on 127.0.0.1: the metadata
fetch with the selection arguments, then the download with the arguments for the streams that
metadata names, as the server runs them. Also what yt-dlp makes of a page with two videos."""

import json
import os
import shutil
import subprocess
import tempfile
import unittest

import media_fixtures
from media_fixtures import H264_PROFILE, MediaSite, offline_variables, probe

TIMEOUT = 300
METADATA = ["--skip-download", "--no-warnings", "--socket-timeout", "5", "--dump-json"]
DOWNLOAD = ["--newline", "--no-call-home", "--no-playlist", "--no-part", "--no-warnings", "--socket-timeout", "5",
            "--limit-rate", "100M", "--no-mtime", "--no-cache-dir"]
MP4 = "mov,mp4,m4a,3gp,3g2,mj2"
RE_ENCODED = "[VideoConvertor] Converting video"


def format_arguments(*arguments):
    result = subprocess.run([os.environ["PELKO_FORMAT_ARGUMENTS"], *arguments], capture_output=True, text=True,
                            check=True, timeout=TIMEOUT)
    return result.stdout.splitlines()


class RealDownloaderCase(unittest.TestCase):
    """Media made once for the whole class and served on 127.0.0.1; a scratch directory per test."""

    @classmethod
    def setUpClass(cls):
        for program in ("yt-dlp", "ffmpeg", "ffprobe"):
            if shutil.which(program) is None:
                raise AssertionError(program + " is missing (./pelko.sh test installs it)")
        cls.site = MediaSite()
        cls.make_media(cls.site.directory)

    @classmethod
    def tearDownClass(cls):
        cls.site.close()

    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="pelko-format-")
        self.addCleanup(shutil.rmtree, self.work, ignore_errors=True)
        self.environment = dict(os.environ, **offline_variables())

    def yt_dlp(self, *arguments):
        """yt-dlp's exit status and its output, error output included."""
        result = subprocess.run(["yt-dlp", *arguments], cwd=self.work, env=self.environment, capture_output=True,
                                text=True, timeout=TIMEOUT)
        return result.returncode, result.stdout + result.stderr


class FormatChoiceTest(RealDownloaderCase):
    @classmethod
    def make_media(cls, directory):
        cls.hls = media_fixtures.make_hls_master(directory)
        cls.mixed = media_fixtures.make_dash(directory, "mixed", video=("vp9", "h264"), audio=("opus", "aac"))
        cls.vp9 = media_fixtures.make_dash(directory, "vp9", video=("vp9",), audio=("opus",), size="640x360")
        media_fixtures.make_clip(os.path.join(directory, "vp8.webm"))

    def download(self, path, quality, mode="video"):
        """The finished file's path and the download's output, after a metadata fetch and a
        download run as the server runs them."""
        url = self.site.url(path)
        status, metadata = self.yt_dlp(*METADATA, *format_arguments("selection", mode, quality, "yt-dlp"), "--", url)
        self.assertEqual(status, 0, metadata)
        metadata_file = os.path.join(self.work, "metadata.json")
        with open(metadata_file, "w") as out:
            out.write(metadata)

        arguments = format_arguments("download", mode, quality, "yt-dlp", metadata_file)
        status, log = self.yt_dlp(*DOWNLOAD, *arguments, "-o", "download/id.%(ext)s", "--", url)
        self.assertEqual(status, 0, log)
        extension = "mp4" if mode == "video" else "mp3"
        self.assertEqual(os.listdir(os.path.join(self.work, "download")), ["id." + extension], log)
        return os.path.join(self.work, "download", "id." + extension), log

    def test_quality_picks_the_rendition_and_nothing_is_re_encoded(self):
        # No rendition is as low as 144 lines: the lowest there is comes instead.
        for quality, height in (("best", 720), ("1080", 720), ("360", 360), ("480", 360), ("144", 360)):
            with self.subTest(quality=quality):
                path, log = self.download(self.hls, quality)
                self.assertEqual(probe(path), {"container": MP4, "video": "h264", "profile": H264_PROFILE,
                                               "height": height, "audio": "aac", "kinds": ["audio", "video"]})
                self.assertNotIn(RE_ENCODED, log)
                os.remove(path)

    def test_h264_and_aac_win_over_vp9_and_opus_of_the_same_height(self):
        path, log = self.download(self.mixed, "best")
        info = probe(path)
        self.assertEqual((info["video"], info["profile"], info["height"], info["audio"]),
                         ("h264", H264_PROFILE, 720, "aac"))
        self.assertIn("[Merger] Merging formats into", log)
        self.assertNotIn(RE_ENCODED, log)

    def test_vp9_and_opus_are_merged_into_a_playable_mp4_as_they_are(self):
        path, log = self.download(self.vp9, "720")
        info = probe(path)
        self.assertEqual((info["container"], info["video"], info["height"], info["audio"]), (MP4, "vp9", 360, "opus"))
        self.assertTrue(media_fixtures.decodes(path))
        self.assertNotIn(RE_ENCODED, log)

    def test_streams_that_mp4_does_not_hold_are_re_encoded(self):
        path, log = self.download("vp8.webm", "best")
        info = probe(path)
        self.assertEqual((info["container"], info["video"], info["audio"]), (MP4, "h264", "aac"))
        self.assertNotEqual(info["profile"], H264_PROFILE)
        self.assertTrue(media_fixtures.decodes(path))
        self.assertIn(RE_ENCODED, log)

    def test_audio_is_mp3(self):
        path, _ = self.download(self.mixed, "360", mode="audio")
        self.assertEqual(probe(path)["kinds"], ["audio"])
        self.assertEqual(probe(path)["audio"], "mp3")


class TwoVideoPageTest(RealDownloaderCase):
    """What queuing each video of a playlist, and refusing a playlist address otherwise, can
    rely on."""

    @classmethod
    def make_media(cls, directory):
        cls.page, cls.clips = media_fixtures.make_two_video_page(directory)

    def single_json(self, *arguments):
        status, output = self.yt_dlp("--skip-download", "--no-warnings", "--socket-timeout", "5", "-J",
                                     "--flat-playlist", *arguments)
        self.assertEqual(status, 0, output)
        return json.loads(output)

    def test_a_page_with_two_videos_is_a_playlist_even_without_playlists(self):
        page = self.site.url(self.page)
        document = self.single_json("--no-playlist", "--", page)
        self.assertEqual(document["_type"], "playlist")
        # Both videos name the page as theirs: one of them is reached by its place on it.
        self.assertEqual([(entry["title"], entry["webpage_url"], entry["playlist_index"])
                          for entry in document["entries"]],
                         [("Two clips (1)", page, 1), ("Two clips (2)", page, 2)])

        video = self.single_json("--no-playlist", "--", self.site.url(self.clips[0]))
        self.assertEqual(video.get("_type", "video"), "video")

    def test_one_video_of_the_page_is_downloaded_by_its_place(self):
        status, log = self.yt_dlp(*DOWNLOAD, "--playlist-items", "2", "-o", "id.%(ext)s", "--", self.site.url(self.page))
        self.assertEqual(status, 0, log)
        with open(os.path.join(self.work, "id.mp4"), "rb") as got, \
                open(os.path.join(self.site.directory, self.clips[1]), "rb") as second:
            self.assertEqual(got.read(), second.read())


if __name__ == "__main__":
    unittest.main()
