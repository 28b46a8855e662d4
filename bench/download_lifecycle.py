"""Figures of the download life, measured against a release build on 127.0.0.1 with the fake
downloader of tests/support (and the real yt-dlp and ffmpeg for one of them):

  - another client's latency while four metadata fetches of 5 s each are in flight;
  - the time from remove_download_entry to the downloader and everything it started gone;
  - SIGKILLs at random moments while downloads are queued, run and finish: files that no
    longer parse, and acknowledged downloads that a restart no longer knows.

    python3 bench/download_lifecycle.py --pelko build/release/pelko [--kills 50]

Prints a Markdown table; nothing here asserts a time.
"""

import argparse
import json
import os
import random
import signal
import statistics
import subprocess
import sys
import threading
import time
import urllib.parse

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

from pelko_harness import FAKE_DOWNLOADER_DIR, PelkoServer, process_runs, wait_for_file  # noqa: E402
from media_fixtures import MediaSite  # noqa: E402


def fake_url(**switches):
    return "https://videos.example/watch?" + urllib.parse.urlencode(switches)


def percentile(values, fraction):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(fraction * (len(ordered) - 1))))]


def latency_while_fetching():
    """Another client's request times while four slow metadata fetches run."""
    with PelkoServer(extra_path=[FAKE_DOWNLOADER_DIR], config={"downloader": {"num_threads": 0}}) as server:
        fetches = [threading.Thread(target=server.command, args=("queue_download",), daemon=True,
                                    kwargs={"mode": "audio", "timeout": 60,
                                            "video_url": fake_url(fake_metadata_seconds=5, n=n)})
                   for n in range(4)]
        for fetch in fetches:
            fetch.start()
        server.wait_for_output("Queued video", 10)
        times = []
        while any(fetch.is_alive() for fetch in fetches):
            start = time.perf_counter()
            reply = server.command("fetch_session_cache")
            times.append((time.perf_counter() - start) * 1000)
            assert reply.status == 200
        return times


def removal_times(rounds):
    """Seconds from remove_download_entry to its reply, with the fake downloader and its child."""
    results = []
    with PelkoServer(extra_path=[FAKE_DOWNLOADER_DIR]) as server:
        for n in range(rounds):
            child = server.path("child-%d.pid" % n)
            pelko_id = server.command("queue_download", mode="audio", video_url=fake_url(
                fake_hold=server.path("never"), fake_child=child, n=n)).json()["pelko_id"]
            server.wait_for_download(pelko_id, "downloading")
            wait_for_file(child)
            start = time.perf_counter()
            server.command("remove_download_entry", id=pelko_id)
            results.append(time.perf_counter() - start)
            assert not process_runs(child), "the downloader's child outlived the reply"
    return results


def real_removal_time():
    """The same with the real yt-dlp, stopped in the middle of a rate-limited download."""
    site = MediaSite()
    subprocess.run(["ffmpeg", "-nostdin", "-loglevel", "error", "-f", "lavfi", "-i", "testsrc=duration=30:size=1280x720:rate=25",
                    "-f", "lavfi", "-i", "sine=duration=30", "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac",
                    os.path.join(site.directory, "clip.mp4")], check=True)
    try:
        with PelkoServer(config={"downloader": {"max_dlrate_per_thread": "50K"}}) as server:
            pelko_id = server.command("queue_download", mode="video", video_url=site.url("clip.mp4"),
                                      timeout=60).json()["pelko_id"]
            server.wait_for_download(pelko_id, "downloading", timeout=60)
            time.sleep(2)
            start = time.perf_counter()
            server.command("remove_download_entry", id=pelko_id, timeout=30)
            elapsed = time.perf_counter() - start
            left = subprocess.run(["pgrep", "-f", "yt-dlp.*" + pelko_id], capture_output=True).stdout
            return elapsed, not left
    finally:
        site.close()


def parses(path):
    try:
        with open(path) as document:
            json.load(document)
        return True
    except FileNotFoundError:
        return True
    except ValueError:
        return False


def kill_test(kills, seed):
    """SIGKILLs at random moments; returns (unreadable files, acknowledged entries lost)."""
    rng = random.Random(seed)
    unreadable = 0
    lost = 0
    acknowledged = set()
    server = PelkoServer(extra_path=[FAKE_DOWNLOADER_DIR], config={"downloader": {"num_threads": 2}})
    server.start()
    try:
        for _ in range(kills):
            stop = threading.Event()

            def queue_some():
                n = 0
                while not stop.is_set():
                    try:
                        reply = server.command("queue_download", mode=rng.choice(["audio", "video"]), timeout=5,
                                               video_url=fake_url(fake_slow=rng.choice(["0", "0.3", "1"]), n=n))
                        if reply.status == 200:
                            acknowledged.add(reply.json()["pelko_id"])
                    except OSError:
                        return
                    n += 1

            client = threading.Thread(target=queue_some, daemon=True)
            client.start()
            time.sleep(rng.uniform(0.05, 1.5))
            server.process.send_signal(signal.SIGKILL)
            server.wait()
            stop.set()
            client.join(10)

            for name in ("config.json", "log.json", "dlcache/index.json", "dlcache/queue.json"):
                unreadable += not parses(server.path(name))
            server.start_again()
            known = {entry["pelko_id"] for entry in server.command("fetch_alltime_cache").json()["cache"]}
            lost += len(acknowledged - known)
            acknowledged &= known
    finally:
        server.close()
    return unreadable, lost


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--pelko", required=True, help="the release build of pelko")
    parser.add_argument("--kills", type=int, default=50)
    parser.add_argument("--seed", type=int, default=1)
    arguments = parser.parse_args()
    os.environ["PELKO_BIN"] = os.path.abspath(arguments.pelko)

    latencies = latency_while_fetching()
    removals = removal_times(10)
    real_seconds, real_clean = real_removal_time()
    unreadable, lost = kill_test(arguments.kills, arguments.seed)

    print("| measure | result | goal |")
    print("|---|---|---|")
    print("| another client's latency while 4 metadata runs of 5 s are in flight (%d requests) | p99 %.2f ms, worst %.2f ms, median %.2f ms | p99 < 20 ms |"
          % (len(latencies), percentile(latencies, 0.99), max(latencies), statistics.median(latencies)))
    print("| remove_download_entry of a running download to its reply, program and its child gone (fake, 10 runs) | median %.0f ms, worst %.0f ms | |"
          % (statistics.median(removals) * 1000, max(removals) * 1000))
    print("| the same with the real yt-dlp in the middle of a download | %.0f ms, %s | |"
          % (real_seconds * 1000, "nothing left" if real_clean else "a yt-dlp process was left"))
    print("| %d SIGKILLs while downloads are queued, run and finish | %d unreadable files, %d acknowledged entries lost | 0 and 0 |"
          % (arguments.kills, unreadable, lost))


if __name__ == "__main__":
    main()
