"""The page of frontend/ in headless Chromium against the real server, with the fake downloader first
on its PATH. Each test runs one scenario of tests/browser/ (node with playwright-core), which uses the
page as a person would; the test then checks what the page claimed against the server's own state.
Screenshots land in $PELKO_TEST_OUTPUT/browser/screenshots/."""

import functools
import hashlib
import hmac
import http.server
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import threading
import unittest

from media_fixtures import ffmpeg, make_clip
from pelko_harness import FAKE_DOWNLOADER_DIR, PelkoServer, Receiver
from release_host import ReleaseHost

SOURCE_DIR = os.environ.get("PELKO_SOURCE_DIR") or os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
# The benchmark's years of history, which the page must handle as well.
sys.path.insert(0, os.path.join(SOURCE_DIR, "bench"))
import history  # noqa: E402
BROWSER_DIR = os.path.join(SOURCE_DIR, "tests", "browser")
CHROMIUM = "/usr/bin/chromium"
OUTPUT_DIR = os.path.join(os.environ.get("PELKO_TEST_OUTPUT") or tempfile.mkdtemp(prefix="pelko-test-output-"),
                          "browser")
# Each scenario bounds its own waits; this only ends a browser run that hangs as a whole.
SCENARIO_TIMEOUT = 300


def setUpModule():
    missing = [what for what, there in [
        (CHROMIUM, os.access(CHROMIUM, os.X_OK)),
        ("node", shutil.which("node")),
        ("tests/browser/node_modules", os.path.isdir(os.path.join(BROWSER_DIR, "node_modules", "playwright-core"))),
    ] if not there]
    if missing:
        raise RuntimeError("The browser tests need %s; ./pelko.sh test installs them." % ", ".join(missing))
    # Each class may run in a process of its own beside the others: none clears what they wrote.
    os.makedirs(OUTPUT_DIR, exist_ok=True)


def page_server(start_timeout=30, **options):
    """A started server (PelkoServer `options`) that serves this checkout's frontend/ as its default
    front-end directory and records every call of the fake downloader."""
    server = PelkoServer(extra_path=[FAKE_DOWNLOADER_DIR], **options)
    os.symlink(os.path.join(SOURCE_DIR, "frontend"), server.path("frontend"))
    server.env["PELKO_FAKE_DOWNLOADER_LOG"] = server.path("fake-downloader.log")
    return server.start(timeout=start_timeout)


