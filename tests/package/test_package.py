"""The Debian package that ./pelko.sh package builds: its files and control fields, what lintian
says of it, and its life on a machine. It is installed with dpkg into a scratch root (a
copy-on-write view of this machine's own file system, so the machine itself stays as it was),
the installed server is started as its systemd unit would start it (unit_sandbox.py), serves
its page and downloads with the fake and with the real downloader, and the package is removed,
installed again and purged.

    python3 tests/package/test_package.py build/package/pelko_0.53_amd64.deb

Needs root. It runs itself in private mount, network and process namespaces: the scratch roots
and every process started in them end with the test, nothing can reach beyond the loopback
interface, and the server's default port 6969 on every interface is the test's own.
"""

import fcntl
import gzip
import io
import json
import os
import shutil
import signal
import socket
import stat
import struct
import subprocess
import sys
import tarfile
import tempfile
import time
import unittest
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.normpath(os.path.join(HERE, os.pardir, os.pardir))
sys.path.insert(0, os.path.join(SOURCE, "tests", "e2e"))

from media_fixtures import MediaSite, make_clip, probe
from pelko_harness import PelkoProcess, wait_for_file
from release_host import ReleaseHost
from scratch_root import ScratchRoot

PACKAGE = None  # the .deb under test, from the command line
UNIT = "/usr/lib/systemd/system/pelko.service"
STATE_DIR = "/var/lib/pelko"
FRONTEND = "/usr/share/pelko/frontend"
DOC_DIR = "/usr/share/doc/pelko"
FIRST_CONFIG = {"httpServer": {"rootdir": FRONTEND}}
DOWNLOAD_TIMEOUT = 300
# The unit's TimeoutStopSec=: the server must have ended by then.
STOP_TIMEOUT = 30


def output(*command):
    return subprocess.run(command, capture_output=True, text=True, check=True).stdout


def control_fields():
    fields, key = {}, None
    for line in output("dpkg-deb", "--field", PACKAGE).splitlines():
        if line.startswith(" "):
            fields[key] += "\n" + line
        else:
            key, _, value = line.partition(": ")
            fields[key] = value
    return fields


def package_names(relation_field):
    """The package names of a Depends-like field, alternatives included."""
    return {alternative.split()[0] for relation in relation_field.split(",") for alternative in relation.split("|")}


def packaged_file(path):
    """The content of `path` in the package's data."""
    data = subprocess.run(["dpkg-deb", "--fsys-tarfile", PACKAGE], capture_output=True, check=True).stdout
    with tarfile.open(fileobj=io.BytesIO(data)) as archive:
        return archive.extractfile("." + path).read()


def installed_files(prefix):
    """The mode of every file that the install rules put under `prefix`."""
    files = {prefix + "/bin/pelko": "-rwxr-xr-x"}
    for path in ("/lib/systemd/system/pelko.service", "/share/doc/pelko/README.Debian", "/share/doc/pelko/copyright",
                 "/share/doc/pelko/changelog.gz", "/share/man/man8/pelko.8.gz"):
        files[prefix + path] = "-rw-r--r--"
    for directory, _, names in os.walk(os.path.join(SOURCE, "frontend")):
        for name in names:
            relative = os.path.relpath(os.path.join(directory, name), os.path.join(SOURCE, "frontend"))
            files[prefix + "/share/pelko/frontend/" + relative] = "-rw-r--r--"
    return files


def install(root):
    shutil.copy(PACKAGE, root.file("/tmp/pelko.deb"))
    root.run("dpkg", "--install", "/tmp/pelko.deb")
    os.remove(root.file("/tmp/pelko.deb"))


def account(root, name):
    """The passwd entry of `name` inside the root, or None."""
    found = root.run("getent", "passwd", name, check=False).stdout.strip()
    return found.split(":") if found else None


