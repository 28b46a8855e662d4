"""One address's queue_download while 8 other addresses send a burst of 200, against a release
build on 127.0.0.1 with the tests' fake youtube-dl, whose metadata runs take --fetch-seconds.
Measured twice on one server: the first burst after its start, then again (warm).

    python3 bench/queue_fairness.py --pelko build/release/pelko [--burst 200 --addresses 8]

"after its fetch" is the time from the end of that address's own metadata run (its start, seen in
the fake's call log, plus --fetch-seconds) to its reply. Prints a Markdown table; nothing here
asserts a time.
"""

import argparse
import json
import os
import sys
import tempfile
import threading
import time
import urllib.parse

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

from pelko_harness import FAKE_DOWNLOADER_DIR, PelkoServer  # noqa: E402

LONE = "127.0.3.1"
REPLY_TIMEOUT = 600
# Titles as long as users' videos have them.
TITLE = ("Live at the Harbour Festival 2026 — full concert with the Nordic Brass Ensemble and guests "
         "(remastered, 4K, with subtitles) part %d")


def video_url(title, fetch_seconds, round_name):
    # The round's name comes last, so that the server's "Queued video" lines can be counted by it.
    return "https://videos.example/watch?" + urllib.parse.urlencode(
        {"fake_title": title, "fake_metadata_seconds": fetch_seconds, "bench_round": round_name})


def call_started(call_log, url, found):
    """Watches the fake's call log for the metadata run of `url`; sets found["at"] when it appears."""
    while "at" not in found and not found.get("stop"):
        if os.path.exists(call_log):
            with open(call_log) as log:
                if any(url in json.loads(line) for line in log if line.strip()):
                    found["at"] = time.monotonic()
                    return
        time.sleep(0.01)


def one_burst(server, call_log, round_name, burst, addresses, fetch_seconds):
    sources = ["127.0.2.%d" % (n + 1) for n in range(addresses)]
    finished = []
    lock = threading.Lock()
    started = time.monotonic()

    def send(n):
        reply = server.command("queue_download", source=sources[n % addresses], mode="audio", timeout=REPLY_TIMEOUT,
                               video_url=video_url(TITLE % n, fetch_seconds, round_name))
        with lock:
            finished.append((time.monotonic(), reply.status))

    threads = [threading.Thread(target=send, args=(n,), daemon=True) for n in range(burst)]
    for thread in threads:
        thread.start()
    # The lone address asks once the burst's requests are all in.
    deadline = time.monotonic() + 30
    while server.output.count("bench_round=%s\"..." % round_name) < burst and time.monotonic() < deadline:
        time.sleep(0.05)

    url = video_url("The one other address", fetch_seconds, round_name + "-lone")
    found = {}
    watcher = threading.Thread(target=call_started, args=(call_log, url, found), daemon=True)
    watcher.start()
    asked = time.monotonic()
    reply = server.command("queue_download", source=LONE, mode="audio", timeout=REPLY_TIMEOUT, video_url=url)
    answered = time.monotonic()
    found["stop"] = True
    watcher.join(5)
    for thread in threads:
        thread.join(REPLY_TIMEOUT)
    fetched = found.get("at", asked) + fetch_seconds
    waiting_then = sum(1 for at, _ in finished if at > answered) + (burst - len(finished))
    return {"lone": answered - asked, "after fetch": answered - fetched, "lone status": reply.status,
            "burst": max(at for at, _ in finished) - started, "still waiting": waiting_then,
            "statuses": sorted(set(status for _, status in finished))}


def measure(burst=200, addresses=8, fetch_seconds=1.0, rounds=("first", "warm")):
    """The figures of the first burst after a start and of a second one (warm), or of `rounds`."""
    with tempfile.TemporaryDirectory(prefix="pelko-bench-") as scratch:
        call_log = os.path.join(scratch, "calls.log")
        with PelkoServer(extra_path=[FAKE_DOWNLOADER_DIR], environment={"PELKO_FAKE_DOWNLOADER_LOG": call_log}) as server:
            return [one_burst(server, call_log, name, burst, addresses, fetch_seconds) for name in rounds]

def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--pelko", required=True)
    parser.add_argument("--burst", type=int, default=200)
    parser.add_argument("--addresses", type=int, default=8)
    parser.add_argument("--fetch-seconds", type=float, default=1.0)
    args = parser.parse_args()
    os.environ["PELKO_BIN"] = os.path.abspath(args.pelko)
    rounds = measure(args.burst, args.addresses, args.fetch_seconds)
    print("Burst of %d queue_download from %d addresses, metadata runs of %.1f s; one more from %s."
          % (args.burst, args.addresses, args.fetch_seconds, LONE))
    print()
    print("| run | the other address: reply after its fetch | its whole wait | burst's replies waiting then "
          "| burst done after | statuses |")
    print("|---|---|---|---|---|---|")
    for name, figures in zip(("first after start", "warm"), rounds):
        print("| %s | %.2f s | %.2f s | %d | %.1f s | %s / %s |" % (
            name, figures["after fetch"], figures["lone"], figures["still waiting"], figures["burst"],
            figures["lone status"], ",".join(map(str, figures["statuses"]))))


if __name__ == "__main__":
    main()
