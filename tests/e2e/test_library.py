"""The library folder as a user sets it up from the page: the setting's checks, a finished
download's file placed under the template's name, and the file kept when the entry goes. The
fake youtube-dl of tests/support stands in for the downloader."""

import http.server
import json
import os
import shutil
import tempfile
import threading
import unittest
import urllib.parse
import xml.etree.ElementTree

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
                                                          "template": "{uploader}/{title} [{video_id}].{ext}",
                                                          "subtitles": "", "nfo": True})

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
                             "_/_.._Best_Of CON [fake] (2).mp3", server.output)

            self.assertEqual(server.command("remove_download_entry", id=first).status, 200)
            self.assertEqual(server.command("clear_download_cache").status, 200)
            self.assertEqual(sorted(os.listdir(os.path.join(self.library, "_"))),
                             ["_.._Best_Of CON [fake] (2).mp3", "_.._Best_Of CON [fake] (2).nfo",
                              "_.._Best_Of CON [fake].mp3", "_.._Best_Of CON [fake].nfo", "tvshow.nfo"])

            # The index keeps where the files went across a restart.
            third = server.command("queue_download", video_url=video_url(fake_title="Kept"), mode="video").json()
            server.wait_for_download(third["pelko_id"], "finished")
            server.restart()
            entry = server.wait_for_download(third["pelko_id"], "finished")
            self.assertEqual(entry["library_path"], "Fake Uploader/Kept [fake].mp4")

    def test_yt_dlp_is_told_what_goes_into_the_file_and_the_subtitles_go_beside_it(self):
        # The fake plays yt-dlp under that name; youtube-dl, which it would play otherwise, took
        # none of these options.
        programs = tempfile.mkdtemp(prefix="pelko-programs-")
        self.addCleanup(shutil.rmtree, programs, True)
        os.symlink(os.path.join(FAKE_DOWNLOADER_DIR, "youtube-dl"), os.path.join(programs, "yt-dlp"))
        # A stand-in SponsorBlock server is for config.json only; nothing needs to answer there.
        api = "http://127.0.0.1:9/sponsorblock"
        with PelkoServer(extra_path=[programs], environment={"PELKO_FAKE_DOWNLOADER_LOG": "calls.log"},
                         config={"downloader": {"sponsorblock_api": api}}) as server:
            reply = server.command("update_config", config={
                "library": {"dir": self.library, "subtitles": "en,de", "nfo": False},
                "downloader": {"sponsorblock": "remove", "sponsorblock_categories": "sponsor,intro"}}).json()
            self.assertEqual(reply.get("refused_settings", []), [])

            def download_call():
                with open(server.path("calls.log")) as log:
                    return [json.loads(line) for line in log if "--newline" in line][-1]

            def after(call, option):
                return call[call.index(option) + 1]

            video = server.command("queue_download", mode="video", video_url=video_url(fake_title="Talk")).json()
            entry = server.wait_for_download(video["pelko_id"], "finished")
            call = download_call()
            for option in ("--embed-metadata", "--embed-thumbnail", "--embed-chapters", "--write-subs", "--embed-subs",
                           "--ignore-errors"):
                self.assertIn(option, call)
            self.assertEqual([after(call, o) for o in ("--sub-langs", "--convert-subs", "--sponsorblock-remove",
                                                       "--sponsorblock-api")], ["en,de", "srt", "sponsor,intro", api])
            self.assertEqual(entry["library_path"], "Fake Uploader/Talk [fake].mp4")
            folder = os.path.join(self.library, "Fake Uploader")
            self.assertEqual(sorted(os.listdir(folder)), ["Talk [fake].de.srt", "Talk [fake].en.srt", "Talk [fake].mp4"])
            with open(os.path.join(folder, "Talk [fake].de.srt")) as subtitles:
                self.assertIn("fake de subtitles", subtitles.read())

            # A sound file has no subtitle track; its segments are cut all the same.
            server.command("update_config", config={"downloader": {"sponsorblock": "mark"}})
            audio = server.command("queue_download", mode="audio", video_url=video_url(fake_title="Song")).json()
            server.wait_for_download(audio["pelko_id"], "finished")
            call = download_call()
            self.assertNotIn("--write-subs", call)
            self.assertEqual(after(call, "--sponsorblock-mark"), "sponsor,intro")

            # The cache's subtitles go with the entry; the library's stay.
            self.assertEqual(server.command("remove_download_entry", id=video["pelko_id"]).status, 200)
            self.assertEqual([name for name in os.listdir(server.path("dlcache/download")) if name.endswith(".srt")], [])
            self.assertEqual(len(os.listdir(folder)), 4)

    def test_media_servers_get_an_nfo_and_pictures_beside_each_file(self):
        picture = b"\xff\xd8\xff\xe0" + b"\x00" * 64

        class Pictures(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                self.send_response(200)
                self.send_header("Content-Length", str(len(picture)))
                self.end_headers()
                self.wfile.write(picture)

            def log_message(self, *args):
                pass

        pictures = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Pictures)
        threading.Thread(target=pictures.serve_forever, daemon=True).start()
        self.addCleanup(pictures.server_close)
        self.addCleanup(pictures.shutdown)
        thumbnail = "http://127.0.0.1:%d/vi/fake/maxresdefault.jpg" % pictures.server_address[1]

        hostile = "<i>Live</i> & \"loud\" ]]> \x07bell"
        with PelkoServer(extra_path=[FAKE_DOWNLOADER_DIR]) as server:
            server.command("update_config", config={"library": {"dir": self.library}})
            queued = server.command("queue_download", mode="video", video_url=video_url(
                fake_title=hostile, fake_uploader="Tom & Jerry <3", fake_thumbnail=thumbnail)).json()
            entry = server.wait_for_download(queued["pelko_id"], "finished")
            stem = os.path.join(self.library, os.path.splitext(entry["library_path"])[0])

            episode = xml.etree.ElementTree.parse(stem + ".nfo").getroot()
            self.assertEqual(episode.tag, "episodedetails")
            self.assertEqual({child.tag: child.text for child in episode},
                             {"title": "<i>Live</i> & \"loud\" ]]> bell", "plot": "A video that only exists in tests.",
                              "aired": "2024-01-31", "studio": "Tom & Jerry <3", "uniqueid": "fake"})
            with open(stem + "-thumb.jpg", "rb") as saved:
                self.assertEqual(saved.read(), picture)
            show = os.path.join(self.library, "Tom & Jerry _3")
            self.assertEqual(xml.etree.ElementTree.parse(os.path.join(show, "tvshow.nfo")).getroot().findtext("title"),
                             "Tom & Jerry <3")
            self.assertTrue(os.path.exists(os.path.join(show, "poster.jpg")))

            # Off: the file alone.
            server.command("update_config", config={"library": {"nfo": False}})
            queued = server.command("queue_download", mode="audio", video_url=video_url(
                fake_title="Plain", fake_uploader="Tom & Jerry <3", fake_thumbnail=thumbnail)).json()
            server.wait_for_download(queued["pelko_id"], "finished")
            self.assertEqual(sorted(name for name in os.listdir(show) if name.startswith("Plain")), ["Plain [fake].mp3"])


if __name__ == "__main__":
    unittest.main()