class PackageContentsTest(unittest.TestCase):
    def test_control_fields(self):
        fields = control_fields()
        self.assertEqual(fields["Package"], "pelko")
        self.assertEqual(fields["Architecture"], output("dpkg", "--print-architecture").strip())
        changelog = gzip.decompress(packaged_file(DOC_DIR + "/changelog.gz")).decode()
        self.assertEqual(fields["Version"], changelog.split("(", 1)[1].split(")", 1)[0],
                         "the changelog has no entry for this version")
        self.assertTrue(fields["Maintainer"] and fields["Description"] and fields["Section"])

        depends = package_names(fields["Depends"])
        self.assertLessEqual({"yt-dlp", "ffmpeg", "adduser", "ca-certificates", "unzip", "python3-mutagen"}, depends)
        # Every library the binary links comes from a package that Depends names.
        with tempfile.TemporaryDirectory() as unpacked:
            subprocess.run(["dpkg-deb", "--extract", PACKAGE, unpacked], check=True)
            dynamic = output("readelf", "--dynamic", unpacked + "/usr/bin/pelko")
        libraries = [line.split("[")[1].rstrip("]") for line in dynamic.splitlines() if "(NEEDED)" in line]
        self.assertIn("libmicrohttpd.so.12", libraries)
        multiarch = output("dpkg-architecture", "--query", "DEB_HOST_MULTIARCH").strip()
        for library in libraries:
            owner = output("dpkg", "--search", "*/%s/%s" % (multiarch, library)).splitlines()[0].split(":")[0]
            self.assertIn(owner, depends, library)

    def test_file_list(self):
        entries = {}
        for line in output("dpkg-deb", "--contents", PACKAGE).splitlines():
            mode, owner, _, _, _, path = line.split(maxsplit=5)
            self.assertEqual(owner, "root/root", path)
            if not mode.startswith("d"):
                entries[path[1:]] = mode
        self.assertEqual(entries, installed_files("/usr"))

    def test_lintian_finds_no_errors_or_warnings(self):
        report = subprocess.run(["lintian", "--info", "--display-level", ">=pedantic", PACKAGE],
                                capture_output=True, text=True)
        tags = [line for line in report.stdout.splitlines() if line[:3] in ("E: ", "W: ", "I: ", "P: ", "X: ")]
        print("\nlintian:\n  " + "\n  ".join(tags or ["(nothing)"]), file=sys.stderr)
        self.assertEqual([tag for tag in tags if tag[:3] in ("E: ", "W: ")], [], report.stdout)


class InstallRulesTest(unittest.TestCase):
    def test_cmake_install_honours_the_prefix_and_destdir(self):
        # The package's build directory, where cpack wrote the package.
        build = os.path.dirname(PACKAGE)
        with tempfile.TemporaryDirectory() as destdir:
            subprocess.run(["cmake", "--install", build, "--prefix", "/opt/pelko"], check=True, capture_output=True,
                           env=dict(os.environ, DESTDIR=destdir))
            files = {}
            for directory, _, names in os.walk(destdir):
                for name in names:
                    path = os.path.join(directory, name)
                    files[path[len(destdir):]] = stat.filemode(os.stat(path).st_mode)
            self.assertEqual(files, installed_files("/opt/pelko"))
            with open(destdir + "/opt/pelko/lib/systemd/system/pelko.service") as unit:
                text = unit.read()
        self.assertIn("\nExecStart=/opt/pelko/bin/pelko\n", text)
        self.assertIn("\nDocumentation=file:/opt/pelko/share/doc/pelko/README.Debian\n", text)


class InstallationTest(unittest.TestCase):
    """Each test installs the package into a scratch root of its own."""

    def setUp(self):
        self.root = ScratchRoot()
        self.addCleanup(self.root.close)
        install(self.root)

    def test_install_gives_the_service_a_user_a_working_directory_and_a_first_config(self):
        user = account(self.root, "pelko")
        self.assertIsNotNone(user)
        self.assertLess(int(user[2]), 1000, "not a system user")
        self.assertEqual(user[5:], [STATE_DIR, "/usr/sbin/nologin"])

        state = os.stat(self.root.file(STATE_DIR))
        self.assertEqual((oct(state.st_mode & 0o7777), state.st_uid, state.st_gid),
                         (oct(0o750), int(user[2]), int(user[3])))
        config = self.root.file(STATE_DIR + "/config.json")
        with open(config) as first:
            self.assertEqual(json.load(first), FIRST_CONFIG)
        self.assertEqual(os.stat(config).st_uid, int(user[2]))
        self.assertTrue(os.path.isfile(self.root.file(FRONTEND + "/index.html")))
        self.assertEqual(self.root.run("dpkg-query", "--show", "--showformat=${Status}", "pelko").stdout,
                         "install ok installed")

    def test_systemd_accepts_the_unit(self):
        verified = self.root.run("systemd-analyze", "verify", UNIT, check=False)
        self.assertEqual((verified.returncode, verified.stdout + verified.stderr), (0, ""))
        security = self.root.run("systemd-analyze", "security", "--offline=true", UNIT, check=False).stdout
        overall = next(line for line in security.splitlines() if "Overall exposure level" in line)
        print("\n" + overall, file=sys.stderr)
        self.assertLessEqual(float(overall.split(":")[1].split()[0]), 2.0, security)

    def test_remove_keeps_the_data_a_new_install_keeps_the_settings_purge_deletes_both(self):
        config = self.root.file(STATE_DIR + "/config.json")
        edited = {"httpServer": {"rootdir": FRONTEND, "port": "127.0.0.1:8080"}}
        with open(config, "w") as out:
            json.dump(edited, out)
        os.makedirs(self.root.file(STATE_DIR + "/dlcache/download"))
        open(self.root.file(STATE_DIR + "/dlcache/download/1XBszo.mp3"), "w").close()

        self.root.run("dpkg", "--remove", "pelko")
        for path in ("/usr/bin/pelko", UNIT, FRONTEND, DOC_DIR):
            self.assertFalse(os.path.exists(self.root.file(path)), path)
        self.assertTrue(os.path.exists(self.root.file(STATE_DIR + "/dlcache/download/1XBszo.mp3")))
        self.assertIsNotNone(account(self.root, "pelko"))

        install(self.root)
        with open(config) as kept:
            self.assertEqual(json.load(kept), edited)

        self.root.run("dpkg", "--purge", "pelko")
        self.assertFalse(os.path.exists(self.root.file(STATE_DIR)))
        self.assertEqual(self.root.run("dpkg-query", "--show", "pelko", check=False).returncode, 1)
        # Nothing of the package is left but its user, which Debian keeps on purge.
        self.assertEqual([path for path in self.root.changed_paths() if "pelko" in path], [])
        self.assertIsNotNone(account(self.root, "pelko"))


