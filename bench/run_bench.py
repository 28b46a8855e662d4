"""Measures the release build of pelko with years of history, beside nginx serving the same
bytes, and prints one table: every measure, its figure, its goal and whether it is met.

    python3 bench/run_bench.py --pelko build/release/pelko --micro build/release/bench --work build/bench

Everything runs on 127.0.0.1; every request, load run and process has a time limit, and the
whole run stops itself after RUN_LIMIT_SECONDS."""

import argparse
import json
import os
import platform
import re
import signal
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, os.pardir, "tests", "e2e"))
import history  # noqa: E402
from nginx import Nginx  # noqa: E402
from pelko_harness import PelkoServer, free_port  # noqa: E402
import queue_fairness  # noqa: E402

RUN_LIMIT_SECONDS = 1800
REQUEST_TIMEOUT = 120  # the slowest listings take tens of seconds before the speed-ups
LOAD_SECONDS = 5
CONNECTIONS = 16
FAKE_DOWNLOADER = os.path.join(HERE, "fake-downloader")
GIB = 1024 ** 3


def note(text):
    print("bench: " + text, file=sys.stderr, flush=True)


def median_seconds(action, samples, budget=15.0):
    """The median time of up to `samples` runs; fewer once they have taken `budget` seconds."""
    times = []
    while len(times) < samples and sum(times) < budget:
        start = time.perf_counter()
        action()
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def ms(seconds):
    return "%.1f ms" % (seconds * 1000)


def memory_of(pid, field):
    """VmRSS or VmHWM of a process, in MB."""
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            if line.startswith(field + ":"):
                return int(line.split()[1]) / 1024
    return float("nan")


def machine():
    cpu = next((line.split(":", 1)[1].strip() for line in open("/proc/cpuinfo") if line.startswith("model name")),
               platform.machine())
    memory = next(int(line.split()[1]) for line in open("/proc/meminfo") if line.startswith("MemTotal"))
    nginx = subprocess.run(["nginx", "-v"], capture_output=True, text=True).stderr.strip()
    return "%s, %d cores, %.0f GiB, Linux %s; %s, wrk %s" % (
        cpu, os.cpu_count(), memory / 1024 ** 2, platform.release(), nginx.replace("nginx version: ", ""),
        subprocess.run(["wrk", "-v"], capture_output=True, text=True).stdout.split()[1])


def load_average():
    return " ".join(open("/proc/loadavg").read().split()[:3])


# The measures in the order of the performance table, with their goals.
MEASURES = [
    ("session cache", "`fetch_session_cache` with 10 session entries and 50,000 in the index", "< 5 ms"),
    ("queue", "`queue_download`, apart from the downloader, with 50,000 in the index", "< 20 ms"),
    ("alltime cache", "`fetch_alltime_cache`, 10,000 entries", "< 50 ms"),
    ("alltime logs", "`fetch_alltime_logs`, 50,000 messages", "< 250 ms"),
    ("session logs", "`fetch_session_logs`, 10,000 messages of this session", "< 30 ms"),
    ("log stall", "log autosave stall, 50,000 saved messages", "< 50 ms"),
    ("index save", "`index.json` save, 50,000 entries", "< 150 ms"),
    ("start-up", "start-up to listening, 50,000 entries and 50,000 messages", "< 1 s"),
    ("memory", "RSS with 50,000 entries loaded", "< 150 MB, peak < 200 MB"),
    ("fair queuing", "`queue_download` from one address during a burst of 200 from 8 others (metadata runs "
                     "of 1 s), from the end of its fetch to its reply, the first burst after a start", "< 2 s"),
    ("nested body", "one 1 MiB `/api` body nested 500 deep (any admitted client can send it)", "< 50 ms"),
    ("session cache rate", "`fetch_session_cache` with 29 entries, requests/s against nginx serving the same "
                           "bytes, 16 connections", "≥ 0.5×"),
    ("front end", "50 KB front-end file, requests/s against nginx, 16 connections", "≥ 0.7×"),
    ("download", "1 GiB `/download`, throughput against nginx with sendfile, 1 and 4 clients", "≥ 0.8×"),
]


class Table:
    def __init__(self):
        self.figures = {}

    def add(self, key, figure, met):
        self.figures[key] = (figure, "yes" if met else "no")
        note("%s: %s" % (key, figure))

    def render(self, header):
        lines = [header, "", "| measure | measured | goal | met |", "|---|---|---|---|"]
        for key, measure, goal in MEASURES:
            figure, met = self.figures.get(key, ("not measured", "no"))
            lines.append("| %s | %s | %s | %s |" % (measure, figure, goal, met))
        return "\n".join(lines) + "\n"


def wrk(url, script=None):
    """Requests per second and bytes per second of a 16-connection load on `url`."""
    command = ["wrk", "-t2", "-c%d" % CONNECTIONS, "-d%ds" % LOAD_SECONDS, "--timeout", "10s"]
    if script:
        command += ["-s", script]
    output = subprocess.run(command + [url], capture_output=True, text=True, timeout=LOAD_SECONDS + 60).stdout
    requests = float(re.search(r"Requests/sec:\s+([\d.]+)", output).group(1))
    if re.search(r"Non-2xx or 3xx responses", output):
        raise RuntimeError("wrk saw error replies from %s:\n%s" % (url, output))
    return requests


