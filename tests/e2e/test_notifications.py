"""Notifications: webhooks (signed, retried, kept over a restart), Apprise through its json://
target, "test_notification", and secrets that never leave the server. Every receiver listens
on 127.0.0.1."""

import hashlib
import hmac
import json
import os
import time
import unittest
import urllib.parse

from pelko_harness import FAKE_DOWNLOADER_DIR, PelkoServer, Receiver, free_port

SECRET = "hook-secret-5c1e"
APPRISE_TOKEN = "apprise-token-77f0"


def video_url(**switches):
    return "https://videos.example/watch?" + urllib.parse.urlencode(switches)


def events(receiver, name):
    return [json.loads(body) for _, headers, body in receiver.received if headers.get("X-Pelko-Event") == name]


class WebhookTest(unittest.TestCase):
    def test_finished_download_is_posted_signed_and_retried_until_taken(self):
        receiver = Receiver(statuses=[500, 500])
        self.addCleanup(receiver.close)
        hooks = [{"url": receiver.url, "events": ["finished"], "secret": SECRET}]
        with PelkoServer(config={"notifications": {"webhooks": hooks}}, extra_path=[FAKE_DOWNLOADER_DIR]) as server:
            pelko_id = server.command("queue_download", video_url=video_url(fake_title="Song"), mode="audio").json()["pelko_id"]
            server.wait_for_download(pelko_id, "finished")
            first = receiver.wait_for(1, 20)[0][0]
            # 500, then after 10 s 500 again, then after a minute 200.
            received = receiver.wait_for(3, 90)
            self.assertAlmostEqual(received[1][0] - first, 10, delta=3)
            self.assertAlmostEqual(received[2][0] - received[1][0], 60, delta=5)
            for _, headers, body in received:
                self.assertEqual(headers["Content-Type"], "application/json")
                self.assertEqual(headers["X-Pelko-Event"], "finished")
                expected = "sha256=" + hmac.new(SECRET.encode(), body, hashlib.sha256).hexdigest()
                self.assertEqual(headers["X-Pelko-Signature"], expected)
                document = json.loads(body)
                self.assertEqual(document["event"], "finished")
                self.assertEqual(document["entry"]["pelko_id"], pelko_id)
                self.assertEqual(document["entry"]["title"], "Song")
                self.assertEqual(document["subscription"], "")
            time.sleep(0.5)
            with open(server.path("notifications.json")) as f:
                self.assertEqual(json.load(f), [])
            described = server.command("fetch_settings_info").json()["notification_targets"]
            self.assertEqual(described[0]["last_outcome"], "HTTP 200")
            server.wait_for_output("delivered (HTTP 200)", timeout=10)

    def test_undelivered_event_survives_a_restart(self):
        port = free_port()
        hooks = [{"url": "http://127.0.0.1:%d/hook" % port, "events": ["failed"], "secret": ""}]
        with PelkoServer(config={"notifications": {"webhooks": hooks}}, extra_path=[FAKE_DOWNLOADER_DIR]) as server:
            pelko_id = server.command("queue_download", video_url=video_url(fake_fail="download"), mode="audio").json()["pelko_id"]
            server.wait_for_download(pelko_id, "failed")
            server.wait_for_output("next attempt in 10 s", timeout=20)
            server.stop()
            with open(server.path("notifications.json")) as f:
                kept = json.load(f)
            self.assertEqual(len(kept), 1)
            self.assertEqual(kept[0]["notification"]["entry"]["pelko_id"], pelko_id)
            receiver = Receiver(port=port)
            self.addCleanup(receiver.close)
            server.start_again()
            received = receiver.wait_for(1, 30)
            self.assertEqual(json.loads(received[0][2])["event"], "failed")
            self.assertNotIn("X-Pelko-Signature", received[0][1])

    def test_a_hanging_target_does_not_hold_up_other_clients(self):
        receiver = Receiver()
        receiver.hang.set()
        self.addCleanup(receiver.close)
        hooks = [{"url": receiver.url, "events": ["queued"], "secret": ""}]
        with PelkoServer(config={"notifications": {"webhooks": hooks}}, extra_path=[FAKE_DOWNLOADER_DIR]) as server:
            server.command("queue_download", video_url=video_url(), mode="audio")
            receiver.wait_for(1, 20)
            started = time.monotonic()
            self.assertEqual(server.command("fetch_session_cache").status, 200)
            self.assertLess(time.monotonic() - started, 2)
            server.wait_for_output("no answer", timeout=20)


    def test_a_subscription_whose_checks_start_failing_is_posted_once(self):
        receiver = Receiver()
        self.addCleanup(receiver.close)
        hooks = [{"url": receiver.url, "events": ["subscription_error"], "secret": ""}]
        with PelkoServer(config={"notifications": {"webhooks": hooks}}, extra_path=[FAKE_DOWNLOADER_DIR]) as server:
            throttle = server.path("throttle")
            url = "https://videos.example/channel?" + urllib.parse.urlencode(
                {"fake_channel": 3, "fake_title": "News", "fake_throttle": throttle})
            subscription = server.command("add_subscription", url=url).json()["subscription"]
            open(throttle, "w").close()
            for _ in range(2):
                self.assertEqual(server.command("check_subscription", id=subscription["id"]).status, 200)
            document = json.loads(receiver.wait_for(1, 20)[0][2])
            self.assertEqual((document["event"], document["subscription"], document["entry"]),
                             ("subscription_error", "News", None))
            self.assertIn("HTTP Error 429", document["message"])
            server.wait_for_output('Notification "subscription_error" to', timeout=10)
            self.assertEqual(len(events(receiver, "subscription_error")), 1)


