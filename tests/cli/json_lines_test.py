#!/usr/bin/env python3
"""quorvel-cli --json read as a script reads it: every line through Python's json module.

    json_lines_test.py QUORVEL_CLI

Writes a tree of 2,000 format-1 files three folders deep (one of them named with a byte
that is not UTF-8), runs `smf0 -r --json` over it, `--dry-run` of the same and `info
--json`, and checks that each line is one JSON object, that the objects come in the order
of the tree walk, and that the exact bytes of every name can be recovered. Exits 1 with
the reasons when anything is off.
"""

import json
import os
import subprocess
import sys
import tempfile

BAD_NAME = b"caf\xe9.mid"  # Latin-1, not UTF-8


def song(key):
    track1 = bytes([0x00, 0x90, key, 0x40, 0x60, key, 0x00, 0x00, 0xFF, 0x2F, 0x00])
    track2 = bytes.fromhex("00 91 30 50 30 30 00 00 FF 2F 00")
    chunks = b"".join(b"MTrk" + len(t).to_bytes(4, "big") + t for t in (track1, track2))
    return b"MThd" + (6).to_bytes(4, "big") + bytes([0, 1, 0, 2, 0, 96]) + chunks


def make_tree(root):
    """Writes the tree and returns the files' paths (bytes) in the order -r walks them."""
    order = []
    key = 0

    def add(folder, count, extra=()):
        nonlocal key
        os.makedirs(folder, exist_ok=True)
        names = [b"t%03d.mid" % i for i in range(count)] + list(extra)
        for name in sorted(names, key=lambda n: (n.lower(), n)):
            path = os.path.join(folder, name)
            with open(path, "wb") as f:
                f.write(song(32 + key % 64))
            key += 1
            order.append(path)

    for a in range(10):
        level1 = os.path.join(root, b"a%d" % a)
        add(level1, 0)
        for b in range(10):
            level2 = os.path.join(level1, b"b%d" % b)
            extra = [BAD_NAME] if (a, b) == (3, 4) else []
            add(level2, 0)
            add(os.path.join(level2, b"c"), 20 - len(extra), extra)
    return order


def run(cli, *arguments, cwd):
    done = subprocess.run([cli, *arguments], cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    return done.returncode, done.stdout


def objects(output, problems, what):
    """Each line of output through json.loads; a line that fails is a problem."""
    parsed = []
    for number, line in enumerate(output.split(b"\n")[:-1], 1):
        try:
            value = json.loads(line.decode("utf-8"))
        except (UnicodeDecodeError, ValueError) as error:
            problems.append("%s line %d is not JSON (%s): %r" % (what, number, error, line[:200]))
            continue
        if not isinstance(value, dict):
            problems.append("%s line %d is not an object" % (what, number))
        parsed.append(value)
    if not output.endswith(b"\n"):
        problems.append("%s does not end with a line feed" % what)
    return parsed


def name_bytes(value, key):
    """The exact bytes of a name field: its _bytes companion when there is one."""
    if key + "_bytes" in value:
        return bytes.fromhex(value[key + "_bytes"])
    return value[key].encode("utf-8")


def main():
    cli = os.path.abspath(sys.argv[1])
    problems = []
    with tempfile.TemporaryDirectory() as work:
        work = work.encode()
        order = [os.path.relpath(p, work) for p in make_tree(os.path.join(work, b"in"))]
        os.mkdir(os.path.join(work, b"out"))
        if len(order) != 2000:
            problems.append("the tree has %d files" % len(order))

        for what, arguments, outcome in (
                ("--dry-run --json", ["--dry-run"], "would-convert"),
                ("--json", [], "converted")):
            status, output = run(cli, "smf0", "-r", "--json", *arguments, "-o", "out", "in", cwd=work)
            if status != 0:
                problems.append("%s ended with %d" % (what, status))
            values = objects(output, problems, what)
            if len(values) != len(order) + 1:
                problems.append("%s gave %d objects for %d files" % (what, len(values), len(order)))
                continue
            for path, value in zip(order, values):
                if value.get("type") != "file" or value.get("outcome") != outcome or name_bytes(value, "input") != path:
                    problems.append("%s: %r for %r" % (what, value, path))
                    break
            if BAD_NAME not in [os.path.basename(name_bytes(v, "output")) for v in values[:-1]]:
                problems.append("%s: no output named %r" % (what, BAD_NAME))
            summary = values[-1]
            if summary.get("type") != "summary" or summary.get("counts", {}).get(outcome) != len(order) \
                    or not isinstance(summary.get("seconds"), (int, float)):
                problems.append("%s summary: %r" % (what, summary))

        bad = [p for p in order if p.endswith(BAD_NAME)][0].replace(b"in", b"out", 1)
        status, output = run(cli, "info", "--json", os.fsdecode(bad), cwd=work)
        values = objects(output, problems, "info --json")
        if status != 0 or len(values) != 1 or name_bytes(values[0], "file") != bad \
                or values[0].get("format") != 0 or values[0].get("well_formed") is not True:
            problems.append("info --json ended with %d: %r" % (status, values))

    for problem in problems:
        print(problem)
    print("%d problems" % len(problems))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
