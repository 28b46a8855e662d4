"""nginx serving a directory on 127.0.0.1, as the benchmark's yardstick: one worker (the
server handles every request on its main thread), sendfile, no access log."""

import os
import subprocess
import time

CONFIG = """
worker_processes 1;
daemon off;
pid {dir}/nginx.pid;
error_log {dir}/error.log;
{user}
events {{ worker_connections 1024; }}
http {{
    access_log off;
    sendfile on;
    tcp_nopush on;
    keepalive_requests 1000000;
    client_body_temp_path {dir}/body;
    proxy_temp_path {dir}/proxy;
    fastcgi_temp_path {dir}/fastcgi;
    uwsgi_temp_path {dir}/uwsgi;
    scgi_temp_path {dir}/scgi;
    types {{ application/json json; text/javascript js; application/octet-stream mp4; }}
    default_type application/octet-stream;
    server {{
        listen 127.0.0.1:{port};
        root {root};
    }}
}}
"""


class Nginx:
    def __init__(self, root, port, directory):
        os.makedirs(directory, exist_ok=True)
        self.port = port
        self.config = os.path.join(directory, "nginx.conf")
        # As root the workers would switch to "nobody", who may not read the files.
        user = "user root;" if os.geteuid() == 0 else ""
        with open(self.config, "w") as out:
            out.write(CONFIG.format(dir=directory, root=root, port=port, user=user))
        self.directory = directory
        self.process = None

    def __enter__(self):
        self.process = subprocess.Popen(["nginx", "-c", self.config, "-p", self.directory, "-e",
                                         os.path.join(self.directory, "error.log")],
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.STDOUT)
        deadline = time.monotonic() + 10
        while not os.path.exists(os.path.join(self.directory, "nginx.pid")):
            if time.monotonic() > deadline or self.process.poll() is not None:
                raise RuntimeError("nginx did not start; see " + os.path.join(self.directory, "error.log"))
            time.sleep(0.05)
        return self

    def url(self, path):
        return "http://127.0.0.1:%d%s" % (self.port, path)

    def __exit__(self, *exc):
        self.process.terminate()
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
