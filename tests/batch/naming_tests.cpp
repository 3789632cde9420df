#include <gtest/gtest.h>

#include <string>

#include "quorvel/batch/naming.hpp"

namespace quorvel::batch {
namespace {

struct RemoveExtRow {
    const char* name;
    std::string input;
    std::string base;
};

class RemoveExtTest : public ::testing::TestWithParam<RemoveExtRow> {};

TEST_P(RemoveExtTest, CutsAtTheFirstDot) { EXPECT_EQ(RemoveExt(GetParam().input), GetParam().base); }

INSTANTIATE_TEST_SUITE_P(Names, RemoveExtTest,
                         ::testing::Values(RemoveExtRow{"plain", "song.mid", "song"},
                                           RemoveExtRow{"two_dots", "my.song.mid", "my"},
                                           RemoveExtRow{"no_dot", "song", "song"},
                                           RemoveExtRow{"only_extension", ".mid", ""}, RemoveExtRow{"empty", "", ""},
                                           // A tail of more than 128 characters after the dot goes too.
                                           RemoveExtRow{"long_tail", "song." + std::string(140, 'x') + ".mid", "song"},
                                           RemoveExtRow{"utf8", "F\xC3\xBCr Elise.mid", "F\xC3\xBCr Elise"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorvel::batch
