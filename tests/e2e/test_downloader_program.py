"""The downloader program over HTTP: "get_downloader_info", "update_dep_youtubedl" against a
local release host, and the cookies ("set_cookies", "clear_cookies"), with the fake
youtube-dl of tests/support first on the search path."""

import json
import os
import stat
import threading
import time
import unittest

from pelko_harness import FAKE_DOWNLOADER_DIR, PelkoServer, free_port
from release_host import RUNTIME_ASSET, ReleaseHost

COOKIES = "# Netscape HTTP Cookie File\n.videos.example\tTRUE\t/\tFALSE\t0\tsession\tpelko-cookie-marker\n"
KEPT = " The old program stays in use."


def read_lines(path):
    if not os.path.exists(path):
        return []
    with open(path) as log:
        return [json.loads(line) for line in log]


class DownloaderTest(unittest.TestCase):
    def start(self, update_url=None, js_runtime_url=None):
        folders = {"update_url": update_url, "js_runtime_url": js_runtime_url}
        config = {"downloader": {key: url for key, url in folders.items() if url}}
        self.server = PelkoServer(config=config, extra_path=[FAKE_DOWNLOADER_DIR],
                                  environment={"PELKO_FAKE_DOWNLOADER_LOG": "calls.log",
                                               "PELKO_FAKE_COOKIES_LOG": "cookies.log"}).start()
        self.addCleanup(self.server.close)
        return self.server

    def download(self, url="https://videos.example/watch?v=1"):
        reply = self.server.command("queue_download", video_url=url, mode="video")
        self.assertEqual(reply.status, 200, reply.body)
        return self.server.wait_for_download(reply.json()["pelko_id"], "finished")

    def info(self):
        reply = self.server.command("get_downloader_info")
        self.assertEqual(reply.status, 200, reply.body)
        return reply.json()


class UpdateTest(DownloaderTest):
    def test_a_good_release_is_installed_and_runs_the_next_download(self):
        with ReleaseHost(version="2099.01.01") as host:
            server = self.start(host.url, host.runtime_url)
            before = self.info()
            self.assertEqual(os.path.realpath(before.pop("path")), os.path.realpath(
                os.path.join(FAKE_DOWNLOADER_DIR, "youtube-dl")))
            self.assertEqual(before, {"status": "OK", "name": "youtube-dl", "version": "2021.12.17", "own_copy": False,
                                      "cookies_set": False, "js_runtime_version": ""})

            reply = server.command("update_dep_youtubedl", timeout=60)
            self.assertEqual(reply.status, 200, reply.body)
            self.assertEqual(reply.json(), {"status": "OK", "message": "Updated youtube-dl.exe successfully!",
                                            "version": "2099.01.01", "js_runtime_version": "2.5.6"})
            installed = server.path("bin/yt-dlp")
            runtime = server.path("bin/deno")
            for program in (installed, runtime):
                self.assertEqual(stat.S_IMODE(os.stat(program).st_mode), 0o755)
            self.assertEqual(sorted(os.listdir(server.path("bin"))), ["deno", "yt-dlp"])
            self.assertEqual(self.info(), {"status": "OK", "path": installed, "name": "yt-dlp", "version": "2099.01.01",
                                           "own_copy": True, "cookies_set": False, "js_runtime_version": "2.5.6"})

            entry = self.download()
            calls = read_lines(server.path("calls.log"))
            last = calls[-1]
            self.assertTrue(last[0].endswith("dlcache/dlprogbuf/%s.yt-dlp" % entry["pelko_id"]), last[0])
            self.assertIn("-S", last)
            self.assertIn('Downloading with "%s".' % installed, server.output)
            # The metadata run and the download both run YouTube's scripts with the own deno.
            for call in calls[-2:]:
                self.assertEqual(call[call.index("--js-runtimes") + 1], "deno:" + runtime, call)

    def test_a_runtime_that_fails_keeps_the_old_one_and_says_why(self):
        cases = [
            ("wrong sum", {"runtime_sum": "c" * 64}, None,
             "The downloaded %s does not match its SHA-256 sum in %s.sha256sum." % (RUNTIME_ASSET, RUNTIME_ASSET)),
            ("unreachable", {}, "http://127.0.0.1:%d/deno/" % free_port(), "Could not download "),
        ]
        for name, faults, folder, reason in cases:
            with self.subTest(name), ReleaseHost(**faults) as host:
                server = self.start(host.url, folder or host.runtime_url)
                reply = server.command("update_dep_youtubedl", timeout=60)
                self.assertEqual(reply.status, 500, reply.body)
                answer = reply.json()
                failure = answer["js_runtime_message"]
                self.assertTrue(failure.startswith("The JavaScript runtime deno was not updated: " + reason), failure)
                self.assertTrue(failure.endswith(" The old one stays in use."), failure)
                # yt-dlp is in place all the same.
                self.assertEqual(answer["message"], "Updated yt-dlp to 2099.01.01. " + failure)
                self.assertEqual(answer["version"], "2099.01.01")
                self.assertNotIn("js_runtime_version", answer)
                self.assertEqual(os.listdir(server.path("bin")), ["yt-dlp"])
                self.assertEqual(self.info()["js_runtime_version"], "")
                # Without a runtime the own copy is told of none.
                self.download()
                self.assertNotIn("--js-runtimes", read_lines(server.path("calls.log"))[-1])

    def test_a_failed_update_keeps_the_old_program_and_says_why(self):
        unreachable = "http://127.0.0.1:%d/release/" % free_port()
        cases = [
            ("wrong sum", {"sum": "c" * 64}, None,
             "The downloaded yt-dlp does not match its SHA-256 sum in SHA2-256SUMS."),
            ("cut short", {"cut": 1000}, None, "Could not download {url}yt-dlp: "),
            ("unreachable", {}, unreachable, "Could not download %sSHA2-256SUMS: " % unreachable),
        ]
        for name, faults, folder, reason in cases:
            with self.subTest(name), ReleaseHost(**faults) as host:
                server = self.start(folder or host.url)
                reply = server.command("update_dep_youtubedl", timeout=60)
                self.assertEqual(reply.status, 500, reply.body)
                message = reply.json()["message"]
                self.assertTrue(message.startswith("Unable do update youtube-dl.exe! " + reason.format(url=host.url)),
                                message)
                self.assertTrue(message.endswith(KEPT), message)
                self.assertTrue(reply.json()["js_runtime_message"].startswith(
                    "The JavaScript runtime deno was not updated: Could not download "), reply.body)
                self.assertFalse(os.path.exists(server.path("bin/yt-dlp")))
                self.assertEqual(os.listdir(server.path("bin")) if os.path.isdir(server.path("bin")) else [], [])
                self.assertFalse(self.info()["own_copy"])
                self.assertEqual(self.download()["status"], "finished")

    def test_others_are_answered_while_the_update_runs_and_a_second_request_waits_for_it(self):
        with ReleaseHost(held=True) as host:
            server = self.start(host.url, host.runtime_url)
            replies = []
            updates = [threading.Thread(target=lambda: replies.append(server.command("update_dep_youtubedl", timeout=60)))
                       for _ in range(2)]
            updates[0].start()
            self.assertTrue(host.asked.wait(30))
            # The update waits for the release host; the server answers others meanwhile.
            self.assertEqual(server.command("get_os_name").status, 200)
            updates[1].start()
            deadline = time.monotonic() + 30
            while server.output.count("Updating youtube-dl...") < 2:
                self.assertLess(time.monotonic(), deadline, server.output)
                time.sleep(0.05)
            host.release()
            for update in updates:
                update.join()
            self.assertEqual([(reply.status, reply.json().get("version")) for reply in replies],
                             [(200, "2099.01.01")] * 2)
            self.assertEqual(host.program_requests, 1)


