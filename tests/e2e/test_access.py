"""Safe on a real network: other web sites, foreign host names (DNS rebinding), the password,
settings that would break the server, a full disk, and clients that trickle their requests."""

import base64
import json
import os
import select
import socket
import threading
import time
import unittest

from pelko_harness import PelkoServer, SharedServerTest

PAGE = {"frontend/index.html": "<h1>the page</h1>"}
CROSS_SITE = {"status": "ERROR", "description": "Forbidden", "message": "Cross-site requests are not accepted."}
# What a browser sends when a person follows a link from another site to the page.
FOLLOWED_LINK = {"Sec-Fetch-Site": "cross-site", "Sec-Fetch-Mode": "navigate", "Sec-Fetch-Dest": "document"}
# What a browser sends when it loads the page itself.
PAGE_LOAD = {"Sec-Fetch-Site": "none", "Sec-Fetch-Mode": "navigate", "Sec-Fetch-Dest": "document"}
PASSWORD = "correct horse battery staple"


def basic(password, user="pelko"):
    return {"Authorization": "Basic " + base64.b64encode(("%s:%s" % (user, password)).encode()).decode()}


def read_bytes(server, name):
    with open(server.path(name), "rb") as file:
        return file.read()


def read_config(server):
    return json.loads(read_bytes(server, "config.json"))


def setting_value(server, path):
    info = server.command("fetch_settings_info").json()
    return next(item["value"] for item in info["settings"] if item["path"] == path)


class HostTest(SharedServerTest):
    server_options = {"files": PAGE}

    def test_foreign_host_names_are_misdirected(self):
        """A DNS-rebinding page reaches the server under the attacker's name: no answer for it."""
        for host in ["evil.example:%d" % self.server.port, "evil.example", "localhost.evil.example", "127.1"]:
            with self.subTest(host=host):
                page = self.server.request("/", headers={"Host": host})
                self.assertEqual(page.status, 421)
                self.assertTrue(page.header("Content-Type").startswith("text/html"))
                self.assertIn(b"access.allowed_hosts", page.body)
                self.assertIn(host.split(":")[0].encode(), page.body)

                api = self.server.command("update_config", config={"downloader": {"num_threads": 9}},
                                          headers={"Host": host})
                self.assertEqual(api.status, 421)
                self.assertEqual(api.json()["description"], "Misdirected request")
                self.assertIn('"access.allowed_hosts"', api.json()["message"])
        self.assertEqual(read_config(self.server).get("downloader", {}).get("num_threads", 1), 1)

    def test_the_host_name_is_shown_as_text(self):
        page = self.server.request("/", headers={"Host": "<script>x</script>"})
        self.assertEqual(page.status, 421)
        self.assertNotIn(b"<script>", page.body)

    def test_addresses_localhost_and_allowed_names_are_answered(self):
        port = self.server.port
        for host in ["127.0.0.1:%d" % port, "localhost:%d" % port, "LocalHost", "[::1]:%d" % port, "10.1.2.3"]:
            with self.subTest(host=host):
                self.assertEqual(self.server.request("/", headers={"Host": host}).status, 200)
        # An HTTP/1.0 script may send no Host at all.
        self.assertEqual(self.server.raw(b"GET / HTTP/1.0\r\n\r\n").status, 200)

        self.assertEqual(self.server.command("update_config", config={"access": {"allowed_hosts": ["pelko.lan"]}})
                         .json()["config"]["access"]["allowed_hosts"], ["pelko.lan"])
        try:
            self.assertEqual(self.server.request("/", headers={"Host": "PELKO.lan:%d" % port}).status, 200)
            self.assertEqual(self.server.request("/", headers={"Host": "other.lan"}).status, 421)
        finally:
            self.server.command("update_config", config={"access": {"allowed_hosts": []}})


