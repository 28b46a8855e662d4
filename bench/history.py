"""The history of a personal server that has run for years, generated for the benchmark:
cache index records, JSON log messages, a deeply nested request body, a front-end file and
a large finished download. Everything is deterministic."""

import json
import os

YEAR_2021 = 1609459200


def index_records(count, newest):
    """`count` finished downloads, one a minute up to `newest`, oldest first."""
    records = []
    for n in range(count):
        pelko_id = "h%06d" % n
        mode = "audio" if n % 3 else "video"
        records.append({
            "title": "A video of the history, number %d" % n, "description": "What it shows, in a few words.",
            "uploader": "Uploader %d" % (n % 100), "duration": 60 + n % 3600, "pelko_id": pelko_id,
            "webpage_url": "https://videos.example/watch?v=" + pelko_id,
            "thumbnail_url": "https://videos.example/%s.jpg" % pelko_id, "download_progress": 100,
            "downloaded_filename": "dlcache/download/%s.%s" % (pelko_id, "mp3" if mode == "audio" else "mp4"),
            "download_url": "/download/" + pelko_id, "queued_timestamp": newest - 60 * (count - n),
            "mode": mode, "status": "finished"})
    return records


def log_messages(count, newest):
    """`count` messages of earlier runs, ten a second up to `newest`, oldest first."""
    messages = []
    for n in range(count):
        text = "Fetching disk usage... (%d)" % n
        messages.append({
            "compiledMessage": "<01.01.2021 - 00:00:00> [RestQueryHandler] @127.0.0.1: " + text, "message": text,
            "identifier": "RestQueryHandler", "additional_information": "@127.0.0.1", "type": n % 3,
            "timestamp": newest - (count - n) // 10})
    return messages


def indented(value):
    """JSON in the server's own indented form, so that its first save need not rewrite it."""
    return json.dumps(value, indent=2)


def nested_body(size=1024 * 1024, depth=500):
    """A command body of exactly `size` bytes whose bulk lies `depth` arrays deep, where
    every level of nesting holds nearly the whole body."""
    frame = '{"request": "foo", "deep": %s"%%s"%s}' % ("[" * depth, "]" * depth)
    return (frame % ("x" * (size - len(frame % "")))).encode()


def front_end_file(size=50 * 1024):
    line = "export const answer = 42; // a line of the page's script\n"
    return (line * (size // len(line) + 1))[:size]


def write_large_file(path, size):
    """`size` bytes of a repeating pattern, written once and kept between runs."""
    if os.path.exists(path) and os.path.getsize(path) == size:
        return
    os.makedirs(os.path.dirname(path), exist_ok=True)
    block = bytes(range(256)) * 4096
    with open(path, "wb") as out:
        for _ in range(size // len(block)):
            out.write(block)
        out.write(block[:size % len(block)])
