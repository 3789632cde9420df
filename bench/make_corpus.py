#!/usr/bin/env python3
"""Writes the benchmark corpus: a deterministic, seeded set of Standard MIDI Files.

    make_corpus.py OUTDIR [--files N] [--big-mb M] [--seed S]
    make_corpus.py OUTDIR --tree N [--seed S]

OUTDIR/smf1/   N format-1 files (input of quorvel-cli smf0 and of the mido peer)
OUTDIR/smf0/   N format-0 files (input of quorvel-cli smf1)
OUTDIR/large/  large1.mid (format 1, 64 tracks) and large0.mid (format 0, 16 channels
               with lyrics), each about M MB (default 100); tracks16.mid and
               tracks256.mid, two format-1 files of the same size, 16 MB each (M MB when
               M is smaller), one with 16 tracks and one with 256 (the most the merge
               takes)
OUTDIR/eight/  16 format-1 files of 8 MB each (M MB when M is smaller), 16 tracks each
With M = 0 neither large/ nor eight/ is written.

The files are shaped like real collections: most are 2 to 50 KB (log-uniform), one in
thirty is 100 to 500 KB; format-1 files have 2 to 30 tracks, format-0 files 4 to 16
channels. Their events are those of real files, where short channel events carry
almost all of the bytes: note-on/note-off pairs in running status (a note mostly ended
by a note-on of velocity 0, in some tracks by a note-off), chords at delta 0, bursts of
controllers (sustain pedal, volume, modulation, expression) and of pitch bend, now and
then a program change or channel pressure; delta times mostly 0 or of one byte, some of
two, rarely of three. Each song starts with its name, often a copyright, its time and
key signature and tempo, often a GM, GS or XG reset (a system-exclusive message of 6 to
11 bytes), and each instrument's track with its name, program, volume, pan and
effects. Later come a few short texts and markers, tempo changes in the first track
now and then, a rare system-exclusive message of up to about 40 bytes, and in about a
third of the songs lyrics on the melody's notes: short syllables, some starting a new
line with "\\r", "/" or "\\". A running status is never used right after a
system-exclusive message; all tracks of a format-1 song end together.

The large and eight/ files repeat, in each track, a pattern of such events (written
once, so that the generation stays fast; every pattern of a file lasts equally long)
after a start of the same kind.

With --tree N only OUTDIR/tree/ is written: N format-1 files of 1 KB to 64 KB spread
over nested folders the way collections sort them, artist/album/disc: 10 artist
folders, each with a few loose files and 10 album folders, every third album with two
disc folders; names in mixed case, each folder also holding a file that is not MIDI
(input of quorvel-cli -r).

It prints the mix of each folder written to stderr: the events' bytes, their mean size
and the share of the bytes in channel, meta and system-exclusive events.

The same seed and arguments give the same bytes on every run and every machine.
"""

import argparse
import math
import os
import random
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "scripts"))
from smf_writer import (END_OF_TRACK, END_OF_TRACK_EVENT, LYRIC, MARKER, TEMPO, TEXT, TIME_SIGNATURE,  # noqa: E402
                        TRACK_NAME, header, track, var_len)

DIVISION = 480
COPYRIGHT = 0x02
KEY_SIGNATURE = 0x59

WORDS = ("la", "love", "night", "star", "dream", "fire", "rain", "heart", "sky", "moon",
         "sing", "dance", "away", "home", "light", "time", "river", "gold", "blue", "wind")
SYLLABLES = ("la", "lo", "ve", "night", "star", "dream", "fi", "re", "rain", "heart", "sky",
             "moon", "sing", "dan", "ce", "a", "way", "home", "light", "time", "ri", "ver",
             "gold", "blue", "wind", "oh", "my", "you", "in", "the", "to", "and", "be")
# Names and General MIDI programs of the instruments of a song.
INSTRUMENTS = (("Piano", 0), ("E.Piano", 4), ("Organ", 16), ("Guitar", 25), ("Dist Gtr", 30),
         ("Bass", 33), ("Fretless", 35), ("Strings", 48), ("Slow Str", 49), ("Choir", 52),
         ("Trumpet", 56), ("Brass", 61), ("Sax", 65), ("Flute", 73), ("Lead", 80),
         ("Pad", 89), ("Melody", 73), ("Vibes", 11), ("Harp", 46), ("Synth Bass", 38))
