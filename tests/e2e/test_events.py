"""The event stream at /events as clients live it: a download seen from queued to finished in
order and then removed, log messages, the heartbeat of a quiet stream, the access rules and the
connection limits. The fake youtube-dl of tests/support stands in for the downloader."""

import base64
import http.client
import json
import socket
import time
import unittest
import urllib.parse

from pelko_harness import FAKE_DOWNLOADER_DIR, EventStream, PelkoServer

PER_CLIENT_CONNECTIONS = 32
STAGES = ["queued", "downloading", "finished"]


def video_url(**switches):
    return "https://videos.example/watch?" + urllib.parse.urlencode(switches)


def entries_of(seen, pelko_id):
    return [data for name, data in seen if name == "entry" and data.get("pelko_id") == pelko_id]


class DownloadEventsTest(unittest.TestCase):
    def test_a_download_from_queued_to_finished_then_its_removal(self):
        with PelkoServer(extra_path=[FAKE_DOWNLOADER_DIR]) as server, EventStream(server) as stream:
            self.assertEqual(stream.status, 200)
            self.assertEqual(dict((n.lower(), v) for n, v in stream.headers)["content-type"],
                             "text/event-stream; charset=utf-8")
            pelko_id = server.command("queue_download", mode="audio",
                                      video_url=video_url(fake_slow=1, fake_title="Birdsong")).json()["pelko_id"]
            seen = stream.until(lambda name, data: name == "entry" and data.get("pelko_id") == pelko_id
                                and data.get("status") == "finished")

            entries = entries_of(seen, pelko_id)
            stages = [entry["status"] for entry in entries]
            # Each stage once, in order, with the progress of the download between.
            self.assertEqual([stage for n, stage in enumerate(stages) if n == 0 or stages[n - 1] != stage], STAGES)
            progress = [entry["download_progress"] for entry in entries if entry["status"] == "downloading"]
            self.assertEqual(progress, sorted(progress))
            self.assertTrue(any(0 < value < 100 for value in progress), progress)
            self.assertEqual(entries[-1]["title"], "Birdsong")
            self.assertEqual(entries[-1], server.command("fetch_alltime_cache").json()["cache"][0])
            # The log messages of the download came as they were written.
            messages = [data["message"] for name, data in seen if name == "log"]
            self.assertIn('Finished download %s "Birdsong".' % pelko_id, messages)

            server.command("remove_download_entry", id=pelko_id)
            seen = stream.until(lambda name, data: name == "entry" and data.get("pelko_id") == pelko_id)
            self.assertEqual(seen[-1], ("entry", {"pelko_id": pelko_id, "removed": True}))

    def test_a_cancel_a_failure_and_a_clear_are_told(self):
        with PelkoServer(extra_path=[FAKE_DOWNLOADER_DIR]) as server, EventStream(server) as stream:
            ids = set()
            cases = [
                ("cancelled", video_url(fake_slow=30), "Cancelled."),
                ("failed", video_url(fake_fail="download"), "ERROR: fake download failure"),
            ]
            for name, url, reason in cases:
                with self.subTest(name):
                    pelko_id = server.command("queue_download", mode="audio", video_url=url).json()["pelko_id"]
                    ids.add(pelko_id)
                    if name == "cancelled":
                        stream.until(lambda n, data: n == "entry" and data.get("pelko_id") == pelko_id
                                     and data.get("status") == "downloading")
                        server.command("cancel_download", id=pelko_id)
                    seen = stream.until(lambda n, data: n == "entry" and data.get("pelko_id") == pelko_id
                                        and data.get("status") == "failed")
                    self.assertTrue(seen[-1][1]["error_message"].startswith(reason), seen[-1])

            # A clear tells of every download that went.
            server.command("clear_download_cache")
            removed = set()
            while removed != ids:
                seen = stream.until(lambda n, data: n == "entry" and data.get("removed") is True)
                removed.add(seen[-1][1]["pelko_id"])


class SubscriptionEventsTest(unittest.TestCase):
    def test_a_subscription_added_and_removed(self):
        with PelkoServer(extra_path=[FAKE_DOWNLOADER_DIR]) as server, EventStream(server) as stream:
            url = "https://videos.example/channel?" + urllib.parse.urlencode({"fake_channel": 2})
            subscription = server.command("add_subscription", url=url, backlog=0).json()["subscription"]
            subscription_id = subscription["id"]
            seen = stream.until(lambda name, data: name == "subscriptions")
            self.assertEqual((seen[-1][1]["id"], seen[-1][1]["url"], seen[-1][1]["name"]),
                             (subscription_id, url, subscription["name"]))

            server.command("remove_subscription", id=subscription_id)
            seen = stream.until(lambda name, data: name == "subscriptions" and data.get("removed") is True)
            self.assertEqual(seen[-1][1], {"id": subscription_id, "removed": True})


