"""Podcast feeds: every finished download and those of one subscription, read by an XML parser as a
podcast app reads them, with enclosures that download with the feed's token and not without."""

import json
import unittest
import urllib.parse
import xml.etree.ElementTree as ElementTree

from pelko_harness import FAKE_DOWNLOADER_DIR, SharedServerTest
from test_access import basic
from test_api_tokens import token_command

PASSWORD = "correct horse battery staple"
ITUNES = "{http://www.itunes.com/dtds/podcast-1.0.dtd}"
SUBSCRIPTION = "birdsongs1"
# A long description with the characters that XML must escape, as video sites write them.
DESCRIPTION = "Dawn chorus <recorded> in the garden & the woods. " * 40


def record(pelko_id, title, mode, queued, subscription="", duration=10, thumbnail=""):
    extension = "mp3" if mode == "audio" else "mp4"
    return {"title": title, "description": DESCRIPTION, "uploader": "Somebody", "duration": duration,
            "pelko_id": pelko_id, "webpage_url": "https://videos.example/" + pelko_id, "thumbnail_url": thumbnail,
            "download_progress": 100, "downloaded_filename": "dlcache/download/%s.%s" % (pelko_id, extension),
            "download_url": "/download/" + pelko_id, "queued_timestamp": queued, "mode": mode, "status": "finished",
            "subscription_id": subscription, "subscription_name": "Birdsongs" if subscription else ""}


INDEX = [
    record("older", "An older song", "audio", 1700000000, SUBSCRIPTION, 185, "https://img.example/older.jpg"),
    record("clip", "A video clip", "video", 1700000500),
    record("newer", "A newer song", "audio", 1700001000, SUBSCRIPTION),
    record("gone", "Its file went", "audio", 1700002000, SUBSCRIPTION),
]
MEDIA = {"older": b"older sound\n", "clip": b"video frames\n", "newer": b"newer sound\n"}
FILES = {"dlcache/index.json": json.dumps(INDEX)}
FILES.update({"dlcache/download/%s.%s" % (pelko_id, "mp4" if pelko_id == "clip" else "mp3"): content
              for pelko_id, content in MEDIA.items()})
# Disabled, so that it never lists anything.
FILES["subscriptions.json"] = json.dumps([{"id": SUBSCRIPTION, "url": "https://videos.example/@birds",
                                           "name": "Birdsongs", "mode": "audio", "enabled": False}])


class FeedTest(SharedServerTest):
    server_options = {"files": FILES, "extra_path": [FAKE_DOWNLOADER_DIR]}

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.server.command("set_password", password=PASSWORD)
        cls.server.auth_headers = basic(PASSWORD)
        cls.token = token_command(cls.server, "create_api_token", name="podcast app", scope="feeds").json()["token"]

    def anonymous(self, path):
        return self.server.request(path, headers={"Authorization": ""})

    def feed(self, name):
        reply = self.anonymous("/feeds/%s.xml?token=%s" % (name, self.token))
        self.assertEqual(reply.status, 200, reply.body)
        self.assertEqual(reply.header("Content-Type"), "application/rss+xml; charset=utf-8")
        return ElementTree.fromstring(reply.body).find("channel")

    def test_all_downloads_newest_first_and_their_enclosures(self):
        channel = self.feed("all")
        self.assertEqual(channel.findtext("title"), "Pelko: all downloads")
        items = channel.findall("item")
        self.assertEqual([item.findtext("guid") for item in items], ["newer", "clip", "older"])
        older = items[2]
        self.assertEqual(older.findtext("title"), "An older song")
        self.assertEqual(older.findtext("description"), DESCRIPTION)
        self.assertEqual(older.findtext("pubDate"), "Tue, 14 Nov 2023 22:13:20 GMT")
        self.assertEqual(older.findtext(ITUNES + "duration"), "185")
        self.assertEqual(older.find(ITUNES + "image").get("href"), "https://img.example/older.jpg")

        base = "http://127.0.0.1:%d" % self.server.port
        for item in items:
            pelko_id = item.findtext("guid")
            enclosure = item.find("enclosure")
            with self.subTest(pelko_id):
                self.assertEqual(enclosure.get("url"), "%s/download/%s?token=%s" % (base, pelko_id, self.token))
                self.assertEqual(enclosure.get("type"), "video/mp4" if pelko_id == "clip" else "audio/mpeg")
                self.assertEqual(int(enclosure.get("length")), len(MEDIA[pelko_id]))
                address = urllib.parse.urlsplit(enclosure.get("url"))
                self.assertEqual(self.anonymous(address.path + "?" + address.query).body, MEDIA[pelko_id])
                self.assertEqual(self.anonymous(address.path).status, 401)

    def test_a_subscription_has_a_feed_of_its_own(self):
        channel = self.feed(SUBSCRIPTION)
        self.assertEqual(channel.findtext("title"), "Pelko: Birdsongs")
        self.assertEqual([item.findtext("guid") for item in channel.findall("item")], ["newer", "older"])
        self.assertEqual(channel.find("item").find(ITUNES + "duration").text, "10")

        missing = self.anonymous("/feeds/nosuchsub1.xml?token=" + self.token)
        self.assertEqual(missing.status, 404)
        self.assertEqual(missing.json()["message"],
                         'There is no feed at "/feeds/nosuchsub1.xml": ask for /feeds/all.xml or '
                         '/feeds/<subscription id>.xml.')
        self.assertEqual(self.anonymous("/feeds/all.xml").status, 401)

    def test_a_client_with_the_password_behind_an_https_proxy(self):
        """No token came, so the addresses carry none; the scheme is the one the proxy says."""
        reply = self.server.request("/feeds/all.xml", headers={"X-Forwarded-Proto": "https"})
        channel = ElementTree.fromstring(reply.body).find("channel")
        self.assertEqual(channel.find("item").find("enclosure").get("url"),
                         "https://127.0.0.1:%d/download/newer" % self.server.port)

class LongHistoryTest(SharedServerTest):
    """Podcast apps poll their feeds: a feed holds the newest 500 downloads, not years of them."""
    HISTORY = [record("h%03d" % n, "Song %d" % n, "audio", 1700000000 + n) for n in range(501)]
    server_options = {"files": dict({"dlcache/index.json": json.dumps(HISTORY)}, **{
        item["downloaded_filename"]: b"x" for item in HISTORY})}

    def test_the_newest_500(self):
        items = ElementTree.fromstring(self.server.request("/feeds/all.xml").body).find("channel").findall("item")
        self.assertEqual(len(items), 500)
        self.assertEqual((items[0].findtext("guid"), items[-1].findtext("guid")), ("h500", "h001"))


if __name__ == "__main__":
    unittest.main()
