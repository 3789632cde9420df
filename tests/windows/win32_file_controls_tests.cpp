// The native window's rules for masks, directories and filters, on their own.
#include <gtest/gtest.h>

#include "file_controls.hpp"

namespace quorvel::win32 {
namespace {

struct MaskRow {
    const wchar_t* name;
    const wchar_t* mask;
    bool matches;
};

class MatchesMaskTest : public ::testing::TestWithParam<MaskRow> {};

TEST_P(MatchesMaskTest, FollowsTheWildcardsIgnoringCase) {
    const MaskRow& row = GetParam();
    EXPECT_EQ(MatchesMask(row.name, row.mask), row.matches) << Narrow(row.name) << " " << Narrow(row.mask);
}

INSTANTIATE_TEST_SUITE_P(
    Masks, MatchesMaskTest,
    ::testing::Values(MaskRow{L"song.mid", L"*.mid", true}, MaskRow{L"SONG.MID", L"*.mid", true},
                      MaskRow{L"Ärger.MID", L"*.mid", true},
                      // No match through a short name, as FindFirstFileW would give.
                      MaskRow{L"song.midi", L"*.mid", false}, MaskRow{L"song.kar", L"*.mid", false},
                      MaskRow{L"song.kar", L"*.mid;*.kar", true}, MaskRow{L"song.kar", L"*.mid; *.kar ", true},
                      MaskRow{L"a.mid", L"?.mid", true}, MaskRow{L"ab.mid", L"?.mid", false},
                      MaskRow{L".mid", L"*.mid", true}, MaskRow{L"mid", L"*.mid", false},
                      MaskRow{L"a.mid.bak", L"*.mid", false}, MaskRow{L"anything", L"*", true},
                      MaskRow{L"song.mid", L"", false}));

struct DirectoryRow {
    const wchar_t* given;
    const wchar_t* normal;
    const wchar_t* root;
    std::size_t chainLength;
};

class NormalDirectoryTest : public ::testing::TestWithParam<DirectoryRow> {};

TEST_P(NormalDirectoryTest, EndsWithABackslashOnlyAtARoot) {
    const DirectoryRow& row = GetParam();
    const std::wstring normal = NormalDirectory(row.given);
    EXPECT_EQ(normal, row.normal);
    EXPECT_EQ(RootOf(normal), row.root);
    const auto chain = DirectoryChain(normal);
    ASSERT_EQ(chain.size(), row.chainLength);
    EXPECT_EQ(chain.front(), row.root);
    EXPECT_EQ(chain.back(), row.normal);
}

INSTANTIATE_TEST_SUITE_P(
    Directories, NormalDirectoryTest,
    ::testing::Values(DirectoryRow{L"C:\\", L"C:\\", L"C:\\", 1}, DirectoryRow{L"C:\\MIDI\\", L"C:\\MIDI", L"C:\\", 2},
                      DirectoryRow{L"C:/MIDI/Songs", L"C:\\MIDI\\Songs", L"C:\\", 3},
                      DirectoryRow{L"C:\\MIDI\\..\\Other", L"C:\\Other", L"C:\\", 2},
                      DirectoryRow{L"\\\\server\\share\\MIDI", L"\\\\server\\share\\MIDI", L"\\\\server\\share\\", 2}));

TEST(ParseFilter, GivesEachDescriptionWithItsMask) {
    const auto entries = ParseFilter(L"Midi Files (*.mid)|*.mid|Karaoke Files (*.kar)|*.kar");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0], std::make_pair(std::wstring(L"Midi Files (*.mid)"), std::wstring(L"*.mid")));
    EXPECT_EQ(entries[1], std::make_pair(std::wstring(L"Karaoke Files (*.kar)"), std::wstring(L"*.kar")));
    EXPECT_TRUE(ParseFilter(L"Lonely description").empty());
}

}  // namespace
}  // namespace quorvel::win32