class CookiesTest(DownloaderTest):
    def test_refused_texts_say_why(self):
        server = self.start()
        cases = [
            ("", "The cookies text is empty."),
            ('[{"name": "session"}]', "The cookies text is JSON; export the cookies as a Netscape cookies.txt instead."),
            ("# Netscape HTTP Cookie File\n" + "x" * (1024 * 1024), "The cookies text is larger than 1 MiB."),
        ]
        for text, message in cases:
            with self.subTest(message):
                reply = server.command("set_cookies", cookies=text)
                self.assertEqual(reply.status, 400)
                self.assertEqual(reply.json(), {"status": "ERROR", "description": "Bad request", "message": message})
        self.assertFalse(os.path.exists(server.path("cookies.txt")))
        # The largest text there may be still arrives.
        padding = "#" + "p" * (1024 * 1024 - len(COOKIES) - 2) + "\n"
        reply = server.command("set_cookies", cookies=COOKIES + padding, timeout=30)
        self.assertEqual(reply.status, 200, reply.body[:300])

    def test_every_run_gets_them_until_they_are_cleared_and_nothing_hands_them_out(self):
        server = self.start()
        reply = server.command("set_cookies", cookies=COOKIES)
        self.assertEqual(reply.json(), {"status": "OK", "message": "Cookies set: every download sends them from now on."})
        self.assertEqual(stat.S_IMODE(os.stat(server.path("cookies.txt")).st_mode), 0o600)
        self.assertTrue(self.info()["cookies_set"])
        entry = self.download()

        given = read_lines(server.path("cookies.log"))
        self.assertEqual([(copy["mode"], copy["text"]) for copy in given], [("600", COOKIES)] * 2)
        # The metadata run comes before the entry's id: its files carry a name of their own.
        self.assertRegex(given[0]["path"], r"^dlcache/dlprogbuf/fetch-\d+\.metadata\.cookies$")
        self.assertEqual(given[1]["path"], "dlcache/dlprogbuf/%s.cookies" % entry["pelko_id"])
        for copy in given:
            self.assertFalse(os.path.exists(server.path(copy["path"])))

        # No path and no command hands out the text.
        for path in ("/cookies.txt", "/../cookies.txt", "/%2e%2e/cookies.txt", "/download/cookies.txt",
                     "/download/" + entry["pelko_id"]):
            self.assertNotIn(b"pelko-cookie-marker", server.request(path).body, path)
        for name in ("fetch_session_cache", "fetch_alltime_cache", "fetch_session_logs", "fetch_alltime_logs",
                     "fetch_settings_info", "update_config", "get_disk_usage", "get_downloader_info",
                     "set_cookies", "clear_logs"):
            with self.subTest(name):
                self.assertNotIn(b"pelko-cookie-marker", server.command(name).body)

        self.assertEqual(server.command("clear_cookies").json(), {"status": "OK", "message": "Cookies cleared."})
        self.assertFalse(os.path.exists(server.path("cookies.txt")))
        self.assertFalse(self.info()["cookies_set"])
        self.download("https://videos.example/watch?v=2")
        self.assertEqual(len(read_lines(server.path("cookies.log"))), 2)
        self.assertEqual(server.command("clear_cookies").json()["message"], "No cookies were set.")

        self.assertEqual(server.stop(), 0)
        for name in ("log.txt", "log.json", "config.json", "dlcache/index.json", "dlcache/queue.json"):
            with open(server.path(name), "rb") as file:
                self.assertNotIn(b"pelko-cookie-marker", file.read(), name)


if __name__ == "__main__":
    unittest.main()
