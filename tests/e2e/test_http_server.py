"""The HTTP server itself: listening, the access rule, limits and idle latency."""

import socket
import time
import unittest

from pelko_harness import PelkoServer, SharedServerTest, free_port

BIND_FAILURE = "[HttpServer] [ERROR]: Failed to boot the http-server! - Unable to bind listener! (port: %s)"


def can_connect(address, port):
    try:
        with socket.create_connection((address, port), timeout=2):
            return True
    except OSError:
        return False


class ListenerTest(unittest.TestCase):
    def assertRunsWithoutListener(self, port_setting, server):
        self.assertIn(BIND_FAILURE % port_setting, server.output)
        output = server.output
        self.assertLess(output.index("Unable to bind listener"), output.index("Started Pelko server successfully!"))
        time.sleep(0.5)
        self.assertTrue(server.is_running())

    def test_port_already_in_use(self):
        with socket.socket() as taken:
            taken.bind(("127.0.0.1", 0))
            taken.listen()
            setting = "127.0.0.1:%d" % taken.getsockname()[1]
            with PelkoServer(config={"httpServer": {"port": setting}}) as server:
                self.assertRunsWithoutListener(setting, server)

    def test_settings_that_name_no_address(self):
        for setting in ["", "http", "70000", "127.0.0.1:", "127.0.0.1:99999", "300.1.1.1:8080", "localhost:x"]:
            with self.subTest(port=setting):
                with PelkoServer(config={"httpServer": {"port": setting}}) as server:
                    self.assertRunsWithoutListener(setting, server)

    def test_address_forms(self):
        with PelkoServer() as server:  # "127.0.0.1:<port>": that address only
            self.assertTrue(can_connect("127.0.0.1", server.port))
            self.assertFalse(can_connect("127.0.0.2", server.port))
        with PelkoServer(config={"httpServer": {"port": str(free_port())}}) as server:  # every IPv4 interface
            self.assertTrue(can_connect("127.0.0.2", server.port))
            self.assertEqual(server.command("get_os_name").status, 200)


class AccessRuleTest(unittest.TestCase):
    def test_only_localhost(self):
        config = {"access": {"only_allow_localhost": True, "enable_whitelist": True, "whitelist": ["127.0.0.2"]}}
        refusal = {"status": "ERROR", "description": "Unauthorized", "message": "Only localhost allowed!"}
        with PelkoServer(config=config, files={"frontend/index.html": "hi"}) as server:
            self.assertEqual(server.command("get_os_name").status, 200)
            for path in ["/api", "/", "/index.html", "/download/abc"]:
                with self.subTest(path=path):
                    reply = server.request(path, source="127.0.0.2")
                    self.assertEqual(reply.status, 401)
                    self.assertEqual(reply.json(), refusal)
                    self.assertIsNone(reply.header("Access-Control-Allow-Origin"))

    def test_whitelist(self):
        config = {"access": {"enable_whitelist": True, "whitelist": ["127.0.0.3"]}}
        with PelkoServer(config=config) as server:
            self.assertEqual(server.command("get_os_name", source="127.0.0.3").status, 200)
            self.assertEqual(server.command("get_os_name", source="127.0.0.1").status, 200)
            reply = server.command("get_os_name", source="127.0.0.2")
            self.assertEqual(reply.status, 401)
            self.assertEqual(reply.json()["message"], "Not whitelisted! Ask your pelko administrator to whitelist "
                                                      "'127.0.0.2' in order to gain access.")

    def test_everyone_is_admitted_by_default(self):
        with PelkoServer() as server:
            self.assertEqual(server.command("get_os_name", source="127.0.0.2").status, 200)


# Room for a cookies.txt of 1 MiB sent as a JSON string ("set_cookies").
MAX_BODY = 3 * 1024 * 1024


class LimitsTest(SharedServerTest):
    def padded_command(self, size):
        head = b'{"request": "get_server_version", "padding": "'
        return head + b"x" * (size - len(head) - 2) + b'"}'

    def test_body_at_the_limit_is_accepted(self):
        reply = self.server.request("/api", self.padded_command(MAX_BODY))
        self.assertEqual(reply.status, 200)

    def test_larger_bodies_are_refused(self):
        too_large = self.padded_command(MAX_BODY + 1)
        chunks = b"".join(b"%x\r\n%s\r\n" % (len(too_large[i:i + 65536]), too_large[i:i + 65536])
                          for i in range(0, len(too_large), 65536))
        requests = {
            "announced": b"POST /api HTTP/1.0\r\nContent-Length: %d\r\n\r\n" % len(too_large) + too_large,
            "announced only": b"POST /api HTTP/1.0\r\nContent-Length: 5000000000\r\n\r\n",
            "chunked": (b"POST /api HTTP/1.1\r\nHost: x\r\nConnection: close\r\nTransfer-Encoding: chunked\r\n\r\n"
                        + chunks + b"0\r\n\r\n"),
        }
        for name, request in requests.items():
            with self.subTest(name):
                try:
                    reply = self.server.raw(request)
                except ConnectionResetError:
                    self.fail("connection reset instead of a 413 reply")
                self.assertEqual(reply.status, 413)
                self.assertEqual(reply.json()["description"], "Payload too large")
                self.assertEqual(reply.json()["status"], "ERROR")
        self.assertEqual(self.server.command("get_os_name").status, 200)


class ConnectionLimitTest(unittest.TestCase):
    def test_idle_connections_of_one_client_do_not_lock_others_out(self):
        with PelkoServer() as server:
            idle = [socket.create_connection(("127.0.0.1", server.port), timeout=5)
                    for _ in range(40)]  # more than one client may hold
            self.assertEqual(server.command("get_os_name", source="127.0.0.2").status, 200)
            for sock in idle:
                sock.close()
            # Once the server has seen them go, their client is served again.
            deadline = time.monotonic() + 5
            while True:
                try:
                    self.assertEqual(server.command("get_os_name").status, 200)
                    break
                except ConnectionError:
                    self.assertLess(time.monotonic(), deadline, "still locked out")
                    time.sleep(0.05)


class IdleTest(unittest.TestCase):
    def test_request_during_the_idle_wait_is_answered_at_once(self):
        with PelkoServer() as server:
            # A fresh server is idle: its loop sits in the three-second wait by now.
            time.sleep(0.5)
            started = time.monotonic()
            reply = server.command("get_os_name")
            elapsed = time.monotonic() - started
            self.assertEqual(reply.status, 200)
            self.assertLess(elapsed, 1.5, "answered only after the idle wait")


if __name__ == "__main__":
    unittest.main()
