// The pieces of quorvel-cli that need no process: names, ordering, the plan of a
// batch and the progress bar.

#include <gtest/gtest.h>

#include <algorithm>

#include "batch_runner.hpp"
#include "input_list.hpp"
#include "progress.hpp"
#include "smf_test_support.hpp"

namespace quorvel::testing {
namespace {

namespace fs = std::filesystem;
using cli::BatchOptions;
using cli::InputFile;

TEST(InputNames, MidAndKarMatchInAnyCase) {
    const struct {
        const char* name;
        bool matches;
    } rows[] = {{"a.mid", true}, {"A.MID", true}, {"b.Kar", true}, {".mid", true},  {"a.midi", false},
                {"a.mid.txt", false}, {"mid", false}, {"a_mid", false}, {"", false}, {"x.kar ", false}};
    for (const auto& row : rows) EXPECT_EQ(cli::HasMidiExtension(row.name), row.matches) << row.name;
}

TEST(InputNames, SortIgnoresCaseAndStaysTotal) {
    std::vector<std::string> names = {"b.mid", "B.mid", "a.MID", "C.kar", "_x.mid", "A.mid"};
    std::sort(names.begin(), names.end(), cli::LessIgnoringAsciiCase);
    EXPECT_EQ(names, (std::vector<std::string>{"_x.mid", "A.mid", "a.MID", "B.mid", "b.mid", "C.kar"}));
}

TEST(ProgressBarText, FillsInProportion) {
    EXPECT_EQ(cli::ProgressBar::Render(0, 4, 8), "[        ] 0/4");
    EXPECT_EQ(cli::ProgressBar::Render(1, 4, 8), "[##      ] 1/4");
    EXPECT_EQ(cli::ProgressBar::Render(3, 4, 8), "[######  ] 3/4");
    EXPECT_EQ(cli::ProgressBar::Render(4, 4, 8), "[########] 4/4");
    EXPECT_EQ(cli::ProgressBar::Render(9, 4, 8), "[########] 4/4") << "done never passes total";
    EXPECT_EQ(cli::ProgressBar::Render(0, 0, 4), "[####] 0/0");
}

TEST(ProgressBarText, ClearErasesOnlyWhatWasShown) {
    std::ostringstream out;
    cli::ProgressBar bar(out, 2);
    bar.Clear();
    EXPECT_EQ(out.str(), "");
    bar.Show(1);
    bar.Clear();
    const std::string shown = cli::ProgressBar::Render(1, 2);
#ifdef _WIN32
    EXPECT_EQ(out.str(), "\r" + shown + "\r" + std::string(shown.size(), ' ') + "\r");
#else
    EXPECT_EQ(out.str(), "\r" + shown + "\r\x1b[K");
#endif
}

// The plan decides every skip before a conversion starts.
TEST(BatchPlan, SkipsAreDecidedInInputOrder) {
    TempDir dir;
    fs::create_directory(dir / "out");
    WriteFile(dir / "a.mid", Header(1, 1, 96));
    WriteFile(dir / "x.song.mid", Header(1, 1, 96));
    WriteFile(dir / "x.tune.mid", Header(1, 1, 96));
    WriteFile(dir / "kept.mid", Header(1, 1, 96));
    WriteFile(dir / "out" / "kept.mid", Header(1, 1, 96));
    fs::create_directory(dir / "folder.mid");

    BatchOptions options;
    options.outputDirectory = dir / "out";
    options.outputLabel = "OUT";
    const std::vector<InputFile> inputs = {
        {dir / "a.mid", "a.mid", std::nullopt},           {dir / "x.song.mid", "x.song.mid", std::nullopt},
        {dir / "x.tune.mid", "x.tune.mid", std::nullopt}, {dir / "kept.mid", "kept.mid", std::nullopt},
        {dir / "folder.mid", "folder.mid", std::nullopt}, {dir / "lost", "lost", std::string("gone away")},
    };
    const auto plan = cli::PlanBatch(inputs, options);
    ASSERT_EQ(plan.size(), inputs.size());
    EXPECT_EQ(plan[0].outputPath, dir / "out" / "a.mid");
    EXPECT_FALSE(plan[0].refusal);
    EXPECT_EQ(plan[1].outputPath, dir / "out" / "x.mid");
    EXPECT_FALSE(plan[1].refusal);
    EXPECT_EQ(plan[2].refusal.value_or(""), "x.tune.mid - same output name as x.song.mid, not converted");
    EXPECT_EQ(plan[3].refusal.value_or(""), "kept.mid - kept.mid exists in OUT, not replaced (use -f)");
    EXPECT_EQ(plan[4].refusal.value_or(""), "folder.mid - not a regular file, not converted");
    EXPECT_EQ(plan[5].refusal.value_or(""), "lost - gone away");

    options.force = true;
    const auto forced = cli::PlanBatch(inputs, options);
    EXPECT_FALSE(forced[3].refusal) << "with force an existing output is replaced";
    EXPECT_TRUE(forced[2].refusal) << "but two inputs never write the same output";

    options.kind = batch::BatchKind::Karaoke;
    const auto karaoke = cli::PlanBatch(inputs, options);
    EXPECT_EQ(karaoke[0].outputPath, dir / "out" / "a.kar");
}

}  // namespace
}  // namespace quorvel::testing
