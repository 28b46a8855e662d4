"""Every text setting a client may change, sent with values as long as a request may carry:
the server answers each change (taking or refusing it) and keeps answering others."""

import json
import unittest

from pelko_harness import PelkoServer

BODY_LIMIT = 3 * 1024 * 1024
# Shapes that make checks work hard: plain runs, a valid start followed by a long tail, and
# runs of the characters that separate parts of addresses and paths.
LENGTHS = [27000, BODY_LIMIT // 2 - 200]


def values(length):
    yield "a" * length
    yield "https://github.com/yt-dlp/yt-dlp/releases/download/" + "a" * length + "/"
    yield "/" * length
    yield "a/" * (length // 2)
    yield "." * length
    yield "[" + ":" * length


def nested(path, value):
    result = value
    for name in reversed(path.split(".")):
        result = {name: result}
    return result


class LongSettingValuesTest(unittest.TestCase):
    def test_every_text_setting_takes_any_length(self):
        with PelkoServer() as server:
            settings = server.command("fetch_settings_info").json()["settings"]
            texts = [s["path"] for s in settings if s["type"] in ("STRING", "ARRAY")]
            self.assertIn("downloader.update_url", texts)
            for path in texts:
                array = next(s for s in settings if s["path"] == path)["type"] == "ARRAY"
                for length in LENGTHS:
                    for value in values(length):
                        with self.subTest(setting=path, length=length, start=value[:12]):
                            body = json.dumps({"request": "update_config",
                                               "config": nested(path, [value] if array else value)})
                            reply = server.request("/api", body.encode(), timeout=30)
                            self.assertIn(reply.status, (200, 400, 500))
                            self.assertTrue(server.is_running())
                            server.command("reset_config_to_default_values", timeout=30)
            self.assertEqual(server.command("get_os_name").status, 200)


if __name__ == "__main__":
    unittest.main()
