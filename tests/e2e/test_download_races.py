"""Removal, cancel and clear against work still in flight: metadata fetches of new entries,
of retried ones and of a playlist's videos. Whatever answered first, once a removal or a clear
has answered, nothing it took away comes back or answers as queued. The fake youtube-dl's
fake_metadata_seconds keeps the fetches in flight."""

import os
import time
import unittest
import urllib.parse

from pelko_harness import FAKE_DOWNLOADER_DIR, BackgroundCommand, PelkoServer, entry_of

FETCH_SECONDS = 3


def video_url(**switches):
    return "https://videos.example/watch?" + urllib.parse.urlencode(switches)


def session_ids(server):
    return [entry["pelko_id"] for entry in server.command("fetch_session_cache").json()["cache"]]


def files_named(server, pelko_id):
    found = []
    for folder in ("metadata", "download", "dlprogbuf"):
        path = server.path(os.path.join("dlcache", folder))
        found += [name for name in os.listdir(path) if name.startswith(pelko_id + ".")]
    return found


class RetryRaceTest(unittest.TestCase):
    """A failed entry whose details are fetched again, and a command about it 0.5 s later."""

    CASES = [
        # command, its reply, the retry's reply (status, message), the entry afterwards
        ("remove_download_entry", "Successfully removed.",
         (400, 'The download "{id}" was removed before it was queued again.'), None),
        ("cancel_download", "Download cancelled.",
         (200, "The download failed again: Cancelled."), "Cancelled."),
    ]

    def test_the_command_wins_over_the_retry(self):
        for command, message, (retry_status, retry_message), error in self.CASES:
            with self.subTest(command=command), PelkoServer(extra_path=[FAKE_DOWNLOADER_DIR]) as server:
                mend = server.path("mended")
                reply = server.command("queue_download", mode="audio", video_url=video_url(
                    fake_fail="metadata", fake_fail_until=mend, fake_metadata_seconds=FETCH_SECONDS)).json()
                pelko_id = reply["pelko_id"]
                self.assertEqual(entry_of(server, pelko_id)["status"], "failed")
                open(mend, "w").close()

                retry = BackgroundCommand(server, "retry_download", id=pelko_id)
                self.assertTrue(server.wait_for_output("Retrying download id " + pelko_id, 10))
                time.sleep(0.5)
                answer = server.command(command, id=pelko_id)
                self.assertEqual((answer.status, answer.json()["message"]), (200, message))
                retry.join(30)
                self.assertEqual((retry.reply.status, retry.reply.json()["message"]),
                                 (retry_status, retry_message.format(id=pelko_id)))

                # Longer than the fetch would have taken: nothing comes back.
                time.sleep(FETCH_SECONDS + 1)
                entry = entry_of(server, pelko_id)
                if error is None:
                    self.assertIsNone(entry)
                    self.assertEqual(files_named(server, pelko_id), [])
                else:
                    self.assertEqual((entry["status"], entry["error_message"]), ("failed", error))


class PlaylistRaceTest(unittest.TestCase):
    """A playlist whose first video's details are still being fetched under the id its reply named."""

    def queue_playlist(self, server, count=3):
        reply = server.command("queue_download", mode="audio", playlist=True, timeout=30, video_url=video_url(
            fake_playlist=count, fake_metadata_seconds=FETCH_SECONDS)).json()
        self.assertEqual(reply["message"], "Playlist queued!", reply)
        return reply["pelko_id"]

    def test_the_named_id_can_be_cancelled_or_removed_while_fetched(self):
        for command, message in (("cancel_download", "Download cancelled."),
                                 ("remove_download_entry", "Successfully removed.")):
            with self.subTest(command=command), PelkoServer(extra_path=[FAKE_DOWNLOADER_DIR]) as server:
                first = self.queue_playlist(server)
                self.assertNotIn(first, session_ids(server))
                answer = server.command(command, id=first, timeout=30)
                self.assertEqual((answer.status, answer.json()["message"]), (200, message))

                time.sleep(FETCH_SECONDS + 1)
                entry = entry_of(server, first)
                if command == "cancel_download":
                    self.assertEqual((entry["status"], entry["error_message"]), ("failed", "Cancelled."))
                else:
                    self.assertIsNone(entry)
                    self.assertEqual(files_named(server, first), [])

    def test_a_clear_takes_the_playlist_and_every_fetch_in_flight(self):
        with PelkoServer(extra_path=[FAKE_DOWNLOADER_DIR]) as server:
            first = self.queue_playlist(server, count=4)
            single = BackgroundCommand(server, "queue_download", mode="audio",
                                       video_url=video_url(fake_title="Single", fake_metadata_seconds=FETCH_SECONDS))
            self.assertTrue(server.wait_for_output("Queued video", 10))
            self.assertEqual(server.command("clear_download_cache").json()["message"],
                             "Download cache has been cleared!")
            single.join(30)
            self.assertEqual((single.reply.status, single.reply.json()["message"]),
                             (400, "The download was removed before its details had been read."))

            # Longer than the first video's fetch and the next's would have taken.
            time.sleep(2 * FETCH_SECONDS + 1)
            self.assertEqual(session_ids(server), [])
            self.assertEqual(server.command("fetch_alltime_cache").json()["cache"], [])
            self.assertEqual(files_named(server, first), [])
            for command in ("cancel_download", "remove_download_entry"):
                self.assertEqual(server.command(command, id=first).status, 400)


if __name__ == "__main__":
    unittest.main()
