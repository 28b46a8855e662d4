"""The download and cache commands and the file download endpoint, driven over HTTP with
the fake youtube-dl of tests/support first on the search path."""

import json
import os
import time
import unittest
import urllib.parse

from pelko_harness import FAKE_DOWNLOADER_DIR, PelkoServer, SharedServerTest

WRONG_MODE = "Parameter 'mode' is of wrong value. Should be either 'video' or 'audio'."
WRONG_AUDIO_FORMAT = "Parameter 'audio_format' is of wrong value. Should be one of 'mp3', 'm4a', 'opus' or 'flac'."
NOT_READY = {"status": "ERROR", "description": "Bad request", "message": "File download not ready!"}
INVALID_ID = {"status": "ERROR", "description": "Bad request", "message": "Invalid pelko id!"}
OK_WAIT = {"status": "OK_WAIT",
           "message": "Download cache cannot be cleared right now because there are active downloads, "
                      "but will be cleared as soon as those have finished!"}


def wrong_type(name, actual, wanted):
    return ('Mandatory value "%s" is of wrong type (%s)\nShould be of type %s! '
            "(Integers can be casted to floats)" % (name, actual, wanted))


def video_url(**switches):
    """An address whose download the fake downloader shapes by `switches` (fake_title=...)."""
    return "https://videos.example/watch?" + urllib.parse.urlencode(switches)


def index_record(pelko_id, title, mode, queued_timestamp):
    """A cache index record as an earlier run of the server wrote it."""
    return {"title": title, "description": "", "uploader": "Earlier Uploader", "duration": 10,
            "pelko_id": pelko_id, "webpage_url": "https://videos.example/" + pelko_id, "thumbnail_url": "",
            "download_progress": 100, "downloaded_filename": "dlcache/download/%s.%s" % (
                pelko_id, "mp3" if mode == "audio" else "mp4"),
            "download_url": "/download/" + pelko_id, "queued_timestamp": queued_timestamp, "mode": mode,
            "status": "finished"}


def queue(server, url, mode="audio"):
    reply = server.command("queue_download", video_url=url, mode=mode)
    assert reply.status == 200, reply.body
    return reply.json()["pelko_id"]


def ids_of(reply):
    return [entry["pelko_id"] for entry in reply.json()["cache"]]


class ValidationTest(SharedServerTest):
    server_options = {"extra_path": [FAKE_DOWNLOADER_DIR]}

    def test_parameters_are_checked_in_order_and_nothing_is_queued(self):
        url = video_url()
        cases = [
            ("queue_download", {}, "Missing mandatory value 'video_url'"),
            ("queue_download", {"mode": "sideways"}, "Missing mandatory value 'video_url'"),
            ("queue_download", {"video_url": 5, "mode": "audio"}, wrong_type("video_url", "INT", "STRING")),
            ("queue_download", {"video_url": url}, "Missing mandatory value 'mode'"),
            ("queue_download", {"video_url": url, "mode": ["audio"]}, wrong_type("mode", "ARRAY", "STRING")),
            ("queue_download", {"video_url": url, "mode": "Audio"}, WRONG_MODE),
            ("queue_download", {"video_url": url, "mode": ""}, WRONG_MODE),
            ("queue_download", {"video_url": url, "mode": "audio", "audio_format": "MP3"}, WRONG_AUDIO_FORMAT),
            ("queue_download", {"video_url": url, "mode": "audio", "audio_format": "ogg"}, WRONG_AUDIO_FORMAT),
            ("queue_download", {"video_url": url, "mode": "audio", "audio_format": 3},
             wrong_type("audio_format", "INT", "STRING")),
            ("remove_download_entry", {}, "Missing mandatory value 'id'"),
            ("remove_download_entry", {"id": 17}, wrong_type("id", "INT", "STRING")),
            ("remove_download_entry", {"id": "neverqueued"}, "Failed."),
        ]
        for command, parameters, message in cases:
            with self.subTest(command=command, parameters=parameters):
                reply = self.server.command(command, **parameters)
                self.assertEqual(reply.status, 400)
                self.assertEqual(reply.json(), {"status": "ERROR", "description": "Bad request", "message": message})

        self.assertNotIn("Queued video", self.server.output)
        self.assertTrue(self.server.wait_for_output(
            "[RestQueryHandler] @127.0.0.1: Removing download id neverqueued..."))
        self.assertEqual(self.server.command("fetch_alltime_cache").json(),
                         {"status": "OK", "cache_size": 0, "cache": []})


