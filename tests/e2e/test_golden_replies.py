"""The listing commands' replies and the files the server saves, for a generated history
(an index.json, a log.json and a log.txt from earlier runs) and a session of downloads
through the fake youtube-dl, compared with golden copies in golden/.

The golden copies were taken before the listing and save code was made fast; they hold
what clients and earlier versions rely on. Every golden member must keep its value, type,
text and order. Members named in NEW_MEMBERS may be added anywhere; nothing else may.
The text itself must keep the server's indented layout; how strings escape control
characters and the case of \\u escapes are left to the JSON library. What differs from run
to run is replaced before comparing: times and ids of this run, the port and the
directories. The only order that depends on the clock, that of this run's log messages
within one listing, is compared as a set (in the same places of the listing) after checking
that it is newest first.

PELKO_GOLDEN_UPDATE=1 writes the golden copies anew; do that only for a deliberate change.
"""

import json
import os
import re
import time
import unittest
import urllib.parse

from pelko_harness import FAKE_DOWNLOADER_DIR, PelkoServer

GOLDEN_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "golden")
UPDATE = os.environ.get("PELKO_GOLDEN_UPDATE") == "1"

# Members that later versions may add to entries and replies.
NEW_MEMBERS = {"error_message", "video_url", "stage", "quality", "download_speed", "download_eta", "total_bytes",
               "restored", "playlist_index", "library_path", "subscription_id", "subscription_name",
               "audio_format"}

# Earlier runs' messages fall into two clusters of few distinct seconds, so ties abound.
CLUSTER_2000 = 946684800
CLUSTER_2021 = 1612137600
SPLIT = 1300000000  # between the clusters: a max_age reaching back to it takes only 2021
TIME_PREFIX = re.compile(r"^<\d\d\.\d\d\.\d{4} - \d\d:\d\d:\d\d>")


class Sequence:
    """A small linear congruential generator: the same history on every Python."""

    def __init__(self, seed):
        self.state = seed

    def next(self, bound):
        self.state = (self.state * 1103515245 + 12345) % 2 ** 31
        return (self.state >> 8) % bound


TEXTS = ["Fetching disk usage...", 'Queued video "https://videos.example/watch?v=q\\u"...', "Saving...",
         "two\nlines", "tab\tand \"quotes\" and \\ backslash", "\u00dcn\u00efc\u00f6d\u00e9 \u65e5\u672c",
         "control \u0001 char", "", "Saved!"]
IDENTIFIERS = ["DownloadManager", "RestQueryHandler", "Framework", "Config", "HttpServer"]


def history_log():
    """300 well-formed messages in an unsorted saved order, and a few odd objects that an
    older or hand-edited log may hold."""
    sequence = Sequence(14)
    messages = []
    for n in range(300):
        if sequence.next(3) == 0:
            timestamp = CLUSTER_2000 + 60 * sequence.next(6)
        else:
            timestamp = CLUSTER_2021 + 60 * sequence.next(15)
        identifier = IDENTIFIERS[sequence.next(len(IDENTIFIERS))]
        information = "@127.0.0.%d" % (1 + sequence.next(3)) if identifier == "RestQueryHandler" else ""
        message = "%s #%d" % (TEXTS[sequence.next(len(TEXTS))], n)
        kind = sequence.next(3)
        prefix = ["", " [WARN]", " [ERROR]"][kind]
        messages.append({"compiledMessage": "<01.02.2021 - 00:00:00> [%s]%s%s: %s" % (
            identifier, prefix, " " + information if information else "", message),
            "message": message, "identifier": identifier, "additional_information": information,
            "type": kind, "timestamp": timestamp})
    odd = [{"message": "no timestamp", "type": 0},
           {"message": "text timestamp", "timestamp": "soon", "type": 1},
           dict(messages[7], message="an extra member", extra=True),
           {"message": "null timestamp", "timestamp": None, "type": 2}]
    for n, value in enumerate(odd):
        messages.insert(40 + 60 * n, value)
    return messages


def index_record(n, queued_timestamp, mode):
    pelko_id = "old%03d" % n
    extension = "mp3" if mode == "audio" else "mp4"
    return {"title": ["Old song %d" % n, "\u00c4lter \"clip\" \\ %d" % n, "\u65e5\u672c %d" % n][n % 3],
            "description": "line one\nline two" if n % 4 == 0 else "", "uploader": "Uploader %d" % (n % 5),
            "duration": 30 + n, "pelko_id": pelko_id, "webpage_url": "https://videos.example/" + pelko_id,
            "thumbnail_url": "https://videos.example/%s.jpg" % pelko_id, "download_progress": 100,
            "downloaded_filename": "dlcache/download/%s.%s" % (pelko_id, extension),
            "download_url": "/download/" + pelko_id, "queued_timestamp": queued_timestamp, "mode": mode,
            "status": "finished"}


