"""Starts the real pelko binary (env PELKO_BIN) in a scratch working directory and
talks HTTP to it over loopback. Every end-to-end test goes through this module, and so
do the package tests, which start the installed binary with PelkoProcess.

    with PelkoServer(config={"access": {"only_allow_localhost": True}},
                     files={"frontend/index.html": "<h1>hi</h1>"}) as server:
        reply = server.command("get_server_version", source="127.0.0.2")
        assert reply.status == 200 and reply.json()["server_version"] == 0.53
"""

import http.client
import http.server
import json
import os
import resource
import shutil
import signal
import socket
import subprocess
import tempfile
import threading
import time
import unittest

FAKE_DOWNLOADER_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "support",
                                   "fake-downloader")
STARTED = "Started Pelko server successfully!"
LISTENING = "Started http-server successfully!"


def free_port():
    """A TCP port on 127.0.0.1 that nothing listens on right now."""
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def wait_for_file(path, timeout=20):
    """Waits until the file at `path` has content; AssertionError after `timeout` s."""
    deadline = time.monotonic() + timeout
    while not os.path.exists(path) or not os.path.getsize(path):
        if time.monotonic() > deadline:
            raise AssertionError("%s never appeared" % path)
        time.sleep(0.02)


def process_runs(pid_file):
    """True while the process whose id the file `pid_file` holds runs (a zombie has ended)."""
    with open(pid_file) as record:
        pid = record.read().strip()
    try:
        with open("/proc/%s/stat" % pid) as stat:
            return stat.read().rsplit(")", 1)[1].split()[0] != "Z"
    except FileNotFoundError:
        return False


def _merged(base, override):
    result = dict(base)
    for key, value in override.items():
        if isinstance(value, dict) and isinstance(result.get(key), dict):
            result[key] = _merged(result[key], value)
        else:
            result[key] = value
    return result


class Response:
    def __init__(self, status, headers, body):
        self.status = status
        self.headers = headers  # list of (name, value) exactly as sent
        self.body = body  # bytes

    def header(self, name):
        """The first value of the header `name` (case-insensitive), or None."""
        return next((v for n, v in self.headers if n.lower() == name.lower()), None)

    def json(self):
        return json.loads(self.body)


