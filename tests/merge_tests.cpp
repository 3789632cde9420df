#include <gtest/gtest.h>

#include "errors.hpp"
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
    EXPECT_EQ(ToHex(result.output),
              ToHex(Hex("4D 54 68 64 00 00 00 06 00 00 00 01 00 60"
                        "4D 54 72 6B 00 00 00 12"
                        "00 90 3C 40 00 30 50 30 3C 00 30 80 30 00 00 FF 2F 00")));
}

// A karaoke file: track 2's marker turns track 3's texts into lyrics with line breaks.
TEST(MergeWorkedExample, KaraokeTextsBecomeLyrics) {
    const Bytes input = Concat({
        Hex("4D 54 68 64 00 00 00 06 00 01 00 03 00 60"),
        Hex("4D 54 72 6B 00 00 00 0B 00 FF 51 03 07 A1 20 00 FF 2F 00"),
        Hex("4D 54 72 6B 00 00 00 25 00 FF 01 13"), Text("@KMIDI KARAOKE FILE"),
        Hex("00 FF 01 06"), Text("@V0100"), Hex("00 FF 2F 00"),
        Hex("4D 54 72 6B 00 00 00 27 00 FF 01 07"), Text("@TTitle"),
        Hex("60 FF 01 04"), Text("\\Hel"), Hex("30 FF 01 02"), Text("lo"),
        Hex("30 FF 01 06"), Text("/World"), Hex("00 FF 2F 00"),
    });
    ASSERT_EQ(input.size(), 125u);
    const Conversion result = RunType0(input);
    ASSERT_EQ(result.code, 0);
    EXPECT_EQ(ToHex(result.output),
              ToHex(Concat({Hex("4D 54 68 64 00 00 00 06 00 00 00 01 00 60 4D 54 72 6B 00 00 00 36"),
                            Hex("00 FF 51 03 07 A1 20"),
                            Hex("00 FF 01 07 2A 20 54 69 74 6C 65"),
                            Hex("00 FF 05 01 0D 60 FF 05 03 48 65 6C"),
                            Hex("30 FF 05 02 6C 6F"),
                            Hex("00 FF 05 01 0D 30 FF 05 05 57 6F 72 6C 64"),
                            Hex("00 FF 2F 00")})));
}

}  // namespace
}  // namespace quorvel::testing
