"""Byte builders for Standard MIDI Files, shared by the generators of the example files
(examples/make_examples.py), the fuzz seeds (fuzz/make_seeds.py) and the benchmark
corpus (bench/make_corpus.py). Standard library only; every builder returns bytes.

A generator imports it relative to its own file:

    sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "scripts"))
    import smf_writer
"""

KARAOKE_MARKER = b"@KMIDI KARAOKE FILE"

# Meta event types.
TEXT = 0x01
TRACK_NAME = 0x03
LYRIC = 0x05
MARKER = 0x06
END_OF_TRACK = 0x2F
TEMPO = 0x51
TIME_SIGNATURE = 0x58
SEQUENCER_SPECIFIC = 0x7F

HEADER_LENGTH = 6  # the length an MThd chunk states


def var_len(value):
    """A variable-length quantity: 7 bits a byte, high group first, the continuation
    bit set on all but the last byte."""
    groups = [value & 0x7F]
    value >>= 7
    while value:
        groups.append((value & 0x7F) | 0x80)
        value >>= 7
    return bytes(reversed(groups))


def header(fmt, tracks, division, length=HEADER_LENGTH):
    """The MThd chunk: format, number of tracks and time division, each 16 bits."""
    return b"MThd" + length.to_bytes(4, "big") + fmt.to_bytes(2, "big") + \
        tracks.to_bytes(2, "big") + division.to_bytes(2, "big")


def track(body, length=None):
    """An MTrk chunk around body (the events as bytes); length overrides the stated
    length, for damaged files."""
    return b"MTrk" + (len(body) if length is None else length).to_bytes(4, "big") + body


def smf(fmt, bodies, division):
    """A whole file: the header and one track chunk per body."""
    return header(fmt, len(bodies), division) + b"".join(track(body) for body in bodies)


def event(delta, data):
    """One event: its delta time and its bytes (status byte included unless running
    status applies)."""
    return var_len(delta) + data


def meta(kind, data):
    """A meta event without its delta time; data may be an ASCII str."""
    if isinstance(data, str):
        data = data.encode("ascii")
    return bytes([0xFF, kind]) + var_len(len(data)) + data


def sysex(data, status=0xF0):
    """A system-exclusive event (F0, or F7 for a continuation or escape) without its
    delta time; data includes a closing F7 where it has one."""
    return bytes([status]) + var_len(len(data)) + data


# The end-of-track event, delta time 0 included.
END_OF_TRACK_EVENT = event(0, meta(END_OF_TRACK, b""))
