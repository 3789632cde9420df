#include <gtest/gtest.h>

#include "quorvel/engine/errors.hpp"
#include "quorvel/engine/conversions.hpp"
#include "merge_window.hpp"
#include "smf_test_support.hpp"

namespace quorvel::testing {
namespace {

using engine::MalformedFile;

// Two tracks with running status, a dropped track name and a dropped end-of-track.
TEST(MergeWorkedExample, TwoTracksInterleaveByTime) {
    const Bytes input = Hex(
        "4D 54 68 64 00 00 00 06 00 01 00 02 00 60"
        "4D 54 72 6B 00 00 00 0B  00 90 3C 40  30 3C 00  18 FF 2F 00"
        "4D 54 72 6B 00 00 00 14  00 FF 03 04 42 61 73 73  00 90 30 50  60 80 30 00  00 FF 2F 00");
    ASSERT_EQ(input.size(), 61u);
    const Conversion result = RunType0(input);
    ASSERT_EQ(result.code, 0);
    EXPECT_EQ(ToHex(result.output), ToHex(Hex("4D 54 68 64 00 00 00 06 00 00 00 01 00 60"
                                              "4D 54 72 6B 00 00 00 12"
                                              "00 90 3C 40 00 30 50 30 3C 00 30 80 30 00 00 FF 2F 00")));
}

// A karaoke file: track 2's marker turns track 3's texts into lyrics with line breaks.
TEST(MergeWorkedExample, KaraokeTextsBecomeLyrics) {
    const Bytes input = Concat({
        Hex("4D 54 68 64 00 00 00 06 00 01 00 03 00 60"),
        Hex("4D 54 72 6B 00 00 00 0B 00 FF 51 03 07 A1 20 00 FF 2F 00"),
        Hex("4D 54 72 6B 00 00 00 25 00 FF 01 13"),
        Text("@KMIDI KARAOKE FILE"),
        Hex("00 FF 01 06"),
        Text("@V0100"),
        Hex("00 FF 2F 00"),
        Hex("4D 54 72 6B 00 00 00 27 00 FF 01 07"),
        Text("@TTitle"),
        Hex("60 FF 01 04"),
        Text("\\Hel"),
        Hex("30 FF 01 02"),
        Text("lo"),
        Hex("30 FF 01 06"),
        Text("/World"),
        Hex("00 FF 2F 00"),
    });
    ASSERT_EQ(input.size(), 125u);
    const Conversion result = RunType0(input);
    ASSERT_EQ(result.code, 0);
    EXPECT_EQ(ToHex(result.output),
              ToHex(Concat({Hex("4D 54 68 64 00 00 00 06 00 00 00 01 00 60 4D 54 72 6B 00 00 00 36"),
                            Hex("00 FF 51 03 07 A1 20"), Hex("00 FF 01 07 2A 20 54 69 74 6C 65"),
                            Hex("00 FF 05 01 0D 60 FF 05 03 48 65 6C"), Hex("30 FF 05 02 6C 6F"),
                            Hex("00 FF 05 01 0D 30 FF 05 05 57 6F 72 6C 64"), Hex("00 FF 2F 00")})));
}

}  // namespace
}  // namespace quorvel::testing

