"""fetch_history and fetch_logs over a generated history: search, filters, sorts, pages and
refused parameters."""

import json
import unittest

from pelko_harness import SharedServerTest

COUNT = 240
NEWEST = 1700000000


SUBSCRIPTIONS = {0: "sub-spring", 1: "sub-clips"}  # by n % 5; the others a client queued


def record(n):
    pelko_id = "q%04d" % n
    mode = "audio" if n % 3 else "video"
    extension = "mp3" if mode == "audio" else "mp4"
    subscription = {"subscription_id": SUBSCRIPTIONS[n % 5], "subscription_name": "Channel %d" % (n % 5)} \
        if n % 5 in SUBSCRIPTIONS else {}
    return {**subscription, "title": ("Spring Concert %d" if n % 10 == 0 else "a clip number %d") % n,
            "description": "", "uploader": "Uploader %02d" % (n % 7), "duration": (n * 37) % 500,
            "pelko_id": pelko_id, "webpage_url": "https://videos.example/watch?v=" + pelko_id,
            "video_url": "https://videos.example/watch?v=" + pelko_id, "thumbnail_url": "",
            "download_progress": 100, "downloaded_filename": "dlcache/download/%s.%s" % (pelko_id, extension),
            "download_url": "/download/" + pelko_id, "queued_timestamp": NEWEST - 60 * (COUNT - n),
            "mode": mode, "status": "finished"}


def message(n):
    text = ("Disk usage fetched (%d)" if n % 4 == 0 else "queued something (%d)") % n
    return {"compiledMessage": "<01.01.2021 - 00:00:00> [Old]: " + text, "message": text, "identifier": "Old",
            "additional_information": "", "type": n % 3, "timestamp": NEWEST - (COUNT - n)}


RECORDS = [record(n) for n in range(COUNT)]
MESSAGES = [message(n) for n in range(COUNT)]
SIZED = {"q0005": 3000, "q0010": 9000, "q0200": 5}  # files on disk, by id


def ids(reply):
    return [entry["pelko_id"] for entry in reply["entries"]]


def server_files():
    files = {"dlcache/index.json": json.dumps(RECORDS, indent=2), "log.json": json.dumps(MESSAGES, indent=2)}
    for pelko_id, size in SIZED.items():
        extension = "mp4" if int(pelko_id[1:]) % 3 == 0 else "mp3"
        files["dlcache/download/%s.%s" % (pelko_id, extension)] = "x" * size
    return files


