"""Figures of following many channels, measured against a release build on 127.0.0.1 with the
fake downloader of tests/support (channels of any length, listed flat) and a local Atom feed
standing in for YouTube's:

  - RSS with no subscription, with 100 subscriptions of 10,000-video channels, and with 100 of
    100-video channels (a subscription's cost must not grow with its channel);
  - the CPU time the server takes over a minute between checks;
  - check_subscription with nothing new, with 5 new videos, and on the feed path with nothing
    new: the first check after a start, and warm (the median of 5).

    python3 bench/subscriptions_scale.py --pelko build/release/pelko [--idle-seconds 60]

Prints a Markdown table; nothing here asserts a time.
"""

import argparse
import os
import statistics
import subprocess
import sys
import time
import urllib.parse

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

from pelko_harness import FAKE_DOWNLOADER_DIR, PelkoServer  # noqa: E402
from test_subscriptions import YOUTUBE_CHANNEL, FeedServer, subscription_calls  # noqa: E402

SUBSCRIPTIONS = 100
WARM_RUNS = 5
# As people name their channels, not "Fake channel".
TITLE = "Cooking with Grandma Rosa \u2014 Traditional Italian Recipes, Kitchen Tips & Family Stories (Official) #%d"


def channel_url(number, videos, grow):
    return "https://videos.example/channel?" + urllib.parse.urlencode(
        {"fake_channel": videos, "fake_list_id": "bench-%d-%d" % (videos, number), "fake_title": TITLE % number,
         "fake_grow": grow})


def rss_mb(server):
    with open("/proc/%d/status" % server.process.pid) as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024
    return float("nan")


def cpu_seconds(server):
    with open("/proc/%d/stat" % server.process.pid) as stat:
        fields = stat.read().rpartition(")")[2].split()
    # utime and stime, the 14th and 15th fields of the line.
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def timed(server, request, **parameters):
    start = time.perf_counter()
    reply = server.command(request, timeout=120, **parameters)
    elapsed = time.perf_counter() - start
    if reply.status != 200:
        raise RuntimeError("%s answered %d: %s" % (request, reply.status, reply.body))
    return elapsed, reply.json()


def fake_listing_seconds():
    """What one run of the fake downloader takes by itself: most of a check's time."""
    command = [os.path.join(FAKE_DOWNLOADER_DIR, "youtube-dl"), "-J", "--flat-playlist", "--yes-playlist",
               "--playlist-end", "50", channel_url(0, 10000, "/nonexistent")]
    times = []
    for _ in range(WARM_RUNS):
        start = time.perf_counter()
        subprocess.run(command, stdout=subprocess.DEVNULL, check=True, timeout=60)
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def ms(seconds):
    return "%.0f ms" % (seconds * 1000)