namespace quorvel::testing {
namespace {

const Bytes kEnd = Hex("00 FF 2F 00");

// A format-1 file of division 96 from the given track bodies.
Bytes Format1(std::initializer_list<Bytes> tracks) {
    Bytes file = Header(1, static_cast<int>(tracks.size()), 96);
    for (const Bytes& t : tracks) {
        const Bytes chunk = Track(t);
        file.insert(file.end(), chunk.begin(), chunk.end());
    }
    return file;
}

// The expected format-0 output around the given merged events (00 FF 2F 00 appended).
Bytes Format0Output(const Bytes& events) {
    const Bytes body = Concat({events, kEnd});
    return Concat({Header(0, 1, 96), Track(body)});
}

std::string MergedHex(const Bytes& input) {
    const Conversion result = RunType0(input);
    EXPECT_EQ(result.code, 0);
    return ToHex(result.output);
}

TEST(MergeTracks, EmptyTracksYieldJustTheEndOfTrack) {
    const Bytes input = Format1({{}, kEnd, {}});
    const std::string out = MergedHex(input);
    EXPECT_EQ(out, ToHex(Format0Output({})));
    EXPECT_EQ(RunType0(input).output.size(), 26u);
}

TEST(MergeTracks, OneTrackKeepsItsNameAndLosesItsLastEvent) {
    const Bytes track = Concat({Meta(0, 0x03, Text("Lead")), Hex("00 C0 05 10 90 3C 40 10 80 3C 00"), kEnd});
    EXPECT_EQ(MergedHex(Format1({track})),
              ToHex(Format0Output(Concat({Meta(0, 0x03, Text("Lead")), Hex("00 C0 05 10 90 3C 40 10 80 3C 00")}))));
}

TEST(MergeTracks, SameTimeEventsComeOneTrackAtATime) {
    // Track 1: A, B; track 2: C, D; all at time 0.
    const Bytes t1 = Concat({Hex("00 90 3C 40  00 91 3D 41"), kEnd});
    const Bytes t2 = Concat({Hex("00 92 3E 42  00 93 3F 43"), kEnd});
    EXPECT_EQ(MergedHex(Format1({t1, t2})),
              ToHex(Format0Output(Hex("00 90 3C 40  00 92 3E 42  00 91 3D 41  00 93 3F 43"))));
}

TEST(MergeTracks, NamesOfLaterTracksAndOneBytePortEventsAreLeftOut) {
    const Bytes t1 = Concat({Meta(0, 0x03, Text("Song")), Meta(0, 0x21, Hex("01")), kEnd});
    const Bytes t2 = Concat({Meta(0, 0x03, Text("Bass")), Meta(0, 0x21, Hex("01 02")), Hex("00 90 30 50"), kEnd});
    EXPECT_EQ(
        MergedHex(Format1({t1, t2})),
        ToHex(Format0Output(Concat({Meta(0, 0x03, Text("Song")), Meta(0, 0x21, Hex("01 02")), Hex("00 90 30 50")}))));
}

TEST(MergeTracks, RunningStatusAcrossTracksAndAfterMeta) {
    // Track 2 relies on running status after a meta event of its own.
    const Bytes t1 = Concat({Hex("00 90 3C 40"), Hex("10 90 3C 00"), kEnd});
    const Bytes t2 = Concat({Hex("05 90 30 50"), Meta(0, 0x01, Text("x")), Hex("00 30 00"), kEnd});
    EXPECT_EQ(MergedHex(Format1({t1, t2})),
              ToHex(Format0Output(Concat({Hex("00 90 3C 40  05 30 50"), Meta(0, 0x01, Text("x")),
                                          Hex("00 90 30 00  0B 3C 00")}))));
}

TEST(MergeTracks, LongWaitsAndDroppedEventsCarryTheirTime) {
    // 0x2000000 ticks is waited out over several capped sweeps; the dropped name's
    // time moves into the next written event.
    const Bytes t1 = Concat({VarLen(0x2000000), Hex("90 3C 40"), kEnd});
    const Bytes t2 = Concat({Hex("10 FF 03 01 42"), Hex("10 91 30 50"), kEnd});
    EXPECT_EQ(MergedHex(Format1({t1, t2})),
              ToHex(Format0Output(Concat({Hex("20 91 30 50"), VarLen(0x2000000 - 0x20), Hex("90 3C 40")}))));
}

TEST(MergeTracks, TheLongestGapIsWrittenInFourBytes) {
    // 0x7F ticks before a dropped port event and 0xFFFFF80 after it: 2^28 - 1 in all.
    const Bytes t1 = Concat({Hex("00 90 3C 40  7F FF 21 01 00  FF FF FF 00 80 3C 00"), kEnd});
    EXPECT_EQ(MergedHex(Format1({t1})), ToHex(Format0Output(Hex("00 90 3C 40  FF FF FF 7F 80 3C 00"))));
}

TEST(MergeTracks, TheClosingEventComesWhenTheLongestTrackEnds) {
    // Track 1's last note ends at 96; track 2 holds only a name (left out) and ends at
    // 384: the merged track lasts until 384 too, 288 ticks (82 20) after its last event.
    const Bytes t1 = Concat({Hex("00 90 3C 40  60 80 3C 00"), kEnd});
    const Bytes t2 = Concat({Meta(0, 0x03, Text("Pad")), Hex("83 00 FF 2F 00")});
    EXPECT_EQ(MergedHex(Format1({t1, t2})),
              ToHex(Concat({Header(0, 1, 96), Track(Hex("00 90 3C 40  60 80 3C 00  82 20 FF 2F 00"))})));
    // An end that no 4-byte delta reaches is refused like any other gap.
    const Bytes t3 = Concat({VarLen(0x10000000), Hex("FF 2F 00")});
    EXPECT_THROW(RunType0(Format1({t1, t3})), MalformedFile);
}

TEST(MergeTracks, AChannelEventWithAHighFirstDataByteKeepsItsStatus) {
    // Without its status byte E9 would read as a pitch bend of channel 10.
    const Bytes t1 = Concat({Hex("00 90 3C 40  10 90 E9 40  10 3C 00"), kEnd});
    EXPECT_EQ(MergedHex(Format1({t1})), ToHex(Format0Output(Hex("00 90 3C 40  10 90 E9 40  10 3C 00"))));
}

TEST(MergeTracks, EventsOf128BytesAndMoreAreCopiedWhole) {
    const Bytes text(300, 'c');
    const Bytes sysex = Concat({Hex("00 F0"), VarLen(200), Bytes(199, 0x11), Hex("F7")});
    const Bytes t1 = Concat({Meta(0, 0x02, text), sysex, kEnd});
    EXPECT_EQ(MergedHex(Format1({t1})), ToHex(Format0Output(Concat({Meta(0, 0x02, text), sysex}))));
}

TEST(MergeTracks, OutputGrowsPastOnePage) {
    Bytes events;
    for (int i = 0; i < 6000; ++i) {
        const Bytes e = Hex(i % 2 ? "01 3C 00" : "01 3C 40");
        events.insert(events.end(), e.begin(), e.end());
    }
    const Bytes t1 = Concat({Hex("00 90 3C 40"), events, kEnd});
    EXPECT_EQ(MergedHex(Format1({t1})), ToHex(Format0Output(Concat({Hex("00 90 3C 40"), events}))));
}

TEST(MergeRefusals, ResultCodesWriteNothing) {
    TempDir dir;
    EXPECT_EQ(engine::ConvertToType0(dir / "missing.mid", dir / "out.mid"), 1);
    EXPECT_TRUE(dir.Entries().empty());

    const Conversion format0 = RunType0(Concat({Header(0, 1, 96), Track(kEnd)}));
    EXPECT_EQ(format0.code, 2);
    EXPECT_FALSE(format0.wroteOutput);

    Bytes many = Header(1, 257, 96);
    for (int i = 0; i < 257; ++i) many = Concat({many, Track(kEnd)});
    const Conversion tooMany = RunType0(many);
    EXPECT_EQ(tooMany.code, 3);
    EXPECT_FALSE(tooMany.wroteOutput);
}

TEST(MergeTracks, TwoHundredFiftySixTracksMergeIntoOne) {
    Bytes file = Header(1, 256, 96);
    Bytes expected;
    for (int i = 0; i < 256; ++i) {
        const std::uint8_t channel = static_cast<std::uint8_t>(0x90 | (i % 16));
        file = Concat({file, Track(Concat({Bytes{0x00, channel, 0x3C, 0x40}, kEnd}))});
        // Neighbouring tracks use different channels, so every event keeps its status.
        expected = Concat({expected, Bytes{0x00, channel, 0x3C, 0x40}});
    }
    const Conversion result = RunType0(file);
    ASSERT_EQ(result.code, 0);
    EXPECT_EQ(ToHex(result.output), ToHex(Format0Output(expected)));
}

// Two tracks taking turns far past the usual range of keys: past 2^40 ticks, and past
// 2^14 events of one track at one time. The order holds when the keys no longer fit one
// word.
TEST(MergeTracks, TurnsHoldPastFarTimesAndLongChords) {
    struct Turns {
        const char* name;
        std::uint32_t gap;  // each track's delta between its events
        int events;         // per track
    };
    for (const Turns& turns : {Turns{"far times", 1u << 27, 8300}, Turns{"long chords", 0, 17000}}) {
        SCOPED_TRACE(turns.name);
        // Track 2 starts half a gap before track 1: the output alternates, track 2 first
        // when the gap is not 0, track 1 first at one time.
        const auto append = [](Bytes& to, const Bytes& bytes) { to.insert(to.end(), bytes.begin(), bytes.end()); };
        Bytes t1 = Concat({VarLen(turns.gap), Hex("90 3C 40")});
        Bytes t2 = Concat({VarLen(turns.gap / 2), Hex("91 3D 41")});
        const Bytes next1 = Concat({VarLen(turns.gap), Hex("3C 40")});
        const Bytes next2 = Concat({VarLen(turns.gap), Hex("3D 41")});
        const Bytes e1 = Concat({VarLen(turns.gap / 2), Hex("90 3C 40")});
        const Bytes e2 = Concat({VarLen(turns.gap / 2), Hex("91 3D 41")});
        Bytes expected = turns.gap ? Concat({e2, e1}) : Concat({e1, e2});
        for (int i = 1; i < turns.events; ++i) {
            append(t1, next1);
            append(t2, next2);
            append(expected, turns.gap ? e2 : e1);
            append(expected, turns.gap ? e1 : e2);
        }
        const Conversion result = RunType0(Format1({Concat({t1, kEnd}), Concat({t2, kEnd})}));
        ASSERT_EQ(result.code, 0);
        EXPECT_EQ(result.output, Format0Output(expected));
    }
}

struct MalformedCase {
    const char* name;
    Bytes input;
    const char* reason;
};

void PrintTo(const MalformedCase& c, std::ostream* os) { *os << c.name; }

class MergeMalformed : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(MergeMalformed, ThrowsWithAReasonAndWritesNothing) {
    TempDir dir;
    WriteFile(dir / "in.mid", GetParam().input);
    try {
        engine::ConvertToType0(dir / "in.mid", dir / "out.mid");
        ADD_FAILURE() << "accepted";
    } catch (const engine::MalformedFile& e) {
        EXPECT_EQ(e.Reason(), GetParam().reason);
    }
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"in.mid"});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MergeMalformed,
    ::testing::Values(
        MalformedCase{"format2", Concat({Header(2, 1, 96), Track(kEnd)}), "format 2 is not supported"},
        MalformedCase{"wrongtag", Concat({Header(1, 2, 96), Track(kEnd), Hex("4D 54 72 58 00 00 00 00")}),
                      "track 2 is not an MTrk chunk"},
        MalformedCase{"missingtrack", Concat({Header(1, 3, 96), Track(kEnd), Track(kEnd)}), "track 3 is missing"},
        MalformedCase{"chunkpastend", Concat({Header(1, 1, 96), Hex("4D 54 72 6B 00 00 00 10"), kEnd}),
                      "track 1 runs past the end of the file"},
        MalformedCase{"hugelength", Concat({Header(1, 1, 96), Hex("4D 54 72 6B 80 00 00 00"), kEnd}),
                      "track 1 runs past the end of the file"},
        MalformedCase{"eventpastchunk", Concat({Header(1, 2, 96), Track(kEnd), Track(Hex("00 90 3C")), Hex("40")}),
                      "an event runs past the end of track 2"},
        MalformedCase{"metapastchunk", Concat({Header(1, 1, 96), Track(Hex("00 FF 01 05 61 62")), Hex("63 64 65")}),
                      "an event runs past the end of track 1"},
        MalformedCase{"deltapastchunk", Concat({Header(1, 1, 96), Track(Hex("81 82")), Hex("00")}),
                      "a variable-length number runs past the end of track 1"},
        MalformedCase{"longvarlen", Concat({Header(1, 1, 96), Track(Concat({Hex("81 81 81 81 00 90 3C 40"), kEnd}))}),
                      "a variable-length number in track 1 is longer than 4 bytes"},
        MalformedCase{"songposition", Concat({Header(1, 1, 96), Track(Concat({Hex("00 F2 01 02"), kEnd}))}),
                      "status byte F2 is not allowed in track 1"},
        MalformedCase{"nostatus", Concat({Header(1, 1, 96), Track(Concat({Hex("00 3C 40"), kEnd}))}),
                      "a data byte stands where track 1 needs a status byte"},
        // Track 1's second delta cannot be read; tracks are read round by round, so the
        // other events of its round come first, the events of the next round after it.
        MalformedCase{"deltafaultaftertheround",
                      Concat({Header(1, 2, 96), Track(Concat({Hex("00 90 3C 40 81 81 81 81 00 80 3C 00"), kEnd})),
                              Track(Concat({Hex("00 3C 40"), kEnd}))}),
                      "a data byte stands where track 2 needs a status byte"},
        MalformedCase{"deltafaultbeforethenextround",
                      Concat({Header(1, 2, 96), Track(Concat({Hex("00 90 3C 40 81 81 81 81 00 80 3C 00"), kEnd})),
                              Track(Concat({Hex("00 90 3C 40 00 F2 01 02"), kEnd}))}),
                      "a variable-length number in track 1 is longer than 4 bytes"},
        MalformedCase{"statusaftermetaonly",
                      Concat({Header(1, 1, 96), Track(Concat({Meta(0, 1, Text("a")), Hex("00 3C 40"), kEnd}))}),
                      "a data byte stands where track 1 needs a status byte"},
        // A dropped port event carries its time into the next written one: 2^28 ticks.
        MalformedCase{"gaptoolong",
                      Concat({Header(1, 1, 96),
                              Track(Concat({Hex("00 90 3C 40 FF FF FF 7F FF 21 01 00 01 80 3C 00"), kEnd}))}),
                      "a gap of 268435456 ticks is too long to be written (at most 268435455)"}),
    [](const auto& info) { return std::string(info.param.name); });