class HistoryQueryTest(SharedServerTest):
    server_options = {"files": server_files()}

    def history(self, **parameters):
        reply = self.server.command("fetch_history", **parameters)
        self.assertEqual(reply.status, 200, reply.body)
        return reply.json()

    def test_default_page_is_the_newest_hundred(self):
        reply = self.history()
        self.assertEqual((reply["status"], reply["total"], reply["offset"]), ("OK", COUNT, 0))
        self.assertEqual(ids(reply), ["q%04d" % n for n in range(COUNT - 1, COUNT - 101, -1)])
        self.assertEqual(reply["entries"][0]["stage"], "finished")

    def test_searches_and_filters(self):
        expected = lambda keep: sorted((r["pelko_id"] for r in RECORDS if keep(r)), reverse=True)
        cases = [
            ({"search": "spring concert"}, lambda r: "Spring Concert" in r["title"]),
            ({"search": "UPLOADER 03"}, lambda r: r["uploader"] == "Uploader 03"),
            ({"search": "v=q012"}, lambda r: r["pelko_id"].startswith("q012")),
            ({"mode": "video"}, lambda r: r["mode"] == "video"),
            ({"status": "finished", "mode": "audio", "search": "concert"},
             lambda r: r["mode"] == "audio" and "Concert" in r["title"]),
            ({"status": "failed"}, lambda r: False),
            ({"subscription_id": "sub-clips"}, lambda r: r.get("subscription_id") == "sub-clips"),
            ({"subscription_id": "sub-spring", "mode": "video", "search": "concert"},
             lambda r: r.get("subscription_id") == "sub-spring" and r["mode"] == "video" and "Concert" in r["title"]),
            ({"subscription_id": ""}, lambda r: "subscription_id" not in r),
            ({"subscription_id": "sub-"}, lambda r: False),
            ({"search": "nothing like this"}, lambda r: False),
        ]
        for parameters, keep in cases:
            with self.subTest(parameters):
                reply = self.history(limit=500, **parameters)
                self.assertEqual(ids(reply), expected(keep))
                self.assertEqual(reply["total"], len(expected(keep)))

    def test_sorts_with_ties_newest_first(self):
        newest_first = sorted(RECORDS, key=lambda r: r["queued_timestamp"], reverse=True)
        cases = {
            "oldest": sorted(RECORDS, key=lambda r: r["queued_timestamp"]),
            "title": sorted(newest_first, key=lambda r: r["title"].lower()),
            "uploader": sorted(newest_first, key=lambda r: r["uploader"].lower()),
            "duration": sorted(newest_first, key=lambda r: -r["duration"]),
        }
        for sort, ordered in cases.items():
            with self.subTest(sort):
                self.assertEqual(ids(self.history(sort=sort, limit=500)), [r["pelko_id"] for r in ordered])
        by_size = ids(self.history(sort="size", limit=4))
        self.assertEqual(by_size[:3], ["q0010", "q0005", "q0200"])
        self.assertEqual(by_size[3], "q%04d" % (COUNT - 1))  # no file: after those, newest first

    def test_pages_join_up_at_every_boundary(self):
        whole = ids(self.history(sort="title", limit=500))
        for offset, limit in [(0, 1), (1, 7), (99, 100), (COUNT - 3, 10), (COUNT, 5), (COUNT + 50, 500)]:
            with self.subTest(offset=offset, limit=limit):
                reply = self.history(sort="title", offset=offset, limit=limit)
                self.assertEqual(ids(reply), whole[offset:offset + limit])
                self.assertEqual((reply["total"], reply["offset"]), (COUNT, offset))

    def test_bad_parameters_are_refused(self):
        cases = [
            ({"limit": 0}, "Parameter 'limit' is of wrong value. Should be a whole number from 1 to 500."),
            ({"limit": 501}, "Parameter 'limit' is of wrong value. Should be a whole number from 1 to 500."),
            ({"limit": 2.5}, "Parameter 'limit' is of wrong value. Should be a whole number from 1 to 500."),
            ({"offset": -1}, "Parameter 'offset' is of wrong value. Should be a whole number from 0 on."),
            ({"sort": "size "}, "Parameter 'sort' is of wrong value. Should be one of 'newest', 'oldest', "
                                "'title', 'uploader', 'duration' or 'size'."),
            ({"mode": "Video"}, "Parameter 'mode' is of wrong value. Should be either 'video' or 'audio'."),
            ({"status": "done"}, "Parameter 'status' is of wrong value. Should be one of 'queued', "
                                 "'downloading', 'finished' or 'failed'."),
        ]
        for parameters, text in cases:
            with self.subTest(parameters):
                reply = self.server.command("fetch_history", **parameters)
                self.assertEqual(reply.status, 400)
                self.assertEqual((reply.json()["status"], reply.json()["message"]), ("ERROR", text))
        for name in ["search", "subscription_id"]:
            with self.subTest(name):
                wrong_type = self.server.command("fetch_history", **{name: 5})
                self.assertEqual(wrong_type.status, 400)
                self.assertIn("\"%s\" is of wrong type" % name, wrong_type.json()["message"])

    def test_logs_search_filter_sort_and_page(self):
        earlier = MESSAGES
        reply = self.server.command("fetch_logs", search="DISK USAGE", types=[0, 2], limit=500, sort="oldest").json()
        expected = [m["message"] for m in earlier if "Disk usage" in m["message"] and m["type"] in (0, 2)]
        self.assertEqual([m["message"] for m in reply["logs"]], expected)
        self.assertEqual(reply["total"], len(expected))

        session = self.server.command("fetch_logs", scope="session", limit=500).json()
        messages = [m["message"] for m in session["logs"]]
        self.assertIn("Starting Pelko server...", messages)
        self.assertNotIn("Old", [m["identifier"] for m in session["logs"]])
        stamps = [m["timestamp"] for m in session["logs"]]
        self.assertEqual(stamps, sorted(stamps, reverse=True))

        alltime = self.server.command("fetch_logs", offset=session["total"], limit=3).json()
        self.assertEqual([m["message"] for m in alltime["logs"]], [m["message"] for m in reversed(earlier)][:3])
        self.assertEqual(alltime["total"], session["total"] + COUNT)

    def test_bad_log_parameters_are_refused(self):
        types_text = ("Parameter 'types' is of wrong value. Should be a list of log types: "
                      "0 (plain), 1 (warning) or 2 (error).")
        cases = [
            ({"scope": "run"}, "Parameter 'scope' is of wrong value. Should be either 'session' or 'alltime'."),
            ({"sort": "title"}, "Parameter 'sort' is of wrong value. Should be either 'newest' or 'oldest'."),
            ({"types": [3]}, types_text),
            ({"types": ["warn"]}, types_text),
            ({"limit": 1000}, "Parameter 'limit' is of wrong value. Should be a whole number from 1 to 500."),
        ]
        for parameters, text in cases:
            with self.subTest(parameters):
                reply = self.server.command("fetch_logs", **parameters)
                self.assertEqual((reply.status, reply.json()["message"]), (400, text))


if __name__ == "__main__":
    unittest.main()
