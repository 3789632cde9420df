#!/usr/bin/env python3
"""Writes the benchmark corpus: a deterministic, seeded set of Standard MIDI Files.

    make_corpus.py OUTDIR [--files N] [--big-mb M] [--seed S]
    make_corpus.py OUTDIR --tree N [--seed S]

OUTDIR/smf1/   N format-1 files (input of quorvel-cli smf0 and of the mido peer)
OUTDIR/smf0/   N format-0 files (input of quorvel-cli smf1)
OUTDIR/large/  large1.mid (format 1, 64 tracks of dense notes and controllers) and
               large0.mid (format 0, 16 channels with lyrics), each about M MB
               (default 100; 0 leaves them out)

The files are shaped like real collections: most are 2 to 50 KB (log-uniform), one in
thirty is 100 to 500 KB; format-1 files have 2 to 30 tracks. The events use running
status, system-exclusive messages, long meta texts, lyrics (in about a third of the
files), tempo changes and delta times of one to four bytes.

With --tree N only OUTDIR/tree/ is written: N format-1 files of 1 KB to 64 KB spread
over nested folders the way collections sort them, artist/album/disc: 10 artist
folders, each with a few loose files and 10 album folders, every third album with two
disc folders; names in mixed case, each folder also holding a file that is not MIDI
(input of quorvel-cli -r).

The same seed and arguments give the same bytes on every run and every machine.
"""

import argparse
import math
import os
import random
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "scripts"))
from smf_writer import (END_OF_TRACK_EVENT, LYRIC, MARKER, TEMPO, TEXT, TIME_SIGNATURE,  # noqa: E402
                        TRACK_NAME, header, track, var_len)

DIVISION = 480

WORDS = ("la", "love", "night", "star", "dream", "fire", "rain", "heart", "sky", "moon",
         "sing", "dance", "away", "home", "light", "time", "river", "gold", "blue", "wind")


class TrackWriter:
    """Builds the events of one track."""

    def __init__(self, rng, channels, lyrics):
        self.rng = rng
        self.channels = channels
        self.lyrics = lyrics
        self.data = bytearray()
        self.running = None
        self.events = 0

    def _event(self, delta, status, body, channel_event):
        self.events += 1
        d = var_len(delta)
        if channel_event and status == self.running:
            self.data += d + body  # running status: no status byte
        else:
            self.data += d + bytes([status]) + body
        if channel_event:
            self.running = status
        elif status != 0xFF:
            # Readers disagree on running status after a system-exclusive message
            # (some carry F0 on): the next channel event states its status again.
            self.running = None

    def _delta(self):
        r = self.rng.random()
        if r < 0.35:
            return 0
        if r < 0.85:
            return self.rng.randrange(1, 128)
        if r < 0.97:
            return self.rng.randrange(128, 16384)
        if r < 0.995:
            return self.rng.randrange(16384, 1 << 21)
        return self.rng.randrange(1 << 21, 1 << 24)

    def _text(self, length):
        words = []
        total = 0
        while total < length:
            w = self.rng.choice(WORDS)
            words.append(w)
            total += len(w) + 1
        return " ".join(words)[:length].encode("ascii")

    def meta(self, delta, kind, data):
        self._event(delta, 0xFF, bytes([kind]) + var_len(len(data)) + data, False)

    def add_random_event(self):
        rng = self.rng
        delta = self._delta()
        r = rng.random()
        ch = rng.choice(self.channels)
        if r < 0.80:
            # Note on/off runs: mostly the same status, so running status applies.
            kind = 0x90 if rng.random() < 0.85 else 0x80
            self._event(delta, kind | ch, bytes([rng.randrange(128), rng.randrange(128)]), True)
        elif r < 0.88:
            self._event(delta, 0xB0 | ch, bytes([rng.randrange(120), rng.randrange(128)]), True)
        elif r < 0.91:
            self._event(delta, 0xC0 | ch, bytes([rng.randrange(128)]), True)
        elif r < 0.93:
            self._event(delta, 0xD0 | ch, bytes([rng.randrange(128)]), True)
        elif r < 0.95:
            self._event(delta, 0xE0 | ch, bytes([rng.randrange(128), rng.randrange(128)]), True)
        elif r < 0.96:
            body = bytes(rng.randrange(128) for _ in range(rng.randrange(4, 200))) + b"\xF7"
            self._event(delta, 0xF0, var_len(len(body)) + body, False)
        elif r < 0.975 and self.lyrics:
            self.meta(delta, LYRIC, (b"\r" if rng.random() < 0.2 else b"") + self._text(rng.randrange(2, 24)))
        elif r < 0.985:
            self.meta(delta, TEXT, self._text(rng.randrange(128, 600)))
        elif r < 0.99:
            self.meta(delta, TEMPO, struct.pack(">I", rng.randrange(200000, 900000))[1:])
        else:
            self.meta(delta, MARKER, self._text(rng.randrange(4, 40)))

    def fill(self, budget):
        while len(self.data) < budget:
            self.add_random_event()

    def chunk(self):
        return track(bytes(self.data) + END_OF_TRACK_EVENT)


