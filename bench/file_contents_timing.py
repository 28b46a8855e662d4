"""Seconds from queue_download to the finished file, through the server with a library folder,
for one clip served on 127.0.0.1 in two ways, with the real yt-dlp and ffmpeg: as a page whose
JSON-LD names its details, thumbnail and chapters (the file gets tags, cover and chapters; the
library gets the .nfo, the thumbnail and the show's files), and as the bare MP4 file (tags only,
nothing to fetch). The difference is what filling the file costs.

    python3 bench/file_contents_timing.py [--seconds 120] [--warm 2] build/release/pelko

For each row a fresh server: the first download after its start, then the median of the warm
ones. Prints a Markdown table; nothing here asserts a time, and nothing leaves the machine.
"""

import os
import shutil
import statistics
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "tests", "e2e"))
import media_fixtures  # noqa: E402
import pelko_harness  # noqa: E402
from queue_to_mp4_timing import clip_timing_options, one_download  # noqa: E402


def main():
    options = clip_timing_options(__doc__, seconds=120, warm=2)
    with media_fixtures.MediaSite() as site:
        print("making the %d s clip..." % options.seconds, flush=True)
        page, _ = media_fixtures.make_described_page(site, seconds=options.seconds)
        sources = {"page with details, thumbnail, chapters": page, "bare MP4 file": "described/clip.mp4"}
        print("| download | source | first after start (s) | warm, median of %d (s) | covers, chapters |" % options.warm)
        print("|---|---|---|---|---|")
        for mode, parameters in (("video", {}), ("audio", {"audio_format": "m4a"})):
            for source, path in sources.items():
                library = tempfile.mkdtemp(prefix="pelko-bench-library-")
                config = {"library": {"dir": library}}
                with pelko_harness.PelkoServer(environment=media_fixtures.offline_variables(), config=config) as server:
                    first, made = one_download(server, site.url(path), mode=mode, **parameters)
                    warm = [one_download(server, site.url(path), mode=mode, **parameters)[0] for _ in range(options.warm)]
                    held = media_fixtures.contents(made)
                shutil.rmtree(library, ignore_errors=True)
                what = "MP4" if mode == "video" else parameters["audio_format"].upper()
                print("| %s | %s | %.1f | %.1f | %d, %d |" % (what, source, first, statistics.median(warm),
                                                             held["covers"], len(held["chapters"])), flush=True)


if __name__ == "__main__":
    main()
