""""quality", "playlist" and "max_items" of queue_download, driven over HTTP with the fake
youtube-dl of tests/support first on the search path."""

import json
import os
import time
import unittest
import urllib.parse

from pelko_harness import FAKE_DOWNLOADER_DIR, PelkoServer, SharedServerTest

QUALITIES = "'best', '2160', '1440', '1080', '720', '480', '360', '240' or '144'"


def wrong_type(name, actual, wanted):
    return ('Mandatory value "%s" is of wrong type (%s)\nShould be of type %s! '
            "(Integers can be casted to floats)" % (name, actual, wanted))


def video_url(**switches):
    return "https://videos.example/watch?" + urllib.parse.urlencode(switches)


def calls(server):
    """The fake downloader's argument vectors, program first."""
    with open(server.path("calls.log")) as log:
        return [json.loads(line) for line in log]


class OptionsTest(SharedServerTest):
    server_options = {"extra_path": [FAKE_DOWNLOADER_DIR], "config": {"downloader": {"num_threads": 0}},
                      "environment": {"PELKO_FAKE_DOWNLOADER_LOG": "calls.log"}}

    def test_wrong_options_are_refused_and_nothing_is_queued(self):
        url = video_url()
        queued = self.server.command("fetch_session_cache").json()["cache_size"]
        cases = [
            ({"quality": "720p"}, "Parameter 'quality' is of wrong value. Should be one of %s." % QUALITIES),
            ({"quality": "Best"}, "Parameter 'quality' is of wrong value. Should be one of %s." % QUALITIES),
            ({"quality": 720}, wrong_type("quality", "INT", "STRING")),
            ({"playlist": "true"}, wrong_type("playlist", "STRING", "BOOL")),
            ({"playlist": True, "max_items": 0},
             "Parameter 'max_items' is of wrong value. Should be a whole number from 1 to 10000."),
            ({"playlist": True, "max_items": 10001},
             "Parameter 'max_items' is of wrong value. Should be a whole number from 1 to 10000."),
            ({"playlist": True, "max_items": 2.5},
             "Parameter 'max_items' is of wrong value. Should be a whole number from 1 to 10000."),
            ({"playlist": True, "max_items": "5"}, wrong_type("max_items", "STRING", "INT")),
        ]
        for options, message in cases:
            with self.subTest(options=options):
                reply = self.server.command("queue_download", video_url=url, mode="video", **options)
                self.assertEqual(reply.status, 400)
                self.assertEqual(reply.json(), {"status": "ERROR", "description": "Bad request", "message": message})
        self.assertEqual(self.server.command("fetch_session_cache").json()["cache_size"], queued)

    def test_the_entry_keeps_its_quality_and_audio_takes_one_too(self):
        for mode, options, quality in (("video", {"quality": "360"}, "360"), ("video", {}, "best"),
                                       ("audio", {"quality": "144"}, "144")):
            with self.subTest(mode=mode, options=options):
                reply = self.server.command("queue_download", video_url=video_url(), mode=mode, **options)
                self.assertEqual(reply.status, 200, reply.body)
                entry = reply.json()["cache"][0]
                self.assertEqual((entry["pelko_id"], entry["quality"]), (reply.json()["pelko_id"], quality))
                selection = calls(self.server)[-1]
                # The height limit reaches the downloader for video only.
                self.assertEqual("-f" in selection, mode == "video" and quality != "best")


class PlaylistTest(unittest.TestCase):
    def setUp(self):
        self.server = PelkoServer(extra_path=[FAKE_DOWNLOADER_DIR],
                                  environment={"PELKO_FAKE_DOWNLOADER_LOG": "calls.log"}).start()
        self.addCleanup(self.server.close)

    def session(self):
        return self.server.command("fetch_session_cache").json()["cache"]

    def test_every_video_is_queued_in_its_order_a_second_apart_and_finishes(self):
        # Each video's details take a second to read; the reply does not wait for them.
        url = video_url(fake_playlist=3, fake_metadata_seconds=1)
        started = time.monotonic()
        reply = self.server.command("queue_download", video_url=url, mode="video", playlist=True, quality="480")
        self.assertEqual(reply.status, 200, reply.body)
        body = reply.json()
        self.assertEqual(set(body), {"status", "message", "pelko_id", "playlist_size"})
        self.assertEqual((body["status"], body["message"], body["playlist_size"]), ("OK", "Playlist queued!", 3))
        self.assertLess(len(self.session()), 3)
        # Others are answered while the videos join.
        self.assertEqual(self.server.command("get_os_name").status, 200)

        deadline = started + 60
        while len(self.session()) < 3 or any(entry["status"] != "finished" for entry in self.session()):
            self.assertLess(time.monotonic(), deadline, self.server.output)
            time.sleep(0.2)
        oldest_first = sorted(self.session(), key=lambda entry: entry["queued_timestamp"])
        self.assertEqual(oldest_first[0]["pelko_id"], body["pelko_id"])
        self.assertEqual([entry["title"] for entry in oldest_first], ["Fake video 1", "Fake video 2", "Fake video 3"])
        self.assertEqual({entry["quality"] for entry in oldest_first}, {"480"})
        times = [entry["queued_timestamp"] for entry in oldest_first]
        self.assertTrue(all(later > earlier for earlier, later in zip(times, times[1:])), times)
        self.assertTrue(self.server.wait_for_output('Queued playlist "%s" with 3 videos...' % url))

    def test_max_items_limits_the_listing(self):
        reply = self.server.command("queue_download", video_url=video_url(fake_playlist=5), mode="audio",
                                    playlist=True, max_items=2)
        self.assertEqual(reply.json()["playlist_size"], 2)
        listing = next(call for call in calls(self.server) if "--yes-playlist" in call)
        self.assertEqual(listing[listing.index("--playlist-end") + 1], "2")

    def test_a_playlist_address_without_playlist_fails_saying_so(self):
        reply = self.server.command("queue_download", video_url=video_url(fake_playlist=2), mode="video")
        self.assertEqual(reply.status, 200)
        entry = self.server.wait_for_download(reply.json()["pelko_id"], "failed")
        self.assertEqual(entry["error_message"], "The address is a playlist, not a single video: queue it as a "
                                                 "playlist to download its videos.")

    def test_a_playlist_that_cannot_be_read_queues_nothing_and_says_why(self):
        url = video_url(fake_playlist=2, fake_fail="metadata")
        reply = self.server.command("queue_download", video_url=url, mode="video", playlist=True)
        self.assertEqual(reply.status, 400)
        self.assertEqual(reply.json()["message"],
                         "The playlist could not be queued: ERROR: fake metadata failure for " + url)
        self.assertEqual(self.session(), [])


if __name__ == "__main__":
    unittest.main()
