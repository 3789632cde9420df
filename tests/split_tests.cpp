#include <gtest/gtest.h>

#include "errors.hpp"
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
        Hex("4D 54 72 6B 00 00 00 2B 00 FF 03 0C"), Text("Soft karaoke"),
        Hex("00 FF 01 13"), Text("@KMIDI KARAOKE FILE"), Hex("00 FF 2F 00"),
        Hex("4D 54 72 6B 00 00 00 2A 00 FF 03 05"), Text("Words"), Hex("00 FF 01 08"), Text("@TLyrics"),
        Hex("00 FF 01 06"), Text("@LENGL"), Hex("60 FF 01 03 48 69 2F 00 FF 2F 00"),
        Hex("4D 54 72 6B 00 00 00 0B 00 90 3C 64 60 3C 00 00 FF 2F 00"),
        Hex("4D 54 72 6B 00 00 00 0B 00 91 40 64 60 40 00 00 FF 2F 00"),
    });
    ASSERT_EQ(expected.size(), 173u);
    EXPECT_EQ(ToHex(result.output), ToHex(expected));
}

}  // namespace
}  // namespace quorvel::testing
