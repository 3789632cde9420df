#!/usr/bin/env python3
"""Writes the seed files of the fuzz corpora: small Standard MIDI Files of format 0 and 1,
karaoke files, long meta and sysex events with multi-byte lengths, running status after
meta and sysex events, and a few damaged files. Deterministic: the same files every run.

Usage: python3 fuzz/make_seeds.py [OUTPUT_DIR ...]
Without arguments it writes into fuzz/corpus/<target>/ for every fuzz target.
"""
import os
import random
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "scripts"))
import smf_writer  # noqa: E402
from smf_writer import (END_OF_TRACK_EVENT, KARAOKE_MARKER, LYRIC, MARKER, TEMPO, TEXT, TIME_SIGNATURE,  # noqa: E402
                        TRACK_NAME, event, track, var_len as varlen)

DIVISION = 96


def header(fmt, tracks, division=DIVISION):
    return smf_writer.header(fmt, tracks, division)


def meta(delta, kind, data):
    return event(delta, smf_writer.meta(kind, data))


def sysex(delta, data, status=0xF0):
    return event(delta, smf_writer.sysex(data, status))


def ev(delta, *data):
    return event(delta, bytes(data))


END = END_OF_TRACK_EVENT


def smf(fmt, tracks):
    return smf_writer.smf(fmt, tracks, DIVISION)


def notes(channel, count, start_delta=0, step=24, running=True):
    out = b""
    for i in range(count):
        key = 48 + (i * 5) % 36
        on = ev(start_delta if i == 0 else step, 0x90 | channel, key, 100)
        off = ev(step, 0x80 | channel, key, 64)
        if running and i > 0:
            on = varlen(step) + bytes([key, 100])
        out += on + off
    return out


def random_events(rng, channels, count):
    """A track of mixed events: every channel event kind, running status, metas and sysex."""
    out = b""
    last = 0
    for _ in range(count):
        delta = rng.choice([0, 0, 1, 12, 96, 200, 5000, 0x0FFFFFFF if rng.random() < 0.02 else 48])
        r = rng.random()
        if r < 0.12:
            kind = rng.choice([0x01, 0x03, 0x05, 0x06, 0x51, 0x58, 0x7F])
            size = rng.choice([0, 1, 3, 12, 130])
            out += meta(delta, kind, bytes(rng.randrange(32, 127) for _ in range(size)))
        elif r < 0.18:
            out += sysex(delta, bytes([0x43, 0x10, 0x4C]) + bytes(rng.randrange(128) for _ in range(rng.choice([2, 140]))) + b"\xF7",
                         rng.choice([0xF0, 0xF7]))
        else:
            status = rng.choice([0x80, 0x90, 0xA0, 0xB0, 0xC0, 0xD0, 0xE0]) | rng.choice(channels)
            size = 1 if status >> 4 in (0xC, 0xD) else 2
            data = bytes(rng.randrange(128) for _ in range(size))
            if status == last and rng.random() < 0.6:
                out += varlen(delta) + data
            else:
                out += varlen(delta) + bytes([status]) + data
            last = status
        # After a meta or sysex event `last` still holds the channel status, so the
        # next channel event may use running status across it.
    return out + END


