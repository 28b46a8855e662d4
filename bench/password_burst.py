"""Another client's latency while 20 addresses send wrong passwords as fast as they can, against
a release build on 127.0.0.1 with a password set. The other client sends the right password
with HTTP Basic (verified once before the burst).

    python3 bench/password_burst.py --pelko build/release/pelko [--seconds 10]

Prints a Markdown table; nothing here asserts a time.
"""

import argparse
import base64
import os
import statistics
import sys
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

from pelko_harness import PelkoServer  # noqa: E402

PASSWORD = "correct horse battery staple"
ADDRESSES = ["127.0.1.%d" % n for n in range(1, 21)]


def basic(password):
    return {"Authorization": "Basic " + base64.b64encode(("pelko:" + password).encode()).decode()}


def percentile(values, fraction):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(fraction * (len(ordered) - 1))))]


def measure(seconds):
    with PelkoServer() as server:
        assert server.command("set_password", password=PASSWORD).status == 200
        server.auth_headers = basic(PASSWORD)
        assert server.command("get_os_name").status == 200
        stop = time.monotonic() + seconds
        guesses = []

        def guess(source):
            while time.monotonic() < stop:
                reply = server.request("/api", b'{"request": "get_os_name"}', source=source,
                                       headers=basic("wrong"), timeout=60)
                guesses.append(reply.status)

        threads = [threading.Thread(target=guess, args=(address,), daemon=True) for address in ADDRESSES]
        for thread in threads:
            thread.start()
        times = []
        while time.monotonic() < stop:
            started = time.perf_counter()
            assert server.command("get_os_name", timeout=60).status == 200
            times.append((time.perf_counter() - started) * 1000)
        for thread in threads:
            thread.join(70)
        return times, guesses


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--pelko", required=True)
    parser.add_argument("--seconds", type=float, default=10)
    args = parser.parse_args()
    os.environ["PELKO_BIN"] = os.path.abspath(args.pelko)
    times, guesses = measure(args.seconds)
    print("| measure | result |")
    print("|---|---|")
    print("| another client's requests during the burst | %d |" % len(times))
    print("| their latency | median %.2f ms, p99 %.2f ms, worst %.2f ms |"
          % (statistics.median(times), percentile(times, 0.99), max(times)))
    print("| wrong guesses answered (401 / 429) | %d / %d |" % (guesses.count(401), guesses.count(429)))


if __name__ == "__main__":
    main()