class QueueTest(unittest.TestCase):
    def test_first_download_after_start_and_the_queue_behind_it(self):
        with PelkoServer(extra_path=[FAKE_DOWNLOADER_DIR], config={"downloader": {"num_threads": 1}}) as server:
            first_url = video_url(fake_title="First", fake_hold=server.path("release"))
            reply = server.command("queue_download", video_url=first_url, mode="audio")
            self.assertEqual(reply.status, 200, reply.body)
            body = reply.json()
            first = body["pelko_id"]
            self.assertEqual(sorted(body), ["cache", "cache_size", "message", "pelko_id", "queue_position", "status"])
            self.assertEqual((body["status"], body["message"]), ("OK", "Download queued!"))
            self.assertEqual((body["queue_position"], body["cache_size"]), (1, 1))
            entry = body["cache"][0]
            self.assertEqual((entry["pelko_id"], entry["status"], entry["mode"], entry["title"]),
                             (first, "queued", "audio", "First"))
            self.assertEqual((entry["download_url"], entry["download_progress"]), ("/download/" + first, 0))
            self.assertEqual(entry["webpage_url"], first_url)
            # Audio downloads are announced with the same words as videos.
            self.assertTrue(server.wait_for_output('[RestQueryHandler] @127.0.0.1: Queued video "%s"...' % first_url))

            server.wait_for_download(first, "downloading")
            self.assertEqual(server.request("/download/" + first).json(), NOT_READY)

            reply = server.command("queue_download", video_url=video_url(fake_title="Second"), mode="video")
            second = reply.json()["pelko_id"]
            self.assertEqual((reply.json()["queue_position"], reply.json()["cache_size"]), (1, 2))
            self.assertEqual(ids_of(reply), [second, first])
            waiting = server.request("/download/" + second)
            self.assertEqual((waiting.status, waiting.json()), (400, NOT_READY))

            reply = server.command("clear_download_cache")
            self.assertEqual((reply.status, reply.json()), (200, OK_WAIT))
            self.assertEqual(server.command("fetch_alltime_cache").json()["cache_size"], 2)

            with open(server.path("release"), "w"):
                pass
            deadline = time.monotonic() + 20
            while server.command("fetch_alltime_cache").json()["cache_size"] != 0:
                self.assertLess(time.monotonic(), deadline, "the deferred clear never ran")
                time.sleep(0.1)
            self.assertEqual(os.listdir(server.path("dlcache/download")), [])
            self.assertEqual(server.request("/download/" + first).json(), INVALID_ID)

            reply = server.command("clear_download_cache")
            self.assertEqual(reply.json(), {"status": "OK", "message": "Download cache has been cleared!"})

    def test_failed_downloads_cannot_be_fetched(self):
        with PelkoServer(extra_path=[FAKE_DOWNLOADER_DIR]) as server:
            reply = server.command("queue_download", video_url=video_url(fake_fail="metadata"), mode="video")
            no_metadata = reply.json()["pelko_id"]
            self.assertEqual(reply.json()["cache"][0]["status"], "failed")
            broken = queue(server, video_url(fake_fail="download"))
            self.assertEqual(server.wait_for_download(broken, "failed")["download_progress"], -1)
            for pelko_id in (no_metadata, broken):
                reply = server.request("/download/" + pelko_id)
                self.assertEqual((reply.status, reply.json()), (400, NOT_READY))


