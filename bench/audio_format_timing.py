"""Seconds from queue_download to the finished sound file, through the server, in each audio
format, for one clip served on 127.0.0.1 as the big sites serve it (DASH with H.264 video and
separate AAC and Opus sound), with the real yt-dlp and ffmpeg. M4A and Opus keep the site's
stream; MP3 and FLAC convert it.

    python3 bench/audio_format_timing.py [--seconds 600] [--warm 3] build/release/pelko

For each format a fresh server: the first download after its start, then the median of the
warm ones. Prints a Markdown table with the codec and length of the result; nothing here
asserts a time, and nothing leaves the machine.
"""

import os
import statistics
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "tests", "e2e"))
import media_fixtures  # noqa: E402
import pelko_harness  # noqa: E402
from queue_to_mp4_timing import clip_timing_options, one_download  # noqa: E402

FORMATS = ("mp3", "m4a", "opus", "flac")


def main():
    options = clip_timing_options(__doc__, seconds=600, warm=3)
    with media_fixtures.MediaSite() as site:
        print("making the %d s clip..." % options.seconds, flush=True)
        manifest = media_fixtures.make_dash(site.directory, "dash", video=("h264",), audio=("aac", "opus"),
                                            seconds=options.seconds, size="640x360")
        print("| format | first after start (s) | warm, median of %d (s) | result |" % options.warm)
        print("|---|---|---|---|")
        for audio_format in FORMATS:
            with pelko_harness.PelkoServer(environment=media_fixtures.offline_variables()) as server:
                first, path = one_download(server, site.url(manifest), mode="audio", audio_format=audio_format)
                warm = [one_download(server, site.url(manifest), mode="audio", audio_format=audio_format)[0] for _ in range(options.warm)]
                info = media_fixtures.probe(path)
                length = media_fixtures.duration(path)
            print("| %s | %.1f | %.1f | %s, %.0f s |" % (audio_format, first, statistics.median(warm), info["audio"],
                                                       length), flush=True)


if __name__ == "__main__":
    main()