class QuietStreamTest(unittest.TestCase):
    def test_the_heartbeat_keeps_a_quiet_stream_open(self):
        with PelkoServer() as server, EventStream(server) as stream:
            # Every 15 s: later than the 10 s in which a request must arrive whole, which a stream is exempt from.
            seen = stream.until(lambda name, data: name == "comment", timeout=25)
            self.assertEqual([name for name, _ in seen], ["comment"])
            server.command("get_disk_usage")
            seen = stream.until(lambda name, data: name == "log")
            self.assertEqual(seen[-1][1]["message"], "Fetching disk usage...")


class StreamAccessTest(unittest.TestCase):
    def test_the_password_is_needed_as_for_the_api(self):
        with PelkoServer() as server:
            self.assertEqual(server.command("set_password", password="open sesame").status, 200)
            refused = EventStream(server)
            self.assertEqual(refused.status, 401)
            self.assertTrue(json.loads(refused.response.read())["login_required"])
            refused.close()

            server.auth_headers = {"Authorization": "Basic " + base64.b64encode(b"pelko:open sesame").decode()}
            with EventStream(server) as stream:
                self.assertEqual(stream.status, 200)
                server.command("get_disk_usage")
                self.assertEqual(stream.until(lambda name, data: name == "log")[-1][1]["message"],
                                 "Fetching disk usage...")

    def test_open_streams_count_toward_the_connection_limit(self):
        with PelkoServer() as server:
            streams = [EventStream(server, source="127.0.0.2") for _ in range(PER_CLIENT_CONNECTIONS)]
            try:
                self.assertEqual({stream.status for stream in streams}, {200})
                with self.assertRaises(ConnectionError):
                    server.command("get_os_name", source="127.0.0.2")
                self.assertEqual(server.command("get_os_name", source="127.0.0.3").status, 200)

                streams.pop().close()
                # Once the server has seen it go, its client is served again.
                deadline = time.monotonic() + 5
                while True:
                    try:
                        self.assertEqual(server.command("get_os_name", source="127.0.0.2").status, 200)
                        break
                    except ConnectionError:
                        self.assertLess(time.monotonic(), deadline, "still locked out")
                        time.sleep(0.05)
            finally:
                for stream in streams:
                    stream.close()


class StreamLimitsTest(unittest.TestCase):
    def test_progress_goes_out_at_most_four_times_a_second_and_the_newest_is_never_lost(self):
        with PelkoServer(extra_path=[FAKE_DOWNLOADER_DIR]) as server, EventStream(server) as stream:
            hold = server.path("release")
            # 400 progress lines over 4 s, the 100 % line, then the program waits: nothing but the
            # limit's own turn can send that last progress.
            started = time.monotonic()
            pelko_id = server.command("queue_download", mode="audio", video_url=video_url(
                fake_progress=400, fake_slow=4, fake_hold=hold)).json()["pelko_id"]
            seen = stream.until(lambda name, data: name == "entry" and data.get("pelko_id") == pelko_id
                                and data.get("download_progress") == 100, timeout=30)
            spread = time.monotonic() - started

            entries = entries_of(seen, pelko_id)
            self.assertEqual(entries[-1]["status"], "downloading")
            progress = [entry["download_progress"] for entry in entries if entry["status"] == "downloading"]
            self.assertEqual(progress, sorted(progress))
            # The start of the download goes at once; its progress at most every 250 ms since.
            self.assertLessEqual(len(progress) - 1, 4 * spread + 1, (spread, progress))
            self.assertGreaterEqual(len(progress) - 1, 4, progress)

            open(hold, "w").close()
            stream.until(lambda name, data: name == "entry" and data.get("pelko_id") == pelko_id
                         and data.get("status") == "finished")

    def test_a_client_that_reads_nothing_is_dropped_and_the_others_go_on(self):
        with PelkoServer() as server, EventStream(server) as reader:
            idle = socket.socket()
            idle.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
            idle.settimeout(10)
            idle.connect(("127.0.0.1", server.port))
            idle.sendall(b"GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
            head = b""
            while b"\r\n\r\n" not in head:
                head += idle.recv(1)
            self.assertTrue(head.startswith(b"HTTP/1.1 200"), head)

            # Each refused value comes back as a log message of about 2 MB (message and line);
            # twelve are three times what the idle client may hold unsent, beside its socket's buffers.
            value = "x" * (1 << 20)
            sent = 0
            for n in range(12):
                server.command("update_config", timeout=30, config={"logging": {"autosave_interval": "%02d %s" % (n, value)}})
                seen = reader.until(lambda name, data: name == "log" and data["message"].startswith(
                    'Refused to set logging.autosave_interval to "%02d ' % n), timeout=30)
                sent += len(json.dumps(seen[-1][1]))

            received = 0
            try:
                while True:
                    chunk = idle.recv(1 << 20)
                    if not chunk:
                        break
                    received += len(chunk)
            except ConnectionResetError:
                pass
            idle.close()
            self.assertLess(received, sent / 2)
            server.command("get_disk_usage")
            reader.until(lambda name, data: name == "log" and data["message"] == "Fetching disk usage...")


if __name__ == "__main__":
    unittest.main()
