#!/usr/bin/env python3
"""Writes the benchmark corpus: a deterministic, seeded set of Standard MIDI Files.

    make_corpus.py OUTDIR [--files N] [--seed S]
    make_corpus.py OUTDIR --tree N [--seed S]

OUTDIR/smf1/   N format-1 files (input of quorvel-cli smf0 and of the mido peer)
OUTDIR/smf0/   N format-0 files (input of quorvel-cli smf1)
OUTDIR/large/  large1.mid (format 1, 256 tracks) and large0.mid (format 0), each as
               big as a conversion's 64-page file image allows

Sizes run from 1 KB to 500 KB (log-uniform), tracks from 1 to 256. The events use
running status, system-exclusive messages, long meta texts (128 bytes and more), lyrics,
tempo and time-signature changes and delta times of one to four bytes. Every file is
sized so that it and its conversion together fit the 64 pages of 16384 bytes the
converter works in, so every file converts.

With --tree N only OUTDIR/tree/ is written: N format-1 files of 1 KB to 64 KB spread
over nested folders the way collections sort them, artist/album/disc: 10 artist
folders, each with a few loose files and 10 album folders, every third album with two
disc folders; names in mixed case, each folder also holding a file that is not MIDI
(input of quorvel-cli -r).

The same seed and count give the same bytes on every run and every machine.
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

PAGE = 16384
SLOTS = 64
MIN_SIZE = 1024
MAX_SIZE = 500 * 1024
DIVISION = 480

WORDS = ("la", "love", "night", "star", "dream", "fire", "rain", "heart", "sky", "moon",
         "sing", "dance", "away", "home", "light", "time", "river", "gold", "blue", "wind")


def pages(size):
    return (size + PAGE - 1) // PAGE


class TrackWriter:
    """Builds the events of one track and the bound of what each conversion makes of them.

    merge_bound: bytes this track's events take in a merged format-0 track at most (each
    event with a status byte of its own and a delta no longer than its own).
    """

    def __init__(self, rng, channels, lyrics):
        self.rng = rng
        self.channels = channels
        self.lyrics = lyrics
        self.data = bytearray()
        self.running = None
        self.merge_bound = 0
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
        self.merge_bound += len(d) + 1 + len(body)

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


def format1(rng, size, tracks):
    """A format-1 file of about size bytes; its merge fits the image."""
    while True:
        chunks = []
        bound = 26
        lyrics_track = rng.randrange(tracks) if rng.random() < 0.5 else -1
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
            bound += w.merge_bound
        data = header(1, tracks, DIVISION) + b"".join(chunks)
        if pages(len(data)) + pages(bound) <= SLOTS:
            return data
        size = int(size * 0.97)


def format0(rng, size):
    """A format-0 file of about size bytes; its split fits the image."""
    while True:
        w = TrackWriter(rng, list(range(16)), rng.random() < 0.6)
        w.meta(0, TRACK_NAME, b"Benchmark song")
        w.meta(0, TEXT, w._text(rng.randrange(128, 400)))
        w.fill(max(0, size - 14 - 8 - 4))
        data = header(0, 1, DIVISION) + w.chunk()
        # Every event may need its status byte again and a delta of up to 4 bytes in
        # its channel's track; 19 track chunks and the karaoke texts on top.
        bound = len(data) + 4 * w.events + 19 * 12 + 100
        if pages(len(data)) + pages(bound) <= SLOTS:
            return data
        size = int(size * 0.97)


def log_uniform(rng, low, high):
    return int(math.exp(rng.uniform(math.log(low), math.log(high))))


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
            size = log_uniform(rng, MIN_SIZE, TREE_MAX_SIZE)
            tracks = max(1, min(log_uniform(rng, 1, 33), size // 120))
            name = ("Track %03d.mid" if i % 2 else "track %03d.MID") % i
            with open(os.path.join(path, name), "wb") as f:
                f.write(format1(rng, size, tracks))
        written += share


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("outdir")
    ap.add_argument("--files", type=int, default=100, help="files per format (default 100)")
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
        size = log_uniform(rng, MIN_SIZE, MAX_SIZE)
        # Tracks: log-uniform 1..256, but no more than the size carries (~120 bytes each).
        tracks = max(1, min(log_uniform(rng, 1, 257), size // 120, 256))
        with open(os.path.join(dirs["smf1"], "song%03d_t%d.mid" % (i, tracks)), "wb") as f:
            f.write(format1(rng, size, tracks))
        size0 = log_uniform(rng, MIN_SIZE, MAX_SIZE)
        with open(os.path.join(dirs["smf0"], "song%03d.mid" % i), "wb") as f:
            f.write(format0(rng, size0))

    with open(os.path.join(dirs["large"], "large1.mid"), "wb") as f:
        f.write(format1(rng, MAX_SIZE, 256))
    with open(os.path.join(dirs["large"], "large0.mid"), "wb") as f:
        f.write(format0(rng, MAX_SIZE))


if __name__ == "__main__":
    main()
