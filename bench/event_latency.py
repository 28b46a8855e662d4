"""Milliseconds from a progress line of the downloader to its "entry" event on /events, through
the server binary given (the release build), with 10,000 downloads in the index and 50,000 log
messages. "First" is the first progress line of the first download after a start (one per
start, STARTS starts); "warm" is every later line of the downloads that follow.

    python3 bench/event_latency.py --pelko build/release/pelko [--starts 5] [--downloads 3]

The stand-in downloader (bench/progress-downloader/) notes when it wrote each line; the time
on the stream side is taken as the event's data is read. Everything runs on 127.0.0.1."""

import argparse
import os
import statistics
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, os.pardir, "tests", "e2e"))
import history  # noqa: E402
from pelko_harness import EventStream, PelkoServer  # noqa: E402

DOWNLOADER = os.path.join(HERE, "progress-downloader")
TIMEOUT = 120


def written_lines(path):
    with open(path) as log:
        return {int(percentage): float(moment) for percentage, moment in (line.split() for line in log)}


def one_download(server, stream, log_path, number):
    """Latencies in ms of the download's progress lines, in the order of the lines."""
    open(log_path, "w").close()
    url = "https://videos.example/watch?v=bench%d" % number
    pelko_id = server.command("queue_download", mode="audio", video_url=url, timeout=TIMEOUT).json()["pelko_id"]
    arrived = {}
    deadline = time.monotonic() + TIMEOUT
    while time.monotonic() < deadline:
        name, data = stream.next(TIMEOUT)
        now = time.time()
        if name != "entry" or data.get("pelko_id") != pelko_id:
            continue
        if data.get("status") == "downloading" and data.get("download_progress", 0) > 0:
            arrived.setdefault(data["download_progress"], now)
        if data.get("status") in ("finished", "failed"):
            break
    written = written_lines(log_path)
    return [(arrived[p] - written[p]) * 1000 for p in sorted(written) if p in arrived], len(written)


def summary(values):
    values = sorted(values)
    return "median %.1f ms, p90 %.1f ms, max %.1f ms (n=%d)" % (
        statistics.median(values), values[int(0.9 * (len(values) - 1))], values[-1], len(values))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--pelko", required=True)
    parser.add_argument("--starts", type=int, default=5)
    parser.add_argument("--downloads", type=int, default=3)
    options = parser.parse_args()
    os.environ["PELKO_BIN"] = os.path.abspath(options.pelko)

    now = int(time.time())
    files = {"dlcache/index.json": history.indented(history.index_records(10000, now - 86400)),
             "log.json": history.indented(history.log_messages(50000, now - 86400))}
    log_path = os.path.join(tempfile.mkdtemp(prefix="pelko-event-bench-"), "lines.log")
    first, warm, missed = [], [], 0
    for start in range(options.starts):
        with PelkoServer(files=files, extra_path=[DOWNLOADER], environment={"BENCH_PROGRESS_LOG": log_path}) as server:
            server.start()
            with EventStream(server) as stream:
                for number in range(options.downloads):
                    latencies, lines = one_download(server, stream, log_path, start * 100 + number)
                    missed += lines - len(latencies)
                    if number == 0:
                        first.append(latencies[0])
                        warm.extend(latencies[1:])
                    else:
                        warm.extend(latencies)
    print("progress line -> event, first after start: " + summary(first))
    print("progress line -> event, warm:              " + summary(warm))
    print("lines without an event of their own: %d" % missed)


if __name__ == "__main__":
    main()
