#include <gtest/gtest.h>

#include <optional>

#include "quorvel/engine/errors.hpp"
#include "smf_stream.hpp"
#include "smf_test_support.hpp"

namespace quorvel::testing {
namespace {

using engine::InputOverrun;
using engine::MalformedFile;
using engine::SmfStream;

// A stream over the given bytes, with a page of output area behind them.
struct Stream : SmfStream {
    TempDir dir;
    explicit Stream(const Bytes& input) {
        WriteFile(dir / "in.mid", input);
        EXPECT_EQ(Image.OpenFiles(dir / "in.mid", dir / "out.mid"), 0);
        LoadInput();
        Image.OutputSize = engine::FileImage::PageSize;
        Image.AllocateOutput(OutPos);
    }
    Bytes Written() const {
        Bytes out;
        for (engine::Position p = Image.OutputBase + 1; p <= OutPos; ++p) out.push_back(Image.GetByte(p));
        return out;
    }
};

const Bytes kGoodHeader = Hex("4D 54 68 64 00 00 00 06 00 01 00 02 00 60");

TEST(CheckHeader, AcceptsWhatTheConversionsCanRead) {
    struct Case {
        const char* name;
        Bytes bytes;
        int format;
        int tracks;
        int division;
    };
    const Case cases[] = {
        {"plain format 1", kGoodHeader, 1, 2, 96},
        {"upper length bytes ignored", Hex("4D 54 68 64 00 00 01 06 00 01 00 02 00 60"), 1, 2, 96},
        {"format 0 with two tracks", Hex("4D 54 68 64 00 00 00 06 00 00 00 02 00 60"), 0, 2, 96},
        {"time-code division", Hex("4D 54 68 64 00 00 00 06 00 01 00 01 E7 28"), 1, 1, 0xE728},
        {"format high byte ignored", Hex("4D 54 68 64 00 00 00 06 01 00 01 00 00 60"), 0, 256, 96},
    };
    for (const Case& c : cases) {
        Stream s(c.bytes);
        s.ReadPos = 1;
        ASSERT_NO_THROW(s.CheckHeader()) << c.name;
        EXPECT_EQ(s.Format, c.format) << c.name;
        EXPECT_EQ(s.NumTracks, c.tracks) << c.name;
        EXPECT_EQ(s.Division, c.division) << c.name;
        EXPECT_EQ(s.ReadPos, 14) << c.name;
    }
}

TEST(CheckHeader, RejectsBrokenHeadersWithAReason) {
    struct Case {
        const char* name;
        Bytes bytes;
        const char* reason;
    };
    const Case cases[] = {
        {"empty file", {}, "the file is shorter than a MIDI header"},
        {"13 bytes", Hex("4D 54 68 64 00 00 00 06 00 01 00 02 00"), "the file is shorter than a MIDI header"},
        {"RIFF tag", Hex("52 49 46 46 00 00 00 06 00 01 00 02 00 60"), "no MThd header"},
        {"length 8", Hex("4D 54 68 64 00 00 00 08 00 01 00 02 00 60"), "the header length is not 6"},
        {"format 2", Hex("4D 54 68 64 00 00 00 06 00 02 00 02 00 60"), "format 2 is not supported"},
        {"no tracks", Hex("4D 54 68 64 00 00 00 06 00 01 00 00 00 60"), "the header declares no tracks"},
        {"division 0", Hex("4D 54 68 64 00 00 00 06 00 01 00 02 00 00"), "the time division is 0"},
    };
    for (const Case& c : cases) {
        Stream s(c.bytes);
        s.ReadPos = 1;
        try {
            s.CheckHeader();
            ADD_FAILURE() << c.name << " was accepted";
        } catch (const MalformedFile& e) {
            EXPECT_EQ(e.Reason(), c.reason) << c.name;
        }
    }
}

TEST(ReadTrackHeader, ReadsTagAndLength) {
    Stream s(Concat({kGoodHeader, Hex("4D 54 72 6B 00 00 01 2C"), Hex("4D 54 72 6B FF FF FF FF")}));
    s.ReadPos = 14;
    s.ReadTrackHeader();
    EXPECT_EQ(s.ReadPos, 22);
    EXPECT_EQ(s.TrackRemaining, 300);
    s.ReadTrackHeader();
    EXPECT_EQ(s.TrackRemaining, 0xFFFFFFFF) << "every length 4 bytes state";
}

TEST(ReadTrackHeader, RejectsOtherChunksAndMissingOnes) {
    {
        Stream s(Concat({kGoodHeader, Hex("4D 54 72 6C 00 00 00 00")}));
        s.ReadPos = 14;
        s.CurrentTrack = 2;
        try {
            s.ReadTrackHeader();
            ADD_FAILURE();
        } catch (const MalformedFile& e) {
            EXPECT_EQ(e.Reason(), "track 2 is not an MTrk chunk");
        }
    }
    {
        Stream s(Concat({kGoodHeader, Hex("4D 54 72 6B 00 00")}));
        s.ReadPos = 14;
        s.CurrentTrack = 1;
        EXPECT_THROW(s.ReadTrackHeader(), MalformedFile);
    }
}

TEST(ReadVarLen, DecodesAndMovesBothCursors) {
    struct Case {
        Bytes bytes;
        std::int32_t value;
        int size;
    };
    const Case cases[] = {
        {Hex("00"), 0, 1},
        {Hex("7F"), 127, 1},
        {Hex("81 00"), 128, 2},
        {Hex("80 00"), 0, 2},
        {Hex("FF 7F"), 16383, 2},
        {Hex("81 80 00"), 16384, 3},
        {Hex("FF FF FF 7F"), 268435455, 4},
    };
    for (const Case& c : cases) {
        Stream s(Concat({c.bytes, Hex("00 00 00 00")}));
        s.ReadPos = 0;
        s.TrackRemaining = 8;
        EXPECT_EQ(s.ReadVarLen(), c.value) << ToHex(c.bytes);
        EXPECT_EQ(s.ReadPos, c.size) << ToHex(c.bytes);
        EXPECT_EQ(s.TrackRemaining, 8 - c.size) << ToHex(c.bytes);
    }
}

TEST(ReadVarLen, RefusesFiveBytesAQuantityCutByItsChunkAndTheEndOfInput) {
    {
        Stream s(Hex("81 81 81 81 01"));
        s.ReadPos = 0;
        s.TrackRemaining = 5;
        EXPECT_THROW(s.ReadVarLen(), MalformedFile);
    }
    {
        Stream s(Hex("81 81 00"));
        s.ReadPos = 0;
        s.TrackRemaining = 2;
        EXPECT_THROW(s.ReadVarLen(), MalformedFile);
    }
    {
        Stream s(Hex("81 81"));
        s.ReadPos = 0;
        s.TrackRemaining = 10;
        EXPECT_THROW(s.ReadVarLen(), InputOverrun);
    }
}

TEST(ReadStatus, DataByteKeepsRunningStatusEvenAfterMeta) {
    Stream s(Hex("3C 40 90"));
    s.ReadPos = 0;
    s.TrackRemaining = 3;
    s.Status = 0xFF;
    EXPECT_EQ(s.ReadStatus(), 0);
    EXPECT_EQ(s.Status, 0xFF);
    EXPECT_EQ(s.ReadPos, 0);
    EXPECT_EQ(s.TrackRemaining, 3);
    s.ReadPos = 2;
    EXPECT_EQ(s.ReadStatus(), 1);
    EXPECT_EQ(s.Status, 0x90);
    EXPECT_EQ(s.ReadPos, 3);
    EXPECT_EQ(s.TrackRemaining, 2);
}

// ReadEvent over a track body, which a byte follows: the status of each event read,
// then "end" or the fault.
TEST(ReadEvent, RunningStatusAndTheEndOfTheChunk) {
    using engine::DeltaAtChunkEnd;
    struct Case {
        const char* name;
        Bytes body;
        DeltaAtChunkEnd atEnd;
        std::string trace;
    };
    const Case cases[] = {
        {"running status", Hex("00 90 3C 40 10 3C 00"), DeltaAtChunkEnd::EndsTrack, "90 90 end"},
        {"kept across meta and sysex", Hex("00 91 3C 40 00 FF 01 00 00 F0 01 F7 00 3C 00"), DeltaAtChunkEnd::EndsTrack,
         "91 FF F0 91 end"},
        {"none before a channel event", Hex("00 FF 01 00 00 3C 00"), DeltaAtChunkEnd::EndsTrack,
         "FF a data byte stands where track 1 needs a status byte"},
        {"a delta ends the track", Hex("00 C0 05 10"), DeltaAtChunkEnd::EndsTrack, "C0 end"},
        {"a delta without its event", Hex("00 C0 05 10"), DeltaAtChunkEnd::Malformed,
         "C0 a delta time ends track 1 without its event"},
        {"an event past the chunk", Hex("00 90 3C"), DeltaAtChunkEnd::EndsTrack,
         "an event runs past the end of track 1"},
    };
    for (const Case& c : cases) {
        Bytes body = c.body;
        const std::size_t chunk = body.size();
        body.push_back(0x40);  // a byte after the chunk, for the event that runs past it
        Stream s(body);
        s.ReadPos = 0;
        s.TrackRemaining = static_cast<std::int32_t>(chunk);
        s.CurrentTrack = 1;
        std::string trace;
        try {
            while (s.TrackRemaining > 0 && s.ReadEvent(c.atEnd)) trace += ToHex({s.Status}) + " ";
            trace += "end";
        } catch (const MalformedFile& e) {
            trace += e.Reason();
        }
        EXPECT_EQ(trace, c.trace) << c.name;
    }
}

TEST(EventLengths, ChannelAndSystemEventsAreSkippedWhole) {
    struct Case {
        const char* name;
        Bytes bytes;
        std::int32_t length;
        std::uint8_t lastByte;
    };
    const Case cases[] = {
        {"tempo", Hex("FF 51 03 07 A1 20"), 5, 0x20},    {"end of track", Hex("FF 2F 00"), 2, 0x00},
        {"sysex", Hex("F0 05 7E 7F 09 01 F7"), 6, 0xF7}, {"escape", Hex("F7 02 F3 01"), 3, 0x01},
        {"note on", Hex("90 3C 40"), 2, 0x40},           {"program change", Hex("C5 07"), 1, 0x07},
        {"channel pressure", Hex("D0 7F"), 1, 0x7F},     {"pitch bend", Hex("E0 00 40"), 2, 0x40},
    };
    for (const Case& c : cases) {
        Stream s(Concat({c.bytes, Hex("00")}));
        s.ReadPos = 0;
        s.TrackRemaining = 100;
        ASSERT_EQ(s.ReadStatus(), 1);
        s.EventKind = s.Status >> 4;
        const std::int32_t length = s.EventKind == 0xF ? s.SystemDataLength() : s.ChannelDataLength();
        EXPECT_EQ(length, c.length) << c.name;
        EXPECT_EQ(s.ReadPos, 1 + c.length) << c.name;
        EXPECT_EQ(s.Image.GetByte(s.ReadPos), c.lastByte) << c.name;
        EXPECT_EQ(s.TrackRemaining, 100 - 1 - c.length) << c.name;
    }
}

TEST(EventLengths, LongMetaLengthsAreVariableLengthNumbers) {
    const Bytes text(200, 'x');
    Stream s(Concat({Hex("FF 01 81 48"), text}));
    s.ReadPos = 1;  // on the FF
    s.Status = 0xFF;
    s.TrackRemaining = 1000;
    EXPECT_EQ(s.SystemDataLength(), 1 + 2 + 200);
    EXPECT_EQ(s.DataLength, 200);
    EXPECT_EQ(s.DataStart, 5);
    EXPECT_EQ(s.ReadPos, 4 + 200);
}

TEST(EventLengths, SystemStatusesWithoutALengthAreMalformed) {
    for (std::uint8_t status : {0xF1, 0xF2, 0xF3, 0xF6, 0xF8, 0xFE}) {
        Stream s(Bytes{status, 0x00, 0x00});
        s.ReadPos = 1;
        s.Status = status;
        s.TrackRemaining = 3;
        EXPECT_THROW(s.SystemDataLength(), MalformedFile) << int(status);
    }
}

TEST(EventLengths, AnEventPastTheInputIsAnOverrun) {
    Stream s(Hex("F0 7F 01 02"));
    s.ReadPos = 1;
    s.Status = 0xF0;
    s.TrackRemaining = 1000;
    EXPECT_THROW(s.SystemDataLength(), InputOverrun);
}

TEST(CheckTrackEnd, OnlyANegativeRemainderIsMalformed) {
    Stream s(kGoodHeader);
    s.TrackRemaining = 0;
    EXPECT_NO_THROW(s.CheckTrackEnd());
    s.TrackRemaining = -1;
    EXPECT_THROW(s.CheckTrackEnd(), MalformedFile);
}

TEST(Writers, VarLenSizeAndEncoding) {
    struct Case {
        std::int32_t value;
        const char* hex;
    };
    const Case cases[] = {{0, "00"},
                          {127, "7F"},
                          {128, "81 00"},
                          {16383, "FF 7F"},
                          {16384, "81 80 00"},
                          {2097151, "FF FF 7F"},
                          {2097152, "81 80 80 00"},
                          {268435455, "FF FF FF 7F"},
                          {268435456, "81 80 80 80 00"}};
    for (const Case& c : cases) {
        Stream s(kGoodHeader);
        const engine::Position before = s.OutPos;
        s.WriteVarLen(c.value);
        EXPECT_EQ(ToHex(s.Written()), c.hex) << c.value;
        EXPECT_EQ(s.OutPos - before, SmfStream::VarLenSize(c.value)) << c.value;
    }
    EXPECT_EQ(SmfStream::VarLenSize(-1), 1);
}

TEST(Writers, TrackHeaderAndMetaText) {
    Stream s(kGoodHeader);
    const engine::Position p = s.OutPos;
    s.WriteTrackHeader(1000);
    EXPECT_EQ(s.OutPos, p + 8);
    s.WriteMetaText(0, 3, "Words");
    EXPECT_EQ(s.OutPos, p + 8 + 9);
    s.WriteMetaText(200, 1, std::string(130, 'a'));
    const Bytes expected = Concat({Hex("4D 54 72 6B 00 00 03 E8 00 FF 03 05"), Text("Words"), Hex("81 48 FF 01 81 02"),
                                   Bytes(130, 'a')});
    EXPECT_EQ(ToHex(s.Written()), ToHex(expected));
}

}  // namespace
}  // namespace quorvel::testing