class CrossSiteTest(SharedServerTest):
    server_options = {"files": PAGE}

    def test_requests_from_other_sites_are_refused(self):
        port = self.server.port
        senders = {
            "page on another port": {"Origin": "http://127.0.0.1:%d" % (port + 1), "Sec-Fetch-Site": "same-site"},
            "page on another host": {"Origin": "http://evil.example", "Sec-Fetch-Site": "cross-site"},
            "sandboxed page": {"Origin": "null"},
            "browser without Origin": {"Sec-Fetch-Site": "cross-site", "Sec-Fetch-Mode": "no-cors"},
            "form posted from elsewhere": dict(FOLLOWED_LINK, Origin="http://evil.example"),
        }
        for name, headers in senders.items():
            with self.subTest(name):
                reply = self.server.command("update_config", config={"downloader": {"num_threads": 7}},
                                            headers=headers)
                self.assertEqual(reply.status, 403)
                self.assertEqual(reply.json(), CROSS_SITE)
                self.assertIsNone(reply.header("Access-Control-Allow-Origin"))
        # The browser's pre-flight question gets no permission either.
        preflight = self.server.request("/api", method="OPTIONS", headers={
            "Origin": "http://evil.example", "Access-Control-Request-Method": "POST"})
        self.assertEqual(preflight.status, 403)
        self.assertIsNone(preflight.header("Access-Control-Allow-Origin"))
        self.assertEqual(setting_value(self.server, "downloader.num_threads"), 1)

    def test_the_page_itself_scripts_and_links_are_answered(self):
        port = self.server.port
        own_page = {"Origin": "http://127.0.0.1:%d" % port, "Sec-Fetch-Site": "same-origin"}
        self.assertEqual(self.server.command("get_os_name", headers=own_page).status, 200)
        by_name = {"Origin": "http://localhost:%d" % port, "Host": "localhost:%d" % port}
        self.assertEqual(self.server.command("get_os_name", headers=by_name).status, 200)
        self.assertEqual(self.server.command("get_os_name").status, 200)
        # A person following a link from elsewhere sees the page; a link cannot run a command.
        self.assertEqual(self.server.request("/", headers=FOLLOWED_LINK).body, b"<h1>the page</h1>")
        self.assertEqual(self.server.request("/api", headers=FOLLOWED_LINK).status, 403)


