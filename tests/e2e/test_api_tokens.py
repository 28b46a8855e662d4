"""App tokens: made once and shown once, scopes that reach what they name and nothing else, revoked and
wrong tokens, the back-off they share with the password, and tokens that never leave the server."""

import json
import os
import re
import stat
import unittest

from pelko_harness import PelkoServer
from test_access import PAGE, basic

PASSWORD = "correct horse battery staple"
FINISHED = "fin1shed"
MEDIA = b"the finished sound\n"
INDEX = [{"title": "Morning birdsong", "description": "", "uploader": "Somebody", "duration": 10,
          "pelko_id": FINISHED, "webpage_url": "https://videos.example/birds", "thumbnail_url": "",
          "download_progress": 100, "downloaded_filename": "dlcache/download/%s.mp3" % FINISHED,
          "download_url": "/download/" + FINISHED, "queued_timestamp": 1700000000, "mode": "audio",
          "status": "finished"}]
FILES = dict(PAGE, **{"dlcache/index.json": json.dumps(INDEX), "dlcache/download/%s.mp3" % FINISHED: MEDIA})
NO_CREDENTIALS = {"Authorization": ""}


def bearer(token):
    return {"Authorization": "Bearer " + token}


def token_command(server, request, **parameters):
    """A token command; its parameter "name" is also the name of command()'s own."""
    return server.request("/api", json.dumps(dict(parameters, request=request)).encode(),
                          headers={"Content-Type": "application/json"})