class ServiceTest(unittest.TestCase):
    """The installed server, started as pelko.service would start it."""

    @classmethod
    def setUpClass(cls):
        cls.root = ScratchRoot()
        install(cls.root)
        cls.uid, cls.gid = (int(field) for field in account(cls.root, "pelko")[2:4])

    @classmethod
    def tearDownClass(cls):
        cls.root.close()

    def place(self, source, path, mode):
        """Copies `source` into the root, owned by the service's user, until the test ends."""
        shutil.copy(source, self.root.file(path))
        os.chmod(self.root.file(path), mode)
        os.chown(self.root.file(path), self.uid, self.gid)
        self.addCleanup(os.remove, self.root.file(path))

    def start_service(self, unit=UNIT):
        service = PelkoProcess([sys.executable, os.path.join(HERE, "unit_sandbox.py"), self.root.path, unit],
                               self.root.file(STATE_DIR), 6969, {"PATH": os.environ["PATH"]})
        self.addCleanup(service.close)
        return service.start()

    def wait_until_finished(self, service, pelko_id):
        deadline = time.monotonic() + DOWNLOAD_TIMEOUT
        while True:
            cache = service.command("fetch_alltime_cache").json()["cache"]
            entry = next(item for item in cache if item["pelko_id"] == pelko_id)
            if entry["status"] in ("finished", "failed"):
                self.assertEqual(entry["status"], "finished", service.output)
                return entry
            self.assertLess(time.monotonic(), deadline, "%r\n%s" % (entry, service.output))
            time.sleep(0.5)

    def test_the_unit_hardening_is_in_force(self):
        # The probe takes the server's place; it lives in bin/, where the server will keep its
        # own copy of the downloader, so this also shows that programs there may run.
        os.makedirs(self.root.file(STATE_DIR + "/bin"), exist_ok=True)
        os.chown(self.root.file(STATE_DIR + "/bin"), self.uid, self.gid)
        self.place(os.path.join(HERE, "sandbox_probe.py"), STATE_DIR + "/bin/probe", 0o755)
        with open(self.root.file(UNIT)) as unit:
            probe_unit = unit.read().replace("ExecStart=/usr/bin/pelko", "ExecStart=%s/bin/probe" % STATE_DIR)
        with open(self.root.file("/root/probe.service"), "w") as out:
            out.write(probe_unit)
        self.addCleanup(os.remove, self.root.file("/root/probe.service"))
        # A directory that the service's user owns but that lies outside ReadWritePaths=.
        os.mkdir(self.root.file("/var/cache/pelko-probe"))
        os.chown(self.root.file("/var/cache/pelko-probe"), self.uid, self.gid)
        self.addCleanup(os.rmdir, self.root.file("/var/cache/pelko-probe"))

        run = subprocess.run([sys.executable, os.path.join(HERE, "unit_sandbox.py"), self.root.path,
                              "/root/probe.service"], capture_output=True, text=True, timeout=60)
        self.assertEqual(run.returncode, 0, run.stderr)
        report = json.loads(run.stdout)

        self.assertEqual((report["uid"], report["gid"], report["groups"]), (self.uid, self.gid, [self.gid]))
        self.assertEqual((report["cwd"], report["umask"]), (STATE_DIR, 0o027))
        self.assertEqual(report["environment"],
                         ["HOME", "INVOCATION_ID", "LANG", "LOGNAME", "PATH", "SYSTEMD_EXEC_PID", "USER"])
        self.assertEqual(report["status"], {"NoNewPrivs": "1", "Seccomp": "2", "CapEff": "0" * 16,
                                            "CapBnd": "0" * 16, "CapAmb": "0" * 16})
        self.assertEqual(report["write"], {STATE_DIR: "allowed", STATE_DIR + "/bin": "allowed",
                                           "/var/cache/pelko-probe": "EROFS", "/tmp": "allowed"})
        self.assertEqual(report["list"], {"/home": "EACCES", "/root": "EACCES"})
        self.assertEqual(report["tmp"], [])
        self.assertEqual(report["dev"], ["char", "fd", "full", "hugepages", "log", "mqueue", "null", "ptmx", "pts",
                                         "random", "shm", "stderr", "stdin", "stdout", "tty", "urandom", "zero"])
        self.assertEqual(report["other processes"], [])
        self.assertEqual(report["socket"], {"AF_INET": "allowed", "AF_INET6": "allowed", "AF_UNIX": "allowed",
                                            "AF_NETLINK": "EAFNOSUPPORT", "AF_PACKET": "EAFNOSUPPORT"})
        self.assertEqual(report["writable and executable memory"], "EPERM")
        self.assertEqual(report["mount namespace"], "EPERM")
        self.assertEqual(report["sethostname"], "EPERM")

    def test_serves_its_page_and_downloads_with_the_fake_downloader(self):
        # The unit's search path starts with /usr/local/bin, and the server prefers youtube-dl.
        self.place(os.path.join(SOURCE, "tests", "support", "fake-downloader", "youtube-dl"),
                   "/usr/local/bin/youtube-dl", 0o755)
        service = self.start_service()
        self.assertIn('Downloading with "/usr/local/bin/youtube-dl".', service.output)

        page = service.request("/")
        self.assertEqual(page.status, 200)
        with open(os.path.join(SOURCE, "frontend", "index.html"), "rb") as index:
            self.assertEqual(page.body, index.read())
        version = service.command("get_server_version").json()["server_version"]
        self.assertEqual(version, float(control_fields()["Version"]))

        queued = service.command("queue_download", video_url="https://videos.example/watch?v=abc", mode="audio")
        self.assertEqual(queued.status, 200, queued.body)
        pelko_id = queued.json()["pelko_id"]
        self.wait_until_finished(service, pelko_id)
        fetched = service.request("/download/" + pelko_id)
        self.assertEqual(fetched.status, 200)
        stored = self.root.file(STATE_DIR + "/dlcache/download/%s.mp3" % pelko_id)
        with open(stored, "rb") as file:
            self.assertEqual(fetched.body, file.read())
        self.assertEqual(os.stat(stored).st_uid, self.uid)

        self.assertEqual(service.stop(), 0)
        # The server wrote its settings back in full, still serving the installed page.
        with open(self.root.file(STATE_DIR + "/config.json")) as saved:
            settings = json.load(saved)
        self.assertEqual((settings["httpServer"]["rootdir"], settings["httpServer"]["port"]), (FRONTEND, "6969"))

    def test_a_stop_signal_ends_the_service_in_order(self):
        # KillMode=mixed: systemd sends SIGTERM to the server alone, which must end its downloads
        # itself, save its files and exit 0 before systemd gives up on it.
        self.place(os.path.join(SOURCE, "tests", "support", "fake-downloader", "youtube-dl"),
                   "/usr/local/bin/youtube-dl", 0o755)
        service = self.start_service()
        held = "https://videos.example/watch?" + urllib.parse.urlencode(
            {"fake_hold": STATE_DIR + "/never", "fake_child": STATE_DIR + "/child.pid"})
        pelko_id = service.command("queue_download", video_url=held, mode="audio").json()["pelko_id"]
        service.wait_for_download(pelko_id, "downloading")
        wait_for_file(self.root.file(STATE_DIR + "/child.pid"))

        service.process.send_signal(signal.SIGTERM)
        self.assertEqual(service.wait(STOP_TIMEOUT), 0)
        self.assertEqual(self.processes_of_the_service(), [])
        with open(self.root.file(STATE_DIR + "/log.json")) as log:
            self.assertIn("Shutting down server upon a stop signal...", [entry["message"] for entry in json.load(log)])
        with open(self.root.file(STATE_DIR + "/dlcache/queue.json")) as queue:
            self.assertEqual([(entry["pelko_id"], entry["status"]) for entry in json.load(queue)],
                             [(pelko_id, "queued")])

    def processes_of_the_service(self):
        """The processes of the service's user that still run."""
        found = []
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open("/proc/%s/status" % pid) as status:
                    fields = dict(line.split(":", 1) for line in status if ":" in line)
            except FileNotFoundError:
                continue
            if int(fields["Uid"].split()[0]) == self.uid and not fields["State"].strip().startswith("Z"):
                found.append((pid, fields["Name"].strip()))
        return found

    def test_downloads_with_the_real_downloader_and_ffmpeg(self):
        # Python and ffmpeg under the unit's system call filter and MemoryDenyWriteExecute=.
        site = MediaSite()
        self.addCleanup(site.close)
        make_clip(os.path.join(site.directory, "clip.webm"))
        service = self.start_service()
        self.assertIn('Downloading with "/usr/bin/yt-dlp".', service.output)

        for mode, extension in (("audio", "mp3"), ("video", "mp4")):
            queued = service.command("queue_download", video_url=site.url("clip.webm"), mode=mode, timeout=120)
            self.assertEqual(queued.status, 200, queued.body)
            pelko_id = queued.json()["pelko_id"]
            self.wait_until_finished(service, pelko_id)
            info = probe(self.root.file(STATE_DIR + "/dlcache/download/%s.%s" % (pelko_id, extension)))
            if mode == "audio":
                self.assertEqual((info["container"], info["kinds"]), ("mp3", ["audio"]))
            else:
                self.assertIn("mp4", info["container"].split(","))
                self.assertEqual(info["kinds"], ["audio", "video"])
        self.assertEqual(service.stop(), 0)


    def test_updates_its_downloader_and_downloads_with_that_copy(self):
        # The update (HTTP, the sum, the new program's --version) and the runs of the own copy
        # (each through a link of its own, with a private copy of the cookies), all in the sandbox.
        config = self.root.file(STATE_DIR + "/config.json")
        with open(config) as saved:
            original = saved.read()
        def restore():
            with open(config, "w") as out:
                out.write(original)
            shutil.rmtree(self.root.file(STATE_DIR + "/bin"), ignore_errors=True)
            if os.path.exists(self.root.file(STATE_DIR + "/cookies.txt")):
                os.remove(self.root.file(STATE_DIR + "/cookies.txt"))
        self.addCleanup(restore)
        with ReleaseHost(version="2099.01.01") as host:
            settings = json.loads(original)
            settings.setdefault("downloader", {}).update(host.settings)
            with open(config, "w") as out:
                json.dump(settings, out)
            service = self.start_service()

            reply = service.command("update_dep_youtubedl", timeout=120)
            self.assertEqual(reply.status, 200, reply.body.decode() + service.output)
            self.assertEqual((reply.json()["version"], reply.json()["js_runtime_version"]), ("2099.01.01", "2.5.6"))
        cookies = "# Netscape HTTP Cookie File\n.videos.example\tTRUE\t/\tFALSE\t0\tsession\tvalue\n"
        self.assertEqual(service.command("set_cookies", cookies=cookies).status, 200)
        queued = service.command("queue_download", video_url="https://videos.example/watch?v=abc", mode="video")
        self.assertEqual(queued.status, 200, queued.body)
        self.wait_until_finished(service, queued.json()["pelko_id"])
        self.assertIn('Downloading with "%s/bin/yt-dlp".' % STATE_DIR, service.output)
        self.assertEqual(stat.S_IMODE(os.stat(self.root.file(STATE_DIR + "/cookies.txt")).st_mode), 0o600)
        self.assertEqual(service.stop(), 0)


def bring_up_loopback():
    """A new network namespace starts with its loopback interface down."""
    SIOCSIFFLAGS, IFF_UP = 0x8914, 0x1
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as handle:
        fcntl.ioctl(handle, SIOCSIFFLAGS, struct.pack("16sH14x", b"lo", IFF_UP))


if __name__ == "__main__":
    if len(sys.argv) < 2:
        raise SystemExit("usage: test_package.py PACKAGE.deb [unittest options]")
    if os.getpid() != 1:
        # Not yet in namespaces of its own: start again inside them.
        os.execvp("unshare", ["unshare", "--mount", "--net", "--pid", "--fork", "--kill-child", "--mount-proc",
                              sys.executable, os.path.abspath(__file__), os.path.abspath(sys.argv[1])] + sys.argv[2:])
    PACKAGE = sys.argv.pop(1)
    subprocess.run(["mount", "--make-rprivate", "/"], check=True)
    bring_up_loopback()
    unittest.main(verbosity=2)