class PasswordTest(unittest.TestCase):
    def setUp(self):
        self.server = PelkoServer(files=PAGE).start()
        self.assertEqual(self.server.command("set_password", password=PASSWORD).json(),
                         {"status": "OK", "message": "The password has been set."})
        self.server.auth_headers = basic(PASSWORD)
        self.hash = read_config(self.server)["access"]["password_hash"]

    def tearDown(self):
        self.server.close()

    def anonymous(self, path, headers=None, **kwargs):
        return self.server.request(path, headers=dict({"Authorization": ""}, **(headers or {})), **kwargs)

    def login(self, password, next_path="/", source="127.0.0.1"):
        body = "password=%s&next=%s" % (password.replace(" ", "+"), next_path)
        return self.anonymous("/login", body=body.encode(), source=source, headers={
            "Content-Type": "application/x-www-form-urlencoded"})

    def test_others_are_answered_while_many_addresses_guess(self):
        self.assertEqual(self.server.command("get_os_name").status, 200)  # the password is verified once
        stop = time.monotonic() + 3
        guesses = []

        def guess(source):
            while time.monotonic() < stop:
                guesses.append(self.anonymous("/api", body=b'{"request": "get_os_name"}', source=source,
                                              headers=basic("wrong")).status)

        threads = [threading.Thread(target=guess, args=("127.0.0.%d" % (10 + i),)) for i in range(10)]
        for thread in threads:
            thread.start()
        slowest = 0
        while time.monotonic() < stop:
            started = time.monotonic()
            self.assertEqual(self.server.command("get_os_name").status, 200)
            slowest = max(slowest, time.monotonic() - started)
        for thread in threads:
            thread.join()
        self.assertTrue(set(guesses) <= {401, 429} and 401 in guesses, set(guesses))
        # One hash takes a fraction of a second; on the main thread ten addresses' guesses held
        # every other request for seconds.
        self.assertLess(slowest, 1.0)

    def test_every_path_needs_it_and_the_hash_is_never_handed_out(self):
        self.assertTrue(self.hash.startswith("$argon2id$"), self.hash)
        self.assertNotIn(PASSWORD.encode(), read_bytes(self.server, "config.json"))

        api = self.anonymous("/api", body=b'{"request": "get_os_name"}')
        self.assertEqual(api.status, 401)
        self.assertTrue(api.json()["login_required"])
        self.assertEqual(api.header("WWW-Authenticate"), 'Basic realm="Pelko", charset="UTF-8"')
        for path in ["/", "/index.html", "/download/abc"]:
            with self.subTest(path=path):
                page = self.anonymous(path, headers=PAGE_LOAD)
                self.assertEqual(page.status, 401)
                self.assertIn(b'<form method="post" action="/login">', page.body)
                self.assertNotIn(b"the page", page.body)
                self.assertIsNone(page.header("WWW-Authenticate"), "the browser would ask in its own dialog")
                self.assertEqual(self.anonymous(path).status, 401)

        replies = [self.server.command(name) for name in
                   ["update_config", "fetch_settings_info", "fetch_session_logs", "fetch_alltime_logs",
                    "reset_config_to_default_values"]]
        replies.append(self.server.request("/"))
        for reply in replies:
            self.assertEqual(reply.status, 200, reply.body)
            self.assertNotIn(self.hash.encode(), reply.body)
            self.assertNotIn(b"password_hash", reply.body)
        self.assertTrue(replies[1].json()["password_set"])
        # Resetting the settings keeps the server closed.
        self.assertEqual(read_config(self.server)["access"]["password_hash"], self.hash)
        self.assertEqual(self.anonymous("/api", body=b'{"request": "foo"}').status, 401)

    def test_basic_credentials_with_any_user_name(self):
        for user in ["pelko", "", "someone else"]:
            self.assertEqual(self.server.command("get_os_name", headers=basic(PASSWORD, user)).status, 200)
        wrong = self.server.command("get_os_name", headers=basic("wrong"))
        self.assertEqual(wrong.status, 401)
        self.assertEqual(wrong.json()["message"], "Wrong password.")

    def test_login_and_logout(self):
        wrong = self.login("wrong", "/download/abc")
        self.assertEqual(wrong.status, 401)
        self.assertIn(b"Wrong password.", wrong.body)
        self.assertIn(b'name="next" value="/download/abc"', wrong.body)

        reply = self.login(PASSWORD, "%2F%23settings")
        self.assertEqual(reply.status, 303)
        self.assertEqual(reply.header("Location"), "/#settings")
        cookie = reply.header("Set-Cookie")
        self.assertRegex(cookie, r"^pelko_session=[0-9a-f]{64}; Path=/; HttpOnly; SameSite=Strict$")
        session = {"Cookie": cookie.split(";")[0]}
        self.assertEqual(self.anonymous("/", headers=session).body, b"<h1>the page</h1>")
        self.assertEqual(self.anonymous("/api", body=b'{"request": "foo"}', headers=session).status, 200)

        # A login never leads off the site.
        self.assertEqual(self.login(PASSWORD, "//evil.example/").header("Location"), "/")

        # A link cannot log anyone out: only the posted form does.
        link = self.anonymous("/logout", headers=dict(FOLLOWED_LINK, **session))
        self.assertEqual((link.status, link.header("Set-Cookie")), (303, None))
        self.assertEqual(self.anonymous("/api", body=b'{"request": "foo"}', headers=session).status, 200)

        logout = self.anonymous("/logout", body=b"", headers=session)
        self.assertEqual(logout.status, 303)
        self.assertEqual(logout.header("Location"), "/")
        self.assertIn("Max-Age=0", logout.header("Set-Cookie"))
        self.assertEqual(self.anonymous("/api", body=b'{"request": "foo"}', headers=session).status, 401)

    def test_repeated_failures_are_slowed_down(self):
        for _ in range(3):
            self.assertEqual(self.login("guess").status, 401)
        # Too soon: not even the right password is looked at.
        early = self.server.command("get_os_name")
        self.assertEqual(early.status, 429)
        self.assertEqual(early.json()["description"], "Too many requests")
        wait = int(early.header("Retry-After"))
        self.assertGreaterEqual(wait, 1)
        self.assertEqual(self.login(PASSWORD).status, 429)
        # Other addresses are not held up.
        self.assertEqual(self.server.command("get_os_name", source="127.0.0.2").status, 200)
        time.sleep(wait)
        self.assertEqual(self.server.command("get_os_name").status, 200)

    def test_a_new_password_ends_every_session_and_an_empty_one_removes_it(self):
        session = {"Cookie": self.login(PASSWORD).header("Set-Cookie").split(";")[0]}
        self.assertEqual(self.server.command("set_password", password="new one").status, 200)
        self.assertEqual(self.anonymous("/api", body=b'{"request": "foo"}', headers=session).status, 401)
        self.assertEqual(self.server.command("foo").status, 401)
        self.server.auth_headers = basic("new one")
        self.assertEqual(self.server.command("foo").status, 200)

        self.assertEqual(self.server.command("set_password", password="").json()["message"],
                         "The password has been removed.")
        self.assertEqual(self.anonymous("/api", body=b'{"request": "foo"}').status, 200)
        self.assertEqual(read_config(self.server)["access"]["password_hash"], "")
        self.assertNotIn(PASSWORD, self.server.output)