class TokenTest(unittest.TestCase):
    def setUp(self):
        self.server = PelkoServer(files=FILES).start()
        self.addCleanup(self.server.close)

    def create(self, name, scope):
        reply = token_command(self.server, "create_api_token", name=name, scope=scope)
        self.assertEqual(reply.status, 200, reply.body)
        return reply.json()

    def lock(self):
        self.assertEqual(self.server.command("set_password", password=PASSWORD).status, 200)
        self.server.auth_headers = basic(PASSWORD)

    def fetch(self, path, headers, source="127.0.0.1"):
        if path == "/api":
            return self.server.request(path, b'{"request": "get_os_name"}', source=source, headers=headers)
        return self.server.request(path, source=source, headers=headers)

    def test_only_with_a_password_and_shown_once(self):
        refused = token_command(self.server, "create_api_token", name="phone", scope="full")
        self.assertEqual((refused.status, refused.json()["message"]),
                         (400, "Set a password first: without one, no app needs a token."))
        self.lock()
        for parameters, message in [({"name": "phone", "scope": "admin"}, 'The scope of an app token is "full" or "feeds".'),
                                    ({"scope": "full"}, "Missing mandatory value 'name'"),
                                    ({"name": "", "scope": "full"}, "An app token needs a name.")]:
            with self.subTest(parameters):
                reply = token_command(self.server, "create_api_token", **parameters)
                self.assertEqual((reply.status, reply.json()["message"]), (400, message))

        made = self.create("phone", "feeds")
        self.assertRegex(made["token"], r"^pelko_[A-Za-z0-9_-]{43}$")
        self.assertEqual(made["message"], 'Created the app token "phone". Copy it now: it is shown only once.')
        self.assertEqual({key: made["api_token"][key] for key in ("name", "scope", "last_used")},
                         {"name": "phone", "scope": "feeds", "last_used": 0})
        self.assertEqual(token_command(self.server, "create_api_token", name="phone", scope="full").json()["message"],
                         'An app token named "phone" exists already.')
        listed = self.server.command("fetch_api_tokens").json()
        self.assertEqual(listed["api_tokens"], [made["api_token"]])
        self.assertEqual(stat.S_IMODE(os.stat(self.server.path("tokens.json")).st_mode), 0o600)

    def test_each_scope_reaches_what_it_names(self):
        self.lock()
        full = self.create("script", "full")["token"]
        feeds = self.create("podcast app", "feeds")["token"]
        download = "/download/" + FINISHED
        # Status for "/api", "/" and a download, by the credentials a client sends.
        table = {
            "full token": (bearer(full), "", [200, 200, 200]),
            "feeds token": (bearer(feeds), "", [403, 403, 200]),
            # In the query only for what podcast apps fetch, whichever the token.
            "feeds token in the query": (NO_CREDENTIALS, "?token=" + feeds, [401, 401, 200]),
            "full token in the query": (NO_CREDENTIALS, "?token=" + full, [401, 401, 200]),
            "no credentials": (NO_CREDENTIALS, "", [401, 401, 401]),
        }
        for name, (headers, query, statuses) in table.items():
            for path, status in zip(["/api", "/", download], statuses):
                with self.subTest(name, path=path):
                    reply = self.fetch(path + query if path != "/api" else path, headers)
                    self.assertEqual(reply.status, status, reply.body)
                    if status == 403:
                        self.assertEqual(reply.json()["message"],
                                         "This app token may only fetch podcast feeds and their downloads.")
        self.assertEqual(self.fetch(download, bearer(feeds)).body, MEDIA)
        self.assertEqual(self.fetch("/api", bearer(full)).json()["os_name"], "Linux")
        # A token stands beside the password: a new password leaves it as it was.
        self.assertEqual(self.server.command("set_password", password="another one").status, 200)
        self.assertEqual(self.fetch("/api", bearer(full)).status, 200)
        used = {token["name"]: token["last_used"] for token in
                self.server.command("fetch_api_tokens", headers=bearer(full)).json()["api_tokens"]}
        self.assertTrue(all(used.values()), used)

    def test_revoked_and_wrong_tokens_and_the_back_off(self):
        self.lock()
        full = self.create("script", "full")["token"]
        feeds = self.create("podcast app", "feeds")["token"]
        self.assertEqual(token_command(self.server, "revoke_api_token", name="podcast app").json()["message"],
                         'Revoked the app token "podcast app".')
        self.assertEqual(token_command(self.server, "revoke_api_token", name="podcast app").json()["message"],
                         'No app token is named "podcast app".')
        for headers, query in [(bearer(feeds), ""), (NO_CREDENTIALS, "?token=" + feeds)]:
            reply = self.fetch("/download/" + FINISHED + query, headers)
            self.assertEqual((reply.status, reply.json()["message"]), (401, "Wrong app token."))
        self.assertEqual([token["name"] for token in self.server.command("fetch_api_tokens").json()["api_tokens"]],
                         ["script"])

        # Wrong tokens count as wrong passwords; a right one in between lifts nothing.
        guesser = "127.0.0.5"
        wrong = full[:-1] + ("A" if full[-1] != "A" else "B")
        self.assertEqual(self.fetch("/api", bearer(wrong), guesser).status, 401)
        self.assertEqual(self.fetch("/api", NO_CREDENTIALS | basic("guess"), guesser).status, 401)
        self.assertEqual(self.fetch("/api", bearer(full), guesser).status, 200)
        self.assertEqual(self.fetch("/feeds/all.xml?token=pelko_guess", NO_CREDENTIALS, guesser).status, 401)
        early = self.fetch("/api", bearer(full), guesser)
        self.assertEqual(early.status, 429)
        self.assertGreaterEqual(int(early.header("Retry-After")), 1)
        self.assertEqual(self.fetch("/api", bearer(full)).status, 200, "other addresses are not held up")

    def test_tokens_never_leave_the_server(self):
        self.lock()
        token = self.create("script", "full")["token"]
        secret = token.encode()
        self.assertEqual(self.fetch("/api", bearer(token)).status, 200)
        self.assertEqual(self.fetch("/download/%s?token=%s" % (FINISHED, token), NO_CREDENTIALS).status, 200)
        for path in ("/tokens.json", "/../tokens.json", "/%2e%2e/tokens.json", "/download/tokens.json"):
            self.assertNotIn(b"sha256", self.server.request(path).body, path)
        for name in ("fetch_api_tokens", "fetch_session_logs", "fetch_alltime_logs", "fetch_logs", "fetch_settings_info",
                     "update_config", "get_disk_usage"):
            with self.subTest(name):
                self.assertNotIn(secret, self.server.command(name).body)
        self.assertNotIn(token, self.server.output)
        self.assertIn('Created the app token "script" for full access.', self.server.output)

        self.assertEqual(self.server.stop(), 0)
        for name in ("log.txt", "log.json", "config.json", "tokens.json"):
            with open(self.server.path(name), "rb") as file:
                self.assertNotIn(secret, file.read(), name)
        self.server.start_again()
        self.assertEqual(self.fetch("/api", bearer(token)).status, 200, "tokens survive a restart")


if __name__ == "__main__":
    unittest.main()