def throughput(url, clients, expected_bytes):
    """Bytes per second of `clients` downloads of `url` at once."""
    start = time.perf_counter()
    downloads = [subprocess.Popen(["curl", "-s", "-o", "/dev/null", "-w", "%{size_download}", url],
                                  stdout=subprocess.PIPE, text=True) for _ in range(clients)]
    sizes = [int(download.communicate(timeout=REQUEST_TIMEOUT)[0]) for download in downloads]
    elapsed = time.perf_counter() - start
    if sizes != [expected_bytes] * clients:
        raise RuntimeError("incomplete downloads from %s: %r" % (url, sizes))
    return clients * expected_bytes / elapsed


def startup_seconds(binary, workdir):
    """From the start of the process to its listener being up."""
    start = time.perf_counter()
    process = subprocess.Popen([binary], cwd=workdir, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                               stdin=subprocess.DEVNULL, text=True)
    try:
        for line in process.stdout:
            if "Started http-server successfully!" in line:
                return time.perf_counter() - start
        raise RuntimeError("pelko ended before listening")
    finally:
        process.kill()
        process.wait()


def queue(server, title):
    reply = server.command("queue_download", timeout=REQUEST_TIMEOUT,
                           video_url="https://videos.example/watch?v=" + title, mode="audio")
    if reply.status != 200:
        raise RuntimeError("queue_download failed: %r" % reply.body)
    return reply


def command_seconds(server, name, samples=3, **parameters):
    def ask():
        reply = server.command(name, timeout=REQUEST_TIMEOUT, **parameters)
        if reply.status != 200:
            raise RuntimeError("%s answered %d" % (name, reply.status))
    return median_seconds(ask, samples)


def fake_downloader_seconds():
    """What one metadata fetch of the benchmark's youtube-dl costs by itself."""
    program = os.path.join(FAKE_DOWNLOADER, "youtube-dl")
    return median_seconds(lambda: subprocess.run([program, "--dump-json", "--", "https://videos.example/x"],
                                                 stdout=subprocess.DEVNULL, check=True), 9)


def micro_benchmarks(directory, table):
    """Figures the main loop cannot show from outside: save stalls, run in-process."""
    results = {}
    for name in ("bench_logging", "bench_downloader"):
        output = subprocess.run([os.path.join(directory, name), "--benchmark_format=json"], capture_output=True,
                                text=True, timeout=600, check=True).stdout
        for run in json.loads(output)["benchmarks"]:
            results[run["name"].split("/")[0]] = run["real_time"] / 1000  # milliseconds to seconds
    table.add("log stall", ms(results["AutosaveStall"]), results["AutosaveStall"] < 0.050)
    first, later = results["FirstIndexSave"], results["IndexSave"]
    table.add("index save", "%s, %s the first time after a start, on a thread of its own" % (ms(later), ms(first)),
              max(first, later) < 0.150)
    note("loading a JSON log of 50,000 messages: " + ms(results["LoadJsonLog"]))


def years_of_history(binary, table):
    """50,000 downloads and 50,000 log messages."""
    now = int(time.time())
    files = {"dlcache/index.json": history.indented(history.index_records(50000, now - 86400)),
             "log.json": history.indented(history.log_messages(50000, now - 86400))}
    server = PelkoServer(extra_path=[FAKE_DOWNLOADER], files=files)
    try:
        startup = statistics.median(startup_seconds(binary, server.workdir) for _ in range(3))
        table.add("start-up", ms(startup), startup < 1)

        server.start(timeout=REQUEST_TIMEOUT)
        pid = server.process.pid
        resident = memory_of(pid, "VmRSS")
        command_seconds(server, "fetch_alltime_cache", samples=1)
        peak = memory_of(pid, "VmHWM")
        table.add("memory", "%.0f MB, %.0f MB peak after one listing" % (resident, peak),
                  resident < 150 and peak < 200)

        logs = command_seconds(server, "fetch_alltime_logs")
        table.add("alltime logs", ms(logs), logs < 0.250)

        body = history.nested_body()
        nested = median_seconds(lambda: server.request("/api", body, timeout=REQUEST_TIMEOUT), 3)
        table.add("nested body", ms(nested) + " for the whole request", nested < 0.050)

        own = fake_downloader_seconds()
        queued = []
        for n in range(10):
            # Ids are seconds: queuing in a new second keeps the wait for a free id out of the figure.
            time.sleep(1 - time.time() % 1)
            queued.append(median_seconds(lambda: queue(server, "s%d" % n), 1))
        apart = statistics.median(queued) - own
        table.add("queue", "%s (%s with the bench's youtube-dl, which takes %s alone)" % (
                      ms(apart), ms(statistics.median(queued)), ms(own)), apart < 0.020)

        session = command_seconds(server, "fetch_session_cache")
        table.add("session cache", ms(session), session < 0.005)
    finally:
        server.close()

    files = {"dlcache/index.json": history.indented(history.index_records(10000, now - 86400))}
    with PelkoServer(files=files) as server:
        # The first listing renders every entry; the server keeps the text for the next identical request.
        first = command_seconds(server, "fetch_alltime_cache", samples=1)
        again = command_seconds(server, "fetch_alltime_cache")
        table.add("alltime cache", "%s the first time, %s again" % (ms(first), ms(again)), first < 0.050)