// From engine::WindowTracks tracks on the merge sorts windows of events at once instead
// of taking them one by one through its heap; both must give the same bytes, and the
// same reason for a fault. Idle tracks (an end-of-track event each at the file's last
// time) switch the windows on without changing the output.
struct WindowCase {
    const char* name;
    Bytes input;
    std::uint32_t end;  // the time of the file's last event
};

void PrintTo(const WindowCase& c, std::ostream* os) { *os << c.name; }

std::string MergeOutcome(const Bytes& input) {
    try {
        const Conversion result = RunType0(input);
        return "code " + std::to_string(result.code) + ": " + ToHex(result.output);
    } catch (const MalformedFile& e) {
        return std::string("malformed: ") + e.Reason();
    }
}

class MergeWindows : public ::testing::TestWithParam<WindowCase> {};

TEST_P(MergeWindows, GiveWhatTheHeapGives) {
    const WindowCase& c = GetParam();
    const std::string heap = MergeOutcome(c.input);
    EXPECT_EQ(MergeOutcome(WithIdleTracks(c.input, engine::WindowTracks, c.end)), heap);
    // The case exercises what it names: a fault where one is named, else an output.
    EXPECT_EQ(heap.rfind("malformed", 0) == 0, std::string(c.name).rfind("fault", 0) == 0) << heap;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MergeWindows,
    ::testing::Values(
        // Chords in several tracks at one time come round by round.
        WindowCase{"chords",
                   Format1({Concat({Hex("10 90 3C 40 00 40 40 00 43 40 20 80 3C 00 00 40 00"), kEnd}),
                            Concat({Hex("10 91 30 40 00 34 40 20 30 00"), kEnd}),
                            Concat({Hex("10 92 24 40 30 24 00"), kEnd})}),
                   0x40},
        // Meta and system-exclusive events between channel events, running status across
        // them, a track name and a port event left out, a text of track 2 that is not
        // the karaoke marker, deltas of two and three bytes.
        WindowCase{"systemevents",
                   Format1(
                       {Concat({Hex("08 FF 51 03 07 A1 20 00 90 3C 40 81 00 3C 00 82 80 00 3C 40"), kEnd}),
                        Concat({Hex("08 F0 03 43 12 F7 00 FF 21 01 00 00 FF 01 02 68 69 00 91 30 40 10 30 00"), kEnd}),
                        Concat({Hex("08 FF 03 04 4E 61 6D 65 00 C2 05 10 E2 00 40"), kEnd})}),
                   0x8088},
        // The marker later in track 2: from there track 2's events are left out and
        // track 3's texts become lyrics.
        WindowCase{"karaokemarker",
                   Format1({Concat({Hex("10 90 3C 40 10 3C 00"), kEnd}),
                            Concat({Hex("05 91 30 40"), Meta(10, 0x01, Text("@KMIDI KARAOKE FILE")), Hex("05 30 00"),
                                    kEnd}),
                            Concat({Meta(20, 0x01, Text("\\Hel")), Meta(5, 0x01, Text("@T")), kEnd})}),
                   0x20},
        WindowCase{"faultdelta",
                   Format1({Concat({Hex("05 90 3C 40 81 81 81 81 00 80 3C 00"), kEnd}),
                            Concat({Hex("05 91 3C 40 00 3C 00"), kEnd})}),
                   5},
        WindowCase{"faultnostatus",
                   Format1({Concat({Hex("05 90 3C 40 05 3C 00"), kEnd}), Concat({Hex("03 3C 40"), kEnd})}), 5},
        WindowCase{"faultpastchunk",
                   Concat({Header(1, 2, 96), Track(Concat({Hex("05 90 3C 40"), kEnd})),
                           Track(Hex("05 90 3C 40 05 90 3C"))}),
                   5},
        WindowCase{"faultstatus",
                   Format1({Concat({Hex("05 90 3C 40 05 F2 01 02"), kEnd}), Concat({Hex("05 91 3C 40"), kEnd})}), 5},
        WindowCase{"faultgap",
                   Format1({Concat({Hex("10 90 3C 40 FF FF FF 7F FF 21 01 00 01 80 3C 00"), kEnd}),
                            Concat({Hex("10 91 3C 40"), kEnd})}),
                   5}),
    [](const auto& info) { return std::string(info.param.name); });

