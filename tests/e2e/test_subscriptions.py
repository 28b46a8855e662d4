"""Following channels and playlists: the subscription commands over HTTP, with the fake
youtube-dl of tests/support listing channels and a local Atom feed standing in for YouTube's."""

import http.server
import json
import os
import threading
import time
import unittest
import urllib.parse

from pelko_harness import FAKE_DOWNLOADER_DIR, PelkoServer

YOUTUBE_CHANNEL = "UCabcdefghijklmnopqrstuv"


def channel_url(count, **switches):
    return "https://videos.example/channel?" + urllib.parse.urlencode(dict(switches, fake_channel=count))


def subscription_calls(server):
    """The fake downloader's flat listings, as argument vectors."""
    path = server.path("calls.log")
    if not os.path.exists(path):
        return []
    with open(path) as log:
        return [call for call in map(json.loads, log) if "--flat-playlist" in call and "--yes-playlist" in call]


class FeedServer:
    """Serves one Atom feed on 127.0.0.1 that a test changes as it goes: `videos` (newest first)
    as entries, or the HTTP status `failing` when set. Records the queries it was asked."""

    def __init__(self):
        self.videos = []
        self.failing = None
        self.queries = []
        feed = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                feed.queries.append(urllib.parse.urlsplit(self.path).query)
                if feed.failing:
                    self.send_response(feed.failing)
                    self.end_headers()
                    return
                body = feed.render().encode()
                self.send_response(200)
                self.send_header("Content-Type", "application/atom+xml")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.url = "http://127.0.0.1:%d/feeds/videos.xml" % self.httpd.server_address[1]
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()

    def render(self):
        entries = "".join(
            "<entry><id>yt:video:%s</id><yt:videoId>%s</yt:videoId><title>%s</title>"
            '<link rel="alternate" href="%s"/></entry>' % (vid, vid, title, url) for vid, title, url in self.videos)
        return ('<?xml version="1.0" encoding="UTF-8"?><feed xmlns:yt="http://www.youtube.com/xml/schemas/2015" '
                'xmlns="http://www.w3.org/2005/Atom"><title>Fake channel</title>%s</feed>' % entries)

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


