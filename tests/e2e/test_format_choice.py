"""The real yt-dlp and ffmpeg with the command lines that the server runs (printed by the test
tool PELKO_FORMAT_ARGUMENTS from Downloader::DownloaderCommand), against media served on
127.0.0.1: the metadata fetch, then the download with the conversion for the streams that
metadata names, and with SponsorBlock's segments marked or cut out. Also what yt-dlp makes of a
page with two videos: a playlist, listed and reached by place."""

import hashlib
import json
import os
import shutil
import subprocess
import tempfile
import unittest
import urllib.parse

import media_fixtures
from media_fixtures import (H264_PROFILE, MediaSite, contents, dash_stream, make_clip, make_sponsorblock_answer,
                            offline_variables, probe, sound_packets, stream_packets)

TIMEOUT = 300
MP4 = "mov,mp4,m4a,3gp,3g2,mj2"
RE_ENCODED = "[VideoConvertor] Converting video"
AUDIO_FORMATS = ("mp3", "m4a", "opus", "flac")


def command(*arguments):
    """The server's command line for the real yt-dlp: metadata, playlist or download (see the tool)."""
    result = subprocess.run([os.environ["PELKO_FORMAT_ARGUMENTS"], arguments[0], "yt-dlp", *arguments[1:]],
                            capture_output=True, text=True, check=True, timeout=TIMEOUT)
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

    def run_command(self, arguments):
        """The exit status and the output of the command line, error output after standard output."""
        result = subprocess.run(arguments, cwd=self.work, env=self.environment, capture_output=True, text=True,
                                timeout=TIMEOUT)
        return result.returncode, result.stdout + result.stderr

    def metadata(self, url, mode="video", quality="best", place=0):
        """The metadata document as the server's fetch gets it, also saved as metadata.json."""
        result = subprocess.run(command("metadata", mode, quality, str(place), url), cwd=self.work,
                                env=self.environment, capture_output=True, text=True, timeout=TIMEOUT)
        self.assertEqual(result.returncode, 0, result.stderr)
        with open(os.path.join(self.work, "metadata.json"), "w") as out:
            out.write(result.stdout)
        return json.loads(result.stdout)

    def download(self, url, mode="video", quality="best", place=0, extras=(), loaded=None):
        """The downloaded file's path and the download's output, after the metadata fetch. For
        audio, `quality` may name the audio format instead (see the tool); `extras` are the
        file's extras for the tool; `loaded`, when given, makes of the metadata document the
        info document that yt-dlp then takes instead of the page (--load-info-json)."""
        document = self.metadata(url, mode, quality, place)
        arguments = command("download", mode, quality, str(place), os.path.join(self.work, "metadata.json"),
                            "download/id.%(ext)s", *extras, url)
        if loaded is not None:
            with open(os.path.join(self.work, "loaded.json"), "w") as out:
                json.dump(loaded(document), out)
            arguments[1:1] = ["--load-info-json", os.path.join(self.work, "loaded.json")]
        status, log = self.run_command(arguments)
        self.assertEqual(status, 0, log)
        extension = "mp4" if mode == "video" else quality if quality in AUDIO_FORMATS else "mp3"
        self.assertEqual(os.listdir(os.path.join(self.work, "download")), ["id." + extension], log)
        return os.path.join(self.work, "download", "id." + extension), log


class FormatChoiceTest(RealDownloaderCase):
    @classmethod
    def make_media(cls, directory):
        cls.hls = media_fixtures.make_hls_master(directory)
        cls.mixed = media_fixtures.make_dash(directory, "mixed", video=("vp9", "h264"), audio=("opus", "aac"))
        cls.vp9 = media_fixtures.make_dash(directory, "vp9", video=("vp9",), audio=("opus",), size="640x360")
        media_fixtures.make_clip(os.path.join(directory, "vp8.webm"))

    def download_of(self, path, quality, mode="video"):
        return self.download(self.site.url(path), mode, quality)

    def test_quality_picks_the_rendition_and_nothing_is_re_encoded(self):
        # No rendition is as low as 144 lines: the lowest there is comes instead.
        for quality, height in (("best", 720), ("1080", 720), ("360", 360), ("480", 360), ("144", 360)):
            with self.subTest(quality=quality):
                path, log = self.download_of(self.hls, quality)
                self.assertEqual(probe(path), {"container": MP4, "video": "h264", "profile": H264_PROFILE,
                                               "height": height, "audio": "aac", "kinds": ["audio", "video"]})
                self.assertNotIn(RE_ENCODED, log)
                os.remove(path)

    def test_h264_and_aac_win_over_vp9_and_opus_of_the_same_height(self):
        path, log = self.download_of(self.mixed, "best")
        info = probe(path)
        self.assertEqual((info["video"], info["profile"], info["height"], info["audio"]),
                         ("h264", H264_PROFILE, 720, "aac"))
        self.assertIn("[Merger] Merging formats into", log)
        self.assertNotIn(RE_ENCODED, log)

    def test_vp9_and_opus_are_merged_into_a_playable_mp4_as_they_are(self):
        path, log = self.download_of(self.vp9, "720")
        info = probe(path)
        self.assertEqual((info["container"], info["video"], info["height"], info["audio"]), (MP4, "vp9", 360, "opus"))
        self.assertTrue(media_fixtures.decodes(path))
        self.assertNotIn(RE_ENCODED, log)

    def test_streams_that_mp4_does_not_hold_are_re_encoded(self):
        path, log = self.download_of("vp8.webm", "best")
        info = probe(path)
        self.assertEqual((info["container"], info["video"], info["audio"]), (MP4, "h264", "aac"))
        self.assertNotEqual(info["profile"], H264_PROFILE)
        self.assertTrue(media_fixtures.decodes(path))
        self.assertIn(RE_ENCODED, log)

    def test_audio_is_mp3(self):
        path, _ = self.download_of(self.mixed, "360", mode="audio")
        self.assertEqual(probe(path)["kinds"], ["audio"])
        self.assertEqual(probe(path)["audio"], "mp3")

    def test_m4a_and_opus_keep_the_sound_the_site_offers_in_that_codec(self):
        # The mixed manifest's streams: VP9 and H.264 pictures (0, 1), Opus and AAC sound (2, 3).
        for audio_format, stream, codec, container in (("m4a", 3, "aac", MP4), ("opus", 2, "opus", "ogg")):
            with self.subTest(audio_format=audio_format):
                path, _ = self.download_of(self.mixed, audio_format, mode="audio")
                info = probe(path)
                self.assertEqual((info["container"], info["kinds"], info["audio"]), (container, ["audio"], codec))
                self.assertEqual(sound_packets(path), sound_packets(dash_stream(self.site.directory, "mixed", stream)))
                self.assertAlmostEqual(media_fixtures.duration(path), 2.0, delta=0.1)
                os.remove(path)

    def test_flac_converts_what_the_site_offers(self):
        path, _ = self.download_of(self.vp9, "flac", mode="audio")
        self.assertEqual((probe(path)["container"], probe(path)["kinds"], probe(path)["audio"]), ("flac", ["audio"], "flac"))
        self.assertAlmostEqual(media_fixtures.duration(path), 2.0, delta=0.1)
        self.assertTrue(media_fixtures.decodes(path))


