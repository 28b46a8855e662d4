"""Seconds from the metadata fetch to the finished MP4 for one 60 s 720p H.264 clip, served on
127.0.0.1 in three ways, with the real yt-dlp and ffmpeg: with the video arguments the server
had before Downloader::FormatChoice (--recode-video mp4) and with FormatChoice's.

    cmake --build build/release --target pelko_format_arguments   # a build with PELKO_TESTS=ON
    PELKO_FORMAT_ARGUMENTS=build/release/tests/pelko_format_arguments python3 bench/format_choice_timing.py 3

The argument is the number of runs of each case (default 3); the median and the fastest are
printed. Nothing leaves the machine.
"""

import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "tests", "e2e"))
import media_fixtures  # noqa: E402

METADATA = ["--skip-download", "--no-warnings", "--socket-timeout", "5", "--dump-json"]
DOWNLOAD = ["--newline", "--no-call-home", "--no-playlist", "--no-part", "--no-warnings", "--socket-timeout", "5",
            "--limit-rate", "100M", "--no-mtime", "--no-cache-dir"]
BEFORE = ["--recode-video", "mp4", "--prefer-ffmpeg"]


def format_arguments(*arguments):
    return subprocess.run([os.environ["PELKO_FORMAT_ARGUMENTS"], *arguments], capture_output=True, text=True,
                          check=True).stdout.splitlines()


def run(work, environment, *arguments):
    result = subprocess.run(["yt-dlp", *arguments], cwd=work, env=environment, capture_output=True, text=True)
    if result.returncode != 0:
        raise RuntimeError(result.stdout + result.stderr)
    return result.stdout


def one_run(url, arguments_of, environment):
    """Seconds for the metadata fetch and for the download, and what came out."""
    work = tempfile.mkdtemp(prefix="pelko-timing-")
    try:
        started = time.monotonic()
        metadata = run(work, environment, *METADATA, *arguments_of("selection"), "--", url)
        fetched = time.monotonic()
        with open(os.path.join(work, "metadata.json"), "w") as out:
            out.write(metadata)
        log = run(work, environment, *DOWNLOAD, *arguments_of(os.path.join(work, "metadata.json")),
                  "-o", "id.%(ext)s", "--", url)
        finished = time.monotonic()
        info = media_fixtures.probe(os.path.join(work, "id.mp4"))
        outcome = "%s/%s, %s" % (info["video"], info["audio"],
                                 "re-encoded" if "[VideoConvertor] Converting video" in log else "not re-encoded")
        return fetched - started, finished - fetched, outcome
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main():
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 3
    environment = dict(os.environ, **media_fixtures.offline_variables())
    with media_fixtures.MediaSite() as site:
        print("making the 60 s 720p clips...", flush=True)
        sources = {
            "HLS, H.264/AAC in 720p and 360p": media_fixtures.make_hls_master(site.directory, seconds=60),
            "DASH, H.264 video, AAC and Opus sound": media_fixtures.make_dash(
                site.directory, "h264", video=("h264",), audio=("aac", "opus"), seconds=60),
            "DASH, H.264 and VP9 video, AAC and Opus sound": media_fixtures.make_dash(
                site.directory, "h264-vp9", video=("h264", "vp9"), audio=("aac", "opus"), seconds=60),
        }
        choices = {
            "before (--recode-video mp4)": lambda which: [] if which == "selection" else BEFORE,
            "FormatChoice": lambda which: format_arguments("selection", "video", "best", "yt-dlp")
            if which == "selection" else format_arguments("download", "video", "best", "yt-dlp", which),
        }
        for source, path in sources.items():
            for choice, arguments_of in choices.items():
                results = [one_run(site.url(path), arguments_of, environment) for _ in range(runs)]
                totals = [fetch + download for fetch, download, _ in results]
                print("%-46s %-28s total median %6.1f s, fastest %6.1f s (metadata median %4.1f s); %s"
                      % (source, choice, statistics.median(totals), min(totals),
                         statistics.median(fetch for fetch, _, _ in results), results[0][2]), flush=True)


if __name__ == "__main__":
    main()