def history_index():
    sequence = Sequence(2021)
    return [index_record(n, CLUSTER_2021 + 3600 * sequence.next(8), ["audio", "video"][sequence.next(2)])
            for n in range(40)]


def history_files():
    files = {"dlcache/index.json": json.dumps(history_index(), indent=2),
             "log.json": json.dumps(history_log(), indent=2),
             "log.txt": "<01.02.2021 - 00:00:00> [Framework]: Starting Pelko server...\n"
                        "<01.02.2021 - 00:00:00> [Framework]: Started Pelko server successfully!\n"}
    for n in (0, 5):
        files["dlcache/download/old%03d.mp3" % n] = b"earlier audio"
    return files


def video_url(**switches):
    return "https://videos.example/watch?" + urllib.parse.urlencode(switches)


def load_ordered(text):
    # Control characters may stand in strings unescaped.
    return json.loads(text, strict=False)


def comparable_form(text):
    """The text with every control character in a string written as a \\u escape and every
    \\u escape in lower case: the layout stays as it is, whichever way strings are escaped."""
    text = re.sub(r"[\x00-\x09\x0b-\x1f]", lambda m: "\\u%04x" % ord(m[0]), text)
    return re.sub(r"\\(u[0-9a-fA-F]{4}|.)", lambda m: m[0].lower() if m[1][0] == "u" else m[0], text)


class Normaliser:
    """Replaces what differs from run to run by names that do not."""

    def __init__(self, server, started):
        self.started = started
        self.texts = [(server.workdir, "<workdir>"), (str(server.port), "<port>")] + [
            (path, "<fake-downloader>") for path in (FAKE_DOWNLOADER_DIR, os.path.realpath(FAKE_DOWNLOADER_DIR))]
        self.ids = {}

    def add_id(self, pelko_id):
        self.ids.setdefault(pelko_id, "<id %d>" % (len(self.ids) + 1))

    def text(self, value):
        for original, name in self.texts + list(self.ids.items()):
            value = value.replace(original, name)
        return value

    def is_of_this_run(self, value):
        return type(value) is int and value >= self.started

    def value(self, value, label=None):
        if isinstance(value, dict):
            result = {key: self.value(item, key) for key, item in value.items()}
            if self.is_of_this_run(value.get("timestamp")) and isinstance(result.get("compiledMessage"), str):
                result["compiledMessage"] = TIME_PREFIX.sub("<time>", result["compiledMessage"])
            return result
        if isinstance(value, list):
            return [self.value(item) for item in value]
        if isinstance(value, str):
            return self.text(value)
        if label in ("timestamp", "queued_timestamp") and self.is_of_this_run(value):
            return "<this run>"
        return value

    def line(self, line):
        if TIME_PREFIX.match(line) and not line.startswith("<01.02.2021"):
            line = TIME_PREFIX.sub("<time>", line)
        return self.text(line)


def canonical_logs(logs):
    """This run's messages sorted among the places they hold; the others stay put."""
    places = [n for n, entry in enumerate(logs) if isinstance(entry, dict) and entry.get("timestamp") == "<this run>"]
    key = lambda entry: json.dumps(entry, sort_keys=True)
    ordered = sorted((logs[n] for n in places), key=key)
    result = list(logs)
    for n, entry in zip(places, ordered):
        result[n] = entry
    return result