class ListingTest(unittest.TestCase):
    def test_session_and_alltime_listings_before_and_after_a_restart(self):
        now = int(time.time())
        files = {
            "dlcache/index.json": json.dumps([index_record("older", "Older song", "audio", now - 7200),
                                              index_record("old", "Old clip", "video", now - 3600)]),
            "dlcache/download/older.mp3": b"older audio",
        }
        with PelkoServer(extra_path=[FAKE_DOWNLOADER_DIR], files=files) as server:
            session = [queue(server, video_url(fake_title="Session %d" % n)) for n in range(3)]
            newest_first = session[::-1]
            earlier = ["old", "older"]

            cases = [({}, newest_first), ({"max_age": -5}, newest_first), ({"max_age": "abc"}, newest_first),
                     ({"max_age": 10 ** 9}, newest_first), ({"max_num": 2}, newest_first[:2]),
                     ({"max_num": 0}, []), ({"max_num": -1}, newest_first), ({"max_num": "x"}, newest_first)]
            for parameters, expected in cases:
                with self.subTest(parameters=parameters):
                    reply = server.command("fetch_session_cache", **parameters)
                    self.assertEqual(reply.status, 200)
                    self.assertEqual(ids_of(reply), expected)
                    self.assertEqual(reply.json()["cache_size"], len(expected))

            alltime = server.command("fetch_alltime_cache", max_num=1, max_age=0)
            self.assertEqual(ids_of(alltime), newest_first + earlier)
            self.assertEqual(alltime.json()["cache_size"], 5)

            older = server.request("/download/older")
            self.assertEqual((older.status, older.body), (200, b"older audio"))
            self.assertEqual(older.header("Content-Disposition"),
                             "attachment; filename=\"Older song.mp3\"; filename*=UTF-8''Older%20song.mp3")
            vanished = server.request("/download/old")
            self.assertEqual(vanished.status, 404)
            self.assertEqual(vanished.header("content-type"), "application/json")
            self.assertEqual(vanished.json(), {"status": "ERROR", "description": "Not found",
                                               "message": "The downloaded file is no longer in the cache!"})

            last_queued = max(server.wait_for_download(pelko_id, "finished")["queued_timestamp"]
                              for pelko_id in session)
            # Runs are told apart by whole seconds: the next one must start in a later second.
            time.sleep(max(0.0, last_queued + 1 - time.time()))
            server.restart()

            self.assertEqual(server.command("fetch_session_cache").json()["cache_size"], 0)
            cache = server.command("fetch_alltime_cache").json()["cache"]
            self.assertEqual([entry["pelko_id"] for entry in cache], newest_first + earlier)
            self.assertEqual({(entry["status"], entry["download_progress"]) for entry in cache}, {("finished", 100)})
            reply = server.request("/download/" + session[0])
            self.assertEqual(reply.status, 200)
            self.assertEqual(reply.header("Content-Disposition"),
                             "attachment; filename=\"Session 0.mp3\"; filename*=UTF-8''Session%200.mp3")

            reply = server.command("remove_download_entry", id=session[0])
            self.assertEqual((reply.status, reply.json()), (200, {"status": "OK", "message": "Successfully removed."}))
            self.assertFalse(os.path.exists(server.path("dlcache/download/%s.mp3" % session[0])))
            self.assertEqual(server.request("/download/" + session[0]).json(), INVALID_ID)
            self.assertEqual(server.command("remove_download_entry", id=session[0]).json()["message"], "Failed.")


