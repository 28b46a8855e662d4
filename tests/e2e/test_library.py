"""The library folder as a user sets it up from the page: the setting's checks, a finished
download's file placed under the template's name, and the file kept when the entry goes. The
fake youtube-dl of tests/support stands in for the downloader."""

import os
import shutil
import tempfile
import unittest
import urllib.parse

from pelko_harness import FAKE_DOWNLOADER_DIR, PelkoServer


def video_url(**switches):
    return "https://videos.example/watch?" + urllib.parse.urlencode(switches)


class LibraryTest(unittest.TestCase):
    def setUp(self):
        self.library = tempfile.mkdtemp(prefix="pelko-library-")
        self.addCleanup(shutil.rmtree, self.library, True)

    def test_the_setting_takes_only_a_writable_directory_off_the_servers_files(self):
        with PelkoServer() as server:
            refused = {
                os.path.join(self.library, "gone"): "The directory does not exist.",
                "/proc/sys": "The server cannot write to the directory.",
                server.workdir: 'The path would touch the settings file "config.json".',
            }
            for value, reason in refused.items():
                with self.subTest(value=value):
                    reply = server.command("update_config", config={"library": {"dir": value}}).json()
                    self.assertEqual(reply["refused_settings"], ["library.dir"])
                    self.assertEqual(reply["refusal_reasons"]["library.dir"], reason)
                    self.assertEqual(reply["config"]["library"]["dir"], "")

            reply = server.command("update_config", config={"library": {"dir": self.library,
                                                                        "template": "{uploader}/{nope}.{ext}"}}).json()
            self.assertEqual(reply["refused_settings"], ["library.template"])
            self.assertEqual(reply["config"]["library"], {"dir": self.library,
                                                          "template": "{uploader}/{title} [{video_id}].{ext}"})

    def test_a_finished_download_is_placed_and_stays_when_its_entry_goes(self):
        with PelkoServer(extra_path=[FAKE_DOWNLOADER_DIR]) as server:
            server.command("update_config", config={"library": {"dir": self.library}})
            hostile = video_url(fake_title="../../Best/Of\nCON", fake_uploader="..")
            first = server.command("queue_download", video_url=hostile, mode="audio").json()["pelko_id"]
            entry = server.wait_for_download(first, "finished")
            self.assertEqual(entry["library_path"], "_/_.._Best_Of CON [fake].mp3")
            placed = os.path.join(self.library, entry["library_path"])
            self.assertTrue(os.path.samefile(placed, server.path(entry["downloaded_filename"])))

            # The same video again: a name of its own, the first file untouched.
            second = server.command("queue_download", video_url=hostile, mode="audio").json()["pelko_id"]
            self.assertEqual(server.wait_for_download(second, "finished")["library_path"],
                             "_/_.._Best_Of CON [fake] (2).mp3")

            self.assertEqual(server.command("remove_download_entry", id=first).status, 200)
            self.assertEqual(server.command("clear_download_cache").status, 200)
            self.assertEqual(sorted(os.listdir(os.path.join(self.library, "_"))),
                             ["_.._Best_Of CON [fake] (2).mp3", "_.._Best_Of CON [fake].mp3"])

            # The index keeps where the files went across a restart.
            third = server.command("queue_download", video_url=video_url(fake_title="Kept"), mode="video").json()
            server.wait_for_download(third["pelko_id"], "finished")
            server.restart()
            entry = server.wait_for_download(third["pelko_id"], "finished")
            self.assertEqual(entry["library_path"], "Fake Uploader/Kept [fake].mp4")


if __name__ == "__main__":
    unittest.main()