class Bench:
    def __init__(self, videos, feed):
        self.server = PelkoServer(extra_path=[FAKE_DOWNLOADER_DIR],
                                  config={"downloader": {"num_threads": 1},
                                          "subscriptions": {"feed_url": feed.url}},
                                  environment={"PELKO_FAKE_DOWNLOADER_LOG": "calls.log"}).start()
        self.videos = videos
        self.ids = []
        self.queued = 0

    def grow_file(self, number):
        return self.server.path("grow-%d" % number)

    def follow_all(self):
        times = []
        for number in range(SUBSCRIPTIONS):
            elapsed, reply = timed(self.server, "add_subscription",
                                   url=channel_url(number, self.videos, self.grow_file(number)))
            times.append(elapsed)
            self.ids.append(reply["subscription"]["id"])
        return times

    def check(self, number, new_videos=0):
        """One check of subscription `number`, after `new_videos` appeared on its channel."""
        if new_videos:
            with open(self.grow_file(number), "w") as grown:
                grown.write(str(new_videos))
        elapsed, reply = timed(self.server, "check_subscription", id=self.ids[number])
        if reply["new_videos"] != new_videos:
            raise RuntimeError("the check queued %d, not %d" % (reply["new_videos"], new_videos))
        return elapsed

    def settle(self):
        """Waits until every video queued so far has joined the list: until then their metadata
        fetches hold the slots that a listing must leave to clients, and the next check waits."""
        deadline = time.monotonic() + 120
        while True:
            cache = self.server.command("fetch_alltime_cache", timeout=60).json()["cache"]
            if len(cache) >= self.queued or time.monotonic() > deadline:
                return
            time.sleep(0.2)

    def first_and_warm(self, first, new_videos):
        """The check of subscription `first` right after a restart, then the median of the next
        ones, each once the videos of the one before have joined the list."""
        self.server.restart()
        cold = self.check(first, new_videos)
        warm = []
        for n in range(WARM_RUNS):
            self.queued += new_videos
            self.settle()
            warm.append(self.check(first + 1 + n, new_videos))
        self.queued += new_videos
        return cold, statistics.median(warm)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--pelko", required=True, help="the release build of pelko")
    parser.add_argument("--idle-seconds", type=int, default=60)
    arguments = parser.parse_args()
    os.environ["PELKO_BIN"] = os.path.abspath(arguments.pelko)

    feed = FeedServer()
    rows = []
    try:
        small = Bench(100, feed)
        small.follow_all()
        time.sleep(2)
        small_rss = rss_mb(small.server)
        small.server.close()

        bench = Bench(10000, feed)
        time.sleep(2)
        empty_rss = rss_mb(bench.server)
        adds = bench.follow_all()
        time.sleep(2)
        full_rss = rss_mb(bench.server)
        before = cpu_seconds(bench.server)
        time.sleep(arguments.idle_seconds)
        idle = cpu_seconds(bench.server) - before
        rows.append(("RSS: no subscription / 100 of 10,000-video channels / 100 of 100-video channels",
                     "%.1f MB / %.1f MB / %.1f MB (%.0f KB a subscription)"
                     % (empty_rss, full_rss, small_rss, (full_rss - empty_rss) * 1024 / SUBSCRIPTIONS)))
        rows.append(("CPU time over %d s without requests, 100 subscriptions, no check due" % arguments.idle_seconds,
                     "%.2f s (%.2f %% of a core)" % (idle, 100 * idle / arguments.idle_seconds)))
        rows.append(("add_subscription of a 10,000-video channel (listing the newest 50), %d adds" % SUBSCRIPTIONS,
                     "median %s, worst %s" % (ms(statistics.median(adds)), ms(max(adds)))))

        cold, warm = bench.first_and_warm(0, 0)
        rows.append(("check_subscription, nothing new (flat listing of 50)", "first after start %s, warm %s"
                     % (ms(cold), ms(warm))))
        cold, warm = bench.first_and_warm(10, 5)
        rows.append(("check_subscription, 5 new videos queued", "first after start %s, warm %s" % (ms(cold), ms(warm))))
        bench.settle()
        start = time.perf_counter()
        for number in range(20, 20 + WARM_RUNS):
            bench.check(number, 5)
        rows.append(("the same, %d checks back to back (each waits for the fetches of the videos before)" % WARM_RUNS,
                     "%s each" % ms((time.perf_counter() - start) / WARM_RUNS)))
        rows.append(("the fake downloader alone: one flat listing of 50 of a 10,000-video channel",
                     ms(fake_listing_seconds())))
        restarted_rss = rss_mb(bench.server)
        rows.append(("RSS after a restart with the 100 subscriptions", "%.1f MB" % restarted_rss))

        feed.videos = [("v%d" % n, "Fake video %d" % n, "https://videos.example/watch?fake_item=%d" % n)
                       for n in range(15, 0, -1)]
        _, reply = timed(bench.server, "add_subscription", url="https://videos.example/channel?" + urllib.parse.urlencode(
            {"fake_channel": 10000, "fake_channel_id": YOUTUBE_CHANNEL, "fake_list_id": "bench-feed"}))
        feed_id = reply["subscription"]["id"]
        listings = len(subscription_calls(bench.server))
        queries = len(feed.queries)
        bench.server.restart()
        cold = timed(bench.server, "check_subscription", id=feed_id)[0]
        warm = statistics.median(timed(bench.server, "check_subscription", id=feed_id)[0] for _ in range(WARM_RUNS))
        rows.append(("check_subscription on the feed path, nothing new (%d feed requests, %d listings for %d checks)"
                     % (len(feed.queries) - queries, len(subscription_calls(bench.server)) - listings, WARM_RUNS + 1),
                     "first after start %s, warm %s" % (ms(cold), ms(warm))))
        bench.server.close()
    finally:
        feed.close()

    print("Load average at the end: %s (other work on the machine slows every figure)."
          % " ".join(open("/proc/loadavg").read().split()[:3]))
    print()
    print("| measure (release build, fake downloader, 127.0.0.1) | result |")
    print("|---|---|")
    for measure, result in rows:
        print("| %s | %s |" % (measure, result))


if __name__ == "__main__":
    main()
