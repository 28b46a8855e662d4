"""A small checker of the Prometheus text exposition format (version 0.0.4), for the replies of
/metrics: parse() reads a page, fails with AssertionError on anything the format does not allow,
and gives every sample by its name and labels."""

import math
import re

NAME = r"[a-zA-Z_:][a-zA-Z0-9_:]*"
LABEL = r'([a-zA-Z_][a-zA-Z0-9_]*)="((?:[^"\\\n]|\\[\\"n])*)"'
SAMPLE = re.compile(r"^(%s)(?:\{((?:%s)(?:,%s)*)?,?\})? (\S+)(?: -?\d+)?$" % (NAME, LABEL, LABEL))
KINDS = {"counter", "gauge", "histogram", "summary", "untyped"}


def number(text):
    if text in ("+Inf", "-Inf", "NaN"):
        return float(text.replace("Inf", "inf").replace("NaN", "nan"))
    assert re.fullmatch(r"[-+]?(\d+\.?\d*|\.\d+)([eE][-+]?\d+)?", text), "not a number: %r" % text
    return float(text)


def family_of(name, kinds):
    for suffix in ("_bucket", "_sum", "_count"):
        if name.endswith(suffix) and kinds.get(name[:-len(suffix)]) == "histogram":
            return name[:-len(suffix)]
    return name


def parse(text):
    """{(name, ((label, value), ...)): value} for every sample of `text`, labels sorted."""
    assert text.endswith("\n"), "the last line has no line end"
    kinds, helps, samples, finished, current = {}, set(), {}, set(), None
    for line in text[:-1].split("\n"):
        if line.startswith("# HELP "):
            name = line.split(" ", 3)[2]
            assert re.fullmatch(NAME, name) and name not in helps, "bad or repeated HELP: %r" % line
            helps.add(name)
            continue
        if line.startswith("# TYPE "):
            parts = line.split(" ")
            assert len(parts) == 4 and re.fullmatch(NAME, parts[2]) and parts[3] in KINDS, "bad TYPE: %r" % line
            assert parts[2] not in kinds and parts[2] not in finished, "TYPE after samples or twice: %r" % line
            kinds[parts[2]] = parts[3]
            continue
        if line.startswith("#") or line == "":
            continue
        match = SAMPLE.match(line)
        assert match, "not a sample line: %r" % line
        name = match.group(1)
        labels = tuple(sorted((key, value.replace('\\n', "\n").replace('\\"', '"').replace("\\\\", "\\"))
                              for key, value in re.findall(LABEL, match.group(2) or "")))
        assert len({key for key, _ in labels}) == len(labels), "a label twice: %r" % line
        family = family_of(name, kinds)
        assert family == current or family not in finished, "samples of %s are not together" % family
        if current is not None and family != current:
            finished.add(current)
        current = family
        key = (name, labels)
        assert key not in samples, "a sample twice: %r" % line
        samples[key] = number(match.group(match.lastindex))
        if kinds.get(family) == "counter":
            assert samples[key] >= 0, "a negative counter: %r" % line
    for family, kind in kinds.items():
        if kind == "histogram":
            check_histogram(family, samples)
    return samples


def check_histogram(family, samples):
    """Buckets rise with their bounds, end with +Inf, and that bucket is the count."""
    groups = {}
    for (name, labels), value in samples.items():
        if name == family + "_bucket":
            rest = tuple(item for item in labels if item[0] != "le")
            groups.setdefault(rest, []).append((number(dict(labels)["le"]), value))
    assert groups, "the histogram %s has no buckets" % family
    for rest, buckets in groups.items():
        buckets.sort()
        assert buckets[-1][0] == math.inf, "%s has no +Inf bucket" % family
        counts = [count for _, count in buckets]
        assert counts == sorted(counts), "%s buckets are not cumulative: %r" % (family, buckets)
        assert samples.get((family + "_count", rest)) == counts[-1], "%s_count is not the +Inf bucket" % family
        assert (family + "_sum", rest) in samples, "%s has no _sum" % family


def value(samples, name, **labels):
    """The sample `name` with exactly `labels`; AssertionError when there is none."""
    key = (name, tuple(sorted(labels.items())))
    assert key in samples, "no sample %s%r" % (name, labels)
    return samples[key]