def beside_nginx(work, table):
    """A busy session, and the files that nginx serves too."""
    big = history.index_records(1, int(time.time()) - 86400)[0]
    big.update(pelko_id="big", downloaded_filename="dlcache/download/big.mp4", download_url="/download/big",
               mode="video")
    files = {"dlcache/index.json": history.indented([big]), "frontend/bench.js": history.front_end_file()}
    with PelkoServer(extra_path=[FAKE_DOWNLOADER], files=files) as server:
        history.write_large_file(server.path("dlcache/download/big.mp4"), GIB)

        for _ in range(10000):
            server.command("get_os_name")  # each logs one message
        logs = command_seconds(server, "fetch_session_logs")
        table.add("session logs", ms(logs), logs < 0.030)

        for n in range(29):
            time.sleep(1 - time.time() % 1)
            queue(server, "n%d" % n)
        deadline = time.monotonic() + REQUEST_TIMEOUT
        while any(entry["status"] != "finished" for entry in server.command("fetch_session_cache").json()["cache"]):
            if time.monotonic() > deadline:
                raise RuntimeError("the session's downloads did not finish")
            time.sleep(0.5)
        reply = server.command("fetch_session_cache")
        with open(server.path("session_cache.json"), "wb") as out:
            out.write(reply.body)
        script = os.path.join(work, "fetch_session_cache.lua")
        with open(script, "w") as out:
            out.write('wrk.method = "POST"\nwrk.body = \'{"request": "fetch_session_cache"}\'\n'
                      'wrk.headers["Content-Type"] = "application/json"\n')

        base = "http://127.0.0.1:%d" % server.port
        with Nginx(server.workdir, free_port(), os.path.join(work, "nginx")) as nginx:
            ours, theirs = side_by_side(lambda: wrk(base + "/api", script),
                                        lambda: wrk(nginx.url("/session_cache.json")))
            table.add("session cache rate", ratio(ours, theirs, "%.0f"), ours / theirs >= 0.5)
            ours, theirs = side_by_side(lambda: wrk(base + "/bench.js"), lambda: wrk(nginx.url("/frontend/bench.js")))
            table.add("front end", ratio(ours, theirs, "%.0f"), ours / theirs >= 0.7)

            figures, ratios = [], []
            for clients in (1, 4):
                ours, theirs = side_by_side(lambda: throughput(base + "/download/big", clients, GIB) / 1e9,
                                            lambda: throughput(nginx.url("/dlcache/download/big.mp4"), clients,
                                                               GIB) / 1e9)
                plural = "s" if clients > 1 else ""
                figures.append("%d client%s: %s GB/s" % (clients, plural, ratio(ours, theirs, "%.2f")))
                ratios.append(ours / theirs)
            table.add("download", ", ".join(figures), min(ratios) >= 0.8)


def side_by_side(ours, theirs, rounds=3):
    """Medians of `rounds` alternate runs of both, so that a burst of load elsewhere on the
    machine falls on both alike."""
    figures = [(ours(), theirs()) for _ in range(rounds)]
    return statistics.median(f[0] for f in figures), statistics.median(f[1] for f in figures)


def ratio(ours, theirs, number):
    return ("%.2f× (" + number + " against " + number + ")") % (ours / theirs, ours, theirs)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--pelko", required=True, help="the release build's binary")
    parser.add_argument("--micro", required=True, help="the folder of the Google Benchmark executables")
    parser.add_argument("--work", required=True, help="a folder for generated files and the report")
    arguments = parser.parse_args()

    signal.signal(signal.SIGALRM, lambda *_: sys.exit("bench: gave up after %d s" % RUN_LIMIT_SECONDS))
    signal.alarm(RUN_LIMIT_SECONDS)
    os.makedirs(arguments.work, exist_ok=True)
    os.environ["PELKO_BIN"] = os.path.abspath(arguments.pelko)

    load_before = load_average()
    table = Table()
    micro_benchmarks(arguments.micro, table)
    years_of_history(os.environ["PELKO_BIN"], table)
    beside_nginx(os.path.abspath(arguments.work), table)
    fair = queue_fairness.measure(rounds=("first",))[0]
    table.add("fair queuing", "%.2f s (%.2f s in all; the burst took %.0f s)"
              % (fair["after fetch"], fair["lone"], fair["burst"]), fair["after fetch"] < 2)

    header = "Machine: %s. Load average %s before the run, %s after." % (machine(), load_before, load_average())
    report = table.render(header)
    with open(os.path.join(arguments.work, "report.md"), "w") as out:
        out.write(report)
    print(report)


if __name__ == "__main__":
    main()
