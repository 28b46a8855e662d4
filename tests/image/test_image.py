"""The container image that ./pelko.sh image builds, run under podman as its users run it: an
empty volume folder, ids chosen with PUID and PGID, the real yt-dlp and ffmpeg of the image
downloading a clip served on 127.0.0.1, `podman stop`, and a second start on the same volume.

    python3 tests/image/test_image.py pelko:0.53

Needs root. It runs itself in a network namespace of its own, so the server's port 6969 on every
interface is the test's own and nothing can reach beyond the loopback interface.
"""

import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.normpath(os.path.join(HERE, os.pardir, os.pardir))
sys.path.insert(0, os.path.join(SOURCE, "tests", "e2e"))
sys.path.insert(0, os.path.join(SOURCE, "tests", "package"))

from media_fixtures import MediaSite, make_clip, probe
from pelko_harness import PelkoProcess
from test_package import bring_up_loopback

IMAGE = None  # the image under test, from the command line
# What the machines without CAP_SYS_RESOURCE, with hybrid cgroups and without systemd need.
PODMAN = ["podman", "--runtime=runc", "--cgroup-manager=cgroupfs", "--events-backend=file"]
NAME = "pelko-image-test"
UID, GID = 1234, 2345
DOWNLOAD_TIMEOUT = 300
STOP_TIMEOUT = 10
# Limits at or below the machine's own, which a process without CAP_SYS_RESOURCE cannot raise.
RUN = ["run", "--rm", "--ulimit", "nofile=4096:4096", "--ulimit", "nproc=4096:4096", "--health-interval=disable"]


def podman(*arguments):
    return subprocess.run(PODMAN + list(arguments), capture_output=True, text=True, check=True).stdout


class ContainerServer(PelkoProcess):
    """The image's server in the container NAME, its console lines those of `podman run`."""

    def __init__(self, volume):
        command = PODMAN + RUN + ["--name", NAME, "--network=host", "--env", "PUID=%d" % UID,
                            "--env", "PGID=%d" % GID, "--volume", volume + ":/var/lib/pelko", IMAGE]
        super().__init__(command, volume, 6969, dict(os.environ))

    def start(self, timeout=60):
        subprocess.run(PODMAN + ["rm", "--force", "--ignore", NAME], capture_output=True, check=True)
        return super().start(timeout)

    def stop(self, timeout=STOP_TIMEOUT):
        """`podman stop` (SIGTERM, SIGKILL after `timeout` s); the container's exit status."""
        if not self.is_running():
            return self.process.returncode if self.process else None
        podman("stop", "--time", str(timeout), NAME)
        return self.wait(timeout)


class ImageTest(unittest.TestCase):
    def setUp(self):
        self.volume = tempfile.mkdtemp(prefix="pelko-volume-")
        self.addCleanup(shutil.rmtree, self.volume, ignore_errors=True)
        self.site = MediaSite()
        self.addCleanup(self.site.close)

    def wait_for_status(self, server, pelko_id, wanted):
        deadline = time.monotonic() + DOWNLOAD_TIMEOUT
        while True:
            entry = next(item for item in server.command("fetch_alltime_cache").json()["cache"]
                         if item["pelko_id"] == pelko_id)
            if entry["status"] in wanted:
                return entry
            self.assertNotEqual(entry["status"], "failed", server.output)
            self.assertLess(time.monotonic(), deadline, "%r\n%s" % (entry, server.output))
            time.sleep(0.5)

    def test_the_image_holds_no_compiler_and_no_package_lists(self):
        found = podman(*RUN, "--network=none", "--entrypoint", "/bin/sh", IMAGE, "-c",
                       "command -v gcc cc c++ g++ clang apt-get; "
                       "find /var/lib/apt/lists /var/cache/apt -type f ! -name lock; ls -A /var/lib/pelko")
        self.assertEqual(found, "")

    def test_a_first_start_in_an_empty_volume_downloads_stops_in_order_and_starts_again(self):
        make_clip(os.path.join(self.site.directory, "clip.webm"))
        make_clip(os.path.join(self.site.directory, "long.webm"), seconds=8)
        server = ContainerServer(self.volume)
        self.addCleanup(server.close)
        server.start()

        with open(os.path.join(self.volume, "config.json")) as config:
            self.assertEqual(json.load(config)["httpServer"],
                             {"port": "6969", "rootdir": "/usr/share/pelko/frontend"})
        page = server.request("/")
        self.assertEqual(page.status, 200)
        self.assertIn(b"<html", page.body.lower())
        self.assertEqual(server.command("get_os_name").json(), {"os_name": "Linux", "status": "OK"})
        self.assertEqual(subprocess.run(PODMAN + ["healthcheck", "run", NAME], capture_output=True).returncode, 0)
        self.assertEqual(podman("top", NAME, "user", "group", "args").split()[-3:],
                         [str(UID), str(GID), "/usr/bin/pelko"])

        clip = server.command("queue_download", video_url=self.site.url("clip.webm"), mode="video",
                              timeout=120).json()["pelko_id"]
        self.wait_for_status(server, clip, {"finished"})
        fetched = os.path.join(self.site.directory, "fetched.mp4")
        with open(fetched, "wb") as out:
            out.write(server.request("/download/" + clip, timeout=60).body)
        self.assertEqual(probe(fetched)["kinds"], ["audio", "video"])

        # A slow rate keeps the second download running until the stop.
        self.assertEqual(server.command("update_config", config={"downloader": {"max_dlrate_per_thread": "1K"}})
                         .json()["status"], "OK")
        running = server.command("queue_download", video_url=self.site.url("long.webm"), mode="audio",
                                 timeout=120).json()["pelko_id"]
        self.wait_for_status(server, running, {"downloading"})

        started = time.monotonic()
        self.assertEqual(server.stop(), 0, server.output)
        self.assertLess(time.monotonic() - started, STOP_TIMEOUT)
        with open(os.path.join(self.volume, "log.json")) as saved:
            self.assertIn("Shutting down server upon a stop signal...", [item["message"] for item in json.load(saved)])
        for folder, _, names in os.walk(self.volume):
            for name in [""] + names:
                owner = os.lstat(os.path.join(folder, name))
                self.assertEqual((owner.st_uid, owner.st_gid), (UID, GID), os.path.join(folder, name))

        server.start_again(timeout=60)
        self.assertTrue(server.wait_for_output("Restored 1 downloads of the last run."), server.output)
        history = {entry["pelko_id"]: entry for entry in server.command("fetch_alltime_cache").json()["cache"]}
        self.assertEqual(history[clip]["status"], "finished")
        self.assertIn(history[running]["status"], {"queued", "downloading"})
        self.assertTrue(history[running]["restored"])
        self.assertEqual(server.stop(), 0, server.output)


if __name__ == "__main__":
    if len(sys.argv) < 2:
        raise SystemExit("usage: test_image.py IMAGE [unittest options]")
    if "PELKO_IMAGE_TEST_NETNS" not in os.environ:
        # Not yet in a network namespace of its own: start again inside one.
        os.environ["PELKO_IMAGE_TEST_NETNS"] = "1"
        os.execvp("unshare", ["unshare", "--net", sys.executable, os.path.abspath(__file__)] + sys.argv[1:])
    IMAGE = sys.argv.pop(1)
    bring_up_loopback()
    unittest.main(verbosity=2)