def seeds():
    files = {}
    # Plain files.
    files["format0_notes"] = smf(0, [meta(0, TEMPO, b"\x07\xA1\x20") + notes(0, 8) + END])
    files["format0_channels"] = smf(0, [b"".join(ev(4, 0xC0 | c, c) + ev(0, 0x90 | c, 60 + c, 90) for c in range(16))
                                        + b"".join(ev(10, 0x80 | c, 60 + c, 0) for c in range(16)) + END])
    files["format1_two_tracks"] = smf(1, [meta(0, TRACK_NAME, b"Tempo") + meta(0, TEMPO, b"\x07\xA1\x20") + END,
                                          notes(0, 6) + END])
    files["format1_four_tracks"] = smf(1, [meta(0, TIME_SIGNATURE, b"\x04\x02\x18\x08") + END,
                                           notes(0, 4) + END, notes(1, 5, 10) + END, notes(9, 3, 7, 30) + END])
    files["format1_one_track"] = smf(1, [notes(2, 4) + END])
    files["format1_smpte_division"] = header(1, 2, 0xE728) + track(END) + track(notes(3, 3) + END)
    files["format1_twenty_tracks"] = smf(1, [meta(0, TRACK_NAME, b"T%d" % n) + notes(n % 16, 2, n) + END for n in range(20)])
    files["channel_kinds"] = smf(0, [ev(0, 0xA0, 60, 10) + ev(1, 0xB0, 7, 100) + ev(1, 0xC0, 5) + ev(1, 0xD0, 40)
                                     + ev(1, 0xE0, 0, 64) + ev(1, 0xC1, 6) + bytes([1, 7]) + END])
    files["long_delta"] = smf(1, [ev(0x0FFFFFFF, 0x90, 60, 1) + ev(0x200000, 0x80, 60, 0) + END,
                                  ev(0x3FFF, 0x91, 61, 1) + ev(0x7F, 0x81, 61, 0) + END])

    # Karaoke: the marker as a text event in track 2, the words as texts in track 3.
    words = [b"@LENGL", b"@TSong", b"@TSinger", b"\\Hel", b"lo ", b"/world", b"\\", b"@", b"la", b"/"]
    kar_words = b"".join(meta(0 if i < 3 else 24, TEXT, w) for i, w in enumerate(words)) + END
    files["karaoke"] = smf(1, [meta(0, TRACK_NAME, b"Song") + END,
                               meta(0, TEXT, KARAOKE_MARKER) + meta(0, TEXT, b"@V0100") + END,
                               kar_words, notes(0, 8) + END])
    files["karaoke_marker_only"] = smf(1, [END, meta(0, TEXT, KARAOKE_MARKER) + END, meta(0, TEXT, b"\\x") + END])
    files["not_karaoke_marker_case"] = smf(1, [END, meta(0, TEXT, KARAOKE_MARKER.lower()) + END,
                                               meta(0, TEXT, b"@Tx") + meta(5, TEXT, b"/y") + END])
    files["format0_lyrics"] = smf(0, [meta(0, TRACK_NAME, b"Title") + ev(0, 0x90, 60, 80) + meta(0, LYRIC, b"Hel")
                                      + meta(12, LYRIC, b"lo\r") + ev(12, 0x80, 60, 0) + meta(0, LYRIC, b"again\r\r")
                                      + ev(0, 0x91, 62, 80) + ev(24, 0x81, 62, 0) + END])

    # Long meta and sysex events: lengths of two and three bytes.
    files["long_text_meta"] = smf(1, [meta(0, TEXT, bytes(range(32, 127)) * 2) + END, notes(0, 2) + END])
    files["long_sysex"] = smf(0, [sysex(0, bytes(i & 0x7F for i in range(300)) + b"\xF7") + notes(1, 2) + END])
    files["long_lyric"] = smf(0, [meta(0, LYRIC, b"la\r" * 60) + notes(0, 2) + END])
    files["meta_length_padded_three_bytes"] = smf(0, [b"\x00\xFF\x7F\x80\x81\x02" + bytes(130) + END])
    # Outputs that cross a page boundary of the file image (16384 bytes).
    big = bytes(i % 101 for i in range(17000)) + b"\xF7"
    files["two_pages_format1"] = smf(1, [notes(0, 2) + END, sysex(5, big) + notes(1, 3) + END])
    files["two_pages_format0"] = smf(0, [notes(0, 2) + sysex(5, big) + notes(1, 3) + END])
    files["meta_length_padded_varlen"] = smf(0, [b"\x00\xFF\x01\x80\x80\x03abc" + END])

    # Running status after meta and sysex events.
    files["running_after_meta"] = smf(0, [ev(0, 0x90, 60, 100) + meta(0, TEXT, b"text") + bytes([10, 62, 100])
                                          + meta(0, MARKER, b"mark") + bytes([10, 60, 0, 0, 62, 0]) + END])
    files["running_after_sysex"] = smf(0, [ev(0, 0xB2, 7, 90) + sysex(0, b"\x7E\x7F\x09\x01\xF7") + bytes([5, 10, 64])
                                           + sysex(0, b"\x01\x02", 0xF7) + bytes([5, 11, 30]) + END])
    files["running_after_meta_format1"] = smf(1, [END, ev(0, 0x93, 50, 1) + meta(3, TEXT, b"@x") + bytes([3, 52, 1]) + END,
                                                  ev(1, 0xC4, 3) + meta(0, 0x21, b"\x00") + bytes([1, 4]) + END])

    # Files of many tracks: chords, meta and sysex events, names and port events left out,
    # the karaoke marker later on. From 176 tracks on the merge takes them in windows
    # (karaoke sources excepted), below through its heap.
    chord = lambda c, d: ev(d, 0x90 | c, 60, 90) + ev(0, 0x90 | c, 64, 90) + ev(0, 0x90 | c, 67, 90)
    many_tracks = lambda count: smf(1, [meta(0, TEMPO, b"\x07\xA1\x20") + notes(0, 3, 5) + meta(7, TEMPO, b"\x06\x00\x00")
                                        + END]
                                    + [meta(0, TRACK_NAME, b"T%d" % n) + chord(n % 16, 1 + n % 3) + meta(2, 0x21, b"\x00")
                                       + sysex(0, b"\x7E\x7F\xF7") + notes(n % 16, 2, n % 5, 7) + END
                                       for n in range(count - 1)])
    many_karaoke_tracks = lambda count: smf(1, [END, notes(1, 2, 3) + meta(9, TEXT, KARAOKE_MARKER) + notes(1, 2) + END,
                                                kar_words]
                                            + [notes(n % 16, 3, n % 7, 5) + END for n in range(count - 3)])
    files["format1_sixty_tracks"] = many_tracks(60)
    files["format1_two_hundred_tracks"] = many_tracks(200)
    files["karaoke_fifty_tracks"] = many_karaoke_tracks(50)
    files["karaoke_two_hundred_tracks"] = many_karaoke_tracks(200)

    # Damaged files.
    good = files["format0_notes"]
    files["bad_no_end_of_track"] = smf(0, [notes(0, 2)])
    files["bad_trailing_bytes"] = good + b"\x00\x00\x00"
    files["bad_track_length_long"] = header(0, 1) + track(notes(0, 2) + END, len(notes(0, 2) + END) + 40)
    files["bad_track_length_short"] = header(0, 1) + track(notes(0, 2) + END, 5)
    files["bad_truncated"] = good[:-7]
    files["bad_missing_track"] = header(1, 3) + track(END) + track(notes(0, 1) + END)
    files["bad_status_f1"] = smf(0, [ev(0, 0xF1, 3) + END])
    files["bad_running_status_first"] = smf(1, [bytes([0, 60, 100]) + END])
    files["bad_varlen_five_bytes"] = smf(0, [b"\x81\x81\x81\x81\x01\x90\x3C\x40" + END])
    files["bad_header_length"] = b"MThd\x00\x00\x00\x07" + good[8:]
    files["header_only"] = header(1, 1)

    # Mixed random files, the same every run.
    rng = random.Random(20261208)
    for i in range(12):
        channels = rng.sample(range(16), rng.randint(1, 5))
        files["random_format0_%02d" % i] = smf(0, [random_events(rng, channels, rng.randint(5, 60))])
    for i in range(12):
        count = rng.randint(2, 6)
        files["random_format1_%02d" % i] = smf(1, [random_events(rng, [rng.randrange(16)], rng.randint(3, 30))
                                                   for _ in range(count)])
    return files


def main(argv):
    root = os.path.dirname(os.path.abspath(__file__))
    targets = argv[1:] or [os.path.join(root, "corpus", name)
                           for name in ("fuzz_convert_to_type0", "fuzz_convert_to_type1", "fuzz_smf_info")]
    files = seeds()
    for directory in targets:
        os.makedirs(directory, exist_ok=True)
        for name, data in sorted(files.items()):
            with open(os.path.join(directory, "seed_" + name + ".mid"), "wb") as f:
                f.write(data)
    print("%d seed files written to %s" % (len(files), ", ".join(targets)))


if __name__ == "__main__":
    main(sys.argv)
