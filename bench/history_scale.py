"""Years of history against the release build: the queries and the old full listings, each the
first time after a start and again (warm), the server's memory after each, and the page's
History in headless Chromium (time to the first results, size of the page).

    python3 bench/history_scale.py --pelko build/release/pelko [--no-browser]

Everything runs on 127.0.0.1 with bench/history.py's generated history; every request and
process has a time limit."""

import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.join(HERE, os.pardir)
sys.path.insert(0, os.path.join(SOURCE, "tests", "e2e"))
import history  # noqa: E402
from pelko_harness import PelkoServer  # noqa: E402

TIMEOUT = 120
WARM_SAMPLES = 5
BROWSER_TIMEOUT = 300


def rss_mb(server, field="VmRSS"):
    with open("/proc/%d/status" % server.process.pid) as status:
        for line in status:
            if line.startswith(field + ":"):
                return int(line.split()[1]) / 1024
    return float("nan")


def timed(server, name, **parameters):
    start = time.perf_counter()
    reply = server.command(name, timeout=TIMEOUT, **parameters)
    elapsed = time.perf_counter() - start
    if reply.status != 200:
        raise RuntimeError("%s answered %d: %r" % (name, reply.status, reply.body[:200]))
    return elapsed, len(reply.body)


def files_of(entries, messages):
    newest = int(time.time()) - 86400
    records = history.index_records(entries, newest)
    for record in records:
        # As a browser would fetch them: from the benchmark's stand-in host, where the page test serves them.
        record["thumbnail_url"] = "http://127.0.0.1/fake-thumbnails/%s.svg" % record["pelko_id"]
    files = {"dlcache/index.json": history.indented(records)}
    if messages:
        files["log.json"] = history.indented(history.log_messages(messages, newest))
    return files


# What each measure asks; the searches find a few dozen of the 50,000.
ASKED = [
    ("fetch_history, search", "fetch_history", {"search": "number 4242"}),
    ("fetch_history, search, by title", "fetch_history", {"search": "uploader 42", "sort": "title"}),
    ("fetch_logs, search, all time", "fetch_logs", {"search": "usage... (4242", "scope": "alltime"}),
    ("fetch_alltime_cache", "fetch_alltime_cache", {}),
    ("fetch_alltime_logs", "fetch_alltime_logs", {}),
]


def measure(label, entries, messages, asked, rows):
    """Each command on a server of its own: first after the start, then warm, RSS after each."""
    for name, command, parameters in asked:
        with PelkoServer(files=files_of(entries, messages)) as server:
            started = rss_mb(server)
            first, size = timed(server, command, **parameters)
            after_first = rss_mb(server)
            warm = statistics.median(timed(server, command, **parameters)[0] for _ in range(WARM_SAMPLES))
            rows.append((label, name, first, warm, size, started, after_first, rss_mb(server), rss_mb(server, "VmHWM")))


def everything_asked(entries, messages):
    """One server asked everything in turn, twice: the most it holds."""
    with PelkoServer(files=files_of(entries, messages)) as server:
        for _ in range(2):
            for _, command, parameters in ASKED:
                timed(server, command, **parameters)
            for offset in range(0, entries, 5000):
                timed(server, "fetch_history", offset=offset, limit=500, sort="size")
        return rss_mb(server), rss_mb(server, "VmHWM")


def browser_figures(entries, messages):
    """History's time to the first results and the page's size: after a start, and again; none
    where the browser tests are not installed (./pelko.sh test installs them)."""
    browser = os.path.join(SOURCE, "tests", "browser")
    if not os.access("/usr/bin/chromium", os.X_OK) or not os.path.isdir(
            os.path.join(browser, "node_modules", "playwright-core")):
        print("History in Chromium: not measured (no chromium or tests/browser/node_modules)")
        return []
    output = tempfile.mkdtemp(prefix="pelko-bench-browser-")
    figures = []
    server = PelkoServer(files=files_of(entries, messages))
    try:
        os.symlink(os.path.abspath(os.path.join(SOURCE, "frontend")), server.path("frontend"))
        server.start(timeout=TIMEOUT)
        for _ in range(2):
            run = subprocess.run(["node", "run-scenario.mjs", "history-at-scale", "http://127.0.0.1:%d" % server.port,
                                  output], cwd=os.path.join(SOURCE, "tests", "browser"), capture_output=True,
                                 text=True, timeout=BROWSER_TIMEOUT)
            if run.returncode != 0:
                raise RuntimeError("the History scenario failed:\n" + run.stderr[-3000:])
            figures.append(json.loads(run.stdout.strip().splitlines()[-1]))
    finally:
        server.close()
    return figures


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--pelko", required=True, help="the release build's binary")
    parser.add_argument("--no-browser", action="store_true", help="leave out the page's figures")
    arguments = parser.parse_args()
    os.environ["PELKO_BIN"] = os.path.abspath(arguments.pelko)

    rows = []
    measure("50,000 entries, 50,000 messages", 50000, 50000, ASKED, rows)
    measure("10,000 entries, 50,000 messages", 10000, 50000, [a for a in ASKED if a[1].startswith("fetch_alltime")],
            rows)
    print("| history | asked | first after start | warm (median of %d) | reply | RSS at start | RSS after "
          "first | RSS after warm | peak RSS |" % WARM_SAMPLES)
    print("|---|---|---|---|---|---|---|---|---|")
    for label, name, first, warm, size, started, after_first, after, peak in rows:
        print("| %s | `%s` | %.1f ms | %.1f ms | %.1f MB | %.0f MB | %.0f MB | %.0f MB | %.0f MB |" % (
            label, name, first * 1000, warm * 1000, size / 1e6, started, after_first, after, peak))
    resident, peak = everything_asked(50000, 50000)
    print("\nOne server, 50,000 entries and 50,000 messages, asked all of the above twice and every page "
          "of the history by size: RSS %.0f MB, peak %.0f MB" % (resident, peak))
    if not arguments.no_browser:
        for n, found in enumerate(browser_figures(50000, 50000)):
            print("History in Chromium at 50,000 (%s): first results after %d ms; %d elements; %d elements "
                  "and %d cards after scrolling 700 deep" % ("first after start" if n == 0 else "again",
                                                              found["first_results_ms"], found["dom_nodes"],
                                                              found["dom_nodes_deep"], found["cards_deep"]))


if __name__ == "__main__":
    main()
