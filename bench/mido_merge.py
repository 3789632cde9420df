#!/usr/bin/env python3
"""The peer of the benchmark: merges format-1 files into format-0 files with mido.

    mido_merge.py OUTDIR FILE...

One process over all files, as quorvel-cli runs one process over a batch: each file is
read with mido.MidiFile, its tracks merged with mido.merge_tracks into the one track of a
type-0 file, and that file saved under OUTDIR with the input's name.
"""

import os
import sys

import mido


def main():
    outdir = sys.argv[1]
    for name in sys.argv[2:]:
        song = mido.MidiFile(name)
        merged = mido.MidiFile(type=0, ticks_per_beat=song.ticks_per_beat)
        merged.tracks.append(mido.merge_tracks(song.tracks))
        merged.save(os.path.join(outdir, os.path.basename(name)))


if __name__ == "__main__":
    main()
