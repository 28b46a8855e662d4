"""The log, settings and disk usage commands, driven over HTTP."""

import json
import os
import shutil
import subprocess
import unittest

import exposition
from pelko_harness import PelkoServer

DEFAULT_CONFIG = {
    "access": {"allowed_hosts": [], "enable_whitelist": False, "only_allow_localhost": False,
               "whitelist": ["127.0.0.1"]},
    "downloader": {"cachedir": "dlcache", "max_dlrate_per_thread": "100M", "num_threads": 1,
                   "update_url": "https://github.com/yt-dlp/yt-dlp/releases/latest/download/",
                   "js_runtime_url": "https://github.com/denoland/deno/releases/latest/download/",
                   "sponsorblock": "off", "sponsorblock_categories": "sponsor",
                   "sponsorblock_api": "https://sponsor.ajay.app"},
    "general": {"show_console": True},
    "httpServer": {"polling_rate": 100, "port": "6969", "rootdir": "frontend", "tls_certificate": "", "tls_key": ""},
    "library": {"dir": "", "nfo": True, "subtitles": "", "template": "{uploader}/{title} [{video_id}].{ext}"},
    "logging": {"autosave_interval": 1800, "logfile_json": "log.json", "logfile_text": "log.txt"},
    "subscriptions": {"feed_url": "https://www.youtube.com/feeds/videos.xml", "listing_size": 50},
    "notifications": {"apprise_events": ["finished", "failed", "subscription_error"], "apprise_urls": [],
                      "webhooks": []},
}


def as_in_file(config):
    """`config` as config.json holds it: with the password hash, which no reply carries."""
    in_file = json.loads(json.dumps(config))
    in_file["access"]["password_hash"] = ""
    return in_file


def saved_entry(message, timestamp):
    return {"compiledMessage": "<01.01.1970 - 00:16:40> [Old]: " + message, "message": message,
            "identifier": "Old", "additional_information": "", "type": 0, "timestamp": timestamp}


def read(server, name):
    with open(server.path(name), "rb") as f:
        return f.read()


class LogCommandsTest(unittest.TestCase):
    def test_session_logs_hold_this_run_and_alltime_logs_every_run(self):
        earlier_run = json.dumps([saved_entry("from an earlier run", 1000)])
        with PelkoServer(files={"log.json": earlier_run}) as server:
            session = server.command("fetch_session_logs").json()
            messages = [entry["message"] for entry in session["logs"]]
            self.assertEqual(session["logs_size"], len(session["logs"]))
            self.assertIn("Starting Pelko server...", messages)
            self.assertNotIn("from an earlier run", messages)
            stamps = [entry["timestamp"] for entry in session["logs"]]
            self.assertEqual(stamps, sorted(stamps, reverse=True))

            alltime = server.command("fetch_alltime_logs").json()
            self.assertEqual(alltime["logs"][-1]["message"], "from an earlier run")
            self.assertEqual(alltime["logs_size"], len(session["logs"]) + 1)

            limited = server.command("fetch_alltime_logs", max_num=2).json()
            self.assertEqual(limited["logs_size"], 2)
            young = server.command("fetch_alltime_logs", max_age=3600).json()
            self.assertNotIn("from an earlier run", [entry["message"] for entry in young["logs"]])

            ignored = server.command("fetch_alltime_logs", max_age="x", max_num="y")
            self.assertEqual(ignored.status, 200)
            self.assertEqual(ignored.json()["logs_size"], alltime["logs_size"])

    def test_clear_logs_leaves_only_its_own_message(self):
        with PelkoServer() as server:
            reply = server.command("clear_logs")
            self.assertEqual(reply.json(), {"status": "OK", "message": "The logs have been cleared."})
            self.assertEqual(read(server, "log.txt"), b"")
            self.assertEqual(read(server, "log.json"), b"[]")
            logs = server.command("fetch_session_logs").json()["logs"]
            self.assertEqual([entry["message"] for entry in logs], ["Cleared logs..."])
            self.assertEqual(logs[0]["additional_information"], "@127.0.0.1")

    def test_a_log_file_holding_no_objects_answers_500_and_the_server_lives_on(self):
        with PelkoServer(files={"log.json": "[5]"}) as server:
            reply = server.command("fetch_session_logs")
            self.assertEqual(reply.status, 500)
            self.assertEqual(reply.json()["description"], "Internal server error")
            self.assertIn('You tried to get an "JSON" from an element of type "INT"', reply.json()["message"])
            self.assertEqual(server.command("fetch_alltime_logs").status, 200)
            self.assertTrue(server.is_running())