// Karaoke: a type-01 marker text in track 2 turns track 3's texts into lyrics.
Bytes KaraokeFile(const Bytes& track2, const Bytes& track3) {
    return Format1({kEnd, Concat({track2, kEnd}), Concat({track3, kEnd})});
}
const Bytes kMarker = Meta(0, 0x01, Text("@KMIDI KARAOKE FILE"));

TEST(MergeKaraoke, TheMarkerWorksOnlyExactlyAndOnlyInTrackTwo) {
    const Bytes lyricText = Meta(0, 0x01, Text("la"));
    struct Case {
        const char* name;
        Bytes track2;
        bool karaoke;
    };
    const Case cases[] = {
        {"exact", kMarker, true},
        {"lower case", Meta(0, 0x01, Text("@kmidi karaoke file")), false},
        {"longer", Meta(0, 0x01, Text("@KMIDI KARAOKE FILE ")), false},
        {"as a lyric", Meta(0, 0x05, Text("@KMIDI KARAOKE FILE")), false},
    };
    for (const Case& c : cases) {
        const std::string out = MergedHex(
            KaraokeFile(c.track2, Concat({Hex("10"), Bytes(lyricText.begin() + 1, lyricText.end())})));
        const Bytes expected = c.karaoke ? Concat({Hex("10 FF 05 02"), Text("la")})
                                         : Concat({c.track2, Hex("10 FF 01 02"), Text("la")});
        EXPECT_EQ(out, ToHex(Format0Output(expected))) << c.name;
    }
    // The marker in track 3 does nothing.
    EXPECT_EQ(MergedHex(Format1({kEnd, kEnd, Concat({kMarker, Meta(0, 1, Text("la")), kEnd})})),
              ToHex(Format0Output(Concat({kMarker, Meta(0, 1, Text("la"))}))));
}

