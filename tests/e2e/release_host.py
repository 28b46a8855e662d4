"""A local stand-in for yt-dlp's release download folder, served on 127.0.0.1: "yt-dlp" (the
fake downloader of tests/support playing yt-dlp, with a version of its own) and
"SHA2-256SUMS", each as good, wrong, cut short or slow as a test asks; and beside it deno's
release folder with "deno-<machine>-unknown-linux-gnu.zip" (a script that answers --version
as deno does) and its ".sha256sum".

    with ReleaseHost(version="2099.01.01") as host:
        server = PelkoServer(config={"downloader": host.settings}, ...)
"""

import hashlib
import http.server
import io
import os
import threading
import zipfile

from pelko_harness import FAKE_DOWNLOADER_DIR


def fake_release(version):
    """The fake downloader's script answering `version` to --version."""
    with open(os.path.join(FAKE_DOWNLOADER_DIR, "youtube-dl")) as script:
        text = script.read()
    return text.replace('VERSION = "2021.12.17"', 'VERSION = "%s"' % version, 1).encode()


RUNTIME_ASSET = "deno-%s-unknown-linux-gnu.zip" % os.uname().machine


def fake_runtime(version):
    """A zip archive holding "deno", a script that answers --version as deno does."""
    script = "#!/bin/sh\necho 'deno %s (stable, release, x86_64-unknown-linux-gnu)'\necho 'v8 14.0'\n" % version
    archive = io.BytesIO()
    with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as zipped:
        zipped.writestr("deno", script)
    return archive.getvalue()


class ReleaseHost:
    """Serves the release folder at `url` and deno's at `runtime_url` (both in `settings`). `sum`
    replaces the program's true sum, `cut` sends only that many bytes of the program (announcing
    all of them), `runtime_sum` replaces the runtime archive's sum. With `held`, a request for the
    program sets `asked` and gets its answer only once `release()` was called."""

    def __init__(self, version="2099.01.01", sum=None, cut=None, held=False, runtime_version="2.5.6",
                 runtime_sum=None):
        self.program = fake_release(version)
        self.sum = sum or self.sum_of(self.program)
        self.runtime = fake_runtime(runtime_version)
        self.runtime_sum = runtime_sum or self.sum_of(self.runtime)
        self.cut = cut
        self.asked = threading.Event()
        self.program_requests = 0
        self._released = threading.Event()
        if not held:
            self._released.set()
        host = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                if self.path == "/release/SHA2-256SUMS":
                    body = ("%s  yt-dlp.exe\n%s  yt-dlp\n" % ("a" * 64, host.sum)).encode()
                    self.answer(body, len(body))
                elif self.path == "/release/yt-dlp":
                    host.program_requests += 1
                    host.asked.set()
                    host._released.wait(120)
                    self.answer(host.program[:host.cut], len(host.program))
                elif self.path == "/deno/" + RUNTIME_ASSET + ".sha256sum":
                    body = ("%s  %s\n" % (host.runtime_sum, RUNTIME_ASSET)).encode()
                    self.answer(body, len(body))
                elif self.path == "/deno/" + RUNTIME_ASSET:
                    self.answer(host.runtime, len(host.runtime))
                else:
                    self.send_error(404)

            def answer(self, body, announced):
                self.send_response(200)
                self.send_header("Content-Length", str(announced))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        self._server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self._server.daemon_threads = True
        threading.Thread(target=self._server.serve_forever, daemon=True).start()
        self.url = "http://127.0.0.1:%d/release/" % self._server.server_address[1]
        self.runtime_url = "http://127.0.0.1:%d/deno/" % self._server.server_address[1]
        self.settings = {"update_url": self.url, "js_runtime_url": self.runtime_url}

    def release(self):
        self._released.set()

    @staticmethod
    def sum_of(program):
        return hashlib.sha256(program).hexdigest()

    def close(self):
        self.release()
        self._server.shutdown()
        self._server.server_close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