class ConfigCommandsTest(unittest.TestCase):
    def config_file(self, server):
        return json.loads(read(server, "config.json"))

    def test_a_partial_update_changes_only_what_it_names(self):
        with PelkoServer() as server:
            reply = server.command("update_config", config={"httpServer": {"polling_rate": 50}})
            self.assertEqual(reply.status, 200)
            self.assertEqual(reply.json()["message"], "Updated settings")
            expected = json.loads(json.dumps(DEFAULT_CONFIG))
            expected["httpServer"].update(polling_rate=50, port=server.config["httpServer"]["port"])
            expected["downloader"]["update_url"] = server.config["downloader"]["update_url"]
            expected["downloader"]["js_runtime_url"] = server.config["downloader"]["js_runtime_url"]
            self.assertEqual(reply.json()["config"], expected)
            self.assertEqual(self.config_file(server), as_in_file(expected))
            self.assertTrue(server.wait_for_output("Updated config values..."))
            # Read at the moment of use: the server answers on with the new poll time-out.
            self.assertEqual(server.command("get_os_name").status, 200)

    def test_without_a_config_object_nothing_changes(self):
        with PelkoServer() as server:
            before = read(server, "config.json")
            for parameters in ({}, {"config": [1, 2]}, {"config": "x"}):
                with self.subTest(parameters=parameters):
                    reply = server.command("update_config", **parameters)
                    self.assertEqual(reply.status, 200)
                    self.assertEqual(reply.json()["message"], "Updated no settings")
                    self.assertEqual(reply.json()["config"], json.loads(before))
            self.assertEqual(read(server, "config.json"), before)
            self.assertNotIn("Updated config values...", server.output)

    def test_paths_sent_by_a_client_stay_inside_the_working_directory(self):
        with PelkoServer() as server:
            unsafe = {"downloader": {"cachedir": "/"}, "logging": {"logfile_text": "../outside.txt"},
                      "httpServer": {"rootdir": "."}}
            reply = server.command("update_config", config=unsafe).json()
            self.assertEqual(reply["config"]["downloader"]["cachedir"], "dlcache")
            self.assertEqual(reply["config"]["logging"]["logfile_text"], "log.txt")
            self.assertEqual(reply["config"]["httpServer"]["rootdir"], "frontend")
            self.assertEqual(sorted(reply["refused_settings"]),
                             ["downloader.cachedir", "httpServer.rootdir", "logging.logfile_text"])
            self.assertIn('Refused to set downloader.cachedir to "/"', server.output)

            safe = server.command("update_config", config={"downloader": {"cachedir": "media/cache"}}).json()
            self.assertEqual(safe["config"]["downloader"]["cachedir"], "media/cache")
            self.assertNotIn("refused_settings", safe)

    def test_reset_restores_and_writes_the_defaults(self):
        changed = {"downloader": {"num_threads": 4}, "access": {"whitelist": []}}
        with PelkoServer(config=changed) as server:
            reply = server.command("reset_config_to_default_values").json()
            self.assertEqual(reply["message"], "Reset config to default...")
            self.assertEqual(reply["config"], DEFAULT_CONFIG)
            self.assertEqual(self.config_file(server), as_in_file(DEFAULT_CONFIG))
            server.kill()  # the default port is not the test's; stop without a request


class DiskUsageTest(unittest.TestCase):
    def test_sizes_of_the_cache_logs_and_settings(self):
        with PelkoServer(files={"log.txt": "x" * 100, "log.json": " " * 198 + "[]"}) as server:
            shutil.rmtree(server.path("dlcache"), ignore_errors=True)
            usage = server.command("get_disk_usage").json()
            config_size = os.path.getsize(server.path("config.json"))
            self.assertEqual(usage["disk_usage"], {"dlcache": 0, "logs": 300, "misc": config_size,
                                                   "dependencies": 0, "total": 300 + config_size})
            self.assertEqual(usage["message"], "Disk usage in bytes. Dependencies are 0 on linux, "
                                               "because the dependencies should be installed globally.")

            os.makedirs(server.path("dlcache/download"))
            with open(server.path("dlcache/download/a.mp3"), "wb") as f:
                f.write(b"a" * 12345)
            du = int(subprocess.run(["du", "-sb", server.path("dlcache")], capture_output=True,
                                    text=True, check=True).stdout.split()[0])
            usage = server.command("get_disk_usage").json()["disk_usage"]
            self.assertEqual(usage["dlcache"], du)
            self.assertEqual(usage["total"], du + 300 + config_size)
            self.assertTrue(server.wait_for_output("Fetching disk usage..."))

    def test_the_cache_in_use_until_a_restart(self):
        with PelkoServer() as server:
            os.makedirs(server.path("dlcache/download"), exist_ok=True)
            with open(server.path("dlcache/download/a.mp3"), "wb") as f:
                f.write(b"a" * 1_000_000)
            os.makedirs(server.path("media/cache"))
            before = server.command("get_disk_usage").json()["disk_usage"]["dlcache"]
            self.assertGreaterEqual(before, 1_000_000)

            # The new directory waits for the next start; until then the old one is the cache,
            # for the command and for /metrics alike.
            server.command("update_config", config={"downloader": {"cachedir": "media/cache"}})
            self.assertEqual(server.command("get_disk_usage").json()["disk_usage"]["dlcache"], before)
            metrics = exposition.parse(server.request("/metrics").body.decode())
            self.assertEqual(exposition.value(metrics, "pelko_cache_bytes"), before)

            server.restart()
            self.assertLess(server.command("get_disk_usage").json()["disk_usage"]["dlcache"], 1_000_000)


if __name__ == "__main__":
    unittest.main()
