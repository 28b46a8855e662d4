"""HTTPS with a certificate of one's own certificate authority, made by openssl for each run:
the server then speaks nothing else, marks its session cookie Secure and never serves the key;
a certificate or key it cannot use leaves it without any listener, never in clear text."""

import http.client
import os
import shutil
import socket
import ssl
import subprocess
import tempfile
import unittest

from pelko_harness import PelkoServer

PASSWORD = "correct horse battery staple"
NO_CLEAR_TEXT = "Nothing listens: plain HTTP would show passwords and cookies to the network."


def openssl(*arguments, cwd):
    subprocess.run(["openssl", *arguments], cwd=cwd, check=True, capture_output=True)


def make_certificates(folder):
    """A CA ("ca.pem") and two certificates it signed for 127.0.0.1: "cert.pem" with "key.pem",
    and "other-cert.pem" with "other-key.pem"."""
    ec = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]
    openssl("req", "-x509", *ec, "-keyout", "ca.key", "-out", "ca.pem", "-days", "2", "-subj", "/CN=Pelko test CA",
            cwd=folder)
    with open(os.path.join(folder, "names.cnf"), "w") as names:
        names.write("subjectAltName=IP:127.0.0.1,DNS:localhost\n")
    for prefix in ("", "other-"):
        openssl("req", *ec, "-keyout", prefix + "key.pem", "-out", prefix + "req.csr", "-subj", "/CN=127.0.0.1",
                cwd=folder)
        openssl("x509", "-req", "-in", prefix + "req.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
                "-out", prefix + "cert.pem", "-days", "2", "-extfile", "names.cnf", cwd=folder)


def nothing_listens(port):
    try:
        socket.create_connection(("127.0.0.1", port), timeout=5).close()
    except ConnectionRefusedError:
        return True
    return False


class HttpsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="pelko-tls-")
        make_certificates(cls.folder)
        cls.context = ssl.create_default_context(cafile=os.path.join(cls.folder, "ca.pem"))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder, ignore_errors=True)

    def file(self, name):
        return os.path.join(self.folder, name)

    def read(self, name):
        with open(self.file(name), "rb") as pem:
            return pem.read()

    def test_only_https_a_secure_cookie_and_the_key_never_served(self):
        # Placed by hand inside the front-end directory, where update_config would refuse it.
        with PelkoServer(config={"httpServer": {"tls_certificate": self.file("cert.pem"),
                                                "tls_key": "frontend/key.pem"}},
                         files={"frontend/index.html": "<h1>the page</h1>",
                                "frontend/key.pem": self.read("key.pem")}) as server:
            server.tls_context = self.context
            self.assertIn("Started http-server successfully! It speaks HTTPS only.", server.output)
            self.assertEqual(server.command("get_server_version").json()["status"], "OK")
            self.assertEqual(server.request("/").body, b"<h1>the page</h1>")
            self.assertEqual(server.request("/key.pem").status, 404)
            self.assertIn(b"<link>https://127.0.0.1:%d/</link>" % server.port, server.request("/feeds/all.xml").body)

            server.tls_context = None
            with self.assertRaises((http.client.HTTPException, OSError)):
                server.command("get_server_version")
            server.tls_context = self.context

            self.assertEqual(server.command("set_password", password=PASSWORD).status, 200)
            login = server.request("/login", body=("password=%s&next=/" % PASSWORD.replace(" ", "+")).encode(),
                                   headers={"Content-Type": "application/x-www-form-urlencoded"})
            self.assertEqual(login.status, 303)
            self.assertRegex(login.header("Set-Cookie"),
                             r"^pelko_session=[0-9a-f]{64}; Path=/; HttpOnly; SameSite=Strict; Secure$")
            session = {"Cookie": login.header("Set-Cookie").split(";")[0]}
            settings = server.command("fetch_settings_info", headers=session)
            self.assertEqual(settings.status, 200)
            self.assertNotIn(self.read("key.pem").split(b"\n")[1], settings.body)
        self.assertNotIn(self.read("key.pem").split(b"\n")[1].decode(), server.output)

    def test_an_unusable_certificate_or_key_leaves_nothing_listening(self):
        cases = [
            ({"tls_certificate": self.file("cert.pem"), "tls_key": self.file("missing.pem")},
             'HTTPS is set up but cannot start: httpServer.tls_key "%s" cannot be read (No such file or directory).'
             % self.file("missing.pem")),
            ({"tls_certificate": self.file("cert.pem")},
             "HTTPS is set up but cannot start: httpServer.tls_key is not set, and HTTPS needs both the certificate "
             "and its key."),
            ({"tls_certificate": self.file("cert.pem"), "tls_key": self.file("other-key.pem")},
             "The certificate and the given key do not match."),
        ]
        for settings, reason in cases:
            with self.subTest(reason=reason), PelkoServer(config={"httpServer": settings}) as server:
                self.assertIn(reason, server.output)
                self.assertIn(NO_CLEAR_TEXT, server.output)
                self.assertTrue(nothing_listens(server.port))

    def test_a_client_sets_readable_pem_files_that_apply_at_the_next_start(self):
        with PelkoServer() as server:
            refusals = [
                ({"tls_key": self.file("missing.pem")}, "tls_key", "The file does not exist."),
                ({"tls_key": self.folder}, "tls_key", "The path is not a regular file."),
                ({"tls_certificate": self.file("key.pem")}, "tls_certificate",
                 "Expected a PEM file the server can read that holds the certificate (\"-----BEGIN CERTIFICATE-----\"), "
                 "followed by any intermediate ones, or \"\" for plain HTTP."),
                ({"tls_key": server.path("config.json")}, "tls_key",
                 "The path would touch the settings file \"config.json\"."),
            ]
            for change, name, reason in refusals:
                with self.subTest(reason=reason):
                    reply = server.command("update_config", config={"httpServer": change}).json()
                    self.assertEqual(reply["refusal_reasons"], {"httpServer." + name: reason})

            reply = server.command("update_config", config={"httpServer": {
                "tls_certificate": self.file("cert.pem"), "tls_key": self.file("key.pem")}}).json()
            self.assertNotIn("refused_settings", reply)
            info = {item["path"]: item for item in server.command("fetch_settings_info").json()["settings"]}
            self.assertEqual((info["httpServer.tls_key"]["value"], info["httpServer.tls_key"]["applies"]),
                             (self.file("key.pem"), "after_restart"))

            server.restart()
            server.tls_context = self.context
            self.assertEqual(server.command("get_server_version").json()["status"], "OK")


if __name__ == "__main__":
    unittest.main()
