"""Figures of the notifications, measured against a release build on 127.0.0.1 with the fake
downloader of tests/support and local receivers:

  - from a download's end (its downloader program has exited) to its webhook's arrival, and to its
    Apprise message (apprise's json://127.0.0.1:PORT/ target), for the first download after a
    start and warm;
  - a ninth client's latency while eight others poll the session list and a webhook target hangs
    (it answers only after the server's 10 s time-out), beside the same without any target.

    python3 bench/notification_delivery.py --pelko build/release/pelko [--rounds 8]

Prints a Markdown table; nothing here asserts a time.
"""

import argparse
import http.client
import json
import os
import statistics
import sys
import tempfile
import threading
import time
import urllib.parse

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

from pelko_harness import FAKE_DOWNLOADER_DIR, PelkoServer, Receiver  # noqa: E402

# Titles and descriptions as long as users' videos have them.
TITLE = ("Full walkthrough: restoring a 1970s reel-to-reel tape recorder, capstan, pinch roller and "
         "the whole transport — part %d of 12 (with timestamps)")

# Runs the fake downloader and notes, once a download (not a metadata fetch) has ended, when.
WRAPPER = """#!/usr/bin/env python3
import os, subprocess, sys, time
status = subprocess.call([%r] + sys.argv[1:])
if "-J" not in sys.argv and "--dump-json" not in sys.argv and "--version" not in sys.argv:
    with open(%r, "a") as ends:
        ends.write("%%.6f\\n" %% time.time())
sys.exit(status)
"""


def video_url(n):
    return "https://videos.example/watch?" + urllib.parse.urlencode({"n": n, "fake_title": TITLE % n})


def timed_receiver():
    """A Receiver that also notes the wall-clock time of each arrival."""
    receiver = Receiver()
    arrivals = []
    handler = receiver.server.RequestHandlerClass
    original = handler.do_POST

    def do_post(self):
        arrivals.append(time.time())
        original(self)

    handler.do_POST = do_post
    return receiver, arrivals


def delivery_times(rounds):
    """Per download: seconds from its program's end to its webhook, and to its Apprise message."""
    folder = tempfile.mkdtemp(prefix="pelko-bench-notify-")
    ends_file = os.path.join(folder, "ends.txt")
    wrapper = os.path.join(folder, "youtube-dl")
    with open(wrapper, "w") as out:
        out.write(WRAPPER % (os.path.join(FAKE_DOWNLOADER_DIR, "youtube-dl"), ends_file))
    os.chmod(wrapper, 0o755)

    hook, hook_times = timed_receiver()
    apprise, apprise_times = timed_receiver()
    config = {"notifications": {
        "webhooks": [{"url": hook.url, "events": ["finished"], "secret": "bench secret"}],
        "apprise_urls": ["json://127.0.0.1:%d/" % apprise.port], "apprise_events": ["finished"]}}
    results = []
    try:
        with PelkoServer(extra_path=[folder], config=config) as server:
            for n in range(rounds):
                pelko_id = server.command("queue_download", mode="audio", video_url=video_url(n)).json()["pelko_id"]
                hook.wait_for(n + 1, 60)
                apprise.wait_for(n + 1, 60)
                with open(ends_file) as ends:
                    end = float(ends.read().split()[n])
                finished = json.loads(hook.received[n][2])
                assert finished["event"] == "finished" and finished["entry"]["pelko_id"] == pelko_id
                message = json.dumps(json.loads(apprise.received[n][2]), ensure_ascii=False)
                assert ("Finished: " + TITLE % n) in message, message
                results.append((hook_times[n] - end, apprise_times[n] - end))
    finally:
        hook.close()
        apprise.close()
    return results


class Client:
    """One kept-alive connection to the server, as a browser keeps one: a new connection per
    request, bound to its source address as the harness makes them, costs the client more than
    the server takes to answer (the kernel looks for a free port among thousands just closed)."""

    def __init__(self, server):
        self.connection = http.client.HTTPConnection("127.0.0.1", server.port, timeout=30)

    def command(self, name):
        self.connection.request("POST", "/api", body=json.dumps({"request": name}).encode(),
                                headers={"Content-Type": "application/json"})
        reply = self.connection.getresponse()
        reply.read()
        return reply.status


def ninth_client(hang, seconds):
    """The ninth client's get_server_version times (ms) while eight clients poll fetch_session_cache;
    with `hang` a webhook target is told of every queued download and never answers in time."""
    receiver = Receiver()
    if hang:
        receiver.hang.set()
    config = {"downloader": {"num_threads": 0}}
    if hang:
        config["notifications"] = {"webhooks": [{"url": receiver.url, "events": ["queued"], "secret": ""}]}
    times = []
    try:
        with PelkoServer(extra_path=[FAKE_DOWNLOADER_DIR], config=config) as server:
            for n in range(8):
                server.command("queue_download", mode="audio", video_url=video_url(n))
            if hang:
                receiver.wait_for(1, 30)  # the first delivery now waits for its time-out
            stop = threading.Event()

            def poll():
                client = Client(server)
                while not stop.is_set():
                    client.command("fetch_session_cache")

            pollers = [threading.Thread(target=poll, daemon=True) for _ in range(8)]
            for poller in pollers:
                poller.start()
            ninth = Client(server)
            deadline = time.monotonic() + seconds
            while time.monotonic() < deadline:
                start = time.perf_counter()
                assert ninth.command("get_server_version") == 200
                times.append((time.perf_counter() - start) * 1000)
            stop.set()
            for poller in pollers:
                poller.join(30)
    finally:
        receiver.close()
    return times


def percentile(values, fraction):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(fraction * (len(ordered) - 1))))]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--pelko", required=True, help="the release build of pelko")
    parser.add_argument("--rounds", type=int, default=8, help="downloads in a row after one start")
    parser.add_argument("--seconds", type=float, default=8, help="how long the ninth client measures")
    args = parser.parse_args()
    os.environ["PELKO_BIN"] = os.path.abspath(args.pelko)

    deliveries = delivery_times(args.rounds)
    hooks = [hook * 1000 for hook, _ in deliveries]
    apprises = [apprise * 1000 for _, apprise in deliveries]
    calm = ninth_client(False, args.seconds)
    hung = ninth_client(True, args.seconds)

    print("| measure | first after a start | warm (median, worst) |")
    print("|---|---|---|")
    print("| a download's end to its webhook (POST received; %d downloads) | %.0f ms | %.0f ms, %.0f ms |"
          % (len(hooks), hooks[0], statistics.median(hooks[1:]), max(hooks[1:])))
    print("| a download's end to its Apprise message (json://127.0.0.1) | %.0f ms | %.0f ms, %.0f ms |"
          % (apprises[0], statistics.median(apprises[1:]), max(apprises[1:])))
    for name, times in (("no target", calm), ("a webhook target hanging", hung)):
        print("| a ninth client's get_server_version while 8 clients poll, %s (%d requests; p99) | %.2f ms | "
              "%.2f ms, %.2f ms (p99 %.2f ms) |"
              % (name, len(times), times[0], statistics.median(times[1:]), max(times[1:]), percentile(times[1:], 0.99)))


if __name__ == "__main__":
    main()
