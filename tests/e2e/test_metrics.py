"""/metrics in the Prometheus text format: every reply passes the exposition checker, the figures
move as a download runs, and the access rules are those of the command interface."""

import base64
import json
import os
import unittest
import urllib.parse

import exposition
from pelko_harness import FAKE_DOWNLOADER_DIR, PelkoServer


def scrape(server):
    reply = server.request("/metrics")
    assert reply.status == 200, reply.body
    assert reply.header("Content-Type") == "text/plain; version=0.0.4; charset=utf-8", reply.headers
    return exposition.parse(reply.body.decode())


class MetricsTest(unittest.TestCase):
    def test_figures_move_with_a_download(self):
        with PelkoServer(extra_path=[FAKE_DOWNLOADER_DIR]) as server:
            before = scrape(server)
            url = "https://videos.example/watch?" + urllib.parse.urlencode({"fake_title": "Counted"})
            pelko_id = server.command("queue_download", mode="audio", video_url=url).json()["pelko_id"]
            server.wait_for_download(pelko_id, "finished")
            failed = server.command("queue_download", mode="audio", video_url=url + "&fake_fail=download")
            server.wait_for_download(failed.json()["pelko_id"], "failed")
            after = scrape(server)

            size = os.path.getsize(server.path("dlcache/download/%s.mp3" % pelko_id))
            moves = [
                ("pelko_downloads_total", {"outcome": "finished"}, 1),
                ("pelko_downloads_total", {"outcome": "failed"}, 1),
                ("pelko_downloads_total", {"outcome": "cancelled"}, 0),
                ("pelko_downloaded_bytes_total", {}, size),
                ("pelko_metadata_fetch_duration_seconds_count", {}, 2),
                ("pelko_download_duration_seconds_count", {}, 2),
                ("pelko_subscription_checks_total", {"outcome": "ok"}, 0),
            ]
            for name, labels, change in moves:
                with self.subTest(name, **labels):
                    self.assertEqual(exposition.value(after, name, **labels) - exposition.value(before, name, **labels),
                                     change)
            self.assertGreaterEqual(exposition.value(after, "pelko_http_requests_total", route="api", status="2xx"), 3)
            self.assertEqual(exposition.value(after, "pelko_http_requests_total", route="metrics", status="2xx"), 1)
            self.assertGreater(exposition.value(after, "pelko_cache_bytes"), exposition.value(before, "pelko_cache_bytes"))
            for name in ("pelko_queue_length", "pelko_running_downloads"):
                self.assertEqual(exposition.value(after, name), 0)
            self.assertGreater(exposition.value(after, "process_resident_memory_bytes"), 1024 * 1024)
            self.assertGreaterEqual(exposition.value(after, "pelko_open_connections"), 1)

    def test_the_password_or_a_full_token_is_needed(self):
        with PelkoServer() as server:
            self.assertEqual(server.command("set_password", password="open sesame").status, 200)
            password = {"Authorization": "Basic " + base64.b64encode(b"pelko:open sesame").decode()}
            # The command's "name" is the harness's name of the command: the body is written here.
            tokens = {scope: server.request("/api", json.dumps({"request": "create_api_token", "name": scope,
                                                                "scope": scope}).encode(), headers=password)
                      .json()["token"] for scope in ("full", "feeds")}
            cases = [
                ("nothing", {}, 401),
                ("the password", password, 200),
                ("a full token", {"Authorization": "Bearer " + tokens["full"]}, 200),
                ("a token for the feeds", {"Authorization": "Bearer " + tokens["feeds"]}, 403),
            ]
            for name, headers, status in cases:
                with self.subTest(name):
                    reply = server.request("/metrics", headers=headers)
                    self.assertEqual(reply.status, status)
                    if status == 200:
                        exposition.parse(reply.body.decode())
                    else:
                        self.assertEqual(reply.json()["status"], "ERROR")


if __name__ == "__main__":
    unittest.main()
