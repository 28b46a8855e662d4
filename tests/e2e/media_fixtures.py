"""Media for the tests that run the real yt-dlp and ffmpeg: made by ffmpeg at test time,
small and short, and served on 127.0.0.1 only.

    with MediaSite() as site:
        master = make_hls_master(site.directory)     # "hls/master.m3u8": 360p and 720p
        subprocess.run(["yt-dlp", ..., site.url(master)], env=dict(os.environ, **offline_variables()))
        probe(downloaded)["height"]                  # 360 or 720

Every H.264 stream made here has the Constrained Baseline profile, which a re-encode by
yt-dlp (libx264's default, High) does not keep: a file that still has it was not re-encoded.
"""

import functools
import hashlib
import http.server
import json
import os
import shutil
import subprocess
import tempfile
import threading
import urllib.parse

from pelko_harness import free_port

TIMEOUT = 120
H264_PROFILE = "Constrained Baseline"
# Encoder options by codec, given to one output stream each (see _encoder).
VIDEO_ENCODERS = {
    "h264": {"c": "libx264", "preset": "ultrafast", "profile": "baseline", "pix_fmt": "yuv420p", "g": "50"},
    "vp9": {"c": "libvpx-vp9", "deadline": "realtime", "cpu-used": "8", "row-mt": "1", "b": "400k", "g": "50"},
    "vp8": {"c": "libvpx", "b": "200k"},
}
AUDIO_ENCODERS = {"aac": {"c": "aac", "b": "64k"}, "opus": {"c": "libopus", "b": "48k"}, "vorbis": {"c": "libvorbis"}}


def ffmpeg(*arguments):
    subprocess.run(["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y", *arguments],
                   check=True, timeout=TIMEOUT)


def _encoder(options, stream):
    """ffmpeg arguments that give `options` to the output stream `stream` ("v:0", "a", ...)."""
    return [argument for name, value in options.items() for argument in ("-%s:%s" % (name, stream), value)]


def _sources(seconds, size, tone=440):
    """Test picture and a tone, `seconds` long, at 25 frames a second."""
    return ["-f", "lavfi", "-i", "testsrc2=duration=%s:size=%s:rate=25" % (seconds, size),
            "-f", "lavfi", "-i", "sine=frequency=%d:duration=%s" % (tone, seconds)]


def make_clip(path, seconds=3, size="160x120", video="vp8", audio="vorbis", tone=440):
    """One file with both streams; the container follows the name (.webm, .mp4, ...)."""
    os.makedirs(os.path.dirname(path) or ".", exist_ok=True)
    ffmpeg(*_sources(seconds, size, tone), *_encoder(VIDEO_ENCODERS[video], "v"),
           *_encoder(AUDIO_ENCODERS[audio], "a"), "-shortest", path)


def make_hls_master(directory, seconds=2, name="hls"):
    """An HLS master playlist with two renditions, 720p and 360p, each H.264 and AAC in one
    MPEG-TS stream; returns its path below `directory`."""
    out = os.path.join(directory, name)
    os.makedirs(out, exist_ok=True)
    ffmpeg(*_sources(seconds, "1280x720"),
           "-filter_complex", "[0:v]split=2[high][low];[low]scale=640:360[low360]",
           "-map", "[high]", "-map", "[low360]", "-map", "1:a", "-map", "1:a",
           *_encoder(VIDEO_ENCODERS["h264"], "v"), "-b:v:0", "1500k", "-b:v:1", "400k",
           *_encoder(AUDIO_ENCODERS["aac"], "a"),
           "-var_stream_map", "v:0,a:0 v:1,a:1", "-master_pl_name", "master.m3u8",
           "-f", "hls", "-hls_time", "2", "-hls_playlist_type", "vod",
           "-hls_segment_filename", os.path.join(out, "v%v", "segment%d.ts"), os.path.join(out, "v%v", "index.m3u8"))
    return name + "/master.m3u8"


def make_dash(directory, name, video=("h264",), audio=("aac",), seconds=2, size="1280x720"):
    """A DASH manifest that offers the same picture in each codec of `video` and the same
    sound in each of `audio`, all as separate streams, as the big sites do; returns its path
    below `directory`."""
    out = os.path.join(directory, name)
    os.makedirs(out, exist_ok=True)
    arguments = _sources(seconds, size)
    for _ in video:
        arguments += ["-map", "0:v"]
    for _ in audio:
        arguments += ["-map", "1:a"]
    for index, codec in enumerate(video):
        arguments += _encoder(VIDEO_ENCODERS[codec], "v:%d" % index)
    for index, codec in enumerate(audio):
        arguments += _encoder(AUDIO_ENCODERS[codec], "a:%d" % index)
    sets = " ".join("id=%d,streams=%d" % (n, n) for n in range(len(video) + len(audio)))
    ffmpeg(*arguments, "-f", "dash", "-dash_segment_type", "auto", "-seg_duration", "2",
           "-adaptation_sets", sets, os.path.join(out, "manifest.mpd"))
    return name + "/manifest.mpd"


