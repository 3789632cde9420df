#include <gtest/gtest.h>

#include <cerrno>
#include <optional>
#include <string>
#include <vector>

#include "quorvel/engine/conversions.hpp"
#include "quorvel/engine/errors.hpp"
#include "quorvel/engine/inspection.hpp"
#include "smf_test_support.hpp"

namespace quorvel::testing {
namespace {

const Bytes kEnd = Hex("00 FF 2F 00");
const Bytes kMarker = Meta(0, 0x01, Text("@KMIDI KARAOKE FILE"));

engine::Inspection Inspect(const Bytes& bytes) {
    TempDir dir;
    WriteFile(dir / "x.mid", bytes);
    return engine::InspectFile(dir / "x.mid");
}

// The reason the conversion that applies to the file refuses it with, if it does.
std::optional<std::string> ConversionReason(const Bytes& bytes, bool split) {
    try {
        if (split)
            RunType1(bytes);
        else
            RunType0(bytes);
    } catch (const engine::MalformedFile& e) {
        return e.Reason();
    }
    return std::nullopt;
}

struct InspectionCase {
    const char* name;
    Bytes bytes;
    std::vector<int> eventsPerTrack;
    std::uint16_t channels;
    int lyricEvents;
    int karaokeMarkerTrack;
    std::int64_t trailingBytes;
    std::int64_t missingBytes;
    std::optional<std::string> problem;
};

void PrintTo(const InspectionCase& c, std::ostream* os) { *os << c.name; }

class Inspection : public ::testing::TestWithParam<InspectionCase> {};

// Each file is read by the rules of its conversion, and a problem is exactly the
// reason that conversion refuses the file with.
TEST_P(Inspection, ReadsTheFileAsItsConversionDoes) {
    const InspectionCase& c = GetParam();
    const engine::Inspection info = Inspect(c.bytes);
    ASSERT_TRUE(info.Readable());
    EXPECT_EQ(info.eventsPerTrack, c.eventsPerTrack);
    EXPECT_EQ(info.channels, c.channels);
    EXPECT_EQ(info.lyricEvents, c.lyricEvents);
    EXPECT_EQ(info.karaokeMarkerTrack, c.karaokeMarkerTrack);
    EXPECT_EQ(info.trailingBytes, c.trailingBytes);
    EXPECT_EQ(info.missingBytes, c.missingBytes);
    EXPECT_EQ(info.problem, c.problem);
    EXPECT_EQ(info.WellFormed(), !c.problem && c.missingBytes == 0);
    const bool split = c.bytes[9] == 0 && c.bytes[11] == 1;
    EXPECT_EQ(ConversionReason(c.bytes, split), c.problem) << (split ? "split" : "merge");
}

INSTANTIATE_TEST_SUITE_P(
    Files, Inspection,
    ::testing::Values(
        InspectionCase{"FormatOneWithMarkerAndRunningStatus",
                       Concat({Header(1, 2, 96), Track(Concat({Hex("00 C9 05 00 91 3C 40 10 3C 00"), kEnd})),
                               Track(Concat({kMarker, Meta(0, 0x05, Text("la")), kEnd}))}),
                       {4, 3},
                       0x0202,
                       1,
                       2,
                       0,
                       0,
                       std::nullopt},
        InspectionCase{"RunningStatusSurvivesAMetaEvent",
                       Concat({Header(1, 1, 96),
                               Track(Concat({Hex("00 90 3C 40"), Meta(0, 1, Text("t")), Hex("00 3C 00"), kEnd}))}),
                       {4},
                       0x0001,
                       0,
                       0,
                       0,
                       0,
                       std::nullopt},
        InspectionCase{"NoRunningStatusBeforeAChannelEvent",
                       Concat({Header(1, 1, 96), Track(Concat({Meta(0, 1, Text("t")), Hex("00 3C 00"), kEnd}))}),
                       {},
                       0,
                       0,
                       0,
                       0,
                       0,
                       "a data byte stands where track 1 needs a status byte"},
        // The merge ends a track at a delta that ends its chunk; the split refuses it.
        InspectionCase{"MergeAcceptsADeltaThatEndsTheChunk",
                       Concat({Header(1, 1, 96), Track(Hex("00 90 3C 40 10"))}),
                       {1},
                       0x0001,
                       0,
                       0,
                       0,
                       0,
                       std::nullopt},
        InspectionCase{"SplitRefusesADeltaThatEndsTheChunk",
                       Concat({Header(0, 1, 96), Track(Hex("00 90 3C 40 10"))}),
                       {},
                       0x0001,
                       0,
                       0,
                       0,
                       0,
                       "a delta time ends track 1 without its event"},
        // The merge reads every chunk header before any event.
        InspectionCase{"TheTrackTableComesFirst",
                       Concat({Header(1, 2, 96), Track(Hex("00 3C 40")), Hex("4D 54 72 58 00 00 00 00")}),
                       {},
                       0,
                       0,
                       0,
                       0,
                       0,
                       "track 2 is not an MTrk chunk"},
        InspectionCase{"MergeRefusesAChunkPastTheEnd",
                       Concat({Header(1, 1, 96), Hex("4D 54 72 6B 00 00 00 10"), kEnd}),
                       {},
                       0,
                       0,
                       0,
                       0,
                       0,
                       "track 1 runs past the end of the file"},
        // The split answers the same with a result code: not malformed, yet not whole.
        InspectionCase{"SplitCountsTheBytesMissing",
                       Concat({Header(0, 1, 96), Hex("4D 54 72 6B 00 00 00 10"), kEnd}),
                       {},
                       0,
                       0,
                       0,
                       0,
                       12,
                       std::nullopt},
        InspectionCase{"SplitCountsTrailingBytes",
                       Concat({Header(0, 1, 96), Track(kEnd), Hex("00 00 00")}),
                       {1},
                       0,
                       0,
                       0,
                       3,
                       0,
                       std::nullopt},
        InspectionCase{"SplitRefusesAGapTooLongForOneChannel",
                       Concat({Header(0, 1, 96),
                               Track(Concat({Hex("00 90 3C 40 FF FF FF 7F FF 01 01 41 01 80 3C 00"), kEnd}))}),
                       {},
                       0x0001,
                       0,
                       0,
                       0,
                       0,
                       "a gap of 268435456 ticks is too long to be written (at most 268435455)"},
        // The merge drops track 2's name and both end-of-track events: its output has a
        // gap of 2^28 ticks, unless track 1 writes an event in between.
        InspectionCase{"MergeRefusesAGapItsOutputCannotHold",
                       Concat({Header(1, 2, 96), Track(Concat({Hex("00 90 3C 40"), kEnd})),
                               Track(Concat({Hex("FF FF FF 7F FF 03 01 41 01 91 3C 40"), kEnd}))}),
                       {2, 3},
                       0x0003,
                       0,
                       0,
                       0,
                       0,
                       "a gap of 268435456 ticks is too long to be written (at most 268435455)"},
        InspectionCase{"AnotherTrackBreaksTheGap",
                       Concat({Header(1, 2, 96), Track(Concat({Hex("00 90 3C 40 83 00 80 3C 00"), kEnd})),
                               Track(Concat({Hex("FF FF FF 7F FF 03 01 41 01 91 3C 40"), kEnd}))}),
                       {3, 3},
                       0x0003,
                       0,
                       0,
                       0,
                       0,
                       std::nullopt},
        InspectionCase{"EventPastTheLastChunk",
                       Concat({Header(0, 1, 96), Track(Hex("00 FF 01 05 61")), Hex("62")}),
                       {},
                       0,
                       0,
                       0,
                       0,
                       0,
                       "an event runs past the end of track 1"},
        InspectionCase{
            "BadHeader", Concat({Header(2, 1, 96), Track(kEnd)}), {}, 0, 0, 0, 0, 0, "format 2 is not supported"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(InspectionReadErrors, AFileThatCannotBeReadSetsNothingElse) {
    TempDir dir;
    const engine::Inspection missing = engine::InspectFile(dir / "missing.mid");
    EXPECT_EQ(missing.readError, "Error opening file");
    EXPECT_FALSE(missing.headerRead);
    EXPECT_FALSE(missing.WellFormed());

    // A read that fails after opening reads as the conversions report it.
    WriteFile(dir / "x.mid", Concat({Header(0, 1, 96), Track(kEnd)}));
    FaultyFileOps inspectOps(FaultyFileOps::Op::Read, 1, EACCES);
    const engine::Inspection unreadable = engine::InspectFile(dir / "x.mid", inspectOps);
    FaultyFileOps convertOps(FaultyFileOps::Op::Read, 1, EACCES);
    try {
        engine::ConvertToType1(dir / "x.mid", dir / "out.mid", convertOps);
        ADD_FAILURE() << "the split read the file";
    } catch (const engine::IoError& e) {
        EXPECT_EQ(unreadable.readError, std::string(e.what()));
    }
    EXPECT_FALSE(unreadable.headerRead);
}

}  // namespace
}  // namespace quorvel::testing