class SubscriptionTest(unittest.TestCase):
    def setUp(self):
        self.feed = FeedServer()
        self.server = PelkoServer(extra_path=[FAKE_DOWNLOADER_DIR],
                                  config={"downloader": {"num_threads": 0},
                                          "subscriptions": {"listing_size": 10, "feed_url": self.feed.url}},
                                  environment={"PELKO_FAKE_DOWNLOADER_LOG": "calls.log"}).start()

    def tearDown(self):
        self.server.close()
        self.feed.close()

    def add(self, url, **options):
        reply = self.server.command("add_subscription", url=url, **options)
        self.assertEqual(reply.status, 200, reply.body)
        return reply.json()

    def check(self, subscription_id):
        reply = self.server.command("check_subscription", id=subscription_id)
        self.assertEqual(reply.status, 200, reply.body)
        return reply.json()

    def call(self, request, **parameters):
        """A command whose parameters may include "name", which command() takes for its own."""
        body = json.dumps(dict(parameters, request=request)).encode()
        return self.server.request("/api", body, headers={"Content-Type": "application/json"})

    def wait_for_entries(self, subscription_id, count, timeout=20):
        """The entries a subscription queued, once there are `count` of them: each joins the
        list once its details are read, in a second of its own."""
        deadline = time.monotonic() + timeout
        while len(self.entries(subscription_id)) < count:
            self.assertLess(time.monotonic(), deadline, "fewer than %d entries queued" % count)
            time.sleep(0.1)
        time.sleep(0.5)
        entries = self.entries(subscription_id)
        self.assertEqual(len(entries), count)
        return entries

    def entries(self, subscription_id=None):
        cache = self.server.command("fetch_alltime_cache").json()["cache"]
        return sorted((entry for entry in cache if subscription_id is None or
                       entry.get("subscription_id") == subscription_id), key=lambda entry: entry["queued_timestamp"])

    def grow(self, name, count):
        with open(self.server.path(name), "w") as added:
            added.write(str(count))

    def test_only_new_videos_are_queued_once_oldest_first_across_checks_and_restarts(self):
        url = channel_url(30, fake_grow=self.server.path("grown"), fake_title="Cooking")
        added = self.add(url, mode="audio")
        subscription = added["subscription"]
        self.assertEqual(added["new_videos"], 0)
        self.assertEqual((subscription["name"], subscription["mode"], subscription["videos_seen"],
                          subscription["videos_queued"], subscription["feed"], subscription["last_error"]),
                         ("Cooking", "audio", 10, 0, False, ""))
        # Nothing of the back catalogue, and the listing was bounded.
        self.assertEqual(self.entries(), [])
        self.assertEqual(subscription_calls(self.server)[0][subscription_calls(self.server)[0].index("--playlist-end") + 1],
                         "10")
        with open(self.server.path("subscriptions/%s.archive" % subscription["id"])) as archive:
            self.assertEqual(archive.read().splitlines(), ["fake v%d" % n for n in range(30, 20, -1)])

        self.grow("grown", 3)
        checked = self.check(subscription["id"])
        self.assertEqual(checked["new_videos"], 3)
        entries = self.wait_for_entries(subscription["id"], 3)
        self.assertEqual([entry["title"] for entry in entries], ["Fake video 31", "Fake video 32", "Fake video 33"])
        self.assertTrue(all(entry["subscription_name"] == "Cooking" and entry["mode"] == "audio" for entry in entries))
        self.assertEqual(self.check(subscription["id"])["new_videos"], 0)

        self.server.restart()
        self.assertEqual(self.check(subscription["id"])["new_videos"], 0)
        self.grow("grown", 5)
        self.assertEqual(self.check(subscription["id"])["new_videos"], 2)
        listed = self.server.command("fetch_subscriptions").json()["subscriptions"]
        self.assertEqual([(item["id"], item["videos_queued"], item["videos_seen"]) for item in listed],
                         [(subscription["id"], 5, 15)])
        self.wait_for_entries(subscription["id"], 5)

    def test_a_backlog_queues_the_newest_that_exist_now(self):
        subscription = self.add(channel_url(8), backlog=3, quality="720")["subscription"]
        entries = self.wait_for_entries(subscription["id"], 3)
        self.assertEqual([(entry["title"], entry["quality"]) for entry in entries],
                         [("Fake video 6", "720"), ("Fake video 7", "720"), ("Fake video 8", "720")])
        self.assertEqual((subscription["videos_seen"], subscription["videos_queued"]), (8, 3))

    def test_refusals(self):
        followed = self.add(channel_url(5, fake_title="Followed"))["subscription"]
        message = lambda text: {"status": "ERROR", "description": "Bad request", "message": text}
        cases = [
            ({}, message("Missing mandatory value 'url'")),
            ({"url": ""}, message("Parameter 'url' is empty. Should be the address of a channel or playlist.")),
            ({"url": channel_url(5), "mode": "both"},
             message("Parameter 'mode' is of wrong value. Should be either 'video' or 'audio'.")),
            ({"url": channel_url(5), "audio_format": "wav"},
             message("Parameter 'audio_format' is of wrong value. Should be one of 'mp3', 'm4a', 'opus' or 'flac'.")),
            ({"url": channel_url(5), "check_interval": 9},
             message("Parameter 'check_interval' is of wrong value. Should be a whole number from 10 to 10080.")),
            ({"url": channel_url(5), "check_interval": 10081},
             message("Parameter 'check_interval' is of wrong value. Should be a whole number from 10 to 10080.")),
            ({"url": channel_url(5), "backlog": 501},
             message("Parameter 'backlog' is of wrong value. Should be a whole number from 0 to 500.")),
            ({"url": channel_url(5), "keep_last": -1},
             message("Parameter 'keep_last' is of wrong value. Should be a whole number from 0 to 100000.")),
            ({"url": "https://videos.example/watch?v=1"},
             message("The address is a single video, not a channel or playlist: queue it as a download instead.")),
            ({"url": channel_url(5, fake_fail="metadata")},
             message("The address could not be listed: ERROR: fake metadata failure for " +
                     channel_url(5, fake_fail="metadata"))),
            ({"url": channel_url(5, fake_title="Followed")},
             message('The address is already followed as "Followed" (id %s).' % followed["id"])),
        ]
        for parameters, expected in cases:
            with self.subTest(parameters=parameters):
                reply = self.server.command("add_subscription", **parameters)
                self.assertEqual((reply.status, reply.json()), (400, expected))
        for name, parameters in (("update_subscription", {"id": "nope", "name": "x"}),
                                 ("check_subscription", {"id": "nope"}),
                                 ("remove_subscription", {"id": "nope"})):
            with self.subTest(command=name):
                reply = self.call(name, **parameters)
                self.assertEqual((reply.status, reply.json()), (400, message("No subscription has the id 'nope'.")))
        wrong_type = lambda name, given, kind: message(
            'Mandatory value "%s" is of wrong type (%s)\nShould be of type %s! (Integers can be casted to floats)'
            % (name, given, kind))
        known = followed["id"]
        for name, parameters, expected in (
                ("update_subscription", {}, message("Missing mandatory value 'id'")),
                ("update_subscription", {"id": 7}, wrong_type("id", "INT", "STRING")),
                ("update_subscription", {"id": known, "name": ""},
                 message("Parameter 'name' is empty. Should be the name the subscription is shown by.")),
                ("update_subscription", {"id": known, "enabled": "no"}, wrong_type("enabled", "STRING", "BOOL")),
                ("update_subscription", {"id": known, "mode": "both"},
                 message("Parameter 'mode' is of wrong value. Should be either 'video' or 'audio'.")),
                ("update_subscription", {"id": known, "check_interval": 5},
                 message("Parameter 'check_interval' is of wrong value. Should be a whole number from 10 to 10080.")),
                ("remove_subscription", {"id": known, "delete_downloads": 1}, wrong_type("delete_downloads", "INT", "BOOL")),
                ("check_subscription", {}, message("Missing mandatory value 'id'"))):
            with self.subTest(command=name, parameters=parameters):
                reply = self.call(name, **parameters)
                self.assertEqual((reply.status, reply.json()), (400, expected))
        self.assertEqual(self.server.command("fetch_subscriptions").json()["subscriptions"][0]["name"], "Followed")
        reply = self.server.command("update_subscription", id=followed["id"], keep_last="2")
        self.assertEqual(reply.status, 400)
        self.assertEqual(len(self.server.command("fetch_subscriptions").json()["subscriptions"]), 1)

    def test_update_changes_what_later_checks_queue(self):
        subscription = self.add(channel_url(4, fake_grow=self.server.path("grown")))["subscription"]
        reply = self.call("update_subscription", id=subscription["id"], name="Renamed", mode="audio",
                                    quality="360", audio_format="opus", check_interval=120, keep_last=3, enabled=False)
        self.assertEqual(reply.status, 200, reply.body)
        changed = reply.json()["subscription"]
        self.assertEqual((changed["name"], changed["mode"], changed["quality"], changed["audio_format"],
                          changed["check_interval"], changed["keep_last"], changed["enabled"]),
                         ("Renamed", "audio", "360", "opus", 120, 3, False))
        self.assertEqual(changed["next_check"], changed["last_check"] + 120 * 60)
        self.grow("grown", 1)
        self.check(subscription["id"])
        entry = self.wait_for_entries(subscription["id"], 1)[0]
        self.assertEqual((entry["subscription_name"], entry["mode"], entry["quality"], entry["audio_format"]),
                         ("Renamed", "audio", "360", "opus"))
        self.server.restart()
        listed = self.server.command("fetch_subscriptions").json()["subscriptions"][0]
        self.assertEqual((listed["name"], listed["enabled"], listed["keep_last"], listed["audio_format"]),
                         ("Renamed", False, 3, "opus"))

    def test_a_refusal_as_too_many_backs_off_until_a_good_check(self):
        throttle = self.server.path("throttle")
        subscription = self.add(channel_url(3, fake_throttle=throttle), check_interval=30)["subscription"]
        open(throttle, "w").close()
        failed = self.check(subscription["id"])["subscription"]
        self.assertIn("HTTP Error 429", failed["last_error"])
        self.assertEqual(failed["next_check"], failed["last_check"] + 2 * 30 * 60)
        again = self.check(subscription["id"])["subscription"]
        self.assertEqual(again["next_check"], again["last_check"] + 4 * 30 * 60)
        self.assertIn("HTTP Error 429", self.server.output)
        os.remove(throttle)
        good = self.check(subscription["id"])["subscription"]
        self.assertEqual((good["last_error"], good["next_check"]), ("", good["last_check"] + 30 * 60))

    def test_remove_keeps_or_deletes_the_downloads(self):
        for delete in (False, True):
            with self.subTest(delete_downloads=delete):
                subscription = self.add(channel_url(4, fake_list_id="list-%s" % delete), backlog=2)["subscription"]
                self.wait_for_entries(subscription["id"], 2)
                reply = self.server.command("remove_subscription", id=subscription["id"], delete_downloads=delete)
                self.assertEqual(reply.status, 200, reply.body)
                self.assertEqual(len(self.entries(subscription["id"])), 0 if delete else 2)
                self.assertFalse(os.path.exists(self.server.path("subscriptions/%s.archive" % subscription["id"])))
                self.assertEqual(self.server.command("fetch_subscriptions").json()["subscriptions"], [])

    def test_remove_with_the_downloads_takes_those_still_being_fetched(self):
        subscription = self.add(channel_url(4, fake_metadata_seconds="3"), backlog=2)["subscription"]
        reply = self.server.command("remove_subscription", id=subscription["id"], delete_downloads=True)
        self.assertEqual((reply.status, reply.json()["removed_downloads"]), (200, 2))
        self.assertEqual(self.entries(), [])

    def test_a_check_is_held_while_other_clients_are_answered(self):
        subscription = self.add(channel_url(2, fake_metadata_seconds="0"))["subscription"]
        url = channel_url(2, fake_metadata_seconds="2", fake_list_id="slow")
        slow = self.add(url)["subscription"]
        result = {}
        thread = threading.Thread(target=lambda: result.update(reply=self.check(slow["id"])))
        started = time.monotonic()
        thread.start()
        time.sleep(0.3)
        self.assertEqual(self.server.command("get_server_version").status, 200)
        listed = self.server.command("fetch_subscriptions").json()["subscriptions"]
        self.assertEqual([(item["id"], item["checking"]) for item in listed],
                         [(subscription["id"], False), (slow["id"], True)])
        self.assertLess(time.monotonic() - started, 1.5)
        thread.join(10)
        self.assertEqual(result["reply"]["new_videos"], 0)
        self.assertNotEqual(subscription["id"], slow["id"])

    def test_the_feed_is_read_instead_of_the_listing_and_the_listing_steps_in_when_it_fails(self):
        url = channel_url(3, fake_channel_id=YOUTUBE_CHANNEL)
        subscription = self.add(url)["subscription"]
        self.assertTrue(subscription["feed"])
        listings = len(subscription_calls(self.server))
        page = "https://videos.example/watch?"
        self.feed.videos = [("new1", "Brand new", page + "fake_title=Brand+new"),
                            ("v3", "Fake video 3", page + "fake_item=3")]
        self.assertEqual(self.check(subscription["id"])["new_videos"], 1)
        self.assertEqual(self.feed.queries, ["channel_id=" + YOUTUBE_CHANNEL])
        self.assertEqual(len(subscription_calls(self.server)), listings)
        entry = self.wait_for_entries(subscription["id"], 1)[0]
        self.assertEqual((entry["title"], entry["video_url"]), ("Brand new", page + "fake_title=Brand+new"))
        with open(self.server.path("subscriptions/%s.archive" % subscription["id"])) as archive:
            self.assertEqual(archive.read().splitlines()[-1], "youtube new1")

        self.feed.failing = 500
        self.assertEqual(self.check(subscription["id"])["new_videos"], 0)
        self.assertEqual(len(subscription_calls(self.server)), listings + 1)
        self.assertEqual(self.server.command("fetch_subscriptions").json()["subscriptions"][0]["last_error"], "")


class KeepLastTest(unittest.TestCase):
    def test_only_the_newest_finished_downloads_stay(self):
        with PelkoServer(extra_path=[FAKE_DOWNLOADER_DIR], config={"downloader": {"num_threads": 1}}) as server:
            server.start()
            reply = server.command("add_subscription", url=channel_url(6), backlog=4, keep_last=2)
            self.assertEqual(reply.status, 200, reply.body)
            subscription_id = reply.json()["subscription"]["id"]
            deadline = time.monotonic() + 30
            while True:
                cache = server.command("fetch_alltime_cache").json()["cache"]
                mine = [entry for entry in cache if entry.get("subscription_id") == subscription_id]
                # Downloads join the list one a second, so the newest may still be on their way.
                if (sorted(entry["title"] for entry in mine) == ["Fake video 5", "Fake video 6"] and
                        all(entry["status"] == "finished" for entry in mine)):
                    break
                self.assertLess(time.monotonic(), deadline, mine)
                time.sleep(0.2)
            time.sleep(1)
            cache = server.command("fetch_alltime_cache").json()["cache"]
            self.assertEqual(sorted(entry["title"] for entry in cache), ["Fake video 5", "Fake video 6"])


if __name__ == "__main__":
    unittest.main()