TEST(MergeKaraoke, TrackTwoBeforeTheMarkerIsKeptAndAfterItDropped) {
    const Bytes track2 = Concat({Meta(0, 0x01, Text("before")), Hex("10"), Bytes(kMarker.begin() + 1, kMarker.end()),
                                 Meta(0, 0x01, Text("after"))});
    const Bytes track3 = Concat({Meta(0, 0x01, Text("early")), Hex("20 FF 01 04"), Text("late")});
    EXPECT_EQ(MergedHex(KaraokeFile(track2, track3)),
              ToHex(Format0Output(Concat({Meta(0, 0x01, Text("before")), Meta(0, 0x01, Text("early")),
                                          Hex("20 FF 05 04"), Text("late")}))));
}

TEST(MergeKaraoke, ShortTextsAndLineBreaks) {
    struct Case {
        const char* name;
        Bytes event;
        Bytes expected;
    };
    const Case cases[] = {
        {"slash alone", Meta(0, 0x01, Text("/")), Hex("00 FF 05 01 0D 00 FF 05 00")},
        {"backslash", Meta(0, 0x01, Text("\\ab")), Hex("00 FF 05 01 0D 00 FF 05 02 61 62")},
        {"at text", Meta(0, 0x01, Text("@Tx")), Hex("00 FF 01 03 2A 20 78")},
        {"at alone", Meta(0, 0x01, Text("@")), Hex("00 FF 05 01 40")},
        {"empty text", Meta(0, 0x01, {}), Hex("00 FF 05 00")},
        {"empty lyric", Meta(0, 0x05, {}), Hex("00 FF 05 00")},
        {"slash in a marker meta", Meta(0, 0x06, Text("/m")), Hex("00 FF 05 01 0D 00 FF 05 01 6D")},
        {"copyright kept", Meta(0, 0x02, Text("c")), Hex("00 FF 02 01 63")},
        {"long line", Meta(0, 0x01, Concat({Text("/"), Bytes(200, 'w')})),
         Concat({Hex("00 FF 05 01 0D 00 FF 05 81 48"), Bytes(200, 'w')})},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MergedHex(KaraokeFile(kMarker, c.event)), ToHex(Format0Output(c.expected))) << c.name;
}

