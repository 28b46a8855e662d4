"""Downloads as the real binary lives them: requests held while metadata is fetched, downloads
stopped with everything they started, failures that say why, and the queue across restarts and
stop signals. The fake youtube-dl of tests/support stands in for the downloader."""

import json
import os
import signal
import unittest
import urllib.parse

from pelko_harness import (FAKE_DOWNLOADER_DIR, BackgroundCommand, PelkoServer, entry_of, process_runs,
                           wait_for_file)


LOG_TYPE_ERROR = 2


def video_url(**switches):
    return "https://videos.example/watch?" + urllib.parse.urlencode(switches)


class HeldRequestTest(unittest.TestCase):
    def test_other_clients_are_answered_while_metadata_is_fetched(self):
        with PelkoServer(extra_path=[FAKE_DOWNLOADER_DIR]) as server:
            slow = [BackgroundCommand(server, "queue_download", mode="audio",
                                      video_url=video_url(fake_title="Slow %d" % n, fake_metadata_seconds=4))
                    for n in range(2)]
            self.assertTrue(server.wait_for_output("Queued video", 10))

            # Answered while both fetches are still running.
            for name in ("get_server_version", "fetch_session_cache", "fetch_alltime_logs"):
                with self.subTest(command=name):
                    self.assertEqual(server.command(name).status, 200)
            self.assertTrue(all(command.is_alive() for command in slow))

            for command in slow:
                command.join(30)
            replies = [command.reply.json() for command in slow]
            self.assertEqual([reply["message"] for reply in replies], ["Download queued!"] * 2)
            first, second = (reply["pelko_id"] for reply in replies)
            self.assertNotEqual(first, second)
            # Each reply lists the session as it was when its entry joined.
            self.assertIn(first, [entry["pelko_id"] for entry in replies[0]["cache"]])

    def test_shut_down_answers_held_requests(self):
        with PelkoServer(extra_path=[FAKE_DOWNLOADER_DIR]) as server:
            held = BackgroundCommand(server, "queue_download", mode="audio",
                                     video_url=video_url(fake_metadata_seconds=60))
            self.assertTrue(server.wait_for_output("Queued video", 10))
            self.assertEqual(server.command("kill_yourself").json()["message"], "Goodbye! :3")
            self.assertEqual(server.wait(20), 0)
            held.join(5)
            reply = held.reply.json()
            self.assertEqual(reply["message"], "Download queued!")
            self.assertEqual(reply["cache"][0]["error_message"],
                             "The server shut down before the video's details were read.")


class StopTest(unittest.TestCase):
    def test_remove_and_cancel_end_the_program_and_everything_it_started(self):
        for command in ("remove_download_entry", "cancel_download"):
            with self.subTest(command=command), PelkoServer(extra_path=[FAKE_DOWNLOADER_DIR]) as server:
                child = server.path("child.pid")
                pelko_id = server.command("queue_download", mode="audio", video_url=video_url(
                    fake_hold=server.path("never"), fake_child=child)).json()["pelko_id"]
                server.wait_for_download(pelko_id, "downloading")
                wait_for_file(child)

                reply = server.command(command, id=pelko_id)
                self.assertEqual(reply.status, 200, reply.body)
                self.assertFalse(process_runs(child))
                self.assertEqual([name for name in os.listdir(server.path("dlcache/download"))], [])
                entry = entry_of(server, pelko_id)
                if command == "cancel_download":
                    self.assertEqual(reply.json(), {"status": "OK", "message": "Download cancelled."})
                    self.assertEqual((entry["status"], entry["error_message"]), ("failed", "Cancelled."))
                else:
                    self.assertEqual(reply.json(), {"status": "OK", "message": "Successfully removed."})
                    self.assertIsNone(entry)

    def test_cancel_and_retry_refuse_what_they_cannot_change(self):
        with PelkoServer(extra_path=[FAKE_DOWNLOADER_DIR]) as server:
            done = server.command("queue_download", mode="audio", video_url=video_url()).json()["pelko_id"]
            server.wait_for_download(done, "finished")
            cases = [
                ("cancel_download", {}, "Missing mandatory value 'id'"),
                ("cancel_download", {"id": "nothing"}, 'No download has the id "nothing".'),
                ("cancel_download", {"id": done}, 'The download "%s" has already finished: there is nothing to cancel.'
                 % done),
                ("retry_download", {"id": "nothing"}, 'No download has the id "nothing".'),
                ("retry_download", {"id": done},
                 'The download "%s" has finished, not failed: only failed downloads can be retried.' % done),
            ]
            for command, parameters, message in cases:
                with self.subTest(command=command, parameters=parameters):
                    reply = server.command(command, **parameters)
                    self.assertEqual((reply.status, reply.json()),
                                     (400, {"status": "ERROR", "description": "Bad request", "message": message}))


