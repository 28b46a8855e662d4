"""retry_downloads and remove_download_entries: one request for several downloads, answered once
every change is done, listing what could not be done and why. The fake youtube-dl of
tests/support stands in for the downloader."""

import json
import os
import unittest
import urllib.parse

from pelko_harness import FAKE_DOWNLOADER_DIR, PelkoServer, entry_of, process_runs, wait_for_file


def video_url(**switches):
    return "https://videos.example/watch?" + urllib.parse.urlencode(switches)


def finished_record(pelko_id):
    return {"title": "Kept " + pelko_id, "description": "", "uploader": "", "duration": 1, "pelko_id": pelko_id,
            "webpage_url": "https://videos.example/" + pelko_id, "thumbnail_url": "", "download_progress": 100,
            "downloaded_filename": "dlcache/download/%s.mp3" % pelko_id, "download_url": "/download/" + pelko_id,
            "queued_timestamp": 1600000000, "mode": "audio", "status": "finished"}


FINISHED = ["old1", "old2", "old3"]
FILES = {"dlcache/index.json": json.dumps([finished_record(pelko_id) for pelko_id in FINISHED]),
         **{"dlcache/download/%s.mp3" % pelko_id: "sound" for pelko_id in FINISHED}}


def queue(server, **switches):
    reply = server.command("queue_download", mode="audio", video_url=video_url(**switches))
    return reply.json()["pelko_id"]


class BulkRetryTest(unittest.TestCase):
    def test_retries_what_failed_and_says_why_the_rest_could_not_be(self):
        with PelkoServer(extra_path=[FAKE_DOWNLOADER_DIR], files=FILES) as server:
            mended = server.path("mended")
            # Its details are fetched again, slowly: the reply waits for them.
            no_details = queue(server, fake_fail="metadata", fake_fail_until=mended, fake_metadata_seconds=1)
            broken = queue(server, fake_fail="download", fake_fail_until=mended)
            hopeless = queue(server, fake_fail="metadata")
            for pelko_id in (no_details, broken, hopeless):
                server.wait_for_download(pelko_id, "failed")
            open(mended, "w").close()

            reply = server.command("retry_downloads", ids=[no_details, broken, hopeless, "old1", "nothing", broken])
            self.assertEqual(reply.status, 200, reply.body)
            self.assertEqual(reply.json(), {
                "status": "OK", "message": "2 of 5 downloads queued again.", "done": [no_details, broken],
                "not_done": [
                    {"id": hopeless, "message": "The download failed again: ERROR: fake metadata failure for "
                                                + video_url(fake_fail="metadata")},
                    {"id": "old1", "message": "The download \"old1\" has finished, not failed: only failed "
                                              "downloads can be retried."},
                    {"id": "nothing", "message": "No download has the id \"nothing\"."}]})
            self.assertIn("Retrying 5 downloads...", server.output)
            for pelko_id in (no_details, broken):
                self.assertEqual(server.wait_for_download(pelko_id, "finished")["title"], "Fake video")


class BulkRemoveTest(unittest.TestCase):
    def test_removes_running_waiting_and_saved_downloads_at_once(self):
        with PelkoServer(extra_path=[FAKE_DOWNLOADER_DIR], files=FILES) as server:
            child = server.path("child.pid")
            running = queue(server, fake_hold=server.path("never"), fake_child=child)
            server.wait_for_download(running, "downloading")
            wait_for_file(child)
            waiting = queue(server, fake_title="Waiting")

            reply = server.command("remove_download_entries", ids=[running, "old1", waiting, "old3", "nothing"])
            self.assertEqual(reply.status, 200, reply.body)
            self.assertEqual(reply.json(), {
                "status": "OK", "message": "4 of 5 downloads removed.", "done": [running, "old1", waiting, "old3"],
                "not_done": [{"id": "nothing", "message": "No download has the id \"nothing\"."}]})
            # Answered once the running program had ended, with everything it started.
            self.assertFalse(process_runs(child))
            for pelko_id in (running, "old1", waiting, "old3"):
                self.assertIsNone(entry_of(server, pelko_id))
            self.assertEqual(sorted(os.listdir(server.path("dlcache/download"))), ["old2.mp3"])
            with open(server.path("dlcache/index.json")) as index:
                self.assertEqual([record["pelko_id"] for record in json.load(index)], ["old2"])

    def test_bad_ids_are_refused_and_nothing_is_removed(self):
        with PelkoServer(files=FILES) as server:
            cases = [({}, "Missing mandatory value 'ids'"), ({"ids": "old1"}, "\"ids\" is of wrong type"),
                     ({"ids": ["old1", 2]}, "Parameter 'ids' is of wrong value. Should be a list of pelko ids.")]
            for command in ("remove_download_entries", "retry_downloads"):
                for parameters, text in cases:
                    with self.subTest(command=command, parameters=parameters):
                        reply = server.command(command, **parameters)
                        self.assertEqual((reply.status, reply.json()["status"]), (400, "ERROR"))
                        self.assertIn(text, reply.json()["message"])
            self.assertEqual(server.command("fetch_history").json()["total"], len(FINISHED))
            empty = server.command("remove_download_entries", ids=[]).json()
            self.assertEqual((empty["message"], empty["done"], empty["not_done"]), ("0 of 0 downloads removed.", [], []))


if __name__ == "__main__":
    unittest.main()
