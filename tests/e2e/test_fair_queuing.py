"""Queuing in turn: one address's burst of queue_download holds up no other address. The fake
youtube-dl's fake_metadata_seconds keeps the burst's fetches slow; its entries then join one a
second, each under a second of its own."""

import time
import unittest
import urllib.parse

from pelko_harness import FAKE_DOWNLOADER_DIR, BackgroundCommand, PelkoServer, entry_of

BURST = 12
FETCH_SECONDS = 1


def video_url(**switches):
    return "https://videos.example/watch?" + urllib.parse.urlencode(switches)


class FairQueuingTest(unittest.TestCase):

    def test_another_address_is_answered_while_a_burst_runs(self):
        with PelkoServer(extra_path=[FAKE_DOWNLOADER_DIR]) as server:
            burst = [BackgroundCommand(server, "queue_download", source="127.0.0.2", mode="audio",
                                       video_url=video_url(fake_title="Burst %d" % n,
                                                           fake_metadata_seconds=FETCH_SECONDS))
                     for n in range(BURST)]
            deadline = time.monotonic() + 10
            while server.output.count("fake_title=Burst") < BURST and time.monotonic() < deadline:
                time.sleep(0.05)

            started = time.monotonic()
            single = server.command("queue_download", source="127.0.0.3", mode="audio", timeout=60,
                                    video_url=video_url(fake_title="Single")).json()
            waited = time.monotonic() - started
            still_waiting = sum(1 for command in burst if command.reply is None)

            self.assertEqual(single["message"], "Download queued!", single)
            # A generous bound: the burst alone takes more than BURST seconds.
            self.assertLess(waited, BURST / 2)
            self.assertGreater(still_waiting, 0)

            for command in burst:
                command.join(60)
            replies = [command.reply.json() for command in burst]
            self.assertEqual([reply["message"] for reply in replies], ["Download queued!"] * BURST)

            # Every reply names its own entry, each under a second of its own.
            named = {single["pelko_id"]: "Single"}
            named.update({reply["pelko_id"]: "Burst %d" % n for n, reply in enumerate(replies)})
            self.assertEqual(len(named), BURST + 1)
            titles = {pelko_id: entry_of(server, pelko_id)["title"] for pelko_id in named}
            self.assertEqual(titles, named)
            seconds = sorted(entry["queued_timestamp"]
                             for entry in server.command("fetch_session_cache").json()["cache"])
            self.assertEqual(len(set(seconds)), BURST + 1)


if __name__ == "__main__":
    unittest.main()