class DiskFullTest(unittest.TestCase):
    NOT_SAVED = ("The settings could not be saved: \"config.json\" could not be written (File too large). "
                 "Nothing was changed.")

    def test_a_save_that_fails_is_reported_and_changes_nothing(self):
        # config.json as the harness writes it fits; the full settings document does not.
        with PelkoServer(file_size_limit=300) as server:
            before = read_bytes(server, "config.json")
            for name, parameters in [("update_config", {"config": {"downloader": {"num_threads": 3}}}),
                                     ("reset_config_to_default_values", {}),
                                     ("set_password", {"password": PASSWORD})]:
                with self.subTest(name):
                    reply = server.command(name, **parameters)
                    self.assertEqual(reply.status, 500)
                    self.assertEqual(reply.json()["message"], self.NOT_SAVED)
                    self.assertEqual(read_bytes(server, "config.json"), before)
                    self.assertFalse(os.path.exists(server.path("config.json___")))
            self.assertEqual(setting_value(server, "downloader.num_threads"), 1)
            self.assertFalse(server.command("fetch_settings_info").json()["password_set"])
            server.kill()  # its last saves would fail as well


class HostileSettingsTest(SharedServerTest):
    def test_refused_settings_name_the_expected_range(self):
        reply = self.server.command("update_config", config={
            "httpServer": {"port": "99999"}, "downloader": {"num_threads": 3, "cachedir": "/"}}).json()
        self.assertEqual(reply["message"], "Updated settings")
        self.assertEqual(sorted(reply["refused_settings"]), ["downloader.cachedir", "httpServer.port"])
        self.assertEqual(reply["refusal_reasons"]["httpServer.port"],
                         "Expected a port from 1 to 65535, alone or after an IPv4 address "
                         "(\"6969\" or \"127.0.0.1:6969\").")
        self.assertEqual(reply["config"]["downloader"]["num_threads"], 3)
        self.assertEqual(read_config(self.server)["httpServer"]["port"], self.server.config["httpServer"]["port"])
        self.assertIn('Refused to set httpServer.port to "99999": Expected a port', self.server.output)


class SlowClientsTest(unittest.TestCase):
    ATTACKERS = ["127.0.0.%d" % n for n in range(2, 10)]
    PER_ATTACKER = 32  # each address holds all it may

    def test_trickling_clients_cannot_lock_others_out(self):
        with PelkoServer() as server:
            held = []
            for source in self.ATTACKERS:
                for _ in range(self.PER_ATTACKER):
                    sock = socket.create_connection(("127.0.0.1", server.port), 5, (source, 0))
                    sock.sendall(b"GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: ")
                    held.append(sock)
            try:
                # A ninth client is answered while the eight hold every connection they may: before
                # the server cut any of them off (which would make room).
                self.assertEqual(server.command("get_os_name", source="127.0.0.10").status, 200)
                readable, _, _ = select.select(held, [], [], 0)
                self.assertEqual(readable, [], "answered only after connections of the eight were closed")

                # A byte a second keeps no request alive: each is cut off, unanswered, once its
                # ten seconds are up. The loop ends after 30 s at the latest.
                still_open = set(held)
                deadline = time.monotonic() + 30
                while still_open and time.monotonic() < deadline:
                    for sock in list(still_open):
                        try:
                            sock.sendall(b"x")
                        except OSError:
                            still_open.discard(sock)
                    readable, _, _ = select.select(list(still_open), [], [], 1.0)
                    for sock in readable:
                        try:
                            self.assertEqual(sock.recv(65536), b"", "a request that never ended was answered")
                        except ConnectionResetError:
                            pass
                        still_open.discard(sock)
                self.assertEqual(len(still_open), 0, "trickling connections still open after 30 s")
                self.assertEqual(server.command("get_os_name", source=self.ATTACKERS[0]).status, 200)
            finally:
                for sock in held:
                    sock.close()


if __name__ == "__main__":
    unittest.main()
