"""A subscription followed by the real yt-dlp: a page served on 127.0.0.1 that holds two
videos is listed flat as a playlist by yt-dlp's generic extractor; a third video appears on it
between two checks and is queued, downloaded and converted once."""

import os
import shutil
import time
import unittest

from media_fixtures import MediaSite, make_clip, offline_variables, stream_packets
from pelko_harness import PelkoServer

DOWNLOAD_TIMEOUT = 300


def write_page(directory, clips):
    with open(os.path.join(directory, "channel", "list.html"), "w") as page:
        page.write("<!DOCTYPE html>\n<html><head><title>Local channel</title></head><body>\n" +
                   "".join('<video controls src="%s"></video>\n' % clip for clip in clips) + "</body></html>\n")


class RealSubscriptionTest(unittest.TestCase):
    def test_a_video_that_appears_on_a_followed_page_is_downloaded_once(self):
        for program in ("yt-dlp", "ffmpeg", "ffprobe"):
            self.assertIsNotNone(shutil.which(program), program + " is missing (./pelko.sh test installs it)")
        site = MediaSite()
        self.addCleanup(site.close)
        for number in (1, 2, 3):
            make_clip(os.path.join(site.directory, "channel", "clip%d.mp4" % number), seconds=1, size="320x180",
                      video="h264", audio="aac", tone=300 * number)
        write_page(site.directory, ["clip1.mp4", "clip2.mp4"])

        with PelkoServer(environment=offline_variables()) as server:
            reply = server.command("add_subscription", url=site.url("channel/list.html"), mode="video", timeout=120)
            self.assertEqual(reply.status, 200, reply.body)
            subscription = reply.json()["subscription"]
            self.assertEqual((subscription["name"], subscription["videos_seen"], subscription["feed"]),
                             ("Local channel", 2, False))
            archive = server.path("subscriptions/%s.archive" % subscription["id"])
            with open(archive) as seen:
                self.assertEqual(seen.read().splitlines(), ["html5mediaembed list-1", "html5mediaembed list-2"])

            write_page(site.directory, ["clip1.mp4", "clip2.mp4", "clip3.mp4"])
            checked = server.command("check_subscription", id=subscription["id"], timeout=120).json()
            self.assertEqual((checked["new_videos"], checked["subscription"]["last_error"]), (1, ""), checked)
            self.assertEqual(server.command("check_subscription", id=subscription["id"], timeout=120).json()["new_videos"], 0)
            with open(archive) as seen:
                self.assertEqual(seen.read().splitlines()[-1], "html5mediaembed list-3")

            # The entry joins once its details are read.
            deadline = time.monotonic() + 120
            while not server.command("fetch_alltime_cache").json()["cache"]:
                self.assertLess(time.monotonic(), deadline, server.output)
                time.sleep(0.2)
            cache = server.command("fetch_alltime_cache").json()["cache"]
            self.assertEqual([(entry["video_url"], entry["subscription_name"]) for entry in cache],
                             [(site.url("channel/clip3.mp4"), "Local channel")])
            entry = server.wait_for_download(cache[0]["pelko_id"], "finished", timeout=DOWNLOAD_TIMEOUT)
            # The clip's streams as they are; the file gains the video's details as tags.
            self.assertEqual(stream_packets(server.path(entry["downloaded_filename"]), "V", "a"),
                             stream_packets(os.path.join(site.directory, "channel", "clip3.mp4"), "V", "a"))


if __name__ == "__main__":
    unittest.main()