class PelkoProcess:
    """One pelko process: `command` started in `workdir` with the environment `env`, answering
    HTTP on 127.0.0.1:`port`. PelkoServer below makes the usual one; the package tests start the
    installed binary as its systemd unit would. `file_size_limit` (bytes) makes every larger
    write fail as on a full disk. Requests carry `auth_headers` (credentials) unless they name
    those headers themselves, and go over HTTPS when `tls_context` (an ssl.SSLContext) is set."""

    def __init__(self, command, workdir, port, env, file_size_limit=None):
        self.command_line = command
        self.workdir = workdir
        self.port = port
        self.env = env
        self.file_size_limit = file_size_limit
        self.auth_headers = {}
        self.tls_context = None
        self.process = None
        self._lines = []
        self._changed = threading.Condition()
        self._reader = None

    def path(self, name):
        return os.path.join(self.workdir, name)

    # --- life ---

    def start(self, timeout=30):
        self.process = subprocess.Popen(
            self.command_line, cwd=self.workdir, env=self.env,
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
            preexec_fn=self._limit_file_size if self.file_size_limit else None)
        self._reader = threading.Thread(target=self._read_output, daemon=True)
        self._reader.start()
        if not self.wait_for_output(STARTED, timeout):
            self.kill()
            raise RuntimeError("pelko did not start:\n" + self.output)
        return self

    def _limit_file_size(self):
        # An ignored signal stays ignored across exec: a write past the limit then fails with EFBIG.
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (self.file_size_limit, self.file_size_limit))

    def _read_output(self):
        for raw in self.process.stdout:
            with self._changed:
                self._lines.append(raw.decode("utf-8", "replace").rstrip("\n"))
                self._changed.notify_all()
        with self._changed:
            self._changed.notify_all()

    @property
    def output(self):
        with self._changed:
            return "\n".join(self._lines)

    def wait_for_output(self, text, timeout=10):
        """True once a line containing `text` was printed; False on time-out or exit."""
        deadline = time.monotonic() + timeout
        with self._changed:
            while not any(text in line for line in self._lines):
                remaining = deadline - time.monotonic()
                if remaining <= 0 or (self.process.poll() is not None and not self._reader.is_alive()):
                    return False
                self._changed.wait(min(remaining, 0.2))
            return True

    def is_running(self):
        return self.process is not None and self.process.poll() is None

    def wait(self, timeout=15):
        """The exit status once the process ended (raises on time-out)."""
        status = self.process.wait(timeout)
        self._reader.join(timeout)
        return status

    def stop(self, timeout=15):
        """Ends the server the way a client does ("kill_yourself"), killing it when it
        has no listener or does not answer; returns the exit status."""
        if not self.is_running():
            return self.process.returncode if self.process else None
        if LISTENING not in self.output:
            return self.kill()
        try:
            self.command("kill_yourself", timeout=5)
            return self.wait(timeout)
        except (OSError, http.client.HTTPException, subprocess.TimeoutExpired):
            return self.kill()

    def restart(self, timeout=30):
        """Stops the server the way a client does and starts it again in the same working
        directory; `output` then holds the new run's lines only."""
        self.stop()
        return self.start_again(timeout)

    def start_again(self, timeout=30):
        """Starts the server again in the same working directory once the last run has ended;
        `output` then holds the new run's lines only."""
        self.process.stdout.close()
        with self._changed:
            self._lines = []
        return self.start(timeout)

    def kill(self):
        if self.is_running():
            self.process.kill()
        return self.wait()

    def close(self):
        if self.process is not None:
            self.stop()
            self.process.stdout.close()

    def __enter__(self):
        if self.process is None:
            self.start()
        return self

    def __exit__(self, *exc):
        self.close()

    # --- talking ---

    def connect(self, source="127.0.0.1", timeout=10):
        """A connection to the server from the address `source`, over HTTPS when `tls_context` is set."""
        if self.tls_context is None:
            return http.client.HTTPConnection("127.0.0.1", self.port, timeout=timeout, source_address=(source, 0))
        return http.client.HTTPSConnection("127.0.0.1", self.port, timeout=timeout, source_address=(source, 0),
                                           context=self.tls_context)

    def request(self, path, body=None, method=None, source="127.0.0.1", headers=None, timeout=10):
        """One HTTP request from the address `source`; GET, or POST when there is a body."""
        connection = self.connect(source, timeout)
        try:
            connection.request(method or ("GET" if body is None else "POST"), path, body=body,
                               headers=dict(self.auth_headers, **(headers or {})))
            reply = connection.getresponse()
            return Response(reply.status, reply.getheaders(), reply.read())
        finally:
            connection.close()

    def command(self, name, source="127.0.0.1", timeout=10, headers=None, **parameters):
        """Posts {"request": name, **parameters} to /api, with further `headers` if given."""
        body = json.dumps(dict(parameters, request=name)).encode()
        return self.request("/api", body, source=source, timeout=timeout,
                            headers=dict({"Content-Type": "application/json"}, **(headers or {})))

    def wait_for_download(self, pelko_id, status, timeout=20):
        """The entry `pelko_id` of "fetch_alltime_cache" once its "status" is `status`;
        raises AssertionError with the last state seen when that takes over `timeout` s."""
        deadline = time.monotonic() + timeout
        while True:
            cache = self.command("fetch_alltime_cache").json()["cache"]
            entry = next((item for item in cache if item.get("pelko_id") == pelko_id), None)
            if entry is not None and entry.get("status") == status:
                return entry
            if time.monotonic() > deadline:
                raise AssertionError("download %s did not become %s: %r" % (pelko_id, status, entry))
            time.sleep(0.1)

    def raw(self, data, source="127.0.0.1", timeout=10):
        """Sends `data` as it is (for requests no client library would write) and reads
        the reply until the server closes the connection: ask for that, e.g. HTTP/1.0."""
        with socket.create_connection(("127.0.0.1", self.port), timeout, (source, 0)) as sock:
            try:
                sock.sendall(data)
            except BrokenPipeError:
                pass  # the server answered (say, a refused body) and closed before the rest arrived
            received = b""
            while chunk := sock.recv(65536):
                received += chunk
        head, _, body = received.partition(b"\r\n\r\n")
        lines = head.decode("latin-1").split("\r\n")
        headers = [tuple(part.strip() for part in line.split(":", 1)) for line in lines[1:] if ":" in line]
        return Response(int(lines[0].split()[1]), headers, body)


