#include <gtest/gtest.h>

#include "quorvel/engine/errors.hpp"
#include "quorvel/engine/conversions.hpp"
#include "smf_test_support.hpp"

namespace quorvel::testing {
namespace {

TEST(SplitWorkedExample, ChannelsLyricsAndKaraokeHeader) {
    const Bytes input = Hex(
        "4D 54 68 64 00 00 00 06 00 00 00 01 00 60"
        "4D 54 72 6B 00 00 00 23"
        "00 FF 03 04 53 6F 6E 67  00 90 3C 64  00 91 40 64  60 90 3C 00"
        "00 FF 05 03 48 69 0D  00 91 40 00  00 FF 2F 00");
    ASSERT_EQ(input.size(), 57u);
    const Conversion result = RunType1(input);
    ASSERT_EQ(result.code, 0);
    const Bytes expected = Concat({
        Hex("4D 54 68 64 00 00 00 06 00 01 00 05 00 60"),
        Hex("4D 54 72 6B 00 00 00 0C 00 FF 03 04 53 6F 6E 67 60 FF 2F 00"),
        Hex("4D 54 72 6B 00 00 00 2B 00 FF 03 0C"),
        Text("Soft karaoke"),
        Hex("00 FF 01 13"),
        Text("@KMIDI KARAOKE FILE"),
        Hex("00 FF 2F 00"),
        Hex("4D 54 72 6B 00 00 00 2A 00 FF 03 05"),
        Text("Words"),
        Hex("00 FF 01 08"),
        Text("@TLyrics"),
        Hex("00 FF 01 06"),
        Text("@LENGL"),
        Hex("60 FF 01 03 48 69 2F 00 FF 2F 00"),
        Hex("4D 54 72 6B 00 00 00 0B 00 90 3C 64 60 3C 00 00 FF 2F 00"),
        Hex("4D 54 72 6B 00 00 00 0B 00 91 40 64 60 40 00 00 FF 2F 00"),
    });
    ASSERT_EQ(expected.size(), 173u);
    EXPECT_EQ(ToHex(result.output), ToHex(expected));
}

}  // namespace
}  // namespace quorvel::testing

