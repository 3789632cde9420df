// The demo files in examples/: what each batch says about them.

#include <gtest/gtest.h>

#include "cli_process.hpp"
#include "smf_test_support.hpp"

#ifndef QUORVEL_EXAMPLES_DIR
#error "QUORVEL_EXAMPLES_DIR must name the examples folder"
#endif

namespace quorvel::testing {
namespace {

namespace fs = std::filesystem;

struct ExampleCase {
    const char* batch;
    std::vector<std::string> lines;
    int status;
};

void PrintTo(const ExampleCase& c, std::ostream* os) { *os << c.batch; }

class Examples : public ::testing::TestWithParam<ExampleCase> {};

TEST_P(Examples, ConvertAsTheirKindsSay) {
    TempDir dir;
    const CliRun run = RunCli({GetParam().batch, "-o", dir.Path().string(), QUORVEL_EXAMPLES_DIR}, dir.Path());
    EXPECT_EQ(run.Lines(), GetParam().lines);
    EXPECT_EQ(run.status, GetParam().status);
    std::vector<std::string> written = dir.Entries();
    std::vector<std::string> arguments = {"info"};
    arguments.insert(arguments.end(), written.begin(), written.end());
    const CliRun check = RunCli(arguments, dir.Path());
    EXPECT_EQ(check.status, 0) << "every output is a sound file:\n" << check.out;
}

INSTANTIATE_TEST_SUITE_P(
    Batches, Examples,
    ::testing::Values(
        ExampleCase{"smf0",
                    {"band.mid converted to type 0", "groove.mid - Not a Type 1 Midifile",
                     "karaoke.kar converted to type 0", "sing-along.mid - Not a Type 1 Midifile",
                     "Conversion Complete"},
                    1},
        ExampleCase{"smf1",
                    {"band.mid - Not a Type 0 Midifile", "groove.mid converted to type 1",
                     "karaoke.kar - Not a Type 0 Midifile", "sing-along.mid converted to type 1", "Operation Complete"},
                    1},
        ExampleCase{"kar",
                    {"band.mid converted to karaoke", "groove.mid converted to karaoke",
                     "karaoke.kar converted to karaoke", "sing-along.mid converted to karaoke", "Operation Complete"},
                    0}),
    [](const auto& info) { return std::string(info.param.batch); });

TEST(ExampleFiles, HoldWhatTheDemoShows) {
    const fs::path examples = QUORVEL_EXAMPLES_DIR;
    const CliRun run = RunCli({"info", "band.mid", "sing-along.mid", "karaoke.kar", "groove.mid"}, examples);
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("band.mid: format 1, 4 tracks"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("channels used: 1, 2, 10"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("sing-along.mid: format 0, 1 track"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("lyrics: 10 lyric events"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("karaoke marker: yes, track 2"), std::string::npos) << run.out;
    const Bytes lyrics = ReadFile(examples / "sing-along.mid");
    EXPECT_NE(std::string(lyrics.begin(), lyrics.end()).find("boat\r"), std::string::npos)
        << "some lyrics end with a carriage return";
}

}  // namespace
}  // namespace quorvel::testing
