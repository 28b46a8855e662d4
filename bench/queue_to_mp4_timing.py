"""Seconds from queue_download to the finished MP4, through the server, for one 60 s 720p H.264
clip served on 127.0.0.1 in two ways (DASH with separate H.264 video and AAC and Opus sound, as
the big sites serve it; HLS with H.264/AAC renditions), with the real yt-dlp and ffmpeg, for
each server binary given: say one built before the format choice and one after it.

    python3 bench/queue_to_mp4_timing.py RUNS NAME=BINARY [NAME=BINARY ...]
    python3 bench/queue_to_mp4_timing.py 3 before=/tmp/pelko-main/build/pelko after=build/release/pelko

Each download runs alone (one at a time); the median and the fastest of RUNS are printed, with
the codecs of the result and whether it was re-encoded. Nothing leaves the machine.
"""

import argparse
import os
import statistics
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "tests", "e2e"))
import media_fixtures  # noqa: E402
import pelko_harness  # noqa: E402

TIMEOUT = 900


def clip_timing_options(description, seconds, warm):
    """The command line of a timing of one clip (the server binary, --seconds, --warm, with these
    defaults); PELKO_BIN is set to the binary for the harness."""
    parser = argparse.ArgumentParser(description=description, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("pelko")
    parser.add_argument("--seconds", type=int, default=seconds, help="the clip's length")
    parser.add_argument("--warm", type=int, default=warm, help="downloads after the first")
    options = parser.parse_args()
    os.environ["PELKO_BIN"] = os.path.abspath(options.pelko)
    return options


def one_download(server, url, mode="video", **parameters):
    """Seconds from the request to the finished entry, and the finished file's path; further
    queue_download parameters (an audio format, say) go with the request."""
    started = time.monotonic()
    reply = server.command("queue_download", video_url=url, mode=mode, timeout=TIMEOUT, **parameters)
    if reply.status != 200:
        raise RuntimeError(reply.body)
    pelko_id = reply.json()["pelko_id"]
    while True:
        entry = next(e for e in server.command("fetch_alltime_cache").json()["cache"] if e["pelko_id"] == pelko_id)
        if entry["status"] == "finished":
            return time.monotonic() - started, server.path(entry["downloaded_filename"])
        if entry["status"] == "failed" or time.monotonic() - started > TIMEOUT:
            raise RuntimeError("download %s: %r\n%s" % (pelko_id, entry, server.output))
        time.sleep(0.1)


def main():
    if len(sys.argv) < 3:
        raise SystemExit(__doc__)
    runs = int(sys.argv[1])
    binaries = dict(argument.split("=", 1) for argument in sys.argv[2:])
    with media_fixtures.MediaSite() as site:
        print("making the 60 s 720p clips...", flush=True)
        sources = {
            "DASH, H.264 video, AAC and Opus sound": media_fixtures.make_dash(
                site.directory, "dash", video=("h264",), audio=("aac", "opus"), seconds=60),
            "HLS, H.264/AAC in 720p and 360p": media_fixtures.make_hls_master(site.directory, seconds=60),
        }
        for source, path in sources.items():
            for name, binary in binaries.items():
                os.environ["PELKO_BIN"] = os.path.abspath(binary)
                with pelko_harness.PelkoServer(environment=media_fixtures.offline_variables()) as server:
                    results = [one_download(server, site.url(path)) for _ in range(runs)]
                    info = media_fixtures.probe(results[0][1])
                # The clips' H.264 is Constrained Baseline; a re-encode by yt-dlp gives High.
                re_encoded = info["profile"] != media_fixtures.H264_PROFILE
                seconds = [result[0] for result in results]
                print("%-40s %-8s median %6.1f s, fastest %6.1f s; %s %s/%s, %s"
                      % (source, name, statistics.median(seconds), min(seconds), info["video"], info["profile"],
                         info["audio"], "re-encoded" if re_encoded else "not re-encoded"), flush=True)


if __name__ == "__main__":
    main()