class GoldenRepliesTest(unittest.TestCase):
    maxDiff = None

    def assertPlainIndentedForm(self, text, what):
        """The server writes JSON in one form: two-space indents, one member or item a line,
        members in label order as given, non-ASCII as \\u escapes: Python's encoder writes it too."""
        self.assertEqual(comparable_form(text), comparable_form(json.dumps(load_ordered(text), indent=2)), what)

    def assertMatchesGolden(self, actual, golden, where="$"):
        if isinstance(golden, dict):
            self.assertIsInstance(actual, dict, where)
            added = [key for key in actual if key not in golden]
            self.assertEqual([key for key in actual if key in golden], list(golden), where + ": members or order")
            self.assertFalse(set(added) - NEW_MEMBERS, where + ": members not in the golden copy")
            for key, value in golden.items():
                self.assertMatchesGolden(actual[key], value, "%s.%s" % (where, key))
        elif isinstance(golden, list):
            self.assertIsInstance(actual, list, where)
            self.assertEqual(len(actual), len(golden), where + ": length")
            for n, (item, expected) in enumerate(zip(actual, golden)):
                self.assertMatchesGolden(item, expected, "%s[%d]" % (where, n))
        else:
            self.assertIs(type(actual), type(golden), where)
            self.assertEqual(actual, golden, where)

    def compare(self, name, actual):
        path = os.path.join(GOLDEN_DIR, name)
        if UPDATE:
            os.makedirs(GOLDEN_DIR, exist_ok=True)
            with open(path, "w", encoding="utf-8") as out:
                out.write(actual if isinstance(actual, str) else json.dumps(actual, indent=2, ensure_ascii=False))
            return
        with open(path, encoding="utf-8") as stored:
            golden = stored.read()
        if isinstance(actual, str):
            self.assertEqual(actual, golden, name)
        else:
            self.assertMatchesGolden(actual, load_ordered(golden), name)

    def wait_for_saves(self, server, count, timeout=20):
        deadline = time.monotonic() + timeout
        while server.output.count("[DownloadManager]: Saved!") < count:
            self.assertLess(time.monotonic(), deadline, "the index was not saved after the download")
            time.sleep(0.05)

    def test_listings_and_saved_files_match_the_golden_copies(self):
        started = int(time.time())
        server = PelkoServer(extra_path=[FAKE_DOWNLOADER_DIR], files=history_files())
        with server:
            normaliser = Normaliser(server, started)
            steps = []

            def ask(name, command, **parameters):
                reply = server.command(command, **parameters)
                text = reply.body.decode("utf-8")
                self.assertPlainIndentedForm(text, name)
                body = load_ordered(text)
                stamps = [entry["timestamp"] for entry in body.get("logs", [])
                          if normaliser.is_of_this_run(entry.get("timestamp"))]
                self.assertEqual(stamps, sorted(stamps, reverse=True), name + ": this run newest first")
                if command == "queue_download":
                    normaliser.add_id(body["pelko_id"])
                body = normaliser.value(body)
                if "logs" in body:
                    body["logs"] = canonical_logs(body["logs"])
                steps.append({"step": name, "status": reply.status, "reply": body})
                return reply

            def listings(stage):
                ask(stage + ": session cache", "fetch_session_cache")
                ask(stage + ": session cache, 2 newest", "fetch_session_cache", max_num=2)
                ask(stage + ": session cache, max_age beyond the start", "fetch_session_cache", max_age=10 ** 9)
                ask(stage + ": session cache, bad parameters", "fetch_session_cache", max_age="x", max_num=[1])
                ask(stage + ": alltime cache", "fetch_alltime_cache")
                ask(stage + ": session logs", "fetch_session_logs")
                ask(stage + ": alltime logs", "fetch_alltime_logs")
                ask(stage + ": alltime logs, first 25", "fetch_alltime_logs", max_num=25)
                ask(stage + ": alltime logs, none", "fetch_alltime_logs", max_num=0)
                ask(stage + ": alltime logs, since 2010", "fetch_alltime_logs", max_age=int(time.time()) - SPLIT)
                ask(stage + ": alltime logs, since 2010, first 40", "fetch_alltime_logs",
                    max_age=int(time.time()) - SPLIT, max_num=40)
                ask(stage + ": alltime logs, negative age, first 330", "fetch_alltime_logs", max_age=-3, max_num=330)
                ask(stage + ": alltime logs, bad parameters", "fetch_alltime_logs", max_age="x", max_num=2.5)

            listings("before downloads")
            last_queued = 0
            for saves, (title, mode) in enumerate([("First \u00e9", "audio"), ('Second "two"', "video"),
                                                  ("Third", "audio")], 1):
                # An entry's time is read after its metadata, its id before: one second apart
                # from the last entry's time, the two cannot tie.
                time.sleep(max(0.0, last_queued + 1 - time.time()))
                reply = ask("queue " + title, "queue_download", video_url=video_url(fake_title=title), mode=mode)
                last_queued = server.wait_for_download(reply.json()["pelko_id"], "finished")["queued_timestamp"]
                # The index save that follows a finished download logs too: let it come first.
                self.wait_for_saves(server, saves)
            time.sleep(max(0.0, last_queued + 1 - time.time()))
            ask("queue without metadata", "queue_download", video_url=video_url(fake_fail="metadata"), mode="audio")
            listings("after downloads")
            ask("remove an earlier entry", "remove_download_entry", id="old005")
            ask("alltime cache after removing", "fetch_alltime_cache")
            self.compare("replies.json", steps)

            self.assertEqual(server.stop(), 0)
            for name in ("dlcache/index.json", "log.json"):
                with open(server.path(name), encoding="utf-8") as saved:
                    text = saved.read()
                self.assertPlainIndentedForm(text, name)
                self.compare(os.path.basename(name), normaliser.value(load_ordered(text)))
            with open(server.path("log.txt"), encoding="utf-8") as saved:
                self.compare("log.txt", "".join(normaliser.line(line) for line in saved.readlines()))


if __name__ == "__main__":
    unittest.main()
