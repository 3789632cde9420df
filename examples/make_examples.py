#!/usr/bin/env python3
"""Writes Quorvel's example MIDI files, byte for byte the same on every run.

    python3 make_examples.py            write the files beside this script
    python3 make_examples.py --out DIR  write them into DIR
    python3 make_examples.py --check    compare the files beside this script with
                                        what would be written; exit 1 on a difference

Standard library only: the bytes are put together with scripts/smf_writer.py.
"""

import argparse
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "scripts"))
from smf_writer import (END_OF_TRACK_EVENT, KARAOKE_MARKER, LYRIC, TEMPO, TEXT, TIME_SIGNATURE,  # noqa: E402
                        TRACK_NAME, event, header, meta, sysex, track)


def chunk(events):
    """A track chunk of (delta, event bytes) pairs, with its end-of-track event."""
    return track(b"".join(event(delta, data) for delta, data in events) + END_OF_TRACK_EVENT)


def tempo(bpm):
    return meta(TEMPO, (60_000_000 // bpm).to_bytes(3, "big"))


def time_signature(numerator, denominator_power):
    return meta(TIME_SIGNATURE, bytes([numerator, denominator_power, 24, 8]))


def note(channel, key, velocity, length, on_delta=0):
    """A note-on and its note-off (a note-on with velocity 0), as two events."""
    return [(on_delta, bytes([0x90 | channel, key, velocity])),
            (length, bytes([0x90 | channel, key, 0]))]


def program(channel, number):
    return (0, bytes([0xC0 | channel, number]))


def running_status(events):
    """Drops a channel status byte equal to the one before it; meta and sysex events
    cancel running status."""
    out, status = [], None
    for delta, data in events:
        if data[0] < 0xF0:
            if data[0] == status:
                data = data[1:]
            status = data[0] if data[0] >= 0x80 else status
        else:
            status = None
        out.append((delta, data))
    return out


def absolute_to_delta(timed):
    """(time, event) pairs, stably sorted by time, as (delta, event) pairs."""
    timed = sorted(timed, key=lambda item: item[0])
    out, now = [], 0
    for time, data in timed:
        out.append((time - now, data))
        now = time
    return out


def melody(channel, keys, step, start=0):
    timed = []
    for i, key in enumerate(keys):
        on = start + i * step
        timed.append((on, bytes([0x90 | channel, key, 96])))
        timed.append((on + step - 8, bytes([0x80 | channel, key, 64])))
    return timed


def band():
    """Format 1, four tracks: a conductor track and three instruments on channels 1, 2
    and 10, each track with a name."""
    division = 96
    conductor = [(0, meta(TRACK_NAME, "Little Band")), (0, tempo(112)), (0, time_signature(4, 2))]
    piano = [(0, meta(TRACK_NAME, "Piano")), program(0, 0)] + absolute_to_delta(
        melody(0, [60, 64, 67, 72, 67, 64, 60, 55], division))
    bass = [(0, meta(TRACK_NAME, "Bass")), program(1, 33)] + absolute_to_delta(
        melody(1, [36, 36, 43, 43, 41, 41, 43, 36], division))
    drums = [(0, meta(TRACK_NAME, "Drums"))]
    timed = []
    for beat in range(8):
        timed += [(beat * division, bytes([0x99, 36 if beat % 2 == 0 else 38, 100])),
                  (beat * division + 24, bytes([0x99, 36 if beat % 2 == 0 else 38, 0]))]
    drums += absolute_to_delta(timed)
    tracks = [conductor, piano, bass, drums]
    return header(1, len(tracks), division) + b"".join(chunk(running_status(t)) for t in tracks)


def sing_along():
    """Format 0, one track: a melody on channel 1, chords on channel 2 and a lyric
    event per syllable, a carriage return ending each line of the song."""
    division = 120
    syllables = ["Row ", "row ", "row ", "your ", "boat\r",
                 "Gent", "ly ", "down ", "the ", "stream\r"]
    keys = [60, 60, 60, 62, 64, 64, 62, 64, 65, 67]
    timed = [(0, meta(TRACK_NAME, "Sing Along")), (0, tempo(100)), (0, program(0, 73)[1]),
             (0, program(1, 0)[1])]
    for i, (syllable, key) in enumerate(zip(syllables, keys)):
        on = i * division
        timed.append((on, meta(LYRIC, syllable)))
        timed.append((on, bytes([0x90, key, 90])))
        timed.append((on + division - 10, bytes([0x80, key, 0])))
    for bar, root in enumerate([48, 43, 48, 43]):
        for offset in (0, 4, 7):
            timed.append((bar * 3 * division, bytes([0x91, root + offset, 60])))
            timed.append(((bar + 1) * 3 * division - 20, bytes([0x81, root + offset, 0])))
    return header(0, 1, division) + chunk(running_status(absolute_to_delta(timed)))


def karaoke():
    """Format 1 karaoke file: track 1 tempo, track 2 the karaoke marker and version,
    track 3 the '@' information texts and the sung text ('\\' starts a paragraph, '/'
    a line), track 4 the melody."""
    division = 96
    conductor = [(0, tempo(96)), (0, time_signature(4, 2))]
    marker = [(0, meta(TEXT, KARAOKE_MARKER)), (0, meta(TEXT, "@V0100"))]
    words = [(0, meta(TEXT, "@LENGL")), (0, meta(TEXT, "@TTwinkle Twinkle")),
             (0, meta(TEXT, "@TTraditional")),
             (96, meta(TEXT, "\\Twin")), (48, meta(TEXT, "kle ")), (48, meta(TEXT, "twin")),
             (48, meta(TEXT, "kle ")), (48, meta(TEXT, "lit")), (48, meta(TEXT, "tle ")),
             (48, meta(TEXT, "star")),
             (96, meta(TEXT, "/How ")), (48, meta(TEXT, "I ")), (48, meta(TEXT, "won")),
             (48, meta(TEXT, "der ")), (48, meta(TEXT, "what ")), (48, meta(TEXT, "you ")),
             (48, meta(TEXT, "are"))]
    keys = [60, 60, 67, 67, 69, 69, 67, 65, 65, 64, 64, 62, 62, 60]
    tune = [(0, meta(TRACK_NAME, "Melody")), program(0, 11)] + absolute_to_delta(
        melody(0, keys, 48, start=96))
    tracks = [conductor, marker, words, tune]
    return header(1, len(tracks), division) + b"".join(chunk(running_status(t)) for t in tracks)


def groove():
    """Format 0, one track on channels 1, 2 and 10 with a system-exclusive reset and
    pitch bends, no lyrics."""
    division = 96
    timed = [(0, meta(TRACK_NAME, "Groove")), (0, sysex(bytes([0x7E, 0x7F, 0x09, 0x01, 0xF7]))),
             (0, tempo(120)), (0, program(0, 81)[1]), (0, program(1, 38)[1])]
    timed += melody(0, [72, 74, 76, 79, 76, 74, 72, 67], 48)
    timed += melody(1, [36, 36, 38, 31], 96)
    for step in range(8):
        timed += [(step * 48, bytes([0x99, 42, 80])), (step * 48 + 12, bytes([0x89, 42, 0]))]
    timed += [(96, bytes([0xE0, 0x00, 0x50])), (144, bytes([0xE0, 0x00, 0x40]))]
    return header(0, 1, division) + chunk(running_status(absolute_to_delta(timed)))


EXAMPLES = {
    "band.mid": band,
    "sing-along.mid": sing_along,
    "karaoke.kar": karaoke,
    "groove.mid": groove,
}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", type=Path, default=Path(__file__).resolve().parent,
                        help="directory to write into (default: beside this script)")
    parser.add_argument("--check", action="store_true",
                        help="compare the files in the directory instead of writing them")
    args = parser.parse_args()

    if args.check:
        differing = []
        for name, build in EXAMPLES.items():
            path = args.out / name
            if not path.is_file() or path.read_bytes() != build():
                differing.append(name)
        for name in differing:
            print(f"{name}: differs from what make_examples.py writes", file=sys.stderr)
        return 1 if differing else 0

    args.out.mkdir(parents=True, exist_ok=True)
    for name, build in EXAMPLES.items():
        (args.out / name).write_bytes(build())
        print(args.out / name)
    return 0


if __name__ == "__main__":
    sys.exit(main())
