"""Media for the tests that run the real yt-dlp and ffmpeg: a short clip made by ffmpeg,
served over HTTP on 127.0.0.1, and what ffprobe finds in a downloaded file."""

import functools
import http.server
import json
import subprocess
import threading
import urllib.parse


class _QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


class MediaSite:
    """Serves the files of `directory` on 127.0.0.1 from a thread of its own until closed."""

    def __init__(self, directory):
        self._server = http.server.ThreadingHTTPServer(
            ("127.0.0.1", 0), functools.partial(_QuietHandler, directory=directory))
        threading.Thread(target=self._server.serve_forever, daemon=True).start()

    def url(self, name):
        return "http://127.0.0.1:%d/%s" % (self._server.server_address[1], urllib.parse.quote(name))

    def close(self):
        self._server.shutdown()
        self._server.server_close()


def make_clip(path):
    """A few seconds of test picture and tone; WebM, so both modes have to convert."""
    subprocess.run(["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error",
                    "-f", "lavfi", "-i", "testsrc=duration=3:size=160x120:rate=10",
                    "-f", "lavfi", "-i", "sine=frequency=440:duration=3",
                    "-c:v", "libvpx", "-b:v", "200k", "-c:a", "libvorbis", "-shortest", path],
                   check=True, timeout=60)


def probe(path):
    """The container name and the kinds of streams ffprobe finds in the file."""
    result = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format=format_name:stream=codec_type",
                             "-of", "json", path], capture_output=True, text=True, check=True, timeout=60)
    info = json.loads(result.stdout)
    return info["format"]["format_name"], sorted(stream["codec_type"] for stream in info["streams"])