def dash_stream(directory, name, index):
    """Stream `index` of the DASH manifest that make_dash made as `name` (its video streams
    first, then its sound), joined from its segments into one file; returns the file's path."""
    out = os.path.join(directory, name)
    init = next(item for item in os.listdir(out) if item.startswith("init-stream%d." % index))
    extension = init.rsplit(".", 1)[1]
    chunks = sorted(item for item in os.listdir(out) if item.startswith("chunk-stream%d-" % index))
    path = os.path.join(out, "stream%d.%s" % (index, "mp4" if extension == "m4s" else extension))
    with open(path, "wb") as joined:
        for part in [init, *chunks]:
            with open(os.path.join(out, part), "rb") as piece:
                joined.write(piece.read())
    return path


def make_two_video_page(directory, name="page"):
    """A page that holds two videos (H.264 and AAC files, 2 s and 3 s long); returns its path
    and the paths of the two files, all below `directory`."""
    out = os.path.join(directory, name)
    clips = []
    for number, seconds in ((1, 2), (2, 3)):
        clips.append("%s/clip%d.mp4" % (name, number))
        make_clip(os.path.join(directory, clips[-1]), seconds=seconds, size="320x180", video="h264", audio="aac",
                  tone=300 * number)
    with open(os.path.join(out, "two.html"), "w") as page:
        page.write("<!DOCTYPE html>\n<html><head><title>Two clips</title></head><body>\n<h1>Two clips</h1>\n"
                   '<video controls src="clip1.mp4"></video>\n<video controls src="clip2.mp4"></video>\n'
                   "</body></html>\n")
    return name + "/two.html", clips


def make_described_page(site, name="described", seconds=4):
    """A page whose JSON-LD VideoObject tells the clip's title, description, uploader, date,
    thumbnail and two chapters (an H.264 and AAC file, `seconds` long); returns the page's path
    and the details as the downloader reads them."""
    out = os.path.join(site.directory, name)
    make_clip(os.path.join(out, "clip.mp4"), seconds=seconds, size="320x180", video="h264", audio="aac")
    ffmpeg("-f", "lavfi", "-i", "testsrc2=size=320x180", "-frames:v", "1", os.path.join(out, "cover.jpg"))
    details = {"title": "Described clip & <more>", "description": "A clip that tells about itself.",
               "uploader": "Local Uploader", "upload_date": "20240305", "chapters": ["Opening", "Ending"]}
    document = {"@context": "https://schema.org", "@type": "VideoObject", "name": details["title"],
                "description": details["description"], "uploadDate": "2024-03-05T10:00:00Z",
                "author": {"@type": "Person", "name": details["uploader"]},
                "thumbnailUrl": site.url(name + "/cover.jpg"), "contentUrl": site.url(name + "/clip.mp4"),
                "encodingFormat": "video/mp4", "duration": "PT%dS" % seconds,
                "hasPart": [{"@type": "Clip", "name": "Opening", "startOffset": 0, "endOffset": seconds / 2},
                            {"@type": "Clip", "name": "Ending", "startOffset": seconds / 2, "endOffset": seconds}]}
    with open(os.path.join(out, "page.html"), "w") as page:
        page.write('<!DOCTYPE html>\n<html><head><title>Described</title>\n<script type="application/ld+json">'
                   + json.dumps(document).replace("<", "\\u003c") + "</script></head><body><h1>Described</h1></body></html>\n")
    return name + "/page.html", details


def make_subtitled_page(directory, name="subtitled"):
    """A page with one video (H.264 and AAC, 2 s) and its English subtitles as a <track>;
    returns the page's path and the subtitles' text."""
    out = os.path.join(directory, name)
    make_clip(os.path.join(out, "clip.mp4"), seconds=2, size="320x180", video="h264", audio="aac")
    text = "Hello from the subtitles"
    with open(os.path.join(out, "en.vtt"), "w") as subtitles:
        subtitles.write("WEBVTT\n\n00:00:00.500 --> 00:00:01.500\n%s\n" % text)
    with open(os.path.join(out, "page.html"), "w") as page:
        page.write('<!DOCTYPE html>\n<html><head><title>Subtitled clip</title></head><body>\n<video controls '
                   'src="clip.mp4"><track kind="subtitles" srclang="en" label="English" src="en.vtt"></video>\n'
                   "</body></html>\n")
    return name + "/page.html", text


def make_sponsorblock_answer(directory, video_id, segments, name="sponsorblock"):
    """SponsorBlock's answer for the video `video_id` as a file that a static server gives for
    its skipSegments query (the path ends in the first four hex digits of the id's SHA-256, the
    query is ignored); `segments` are (start, end, category) in seconds. Returns the API's base
    path below `directory`."""
    prefix = hashlib.sha256(video_id.encode("ascii")).hexdigest()[:4]
    out = os.path.join(directory, name, "api", "skipSegments")
    os.makedirs(out, exist_ok=True)
    answer = [{"videoID": video_id, "segments": [
        {"segment": [start, end], "category": category, "actionType": "skip", "UUID": "%s-%d" % (category, number),
         "videoDuration": 0, "description": ""} for number, (start, end, category) in enumerate(segments)]}]
    with open(os.path.join(out, prefix), "w") as out_file:
        json.dump(answer, out_file)
    return name


