"""What a podcast app and a script with an app token cost, against a release build on 127.0.0.1 with a
password set: the feed of every finished download of a long history (long titles and descriptions, as
video sites write them) and a command sent with a token, each the first time after a start and warm.

    python3 bench/feeds_and_tokens.py --pelko build/release/pelko [--entries 10000] [--rounds 20]

Prints a Markdown table; nothing here asserts a time.
"""

import argparse
import base64
import json
import os
import statistics
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
sys.path.insert(0, os.path.join(ROOT, "bench"))

from history import index_records  # noqa: E402
from pelko_harness import PelkoServer  # noqa: E402

PASSWORD = "correct horse battery staple"
NEWEST = 1765000000
TITLE = "Live at the harbour festival: the whole concert with every encore, remastered in full (%d)"
DESCRIPTION = ("Recorded on the last evening of the festival. Setlist, credits and the links to the band's "
               "pages follow; thank you to everyone who came & sang along <3\n") * 12


def history(count):
    records = index_records(count, NEWEST)
    for n, record in enumerate(records):
        record["title"] = TITLE % n
        record["description"] = DESCRIPTION
    files = {"dlcache/index.json": json.dumps(records, indent=2)}
    for record in records:
        files[record["downloaded_filename"]] = b"x" * 1000
    return files


def token_command(server, request, **parameters):
    return server.request("/api", json.dumps(dict(parameters, request=request)).encode()).json()


def timed(fetch):
    started = time.perf_counter()
    reply = fetch()
    assert reply.status == 200, reply.body[:300]
    return (time.perf_counter() - started) * 1000, len(reply.body)


def measure(entries, rounds):
    with PelkoServer(files=history(entries)) as server:
        assert server.command("set_password", password=PASSWORD).status == 200
        server.auth_headers = {"Authorization": "Basic " + base64.b64encode(("pelko:" + PASSWORD).encode()).decode()}
        feeds = token_command(server, "create_api_token", name="podcast app", scope="feeds")["token"]
        full = token_command(server, "create_api_token", name="script", scope="full")["token"]
        anonymous = {"Authorization": ""}
        feed = lambda: server.request("/feeds/all.xml?token=" + feeds, headers=anonymous, timeout=120)  # noqa: E731
        command = lambda: server.request("/api", b'{"request": "get_os_name"}',  # noqa: E731
                                         headers={"Authorization": "Bearer " + full})
        with_password = lambda: server.request("/api", b'{"request": "get_os_name"}')  # noqa: E731
        password_headers = server.auth_headers
        server.auth_headers = {"Authorization": "Bearer " + full}
        results = {}
        for name, fetch in [("feed", feed), ("command", command), ("password", with_password)]:
            if name == "password":
                server.auth_headers = password_headers
            server.restart(timeout=120)
            first, size = timed(fetch)
            warm = [timed(fetch)[0] for _ in range(rounds)]
            results[name] = (first, statistics.median(warm), max(warm), size)
        return results


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--pelko", required=True)
    parser.add_argument("--entries", type=int, default=10000)
    parser.add_argument("--rounds", type=int, default=20)
    args = parser.parse_args()
    os.environ["PELKO_BIN"] = os.path.abspath(args.pelko)
    results = measure(args.entries, args.rounds)
    print("| measure | first after a start | warm (median of %d, worst) |" % args.rounds)
    print("|---|---|---|")
    first, median, worst, size = results["feed"]
    print("| `/feeds/all.xml?token=` with %d finished downloads (the newest 500 items, %.1f MB) | %.1f ms | %.1f ms, %.1f ms |"
          % (args.entries, size / 1e6, first, median, worst))
    first, median, worst, _ = results["command"]
    print("| `get_os_name` with `Authorization: Bearer` | %.2f ms | %.2f ms, %.2f ms |" % (first, median, worst))
    first, median, worst, _ = results["password"]
    print("| `get_os_name` with the password (HTTP Basic; the first one takes the slow hash) | %.2f ms | %.2f ms, %.2f ms |"
          % (first, median, worst))


if __name__ == "__main__":
    main()