namespace quorvel::testing {
namespace {

const Bytes kEnd = Hex("00 FF 2F 00");

Bytes Format0(const Bytes& events) { return Concat({Header(0, 1, 96), Track(events)}); }

// An output track from slot 2 on: the events, then the appended end-of-track.
Bytes OutTrack(const Bytes& events) { return Track(Concat({events, kEnd})); }

const Bytes kKaraokeTrack = Concat({Meta(0, 3, Text("Soft karaoke")), Meta(0, 1, Text("@KMIDI KARAOKE FILE"))});
const Bytes kLyricsHead = Concat({Meta(0, 3, Text("Words")), Meta(0, 1, Text("@TLyrics")), Meta(0, 1, Text("@LENGL"))});

std::string SplitHex(const Bytes& input) {
    const Conversion result = RunType1(input);
    EXPECT_EQ(result.code, 0);
    return ToHex(result.output);
}

TEST(SplitTracks, WithoutLyricsOneTrackPerChannelInChannelOrder) {
    const Bytes input = Format0(Concat({Hex("00 9F 3C 40  00 C3 05  10 92 30 50  10 8F 3C 00"), kEnd}));
    EXPECT_EQ(SplitHex(input), ToHex(Concat({Header(1, 4, 96), Track(Hex("20 FF 2F 00")), OutTrack(Hex("10 92 30 50")),
                                             OutTrack(Hex("00 C3 05")), OutTrack(Hex("00 9F 3C 40 20 8F 3C 00"))})));
}

TEST(SplitTracks, LyricsWithoutChannelsGiveThreeTracks) {
    const Bytes input = Format0(Concat({Meta(0, 0x51, Hex("07 A1 20")), Meta(5, 0x05, Text("a\rb\nc")),
                                        Meta(0, 0x05, {}), Hex("03 FF 2F 00")}));
    EXPECT_EQ(SplitHex(input),
              ToHex(Concat({Header(1, 3, 96), Track(Concat({Meta(0, 0x51, Hex("07 A1 20")), Hex("08 FF 2F 00")})),
                            OutTrack(kKaraokeTrack),
                            OutTrack(Concat({kLyricsHead, Meta(5, 0x01, Text("a/b\nc")), Meta(0, 0x01, {})}))})));
}

TEST(SplitTracks, RunningStatusIsRecomputedPerTrackAndSurvivesMetaEvents) {
    // 90 3C 40, then a meta event, then 3C 00 under running status 90.
    const Bytes input = Format0(Concat({Hex("00 90 3C 40"), Meta(0, 0x01, Text("t")), Hex("10 3C 00"),
                                        Hex("00 91 40 40 00 90 3E 40"), kEnd}));
    EXPECT_EQ(SplitHex(input),
              ToHex(Concat({Header(1, 3, 96), Track(Concat({Meta(0, 0x01, Text("t")), Hex("10 FF 2F 00")})),
                            OutTrack(Hex("00 90 3C 40 10 3C 00 00 3E 40")), OutTrack(Hex("10 91 40 40"))})));
}

TEST(SplitTracks, AChannelEventWithAHighFirstDataByteKeepsItsStatus) {
    // Measured and written with its status byte: E9 must not read as a status of its own.
    const Bytes input = Format0(Concat({Hex("00 90 3C 40  10 90 E9 40  10 3C 00"), kEnd}));
    EXPECT_EQ(SplitHex(input), ToHex(Concat({Header(1, 2, 96), Track(Hex("20 FF 2F 00")),
                                             OutTrack(Hex("00 90 3C 40  10 90 E9 40  10 3C 00"))})));
}

TEST(SplitTracks, LongGapsAddUpPerChannel) {
    const Bytes input = Format0(Concat({Hex("00 90 3C 40"), VarLen(200000), Hex("91 30 40"), VarLen(100000),
                                        Hex("80 3C 00"), kEnd}));
    EXPECT_EQ(SplitHex(input), ToHex(Concat({Header(1, 3, 96), Track(Concat({VarLen(300000), Hex("FF 2F 00")})),
                                             OutTrack(Concat({Hex("00 90 3C 40"), VarLen(300000), Hex("80 3C 00")})),
                                             OutTrack(Concat({VarLen(200000), Hex("91 30 40")}))})));
}

TEST(SplitTracks, TheLongestGapIsWrittenInFourBytes) {
    const Bytes input = Format0(Concat({Hex("00 90 3C 40  7F FF 01 01 41  FF FF FF 00 80 3C 00"), kEnd}));
    EXPECT_EQ(SplitHex(input), ToHex(Concat({Header(1, 2, 96), Track(Hex("7F FF 01 01 41  FF FF FF 00 FF 2F 00")),
                                             OutTrack(Hex("00 90 3C 40  FF FF FF 7F 80 3C 00"))})));
}

TEST(SplitTracks, LongMetaAndSysexEventsReachTrackOneWhole) {
    const Bytes copyright = Meta(0, 0x02, Bytes(300, 'c'));
    const Bytes sysex = Concat({Hex("00 F0"), VarLen(150), Bytes(149, 0x22), Hex("F7")});
    const Bytes lyric = Meta(0, 0x05, Concat({Bytes(140, 'l'), Hex("0D")}));
    const Bytes input = Format0(Concat({copyright, sysex, lyric, kEnd}));
    EXPECT_EQ(SplitHex(input),
              ToHex(Concat({Header(1, 3, 96), Track(Concat({copyright, sysex, kEnd})), OutTrack(kKaraokeTrack),
                            OutTrack(Concat({kLyricsHead, Meta(0, 0x01, Concat({Bytes(140, 'l'), Text("/")}))}))})));
}

TEST(SplitTracks, WithoutEndOfTrackTrackOneEndsWithItsLastEvent) {
    const Bytes input = Format0(Concat({Meta(0, 0x01, Text("x")), Hex("00 90 3C 40")}));
    EXPECT_EQ(SplitHex(input),
              ToHex(Concat({Header(1, 2, 96), Track(Meta(0, 0x01, Text("x"))), OutTrack(Hex("00 90 3C 40"))})));
}

TEST(SplitTracks, AnEmptyTrackOneGetsAnEndOfTrackAndIsCounted) {
    const Bytes onlyNotes = Format0(Hex("00 90 3C 40 10 80 3C 00"));
    EXPECT_EQ(SplitHex(onlyNotes),
              ToHex(Concat({Header(1, 2, 96), Track(kEnd), OutTrack(Hex("00 90 3C 40 10 80 3C 00"))})));
    EXPECT_EQ(SplitHex(Format0({})), ToHex(Concat({Header(1, 1, 96), Track(kEnd)})));
}

TEST(SplitRefusals, ResultCodesWriteNothing) {
    struct Case {
        const char* name;
        Bytes input;
        int code;
    };
    const Case cases[] = {
        {"format 1", Concat({Header(1, 1, 96), Track(kEnd)}), 2},
        {"format 0 with two tracks", Concat({Header(0, 2, 96), Track(kEnd), Track(kEnd)}), 2},
        {"trailing bytes", Concat({Format0(kEnd), Hex("00")}), 3},
        {"a further chunk", Concat({Format0(kEnd), Track(kEnd)}), 3},
        {"declared length past the end", Concat({Header(0, 1, 96), Hex("4D 54 72 6B 00 00 00 08"), kEnd}), 4},
        {"event cut by the end of the file", Concat({Header(0, 1, 96), Hex("4D 54 72 6B 00 00 00 40 00 FF 01 30 61")}),
         4},
        {"length of 2^31", Concat({Header(0, 1, 96), Hex("4D 54 72 6B 80 00 00 00"), kEnd}), 4},
    };
    for (const Case& c : cases) {
        const Conversion result = RunType1(c.input);
        EXPECT_EQ(result.code, c.code) << c.name;
        EXPECT_FALSE(result.wroteOutput) << c.name;
    }
    TempDir dir;
    EXPECT_EQ(engine::ConvertToType1(dir / "missing.mid", dir / "out.mid"), 1);
    EXPECT_TRUE(dir.Entries().empty());
}

TEST(SplitRefusals, MalformedTracksThrowAndWriteNothing) {
    struct Case {
        const char* name;
        Bytes input;
        const char* reason;
    };
    const Case cases[] = {
        {"event past the chunk", Concat({Format0(Hex("00 90 3C")), Hex("40")}),
         "an event runs past the end of track 1"},
        {"delta without event", Concat({Format0(Hex("00 90 3C 40 10")), Hex("80 3C 00")}),
         "a delta time ends track 1 without its event"},
        {"data byte first", Format0(Concat({Hex("00 3C 40"), kEnd})),
         "a data byte stands where track 1 needs a status byte"},
        {"data byte after meta only", Format0(Concat({Meta(0, 1, Text("a")), Hex("00 3C 40"), kEnd})),
         "a data byte stands where track 1 needs a status byte"},
        {"undefined status", Format0(Concat({Hex("00 F4 00"), kEnd})), "status byte F4 is not allowed in track 1"},
        {"five-byte delta", Format0(Concat({Hex("80 80 80 80 00 90 3C 40"), kEnd})),
         "a variable-length number in track 1 is longer than 4 bytes"},
        {"not MTrk", Concat({Header(0, 1, 96), Hex("4D 54 68 64 00 00 00 04"), kEnd}), "track 1 is not an MTrk chunk"},
        {"gap too long for a channel", Format0(Concat({Hex("00 90 3C 40 FF FF FF 7F FF 01 01 41 01 80 3C 00"), kEnd})),
         "a gap of 268435456 ticks is too long to be written (at most 268435455)"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        WriteFile(dir / "in.mid", c.input);
        try {
            engine::ConvertToType1(dir / "in.mid", dir / "out.mid");
            ADD_FAILURE() << c.name << " was accepted";
        } catch (const engine::MalformedFile& e) {
            EXPECT_EQ(e.Reason(), c.reason) << c.name;
        }
        EXPECT_EQ(dir.Entries(), std::vector<std::string>{"in.mid"}) << c.name;
    }
}

TEST(SplitInPlace, TheConvertedFileReplacesTheInput) {
    TempDir dir;
    WriteFile(dir / "song.mid", Format0(Concat({Hex("00 90 3C 40"), kEnd})));
    ASSERT_EQ(engine::ConvertToType1(dir / "song.mid", dir / "song.mid"), 0);
    EXPECT_EQ(ToHex(ReadFile(dir / "song.mid")),
              ToHex(Concat({Header(1, 2, 96), Track(kEnd), OutTrack(Hex("00 90 3C 40"))})));
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"song.mid"});
}

}  // namespace
}  // namespace quorvel::testing