class SponsorBlockTest(RealDownloaderCase):
    """yt-dlp asks SponsorBlock only about its YouTube extractor's videos: the clip's metadata,
    made to look like one of those, is given to yt-dlp with the server's command line, and the
    SponsorBlock server it names is one more file on the site, which the query must reach. Any
    other address goes to the dead proxy: a command line without the local server fails."""

    VIDEO_ID = "pelkoClip01"

    @classmethod
    def make_media(cls, directory):
        # A key frame every two seconds, so that cutting out 2 s to 4 s needs no re-encode.
        make_clip(os.path.join(directory, "clip.mp4"), seconds=6, size="320x180", video="h264", audio="aac")
        cls.api = make_sponsorblock_answer(directory, cls.VIDEO_ID, [(2.0, 4.0, "sponsor")])

    def youtube_video(self, document):
        # No page address: a failed download would otherwise be tried again from the page,
        # without SponsorBlock.
        document = {key: value for key, value in document.items() if key != "webpage_url"}
        return dict(document, id=self.VIDEO_ID, display_id=self.VIDEO_ID, extractor="youtube",
                    extractor_key="Youtube", duration=6.0)

    def test_the_answered_segment_is_marked_as_a_chapter_or_cut_out(self):
        hashed = hashlib.sha256(self.VIDEO_ID.encode("ascii")).hexdigest()[:4]
        for mode, chapters, length in (("mark", ["clip", "[SponsorBlock]: Sponsor", "clip"], 6.0),
                                       ("remove", ["clip"], 4.0)):
            with self.subTest(mode=mode):
                del self.site.requested[:]
                path, log = self.download(self.site.url("clip.mp4"), extras=("", mode, "sponsor", self.site.url(self.api)),
                                          loaded=self.youtube_video)
                queries = [urllib.parse.urlsplit(asked) for asked in self.site.requested
                           if asked.startswith("/" + self.api + "/")]
                self.assertEqual([query.path for query in queries], ["/%s/api/skipSegments/%s" % (self.api, hashed)], log)
                asked = urllib.parse.parse_qs(queries[0].query)
                self.assertEqual((asked["service"], asked["categories"]), (["YouTube"], ['["sponsor"]']))
                self.assertEqual(contents(path)["chapters"], chapters)
                self.assertAlmostEqual(media_fixtures.duration(path), length, delta=0.1)
                self.assertNotIn(RE_ENCODED, log)
                os.remove(path)


class TwoVideoPageTest(RealDownloaderCase):
    """What queuing each video of a playlist, and refusing a playlist address otherwise, rely on."""

    @classmethod
    def make_media(cls, directory):
        cls.page, cls.clips = media_fixtures.make_two_video_page(directory)

    def test_a_page_with_two_videos_is_a_playlist_even_as_one_video(self):
        page = self.site.url(self.page)
        self.assertEqual(self.metadata(page)["_type"], "playlist")
        self.assertEqual(self.metadata(self.site.url(self.clips[0])).get("_type", "video"), "video")

    def test_the_listing_names_both_videos_by_their_place_on_the_page(self):
        page = self.site.url(self.page)
        status, output = self.run_command(command("playlist", "200", page))
        self.assertEqual(status, 0, output)
        listing = json.loads(output)
        self.assertEqual((listing["_type"], listing["webpage_url"]), ("playlist", page))
        self.assertEqual([(entry.get("_type"), entry["webpage_url"], entry["playlist_index"])
                          for entry in listing["entries"]], [(None, page, 1), (None, page, 2)])

        status, output = self.run_command(command("playlist", "1", page))
        self.assertEqual(len(json.loads(output)["entries"]), 1)

    def test_one_video_of_the_page_is_fetched_and_downloaded_by_its_place(self):
        page = self.site.url(self.page)
        document = self.metadata(page, place=2)
        self.assertEqual([entry["title"] for entry in document["entries"]], ["Two clips (2)"])

        path, log = self.download(page, place=2)
        # The second video's streams as they are; the file gains the video's details as tags.
        self.assertEqual(stream_packets(path, "V", "a"),
                         stream_packets(os.path.join(self.site.directory, self.clips[1]), "V", "a"))


if __name__ == "__main__":
    unittest.main()
