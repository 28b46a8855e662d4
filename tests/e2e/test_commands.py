"""The command interface at /api: body checks, dispatch and the system commands."""

import json
import unittest

from pelko_harness import PelkoServer, SharedServerTest

NOT_JSON = "Received json is fucked"
NOT_AN_OBJECT = "The request body must be a json struct! No json array or similar..."
WINDOWS_ONLY = ("This feature is currently only supported on Windows! "
                "Make sure to compile with preprocessor directive _WIN!")


class CommandInterfaceTest(SharedServerTest):
    def assertError(self, reply, status, description, message):
        self.assertEqual(reply.status, status, reply.body)
        self.assertEqual(reply.json(), {"status": "ERROR", "description": description, "message": message})

    def test_bodies_that_are_no_command_get_the_templates_error(self):
        wrong_type = ('Mandatory value "request" is of wrong type (INT)\n'
                      "Should be of type STRING! (Integers can be casted to floats)")
        cases = [
            (b"", 400, "Bad request", NOT_JSON),
            (b"not json at all", 400, "Bad request", NOT_JSON),
            (b'{"request": "foo"', 400, "Bad request", NOT_JSON),
            (b"[" * 100000, 400, "Bad request", NOT_JSON),  # deeper than the parser's nesting limit
            (b"[1,2]", 400, "Bad request", NOT_AN_OBJECT),
            (b'"get_server_version"', 400, "Bad request", NOT_AN_OBJECT),
            (b"{}", 400, "Bad request", "Missing mandatory value 'request'"),
            (b'{"command": "foo"}', 400, "Bad request", "Missing mandatory value 'request'"),
            (b'{"request": 5}', 400, "Bad request", wrong_type),
            (b'{"request": "KILL_YOURSELF"}', 404, "Not found", "The requested request was not found."),
            (b'{"request": "Get_Server_Version"}', 404, "Not found", "The requested request was not found."),
            (b'{"request": ""}', 404, "Not found", "The requested request was not found."),
        ]
        for body, status, description, message in cases:
            with self.subTest(body=body[:40]):
                self.assertError(self.server.request("/api", body), status, description, message)
        self.assertTrue(self.server.is_running())

    def test_method_and_query_string_do_not_matter(self):
        self.assertError(self.server.request("/api?request=foo"), 400, "Bad request", NOT_JSON)
        reply = self.server.request("/api?x=1", b'{"request": "get_server_version"}', method="PUT")
        self.assertEqual(reply.status, 200)

    def test_server_version_is_a_float(self):
        reply = self.server.command("get_server_version", ignored_member=[1, 2])
        self.assertEqual(reply.status, 200)
        self.assertEqual(reply.json(), {"server_version": 0.53, "status": "OK"})
        self.assertIsInstance(reply.json()["server_version"], float)

    def test_replies_of_the_system_commands(self):
        cases = [
            ("foo", 200, {"status": "OK", "message": "Bar!"}),
            ("get_os_name", 200, {"status": "OK", "os_name": "Linux"}),
            ("show_console", 501,
             {"status": "ERROR", "description": "Not implemented", "message": WINDOWS_ONLY}),
            ("hide_console", 501,
             {"status": "ERROR", "description": "Not implemented", "message": WINDOWS_ONLY}),
        ]
        for name, status, expected in cases:
            with self.subTest(command=name):
                reply = self.server.command(name)
                self.assertEqual(reply.status, status)
                self.assertEqual(reply.json(), expected)
        self.assertTrue(self.server.wait_for_output("Bar!"))
        self.assertIn("Bar!", self.server.output.splitlines(), "written directly, not as a log line")

    def test_json_replies_carry_exactly_their_headers(self):
        reply = self.server.command("get_os_name")
        self.assertIn(("content-type", "application/json"), reply.headers)
        # No other web site may read a reply.
        self.assertIsNone(reply.header("Access-Control-Allow-Origin"))
        self.assertEqual(int(reply.header("Content-Length")), len(reply.body))
        # Rendered in the indented form, members in label order.
        self.assertEqual(reply.body.decode(), json.dumps(reply.json(), indent=2, sort_keys=True))

    def test_log_lines_name_the_client_that_asked(self):
        self.server.command("get_os_name", source="127.0.0.2")
        self.assertTrue(self.server.wait_for_output(
            "[RestQueryHandler] @127.0.0.2: Asking for server OS name..."), self.server.output)
        self.server.command("get_disk_usage", source="127.0.0.3")
        self.assertTrue(self.server.wait_for_output("[RestQueryHandler] @127.0.0.3: Fetching disk usage..."))


class KillYourselfTest(unittest.TestCase):
    def test_says_goodbye_then_shuts_down_cleanly_and_saves_the_settings(self):
        with PelkoServer() as server:
            reply = server.command("kill_yourself")
            self.assertEqual(reply.status, 200)
            self.assertEqual(reply.json(), {"status": "OK", "message": "Goodbye! :3"})
            self.assertEqual(server.wait(), 0, server.output)

            output = server.output
            self.assertLess(output.index("Shutting down server upon client request..."),
                            output.index("[HttpServer]: Shutting down http-server..."))
            with open(server.path("config.json")) as saved:
                settings = json.load(saved)
            self.assertEqual(settings["httpServer"]["port"], "127.0.0.1:%d" % server.port)
            self.assertEqual(settings["httpServer"]["polling_rate"], 100)


if __name__ == "__main__":
    unittest.main()