class FailureTest(unittest.TestCase):
    def test_failures_say_why_and_retry_mends_them(self):
        with PelkoServer(extra_path=[FAKE_DOWNLOADER_DIR]) as server:
            mended = server.path("mended")
            details = video_url(fake_fail="metadata", fake_fail_until=mended)
            download = video_url(fake_fail="download", fake_fail_until=mended)
            no_details = server.command("queue_download", mode="audio", video_url=details).json()["cache"][0]
            broken = server.command("queue_download", mode="video", video_url=download).json()["pelko_id"]
            failed = server.wait_for_download(broken, "failed")

            self.assertEqual((no_details["status"], no_details["video_url"], no_details["error_message"]),
                             ("failed", details, "ERROR: fake metadata failure for " + details))
            self.assertEqual((failed["video_url"], failed["error_message"], failed["stage"]),
                             (download, "ERROR: fake download failure for " + download, "failed"))
            log = server.command("fetch_session_logs").json()["logs"]
            errors = [item["message"] for item in log if item["type"] == LOG_TYPE_ERROR]
            self.assertIn("Download %s (%s) failed: ERROR: fake download failure for %s" % (broken, download, download),
                          errors)

            open(mended, "w").close()
            for entry in (no_details["pelko_id"], broken):
                reply = server.command("retry_download", id=entry)
                self.assertEqual(reply.json(), {"status": "OK", "message": "Download queued again!"})
                finished = server.wait_for_download(entry, "finished")
                self.assertEqual((finished["error_message"], finished["title"]), ("", "Fake video"))


class RestartTest(unittest.TestCase):
    def test_stop_signal_saves_the_logs_ends_the_downloader_and_the_queue_comes_back(self):
        for stop_signal in (signal.SIGTERM, signal.SIGINT):
            with self.subTest(signal=stop_signal.name), PelkoServer(extra_path=[FAKE_DOWNLOADER_DIR]) as server:
                child = server.path("child.pid")
                release = server.path("release")
                running = server.command("queue_download", mode="audio", video_url=video_url(
                    fake_title="Running", fake_hold=release, fake_child=child)).json()["pelko_id"]
                server.wait_for_download(running, "downloading")
                waiting = server.command("queue_download", mode="video",
                                         video_url=video_url(fake_title="Waiting")).json()["pelko_id"]
                failed = server.command("queue_download", mode="audio",
                                        video_url=video_url(fake_fail="metadata")).json()["pelko_id"]
                wait_for_file(child)

                server.process.send_signal(stop_signal)
                self.assertEqual(server.wait(10), 0)
                self.assertFalse(process_runs(child))
                with open(server.path("log.json")) as saved:
                    messages = [item["message"] for item in json.load(saved)]
                self.assertIn("Shutting down server upon a stop signal...", messages)
                self.assertIn('Queued video "%s"...' % video_url(fake_title="Waiting"), messages)

                open(release, "w").close()
                server.start_again()
                self.assertTrue(server.wait_for_output("Restored 3 downloads of the last run."))
                session = server.command("fetch_session_cache").json()["cache"]
                self.assertEqual({entry["pelko_id"]: entry["restored"] for entry in session},
                                 {running: True, waiting: True, failed: True})
                self.assertEqual(server.wait_for_download(running, "finished")["title"], "Running")
                server.wait_for_download(waiting, "finished")
                self.assertEqual(entry_of(server, failed)["status"], "failed")

    def test_kill_yourself_keeps_the_queue_for_the_next_start(self):
        with PelkoServer(extra_path=[FAKE_DOWNLOADER_DIR], config={"downloader": {"num_threads": 0}}) as server:
            waiting = server.command("queue_download", mode="audio", video_url=video_url()).json()["pelko_id"]
            server.restart()
            entry = entry_of(server, waiting)
            self.assertEqual((entry["status"], entry["restored"]), ("queued", True))
            with open(server.path("dlcache/queue.json")) as queue:
                self.assertEqual([record["pelko_id"] for record in json.load(queue)], [waiting])


if __name__ == "__main__":
    unittest.main()