def run_scenario(test, server, name, other_site=None):
    """Runs the scenario `name` against `server`; its findings, or a failure of `test` with the reason.
    `other_site` is the address of another web site's page, for the scenarios that need one."""
    node = subprocess.Popen(["node", "run-scenario.mjs", name, "http://127.0.0.1:%d" % server.port, OUTPUT_DIR]
                            + ([other_site] if other_site else []),
                            cwd=BROWSER_DIR, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        out, err = node.communicate(timeout=SCENARIO_TIMEOUT)
    except subprocess.TimeoutExpired:
        # SIGTERM lets playwright close Chromium, which runs in a process group of its own.
        node.send_signal(signal.SIGTERM)
        out, err = node.communicate(timeout=30)
        err += "\n(scenario stopped after %d s)" % SCENARIO_TIMEOUT
    if node.returncode != 0:
        test.fail("browser scenario %s failed:\n%s%s\n--- end of the server's output:\n%s"
                  % (name, out, err, "\n".join(server.output.splitlines()[-40:])))
    return json.loads(out.strip().splitlines()[-1])


class PageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.server = page_server()

    @classmethod
    def tearDownClass(cls):
        cls.server.close()

    def config_file(self):
        with open(self.server.path("config.json")) as config:
            return json.load(config)

    def test_audio_download_is_followed_saved_and_removed(self):
        library = tempfile.mkdtemp(prefix="pelko-library-")
        self.addCleanup(shutil.rmtree, library, True)
        self.server.command("update_config", config={"library": {"dir": library}})
        self.addCleanup(self.server.command, "update_config", config={"library": {"dir": ""}})
        found = run_scenario(self, self.server, "audio-download")
        # The card said where the file went; it stays there after the entry's removal.
        self.assertTrue(os.path.exists(os.path.join(library, "Fake Uploader", "Morning birdsong [fake].mp3")))

        self.assertEqual(found["suggested_filename"], "Morning birdsong.mp3")
        with open(found["saved_file"]) as saved:
            self.assertEqual(saved.read(), "fake media of %s\n" % found["url"])
        with open(self.server.path("fake-downloader.log")) as log:
            calls = [json.loads(line) for line in log]
        download = [call for call in calls if "-J" not in call and found["url"] in call]
        self.assertEqual(len(download), 1)
        self.assertIn("--extract-audio", download[0])
        self.assertEqual(download[0][download[0].index("--audio-format") + 1], "mp3")

        cache = self.server.command("fetch_alltime_cache").json()["cache"]
        self.assertNotIn(found["pelko_id"], [entry["pelko_id"] for entry in cache])
        self.assertEqual(self.server.request("/download/" + found["pelko_id"]).status, 400)

    def test_clear_cache_while_a_download_runs(self):
        found = run_scenario(self, self.server, "clear-cache-while-downloading")
        self.assertEqual(self.server.command("fetch_alltime_cache").json()["cache"], [])
        for pelko_id in found["ids"]:
            self.assertEqual(self.server.request("/download/" + pelko_id).status, 400)

    def test_cancel_retry_and_reasons(self):
        found = run_scenario(self, self.server, "cancel-retry-and-reasons")
        cache = {entry["pelko_id"]: entry for entry in self.server.command("fetch_alltime_cache").json()["cache"]}
        cancelled = cache[found["cancelled"]]
        self.assertEqual((cancelled["status"], cancelled["error_message"]), ("failed", "Cancelled."))
        self.assertEqual(cache[found["retried"]]["status"], "finished")

    def test_converting(self):
        found = run_scenario(self, self.server, "converting")
        self.assertEqual(self.server.request("/download/" + found["pelko_id"]).status, 200)

    def test_progress_arrives_without_polling(self):
        found = run_scenario(self, self.server, "pushed-progress")
        self.assertEqual(self.server.request("/download/" + found["pelko_id"]).status, 200)

    def test_a_late_list_does_not_undo_a_pushed_change(self):
        found = run_scenario(self, self.server, "late-list-reply")
        self.assertEqual(self.server.request("/download/" + found["pelko_id"]).status, 200)

    def test_clear_logs(self):
        run_scenario(self, self.server, "clear-logs")
        logs = [entry["message"] for entry in self.server.command("fetch_alltime_logs").json()["logs"]]
        self.assertEqual(logs[-1], "Cleared logs...")
        self.assertFalse([text for text in logs if text.startswith("Refused to set")])

    def test_queue_problems(self):
        found = run_scenario(self, self.server, "queue-problems")
        cache = self.server.command("fetch_alltime_cache").json()["cache"]
        self.assertNotIn(found["pelko_id"], [entry["pelko_id"] for entry in cache])

    def test_settings_survive_a_reload(self):
        found = run_scenario(self, self.server, "settings-survive-reload")
        saved = self.config_file()
        self.assertEqual(saved["downloader"]["num_threads"], found["num_threads"])
        self.assertEqual(saved["general"]["show_console"], found["show_console"])
        self.assertEqual(saved["access"]["whitelist"], found["whitelist"])

    def test_library_settings(self):
        run_scenario(self, self.server, "library-settings")
        saved = self.config_file()
        self.assertEqual((saved["library"]["subtitles"], saved["library"]["nfo"]), ("en,de", False))
        self.assertEqual((saved["downloader"]["sponsorblock"], saved["downloader"]["sponsorblock_categories"]),
                         ("remove", "sponsor,selfpromo"))

    def test_settings_restart_note_and_reset(self):
        run_scenario(self, self.server, "settings-restart-note-and-reset")
        saved = self.config_file()
        self.assertEqual(saved["httpServer"]["port"], "6969")
        self.assertEqual(saved["downloader"]["num_threads"], 1)
        self.assertEqual(saved["downloader"]["cachedir"], "dlcache")
        # The port saved in between needed a restart: the server still listens where it started.
        self.assertEqual(self.server.command("get_server_version").status, 200)

    def test_views_and_footer(self):
        run_scenario(self, self.server, "views-and-footer")
        for view in ["downloads", "subscriptions", "history", "logs", "settings"]:
            self.assertTrue(os.path.getsize(os.path.join(OUTPUT_DIR, "screenshots", "view-%s.png" % view)) > 0)


class MediaOptionsTest(unittest.TestCase):
    def test_quality_and_whole_playlist(self):
        server = page_server()
        try:
            found = run_scenario(self, server, "quality-and-playlist")
            cache = {entry["pelko_id"]: entry for entry in server.command("fetch_session_cache").json()["cache"]}
            self.assertEqual((cache[found["single"]]["quality"], cache[found["single"]]["mode"]), ("720", "video"))
            playlist = sorted((entry for entry in cache.values() if entry["title"].startswith("Fake video ")),
                              key=lambda entry: entry["queued_timestamp"])
            self.assertEqual([entry["title"] for entry in playlist], ["Fake video 1", "Fake video 2", "Fake video 3"])
            self.assertEqual(playlist[0]["pelko_id"], found["first"])
            self.assertEqual((cache[found["audio"]]["mode"], cache[found["audio"]]["audio_format"]), ("audio", "opus"))
        finally:
            server.close()


class SubscriptionsPageTest(unittest.TestCase):
    def setUp(self):
        # No download runs and no scheduled check either; a feed, were one read, is asked of nobody.
        self.server = page_server(config={"downloader": {"num_threads": 0}, "subscriptions": {
            "listing_size": 10, "feed_url": "http://127.0.0.1:9/feeds/videos.xml"}})
        self.addCleanup(self.server.close)

    def subscriptions(self):
        return {item["name"]: item for item in self.server.command("fetch_subscriptions").json()["subscriptions"]}

    def test_follow_check_now_and_refusals(self):
        found = run_scenario(self, self.server, "subscriptions-follow")
        followed = self.subscriptions()
        self.assertEqual(sorted(followed), ["Busy channel", "Cooking with Ada", "Garden diary"], "no refused one is kept")
        self.assertEqual(sorted(item["name"] for item in found["subscriptions"]), sorted(followed))
        cooking = followed["Cooking with Ada"]
        self.assertEqual((cooking["mode"], cooking["check_interval"], cooking["backlog"], cooking["videos_queued"]),
                         ("audio", 120, 3, 5))
        self.assertTrue(followed["Garden diary"]["feed"])
        self.assertIn("HTTP Error 429", followed["Busy channel"]["last_error"])
        cache = self.server.command("fetch_alltime_cache").json()["cache"]
        self.assertEqual(sorted((entry["title"], entry["mode"], entry["subscription_name"]) for entry in cache),
                         sorted(("Fake video %d" % n, "audio", "Cooking with Ada") for n in range(6, 11)))

    def test_pause_edit_and_remove_with_and_without_downloads(self):
        found = run_scenario(self, self.server, "subscriptions-manage")
        self.assertEqual(self.subscriptions(), {})
        left = sorted(entry["pelko_id"] for entry in self.server.command("fetch_alltime_cache").json()["cache"])
        self.assertEqual(left, sorted(found["kept"]))
        self.assertEqual(len(found["deleted"]), 2)


class DownloaderSettingsTest(unittest.TestCase):
    def test_cookies_are_loaded_and_cleared_and_never_shown(self):
        server = page_server()
        try:
            run_scenario(self, server, "cookies")
            self.assertFalse(os.path.exists(server.path("cookies.txt")))
            self.assertNotIn("pelko-browser-cookie", server.output)
        finally:
            server.close()

    def test_update_that_fails_then_one_that_installs(self):
        with ReleaseHost(version="2099.01.01", sum="c" * 64, runtime_sum="c" * 64) as host:
            server = page_server(config={"downloader": host.settings})
            try:
                run_scenario(self, server, "update-fails")
                self.assertFalse(os.path.exists(server.path("bin/yt-dlp")))
                self.assertFalse(os.path.exists(server.path("bin/deno")))
                host.sum = ReleaseHost.sum_of(host.program)
                host.runtime_sum = ReleaseHost.sum_of(host.runtime)
                run_scenario(self, server, "update-succeeds")
                info = server.command("get_downloader_info").json()
                self.assertEqual((info["own_copy"], info["version"], info["js_runtime_version"]),
                                 (True, "2099.01.01", "2.5.6"))
            finally:
                server.close()


class RestoredTest(unittest.TestCase):
    def test_downloads_of_the_last_run_are_marked(self):
        def record(pelko_id, status, error):
            return {"pelko_id": pelko_id, "title": "From before " + pelko_id, "status": status, "mode": "audio",
                    "video_url": "https://videos.example/" + pelko_id, "webpage_url": "https://videos.example/" + pelko_id,
                    "error_message": error, "queued_timestamp": 1700000000, "download_url": "/download/" + pelko_id}
        queue = [record("waiting", "queued", ""), record("broken", "failed", "ERROR: HTTP Error 404: Not Found")]
        server = page_server(config={"downloader": {"num_threads": 0}},
                             files={"dlcache/queue.json": json.dumps(queue)})
        try:
            found = run_scenario(self, server, "restored")
            self.assertEqual(sorted(found["ids"]), ["broken", "waiting"])
        finally:
            server.close()


def finished(pelko_id, title, mode="audio", **members):
    """The index record of a finished download whose file is dlcache/download/<id>.<mp3|mp4>."""
    extension = "mp3" if mode == "audio" else "mp4"
    return {"pelko_id": pelko_id, "title": title, "description": "", "uploader": "Tests", "duration": 3,
            "mode": mode, "status": "finished", "download_progress": 100, "thumbnail_url": "",
            "webpage_url": "https://videos.example/" + pelko_id, "video_url": "https://videos.example/" + pelko_id,
            "downloaded_filename": "dlcache/download/%s.%s" % (pelko_id, extension),
            "download_url": "/download/" + pelko_id, "queued_timestamp": 1700000000, **members}


class AtScaleTest(unittest.TestCase):
    """50,000 downloads and 50,000 log messages of earlier runs (bench/history.py's)."""

    @classmethod
    def setUpClass(cls):
        newest = int(time.time()) - 86400
        records = history.index_records(50000, newest)
        for record in records:
            record["thumbnail_url"] = "http://127.0.0.1/fake-thumbnails/%s.svg" % record["pelko_id"]
        # Years of history take a while to load in the sanitizer build.
        cls.server = page_server(start_timeout=180, files={
            "dlcache/index.json": history.indented(records),
            "log.json": history.indented(history.log_messages(50000, newest))})

    @classmethod
    def tearDownClass(cls):
        cls.server.close()

    def test_history_searches_sorts_and_scrolls(self):
        found = run_scenario(self, self.server, "history-at-scale")
        self.assertLessEqual(found["cards_deep"], 300)
        print("History at 50,000: first results after %d ms, %d elements, %d when scrolled deep" % (
            found["first_results_ms"], found["dom_nodes"], found["dom_nodes_deep"]), file=sys.stderr)

    def test_logs_search_filter_and_scroll(self):
        self.assertLessEqual(run_scenario(self, self.server, "logs-at-scale")["lines_deep"], 300)


class PlayTest(unittest.TestCase):
    def test_audio_and_video_play_in_their_cards(self):
        server = page_server(files={"dlcache/index.json": json.dumps([
            finished("sound", "A tone", "audio"), finished("clip", "A test picture", "video",
                                                            queued_timestamp=1700000001)])})
        try:
            ffmpeg("-f", "lavfi", "-i", "sine=frequency=440:duration=3", "-c:a", "libmp3lame", "-b:a", "64k",
                   server.path("dlcache/download/sound.mp3"))
            make_clip(server.path("dlcache/download/clip.mp4"), seconds=3, size="320x180", video="h264", audio="aac")
            found = run_scenario(self, server, "play")
            self.assertAlmostEqual(found["sound"]["duration"], 3, delta=0.2)
            self.assertAlmostEqual(found["clip"]["duration"], 3, delta=0.2)
            self.assertEqual(found["clip"]["width"], 320)
        finally:
            server.close()


class BulkActionsTest(unittest.TestCase):
    def test_retry_all_failed_remove_all_failed_and_remove_selected(self):
        def failed(pelko_id, url):
            return {"pelko_id": pelko_id, "title": "Failed " + pelko_id, "status": "failed", "mode": "audio",
                    "video_url": url, "webpage_url": url, "error_message": "ERROR: HTTP Error 503",
                    "queued_timestamp": 1700000100, "download_url": "/download/" + pelko_id}
        mended = "https://videos.example/watch?v=mended"
        broken = "https://videos.example/watch?fake_fail=download"
        keep = [finished("keep%d" % n, "Kept %d" % n) for n in (1, 2, 3)]
        files = {"dlcache/index.json": json.dumps(keep),
                 "dlcache/queue.json": json.dumps([failed("ok1", mended), failed("ok2", mended),
                                                   failed("bad1", broken), failed("bad2", broken)])}
        files.update({"dlcache/download/keep%d.mp3" % n: "sound" for n in (1, 2, 3)})
        server = page_server(files=files)
        try:
            found = run_scenario(self, server, "bulk-actions")
            cache = server.command("fetch_alltime_cache").json()["cache"]
            self.assertEqual(sorted(entry["pelko_id"] for entry in cache), sorted(found["left"]))
            self.assertEqual(sorted(found["left"]), ["keep1", "ok1", "ok2"])
            files = os.listdir(server.path("dlcache/download"))
            self.assertEqual(sorted(name for name in files if not name.startswith("ok")), ["keep1.mp3"])
        finally:
            server.close()


class OtherSite:
    """tests/browser/other-site/ served on a port of its own on 127.0.0.1: to the browser another web site."""

    def __enter__(self):
        handler = functools.partial(http.server.SimpleHTTPRequestHandler,
                                    directory=os.path.join(BROWSER_DIR, "other-site"))
        handler.log_message = lambda *args: None
        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()
        return "http://127.0.0.1:%d" % self.httpd.server_address[1]

    def __exit__(self, *exc):
        self.httpd.shutdown()
        self.httpd.server_close()


class AccessTest(unittest.TestCase):
    def test_another_site_cannot_change_a_setting(self):
        server = page_server()
        try:
            with OtherSite() as other_site:
                found = run_scenario(self, server, "cross-site-refused", other_site)
            with open(server.path("config.json")) as config:
                self.assertEqual(json.load(config)["downloader"]["num_threads"], found["num_threads"])
            self.assertEqual(found["after_attack"], found["before"])
            self.assertEqual(server.output.count("Updated config values..."), 1, "only the page's own save")
        finally:
            server.close()

    def test_password_set_used_and_removed_in_the_page(self):
        server = page_server()
        try:
            run_scenario(self, server, "password")
            with open(server.path("config.json")) as config:
                self.assertEqual(json.load(config)["access"]["password_hash"], "")
            self.assertNotIn("pelko test password", server.output)
        finally:
            server.close()


class SharingTest(unittest.TestCase):
    PASSWORD = "pelko sharing password"  # the scenario's SHARING_PASSWORD

    def test_share_target_bookmarklet_and_app_tokens(self):
        server = page_server()
        try:
            server.command("set_password", password=self.PASSWORD)
            with OtherSite() as other_site:
                found = run_scenario(self, server, "sharing-and-tokens", other_site)
            server.auth_headers = {"Authorization": "Bearer " + found["full_token"]}
            # Nothing was queued without a tap: the downloader was only asked for its version.
            self.assertEqual(server.command("fetch_session_cache").json()["cache"], [])
            with open(server.path("fake-downloader.log")) as log:
                self.assertEqual([call[1:] for call in map(json.loads, log) if call[1:] != ["--version"]], [])
            self.assertEqual(server.request("/feeds/all.xml?token=" + found["feeds_token"],
                                            headers={"Authorization": ""}).status, 401, "revoked in the page")
            for secret in (self.PASSWORD, found["full_token"], found["feeds_token"]):
                self.assertNotIn(secret, server.output)
        finally:
            server.close()


class NotificationsTest(unittest.TestCase):
    SECRET = "pelko webhook secret"  # the scenario's HOOK_SECRET

    def test_targets_added_tested_and_their_secrets_never_shown(self):
        receiver = Receiver()
        self.addCleanup(receiver.close)
        server = page_server()
        self.addCleanup(server.close)
        base = "http://127.0.0.1:%d" % receiver.port
        found = run_scenario(self, server, "notifications", base)
        with open(server.path("config.json")) as config:
            saved = json.load(config)["notifications"]
        self.assertEqual(saved["webhooks"], [{"url": base + "/hook", "secret": self.SECRET,
                                              "events": ["queued", "finished", "failed", "subscription_error"]}])
        self.assertEqual(saved["apprise_urls"], ["json://127.0.0.1:%d/apprise" % receiver.port])
        # The webhook's test was signed with the secret typed into the page.
        hooks = [(headers, body) for _, headers, body in receiver.received if headers.get("X-Pelko-Event") == "test"]
        self.assertTrue(hooks)
        for headers, body in hooks:
            self.assertEqual(headers["X-Pelko-Signature"],
                             "sha256=" + hmac.new(self.SECRET.encode(), body, hashlib.sha256).hexdigest())
        self.assertEqual(len(found["outcomes"]), 2)
        self.assertNotIn(self.SECRET, server.output)

    def test_a_missing_apprise_program_is_named(self):
        server = page_server(environment={"PATH": "/nonexistent"})
        self.addCleanup(server.close)
        found = run_scenario(self, server, "notifications-without-apprise")
        self.assertIn("apprise program is not installed", found["note"])


class ShutDownTest(unittest.TestCase):
    def test_shut_down_from_the_page(self):
        server = page_server()
        try:
            run_scenario(self, server, "shut-down")
            self.assertEqual(server.wait(), 0)
        finally:
            server.close()


if __name__ == "__main__":
    unittest.main()