class _QuietHandler(http.server.SimpleHTTPRequestHandler):
    def __init__(self, *args, requested, **kwargs):
        self.requested = requested
        super().__init__(*args, **kwargs)

    def do_GET(self):
        self.requested.append(self.path)
        super().do_GET()

    def log_message(self, *args):
        pass


class MediaSite:
    """A scratch directory served over HTTP on 127.0.0.1 until closed; `requested` holds the
    paths asked for (with their queries), in order."""

    def __init__(self):
        self.directory = tempfile.mkdtemp(prefix="pelko-media-")
        self.requested = []
        self._server = http.server.ThreadingHTTPServer(
            ("127.0.0.1", 0), functools.partial(_QuietHandler, directory=self.directory, requested=self.requested))
        threading.Thread(target=self._server.serve_forever, daemon=True).start()

    def url(self, path):
        return "http://127.0.0.1:%d/%s" % (self._server.server_address[1], urllib.parse.quote(path))

    def close(self):
        self._server.shutdown()
        self._server.server_close()
        shutil.rmtree(self.directory, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def offline_variables():
    """Environment variables that send every address beyond this machine to a proxy that is
    not there, so that nothing the downloader tries leaves it."""
    dead_proxy = "http://127.0.0.1:%d" % free_port()
    variables = {name: dead_proxy for name in ("http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY")}
    variables.update(no_proxy="127.0.0.1", NO_PROXY="127.0.0.1")
    return variables


def probe(path):
    """Container (ffprobe's format names, e.g. "mov,mp4,m4a,3gp,3g2,mj2"), the codec, profile
    and height of the first video stream and the codec of the first audio stream."""
    result = subprocess.run(["ffprobe", "-v", "error", "-show_entries",
                             "format=format_name:stream=codec_type,codec_name,profile,height", "-of", "json", path],
                            capture_output=True, text=True, check=True, timeout=TIMEOUT)
    info = json.loads(result.stdout)
    streams = info["streams"]
    video = next((s for s in streams if s["codec_type"] == "video"), {})
    audio = next((s for s in streams if s["codec_type"] == "audio"), {})
    return {"container": info["format"]["format_name"], "video": video.get("codec_name"),
            "profile": video.get("profile"), "height": video.get("height"), "audio": audio.get("codec_name"),
            "kinds": sorted(s["codec_type"] for s in streams)}


def contents(path):
    """What a file holds besides its streams: its tags (the container's, and those of its first
    stream, where Ogg keeps them), how many cover pictures, its chapters' titles and the kinds
    of its other streams."""
    result = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format_tags:stream=codec_type:stream_tags:"
                             "stream_disposition=attached_pic", "-show_chapters", "-of", "json", path],
                            capture_output=True, text=True, check=True, timeout=TIMEOUT)
    info = json.loads(result.stdout)
    streams = info["streams"]
    tags = {**(streams[0].get("tags", {}) if streams else {}), **info.get("format", {}).get("tags", {})}
    covers = [s for s in streams if s["disposition"]["attached_pic"]]
    return {"tags": {name.lower(): value for name, value in tags.items()}, "covers": len(covers),
            "chapters": [chapter.get("tags", {}).get("title") for chapter in info["chapters"]],
            "kinds": sorted(s["codec_type"] for s in streams if not s["disposition"]["attached_pic"])}


def duration(path):
    """The file's length in seconds, as its container tells it."""
    result = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", path],
                            capture_output=True, text=True, check=True, timeout=TIMEOUT)
    return float(result.stdout.strip())


def stream_packets(path, *streams):
    """The MD5 sums of the packets of `streams` (ffmpeg's stream specifiers; "V" is the picture
    without a cover, "a" the sound) as they are stored: equal for two files only when one holds
    the other's streams unchanged, whatever the container and its tags."""
    maps = [argument for stream in streams for argument in ("-map", "0:" + stream)]
    result = subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-i", path, *maps, "-c", "copy",
                             "-f", "streamhash", "-hash", "md5", "-"], capture_output=True, text=True, check=True,
                            timeout=TIMEOUT)
    return result.stdout.strip()


def sound_packets(path):
    """stream_packets of the first sound stream."""
    return stream_packets(path, "a:0")


def decodes(path):
    """True when ffmpeg decodes every stream of the file to its end without an error."""
    result = subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-i", path, "-f", "null", "-"],
                            capture_output=True, text=True, timeout=TIMEOUT)
    return result.returncode == 0 and result.stderr.strip() == ""