class DownloadEndpointTest(SharedServerTest):
    server_options = {"extra_path": [FAKE_DOWNLOADER_DIR], "config": {"access": {"only_allow_localhost": True}}}

    def finished(self, title, mode):
        url = video_url(fake_title=title)
        pelko_id = queue(self.server, url, mode)
        self.server.wait_for_download(pelko_id, "finished")
        return pelko_id, url

    def test_a_hostile_title_cannot_break_the_headers(self):
        title = 'a "b"\r\nX-Injected: 1\\ \u00dcn\u00efc\u00f6d\u00e9 \u65e5\u672c \U0001F600'
        pelko_id, url = self.finished(title, "audio")
        reply = self.server.request("/download/" + pelko_id)
        self.assertEqual(reply.status, 200)
        self.assertEqual(reply.body, ("fake media of %s\n" % url).encode())
        self.assertEqual(reply.header("Content-Disposition"),
                         "attachment; filename=\"a _b___X-Injected: 1_ _n_c_d_ __ _.mp3\"; filename*=UTF-8''"
                         "a%20%22b%22%0D%0AX-Injected%3A%201%5C%20%C3%9Cn%C3%AFc%C3%B6d%C3%A9%20%E6%97%A5%E6%9C%AC"
                         "%20%F0%9F%98%80.mp3")
        self.assertIsNone(reply.header("X-Injected"))
        self.assertIsNone(reply.header("Access-Control-Allow-Origin"))
        for name, value in [("Content-Type", "application/octet-stream"),
                            ("Pragma", "public"), ("Cache-Control", "must-revalidate, post-check=0, pre-check=0"),
                            ("Content-Length", str(len(reply.body)))]:
            self.assertEqual(reply.header(name), value, name)

    def test_an_overlong_title_is_cut_before_the_extension(self):
        pelko_id, _ = self.finished("\u65e5" * 4000, "audio")
        reply = self.server.request("/download/" + pelko_id)
        self.assertEqual(reply.status, 200)
        self.assertEqual(reply.header("Content-Disposition"),
                         "attachment; filename=\"%s.mp3\"; filename*=UTF-8''%s.mp3" % ("_" * 83, "%E6%97%A5" * 83))

    def test_each_audio_format_is_its_own_file_with_its_extension_and_type(self):
        # MP3 keeps the type it was always sent with.
        formats = {"mp3": "application/octet-stream", "m4a": "audio/mp4", "opus": "audio/ogg", "flac": "audio/flac"}
        for audio_format, content_type in formats.items():
            with self.subTest(audio_format=audio_format):
                reply = self.server.command("queue_download", video_url=video_url(fake_title="Song"), mode="audio",
                                            audio_format=audio_format)
                self.assertEqual(reply.status, 200, reply.body)
                pelko_id = reply.json()["pelko_id"]
                entry = self.server.wait_for_download(pelko_id, "finished")
                self.assertEqual((entry["audio_format"], entry["downloaded_filename"]),
                                 (audio_format, "dlcache/download/%s.%s" % (pelko_id, audio_format)))
                fetched = self.server.request("/download/" + pelko_id)
                self.assertEqual(fetched.status, 200)
                self.assertEqual(fetched.header("Content-Type"), content_type)
                self.assertEqual(fetched.header("Content-Disposition"),
                                 "attachment; filename=\"Song.{0}\"; filename*=UTF-8''Song.{0}".format(audio_format))

    def test_video_downloads_are_offered_as_mp4(self):
        pelko_id, _ = self.finished("My Clip", "video")
        reply = self.server.request("/download/%s?x=1" % pelko_id)
        self.assertEqual(reply.status, 200)
        self.assertEqual(reply.header("Content-Disposition"),
                         "attachment; filename=\"My Clip.mp4\"; filename*=UTF-8''My%20Clip.mp4")

    def test_paths_that_name_no_download(self):
        reply = self.server.request("/download")
        self.assertEqual(reply.status, 404)
        self.assertEqual(reply.json()["description"], "Not found")
        self.assertEqual(reply.json()["message"],
                         'The path "/download" names no download: ask for /download/<pelko id>.')
        for path in ["/download/", "/download/nothing", "/download/../index.json"]:
            with self.subTest(path=path):
                reply = self.server.request(path)
                self.assertEqual((reply.status, reply.json()), (400, INVALID_ID))

    def test_refused_clients_get_no_file_and_queue_nothing(self):
        pelko_id, _ = self.finished("Private", "audio")
        refusal = {"status": "ERROR", "description": "Unauthorized", "message": "Only localhost allowed!"}
        reply = self.server.request("/download/" + pelko_id, source="127.0.0.2")
        self.assertEqual((reply.status, reply.json()), (401, refusal))
        reply = self.server.command("queue_download", source="127.0.0.2", video_url=video_url(), mode="audio")
        self.assertEqual((reply.status, reply.json()), (401, refusal))
        self.assertNotIn("@127.0.0.2", self.server.output)


if __name__ == "__main__":
    unittest.main()