def format1(rng, size, tracks, lyrics):
    """A format-1 file of about size bytes."""
    chunks = []
    lyrics_track = rng.randrange(1, tracks) if lyrics and tracks > 1 else -1
    per_track = max(0, (size - 14) // tracks - 8 - 4)
    for t in range(tracks):
        w = TrackWriter(rng, [t % 16] if rng.random() < 0.8 else list(range(16)), t == lyrics_track)
        if t == 0:
            w.meta(0, TRACK_NAME, b"Benchmark song")
            w.meta(0, TEXT, w._text(rng.randrange(128, 400)))
            w.meta(0, TIME_SIGNATURE, b"\x04\x02\x18\x08")
            w.meta(0, TEMPO, b"\x07\xA1\x20")
        else:
            w.meta(0, TRACK_NAME, w._text(rng.randrange(8, 40)))
        w.fill(per_track)
        chunks.append(w.chunk())
    return header(1, tracks, DIVISION) + b"".join(chunks)


def format0(rng, size, lyrics):
    """A format-0 file of about size bytes."""
    w = TrackWriter(rng, list(range(16)), lyrics)
    w.meta(0, TRACK_NAME, b"Benchmark song")
    w.meta(0, TEXT, w._text(rng.randrange(128, 400)))
    w.fill(max(0, size - 14 - 8 - 4))
    return header(0, 1, DIVISION) + w.chunk()


def dense_pattern(rng, channels, lyrics, size):
    """About size bytes of dense events that may follow each other any number of times:
    notes and controllers in runs of running status (the first event states its
    status), short deltas, a tempo change now and then, with lyrics when asked."""
    out = bytearray()
    running = None
    while len(out) < size:
        ch = rng.choice(channels)
        r = rng.random()
        delta = 0 if rng.random() < 0.5 else rng.randrange(1, 120)
        if r < 0.002:
            # A tempo change now and then, so that no output track waits too long.
            out += var_len(delta) + bytes([0xFF, TEMPO, 3]) + rng.randrange(300000, 700000).to_bytes(3, "big")
            continue
        if lyrics and r < 0.03:
            text = (b"\r" if rng.random() < 0.2 else b"") + rng.choice(WORDS).encode("ascii")
            out += var_len(delta) + bytes([0xFF, LYRIC]) + var_len(len(text)) + text
            continue
        status = (0xB0 if r < 0.2 else 0x90) | ch
        body = bytes([rng.randrange(120), rng.randrange(128)])
        out += var_len(delta) + (body if status == running else bytes([status]) + body)
        running = status
    return bytes(out)


def repeated_track(prefix, pattern, size):
    body = prefix + pattern * max(1, (size - len(prefix)) // len(pattern))
    return track(body + END_OF_TRACK_EVENT)


def big_format1(rng, size):
    """Format 1, 64 tracks of dense notes and controllers, about size bytes."""
    per_track = size // 64
    chunks = []
    for t in range(64):
        prefix = bytes([0x00, 0xFF, TRACK_NAME]) + var_len(8) + b"Track %02d" % t
        pattern = dense_pattern(rng, [t % 16], False, 65536)
        chunks.append(repeated_track(prefix, pattern, per_track))
    return header(1, 64, DIVISION) + b"".join(chunks)


def big_format0(rng, size):
    """Format 0, 16 channels with lyrics, about size bytes."""
    prefix = bytes([0x00, 0xFF, TRACK_NAME]) + var_len(8) + b"Big song"
    pattern = dense_pattern(rng, list(range(16)), True, 1 << 20)
    return header(0, 1, DIVISION) + repeated_track(prefix, pattern, size)


def log_uniform(rng, low, high):
    return int(math.exp(rng.uniform(math.log(low), math.log(high))))


def collection_size(rng):
    if rng.random() < 1 / 30:
        return log_uniform(rng, 100_000, 500_000)
    return log_uniform(rng, 2_000, 50_000)


TREE_MAX_SIZE = 64 * 1024


def tree_folders():
    """The tree's folders, relative, each with the share of files it gets (weights)."""
    folders = []
    for a in range(10):
        artist = "Artist %02d" % a
        folders.append((artist, 1))
        for b in range(10):
            album = os.path.join(artist, ("album %02d" if b % 2 else "Album %02d") % b)
            if b % 3 == 0:
                folders.append((album, 1))
                folders.extend((os.path.join(album, "Disc %d" % d), 3) for d in (1, 2))
            else:
                folders.append((album, 4))
    return folders


def write_tree(outdir, count, rng):
    """Writes count format-1 files into the folders of tree_folders() under outdir/tree."""
    root = os.path.join(outdir, "tree")
    folders = tree_folders()
    total = sum(weight for _, weight in folders)
    written = 0
    for index, (folder, weight) in enumerate(folders):
        share = count - written if index == len(folders) - 1 else count * weight // total
        path = os.path.join(root, folder)
        os.makedirs(path, exist_ok=True)
        with open(os.path.join(path, "cover.txt"), "w") as f:
            f.write("not a song\n")
        for i in range(share):
            size = log_uniform(rng, 1024, TREE_MAX_SIZE)
            tracks = max(1, min(log_uniform(rng, 1, 33), size // 120))
            name = ("Track %03d.mid" if i % 2 else "track %03d.MID") % i
            with open(os.path.join(path, name), "wb") as f:
                f.write(format1(rng, size, tracks, rng.random() < 0.3))
        written += share


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("outdir")
    ap.add_argument("--files", type=int, default=2000, help="files per format (default 2000)")
    ap.add_argument("--big-mb", type=int, default=100, help="size of the two large files in MB (default 100)")
    ap.add_argument("--seed", type=int, default=20261208)
    ap.add_argument("--tree", type=int, metavar="N",
                    help="write only OUTDIR/tree/: N format-1 files in nested folders")
    args = ap.parse_args()

    rng = random.Random(args.seed)
    if args.tree is not None:
        write_tree(args.outdir, args.tree, rng)
        return
    dirs = {name: os.path.join(args.outdir, name) for name in ("smf1", "smf0", "large")}
    for d in dirs.values():
        os.makedirs(d, exist_ok=True)

    for i in range(args.files):
        size = collection_size(rng)
        tracks = rng.randrange(2, 31)
        with open(os.path.join(dirs["smf1"], "song%04d_t%d.mid" % (i, tracks)), "wb") as f:
            f.write(format1(rng, size, tracks, rng.random() < 0.3))
        with open(os.path.join(dirs["smf0"], "song%04d.mid" % i), "wb") as f:
            f.write(format0(rng, collection_size(rng), rng.random() < 0.3))

    if args.big_mb > 0:
        big = args.big_mb * 1_000_000
        with open(os.path.join(dirs["large"], "large1.mid"), "wb") as f:
            f.write(big_format1(rng, big))
        with open(os.path.join(dirs["large"], "large0.mid"), "wb") as f:
            f.write(big_format0(rng, big))


if __name__ == "__main__":
    main()