TEST(MergeInPlace, TheConvertedFileReplacesTheInput) {
    TempDir dir;
    const Bytes input = Format1({Concat({Hex("00 90 3C 40 10 80 3C 00"), kEnd})});
    WriteFile(dir / "song.mid", input);
    ASSERT_EQ(engine::ConvertToType0(dir / "song.mid", dir / "song.mid"), 0);
    EXPECT_EQ(ToHex(ReadFile(dir / "song.mid")), ToHex(Format0Output(Hex("00 90 3C 40 10 80 3C 00"))));
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"song.mid"});
}

TEST(MergeCapacity, AnOutputBeyondTheMemoryLimitIsRefused) {
    // About 600 KB of input needs about as much output: together more than 1 MiB.
    const ScopedMemoryLimit limit(std::uint64_t{1} << 20);
    Bytes events;
    events.reserve(600000);
    for (int i = 0; i < 200000; ++i) {
        events.push_back(0x00);
        events.push_back(0x3C);
        events.push_back(i % 2 ? 0x00 : 0x40);
    }
    TempDir dir;
    WriteFile(dir / "big.mid", Format1({Concat({Hex("00 90 3C 40"), events, kEnd})}));
    try {
        engine::ConvertToType0(dir / "big.mid", dir / "out.mid");
        ADD_FAILURE() << "converted";
    } catch (const engine::FileTooLarge& e) {
        EXPECT_STREQ(e.what(), "File too large (over the memory limit of 1 MiB)");
    }
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"big.mid"});
}

}  // namespace
}  // namespace quorvel::testing