DRUM_CHANNEL = 9  # channel 10 as musicians count
DRUM_KEYS = (35, 36, 38, 40, 42, 42, 42, 44, 46, 49, 51, 39, 45, 48)
# What a song's first track often sends first (after F0): GM System On, GS Reset, XG
# System On.
RESETS = (bytes.fromhex("7E7F0901F7"), bytes.fromhex("4110421240007F0041F7"),
          bytes.fromhex("43104C00007E00F7"))
# Controllers that come in bursts: modulation, volume, expression.
BURST_CONTROLLERS = (1, 7, 11, 11)
STEPS = (-3, -2, -1, 1, 2, 3)  # how a burst's controller value moves
CHORD = (0, 4, 7, 12)  # a chord's keys above its root
SUSTAIN = 64

# The variable-length quantities below 16384 (one or two bytes), made once: the
# generator writes many millions of delta times.
VAR_LEN = [var_len(v) for v in range(16384)]

CHANNEL, META, SYSEX = 0, 1, 2

# The large and eight/ files: each track repeats a pattern of at most PATTERN_BYTES,
# and the patterns of one file together are about PATTERN_BUDGET bytes (at least 4 KB
# a track), so that a file of any size is written in a second or so.
PATTERN_BYTES = 64 * 1024
PATTERN_BUDGET = 2 << 20
MB = 1_000_000


class Mix:
    """What was written, by kind of event (channel, meta, system-exclusive): the events
    and their bytes (delta time and status byte included), and how many channel events
    left their status byte out (running status)."""

    def __init__(self):
        self.events = [0, 0, 0]
        self.bytes = [0, 0, 0]
        self.running = 0

    def add(self, other, times=1):
        for k in (CHANNEL, META, SYSEX):
            self.events[k] += other.events[k] * times
            self.bytes[k] += other.bytes[k] * times
        self.running += other.running * times

    def summary(self):
        events, size = sum(self.events), sum(self.bytes)
        if not events:
            return "no events"

        def share(k):
            return 100.0 * self.bytes[k] / size

        return ("%.2f MB in %d events, %.2f bytes per event; channel events %.1f%% of the bytes "
                "(%.0f%% of them in running status), meta %.1f%%, sysex %.2f%%" %
                (size / MB, events, size / events, share(CHANNEL),
                 100.0 * self.running / max(1, self.events[CHANNEL]), share(META), share(SYSEX)))