class AppriseAndTestCommandTest(unittest.TestCase):
    def test_test_notification_reaches_webhook_and_apprise_and_names_failures(self):
        webhook = Receiver()
        apprise = Receiver()
        self.addCleanup(webhook.close)
        self.addCleanup(apprise.close)
        dead = free_port()
        config = {"notifications": {
            "webhooks": [{"url": webhook.url, "events": ["finished"], "secret": SECRET},
                         {"url": "http://127.0.0.1:%d/" % dead, "events": ["finished"], "secret": ""}],
            "apprise_urls": ["json://127.0.0.1:%d/?token=%s" % (apprise.port, APPRISE_TOKEN)]}}
        with PelkoServer(config=config) as server:
            reply = server.command("test_notification", timeout=90).json()
            self.assertEqual(reply["status"], "OK")
            outcomes = [(target["target"], target["delivered"], target["outcome"]) for target in reply["targets"]]
            self.assertEqual(outcomes[0], (webhook.url, True, "HTTP 200"))
            self.assertEqual(outcomes[1][1], False)
            self.assertTrue(outcomes[1][2].startswith("no answer: "), outcomes[1][2])
            self.assertEqual(outcomes[2], ("json://********", True, "exit status 0"))
            self.assertEqual(reply["message"], "The test notification reached 2 of 3 targets.")
            message = json.loads(apprise.wait_for(1, 5)[0][2])
            self.assertIn("test notification", message["title"])
            self.assertEqual(events(webhook, "test")[0]["event"], "test")

    def test_finished_and_failed_downloads_reach_apprise_in_plain_words(self):
        apprise = Receiver()
        self.addCleanup(apprise.close)
        config = {"notifications": {"apprise_urls": ["json://127.0.0.1:%d/" % apprise.port]}}
        with PelkoServer(config=config, extra_path=[FAKE_DOWNLOADER_DIR]) as server:
            done = server.command("queue_download", video_url=video_url(fake_title="Good Song"), mode="audio").json()["pelko_id"]
            server.wait_for_download(done, "finished")
            server.command("queue_download", video_url=video_url(fake_title="Bad Song", fake_fail="download"), mode="audio")
            titles = sorted(json.loads(body)["title"] for _, _, body in apprise.wait_for(2, 60))
            self.assertEqual(titles[1], "Finished: Good Song")
            self.assertTrue(titles[0].startswith("Failed: Bad Song — "), titles[0])


class SecretsTest(unittest.TestCase):
    def test_secrets_never_leave_the_server(self):
        config = {"notifications": {
            "webhooks": [{"url": "http://127.0.0.1:%d/hook" % free_port(), "events": ["finished"], "secret": SECRET}],
            "apprise_urls": ["json://127.0.0.1:%d/?token=%s" % (free_port(), APPRISE_TOKEN)]}}
        with PelkoServer(config=config, files={"frontend/index.html": "page"}) as server:
            replies = {
                "update_config (none)": server.command("update_config"),
                "fetch_settings_info": server.command("fetch_settings_info"),
                "update_config (masks back)": server.command("update_config", config=server.command(
                    "update_config").json()["config"]),
                "update_config (mask for a new hook)": server.command("update_config", config={"notifications": {
                    "webhooks": [{"url": "http://127.0.0.1:1/new", "events": [], "secret": "********"}]}}),
                "test_notification": server.command("test_notification", timeout=90),
                "config.json as a file": server.request("/config.json"),
                "notifications.json as a file": server.request("/notifications.json"),
            }
            for name, reply in replies.items():
                with self.subTest(reply=name):
                    self.assertNotIn(SECRET.encode(), reply.body)
                    self.assertNotIn(APPRISE_TOKEN.encode(), reply.body)
            shown = replies["update_config (none)"].json()["config"]["notifications"]
            self.assertEqual(shown["webhooks"][0]["secret"], "********")
            self.assertEqual(shown["apprise_urls"], ["********"])
            refused = replies["update_config (mask for a new hook)"].json()
            self.assertEqual(refused["refused_settings"], ["notifications.webhooks"])
            # Masks sent back keep the stored secrets.
            with open(server.path("config.json")) as f:
                stored = json.load(f)["notifications"]
            self.assertEqual(stored["webhooks"][0]["secret"], SECRET)
            self.assertIn(APPRISE_TOKEN, stored["apprise_urls"][0])
            # An empty item removes the Apprise address at its place.
            server.command("update_config", config={"notifications": {"apprise_urls": [""]}})
            with open(server.path("config.json")) as f:
                self.assertEqual(json.load(f)["notifications"]["apprise_urls"], [])
            logs = server.command("fetch_session_logs").body + server.output.encode()
            for secret in (SECRET, APPRISE_TOKEN):
                self.assertNotIn(secret.encode(), logs)


if __name__ == "__main__":
    unittest.main()