class PelkoServer(PelkoProcess):
    """The pelko binary of the build (env PELKO_BIN) in a scratch working directory. `config` is
    merged over a config.json that binds a free port on 127.0.0.1 and takes downloader and
    runtime updates from ports on 127.0.0.1 where nothing listens; `files` maps paths relative
    to the working directory to their content; `extra_path` lists directories searched before
    the inherited PATH (fake tools); `environment` holds further variables for the process;
    `file_size_limit` as for PelkoProcess."""

    def __init__(self, config=None, files=None, extra_path=(), environment=None, file_size_limit=None):
        # Updates of the downloader and its runtime go to ports where nothing answers unless a test
        # says otherwise.
        self.config = _merged({"httpServer": {"port": "127.0.0.1:%d" % free_port()},
                               "downloader": {"update_url": "http://127.0.0.1:%d/" % free_port(),
                                              "js_runtime_url": "http://127.0.0.1:%d/" % free_port()}}, config or {})
        # Requests go to 127.0.0.1 and the port of the setting, whichever form it has.
        port = self.config["httpServer"]["port"].rpartition(":")[2]
        env = dict(os.environ, **(environment or {}))
        env["PATH"] = os.pathsep.join([str(p) for p in extra_path] + [env.get("PATH", "")])
        super().__init__([os.environ["PELKO_BIN"]], tempfile.mkdtemp(prefix="pelko-e2e-"),
                         int(port) if port.isdigit() else None, env, file_size_limit)
        self._write("config.json", json.dumps(self.config, indent=2))
        for path, content in (files or {}).items():
            self._write(path, content)

    def _write(self, path, content):
        full = os.path.join(self.workdir, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb") as out:
            out.write(content.encode() if isinstance(content, str) else content)

    def close(self):
        super().close()
        shutil.rmtree(self.workdir, ignore_errors=True)


class BackgroundCommand(threading.Thread):
    """One command sent from a thread of its own; `reply` once it has come."""

    def __init__(self, server, name, source="127.0.0.1", **parameters):
        super().__init__(daemon=True)
        self.server, self.name, self.source, self.parameters, self.reply = server, name, source, parameters, None
        self.start()

    def run(self):
        self.reply = self.server.command(self.name, source=self.source, timeout=60, **self.parameters)


class EventStream:
    """GET /events from the address `source`, held open: the server-sent events as they come.
    `status` and `headers` are the reply's; read the events with next() and until()."""

    def __init__(self, server, source="127.0.0.1", headers=None, timeout=10):
        self.connection = server.connect(source, timeout)
        self.connection.request("GET", "/events", headers=dict(server.auth_headers, **(headers or {})))
        self.sock = self.connection.sock
        self.response = self.connection.getresponse()
        self.status = self.response.status
        self.headers = self.response.getheaders()

    def next(self, timeout=10):
        """The next event as (name, data parsed as JSON), or ("comment", text) for a comment line;
        socket.timeout when none comes within `timeout` s, EOFError once the stream ended."""
        self.sock.settimeout(timeout)
        name, data = "message", []
        while True:
            line = self.response.readline()
            if not line:
                raise EOFError("the stream ended")
            line = line.decode().rstrip("\n")
            if line.startswith(":"):
                return "comment", line[1:].strip()
            if line == "":
                if data:
                    return name, json.loads("\n".join(data))
                name = "message"
                continue
            field, _, value = line.partition(":")
            value = value[1:] if value.startswith(" ") else value
            if field == "event":
                name = value
            elif field == "data":
                data.append(value)

    def until(self, wanted, timeout=20):
        """Every event up to and including the first (name, data) for which `wanted` holds;
        AssertionError with what came when none does within `timeout` s."""
        deadline = time.monotonic() + timeout
        seen = []
        while True:
            left = deadline - time.monotonic()
            try:
                if left <= 0:
                    raise socket.timeout()
                seen.append(self.next(left))
            except (socket.timeout, EOFError) as ended:
                raise AssertionError("no such event (%r) among %r" % (ended, seen[-20:]))
            if wanted(*seen[-1]):
                return seen

    def close(self):
        self.connection.close()
        self.response.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def entry_of(server, pelko_id):
    cache = server.command("fetch_alltime_cache").json()["cache"]
    return next((entry for entry in cache if entry["pelko_id"] == pelko_id), None)


class SharedServerTest(unittest.TestCase):
    """Test case whose tests all talk to one server, started with `server_options`
    (the arguments of PelkoServer) before the first test and stopped after the last."""
    server_options = {}

    @classmethod
    def setUpClass(cls):
        cls.server = PelkoServer(**cls.server_options).start()

    @classmethod
    def tearDownClass(cls):
        cls.server.close()


class Receiver:
    """An HTTP endpoint on 127.0.0.1 that keeps every POST and answers the statuses of
    `statuses` in turn (then 200), or never answers while `hang` is set."""

    def __init__(self, statuses=(), port=None):
        self.statuses = list(statuses)
        self.received = []
        self.hang = threading.Event()
        receiver = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_POST(self):
                body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
                receiver.received.append((time.monotonic(), dict(self.headers), body))
                if receiver.hang.is_set():
                    time.sleep(12)
                self.send_response(receiver.statuses.pop(0) if receiver.statuses else 200)
                self.send_header("Content-Length", "0")
                self.end_headers()

            def log_message(self, *args):
                pass

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", port or free_port()), Handler)
        self.port = self.server.server_address[1]
        self.url = "http://127.0.0.1:%d/hook" % self.port
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def wait_for(self, count, timeout):
        deadline = time.monotonic() + timeout
        while len(self.received) < count:
            if time.monotonic() > deadline:
                raise AssertionError("%d of %d requests came" % (len(self.received), count))
            time.sleep(0.05)
        return self.received

    def close(self):
        self.server.shutdown()
        self.server.server_close()