class TrackWriter:
    """Builds the events of one track the way real files have them (see the module's
    text); time is the track's time so far in ticks."""

    def __init__(self, rng, channels, lyrics=False, conductor=False):
        self.rng = rng
        self.random = rng.random  # the generator's hot paths draw with random() only
        self.channels = channels
        # The first channel is the melody (and carries the lyrics): it plays the most.
        self.pool = channels + channels[:1] * max(1, len(channels) // 4)
        self.lyrics = lyrics
        self.conductor = conductor  # the track with the tempo changes
        self.data = bytearray()
        self.running = None
        self.time = 0
        # The counts of mix(): channel events, those in running status, and the meta
        # and system-exclusive events with their bytes (the rest are channel events').
        self.channel_events = 0
        self.running_events = 0
        self.other = Mix()
        # Most tracks end a note with a note-on of velocity 0, which keeps the running
        # status of the note-ons; the others with a note-off.
        self.note_off = 0x90 if rng.random() < 0.75 else 0x80
        self.chords = []  # the sounding chords, oldest first: (channel, keys)
        self.sounding = 0  # their keys
        self.centre = {ch: rng.randrange(40, 72) for ch in channels}
        self.sustain = set()  # the channels whose pedal is down

    def mix(self):
        """What was written (a Mix)."""
        m = Mix()
        m.add(self.other)
        m.events[CHANNEL] = self.channel_events
        m.bytes[CHANNEL] = len(self.data) - m.bytes[META] - m.bytes[SYSEX]
        m.running = self.running_events
        return m

    # --- events ------------------------------------------------------------------
    def _channel(self, delta, status, a, b=-1):
        self.time += delta
        data = self.data
        data += VAR_LEN[delta] if delta < 16384 else var_len(delta)
        if status == self.running:
            self.running_events += 1  # running status: no status byte
        else:
            data.append(status)
            self.running = status
        data.append(a)
        if b >= 0:
            data.append(b)
        self.channel_events += 1

    def _system(self, kind, delta, event):
        self.time += delta
        before = len(self.data)
        self.data += (VAR_LEN[delta] if delta < 16384 else var_len(delta)) + event
        self.other.events[kind] += 1
        self.other.bytes[kind] += len(self.data) - before

    def meta(self, delta, kind, body):
        """A meta event; the running status carries on past it."""
        self._system(META, delta, bytes([0xFF, kind]) + var_len(len(body)) + body)

    def sysex(self, delta, body):
        """A system-exclusive message; body is what follows F0, up to and with F7."""
        self._system(SYSEX, delta, b"\xF0" + var_len(len(body)) + body)
        # Readers disagree on running status after a system-exclusive message (some
        # carry F0 on): the next channel event states its status again.
        self.running = None

    # --- pieces ------------------------------------------------------------------
    def _delta(self):
        """The wait before a gesture: none (with the one before), mostly of one byte,
        some of two, rarely of three."""
        random = self.random
        r = random()
        if r < 0.25:
            return 0
        if r < 0.83:
            u = random()
            return 1 + int(126 * u * u)  # short waits are the common ones
        if r < 0.998:
            return 128 + int(random() * 1792)
        return 16384 + int(random() * 183616)

    def _text(self, length):
        words = []
        total = 0
        while total < length:
            w = self.rng.choice(WORDS)
            words.append(w)
            total += len(w) + 1
        return " ".join(words)[:length].encode("ascii")

    def _syllable(self):
        rng = self.rng
        s = rng.choice(SYLLABLES)
        if rng.random() < 0.4:
            s += " "
        r = rng.random()
        if r < 0.08:
            s = "\r" + s
        elif r < 0.12:
            s = "/" + s
        elif r < 0.14:
            s = "\\" + s
        return s.encode("ascii")

    def start_song(self):
        """The start of a song's first track: its name, often a copyright, time and key
        signature, tempo, often a reset message, then the set-up of its channels."""
        rng = self.rng
        self.meta(0, TRACK_NAME, self._text(rng.randrange(6, 28)).title())
        if rng.random() < 0.7:
            self.meta(0, COPYRIGHT, b"Copyright (C) %d " % rng.randrange(1985, 2026) +
                      self._text(rng.randrange(6, 24)))
        self.meta(0, TIME_SIGNATURE, rng.choice((b"\x04\x02\x18\x08", b"\x04\x02\x18\x08",
                                                 b"\x03\x02\x18\x08", b"\x06\x03\x0C\x08")))
        self.meta(0, KEY_SIGNATURE, bytes([rng.randrange(-4, 5) & 0xFF, int(rng.random() < 0.3)]))
        self.meta(0, TEMPO, rng.randrange(350000, 860000).to_bytes(3, "big"))
        if rng.random() < 0.6:
            self.sysex(0, rng.choice(RESETS))
        for ch in self.channels:
            self._set_up(ch)

    def start_instrument(self):
        """The start of an instrument's track: its name and the set-up of its channels."""
        ch = self.channels[0]
        name = "Drums" if ch == DRUM_CHANNEL else self.rng.choice(INSTRUMENTS)[0]
        self.meta(0, TRACK_NAME, name.encode("ascii"))
        for ch in self.channels:
            self._set_up(ch)

    def _set_up(self, ch):
        """Program, volume, pan and reverb; sometimes bank, chorus and bend range."""
        rng = self.rng
        program = rng.choice((0, 0, 8, 16, 25)) if ch == DRUM_CHANNEL else rng.choice(INSTRUMENTS)[1]
        status = 0xB0 | ch
        if rng.random() < 0.3:
            self._channel(0, status, 0, 0)
        self._channel(0, 0xC0 | ch, program)
        self._channel(0, status, 7, rng.randrange(70, 120))
        self._channel(0, status, 10, rng.randrange(20, 108))
        self._channel(0, status, 91, rng.randrange(0, 80))
        if rng.random() < 0.5:
            self._channel(0, status, 93, rng.randrange(0, 60))
        if rng.random() < 0.2:
            for controller, value in ((101, 0), (100, 0), (6, rng.choice((2, 2, 12)))):
                self._channel(0, status, controller, value)

    def _release(self, delta):
        """Ends the oldest sounding chord."""
        ch, keys = self.chords.pop(0)
        self.sounding -= len(keys)
        status = self.note_off | ch
        velocity = 0 if self.note_off == 0x90 else 64
        for key in keys:
            self._channel(delta, status, key, velocity)
            delta = 0

    def _notes(self, delta):
        """A chord (often of one note) starts, or the oldest one ends."""
        random = self.random
        if self.chords and (len(self.chords) > 4 or random() < 0.5):
            self._release(delta)
            return
        pool = self.pool
        ch = pool[int(random() * len(pool))]
        r = random()
        if ch == DRUM_CHANNEL:
            keys = [DRUM_KEYS[int(random() * len(DRUM_KEYS))]]
            if r >= 0.6:
                key = DRUM_KEYS[int(random() * len(DRUM_KEYS))]
                if key != keys[0]:
                    keys.append(key)
        else:
            size = 1 if r < 0.6 else 2 if r < 0.75 else 3 if r < 0.9 else 4
            root = min(115, max(8, self.centre[ch] - 12 + int(random() * 25)))
            keys = [root + step for step in CHORD[:size]]
        if self.lyrics and ch == self.channels[0] and random() < 0.8:
            self.meta(delta, LYRIC, self._syllable())
            delta = 0
        status = 0x90 | ch
        for key in keys:
            self._channel(delta, status, key, 40 + int(random() * 88))
            delta = 0
        self.chords.append((ch, keys))
        self.sounding += len(keys)

    def _controllers(self, delta, ch):
        """The sustain pedal goes down or up, or a controller sweeps in a burst."""
        random = self.random
        status = 0xB0 | ch
        if random() < 0.25:
            down = ch not in self.sustain
            if down:
                self.sustain.add(ch)
            else:
                self.sustain.discard(ch)
            self._channel(delta, status, SUSTAIN, 127 if down else 0)
            return
        controller = BURST_CONTROLLERS[int(random() * len(BURST_CONTROLLERS))]
        value = 30 + int(random() * 98)
        step = STEPS[int(random() * len(STEPS))]
        for _ in range(3 + int(random() * 10)):
            self._channel(delta, status, controller, value)
            value = min(127, max(0, value + step))
            delta = int(random() * 30)

    def _bend(self, delta, ch):
        """A pitch-bend burst out to a peak and back to the centre."""
        random = self.random
        status = 0xE0 | ch
        n = 4 + int(random() * 11)
        peak = int(random() * 81) - 40
        for i in range(n - 1):
            msb = 64 + peak * (n - 1 - abs(2 * i - n + 1)) // (n - 1)
            self._channel(delta, status, int(random() * 128), msb)
            delta = 1 + int(random() * 23)
        self._channel(delta, status, 0, 64)

    def add_random_event(self):
        """One gesture of one or a few events: a chord starts or ends (most of the
        time), a burst of controllers or of pitch bend, a program change, channel
        pressure, a short text or marker, a tempo change (conductor track only), a rare
        short system-exclusive message."""
        random = self.random
        delta = self._delta()
        r = random()
        if r < 0.86 or r >= 0.9878:
            self._notes(delta)
            return
        pool = self.pool
        ch = pool[int(random() * len(pool))]
        if r < 0.93:
            self._controllers(delta, ch)
        elif r < 0.955:
            self._bend(delta, ch)
        elif r < 0.963:
            self._channel(delta, 0xC0 | ch, INSTRUMENTS[int(random() * len(INSTRUMENTS))][1])
        elif r < 0.983:
            status = 0xD0 | ch
            for _ in range(1 + int(random() * 5)):
                self._channel(delta, status, int(random() * 128))
                delta = int(random() * 30)
        elif r < 0.9855 and self.conductor:
            self.meta(delta, TEMPO, self.rng.randrange(350000, 860000).to_bytes(3, "big"))
        elif r < 0.9875:
            self.meta(delta, MARKER if self.conductor else TEXT, self._text(self.rng.randrange(4, 40)))
        else:
            # A GS parameter message with its checksum, up to about 40 bytes.
            body = bytes([0x40, 0x10 | ch, 0x40]) + bytes(int(random() * 128) for _ in range(1 + int(random() * 29)))
            self.sysex(delta, bytes([0x41, 0x10, 0x42, 0x12]) + body + bytes([-sum(body) & 0x7F, 0xF7]))

    def fill(self, budget):
        """Adds gestures until the track, its sounding notes ended, has about budget bytes."""
        while len(self.data) + 3 * self.sounding < budget:
            self.add_random_event()

    def close(self, end=None):
        """Ends the sounding notes and lifts the pedals, a short while after the last
        event, or at time end (an event comes at end even when nothing sounds)."""
        wait = self.rng.randrange(60, 480) if end is None else end - self.time
        while self.chords:
            self._release(wait)
            wait = 0
        for ch in sorted(self.sustain):
            self._channel(wait, 0xB0 | ch, SUSTAIN, 0)
            wait = 0
        self.sustain.clear()
        if end is not None and wait:
            self._channel(wait, 0xB0 | self.channels[0], SUSTAIN, 0)

    def end_of_track(self, end=0):
        """The end-of-track event, at time end when that is later."""
        self.meta(max(0, end - self.time), END_OF_TRACK, b"")


def format1(rng, size, tracks, lyrics, mix):
    """A format-1 file of about size bytes; all its tracks end together."""
    lyrics_track = rng.randrange(1, tracks) if lyrics and tracks > 1 else -1
    per_track = max(0, (size - 14) // tracks - 8)
    writers = []
    for t in range(tracks):
        channels = [t % 16]
        if rng.random() < 0.1:
            channels += sorted(set(rng.sample(range(16), rng.randrange(1, 4))) - {t % 16})
        w = TrackWriter(rng, channels, t == lyrics_track, t == 0)
        if t == 0:
            w.start_song()
        else:
            w.start_instrument()
        w.fill(per_track - 4)
        w.close()
        writers.append(w)
    end = max(w.time for w in writers)
    for w in writers:
        w.end_of_track(end)
        mix.add(w.mix())
    return header(1, tracks, DIVISION) + b"".join(track(bytes(w.data)) for w in writers)


def format0(rng, size, lyrics, mix):
    """A format-0 file of about size bytes, 4 to 16 channels."""
    melody = rng.choice([ch for ch in range(16) if ch != DRUM_CHANNEL])
    others = rng.sample([ch for ch in range(16) if ch != melody], rng.randrange(3, 16))
    w = TrackWriter(rng, [melody] + sorted(others), lyrics, True)
    w.start_song()
    w.fill(size - 14 - 8 - 4)
    w.close()
    w.end_of_track()
    mix.add(w.mix())
    return header(0, 1, DIVISION) + track(bytes(w.data))


def repeated_tracks(rng, starts, size, pattern_bytes, mix):
    """One track chunk for each writer of starts (its start written), of about size bytes
    each: the start, then a pattern of at most pattern_bytes of the same channels,
    repeated. The patterns all last equally long (their last events come at the same
    time) and their first channel event states its status, so that they may follow
    each other."""
    repeats = max(1, -(-size // pattern_bytes))
    patterns = []
    for w in starts:
        p = TrackWriter(rng, w.channels, w.lyrics, w.conductor)
        p.fill((size - len(w.data) - 4) // repeats)
        patterns.append(p)
    end = max(p.time for p in patterns) + rng.randrange(60, 480)
    chunks = []
    for w, p in zip(starts, patterns):
        p.close(end)
        mix.add(w.mix())
        mix.add(p.mix(), repeats)
        mix.events[META] += 1
        mix.bytes[META] += len(END_OF_TRACK_EVENT)
        chunks.append(track(bytes(w.data) + bytes(p.data) * repeats + END_OF_TRACK_EVENT))
    return chunks


def big_format1(rng, size, tracks, mix):
    """Format 1, tracks tracks of one channel each (track n on channel n modulo 16),
    about size bytes."""
    starts = []
    for t in range(tracks):
        w = TrackWriter(rng, [t % 16], False, t == 0)
        if t == 0:
            w.start_song()
        else:
            w.start_instrument()
        starts.append(w)
    pattern_bytes = min(PATTERN_BYTES, max(4096, PATTERN_BUDGET // tracks))
    chunks = repeated_tracks(rng, starts, (size - 14) // tracks - 8, pattern_bytes, mix)
    return header(1, tracks, DIVISION) + b"".join(chunks)


def big_format0(rng, size, mix):
    """Format 0, 16 channels with lyrics, about size bytes."""
    w = TrackWriter(rng, list(range(16)), True, True)
    w.start_song()
    return header(0, 1, DIVISION) + repeated_tracks(rng, [w], size - 14 - 8, 1 << 20, mix)[0]


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


def write_tree(outdir, count, rng, mix):
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
                f.write(format1(rng, size, tracks, rng.random() < 0.3, mix))
        written += share


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("outdir")
    ap.add_argument("--files", type=int, default=2000, help="files per format (default 2000)")
    ap.add_argument("--big-mb", type=int, default=100,
                    help="size of the two large files in MB (default 100); tracks16/tracks256 and "
                         "the eight/ files have 16 and 8 MB, or this when it is smaller; 0 leaves "
                         "large/ and eight/ out")
    ap.add_argument("--seed", type=int, default=20261208)
    ap.add_argument("--tree", type=int, metavar="N",
                    help="write only OUTDIR/tree/: N format-1 files in nested folders")
    args = ap.parse_args()

    mixes = {}
    rng = random.Random(args.seed)
    if args.tree is not None:
        mixes["tree"] = Mix()
        write_tree(args.outdir, args.tree, rng, mixes["tree"])
    else:
        names = ("smf1", "smf0") + (("large", "eight") if args.big_mb > 0 else ())
        dirs = {name: os.path.join(args.outdir, name) for name in names}
        for name, d in dirs.items():
            os.makedirs(d, exist_ok=True)
            mixes[name] = Mix()

        for i in range(args.files):
            size = collection_size(rng)
            tracks = rng.randrange(2, 31)
            write(os.path.join(dirs["smf1"], "song%04d_t%d.mid" % (i, tracks)),
                  format1(rng, size, tracks, rng.random() < 0.3, mixes["smf1"]))
            write(os.path.join(dirs["smf0"], "song%04d.mid" % i),
                  format0(rng, collection_size(rng), rng.random() < 0.3, mixes["smf0"]))

        if args.big_mb > 0:
            # A generator of their own, so that --files leaves these files as they are.
            rng = random.Random("%d large" % args.seed)
            big = args.big_mb * MB
            large = dirs["large"]
            write(os.path.join(large, "large1.mid"), big_format1(rng, big, 64, mixes["large"]))
            write(os.path.join(large, "large0.mid"), big_format0(rng, big, mixes["large"]))
            for tracks in (16, 256):
                write(os.path.join(large, "tracks%d.mid" % tracks),
                      big_format1(rng, min(16, args.big_mb) * MB, tracks, mixes["large"]))
            for i in range(16):
                write(os.path.join(dirs["eight"], "song%02d.mid" % i),
                      big_format1(rng, min(8, args.big_mb) * MB, 16, mixes["eight"]))

    for name, mix in mixes.items():
        print("make_corpus.py: %s/: %s" % (name, mix.summary()), file=sys.stderr)


if __name__ == "__main__":
    main()
