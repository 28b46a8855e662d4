"""Text that clients and the downloader write keeps its characters through the server: a
string setting sent with update_config, a title from the downloader's metadata, both read
back over HTTP and again after a restart (from config.json and index.json)."""

import json
import unittest
import urllib.parse

from pelko_harness import FAKE_DOWNLOADER_DIR, PelkoServer

CONTROL_CHARACTERS = "".join(map(chr, range(32)))

# (what the case shows, the JSON text of the string as it is sent, the text read back)
CASES = [
    ("raw UTF-8 letters", '"Ünïcödé 日本"'.encode(), "Ünïcödé 日本"),
    ("a four-byte character, raw", '"😀"'.encode(), "😀"),
    ("a four-byte character, escaped", b'"\\ud83d\\ude00"', "😀"),
    ("a lone surrogate escape", b'"a\\ud800b"', "a\ufffdb"),
    ("invalid UTF-8", b'"a\xffb\xc3"', "a\ufffdb\ufffd"),
    ("every control character", b'"' + b"".join(b"\\u%04x" % c for c in range(32)) + b'"', CONTROL_CHARACTERS),
    ("the literal text \\u4e2d", b'"\\\\u4e2d"', "\\u4e2d"),
    ("backslashes", b'"C:\\\\dir\\\\ \\\\\\\\"', "C:\\dir\\ \\\\"),
]

# Numbers as JSON writers put them, Python's json.dumps among them.
NUMBERS = b"[1e5, 5e-05, -2E+10, 9223372036854775808, 1e308, 0.1]"


def post(server, body):
    reply = server.request("/api", body, headers={"Content-Type": "application/json"})
    # json.loads refuses raw control characters in strings, as browsers do.
    return reply.status, json.loads(reply.body)


# A setting that takes any text: the whitelist compares client addresses as exact text.
def free_text_setting(config):
    return config["access"]["whitelist"][0]


class StringSettingTest(unittest.TestCase):
    def test_a_string_setting_keeps_its_characters(self):
        with PelkoServer() as server:
            for name, sent, expected in CASES:
                with self.subTest(name):
                    body = b'{"request": "update_config", "config": {"access": {"whitelist": [%s]}}}'
                    status, reply = post(server, body % sent)
                    self.assertEqual((status, free_text_setting(reply["config"])), (200, expected))
                    status, reply = post(server, b'{"request": "update_config"}')
                    self.assertEqual(free_text_setting(reply["config"]), expected)
                    with open(server.path("config.json"), "rb") as saved:
                        self.assertEqual(free_text_setting(json.loads(saved.read())), expected)
            server.restart()
            status, reply = post(server, b'{"request": "update_config"}')
            self.assertEqual(free_text_setting(reply["config"]), CASES[-1][2])

    def test_numbers_in_any_json_form_are_read(self):
        with PelkoServer() as server:
            status, reply = post(server, b'{"request": "get_server_version", "numbers": %s}' % NUMBERS)
            self.assertEqual((status, reply["server_version"]), (200, 0.53))


class DownloaderTitleTest(unittest.TestCase):
    def test_a_title_keeps_its_characters_and_numbers_do_not_fail_the_metadata(self):
        with PelkoServer(extra_path=[FAKE_DOWNLOADER_DIR]) as server:
            queued = {}
            for name, sent, expected in CASES:
                with self.subTest(name):
                    url = "https://videos.example/watch?fake_title_json=%s&fake_extra_json=%s" % (
                        urllib.parse.quote_from_bytes(sent, safe=""), urllib.parse.quote_from_bytes(NUMBERS, safe=""))
                    status, reply = post(server, json.dumps(
                        {"request": "queue_download", "video_url": url, "mode": "audio"}).encode())
                    self.assertEqual(status, 200)
                    pelko_id = reply["pelko_id"]
                    status, listing = post(server, b'{"request": "fetch_session_cache"}')
                    entry = next(item for item in listing["cache"] if item["pelko_id"] == pelko_id)
                    self.assertNotEqual(entry["status"], "failed")
                    self.assertEqual(entry["title"], expected)
                    queued[pelko_id] = expected
            for pelko_id in queued:
                server.wait_for_download(pelko_id, "finished")

            server.restart()
            status, listing = post(server, b'{"request": "fetch_alltime_cache"}')
            self.assertEqual({item["pelko_id"]: item["title"] for item in listing["cache"]}, queued)


if __name__ == "__main__":
    unittest.main()