namespace quorvel::testing {
namespace {

TEST(MergeKaraoke, AMarkerThatEndsTrackTwoStillCounts) {
    const Bytes input = Concat({Header(1, 3, 96), Track(Hex("00 FF 2F 00")),
                                Track(Meta(0, 0x01, Text("@KMIDI KARAOKE FILE"))),
                                Track(Concat({Meta(0, 0x01, Text("ab")), Hex("00 FF 2F 00")}))});
    const Conversion result = RunType0(input);
    ASSERT_EQ(result.code, 0);
    EXPECT_EQ(ToHex(result.output),
              ToHex(Concat({Header(0, 1, 96), Track(Concat({Meta(0, 0x05, Text("ab")), Hex("00 FF 2F 00")}))})));
}

}  // namespace
}  // namespace quorvel::testing

namespace quorvel::testing {
namespace {

// Bytes of the header that the reader passes over do not reach the output.
TEST(OutputHeader, StatesLengthSixAndAPlainFormatWord) {
    const Bytes merged = RunType0(Concat({Hex("4D 54 68 64 00 00 01 06 00 01 00 01 E7 28"),
                                          Track(Hex("00 90 3C 40 00 FF 2F 00"))}))
                             .output;
    ASSERT_GE(merged.size(), 14u);
    EXPECT_EQ(ToHex(Bytes(merged.begin(), merged.begin() + 14)), "4D 54 68 64 00 00 00 06 00 00 00 01 E7 28");

    const Bytes split = RunType1(Concat({Hex("4D 54 68 64 00 FF 00 06 01 00 00 01 00 60"),
                                         Track(Hex("00 90 3C 40 00 FF 2F 00"))}))
                            .output;
    ASSERT_GE(split.size(), 14u);
    EXPECT_EQ(ToHex(Bytes(split.begin(), split.begin() + 14)), "4D 54 68 64 00 00 00 06 00 01 00 02 00 60");
}

TEST(InputKinds, ADirectoryIsAnInputThatCannotBeOpened) {
    TempDir dir;
    std::filesystem::create_directory(dir / "folder.mid");
    EXPECT_EQ(engine::ConvertToType0(dir / "folder.mid", dir / "out.mid"), 1);
    EXPECT_EQ(engine::ConvertToType1(dir / "folder.mid", dir / "out.mid"), 1);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"folder.mid"});
}

}  // namespace
}  // namespace quorvel::testing
